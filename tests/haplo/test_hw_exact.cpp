// The Hardy-Weinberg exact test of a diploid sample: P values against
// independent exact calculations, the section text, and the cases where no
// chain can or should run.
//
// Reference P values:
// - biallelic loci: R 4.2, package genetics 1.3.8,
//   HWE.exact(genotype(c(rep("A/A", AA), rep("A/B", AB), rep("B/B", BB))))$p.value;
// - three alleles: a separate python3 enumeration of every genotype table
//   with the observed allele counts, each with Levene's probability
//   N! prod n_i! 2^H / ((2N)! prod n_ij!), P the sum over the tables no more
//   probable than the observed one (the probabilities summed to 1).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "haplo_fixture.h"

namespace quintle {
namespace {

using haplo_test::AnalysisTest;
using haplo_test::biallelic;
using haplo_test::DiploidSample;
using haplo_test::Individual;
using haplo_test::reseed;

std::string const rule = std::string(72, '-') + "\n";
std::string const titles = "Locus  #Genot       Obs.Het.     Exp.Het.   P-value     s.d.  Steps done\n";

std::string heading(char const* what, long steps, long dememorisation) {
    std::ostringstream os;
    os << "\nExact test using a Markov chain (for all " << what << "):\nForecasted chain length     :" << steps
       << "\nDememorization steps        :" << dememorisation << "\n\n";
    return os.str();
}

class HardyWeinberg : public AnalysisTest {
protected:
    HardyWeinberg() {
        s.MakeHWExactTest = 1;
        s.MarkovChainStepsHW = 1000000;
    }
    std::string section(Population& p) {
        p.make_all_hw(result_, p.phenotypes, static_cast<long>(s.MarkovChainStepsHW), s);
        return result();
    }
    // Runs the single chain on one locus (-1: whole haplotypes); the s.d.
    // of P into `sd`.
    double test_locus(Population& p, int locus, long& stepsDone, double& sd) {
        int sel[2] = {1, locus};
        double status = 1.0;
        return p.make_hw_test2(static_cast<long>(s.MarkovChainStepsHW), status, s, stepsDone, sel, sd);
    }
    double test_locus(Population& p, int locus, long& stepsDone) {
        double sd = 0.0;
        return test_locus(p, locus, stepsDone, sd);
    }
};

TEST_F(HardyWeinberg, BiallelicLociAgreeWithTheExactTest) {
    struct Case {
        int AA, AB, BB;
        double reference;
    };
    reseed(31);
    s.MarkovChainStepsHW = 200000;
    s.PrecisionOnPValueHW = 0.01;
    for (Case c : {Case{10, 2, 8, 0.0002947959},
                   {5, 10, 5, 1.0},
                   {1, 12, 7, 0.3274342195},
                   {25, 15, 10, 0.0265090744},
                   {3, 1, 4, 0.0489510490}}) {
        DiploidSample sample(biallelic(c.AA, c.AB, c.BB), false);
        long steps = 0;
        double sd = -1.0;
        double const P = test_locus(sample.pop, 0, steps, sd);
        EXPECT_EQ(steps, 200256);  // 447 bins of 448
        EXPECT_GE(sd, 0.0);
        // P and its s.d. come back to the caller; the settings stay as read.
        EXPECT_EQ(s.HWPValue, 1.0);
        EXPECT_EQ(s.PrecisionOnPValueHW, 0.01);
        EXPECT_NEAR(P, c.reference, std::max(6 * sd, 0.005)) << c.AA << " " << c.AB << " " << c.BB << " sd " << sd;
    }
}

TEST_F(HardyWeinberg, ThreeAlleleLociAgreeWithAnEnumeration) {
    struct Case {
        int n11, n12, n13, n22, n23, n33;
        double reference;
    };
    reseed(37);
    s.MarkovChainStepsHW = 200000;
    for (Case c :
         {Case{3, 1, 1, 2, 2, 3, 0.0735079969}, {1, 4, 3, 0, 3, 2, 0.7449511318}, {0, 5, 4, 0, 5, 1, 0.2368077928}}) {
        DiploidSample sample({{"1", "1", double(c.n11)},
                              {"1", "2", double(c.n12)},
                              {"3", "1", double(c.n13)},
                              {"2", "2", double(c.n22)},
                              {"2", "3", double(c.n23)},
                              {"3", "3", double(c.n33)}},
                             false);
        long steps = 0;
        double sd = 0.0;
        double const P = test_locus(sample.pop, 0, steps, sd);
        EXPECT_NEAR(P, c.reference, std::max(6 * sd, 0.005)) << c.n11 << c.n12 << c.n13;
    }
}

TEST_F(HardyWeinberg, WithoutTheTestOnlyTheFrameIsWritten) {
    s.MakeHWExactTest = 0;
    DiploidSample sample({{"A C", "B C", 2}, {"A C", "A D", 1}}, false);
    EXPECT_EQ(section(sample.pop), heading("Loci", 1000000, 1000) + rule + titles + rule + "\n\n" + rule + "\n\n");
}

// A haploid sample has no phenotypes: no locus rows, and no crash on the
// empty base.
TEST_F(HardyWeinberg, AHaploidSampleGetsTheFrameOnly) {
    Population haploid;
    haploid.profile.GenotypicData = 0;
    EXPECT_EQ(section(haploid), heading("Loci", 1000000, 1000) + rule + titles + rule + rule + "\n\n");
}

TEST_F(HardyWeinberg, MissingDataAreLeftOutOfTheRow) {
    // Locus 1: AA 2, AB 3, BB 1 and four individuals missing one copy.
    // By hand: #Genot 6, Obs.Het. 3/6, copies A 7 and B 5, Exp.Het.
    // (12/11) (1 - (49 + 25) / 144) = 0.530303. Locus 2 holds C only.
    s.MarkovChainStepsHW = 2000;
    DiploidSample sample(
        {{"A C", "A C", 2}, {"A C", "B C", 3}, {"B C", "B C", 1}, {"? C", "A C", 3}, {"B C", "? C", 1}}, false);
    std::string const text = section(sample.pop);
    std::istringstream lines(text.substr(text.find(titles) + titles.size() + rule.size()));
    std::string row1, row2;
    std::getline(lines, row1);
    std::getline(lines, row2);
    std::istringstream fields(row1);
    int locus = 0;
    long genotypes = 0;
    double obs = 0, exp = 0, P = 0, sd = 0;
    long steps = 0;
    fields >> locus >> genotypes >> obs >> exp >> P >> sd >> steps;
    EXPECT_EQ(locus, 1);
    EXPECT_EQ(genotypes, 6);
    EXPECT_DOUBLE_EQ(obs, 0.5);
    EXPECT_NEAR(exp, 0.530303, 5e-6);
    EXPECT_EQ(steps, 2024);
    EXPECT_EQ(row2, "    2   This locus is monomorphic: no test done.");
}

TEST_F(HardyWeinberg, PhasedDataAddTheWholeHaplotypeTestAsTheTypeAsks) {
    s.MarkovChainStepsHW = 2000;
    std::vector<Individual> const individuals = {{"A C", "B D", 3}, {"A C", "A C", 2}, {"B D", "B C", 2}};
    std::string const haplotypes = heading("Haplotypes", 2000, 1000) + "Markov Chain test:  P value : ";
    struct Case {
        int type;
        bool phased, lociHeading, haplotypeLine;
    };
    for (Case c : {Case{0, true, true, false},
                   {1, true, false, true},
                   {2, true, true, true},
                   {1, false, true, false},
                   {2, false, true, false}}) {
        restart_result();
        s.TypeOfTestHW = c.type;
        DiploidSample sample(individuals, c.phased);
        std::string const text = section(sample.pop);
        EXPECT_EQ(text.find(heading("Loci", 2000, 1000)) != std::string::npos, c.lociHeading) << c.type;
        EXPECT_EQ(text.find(haplotypes) != std::string::npos, c.haplotypeLine) << c.type;
        // Loci tested or not, one line each.
        EXPECT_EQ(text.find("    1       7") != std::string::npos, c.lociHeading) << c.type;
        if (!c.lociHeading) {
            EXPECT_NE(text.find(titles + rule + "\n\n" + rule), std::string::npos);
        }
    }
}

// With every individual carrying the same two haplotypes no chain runs;
// the line must not show the configured precision nor earlier steps.
TEST_F(HardyWeinberg, FewerThanTwoHaplotypesShowPOneWithoutSpread) {
    s.TypeOfTestHW = 2;
    s.PrecisionOnPValueHW = 0.01;
    DiploidSample sample({{"A C", "A C", 4}}, true);
    std::string const text = section(sample.pop);
    EXPECT_NE(text.find("Markov Chain test:  P value : 1.00000 +/-    0.00000       (0 steps done\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(s.PrecisionOnPValueHW, 0.01);
}

// A stopped chain shows P = 1 with the precision asked for on its locus
// row, and -1000 on the whole-haplotype line; the settings stay as read.
TEST_F(HardyWeinberg, AStoppedChainShowsThePrecisionAskedFor) {
    s.MarkovChainStepsHW = 2000;
    s.PrecisionOnPValueHW = 0.25;
    s.TypeOfTestHW = 2;
    s.stopFlag = 1;
    DiploidSample sample({{"A C", "B D", 3}, {"A C", "A C", 2}, {"B D", "B C", 2}}, true);
    std::string const text = section(sample.pop);
    std::istringstream lines(text.substr(text.find(titles) + titles.size() + rule.size()));
    std::string row1;
    std::getline(lines, row1);
    std::istringstream fields(row1);
    int locus = 0;
    long genotypes = 0, steps = -1;
    double obs = 0, exp = 0, P = 0, sd = 0;
    fields >> locus >> genotypes >> obs >> exp >> P >> sd >> steps;
    EXPECT_EQ(P, 1.0) << row1;
    EXPECT_EQ(sd, 0.25) << row1;
    EXPECT_EQ(steps, 0) << row1;
    EXPECT_NE(text.find("Markov Chain test:  P value : -1000.00000 +/-    0.25000       (0 steps done\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(s.PrecisionOnPValueHW, 0.25);
    EXPECT_EQ(s.HWPValue, 1.0);
}

TEST_F(HardyWeinberg, AChainLengthBelowOneRunsNoChain) {
    for (long steps : {0L, -5L}) {
        s.MarkovChainStepsHW = steps;
        DiploidSample sample(biallelic(2, 3, 1), false);
        long done = 99;
        double sd = 0.5;
        s.PrecisionOnPValueHW = 0.01;
        EXPECT_EQ(test_locus(sample.pop, 0, done, sd), 1.0);
        EXPECT_EQ(done, 0);
        EXPECT_EQ(sd, 0.0);
        EXPECT_EQ(s.PrecisionOnPValueHW, 0.01);
    }
}

TEST_F(HardyWeinberg, TheBatchedChainServesLongHaplotypeChainsOnly) {
    // A precision of 1 ends the batched chain after its third batch of 448
    // steps; the single chain ignores it (447 bins of 448).
    s.TypeOfTestHW = 1;
    DiploidSample sample({{"A C", "B D", 3}, {"A C", "A C", 2}, {"B D", "B C", 2}}, true);
    for (auto [steps, done] : {std::pair{200000L, 200256L}, {200001L, 1344L}}) {
        s.PrecisionOnPValueHW = 1.0;
        s.MarkovChainStepsHW = steps;
        std::string const text = section(sample.pop);
        EXPECT_NE(text.find("(" + std::to_string(done) + " steps done\n"), std::string::npos) << steps;
    }
}

TEST_F(HardyWeinberg, ATableTooLargeToCountFailsCleanly) {
    // Two classes of two thousand million individuals each: their total
    // passes what a table of ints can hold.
    DiploidSample sample({{"A", "A", 2147483647.0}, {"A", "B", 2147483647.0}}, false);
    long done = 7;
    EXPECT_EQ(test_locus(sample.pop, 0, done), 1.0);
    EXPECT_EQ(done, 0);
    EXPECT_NE(log().find("unable to build contingency table"), std::string::npos);
}

TEST_F(HardyWeinberg, TableMembersBuildReleaseAndStep) {
    DiploidSample sample({{"A", "B", 3}, {"B", "C", 1}, {"C", "C", 2}}, false);
    Population& p = sample.pop;
    int sel[2] = {1, 0};
    ASSERT_EQ(p.make_hw_table(sel), 1);
    ASSERT_EQ(sel[0], 3);
    ASSERT_EQ(p.contTable.size(), 5u);
    EXPECT_EQ(p.contTable[0][1], 3);  // {A, B}
    EXPECT_EQ(p.contTable[1][2], 1);  // {B, C}
    EXPECT_EQ(p.contTable[2][2], 2);  // {C, C}
    reseed(3);
    long seed = 1;
    for (int i = 0; i < 50; ++i) p.swap_in_table2(sel, seed);
    int total = 0;
    for (auto const& row : p.contTable)
        for (int v : row) total += v;
    EXPECT_EQ(total, 6);
    p.clear_table(sel);
    EXPECT_TRUE(p.contTable.empty());

    int beyond[2] = {1, 4};
    EXPECT_EQ(p.make_hw_table(beyond), 0);
    EXPECT_NE(log().find("invalid index in contingency table"), std::string::npos);
}

}  // namespace
}  // namespace quintle
