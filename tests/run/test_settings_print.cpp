#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/TriMat.h"
#include "core/scratch.h"
#include "core/xml.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

class TempDir : public scratch::Dir {
public:
    TempDir() : scratch::Dir("quintle_setprint") {}
    std::string file(std::string const& name) const { return (*this / name).string(); }
};

std::string slurp(std::string const& path) { return scratch::read_file(path); }

std::vector<std::string> split_lines(std::string const& text) {
    std::vector<std::string> out;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

int index_of(std::vector<std::string> const& lines, std::string const& line) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == line) return static_cast<int>(i);
    return -1;
}

// Written independently of the program's table: the names the
// distance-method printout must produce.
constexpr char const* kDistanceNames[9] = {
    "Pairwise difference",      "Jukes and Cantor", "Kimura 2P",
    "Proportion of difference", "Tajima and Nei",   "Tamura",
    "Tamura and Nei",           "No. of different alleles (FST)",
    "Sum of squared size difference (RST)"};

// Keeps the globals the printouts read as a test found them.
class SettingsPrint : public ::testing::Test {
protected:
    void SetUp() override {
        savedXml_ = xmlOutput;
        savedType_ = ProfileSettings::DataType;
        savedTime_ = TXmlTag::time.c_str();
        std::memcpy(savedNames_, DistanceNames, sizeof savedNames_);
        for (int i = 0; i < 9; ++i) {
            std::memset(DistanceNames[i], 0, DistanceNameSize);
            std::strcpy(DistanceNames[i], kDistanceNames[i]);
        }
    }
    void TearDown() override {
        xmlOutput = savedXml_;
        ProfileSettings::DataType = savedType_;
        TXmlTag::time = savedTime_.c_str();
        std::memcpy(DistanceNames, savedNames_, sizeof savedNames_);
    }

    static std::string pretty(settings const& s) {
        std::ostringstream out;
        s.print_pretty_settings(out);
        return out.str();
    }

    // The text from the line `from` to the end.
    static std::string block(std::string const& text, std::string const& from) {
        std::size_t const a = text.find(from);
        if (a == std::string::npos) return "<missing " + from + ">";
        return text.substr(a);
    }

    TempDir dir_;

private:
    bool savedXml_ = true;
    TDataType savedType_ = STANDARD;
    std::string savedTime_;
    char savedNames_[NumDistanceNames][DistanceNameSize]{};
};

// ------------------------------------------------------- the settings file

// The 127 keys of the reader, with the member each is stored in. Grouped by
// how the writer formats them; the two keys written from another field and
// the ten keys never written are handled apart.
struct I32 { char const* name; int settings::*f; };
struct I64 { char const* name; std::int64_t settings::*f; };
struct F64 { char const* name; double settings::*f; };
struct FLG { char const* name; bool settings::*f; };

using S = settings;

I32 const kIntKeys[] = {
    {"XMLOutput", &S::XMLOutput}, {"pmlecore64", &S::pmlecore64},
    {"ComputeSumStatsWithinGroups", &S::ComputeSumStatsWithinGroups},
    {"InferHaplotypeDefinitionFromDistanceMatrix", &S::InferHaplotypeDefinitionFromDistanceMatrix},
    {"EliminateRedondHaplodefs", &S::EliminateRedondHaplodefs},
    {"KeepNullDistrib", &S::KeepNullDistrib},
    {"MakeHWExactTest", &S::MakeHWExactTest}, {"HardyWeinbergTestType", &S::HardyWeinbergTestType},
    {"TypeOfTestHW", &S::TypeOfTestHW}, {"SignificanceLevelHW", &S::SignificanceLevelHW},
    {"LinkageDisequilibriumTestType", &S::LinkageDisequilibriumTestType},
    {"MakeExactTestLD", &S::MakeExactTestLD}, {"PrintFlagHistogramLD", &S::PrintFlagHistogramLD},
    {"InitialCondEMLD", &S::InitialCondEMLD}, {"ComputeDvalues", &S::ComputeDvalues},
    {"ComputeStandardDiversityIndices", &S::ComputeStandardDiversityIndices},
    {"DistanceMethod", &S::DistanceMethod}, {"ComputeTheta", &S::ComputeTheta},
    {"PrintMinSpannNetworkPop", &S::PrintMinSpannNetworkPop},
    {"ComputePopSFS", &S::ComputePopSFS}, {"ComputeJointSFS", &S::ComputeJointSFS},
    {"ComputeMultiSFS", &S::ComputeMultiSFS}, {"NumBootSFS", &S::NumBootSFS},
    {"MismatchDistanceMethod", &S::MismatchDistanceMethod}, {"NumBootExpDem", &S::NumBootExpDem},
    {"MismatchSpatialExpNumParams", &S::MismatchSpatialExpNumParams},
    {"ComputeAllHaplotypesEM", &S::ComputeAllHaplotypesEM},
    {"ComputeAllAllelesEM", &S::ComputeAllAllelesEM},
    {"InitialConditionsEM", &S::InitialConditionsEM},
    {"MaximumNumOfIterationsEM", &S::MaximumNumOfIterationsEM},
    {"RecessiveAllelesEM", &S::RecessiveAllelesEM},
    {"CompactHaplotypeDataBaseEM", &S::CompactHaplotypeDataBaseEM},
    {"NumBootstrapReplicatesEM", &S::NumBootstrapReplicatesEM},
    {"NumInitCondBootstrapEM", &S::NumInitCondBootstrapEM},
    {"ComputeAllSubHaplotypesEM", &S::ComputeAllSubHaplotypesEM},
    {"EMCheckPhenRedundancy", &S::EMCheckPhenRedundancy},
    {"EMEstimateInbreedingCoeff", &S::EMEstimateInbreedingCoeff},
    {"EMUseZipper", &S::EMUseZipper}, {"EMLociRandOrder", &S::EMLociRandOrder},
    {"EMNumZipRandOrders", &S::EMNumZipRandOrders},
    {"GibbsInferGamPhase", &S::GibbsInferGamPhase}, {"GibbsBurnIn", &S::GibbsBurnIn},
    {"GibbsSamplingInterval", &S::GibbsSamplingInterval}, {"GibbsNumSamples", &S::GibbsNumSamples},
    {"GibbsHetSiteInfluenceZone", &S::GibbsHetSiteInfluenceZone},
    {"GibbsOutputGamPhase", &S::GibbsOutputGamPhase},
    {"HaplAMOVA", &S::HaplAMOVA}, {"LocByLocAMOVA", &S::LocByLocAMOVA},
    {"PopSpecificFST", &S::PopSpecificFST}, {"PopSpecificFIS", &S::PopSpecificFIS},
    {"TestSignificanceAMOVA", &S::TestSignificanceAMOVA},
    {"ComputeConventionalFST", &S::ComputeConventionalFST},
    {"IncludeIndividualLevel", &S::IncludeIndividualLevel},
    {"ComputeDistanceMatrixAMOVA", &S::ComputeDistanceMatrixAMOVA},
    {"DistanceMethodAMOVA", &S::DistanceMethodAMOVA},
    {"PrintDistanceMatrix", &S::PrintDistanceMatrix},
    {"PrintMinSpannNetworkGlob", &S::PrintMinSpannNetworkGlob},
    {"TestSignificancePairewiseFST", &S::TestSignificancePairewiseFST},
    {"ComputePairwiseFST", &S::ComputePairwiseFST}, {"ComputeDeltaMuSqr", &S::ComputeDeltaMuSqr},
    {"PrintFstVals", &S::PrintFstVals}, {"PrintConcestryCoeff", &S::PrintConcestryCoeff},
    {"PrintSlatkinsDist", &S::PrintSlatkinsDist},
    {"PrintMissIntermatchs", &S::PrintMissIntermatchs},
    {"UnequalPopSizeDiv", &S::UnequalPopSizeDiv}, {"PrintHistoPopDiff", &S::PrintHistoPopDiff},
    {"DetectSelectedLoci", &S::DetectSelectedLoci},
    {"UseHierarchicalIslandModel", &S::UseHierarchicalIslandModel},
    {"NumberOfGroupsForFDist2", &S::NumberOfGroupsForFDist2},
    {"NumberOfDemesForFDist2", &S::NumberOfDemesForFDist2},
    {"NumberOfSimsForFDist2", &S::NumberOfSimsForFDist2},
    {"UseSimFileForFDist2", &S::UseSimFileForFDist2},
    {"IterativeProcForFDist2", &S::IterativeProcForFDist2},
    {"EwensWattersonHomozygosityTest", &S::EwensWattersonHomozygosityTest},
    {"NumIterationsNeutralityTests", &S::NumIterationsNeutralityTests},
    {"NumSimulFuTest", &S::NumSimulFuTest},
};

I64 const kLongKeys[] = {
    {"TaskNumber", &S::TaskNumber},
    {"MarkovChainStepsHW", &S::MarkovChainStepsHW},
    {"MarkovChainDememorisationStepsHW", &S::MarkovChainDememorisationStepsHW},
    {"MarkovChainDememorisationStepsLD", &S::MarkovChainDememorisationStepsLD},
    {"MarkovChainStepsLD", &S::MarkovChainStepsLD},
    {"NumPermutationsAMOVA", &S::NumPermutationsAMOVA},
    {"NumPermutationsFST", &S::NumPermutationsFST},
    {"NumPermutPopDiff", &S::NumPermutPopDiff}, {"NumDememoPopDiff", &S::NumDememoPopDiff},
    {"NumPermMantel", &S::NumPermMantel},
};

// Written with six decimals.
F64 const kFixedKeys[] = {
    {"DeletionWeight", &S::DeletionWeight}, {"TransitionWeight", &S::TransitionWeight},
    {"TranversionWeight", &S::TranversionWeight},
    {"AllowedLevelOfMissingData", &S::AllowedLevelOfMissingData},
    {"PrecisionOnPValueHW", &S::PrecisionOnPValueHW},
    {"PrecisionOnPValueLD", &S::PrecisionOnPValueLD},
    {"SignificanceLevelLD", &S::SignificanceLevelLD}, {"GammaAValue", &S::GammaAValue},
    {"MismatchGammaAValue", &S::MismatchGammaAValue},
    {"EMInbreedingFixedVal", &S::EMInbreedingFixedVal},
    {"GibbsAlphaInitValue", &S::GibbsAlphaInitValue},
    {"GibbsEpsilonValue", &S::GibbsEpsilonValue}, {"GibbsGamma", &S::GibbsGamma},
    {"GibbsPercentageOfRecSteps", &S::GibbsPercentageOfRecSteps},
    {"GammaAValueAMOVA", &S::GammaAValueAMOVA}, {"FSTSignifLevel", &S::FSTSignifLevel},
    {"SignLevelPopDiff", &S::SignLevelPopDiff},
    {"TargetHetLowBound", &S::TargetHetLowBound},
    {"TargetHetHighBound", &S::TargetHetHighBound}, {"MinDafFreq", &S::MinDafFreq},
};

FLG const kFlagKeys[] = {
    {"ComputeAllAlleleFreqs", &S::ComputeAllAlleleFreqs},
    {"ComputeMissDataFreq", &S::ComputeMissDataFreq},
    {"MismatchDemogExp", &S::MismatchDemogExp},
    {"MismatchSpatialExp", &S::MismatchSpatialExp},
};

// The ten keys the reader knows and the writer leaves out.
char const* const kUnwrittenKeys[] = {
    "IsFontKnown", "NbFrontSegments", "SegmentLength", "NumOfGroups", "DiffusionMode",
    "NbFrontPerm", "EMEstimHaplFreqs", "EMWinSize", "EMInbreedingEachLocus",
    "EMCompGamPhaseForAllInitConds"};

std::size_t written_key_count() {
    // + EpsilonValue, FrequencyThreshold (%e), PrecProbPopDiff (%f, read as an
    // integer), SimFileNameForFDist2 (text), GameticPhaseIsKnown,
    // PrintHaplDistMat and PrintPopDistMat.
    return std::size(kIntKeys) + std::size(kLongKeys) + std::size(kFixedKeys) +
           std::size(kFlagKeys) + 7;
}

// A record in which every written key holds a value of its own, unlike its
// default and unlike its neighbours.
settings distinct_record() {
    settings s;
    int n = 0;
    for (I32 const& k : kIntKeys) s.*(k.f) = 11 + 3 * n++;
    n = 0;
    for (I64 const& k : kLongKeys) s.*(k.f) = 5000000000LL + 7 * n++;
    n = 0;
    for (F64 const& k : kFixedKeys) s.*(k.f) = 0.015625 + 1.5 * n++;  // exact in six decimals
    for (FLG const& k : kFlagKeys) s.*(k.f) = true;
    s.GibbsHetSiteInfluenceZone = -1;  // a negative integer
    s.MinDafFreq = -0.25;              // a negative double
    s.EpsilonValue = 2.5e-8;
    s.FrequencyThreshold = 3e-4;
    // Written "%f" but read under the integer digit rule, so only 0 (its
    // only sensible value, the key being obsolete) comes back unchanged.
    s.PrecProbPopDiff = 0.0;
    s.SimFileNameForFDist2 = "sims/null dist.txt";
    s.GameticPhaseIsKnown = 0;
    s.GameticPhase = 1;
    s.PrintHaplDistMat = 1;
    s.PrintPopDistMat = 0;
    // Not written: these must not travel.
    s.IsFontKnown = 5;
    s.NbFrontSegments = 6;
    s.SegmentLength = 7.5;
    s.NumOfGroups = 8;
    s.DiffusionMode = 9;
    s.NbFrontPerm = 10;
    s.EMWinSize = 12;
    s.EMInbreedingEachLocus = 13;
    s.EMCompGamPhaseForAllInitConds = 14;
    return s;
}

TEST_F(SettingsPrint, EveryWrittenKeyReadsBackWithinItsPrintedPrecision) {
    settings const src = distinct_record();
    my_string const name(dir_.file("set.pms").c_str());
    src.print_settings(name);

    settings back;
    // The reader's own values of the four optional keys that are not written.
    back.EMWinSize = 21;
    back.EMInbreedingEachLocus = 22;
    back.EMCompGamPhaseForAllInitConds = 23;
    back.IsFontKnown = 24;
    back.read_settings(name);

    for (I32 const& k : kIntKeys) EXPECT_EQ(back.*(k.f), src.*(k.f)) << k.name;
    for (I64 const& k : kLongKeys) EXPECT_EQ(back.*(k.f), src.*(k.f)) << k.name;
    for (F64 const& k : kFixedKeys) EXPECT_NEAR(back.*(k.f), src.*(k.f), 1e-9) << k.name;
    for (FLG const& k : kFlagKeys) EXPECT_TRUE(back.*(k.f)) << k.name;
    EXPECT_NEAR(back.EpsilonValue, 2.5e-8, 2.5e-8 * 1e-6);
    EXPECT_NEAR(back.FrequencyThreshold, 3e-4, 3e-4 * 1e-6);
    EXPECT_EQ(back.PrecProbPopDiff, 0.0);
    EXPECT_STREQ(back.SimFileNameForFDist2.c_str(), "sims/null dist.txt");

    // The project's phase is what the key carries.
    EXPECT_EQ(back.GameticPhaseIsKnown, 1);
    // The older key is written from the newer one, so both come back 1.
    EXPECT_EQ(back.PrintHaplDistMat, 1);
    EXPECT_EQ(back.PrintPopDistMat, 1);

    // Unwritten keys: the first six fall to 0, the optional ones keep the
    // reader's values; the haplotype switch comes from its own key line.
    EXPECT_EQ(back.IsFontKnown, 0);
    EXPECT_EQ(back.NbFrontSegments, 0);
    EXPECT_EQ(back.SegmentLength, 0.0);
    EXPECT_EQ(back.NumOfGroups, 0);
    EXPECT_EQ(back.DiffusionMode, 0);
    EXPECT_EQ(back.NbFrontPerm, 0);
    EXPECT_EQ(back.EMWinSize, 21);
    EXPECT_EQ(back.EMInbreedingEachLocus, 22);
    EXPECT_EQ(back.EMCompGamPhaseForAllInitConds, 23);
}

TEST_F(SettingsPrint, ValuesAreWrittenInTheirFormats) {
    settings s = distinct_record();
    s.DeletionWeight = 0.1234567;  // rounded to six decimals
    s.PrecProbPopDiff = 12.0;
    my_string const name(dir_.file("fmt.pms").c_str());
    s.print_settings(name);
    auto const lines = split_lines(slurp(name.c_str()));

    EXPECT_GE(index_of(lines, "DeletionWeight=0.123457"), 0);
    EXPECT_GE(index_of(lines, "TaskNumber=5000000000"), 0);
    EXPECT_GE(index_of(lines, "XMLOutput=11"), 0);
    EXPECT_GE(index_of(lines, "EpsilonValue=2.500000e-08"), 0);
    EXPECT_GE(index_of(lines, "FrequencyThreshold=3.000000e-04"), 0);
    EXPECT_GE(index_of(lines, "PrecProbPopDiff=12.000000"), 0);
    EXPECT_GE(index_of(lines, "MinDafFreq=-0.250000"), 0);
    EXPECT_GE(index_of(lines, "GibbsHetSiteInfluenceZone=-1"), 0);
    EXPECT_GE(index_of(lines, "ComputeAllAlleleFreqs=1"), 0);
    EXPECT_GE(index_of(lines, "SimFileNameForFDist2=sims/null dist.txt"), 0);
    EXPECT_GE(index_of(lines, "GameticPhaseIsKnown=1"), 0);
    EXPECT_GE(index_of(lines, "PrintPopDistMat=1"), 0);

    // One key line per written key, nothing else shaped like one.
    std::size_t keyLines = 0;
    for (auto const& l : lines) {
        std::size_t const eq = l.find('=');
        if (l.empty() || l[0] == '#' || eq == std::string::npos) continue;
        if (l.find(' ') < eq) continue;  // the banner and the heading lines
        ++keyLines;
    }
    EXPECT_EQ(keyLines, written_key_count());
    EXPECT_EQ(written_key_count(), 117u);
    for (char const* k : kUnwrittenKeys)
        for (auto const& l : lines) EXPECT_NE(l.rfind(std::string(k) + "=", 0), 0u) << k;
}

// The reader takes a key's value from the first line that contains the key
// and has a character after its first '=' inside the first 100 characters.
// Each written key must meet its own line first; the unwritten ones none.
TEST_F(SettingsPrint, EveryKeyFindsItsOwnLineFirst) {
    settings s = distinct_record();
    my_string const name(dir_.file("order.pms").c_str());
    s.print_settings(name);
    auto const lines = split_lines(slurp(name.c_str()));

    std::vector<std::string> keys;
    for (I32 const& k : kIntKeys) keys.emplace_back(k.name);
    for (I64 const& k : kLongKeys) keys.emplace_back(k.name);
    for (F64 const& k : kFixedKeys) keys.emplace_back(k.name);
    for (FLG const& k : kFlagKeys) keys.emplace_back(k.name);
    for (char const* k : {"EpsilonValue", "FrequencyThreshold", "PrecProbPopDiff",
                          "GameticPhaseIsKnown", "PrintHaplDistMat", "PrintPopDistMat"})
        keys.emplace_back(k);

    auto first_match = [&](std::string const& key, std::size_t window) -> int {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            std::string const& l = lines[i];
            if (l.find(key) == std::string::npos) continue;
            std::size_t const p = l.find('=');
            if (p == std::string::npos) continue;
            if (p + 1 < window && p + 1 < l.size()) return static_cast<int>(i);
        }
        return -1;
    };
    for (auto const& k : keys) {
        int const i = first_match(k, 100);
        ASSERT_GE(i, 0) << k;
        EXPECT_EQ(lines[static_cast<std::size_t>(i)].rfind(k + "=", 0), 0u)
            << k << " is taken from: " << lines[static_cast<std::size_t>(i)];
    }
    int const sim = first_match("SimFileNameForFDist2", 400);
    ASSERT_GE(sim, 0);
    EXPECT_EQ(lines[static_cast<std::size_t>(sim)], "SimFileNameForFDist2=sims/null dist.txt");
    for (char const* k : kUnwrittenKeys) EXPECT_EQ(first_match(k, 100), -1) << k;

    // The comment whose '=' lies just outside the window.
    std::string const zip =
        "#EMNumZipRandOrders specifies how many random orders have to be considered assuming "
        "EMLociRandOrder=1";
    ASSERT_EQ(zip.find('='), 99u);
    EXPECT_GE(index_of(lines, zip), 0);
}

TEST_F(SettingsPrint, FileHeadAndLayoutFollowTheFixedScheme) {
    settings s;
    s.TaskNumber = 17;
    my_string const name(dir_.file("layout.pms").c_str());
    s.print_settings(name);
    std::string const text = slurp(name.c_str());
    std::string const rule76 = "#" + std::string(76, '-');

    std::string const head =
        "\n\n"
        "             DO NOT EDIT THIS FILE BY HAND UNLESS YOU KNOW EXACTLY WHAT YOU\n"
        "               ARE DOING. ERRONEOUS COMPUTATIONS MAY RESULT AS A CONSEQUENCE !!!\n"
        "\n"
        "#Below are listed all parameter settings used for the choice of \n"
        "#PELLOMAR computations\n"
        "\n"
        "[Setting for Calculations]\n"
        "\n" +
        rule76 +
        "\n"
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
        "#MANTEL TEST: +65536\n"
        "\n"
        "TaskNumber=17\n" +
        rule76 +
        "\n"
        "\n"
        "\n"
        "#----------------\n"
        "#GENERAL SETTINGS\n"
        "#----------------\n"
        "\n"
        "\n"
        "\n";
    ASSERT_GE(text.size(), head.size());
    EXPECT_EQ(text.substr(0, head.size()), head);

    // The three weights share one comment block and follow each other.
    EXPECT_NE(text.find("\nDeletionWeight=1.000000\nTransitionWeight=1.000000\n"
                        "TranversionWeight=1.000000\n"),
              std::string::npos);
    // No empty line between the XMLOutput and pmlecore64 blocks.
    std::size_t const xml = text.find("\nXMLOutput=1\n");
    ASSERT_NE(xml, std::string::npos);
    EXPECT_EQ(text[xml + 13], '#');
    // The spectrum keys: under a single rule, back to back, no comments.
    EXPECT_NE(text.find("\n\n#Site Frequency Spectrum parameters\n#" + std::string(34, '-') +
                        "\nComputePopSFS=0\nComputeJointSFS=0\nComputeMultiSFS=0\nNumBootSFS=0\n"),
              std::string::npos);
    EXPECT_NE(text.find("\n#EM algorithm specific settings\n#" + std::string(30, '-') + "\n"),
              std::string::npos);
    EXPECT_NE(text.find("\n#Vosk algorithm specific settings\n#" + std::string(31, '-') + "\n"),
              std::string::npos);
    EXPECT_NE(text.find("\nPopSpecificFST=0\nPopSpecificFIS=0\n"), std::string::npos);
    EXPECT_NE(text.find("\n#------------------\n#SETTINGS FOR AMOVA\n#------------------\n"),
              std::string::npos);
    // The comment lines given with fixed wording.
    for (char const* l :
         {"#DNA:      DIFF=0, JUKES_CANTOR=1, KIMURA_2P=2, P_DIST=3, TAJIMA_NEI=4, TAMURA=5, "
          "TAMURA_NEI=6\n",
          "#                       0 for locus by locus test, \n",
          "#PrintPopDistMat has the same effect as \"PrintHaplDistMat\" above and should have the "
          "same value\n",
          "# 3: Three parameters are used: Theta=2Nu, M=2Nm, tau=2Tu\n",
          "#GibbsHetSiteInfluenceZone controls the number of loci to be taken into account \n"})
        EXPECT_NE(text.find(l), std::string::npos) << l;

    // Shorter keys stand before the longer keys that contain them.
    auto const lines = split_lines(text);
    auto at = [&](char const* key) { return index_of(lines, key); };
    EXPECT_LT(at("DistanceMethod=0"), at("MismatchDistanceMethod=0"));
    EXPECT_LT(at("DistanceMethod=0"), at("DistanceMethodAMOVA=0"));
    EXPECT_LT(at("GammaAValue=0.000000"), at("MismatchGammaAValue=0.000000"));
    EXPECT_LT(at("GammaAValue=0.000000"), at("GammaAValueAMOVA=0.000000"));
    EXPECT_LT(at("MismatchSpatialExp=0"), at("MismatchSpatialExpNumParams=0"));
    EXPECT_LT(at("EpsilonValue=1.000000e-07"), at("GibbsEpsilonValue=0.010000"));
    EXPECT_GE(at("DistanceMethod=0"), 0);

    // The last line is the Mantel key.
    ASSERT_GE(text.size(), 20u);
    EXPECT_EQ(text.substr(text.size() - 20), "\nNumPermMantel=1000\n");
}

TEST_F(SettingsPrint, FileThatCannotBeCreatedIsSkippedQuietly) {
    settings s;
    std::string const path = dir_.file("no/such/folder/set.pms");
    s.print_settings(my_string(path.c_str()));
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(SettingsPrint, ExistingFileIsTruncated) {
    std::string const path = dir_.file("old.pms");
    {
        std::ofstream old(path);
        old << std::string(50000, 'Q') << "\nTaskNumber=99\n";
    }
    settings s;
    s.print_settings(my_string(path.c_str()));
    std::string const text = slurp(path);
    EXPECT_EQ(text.find("QQ"), std::string::npos);
    EXPECT_EQ(text.find("TaskNumber=99"), std::string::npos);
}

// ------------------------------------------------------------- the summary

TEST_F(SettingsPrint, SummaryWithoutTasksInHtml) {
    xmlOutput = false;
    settings s;
    s.ComputePopSFS = 1;  // printed whatever the task bits
    EXPECT_EQ(pretty(s),
              "==============================\n"
              "Settings used for Calculations\n"
              "==============================\n"
              "\n"
              " General settings:\n"
              " -----------------\n"
              "        Deletion Weight                = 1\n"
              "        Transition Weight Weight       = 1\n"
              "        Tranversion Weight Weight      = 1\n"
              "        Epsilon Value                  = 1e-07\n"
              "        Significant digits for output  = 5\n"
              "        Use original haplotype definition\n"
              "        Alllowed level of missing data = 0.05\n"
              "\n"
              " Active Tasks:\n"
              " -------------\n"
              "\n"
              "        Compute Site Frequency Spectrum within populations\n");
}

TEST_F(SettingsPrint, SummaryInXmlIsFramedByTitleTags) {
    xmlOutput = true;
    TXmlTag::time = "t1";
    settings s;
    s.InferHaplotypeDefinitionFromDistanceMatrix = 1;
    std::string const text = pretty(s);
    std::string const head =
        "</data> <title time=\"t1\">\n"
        "==============================\n"
        "Settings used for Calculations\n"
        "==============================\n"
        "\n"
        "</title> <data>\n"
        " General settings:\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_NE(text.find("\n        Infer haplotype definition from distance matrix\n"),
              std::string::npos);
    EXPECT_EQ(text.find("Use original"), std::string::npos);
}

TEST_F(SettingsPrint, SignificantDigitsFollowTheFrequencyThreshold) {
    xmlOutput = false;
    auto digits = [](double threshold) {
        settings s;
        s.FrequencyThreshold = threshold;
        std::ostringstream out;
        s.print_pretty_settings(out);
        std::string const label = "        Significant digits for output  = ";
        std::string const text = out.str();
        std::size_t const a = text.find(label);
        if (a == std::string::npos) return std::string("<none>");
        std::size_t const b = text.find('\n', a);
        return text.substr(a + label.size(), b - a - label.size());
    };
    EXPECT_EQ(digits(1e-5), "5");
    EXPECT_EQ(digits(0.001), "3");
    EXPECT_EQ(digits(0.5), "0");    // log10 0.5 - 0.1 = -0.4, truncated to 0
    EXPECT_EQ(digits(2e-3), "2");   // -2.8 truncated toward zero
    EXPECT_EQ(digits(0.0), "unspecified");
    EXPECT_EQ(digits(-1.0), "unspecified");
    EXPECT_EQ(digits(HUGE_VAL), "unspecified");
}

TEST_F(SettingsPrint, HaploidBlocks) {
    xmlOutput = false;
    ProfileSettings::DataType = DNA;
    settings s;
    s.GenotypicData = 0;
    s.GameticPhase = 0;
    s.TaskNumber = 1 | 2 | 4 | 8 | 16 | 32 | 64 | 128 | 256 | 16384 | 32768;
    s.DistanceMethod = 2;
    s.GammaAValue = 0.5;
    s.ComputeTheta = 1 | 4 | 8;
    s.PrintHaplDistMat = 1;
    s.ComputeAllAllelesEM = 1;
    s.ComputeAllHaplotypesEM = 0;  // haploid data list the haplotypic level anyway
    s.ComputeDvalues = 1;
    s.PrintFlagHistogramLD = 1;
    std::string const text = pretty(s);
    EXPECT_EQ(block(text, "    Standard indices:"),
              "    Standard indices:\n"
              "    -----------------\n"
              "\n"
              "    Molecular Diversity:\n"
              "    --------------------\n"
              "        Molecular Distance :Kimura 2P\n"
              "        GammaA Value       = 0.5\n"
              "        Theta estimators   : \n"
              "            Theta(Hom)\n"
              "            Theta(k)\n"
              "            Theta(Pi)\n"
              "\n"
              "        Print out inter-haplotypic distance matrix\n"
              "    Mismatch Distribution:\n"
              "    ----------------------\n"
              "        Molecular Distance             : Pairwise difference\n"
              "        GammaA Value                   = 0\n"
              "        Number of bootstrap replicates : 100\n"
              "\n"
              "    Haplotypic Frequency estimation:\n"
              "    --------------------------------\n"
              "        Make estimations at the:\n"
              "            Haplotypic level\n"
              "            Locus level\n"
              "\n"
              "    Linkage disequilibrium test:\n"
              "    ----------------------------\n"
              "        No. of steps in Markov chain      = 100000\n"
              "        No. of Dememorisation Steps       = 1000\n"
              "        Required precision on Probability = 0\n"
              "        D and D' coefficients for all pairs of alleles : Yes\n"
              "        Print Histogram and table : Yes\n"
              "        Significance level        = 0.05\n"
              "\n"
              "    Hardy-Weinberg equilibrium test:\n"
              "    --------------------------------\n"
              "\n"
              "    Tajima's selective neutrality test\n"
              "    -----------------------------------\n"
              "\n"
              "    Ewens-Watterson neutrality test\n"
              "    --------------------------------\n"
              "        No. of Simultated Samples = 1000\n"
              "\n"
              "    Chakraborty's amalgammation test\n"
              "    --------------------------------\n"
              "\n"
              "    Fu's Neutraliy test:\n"
              "    --------------------\n"
              "        No. of Simultated Samples = 1000\n"
              "\n"
              "\n"
              "    Assignement of individual genotypes to populations\n"
              "    --------------------------------------------------\n"
              "\n"
              "\n"
              "      Test is only possible for genotypic data with unknown gametic phase, "
              "skipping task...\n"
              "\n");
}

TEST_F(SettingsPrint, UnphasedGenotypeBlocks) {
    xmlOutput = false;
    ProfileSettings::DataType = MICROSAT;
    settings s;
    s.GenotypicData = 1;
    s.GameticPhase = 0;
    s.TaskNumber = 4 | 8 | 16 | 32 | 128 | 16384 | 32768;
    s.MarkovChainStepsLD = 1000;
    s.ComputeAllSubHaplotypesEM = 1;
    s.RecessiveAllelesEM = 1;
    s.TypeOfTestHW = 2;
    s.PrecisionOnPValueHW = 0.25;
    std::string const text = pretty(s);
    EXPECT_EQ(block(text, "    Mismatch Distribution:"),
              "    Mismatch Distribution:\n"
              "    ----------------------\n"
              "\n"
              "    Haplotypic Frequency estimation:\n"
              "    --------------------------------\n"
              "        Make estimations at the:\n"
              "            Pairs of loci\n"
              "            no Estimation selected\n"
              "        Initial Conditions               = 50\n"
              "        Maximum No. Of Iterations        = 1000\n"
              "        Bootstrap Replicates             = 0\n"
              "        Initial Conditions for Bootstrap = 10\n"
              "        Recessive Data\n"
              "        Do not Compact Haplotypes\n"
              "\n"
              "    Linkage disequilibrium test:\n"
              "    ----------------------------\n"
              "        No. of permutations          = 1000\n"
              "        No. of Initial conditions    = 2\n"
              "        Print Histogram and table : No\n"
              "\n"
              "    Hardy-Weinberg equilibrium test:\n"
              "    --------------------------------\n"
              "        No. of steps in Markov chain      = 1000000\n"
              "        No. of Dememorisation Steps       = 100000\n"
              "        Required precision on Probability = 0.25\n"
              "        Test association at the Locus and Haplotype levels\n"
              "\n"
              "    Ewens-Watterson neutrality test\n"
              "    --------------------------------\n"
              "\n"
              "    Fu's Neutraliy test:\n"
              "    --------------------\n"
              "\n"
              "\n"
              "    Assignement of individual genotypes to populations\n"
              "    --------------------------------------------------\n"
              "\n");
}

TEST_F(SettingsPrint, StructureBlocks) {
    xmlOutput = false;
    ProfileSettings::DataType = RFLP;
    settings s;
    s.GenotypicData = 1;
    s.GameticPhase = 1;
    s.TaskNumber = 512 | 1024 | 8192 | 65536;
    s.HaplAMOVA = 1;
    s.IncludeIndividualLevel = 1;
    s.PrintMinSpannNetworkGlob = 1;
    s.PrintDistanceMatrix = 1;
    s.PrintMissIntermatchs = 1;
    s.PrintSlatkinsDist = 1;
    s.DistanceMethodAMOVA = 1;
    s.GammaAValueAMOVA = 0.25;
    s.PrintHistoPopDiff = 0;
    std::string const text = pretty(s);
    EXPECT_EQ(block(text, "    Analysis of Molecular Variance:"),
              "    Analysis of Molecular Variance:\n"
              "    -------------------------------\n"
              "        No. of Permutations = 1000\n"
              "        Include Individual level\n"
              "        Compute minimum spanning network between all haplotypes in the sample\n"
              "        Print out inter-haplotypic distance matrix\n"
              "\n"
              "    Population pairwise Fst values:\n"
              "    -------------------------------\n"
              "        Compute pairwise differences\n"
              "        Compute Slatkin's distances\n"
              "        No. of permutations for significance = 100\n"
              "        No. of permutations for Mantel test  = 1000\n"
              "\n"
              "       Distance matrix:\n"
              "            Compute distance matrix\n"
              "            Molecular distance : Proportion of difference\n"
              "            Gamma a value      = 0.25\n"
              "\n"
              "    Exact test of population differentiation:\n"
              "    -----------------------------------------\n"
              "        No. of steps in Markov chain      = 100000\n"
              "        No. of Dememorisation Steps       = 10000\n"
              "        Required precision on Probability = 0\n"
              "        Print Histogram and table : No\n"
              "        Significance level        = 0.05\n"
              "\n"
              "\n"
              "    Correlation between distance matrices.\n"
              "    --------------------------------------------------------\n"
              "\n"
              "        No. of Permutations for significance = 1000\n"
              "\n");
}

TEST_F(SettingsPrint, AmovaBlockNeedsADesignAndDistanceMatrixFollowsIt) {
    xmlOutput = false;
    settings s;
    s.TaskNumber = 512;  // neither HaplAMOVA nor LocByLocAMOVA
    std::string text = pretty(s);
    EXPECT_EQ(text.find("Analysis of Molecular Variance"), std::string::npos);
    EXPECT_EQ(text.find("Distance matrix:"), std::string::npos);

    s.LocByLocAMOVA = 1;
    s.ComputeConventionalFST = 1;
    text = pretty(s);
    EXPECT_NE(text.find("       Distance matrix:\n"
                        "            Compute F-statistics on haplotype frequencies only\n\n"),
              std::string::npos);
    // Individual level only for genotypic data of known phase.
    EXPECT_EQ(text.find("Include Individual level"), std::string::npos);

    s.ComputeConventionalFST = 0;
    s.ComputeDistanceMatrixAMOVA = 0;
    text = pretty(s);
    EXPECT_NE(text.find("       Distance matrix:\n            Use pre-defined distance matrix\n"),
              std::string::npos);
}

TEST_F(SettingsPrint, UnnamedDistanceLeavesTheLabelLineOpen) {
    xmlOutput = false;
    ProfileSettings::DataType = FREQUENCY;
    settings s;
    s.TaskNumber = 2;
    std::string const text = pretty(s);
    EXPECT_NE(text.find("\n        Molecular Distance :        GammaA Value       = 0\n"),
              std::string::npos);
}

// Expected texts per data type and code, read off the name table.
TEST_F(SettingsPrint, DistanceMethodNames) {
    settings s;
    auto name = [&](TDataType type, int code) {
        ProfileSettings::DataType = type;
        std::ostringstream out;
        s.print_distance_method(out, code);
        return out.str();
    };
    for (int code = 0; code <= 6; ++code)
        EXPECT_EQ(name(DNA, code), std::string(kDistanceNames[code]) + "\n") << code;
    EXPECT_EQ(name(DNA, -1), "");
    EXPECT_EQ(name(DNA, 7), "");
    EXPECT_EQ(name(RFLP, 0), "Pairwise difference\n");
    EXPECT_EQ(name(RFLP, 1), "Proportion of difference\n");
    EXPECT_EQ(name(RFLP, 2), "");
    EXPECT_EQ(name(MICROSAT, 0), "No. of different alleles (FST)\n");
    EXPECT_EQ(name(MICROSAT, 1), "Sum of squared size difference (RST)\n");
    EXPECT_EQ(name(MICROSAT, 2), "");
    EXPECT_EQ(name(STANDARD, 0), "Pairwise differences\n");
    EXPECT_EQ(name(STANDARD, 42), "Pairwise differences\n");
    EXPECT_EQ(name(FREQUENCY, 0), "");
}

// -------------------------------------------------------------- LD table

class SettingsPrintLD : public SettingsPrint {
protected:
    std::string table(settings& s, TriMat const& m, std::vector<int> ids, int result = 1) {
        std::string const path = dir_.file("ld.txt");
        std::fstream out(path, std::ios::out | std::ios::trunc);
        s.ResultFile = &out;
        EXPECT_EQ(s.print_diseq_table(m, static_cast<int>(ids.size()), ids.data()), result);
        s.ResultFile = nullptr;
        out.close();
        return slurp(path);
    }
    static TriMat three() {
        TriMat m(3);
        m(1, 0) = 0.01;
        m(2, 0) = 0.2;
        m(2, 1) = 0.05;
        return m;
    }
};

TEST_F(SettingsPrintLD, SignsInModeTwo) {
    settings s;
    s.PrintFlagHistogramLD = 2;
    s.SignificanceLevelLD = 0.05;
    EXPECT_EQ(table(s, three(), {1, 2, 3}),
              "\nTable of significant linkage disequilibrium (significance level=0.05):\n"
              "\n"
              "          ------------\n"
              "Locus  # |  1|  2|  3|\n"
              "          ------------\n"
              "       1 |  *   +   - \n"
              "       2 |  +   *   - \n"  // 0.05 is not below the level
              "       3 |  -   -   * \n");
}

TEST_F(SettingsPrintLD, ValuesInModeOneWithFourDigits) {
    settings s;
    s.PrintFlagHistogramLD = 1;
    s.SignificanceLevelLD = 0.0123456;
    TriMat m = three();
    m(2, 1) = 0.123456;
    EXPECT_EQ(table(s, m, {4, 12, 7}),
              "\nTable of significant linkage disequilibrium (significance level=0.01235):\n"
              "\n"
              "          ------------------------\n"
              "Locus  # |      4|     12|      7|\n"
              "          ------------------------\n"
              "       4 |      *    0.01     0.2 \n"
              "      12 |   0.01       *  0.1235 \n"
              "       7 |    0.2  0.1235       * \n");
}

TEST_F(SettingsPrintLD, OtherModesLeaveCellsEmptyAndEqualNumbersGetAStar) {
    settings s;
    s.PrintFlagHistogramLD = 0;
    s.SignificanceLevelLD = 0.05;
    // Two positions carrying the same locus number meet as a diagonal.
    EXPECT_EQ(table(s, three(), {5, 5, 9}),
              "\nTable of significant linkage disequilibrium (significance level=0.05):\n"
              "\n"
              "          ---------\n"
              "Locus  # | 5| 5| 9|\n"
              "          ---------\n"
              "       5 | *  * \n"
              "       5 | *  * \n"
              "       9 | * \n");
}

TEST_F(SettingsPrintLD, NoLociAndNoStream) {
    settings s;
    s.PrintFlagHistogramLD = 2;
    EXPECT_EQ(table(s, TriMat(0), {}),
              "\nTable of significant linkage disequilibrium (significance level=0.05):\n"
              "\n"
              "          \n"
              "Locus  # |\n"
              "          \n");
    int ids[2] = {1, 2};
    s.ResultFile = nullptr;
    EXPECT_EQ(s.print_diseq_table(three(), 2, ids), 1);
}

}  // namespace
}  // namespace quintle
