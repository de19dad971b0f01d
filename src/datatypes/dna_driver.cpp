// The analysis driver of a DNA sample: runs, in a fixed order, every
// within-sample analysis the task bits ask for, writes each one's section of
// the result file, its progress lines to the log and its parts of the batch
// summary lines, and leaves the results in the sample.

#include <ctime>
#include <iomanip>
#include <ios>
#include <ostream>
#include <string>

#include "core/Errors.h"
#include "core/public.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/dna_neutrality.h"
#include "datatypes/driver_output.h"
#include "haplo/sample_haplotype_analyses.h"
#include "popstats/sample_distance_matrices.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

char const* const kMethodNames[] = {"Pairwise difference", "Jukes and Cantor", "Kimura 2P",
                                    "Proportion of difference", "Tajima and Nei", "Tamura",
                                    "Tamura and Nei"};
char const* const kMethodTags[] = {"#Diff\t", "JC\t", "K2P\t", "%Diff\t", "TajNei\t", "Tam\t", "TamNei\t"};

bool has(settings const& s, std::int64_t bit) { return (s.TaskNumber & bit) != 0; }

// The sample's own profile: unphased diploid data.
bool unphased_genotypes(PopulDNA const& p) { return p.profile.GenotypicData != 0 && p.profile.GameticPhase == 0; }

// The run's copies of the project profile: haplotypic, or phase known.
bool run_haplotypic_or_phased(settings const& s) { return s.GenotypicData == 0 || s.GameticPhase != 0; }

void copy_weights(PopulDNA& p, settings const& s) {
    p.deletionWeight = s.DeletionWeight;
    p.transitionWeight = s.TransitionWeight;
    p.transversionWeight = s.TranversionWeight;
}

// Batch method tag: unknown codes read as pairwise difference.
char const* method_tag(int method) { return method >= 1 && method <= 6 ? kMethodTags[method] : kMethodTags[0]; }

void write_gamma_tag(std::ostream& os, double gammaA) {
    if (gammaA == 0.0)
        os << " inf\t";
    else
        os << gammaA << "\t";
}

// A label padded with blanks to 45 characters, then ": ".
std::ostream& label45(std::ostream& os, char const* label) {
    std::string text(label);
    if (text.size() < 45) text.append(45 - text.size(), ' ');
    return os << text << ": ";
}

// --- the fits of the mismatch distribution -------------------------------------
// The sudden- and spatial-expansion fits are not part of this build yet: the
// driver notes it in the log and goes on.

int est_demog_mis(PopulDNA&, settings*, std::fstream&) {
    *_AOS_ << "\t\tSudden expansion fit not available: skipping\n";
    return 0;
}

int est_spatial_mis(PopulDNA&, settings*, std::fstream&) {
    *_AOS_ << "\t\tSpatial expansion fit not available: skipping\n";
    return 0;
}

// --- sections ----------------------------------------------------------------

void sample_header(PopulDNA& p, settings& s, std::fstream& out) {
    char sampleKind[] = "samp";
    char groupKind[] = "group";
    p.print_population_anchor(2, s, p.isSample() ? sampleKind : groupKind);
    const std::string rule(79, '=');
    out << "\n" << rule << "\n"
        << "== Sample : \t" << p.name << "\n"
        << rule << "\n\n";
}

bool standard_diversity(PopulDNA& p, settings& s, std::fstream& out, DnaDriverState& st) {
    *_AOS_ << "\tComputing standard diversity indices ...\n";
    if (progress_stops(s, "Computing standard diversity indices ...")) return false;
    write_banner(out, "Standard diversity indices", 31, p.name);
    write_citations(out, {"GeneDiversity_1987"});

    copy_weights(p, s);
    p.check_data();
    p.evaluate_polymorphism(s);

    const bool haplotypic = run_haplotypic_or_phased(s);
    const bool original = s.InferHaplotypeDefinitionFromDistanceMatrix != 0 && p.profile.GenotypicData == 0;
    const bool batch = batch_on(_GENE_DIVERSITY_, ofs_gen_div);

    out << "No. of gene copies       : " << static_cast<int>(p.SampleSize);
    if (batch) {
        write_batch_head(*ofs_gen_div, p.name);
        *ofs_gen_div << static_cast<int>(p.SampleSize) << "\t" << p.NbHaplotypeEntries << "\t";
        if (original) *ofs_gen_div << p.NbHaplotypeEntriesRead << "\t";
    }
    if (haplotypic) out << "\nNo. of sequences         : " << p.NbHaplotypeEntries;
    if (original)
        out << "\nNo. of original "
            << "\nsequences in sample      : " << p.NbHaplotypeEntriesRead;

    if (p.numLoci == 0 && p.haplotypes.count > 0) {
        PHaploDef const* first = p.haplotypes.data[0];
        if (first != nullptr && first->haplotype != nullptr) {
            HaploDef const& def = *first->haplotype;
            p.numLoci = def.alleles.count > 0 ? static_cast<int>(def.alleles.count) : def.data.length();
        }
    }
    out << "\nNo. of loci              : " << p.numLoci << "\nNo. of usable loci       : " << p.numUsableSites
        << " loci with less than ";
    set_fixed(out, 2) << std::setw(5) << s.AllowedLevelOfMissingData * 100.0;
    out << " % missing data"
        << "\nNo. of polymorphic sites : " << p.numPolymorphicSites << "\n";

    if (s.GenotypicData != 0)
        p.OutputAllelelNumberAndHetPerLocusDipl(p.phenotypes, out, s, true, true, true);
    else
        p.OutputAllelelNumberAndHetPerLocusHapl(out, s, true, true, true);

    if (haplotypic) {
        p.calc_sample_homozygosity();
        p.calc_sample_sd_heterozygosity();
        out << "\nHaplotype-level computations\n"
            << "----------------------------\n"
            << "\nSum of square freqs.     : ";
        const double sumSquares = *p.calc_F();
        set_fixed(out, 4) << std::setw(7) << sumSquares;
        out << "\nGene diversity           : " << std::setw(7) << p.geneDiversity << " +/- " << std::setw(7)
            << p.geneDiversitySd << "\n\n"
            << "(Standard deviation is for the sampling process)";
    }
    out << std::endl;

    if (batch) {
        std::ostream& b = *ofs_gen_div;
        set_fixed(b, 6) << p.numLoci << "\t" << p.numUsableSites << "\t" << p.numPolymorphicSites << "\t"
                        << 1.0 - *p.calc_sample_homozygosity() << "\n";
    }

    st.dataChecked = true;
    st.polymorphismEvaluated = true;
    if (p.profile.GenotypicData != 0 && p.profile.GameticPhase != 0)
        p.compute_phenotype_heterozygosity(s, p.phenotypes);
    *_AOS_ << "\tdone !" << std::endl;
    return true;
}

void theta_estimators(PopulDNA& p, settings& s, std::fstream& out) {
    const int n = static_cast<int>(p.SampleSize);
    const int k = p.NbHaplotypeEntries;
    const bool batch = batch_on(_THETA_, ofs_theta);
    const bool allDifferent = p.SampleSize == static_cast<double>(k);
    auto label = [&out](char const* text) -> std::ostream& { return out << std::setw(20) << text; };
    auto value = [&out](double v) -> std::ostream& { return set_fixed(out, 6) << std::setw(12) << v; };

    if (allDifferent) {
        if (s.ComputeTheta & 1) out << "\nUnable to compute Theta(Hom) when all gene copies are different" << std::endl;
        if (s.ComputeTheta & 4) out << "\nUnable to compute Theta(k) when all gene copies are different" << std::endl;
    } else {
        if (s.ComputeTheta & 1) {
            const double thetaHom = *p.calc_theta_Hom();
            out << "\n";
            label("Theta(Hom) : ");
            value(thetaHom) << "\n";
            label("S.D. Theta(Hom) : ");
            value(p.thetaHomSd) << std::endl;
            if (batch) {
                write_batch_head(*ofs_theta, p.name);
                ofs_theta->precision(6);
                *ofs_theta << thetaHom << "\t(Hom)\t";
            }
        }
        if ((s.ComputeTheta & 4) && run_haplotypic_or_phased(s)) {
            const std::clock_t start = get_sys_clock();
            *_AOS_ << "\t\tComputing BMat ..."
                   << "\n";
            if (PopGenetics::get_B_num_mat() == 0) {
                *_AOS_ << "\t\t\tFile 500k100.bnb not found... skipping task !\n";
            } else {
                *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)" << std::endl;
                out << "\n";
                label("Theta(k) : ");
                const double thetaK = *p.theta_k(n, k, 0.05);
                value(thetaK);
                if (k <= 999 && p.SampleSize < 5000.0) {
                    out << "\n95 % confidence interval limits for theta(k) : [ ";
                    value(p.thetaKLow) << ", ";
                    value(p.thetaKHigh) << " ]\n";
                    if (batch) {
                        ofs_theta->precision(6);
                        *ofs_theta << thetaK << "\t(k)\t";
                    }
                } else {
                    *_AOS_ << "\t\t\tToo many aleles or gene copies in sample to compute Theta(k)\n";
                }
            }
        }
    }
    if (s.ComputeTheta & 2) {
        const double thetaS = *p.theta_S(n, p.numSubstitutionSites);
        out << "\n";
        label("Theta(S) : ");
        value(thetaS) << "\n";
        label("S.D. Theta(S) : ");
        value(p.thetaSsd) << std::endl;
        if (batch) {
            ofs_theta->precision(6);
            *ofs_theta << thetaS << "\t(S)\t";
        }
    }
    if (s.ComputeTheta & 8) {
        const double thetaPi = *p.theta_pi(p.meanPairwiseDiff);
        out << "\n";
        label("Theta(Pi) : ");
        value(thetaPi) << "\n";
        label("S.D. Theta(Pi) : ");
        value(p.thetaPiSd) << "\n";
        if (batch) {
            ofs_theta->precision(6);
            *ofs_theta << thetaPi << "\t(Pi)\t";
        }
    }
    if (batch) *ofs_theta << "\n";
}

void molecular_diversity(PopulDNA& p, settings& s, std::fstream& out, DnaDriverState& st) {
    *_AOS_ << "\tComputing molecular diversity indices ...\n";
    progress_stops(s, "Computing molecular diversity indices ...");  // this section goes on regardless
    const std::clock_t start = get_sys_clock();
    write_banner(out, "Molecular diversity indices", 32, p.name);
    write_citations(out, {"PairwiseDiff_1983", "NucleotideDiversity_1981", "ThetaS_1975", "NeutralAlleles_1972",
                          "ThetaHom_1964"});

    p.gammaA = s.GammaAValue;
    p.distanceMethod = s.DistanceMethod;
    copy_weights(p, s);
    if (!st.dataChecked) {
        p.check_data();
        p.evaluate_polymorphism(s);
        st.dataChecked = true;
        st.polymorphismEvaluated = true;
    }

    out << "Sample size                                  : " << p.SampleSize << "\n"
        << "No. of haplotypes                            : " << p.NbHaplotypeEntries << "\n";
    if (s.InferHaplotypeDefinitionFromDistanceMatrix != 0 && p.profile.GenotypicData == 0)
        out << "No. of original haplotypes in sample         : " << p.NbHaplotypeEntriesRead;
    label45(out << "\n", "Deletion weight") << p.deletionWeight;
    label45(out << "\n", "Transition weight") << p.transitionWeight;
    label45(out << "\n", "Transversion weight") << p.transversionWeight;
    label45(out << "\n", "Allowed level of missing data") << s.AllowedLevelOfMissingData * 100.0 << " %";
    label45(out << "\n", "Number of observed transitions") << p.numTransitions;
    label45(out << "\n", "Number of observed transversions") << p.numTransversions;
    label45(out << "\n", "Number of substitutions") << p.numSubstitutions;
    label45(out << "\n", "Number of observed indels") << p.numIndels;
    label45(out << "\n", "Number of polymorphic sites") << p.numPolymorphicSites;
    label45(out << "\n", "Number of observed sites with transitions") << p.numTransitionSites;
    label45(out << "\n", "Number of observed sites with transversions") << p.numTransversionSites;
    label45(out << "\n", "Number of observed sites with substitutions") << p.numSubstitutionSites;
    label45(out << "\n", "Number of observed sites with indels") << p.numIndelSites;
    label45(out << "\n", "Number of observed nucleotide sites") << p.numValidSites;
    label45(out << "\n", "Number of usable nucleotide sites") << p.numUsableSites;
    out << "\n";

    const bool molBatch = batch_on(_MOLECULAR_DIVERSITY_, ofs_mol_div);
    if (molBatch) {
        std::ostream& b = *ofs_mol_div;
        write_batch_head(b, p.name);
        b.precision(3);
        b << p.deletionWeight << "\t" << p.transitionWeight << "\t" << p.transversionWeight << "\t"
          << s.AllowedLevelOfMissingData << "\t" << p.numTransitionSites << "\t" << p.numTransversionSites << "\t"
          << p.numSubstitutionSites << "\t" << p.numIndelSites << "\t" << p.numPolymorphicSites << "\t"
          << p.numValidSites << "\t" << p.numUsableSites << "\t";
    }

    p.comp_nucl_freq();
    static constexpr char const* kBases[] = {"\n   C :", "\n   T :", "\n   A :", "\n   G :"};
    out << "\nNucleotide composition (Relative values)";
    set_fixed(out, 2);
    double total = 0.0;
    for (std::size_t i = 0; i < 4; ++i) {
        out << kBases[i] << std::setw(6) << p.nuclFreq[i] * 100.0 << "%";
        total += p.nuclFreq[i];
    }
    out << "\n   Total :" << total * 100.0 << "%"
        << "\n"
        << std::endl;
    if (batch_on(_NUCLEOTIDE_COMPOSITION_, ofs_nuc_comp)) {
        std::ostream& b = *ofs_nuc_comp;
        write_batch_head(b, p.name);
        set_fixed(b, 2);
        for (double f : p.nuclFreq) b << f * 100.0 << "\t";
        b << total * 100.0 << "\n";
    }

    const int method = p.distanceMethod;
    out << "\nDistance method                              : "
        << (method >= 0 && method <= 6 ? kMethodNames[method] : "DIFF");
    if (p.gammaA == 0.0)
        out << " (no Gamma correction)\n";
    else
        out << " (Gamma correction : a=" << p.gammaA << ")\n";
    if (molBatch) {
        *ofs_mol_div << method_tag(method);
        write_gamma_tag(*ofs_mol_div, p.gammaA);
    }

    if (p.compute_distance_matrix(nullptr, &s, 0) != 0) {
        p.compute_molecular_diversity(s);
        if (s.PrintHaplDistMat != 0 || s.PrintMinSpannNetworkPop != 0) print_out_dist_mat(p, &out, s);
        if (run_haplotypic_or_phased(s)) {
            out << "\nMean number of pairwise differences          : ";
            set_fixed(out, 6) << std::setw(12) << p.meanPairwiseDiff << " +/- " << std::setw(12)
                              << p.meanPairwiseDiffSd << "\n";
        }
        out << "\nNucleotide diversity (average over loci)     : ";
        set_fixed(out, 6) << std::setw(12) << p.piPerSite << " +/- " << std::setw(12) << p.piPerSiteSd << "\n\n"
                          << "(Standard deviations are for both the sampling and the stochastic processes)"
                          << "\n";
        if (molBatch) {
            set_fixed(*ofs_mol_div, 6) << p.meanPairwiseDiff << "\t" << p.piPerSite << "\n";
        }
    }

    theta_estimators(p, s, out);
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)" << std::endl;
}

void mismatch_fit_block(PopulDNA& p, settings& s, std::fstream& out, char const* model, std::ofstream* batch,
                        int (*fit)(PopulDNA&, settings*, std::fstream&), bool endlAfterFit) {
    const std::string stars(54, '*');
    out << "\n\n" << stars << "\nParameters estimated under the " << model << " expansion model:"
        << "\n" << stars << "\n\nMismatch observed mean              : ";
    set_fixed(out, 3) << std::setw(12) << p.mismatchMean;
    out << "\nMismatch observed variance          : " << std::setw(12) << p.mismatchVar;
    if (batch_on(_MISMATCH_, batch)) *batch << p.mismatchMean << "\t" << p.mismatchVar << "\t";
    if (!(p.mismatchVar > 1e-7)) {
        out << "\n\n    The variance of the mismatch distribution is to small,\n"
            << "    no demographic parameters can be estimated." << std::endl;
        return;
    }
    fit(p, &s, out);
    if (endlAfterFit) out << std::endl;
}

bool mismatch(PopulDNA& p, settings& s, std::fstream& out, DnaDriverState& st) {
    if (unphased_genotypes(p)) {
        out << "Mismatch distribution cannot be computed \n"
            << "in case of genotypic data with unknown gametic phase\n\n"
            << "We hope to change it in a future release...\n"
            << std::endl;
        return true;
    }
    write_banner(out, "Mismatch distribution", 26, p.name);
    write_citations(out, {"Mismatch_stable_1977", "Mismatch_growth_1991", "Mismatch_waves_1992",
                          "Mismatch_raggedness_1994", "Mismatch_expansion_1995"});
    if (progress_stops(s, "Computing mismatch distribution ...")) return false;
    if (!st.dataChecked) p.evaluate_polymorphism(s);
    *_AOS_ << "\tComputing mismatch distribution...\n";
    const std::clock_t start = get_sys_clock();

    p.distanceMethod = s.MismatchDistanceMethod;
    p.gammaA = s.MismatchGammaAValue;
    copy_weights(p, s);
    {
        // The mismatch routine is handed a stream that takes nothing.
        std::fstream scratch("", std::ios::in | std::ios::out);
        p.compute_distance_matrix(nullptr, &s, 1);
        p.compute_mm_distr(scratch, s);
    }

    const int method = p.distanceMethod;
    out << "Distance method : " << (method >= 1 && method <= 6 ? kMethodNames[method] : kMethodNames[0]);
    if (p.gammaA == 0.0)
        out << " (no Gamma correction)\n\n";
    else
        out << " (Gamma correction : a=" << p.gammaA << ")\n\n";

    const bool batch = _MISMATCH_ != 0;
    if (batch) {
        for (std::ofstream* b : {ofs_mismatch, ofs_mismatch_sp3, ofs_mismatch_sp4}) {
            if (b == nullptr) continue;
            write_batch_head(*b, p.name);
            *b << method_tag(method);
            write_gamma_tag(*b, p.gammaA);
        }
    }

    if (s.MismatchDemogExp) mismatch_fit_block(p, s, out, "sudden", ofs_mismatch, est_demog_mis, true);
    if (s.MismatchSpatialExp) mismatch_fit_block(p, s, out, "spatial", ofs_mismatch_sp3, est_spatial_mis, false);

    if (batch) {
        if (ofs_only_mismatch != nullptr) write_batch_head(*ofs_only_mismatch, p.name);
        const int L = p.lastExpMismatchClass > 0 ? p.lastExpMismatchClass : p.maxPairwiseDistance;
        if (L != 0 && !p.mismatchObs.empty() && !p.mismatchExp.empty()) {
            for (std::ofstream* b : {ofs_mismatch, ofs_mismatch_sp3, ofs_only_mismatch}) {
                if (b == nullptr) continue;
                for (int c = 0; c <= p.maxPairwiseDistance && c < static_cast<int>(p.mismatchObs.size()); ++c)
                    *b << p.mismatchObs[static_cast<std::size_t>(c)] << "\t";
            }
        } else {
            const double n = p.SampleSize;
            const long pairs = static_cast<long>((n - 1.0) * n * 0.5);
            for (std::ofstream* b : {ofs_mismatch, ofs_mismatch_sp3}) {
                if (b != nullptr) *b << pairs;
            }
        }
        for (std::ofstream* b : {ofs_mismatch, ofs_mismatch_sp3, ofs_only_mismatch}) {
            if (b != nullptr) *b << std::endl;
        }
    }

    out << std::endl;
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return true;
}

bool haplotype_frequencies(PopulDNA& p, settings& s, std::fstream& out) {
    if (s.PrintSampleAnchor != 0) {
        write_banner(out, "Haplotypes frequency estimation", 36, p.name);
        write_citations(out, {"EM_algorithm_1977", "EM_haplotypes_1995", "EM_multilocus_1995", "GibbsPhasing_2001",
                              "Vosk_Ref"});
    }
    if (unphased_genotypes(p)) {
        if (progress_stops(s, "Computing ML haplotype frequencies ...")) return false;
        if (s.EstimateHaplotypes != 0) {
            if (s.GibbsInferGamPhase != 0) {
                comp_gam_phase_Gibbs(p, s);
                if (s.stopFlag != 0) return false;
            }
            if (s.ComputeAllHaplotypesEM != 0 || s.ComputeAllAllelesEM != 0) {
                comp_gam_phase_EM(p, s);
                if (s.stopFlag != 0) return false;
            }
        }
        return true;
    }
    if (progress_stops(s, "Computing haplotype frequencies ... \n")) return false;
    *_AOS_ << "\tComputing haplotype frequencies ...\n";
    if (batch_on(_ALLELE_FREQS_, ofs_allele_freqs)) *ofs_allele_freqs << '"' << settings::input_file << "\"\t";
    p.calc_hapl_dat_hapl_freq(s);
    *_AOS_ << "\tdone !" << std::endl;
    return true;
}

bool linkage(PopulDNA& p, settings& s, std::fstream& out, DnaDriverState const& st) {
    write_banner(out, "Pairwise linkage disequilibrium", 36, p.name);
    write_citations(out, {"LD_EM_test_1996", "LD_growth_1994", "LD_measure_1964"});
    if (progress_stops(s, "Testing linkage disequilibrium ...")) return false;
    if (!st.polymorphismEvaluated) p.evaluate_polymorphism(s);
    if (unphased_genotypes(p)) {
        *_AOS_ << "\tTesting linkage disequilibrium (phenotypic data)...\n";
        calc_all_link_dis(p, out, p.phenotypes, s, s.InitialConditionsEM, static_cast<long>(s.MarkovChainStepsLD),
                          s.MaximumNumOfIterationsEM, s.EpsilonValue);
    } else {
        *_AOS_ << "\tTesting linkage disequilibrium (haplotypic data)...\n";
        p.calc_all_gam_des(out, static_cast<long>(s.MarkovChainStepsLD), s);
    }
    *_AOS_ << "\tdone !" << std::endl;
    return true;
}

bool hardy_weinberg(PopulDNA& p, settings& s, std::fstream& out) {
    write_banner(out, "Hardy-Weinberg equilibrium", 31, p.name);
    write_citations(out, {"HW_exact_1992", "HW_matching_1949"});
    if (progress_stops(s, "Testing Hardy-Weinberg equilibrium ...")) return false;
    *_AOS_ << "\tTesting Hardy-Weinberg equilibrium ...\n";
    p.make_all_hw(out, p.phenotypes, static_cast<long>(s.MarkovChainStepsHW), s);
    *_AOS_ << "\tdone !\n" << std::endl;
    return true;
}

bool sample_distances(PopulDNA& p, settings& s, DnaDriverState const& st) {
    my_string fileName = p.get_small_name();
    fileName += ".dis";
    if (s.stopFlag != 0) return false;
    if (!st.dataChecked) p.check_data();
    if (!st.polymorphismEvaluated) p.evaluate_polymorphism(s);
    if (s.ComputeConventionalFST != 0) {
        std::ofstream file(fileName.c_str(), std::ios::out);
        compute_dist_mat_for_conventional_FST(p, file, &s);
    } else {
        copy_weights(p, s);
        p.distanceMethod = s.DistanceMethodAMOVA;
        p.gammaA = s.GammaAValueAMOVA;
        p.compute_distance_matrix(nullptr, &s, p.distanceMethod == 0 ? 0 : 1);
    }
    return true;
}

}  // namespace

void PopulDNA::test_methods(settings& s) {
    std::fstream& out = s.ResultFile != nullptr ? *s.ResultFile : no_result_stream();
    recessiveAllelesEM = s.RecessiveAllelesEM;
    DnaDriverState st(NbHaplotypeEntries);

    if (has(s, tasks_within_samples) && s.PrintSampleAnchor != 0) sample_header(*this, s, out);

    if (has(s, task_standard_diversity) && recessiveAllelesEM == 0) {
        if (!standard_diversity(*this, s, out, st)) return;
    }
    if (has(s, task_molecular_diversity)) {
        if (recessiveAllelesEM != 0)
            out << "Molecular diversity indices cannot be computed \n"
                << "for recessive data\n"
                << std::endl;
        else
            molecular_diversity(*this, s, out, st);
    }
    if (has(s, task_mismatch) && !mismatch(*this, s, out, st)) return;
    if (has(s, task_haplotype_frequencies) && !haplotype_frequencies(*this, s, out)) return;
    if (has(s, task_linkage) && !linkage(*this, s, out, st)) return;
    if (has(s, task_hardy_weinberg) && !hardy_weinberg(*this, s, out)) return;
    if (has(s, task_pairwise_distances) && !sample_distances(*this, s, st)) return;

    if (has(s, task_tajima) && !dna_tajima_section(*this, s, st)) return;
    if (has(s, task_ewens_watterson) && !dna_ewens_watterson_section(*this, s, st)) return;
    if (has(s, task_chakraborty) && !dna_chakraborty_section(*this, s, st)) return;
    if (has(s, task_fu_fs)) {
        if (!dna_fu_fs_section(*this, s, st)) return;
    } else {
        fuFs = 0.0;
        fuFsP = -1.0;
    }
    dna_closing_step(*this, s);
}

}  // namespace quintle
