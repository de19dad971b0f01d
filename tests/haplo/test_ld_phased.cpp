// The exact linkage test of a phased sample: P values against Fisher's exact
// test, the step counts of both chains, the order of the pairs and what the
// driver writes around them.
//
// Reference P values (two-locus tables of gene copies):
// - 2 x 2: python3 with scipy 1.10.1, scipy.stats.fisher_exact(table)[1];
// - 3 x 3: R 4.2, fisher.test(matrix(..., nrow = 3, byrow = TRUE))$p.value.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "core/TriMat.h"
#include "haplo_fixture.h"

namespace quintle {
namespace {

using haplo_test::AnalysisTest;
using haplo_test::from_table;
using haplo_test::PhasedSample;
using haplo_test::reseed;

class LinkageTest : public AnalysisTest {
protected:
    LinkageTest() {
        s.MakeExactTestLD = 1;
        s.SignificanceLevelLD = 0.05;
    }
    // The steps of every pair line, in order.
    std::vector<long> steps_done(std::string const& text) {
        std::vector<long> out;
        std::regex const line(R"(\((\d+) Steps done\))");
        for (std::sregex_iterator i(text.begin(), text.end(), line), end; i != end; ++i)
            out.push_back(std::stol((*i)[1]));
        return out;
    }
};

TEST_F(LinkageTest, TwoByTwoTablesAgreeWithFishersExactTest) {
    struct Case {
        std::vector<std::vector<int>> table;
        double reference;
    };
    reseed(41);
    for (Case const& c : {Case{{{12, 3}, {2, 11}}, 0.0018381418}, Case{{{5, 5}, {6, 4}}, 1.0},
                          Case{{{30, 10}, {10, 30}}, 0.0000148748}, Case{{{8, 2}, {3, 7}}, 0.0697785187}}) {
        PhasedSample sample(from_table(c.table));
        int pair[3] = {2, 0, 1};
        long steps = 100000, done = 0;
        s.LDPValue = 0.625;
        s.PrecisionOnPValueLD = 0.0;
        double sd = -1.0;
        double const P = sample.pop.calc_gam_des_prob2(pair, steps, s, done, sd);
        EXPECT_EQ(done, 100172);
        EXPECT_EQ(s.LDPValue, 0.625) << "P is returned, not put into the settings";
        EXPECT_EQ(s.PrecisionOnPValueLD, 0.0) << "nor its s.d.";
        EXPECT_GE(sd, 0.0);
        EXPECT_NEAR(P, c.reference, std::max(6 * sd, 0.005)) << c.table[0][0];
        EXPECT_EQ(pair[0], 2);  // the request is given back as it came
        EXPECT_EQ(pair[2], 1);
    }
}

// The observed table is the least probable (an empty cell), or other tables
// are exactly as probable as it (mirrored margins): the chain comes back to
// them with a log-ratio that is zero up to rounding, and each such step
// counts. Exact P: the 2 x 2 tables with scipy.stats.fisher_exact(table)[1],
// the 3 x 3 ones with R 4.2.2, fisher.test(matrix(c(...), 3, byrow = TRUE))
// $p.value.
TEST_F(LinkageTest, TablesAsProbableAsTheObservedOneCount) {
    struct Case {
        std::vector<std::vector<int>> table;
        double reference;
    };
    reseed(47);
    for (Case const& c : {Case{{{8, 3}, {0, 5}}, 0.0256410256}, Case{{{8, 0}, {0, 8}}, 0.0001554002},
                          Case{{{0, 6}, {4, 3}}, 0.0699300699}, Case{{{7, 1}, {0, 6}}, 0.0046620047},
                          Case{{{3, 5}, {5, 3}}, 0.6192696193}, Case{{{6, 2}, {2, 6}}, 0.1319347319},
                          Case{{{4, 4}, {4, 4}}, 1.0}, Case{{{5, 0, 0}, {0, 4, 1}, {0, 1, 5}}, 0.0001565894},
                          Case{{{4, 0, 1}, {0, 4, 1}, {1, 1, 0}}, 0.0259740260}}) {
        PhasedSample sample(from_table(c.table));
        int pair[3] = {2, 0, 1};
        long steps = 100000, done = 0;
        double sd = 0.0;
        double const P = sample.pop.calc_gam_des_prob2(pair, steps, s, done, sd);
        std::string const which = std::to_string(c.table[0][0]) + " " + std::to_string(c.table[0][1]);
        EXPECT_GT(P, 0.0) << which;
        EXPECT_NEAR(P, c.reference, std::max(6 * sd, 0.005)) << which;
    }
}

TEST_F(LinkageTest, ThreeByThreeTablesAgreeWithFishersExactTestOnBothChains) {
    struct Case {
        std::vector<std::vector<int>> table;
        double reference;
    };
    reseed(43);
    for (Case const& c :
         {Case{{{6, 1, 1}, {1, 5, 2}, {0, 2, 6}}, 0.0027850456}, Case{{{3, 3, 2}, {2, 4, 3}, {3, 2, 4}}, 0.9167672691},
          Case{{{9, 2, 0}, {1, 7, 2}, {1, 1, 6}}, 0.0000534486}}) {
        PhasedSample sample(from_table(c.table));
        int pair[3] = {2, 0, 1};
        long steps = 100000, done = 0;
        double sd = 0.0;
        s.PrecisionOnPValueLD = 0.0;  // the long chain runs every batch
        double const shortP = sample.pop.calc_gam_des_prob2(pair, steps, s, done, sd);
        EXPECT_NEAR(shortP, c.reference, std::max(6 * sd, 0.005));
        steps = 150000;
        double const longP = sample.pop.calc_gam_des_prob3(pair, steps, s, done, sd);
        EXPECT_EQ(done, 160000);
        EXPECT_EQ(steps, 160000);
        EXPECT_NEAR(longP, c.reference, std::max(3 * sd, 0.005));
        EXPECT_EQ(s.PrecisionOnPValueLD, 0.0);
    }
}

TEST_F(LinkageTest, PairsComeInDriverOrderWithTheirStepCounts) {
    // Loci 1, 3 and 4 are monomorphic: the pairs are (0, 2), (0, 5), (2, 5).
    PhasedSample sample({{"a x b y z c", 6}, {"a x d y z c", 3}, {"e x b y z f", 2}, {"e x d y z f", 4}});
    s.MarkovChainStepsLD = 100000;
    sample.pop.calc_all_gam_des(result_, 100000, s);
    std::string text = result();
    EXPECT_LT(text.find("Pair (0, 2) Exact P="), text.find("Pair (0, 5) Exact P="));
    EXPECT_LT(text.find("Pair (0, 5) Exact P="), text.find("Pair (2, 5) Exact P="));
    EXPECT_EQ(steps_done(text), (std::vector<long>{100172, 100172, 100172}));

    // Above 100000 steps the long chain enlarges the length pair by pair.
    restart_result();
    sample.pop.calc_all_gam_des(result_, 100001, s);
    EXPECT_EQ(steps_done(result()), (std::vector<long>{120000, 140000, 160000}));
}

TEST_F(LinkageTest, AFixedSeedRepeatsTheWholeTest) {
    PhasedSample sample(from_table({{6, 1, 1}, {1, 5, 2}, {0, 2, 6}}));
    auto run = [&] {
        restart_result();
        reseed(7);
        sample.pop.calc_all_gam_des(result_, 5000, s);
        return result();
    };
    std::string const first = run();
    EXPECT_NE(first.find("Exact P="), std::string::npos);
    EXPECT_EQ(run(), first);
}

TEST_F(LinkageTest, ThePairLinesAndTheirBatchLines) {
    open_batch_streams();
    settings::input_file = "p.pmp";
    // Locus 0's second allele is carried only by a copy missing at locus 1:
    // among the complete copies locus 0 is monomorphic.
    PhasedSample sample({{"a b", 4}, {"a c", 3}, {"d ?", 2}}, "S1");
    s.PrintFlagHistogramLD = 0;
    sample.pop.calc_all_gam_des(result_, 1000, s);
    EXPECT_NE(result().find("Pair (0, 1) Exact P=1  +-  0 (0 Steps done)\n"), std::string::npos) << result();
    EXPECT_EQ(batch("l_d_pro.sum"), "\"p.pmp\"\t\"S1\"\t0\t1\t0\t1\t0\n");
    EXPECT_EQ(s.PrintFlagHistogramLD, 2);
}

TEST_F(LinkageTest, TheHistogramModeBecomesTwoUnlessItIsThree) {
    PhasedSample sample(from_table({{3, 1}, {1, 3}}));
    for (auto [before, after] : {std::pair{0, 2}, {1, 2}, {3, 3}, {7, 2}}) {
        s.PrintFlagHistogramLD = before;
        sample.pop.calc_all_gam_des(result_, 100, s);
        EXPECT_EQ(s.PrintFlagHistogramLD, after) << before;
    }
}

// No chain length, a negative one, or the test switched off: no test lines
// and no significance table; the measures still run and give the sample's
// linkage values.
TEST_F(LinkageTest, WithoutAChainOnlyTheMeasuresRun) {
    PhasedSample sample(from_table({{3, 1}, {1, 3}}));
    for (auto [make, steps] : {std::pair{1, 0L}, {1, -100000L}, {0, 1000L}}) {
        restart_result();
        sample.pop.linkage_line.reset();
        s.MakeExactTestLD = make;
        sample.pop.calc_all_gam_des(result_, steps, s);
        std::string const text = result();
        EXPECT_EQ(text.find("Test of linkage"), std::string::npos) << steps;
        EXPECT_EQ(text.find("Table of significant"), std::string::npos);
        EXPECT_NE(text.find("Loci 0 and 1"), std::string::npos);
        ASSERT_TRUE(sample.pop.linkage_line);
        EXPECT_TRUE(sample.pop.linkage_line->meanR2);
    }
}

TEST_F(LinkageTest, EmptyListsAndSingleLociAreReported) {
    PhasedSample empty({});
    empty.pop.calc_all_gam_des(result_, 1000, s);
    EXPECT_NE(log().find("haplotype list is empty"), std::string::npos);
    PhasedSample single({{"a b", 3}, {"c b", 2}});
    single.pop.calc_all_gam_des(result_, 1000, s);
    EXPECT_NE(log().find("linkage disequilibrium cannot be computed on a single locus"), std::string::npos);
    EXPECT_EQ(result(), "");
}

TEST_F(LinkageTest, TableMembersBuildAndStep) {
    PhasedSample sample({{"a x b", 2}, {"c y b", 3}, {"c x b", 1}});
    PopGenetics& p = sample.pop;
    int pair[3] = {2, 0, 1};
    ASSERT_EQ(p.make_all_table(pair), 1);
    EXPECT_EQ(pair[0], 2);
    EXPECT_EQ(pair[1], 2);
    EXPECT_EQ(p.contTable[0][0], 2);  // a x
    EXPECT_EQ(p.contTable[1][1], 3);  // c y
    EXPECT_EQ(p.contTable[1][0], 1);  // c x
    long seed = 1;
    for (int i = 0; i < 20; ++i) EXPECT_GT(p.swap_in_table(pair, seed), 0.0);
    int mono[3] = {2, 0, 2};
    EXPECT_EQ(p.make_all_table(mono), 0);
    EXPECT_EQ(p.contTableMonomorphic, 1);
    // Locus 0 against the combinations of the other loci (x b, y b).
    int rest[3] = {2, 0, 0};
    ASSERT_EQ(p.make_all_table4(rest), 1);
    EXPECT_EQ(rest[0], 2);
    EXPECT_EQ(rest[1], 2);
}

}  // namespace
}  // namespace quintle
