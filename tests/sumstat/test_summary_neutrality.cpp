// Neutrality-test and mismatch tables of the within-sample summary, on
// hand-built samples whose results are set directly. Expected values are
// worked out by hand.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "popstats/PopGenetics.h"
#include "summary_fixture.h"

namespace quintle {
namespace {

using namespace testing_support;

class SummaryNeutrality : public SummaryFixture {
protected:
    void SetUp() override {
        SummaryFixture::SetUp();
        ProfileSettings::DataType = DNA;
        // As the earlier tables of the section leave it.
        result_.setf(std::ios::fixed, std::ios::floatfield);
        result_.setf(std::ios::showpoint);
        result_.precision(5);
        set_.GenotypicData = 0;
        set_.GameticPhase = 1;
    }
    void TearDown() override {
        SummaryFixture::TearDown();
        SumStat.MEAN_TAJIMAD = SumStat.SD_TAJIMAD = SumStat.MEAN_FUFS = SumStat.SD_FUFS = false;
    }
};

TEST_F(SummaryNeutrality, TajimaAndFuValuesGoToSumStat) {
    s_.TaskNumber = 64 | 16384;
    double const d[] = {0.5, -1.2, 2.0};
    double const fs[] = {-3.5, 1.25, 0.0};
    char const* names[] = {"n1", "n2", "n3"};
    for (int i = 0; i < 3; ++i) {
        auto* p = add(names[i]);
        p->tajimaD = d[i];
        p->fuFs = fs[i];
    }
    SumStat.MEAN_TAJIMAD = SumStat.SD_TAJIMAD = SumStat.MEAN_FUFS = true;
    SumStat.sdFS = 42.0;  // SD_FUFS clear: kept
    fill(SumStat.dSdValues, {7.0});
    fill(SumStat.fsSdValues, {7.0});
    set_.WriteNeutralityAndMismatchTables(s_, 12);

    EXPECT_EQ(values_of(SumStat.dValues), (std::vector<double>{0.5, -1.2, 2.0}));
    EXPECT_EQ(SumStat.dSdValues.count, 0);
    EXPECT_NEAR(SumStat.meanD, 1.3 / 3.0, 1e-12);
    // s.d.: squares of the deviations from 13/30 add to 5.12667, over 2.
    EXPECT_NEAR(SumStat.sdD, 1.6010413278, 1e-9);
    EXPECT_EQ(values_of(SumStat.fsValues), (std::vector<double>{-3.5, 1.25, 0.0}));
    EXPECT_EQ(SumStat.fsSdValues.count, 0);
    EXPECT_DOUBLE_EQ(SumStat.meanFS, -0.75);
    EXPECT_EQ(SumStat.sdFS, 42.0);

    EXPECT_TRUE(has(std::string(50, ' ') + "Tajima's D" +
                    "     0.50000    -1.20000     2.00000     0.43333     1.60104\n"))
        << output();
    // A Fu P value of -1 shows "N.A.", and so do the row's summaries.
    EXPECT_TRUE(has(std::string(50, ' ') + "FS p-value        N.A.        N.A.        N.A.        N.A.        N.A.\n"))
        << output();
}

TEST_F(SummaryNeutrality, RowsKeepEarlierValuesWhenTheirTestIsNotAsked) {
    s_.TaskNumber = 128;
    add("a")->tajimaD = 3.0;
    fill(SumStat.dValues, {1.0, 2.0});
    fill(SumStat.fsValues, {4.0});
    set_.WriteNeutralityAndMismatchTables(s_, 12);
    EXPECT_EQ(values_of(SumStat.dValues), (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(values_of(SumStat.fsValues), (std::vector<double>{4.0}));
}

TEST_F(SummaryNeutrality, GuardedRowsAndTableText) {
    s_.TaskNumber = 128 | 256;
    s_.InferHaplotypeDefinitionFromDistanceMatrix = 1;
    auto* a = add("north");
    auto* b = add("south");
    a->SampleSize = 20.0;
    b->SampleSize = 31.0;
    a->NbHaplotypeEntries = 4;
    b->NbHaplotypeEntries = 6;
    a->NbHaplotypeEntriesRead = 5;
    b->NbHaplotypeEntriesRead = 8;
    a->ewProbF = 0.25;
    b->ewProbF = 0.75;
    a->slatkinExactP = -1.0;  // not computed
    b->slatkinExactP = 0.5;
    a->homozygosity = -1.0;
    b->homozygosity = 0.8;
    a->expNumAlleles = 3.5;
    b->expNumAlleles = 4.5;

    set_.WriteNeutralityAndMismatchTables(s_, 12);
    std::string const rule(24 + 84, '-');
    std::string const pad = std::string(60, ' ');
    auto label = [&](std::string const& l) { return pad.substr(l.size()) + l; };
    EXPECT_TRUE(has("\n----------------\nNeutrality tests\n" + rule + "\n" + label("Statistics") +
                    "       north       south        Mean        s.d.\n" + rule + "\n" +
                    "Ewens-Watterson test\n--------------------\n" + label("Sample size") +
                    "          20          31    25.50000     7.77817\n" + label("Real no. of alleles") +
                    "           4           6     5.00000     1.41421\n" + label("Orig. no. of alleles") +
                    "           5           8     6.50000     2.12132\n"))
        << output();
    // The entity label is right-aligned in 63.
    EXPECT_TRUE(has(std::string(22, ' ') + "   Watterson test: Pr(rand F &lt;= obs F)" +
                    "     0.25000     0.75000     0.50000     0.35355\n"))
        << output();
    EXPECT_TRUE(has(label("Slatkin's exact test P-value") + "        N.A.     0.50000        N.A.        N.A.\n"));
    // Mean -0.1 is below 0.
    EXPECT_TRUE(has(label("Obs. homozygosity") + "        N.A.     0.80000        N.A.        N.A.\n"));
    EXPECT_TRUE(has(label("Exp. no. of alleles") + "     3.50000     4.50000     4.00000     0.70711\n"));
    EXPECT_TRUE(has(label("P(k or more alleles)") + "        N.A.        N.A.        N.A.        N.A.\n"));
    EXPECT_TRUE(has("Chakraborty's test\n------------------\n"));

    // Guarded by the mean only: -1 and 3 have mean 1, s.d. 4 / sqrt(2).
    b->homozygosity = 3.0;
    std::size_t const before = output().size();
    set_.WriteNeutralityAndMismatchTables(s_, 12);
    EXPECT_NE(output().find(label("Obs. homozygosity") + "        N.A.     3.00000     1.00000     2.82843\n", before),
              std::string::npos);
}

TEST_F(SummaryNeutrality, BlockGates) {
    add("a");
    struct Case {
        TDataType type;
        long long task;
        int genotypic, phase, recessive;
        bool neutrality, mismatch;
    };
    for (Case const c : {
             Case{MICROSAT, 128 | 4, 0, 1, 0, false, false},
             Case{DNA, 64 | 4, 1, 0, 0, false, false},  // unphased genotypes
             Case{DNA, 64 | 4, 1, 1, 1, false, true},   // recessive data: mismatch only
             Case{STANDARD, 64 | 4, 0, 1, 0, true, false},
             Case{RFLP, 4, 0, 1, 0, false, true},
         }) {
        ProfileSettings::DataType = c.type;
        s_.TaskNumber = c.task;
        s_.RecessiveAllelesEM = c.recessive;
        set_.GenotypicData = c.genotypic;
        set_.GameticPhase = c.phase;
        std::size_t const before = output().size();
        set_.WriteNeutralityAndMismatchTables(s_, 12);
        std::string const out = output().substr(before);
        EXPECT_EQ(out.find("Neutrality tests") != std::string::npos, c.neutrality) << c.type << " " << c.task;
        EXPECT_EQ(out.find("Mismatch analysis") != std::string::npos, c.mismatch) << c.type << " " << c.task;
        // Standard data: Tajima's table is not written, the block still closes.
        if (c.type == STANDARD) {
            std::string const rule(12 + 84, '-');
            EXPECT_NE(out.find(rule + "\n" + rule + "\n"), std::string::npos) << out;
            EXPECT_EQ(out.find("Tajima"), std::string::npos);
        }
    }
}

TEST_F(SummaryNeutrality, MismatchRowsAndNumberFormats) {
    s_.TaskNumber = 4;
    s_.MismatchDemogExp = true;
    s_.MismatchSpatialExp = true;
    s_.NumBootExpDem = 0;
    auto* a = add("a");
    auto* b = add("b");
    a->spaM = 250000.0;
    b->spaM = 12.5;
    a->spaSSD = 0.001;
    b->spaSSD = 0.003;
    a->demTau = 1.5;
    b->demTau = 2.5;
    result_.precision(3);  // the first row's values take the precision in force

    set_.WriteNeutralityAndMismatchTables(s_, 12);
    std::string const rule(24 + 49, '-');
    auto label = [](std::string const& l) { return std::string(25 - l.size(), ' ') + l; };
    EXPECT_TRUE(has("\n-----------------\nMismatch analysis\n" + rule + "\n" + label("Statistics") +
                    "           a           b        Mean        s.d.\n" + rule + "\n" +
                    "\nDemographic expansion\n---------------------\n" + label("Tau") +
                    "       1.500       2.500     2.00000     0.70711\n"))
        << output();
    EXPECT_TRUE(has(label("M") + " 2.50000e+05    12.50000125006.25000176767.85646\n")) << output();
    EXPECT_TRUE(has(label("SSD") + "     0.00100     0.00300     0.00200     0.00141\n"));
    EXPECT_TRUE(has("\nSpatial expansion\n-----------------\n"));
    EXPECT_EQ(output().find(" qt "), std::string::npos);
    EXPECT_EQ(output().find("p-value"), std::string::npos);
    EXPECT_TRUE(has(label("Raggedness index") + "     0.00000     0.00000     0.00000     0.00000\n" + rule + "\n"));

    // With bootstrap replicates the quantile and p-value rows appear.
    s_.NumBootExpDem = 100;
    a->demTheta0Quantiles[3] = 0.125;
    std::size_t const before = output().size();
    set_.WriteNeutralityAndMismatchTables(s_, 12);
    std::string const out = output().substr(before);
    EXPECT_NE(out.find(label("Theta0 qt 97.5%") + "     0.12500     0.00000"), std::string::npos) << out;
    EXPECT_NE(out.find(label("Raggedness p-value")), std::string::npos);
}

}  // namespace
}  // namespace quintle
