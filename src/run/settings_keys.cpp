#include "run/settings_keys.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <iterator>

#include "core/public.h"

namespace quintle::settings_file {

namespace {

using S = settings;

constexpr Row key(std::string_view name, Field field, double initial, std::string_view comments) {
    Row r;
    r.name = name;
    r.field = field;
    r.initial = initial;
    r.comments = comments;
    return r;
}
// No empty line between the previous key and this one's comments.
constexpr Row tight(std::string_view name, Field field, double initial, std::string_view comments) {
    Row r = key(name, field, initial, comments);
    r.layout = Layout::Tight;
    return r;
}
constexpr Row framed(std::string_view name, Field field, double initial, std::string_view comments) {
    Row r = key(name, field, initial, comments);
    r.layout = Layout::Framed;
    return r;
}
// Written right under the previous key, without comments.
constexpr Row bare(std::string_view name, Field field, double initial) {
    Row r = key(name, field, initial, {});
    r.layout = Layout::Bare;
    return r;
}
constexpr Row unwritten(std::string_view name, Field field, double initial) {
    Row r = key(name, field, initial, {});
    r.layout = Layout::Unwritten;
    return r;
}
constexpr Row optional(Row r) {
    r.optional = true;
    return r;
}
constexpr Row written_from(Row r, Field partner) {
    r.partner_role = Partner::WrittenFrom;
    r.partner = partner;
    return r;
}
constexpr Row mirrors(Row r, Field partner) {
    r.partner_role = Partner::Mirrored;
    r.partner = partner;
    return r;
}
constexpr Row heading(std::string_view text, int empty_lines_after = 0) {
    Row r;
    r.name = text;
    r.layout = Layout::Heading;
    r.count = empty_lines_after;
    return r;
}
constexpr Row subheading(std::string_view text, int dashes) {
    Row r;
    r.name = text;
    r.layout = Layout::Subheading;
    r.count = dashes;
    return r;
}

// In the order of the written file. A key also matches the lines of the
// longer keys that contain it (DistanceMethod, GammaAValue,
// MismatchSpatialExp, EpsilonValue), so each shorter key is written first,
// and no comment line may carry a value after a '=' within its first 100
// characters. A key read into a field that another key also fills comes
// after that key.
constexpr Row table[] = {
    framed("TaskNumber", &S::TaskNumber, 0,
        "#KEY \"TaskNumber\" sets which computations need to be performed by Pellomar\n"
        "#STANDARD INDICES: +1\n"
        "#MOLECULAR DIVERSITY: +2\n"
        "#MISMATCHDISTRIBution: +4\n"
        "#HAPLOTYPE FREQUENCIES: +8\n"
        "#LINKAGE DISEQUILIBRIUM: +16\n"
        "#HARDY-WEINBERG EQUILIBIRUM: +32\n"
        "#TAJIMA'S TEST: +64\n"
        "#EWENS-WATTERSON'S TEST: +128\n"
        "#CHAKRABORTY'S TEST: +256\n"
        "#AMOVA: +512\n"
        "#PAIRWISE FST: +1024\n"
        "#PAIRWISE GENETIC DISTANCES : +2048\n"
        "#PREPARE FOR AMOVA PERMUTATIONS: +4096\n"
        "#EXACT TEST FOR POPULATION DIFERENCES: +8192\n"
        "#FU FS TEST: +16384\n"
        "#GENOTYPE ASSIGNMENT TEST: +32768\n"
        "#MANTEL TEST: +65536"),
    heading("#GENERAL SETTINGS", 2),
    key("XMLOutput", &S::XMLOutput, 1,
        "#XMLOutput selects the form of the result file:\n"
        "#1 for XML, 0 for HTML"),
    tight("pmlecore64", &S::pmlecore64, 1,
        "#pmlecore64 set to 1 runs the computations as the 64-bit program"),
    key("DeletionWeight", &S::DeletionWeight, 1.0,
        "#Weights given to deletions, transitions and transversions\n"
        "#when comparing DNA sequences"),
    bare("TransitionWeight", &S::TransitionWeight, 1.0),
    bare("TranversionWeight", &S::TranversionWeight, 1.0),
    key("ComputeSumStatsWithinGroups", &S::ComputeSumStatsWithinGroups, 0,
        "#ComputeSumStatsWithinGroups set to 1 pools the samples of each group\n"
        "#of the genetic structure into a single sample"),
    key("InferHaplotypeDefinitionFromDistanceMatrix", &S::InferHaplotypeDefinitionFromDistanceMatrix, 0,
        "#InferHaplotypeDefinitionFromDistanceMatrix set to 1 checks the haplotype\n"
        "#definitions against the distances between all haplotypes"),
    key("EliminateRedondHaplodefs", &S::EliminateRedondHaplodefs, 0,
        "#EliminateRedondHaplodefs set to 1 searches for identical haplotypes\n"
        "#within and between samples"),
    key("AllowedLevelOfMissingData", &S::AllowedLevelOfMissingData, 0.05,
        "#AllowedLevelOfMissingData is the largest fraction of missing data\n"
        "#at a locus for the locus to be used in the computations"),
    // The project's own phase is what counts, so that is what is written.
    written_from(key("GameticPhaseIsKnown", &S::GameticPhaseIsKnown, 0,
        "#GameticPhaseIsKnown is kept for compatibility only:\n"
        "#the gametic phase given in the project file prevails"), &S::GameticPhase),
    key("KeepNullDistrib", &S::KeepNullDistrib, 0,
        "#KeepNullDistrib set to 1 writes the null distributions of the AMOVA\n"
        "#statistics to files"),
    heading("#SETTINGS FOR TEST OF HARDY-WEINBERG EQUILIBRIUM"),
    key("MakeHWExactTest", &S::MakeHWExactTest, 0,
        "#MakeHWExactTest set to 1 performs the exact test of Hardy-Weinberg equilibrium"),
    key("HardyWeinbergTestType", &S::HardyWeinbergTestType, 0,
        "#HardyWeinbergTestType: DEPRECATED, replaced by key TypeOfTestHW\n"
        "#                       0 for locus by locus test, \n"
        "#                       1 when phase is known considers haplotype as a locus"),
    key("TypeOfTestHW", &S::TypeOfTestHW, 0,
        "#TypeOfTestHW: 0 - Test association at the Locus level, "
        "1 - Test association at the Haplotype level,\n"
        "#              2 - Test association at the Locus and Haplotype levels"),
    key("MarkovChainStepsHW", &S::MarkovChainStepsHW, 1000000,
        "#MarkovChainStepsHW is the number of steps of the Markov chain of the test"),
    key("MarkovChainDememorisationStepsHW", &S::MarkovChainDememorisationStepsHW, 100000,
        "#MarkovChainDememorisationStepsHW is the number of burn-in steps\n"
        "#done before the Markov chain is sampled"),
    key("PrecisionOnPValueHW", &S::PrecisionOnPValueHW, 0.0,
        "#PrecisionOnPValueHW is obsolete and left at 0"),
    key("SignificanceLevelHW", &S::SignificanceLevelHW, 2,
        "#SignificanceLevelHW flags the tests reported as significant\n"
        "#in the summary table"),
    heading("#SETTINGS FOR TEST OF LINKAGE DISEQUILIBRIUM"),
    key("LinkageDisequilibriumTestType", &S::LinkageDisequilibriumTestType, 0,
        "#LinkageDisequilibriumTestType is obsolete"),
    key("MakeExactTestLD", &S::MakeExactTestLD, 0,
        "#MakeExactTestLD set to 1 tests linkage disequilibrium between all pairs of loci:\n"
        "#an exact test when the gametic phase is known,\n"
        "#a likelihood-ratio test otherwise"),
    key("MarkovChainDememorisationStepsLD", &S::MarkovChainDememorisationStepsLD, 1000,
        "#MarkovChainDememorisationStepsLD is the number of burn-in steps of the chain"),
    // reset_initial_values lowers the default for unphased genotypes.
    key("MarkovChainStepsLD", &S::MarkovChainStepsLD, 100000,
        "#MarkovChainStepsLD is the number of steps of the chain after the burn-in\n"
        "#(known phase) or the number of permutations of the likelihood-ratio test\n"
        "#(unknown phase)"),
    key("PrecisionOnPValueLD", &S::PrecisionOnPValueLD, 0.0, "#PrecisionOnPValueLD is obsolete"),
    key("SignificanceLevelLD", &S::SignificanceLevelLD, 0.05,
        "#SignificanceLevelLD is the P value under which a test counts as significant\n"
        "#in the summary table"),
    key("PrintFlagHistogramLD", &S::PrintFlagHistogramLD, 0,
        "#PrintFlagHistogramLD set to 1 writes a file summarising the test results"),
    key("InitialCondEMLD", &S::InitialCondEMLD, 2,
        "#InitialCondEMLD is the number of EM runs of the likelihood-ratio test\n"
        "#when the gametic phase is unknown"),
    key("ComputeDvalues", &S::ComputeDvalues, 0,
        "#ComputeDvalues set to 1 computes the coefficients D and D' for all pairs\n"
        "#of alleles (known gametic phase only)"),
    heading("#SETTINGS FOR DIVERSITY INDICES"),
    key("ComputeStandardDiversityIndices", &S::ComputeStandardDiversityIndices, 0,
        "#ComputeStandardDiversityIndices set to 1 computes the standard diversity indices"),
    key("ComputeAllAlleleFreqs", &S::ComputeAllAlleleFreqs, 0,
        "#ComputeAllAlleleFreqs set to 1 computes the allele frequencies at all loci"),
    key("ComputeMissDataFreq", &S::ComputeMissDataFreq, 0,
        "#ComputeMissDataFreq set to 1 counts missing data as an allele"),
    key("DistanceMethod", &S::DistanceMethod, 0,
        "#DistanceMethod controls the choice of the distance to be computed between haplotypes\n"
        "#DNA:      DIFF=0, JUKES_CANTOR=1, KIMURA_2P=2, P_DIST=3, TAJIMA_NEI=4, TAMURA=5, TAMURA_NEI=6\n"
        "#MICROSAT: COUNT_DIFF=0 (FST), MICRO_SQR_DIFF=1 (RST)\n"
        "#STANDARD: 0 (default)\n"
        "#RFLP:     RFLP_DIFF=0, RFLP_P_DIST=1"),
    key("GammaAValue", &S::GammaAValue, 0.0,
        "#GammaAValue is the shape parameter of the gamma distribution of mutation rates\n"
        "#among sites (DNA); 0 means equal rates"),
    key("ComputeTheta", &S::ComputeTheta, 0,
        "#ComputeTheta controls if theta->4Nu parameters are to be computed\n"
        "#Bit values : +1: Theta(Hom), +2: Theta(S), +4: Theta(k), +8: Theta(pi)"),
    key("PrintHaplDistMat", read_atoi(&S::PrintHaplDistMat), 0,
        "#PrintHaplDistMat set to 1 prints the distance matrix between haplotypes"),
    // Both keys name the same switch; the older one follows the newer.
    mirrors(key("PrintPopDistMat", read_atoi(&S::PrintPopDistMat), 0,
        "#PrintPopDistMat has the same effect as \"PrintHaplDistMat\" above "
        "and should have the same value"),
            read_atoi(&S::PrintHaplDistMat)),
    key("PrintMinSpannNetworkPop", &S::PrintMinSpannNetworkPop, 0,
        "#PrintMinSpannNetworkPop set to 1 computes the minimum spanning tree\n"
        "#between the haplotypes of each sample"),
    subheading("#Site Frequency Spectrum parameters", 34),
    bare("ComputePopSFS", &S::ComputePopSFS, 0),
    bare("ComputeJointSFS", &S::ComputeJointSFS, 0),
    bare("ComputeMultiSFS", &S::ComputeMultiSFS, 0),
    bare("NumBootSFS", &S::NumBootSFS, 0),
    heading("#SETTINGS FOR MISMATCH DISTRIBUTION"),
    key("MismatchDemogExp", &S::MismatchDemogExp, 0,
        "#MismatchDemogExp set to 1 fits a pure demographic expansion\n"
        "#to the mismatch distribution"),
    key("MismatchSpatialExp", &S::MismatchSpatialExp, 0,
        "#MismatchSpatialExp set to 1 fits a spatial range expansion\n"
        "#to the mismatch distribution"),
    key("MismatchDistanceMethod", &S::MismatchDistanceMethod, 0,
        "#MismatchDistanceMethod is obsolete and always 0"),
    key("MismatchGammaAValue", &S::MismatchGammaAValue, 0.0, "#MismatchGammaAValue is obsolete and always 0"),
    key("NumBootExpDem", &S::NumBootExpDem, 100,
        "#NumBootExpDem is the number of bootstrap replicates of the expansion fits"),
    key("MismatchSpatialExpNumParams", &S::MismatchSpatialExpNumParams, 0,
        "#MismatchSpatialExpNumParams controls the type of range expansion\n"
        "# 3: Three parameters are used: Theta=2Nu, M=2Nm, tau=2Tu"),
    heading("#SETTINGS FOR HAPLOTYPE FREQUENCY ESTIMATION"),
    subheading("#EM algorithm specific settings", 30),
    key("ComputeAllHaplotypesEM", &S::ComputeAllHaplotypesEM, 0,
        "#ComputeAllHaplotypesEM set to 1 estimates the haplotype frequencies by EM"),
    // The later name of the same switch: read after it, it wins when present.
    optional(unwritten("EMEstimHaplFreqs", &S::ComputeAllHaplotypesEM, 0)),
    key("ComputeAllAllelesEM", &S::ComputeAllAllelesEM, 0,
        "#ComputeAllAllelesEM set to 1 estimates all allele frequencies by EM"),
    key("InitialConditionsEM", &S::InitialConditionsEM, 50,
        "#InitialConditionsEM is the number of EM runs started from\n"
        "#different random initial conditions"),
    key("MaximumNumOfIterationsEM", &S::MaximumNumOfIterationsEM, 1000,
        "#MaximumNumOfIterationsEM is the largest number of iterations of one EM run"),
    key("RecessiveAllelesEM", read_atoi(&S::RecessiveAllelesEM), 0,
        "#RecessiveAllelesEM set to 1 considers possible recessive alleles in homozygotes"),
    key("CompactHaplotypeDataBaseEM", &S::CompactHaplotypeDataBaseEM, 0,
        "#CompactHaplotypeDataBaseEM is obsolete and left at 0"),
    key("NumBootstrapReplicatesEM", &S::NumBootstrapReplicatesEM, 0,
        "#NumBootstrapReplicatesEM is the number of bootstrap replicates used to\n"
        "#estimate the standard deviations of the haplotype frequencies"),
    key("NumInitCondBootstrapEM", &S::NumInitCondBootstrapEM, 10,
        "#NumInitCondBootstrapEM is the number of EM initial conditions\n"
        "#for each bootstrap replicate"),
    key("ComputeAllSubHaplotypesEM", &S::ComputeAllSubHaplotypesEM, 0,
        "#ComputeAllSubHaplotypesEM set to 1 estimates the haplotype frequencies\n"
        "#of all pairs of loci"),
    optional(key("EMCheckPhenRedundancy", &S::EMCheckPhenRedundancy, 0,
        "#EMCheckPhenRedundancy set to 1 merges identical phenotypes before the EM")),
    key("EpsilonValue", exponent_form(&S::EpsilonValue), 1e-7,
        "#EpsilonValue is the convergence threshold of the EM on the sum\n"
        "#of the differences between successive haplotype frequencies"),
    key("FrequencyThreshold", exponent_form(&S::FrequencyThreshold), 1e-5,
        "#FrequencyThreshold is the smallest haplotype frequency listed\n"
        "#in the result file"),
    optional(key("EMEstimateInbreedingCoeff", &S::EMEstimateInbreedingCoeff, 0,
        "#EMEstimateInbreedingCoeff set to 1 estimates the inbreeding coefficient\n"
        "#together with the haplotype frequencies")),
    optional(key("EMInbreedingFixedVal", &S::EMInbreedingFixedVal, 0.0,
        "#EMInbreedingFixedVal is the fixed inbreeding value used by the EM")),
    optional(key("EMUseZipper", &S::EMUseZipper, 0,
        "#EMUseZipper set to 1 starts the EM on two loci and adds the other loci\n"
        "#one by one")),
    optional(unwritten("EMWinSize", &S::EMWinSize, 1)),
    optional(unwritten("EMInbreedingEachLocus", &S::EMInbreedingEachLocus, 0)),
    optional(unwritten("EMCompGamPhaseForAllInitConds", &S::EMCompGamPhaseForAllInitConds, 0)),
    optional(key("EMLociRandOrder", &S::EMLociRandOrder, 0,
        "#EMLociRandOrder set to 1 adds the loci in random order")),
    optional(key("EMNumZipRandOrders", &S::EMNumZipRandOrders, 0,
        "#EMNumZipRandOrders specifies how many random orders have to be considered "
        "assuming EMLociRandOrder=1")),
    subheading("#Vosk algorithm specific settings", 31),
    optional(key("GibbsInferGamPhase", &S::GibbsInferGamPhase, 0,
        "#GibbsInferGamPhase set to 1 estimates the gametic phase and the haplotype\n"
        "#frequencies with the pseudo-Gibbs sampler")),
    optional(key("GibbsBurnIn", &S::GibbsBurnIn, 100000, "#GibbsBurnIn is the number of burn-in steps")),
    optional(key("GibbsSamplingInterval", &S::GibbsSamplingInterval, 500,
        "#GibbsSamplingInterval is the number of steps between two samples")),
    optional(key("GibbsNumSamples", &S::GibbsNumSamples, 2000,
        "#GibbsNumSamples is the number of samples kept")),
    optional(key("GibbsAlphaInitValue", &S::GibbsAlphaInitValue, 0.01,
        "#GibbsAlphaInitValue is the alpha value of the Dirichlet prior\n"
        "#of the haplotype frequencies")),
    optional(key("GibbsEpsilonValue", &S::GibbsEpsilonValue, 0.01,
        "#GibbsEpsilonValue is the epsilon value given to haplotypes similar\n"
        "#to the possible ones")),
    optional(key("GibbsGamma", &S::GibbsGamma, 0.0, "#GibbsGamma limits the growth of the dynamic windows")),
    optional(key("GibbsHetSiteInfluenceZone", &S::GibbsHetSiteInfluenceZone, 5,
        "#GibbsHetSiteInfluenceZone controls the number of loci to be taken into account \n"
        "#around each heterozygous site, to dress a list, for each individual, of the loci\n"
        "#that must be take into account to build haplotypes.\n"
        "#Note that with a value of zero, gametic phase is computed only on heterozygotes sites, while\n"
        "#a negative value(e.g. -1) implies that haplotypes will be defined on all loci.")),
    optional(key("GibbsPercentageOfRecSteps", &S::GibbsPercentageOfRecSteps, 0.0,
        "#GibbsPercentageOfRecSteps is the fraction of recombination steps")),
    optional(key("GibbsOutputGamPhase", &S::GibbsOutputGamPhase, 0,
        "#GibbsOutputGamPhase set to 1 writes the gametic phase of every individual\n"
        "#of every sample to files")),
    heading("#SETTINGS FOR AMOVA"),
    key("HaplAMOVA", &S::HaplAMOVA, 0, "#HaplAMOVA set to 1 performs an AMOVA over all loci at once"),
    key("LocByLocAMOVA", &S::LocByLocAMOVA, 0, "#LocByLocAMOVA set to 1 performs an AMOVA locus by locus"),
    key("PopSpecificFST", &S::PopSpecificFST, 0,
        "#PopSpecificFST and PopSpecificFIS set to 1 compute the population-specific\n"
        "#FST and FIS indices"),
    bare("PopSpecificFIS", &S::PopSpecificFIS, 0),
    key("TestSignificanceAMOVA", &S::TestSignificanceAMOVA, 0,
        "#TestSignificanceAMOVA is obsolete: the variance components are tested\n"
        "#whenever NumPermutationsAMOVA is not zero"),
    key("NumPermutationsAMOVA", &S::NumPermutationsAMOVA, 1000,
        "#NumPermutationsAMOVA is the number of permutations used to test\n"
        "#the variance components"),
    key("ComputeConventionalFST", &S::ComputeConventionalFST, 0,
        "#ComputeConventionalFST set to 1 computes conventional F-statistics\n"
        "#from haplotype frequencies only"),
    key("IncludeIndividualLevel", &S::IncludeIndividualLevel, 0,
        "#IncludeIndividualLevel set to 1 adds the individual level to the AMOVA\n"
        "#and computes FIS"),
    key("ComputeDistanceMatrixAMOVA", &S::ComputeDistanceMatrixAMOVA, 1,
        "#ComputeDistanceMatrixAMOVA set to 1 computes the AMOVA on a matrix\n"
        "#of pairwise distances between haplotypes"),
    key("DistanceMethodAMOVA", &S::DistanceMethodAMOVA, 0,
        "#DistanceMethodAMOVA chooses the distance of that matrix;\n"
        "#the codes are those of DistanceMethod above"),
    key("GammaAValueAMOVA", &S::GammaAValueAMOVA, 0.0,
        "#GammaAValueAMOVA is the gamma shape parameter of the AMOVA distances (DNA)"),
    key("PrintDistanceMatrix", &S::PrintDistanceMatrix, 0,
        "#PrintDistanceMatrix set to 1 prints the matrix of distances between haplotypes"),
    key("PrintMinSpannNetworkGlob", &S::PrintMinSpannNetworkGlob, 0,
        "#PrintMinSpannNetworkGlob set to 1 computes the minimum spanning network\n"
        "#between the haplotypes of all samples of the structure"),
    heading("#SETTINGS FOR PAIRWISE DISTANCE COMPUTATIONS"),
    key("TestSignificancePairewiseFST", &S::TestSignificancePairewiseFST, 0,
        "#TestSignificancePairewiseFST set to 1 tests the pairwise distances by permutation"),
    key("NumPermutationsFST", &S::NumPermutationsFST, 100,
        "#NumPermutationsFST is the number of permutations of that test"),
    key("ComputePairwiseFST", &S::ComputePairwiseFST, 0,
        "#ComputePairwiseFST set to 1 computes FST between all pairs of samples"),
    key("ComputeDeltaMuSqr", &S::ComputeDeltaMuSqr, 0,
        "#ComputeDeltaMuSqr set to 1 computes (delta mu) squared between all pairs\n"
        "#of samples"),
    key("FSTSignifLevel", &S::FSTSignifLevel, 0.05,
        "#FSTSignifLevel is the P value under which a pairwise distance\n"
        "#is reported as significant"),
    key("PrintFstVals", &S::PrintFstVals, 0, "#PrintFstVals set to 1 prints the pairwise FST values"),
    key("PrintConcestryCoeff", &S::PrintConcestryCoeff, 0,
        "#PrintConcestryCoeff set to 1 prints the coancestry (Reynolds) distances"),
    key("PrintSlatkinsDist", &S::PrintSlatkinsDist, 0,
        "#PrintSlatkinsDist set to 1 prints Slatkin's distances"),
    key("PrintMissIntermatchs", &S::PrintMissIntermatchs, 0,
        "#PrintMissIntermatchs set to 1 prints the average numbers of pairwise differences\n"
        "#between samples"),
    key("UnequalPopSizeDiv", &S::UnequalPopSizeDiv, 0,
        "#UnequalPopSizeDiv set to 1 computes distances allowing for unequal\n"
        "#population sizes"),
    heading("#SETTINGS FOR POPULATION DIFFERENTIATION"),
    key("NumPermutPopDiff", &S::NumPermutPopDiff, 100000,
        "#NumPermutPopDiff is the number of steps of the Markov chain of the exact test\n"
        "#of population differentiation"),
    key("NumDememoPopDiff", &S::NumDememoPopDiff, 10000,
        "#NumDememoPopDiff is the number of burn-in steps of that chain"),
    key("PrecProbPopDiff", read_as_integer(&S::PrecProbPopDiff), 0.0, "#PrecProbPopDiff is obsolete"),
    key("PrintHistoPopDiff", &S::PrintHistoPopDiff, 1,
        "#PrintHistoPopDiff set to 1 prints a summary table of the significant differences"),
    key("SignLevelPopDiff", &S::SignLevelPopDiff, 0.05,
        "#SignLevelPopDiff is the P value under which a difference counts as significant"),
    heading("#SETTINGS FOR DETECTION OF SELECTED LOCI FROM COMPARISON BETWEEN FST AND HETEROZYGOSITY"),
    key("DetectSelectedLoci", &S::DetectSelectedLoci, 0,
        "#DetectSelectedLoci set to 1 looks for loci under selection by comparing\n"
        "#their FST and heterozygosity with a simulated null distribution"),
    key("UseHierarchicalIslandModel", &S::UseHierarchicalIslandModel, 0,
        "#UseHierarchicalIslandModel set to 1 simulates the null distribution under\n"
        "#a hierarchical island model"),
    key("NumberOfGroupsForFDist2", &S::NumberOfGroupsForFDist2, 10,
        "#NumberOfGroupsForFDist2 is the number of simulated groups"),
    key("NumberOfDemesForFDist2", &S::NumberOfDemesForFDist2, 100,
        "#NumberOfDemesForFDist2 is the number of simulated demes per group"),
    key("NumberOfSimsForFDist2", &S::NumberOfSimsForFDist2, 20000,
        "#NumberOfSimsForFDist2 is the number of coalescent simulations"),
    key("UseSimFileForFDist2", &S::UseSimFileForFDist2, 0,
        "#UseSimFileForFDist2 set to 1 takes the simulated data from the file below"),
    key("SimFileNameForFDist2", &S::SimFileNameForFDist2, 0,
        "#SimFileNameForFDist2 is the name of the file of simulated data"),
    key("TargetHetLowBound", &S::TargetHetLowBound, 0.0,
        "#TargetHetLowBound and TargetHetHighBound bound the heterozygosity\n"
        "#of the simulated loci"),
    bare("TargetHetHighBound", &S::TargetHetHighBound, 1.0),
    key("MinDafFreq", &S::MinDafFreq, 0.0,
        "#MinDafFreq is the smallest frequency of the simulated derived allele"),
    key("IterativeProcForFDist2", &S::IterativeProcForFDist2, 0,
        "#IterativeProcForFDist2 set to 1 repeats the detection without the loci\n"
        "#found under selection"),
    heading("#SETTINGS FOR NEUTRALITY TESTS"),
    key("EwensWattersonHomozygosityTest", &S::EwensWattersonHomozygosityTest, 0,
        "#EwensWattersonHomozygosityTest set to 1 performs the Ewens-Watterson test"),
    key("NumIterationsNeutralityTests", &S::NumIterationsNeutralityTests, 1000,
        "#NumIterationsNeutralityTests is the number of simulated samples\n"
        "#of the infinite-allele tests"),
    key("NumSimulFuTest", &S::NumSimulFuTest, 1000,
        "#NumSimulFuTest is the number of coalescent simulations\n"
        "#of the infinite-site tests"),
    heading("#SETTINGS FOR MANTEL TEST"),
    key("NumPermMantel", &S::NumPermMantel, 1000,
        "#NumPermMantel is the number of permutations of the Mantel test"),
    // Read and kept for the analyses that use them, never written.
    unwritten("IsFontKnown", &S::IsFontKnown, 0),
    unwritten("NbFrontSegments", &S::NbFrontSegments, 0),
    unwritten("SegmentLength", &S::SegmentLength, 0.0),
    unwritten("NumOfGroups", &S::NumOfGroups, 1),
    unwritten("DiffusionMode", &S::DiffusionMode, 2),
    unwritten("NbFrontPerm", &S::NbFrontPerm, 0),
};

// A 32-bit field holds the nearest int to a value out of its range.
int to_int(long value) {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// printf-style formatting into a string of whatever length the value needs.
template <class T>
std::string format(char const* fmt, T value) {
    int const n = std::snprintf(nullptr, 0, fmt, value);
    if (n <= 0) return std::string();
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(text.data(), text.size(), fmt, value);
    text.resize(static_cast<std::size_t>(n));
    return text;
}

}  // namespace

std::span<Row const> rows() { return table; }

int value_window(Field const& f) { return f.kind == Kind::Text ? 400 : 100; }

void store(settings& s, Field const& f, char const* text) {
    switch (f.kind) {
        case Kind::None: break;
        case Kind::Int: s.*(f.i32) = to_int(my_atol(text)); break;
        case Kind::IntAtoi: s.*(f.i32) = my_atoi(text); break;
        case Kind::Int64: s.*(f.i64) = my_atol(text); break;
        case Kind::Double:
        case Kind::DoubleExp: s.*(f.f64) = my_atof(text); break;
        case Kind::DoubleFromInt: s.*(f.f64) = static_cast<double>(my_atol(text)); break;
        case Kind::Flag: s.*(f.flag) = my_atol(text) != 0; break;
        case Kind::Text: s.*(f.text) = text; break;
    }
}

void set_initial(settings& s, Row const& row) {
    Field const& f = row.field;
    switch (f.kind) {
        case Kind::None: break;
        case Kind::Int:
        case Kind::IntAtoi: s.*(f.i32) = static_cast<int>(row.initial); break;
        case Kind::Int64: s.*(f.i64) = static_cast<std::int64_t>(row.initial); break;
        case Kind::Double:
        case Kind::DoubleExp:
        case Kind::DoubleFromInt: s.*(f.f64) = row.initial; break;
        case Kind::Flag: s.*(f.flag) = row.initial != 0.0; break;
        case Kind::Text: s.*(f.text) = ""; break;
    }
}

void copy_field(settings& to, settings const& from, Field const& f) {
    switch (f.kind) {
        case Kind::None: break;
        case Kind::Int:
        case Kind::IntAtoi: to.*(f.i32) = from.*(f.i32); break;
        case Kind::Int64: to.*(f.i64) = from.*(f.i64); break;
        case Kind::Double:
        case Kind::DoubleExp:
        case Kind::DoubleFromInt: to.*(f.f64) = from.*(f.f64); break;
        case Kind::Flag: to.*(f.flag) = from.*(f.flag); break;
        case Kind::Text: to.*(f.text) = from.*(f.text); break;
    }
}

std::string value_text(settings const& s, Field const& f) {
    switch (f.kind) {
        case Kind::None: break;
        case Kind::Int:
        case Kind::IntAtoi: return format("%d", s.*(f.i32));
        case Kind::Int64: return format("%" PRId64, s.*(f.i64));
        case Kind::Double:
        case Kind::DoubleFromInt: return format("%f", s.*(f.f64));
        case Kind::DoubleExp: return format("%e", s.*(f.f64));
        case Kind::Flag: return s.*(f.flag) ? "1" : "0";
        case Kind::Text: return (s.*(f.text)).c_str();
    }
    return std::string();
}

}  // namespace quintle::settings_file
