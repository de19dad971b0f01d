// The exact test of sample differentiation: single chain steps replayed on
// recorded deviates of the generator, the batch plan and its stop rules, the
// tables the builders make, and P values against Fisher's exact test.
//
// Reference values (R 4, stats::fisher.test):
//   fisher.test(rbind(c(5,3,2,0), c(1,4,3,6)))$p.value           0.03091182385
//   fisher.test(rbind(c(8,2,5), c(3,9,4)))$p.value                0.04451852771
//   fisher.test(rbind(c(4,2,1,3), c(1,5,2,2), c(2,1,6,1)))$p.value 0.1345688652
//   fisher.test(rbind(c(6,3,2,1,0), c(2,5,3,2,4), c(1,2,6,5,3)))$p.value
//                                                                  0.08086070821
//   set.seed(1); fisher.test(rbind(c(12,8,5,3,9,2), c(6,14,7,2,5,9),
//     c(9,4,15,6,3,7), c(3,7,6,12,8,5)), simulate.p.value = TRUE, B = 1e6)
//                                  0.001257998742 (Monte Carlo s.d. 3.5e-5)

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/random.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "data/TAlleleDB.h"
#include "data/TPhenotype.h"
#include "haplo/contingency_chains.h"
#include "project/Samples.h"
#include "run/settings.h"
#include "structure/DiffInterPop.h"
#include "structure/differentiation_chain.h"
#include "support/process_state.h"

namespace quintle {
namespace {

// Restarts the generator; the draws that follow are, in order,
//   0.067781358 0.824523881 0.365198158 0.397743380 0.906935255
//   0.581254437 0.049977683 0.982493868 0.376787610 0.696109805
void reseed7() {
    long s = -7;
    ran3(&s);
}

double next_draw() {
    long one = 1;
    return ran3(&one);
}

FlatTable table_of(std::vector<std::vector<int>> const& rows) {
    FlatTable t(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()));
    for (int r = 0; r < t.rows; ++r)
        for (int c = 0; c < t.cols; ++c) t.at(r, c) = rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
    return t;
}

std::vector<int> row(FlatTable const& t, int r) {
    return std::vector<int>(t.cells.begin() + r * t.cols, t.cells.begin() + (r + 1) * t.cols);
}

TEST(DifferentiationSteps, DeviatesOfTheSeedAreTheRecordedOnes) {
    reseed7();
    for (double u : {0.067781358, 0.824523881, 0.365198158, 0.397743380, 0.906935255, 0.581254437, 0.049977683,
                     0.982493868, 0.376787610, 0.696109805})
        EXPECT_DOUBLE_EQ(next_draw(), u);
}

// Two rows: c1 = floor(4 u0) = 0, c2 = floor(4 u1) = 3; ratio
// 1 x 1 / ((2 + 1)(3 + 1)) = 1/12 < u2: refused. Then c1 = floor(4 u3) = 1,
// c2 = floor(4 u4) = 3; ratio 4 x 1 / ((2 + 1)(1 + 1)) = 2/3 >= u5: made.
TEST(DifferentiationSteps, TwoRowStepDrawsColumnsThenAccepts) {
    reseed7();
    FlatTable t = table_of({{1, 4, 2, 2}, {3, 1, 5, 1}});
    long seed = 1;
    EXPECT_EQ(two_row_chain_step(t.data(), t.cols, 4, seed), 1.0);
    EXPECT_EQ(row(t, 0), (std::vector<int>{1, 4, 2, 2}));
    EXPECT_DOUBLE_EQ(two_row_chain_step(t.data(), t.cols, 4, seed), 2.0 / 3.0);
    EXPECT_EQ(row(t, 0), (std::vector<int>{1, 3, 2, 3}));
    EXPECT_EQ(row(t, 1), (std::vector<int>{3, 2, 5, 0}));
    EXPECT_DOUBLE_EQ(next_draw(), 0.049977683) << "six draws in all";
}

// A second column equal to the first is drawn again, and a ratio of 1 or
// more takes no acceptance draw: after u0 and u1, c1 = floor(4 u2) = 1,
// c2 = floor(4 u3) = 1 again, then floor(4 u4) = 3; ratio 6 x 2 / (1 x 1).
TEST(DifferentiationSteps, TwoRowStepRedrawsAnEqualColumn) {
    reseed7();
    next_draw();
    next_draw();
    FlatTable t = table_of({{0, 6, 0, 0}, {0, 0, 0, 2}});
    long seed = 1;
    EXPECT_DOUBLE_EQ(two_row_chain_step(t.data(), t.cols, 4, seed), 6.0 * 2.0);
    EXPECT_EQ(row(t, 0), (std::vector<int>{0, 5, 0, 1}));
    EXPECT_EQ(row(t, 1), (std::vector<int>{0, 1, 0, 1}));
    EXPECT_DOUBLE_EQ(next_draw(), 0.581254437);
}

// K rows: r1 = floor(3 u0) = 0, c1 = floor(3 u1) = 2, r2 = floor(3 u2) = 1,
// c2 = floor(3 u3) = 1; ratio 1 x 1 / ((1 + 1)(2 + 1)) = 1/6 < u4: refused.
// Then r1 = floor(3 u5) = 1, c1 = floor(3 u6) = 0, r2 = floor(3 u7) = 2,
// c2 = floor(3 u8) = 1; ratio 4 x 1 / ((1 + 1)(1 + 1)) = 1: made, no draw.
TEST(DifferentiationSteps, KRowStepDrawsRowColumnRowColumn) {
    reseed7();
    FlatTable t = table_of({{2, 1, 1}, {4, 1, 2}, {1, 1, 1}});
    long seed = 1;
    EXPECT_EQ(ld_chain_step(t.data(), t.cols, 3, 3, seed), 1.0);
    EXPECT_EQ(t.cells, (std::vector<int>{2, 1, 1, 4, 1, 2, 1, 1, 1}));
    EXPECT_EQ(ld_chain_step(t.data(), t.cols, 3, 3, seed), 1.0);
    EXPECT_EQ(t.cells, (std::vector<int>{2, 1, 1, 3, 2, 2, 2, 0, 1}));
    EXPECT_DOUBLE_EQ(next_draw(), 0.696109805);
}

// Counts of 50000 make products past 2^31: the ratio 50000^2 / 50001^2 is
// just below 1 and the move is made on u2 = 0.365.
TEST(DifferentiationSteps, LargeCountsDoNotOverflowTheRatio) {
    reseed7();
    FlatTable t = table_of({{50000, 50000}, {50000, 50000}});
    long seed = 1;
    EXPECT_DOUBLE_EQ(two_row_chain_step(t.data(), t.cols, 2, seed), 2.5e9 / (50001.0 * 50001.0));
    EXPECT_EQ(t.cells, (std::vector<int>{49999, 50001, 50001, 49999}));
}

TEST(DifferentiationBatches, SizeAndNumberFollowTheChainLength) {
    struct Case {
        std::int64_t steps, size, count;
    };
    for (Case c : {Case{1, 2000, 10}, {1000, 2000, 10}, {19999, 2000, 10}, {20000, 5000, 4}, {50000, 5000, 10},
                   {50001, 10000, 5}, {100000, 10000, 10}, {123456, 10000, 12}}) {
        DifferentiationBatches const b = differentiation_batches(c.steps);
        EXPECT_EQ(b.size, c.size) << c.steps;
        EXPECT_EQ(b.count, c.count) << c.steps;
    }
}

// In [[1, 0], [0, 1]] every move has ratio 1: every step counts, each batch
// gives 1 and their spread is 0 from the third batch on. The global test
// stops there (precision 0 >= s.d. 0), the pair test (precision 0 > 0 is
// false) runs all its batches.
TEST(DifferentiationChain, StopRulesAfterEqualBatches) {
    reseed7();
    FlatTable const t = table_of({{1, 0}, {0, 1}});
    DifferentiationSettings s;
    s.steps = 1000;
    s.dememorisation = 10;
    s.stopAtEqual = true;
    DifferentiationOutcome global = run_differentiation_chain(t, s);
    EXPECT_EQ(global.steps, 3 * 2000);
    EXPECT_EQ(global.p, 1.0);
    EXPECT_EQ(global.sd, 0.0);

    s.stopAtEqual = false;
    s.pairStep = true;
    DifferentiationOutcome pair = run_differentiation_chain(t, s);
    EXPECT_EQ(pair.steps, 10 * 2000);
    EXPECT_EQ(pair.p, 1.0);

    // A precision above every spread stops the pair test after three too.
    s.precision = 0.5;
    EXPECT_EQ(run_differentiation_chain(t, s).steps, 3 * 2000);
}

struct FisherCase {
    std::vector<std::vector<int>> rows;
    double p;        // R's value
    double rSD;      // its Monte Carlo error (0 when exact)
};

// The chain of the default length (100000 counted steps after 10000 steps
// of dememorisation per batch) against R; the two-row tables both with the
// pair step and with the K-row step.
TEST(DifferentiationChain, PValuesAgreeWithFisherExactTest) {
    std::vector<FisherCase> const cases = {
        {{{5, 3, 2, 0}, {1, 4, 3, 6}}, 0.03091182385, 0.0},
        {{{8, 2, 5}, {3, 9, 4}}, 0.04451852771, 0.0},
        {{{4, 2, 1, 3}, {1, 5, 2, 2}, {2, 1, 6, 1}}, 0.1345688652, 0.0},
        {{{6, 3, 2, 1, 0}, {2, 5, 3, 2, 4}, {1, 2, 6, 5, 3}}, 0.08086070821, 0.0},
        {{{12, 8, 5, 3, 9, 2}, {6, 14, 7, 2, 5, 9}, {9, 4, 15, 6, 3, 7}, {3, 7, 6, 12, 8, 5}}, 0.001257998742,
         3.5e-5},
    };
    reseed7();
    for (FisherCase const& c : cases) {
        FlatTable const t = table_of(c.rows);
        for (bool pair : {true, false}) {
            if (pair && t.rows != 2) continue;
            DifferentiationSettings s;
            s.steps = 100000;
            s.dememorisation = 10000;
            s.pairStep = pair;
            DifferentiationOutcome const out = run_differentiation_chain(t, s);
            EXPECT_EQ(out.steps, 100000);
            double const tolerance = 3.0 * std::sqrt(out.sd * out.sd + c.rSD * c.rSD);
            EXPECT_NEAR(out.p, c.p, tolerance) << "table of " << t.rows << " rows, pair step " << pair;
            EXPECT_GT(out.sd, 0.0);
            EXPECT_LT(out.sd, 0.01);
        }
    }
}

// ---------------------------------------------------------------------------
// Builders and the record's tests

class DiffRecordTest : public ::testing::Test {
protected:
    DiffRecordTest() {
        s.NumPermutPopDiff = 1000;
        s.NumDememoPopDiff = 100;
        d.runSettings = &s;
        d.samples = &set;
        set.GenotypicData = 0;
        set.GameticPhase = 1;
    }
    ~DiffRecordTest() override { d.clean_table(); }

    HaploDef* definition(char const* id) {
        definitions.push_back(std::make_unique<HaploDef>(my_string(id)));
        return definitions.back().get();
    }
    // A haploid sample: entries (definition, count).
    Population* sample(std::vector<std::pair<HaploDef*, int>> const& entries) {
        auto* p = new Population(my_string(("s" + std::to_string(set.Populations.count)).c_str()));
        for (auto const& [h, n] : entries) p->haplotypes.Add(new PHaploDef{h, n});
        set.Populations.Add(p);
        return p;
    }
    // An unphased diploid sample: individuals ("a1 b2", "a2 b2", count).
    Population* genotypes(std::vector<std::tuple<char const*, char const*, double>> const& individuals) {
        auto* p = new Population(my_string(("g" + std::to_string(set.Populations.count)).c_str()));
        p->profile.GenotypicData = 1;
        p->profile.MissingData = '?';
        p->alleleDB = &alleles;
        for (auto const& [g1, g2, n] : individuals) {
            auto* ph = new TPhenotype(my_string("i"), n);
            ph->alleleString1 = g1;
            ph->alleleString2 = g2;
            p->phenotypes.add(ph);
        }
        p->build_allele_vectors(' ');
        set.Populations.Add(p);
        return p;
    }
    std::vector<int> table_row(int r) const {
        return std::vector<int>(d.table[r], d.table[r] + d.numColumns);
    }

    test::Saved<double> work_{settings::global_work_done};
    test::LogGuard log_{"quintle_diff"};
    TAlleleDB alleles{0};
    std::vector<std::unique_ptr<HaploDef>> definitions;
    Samples set;
    settings s;
    DiffInterPop d;
};

TEST_F(DiffRecordTest, HaplotypeTablesTakeColumnsInOrderOfFirstAppearance) {
    HaploDef* a = definition("a");
    HaploDef* b = definition("b");
    HaploDef* c = definition("c");
    Population* x = sample({{b, 2}, {a, 3}});
    Population* y = sample({{c, 1}, {a, 4}, {b, 1}});
    Population* z = sample({{c, 5}});
    ASSERT_EQ(d.build_all_table(), 1);
    EXPECT_EQ(d.numColumns, 3);
    EXPECT_EQ(table_row(0), (std::vector<int>{2, 3, 0}));
    EXPECT_EQ(table_row(1), (std::vector<int>{1, 4, 1}));
    EXPECT_EQ(table_row(2), (std::vector<int>{0, 0, 5}));
    d.clean_big_table();
    EXPECT_EQ(d.table, nullptr);

    ASSERT_EQ(d.build_all_table(z, x), 1);
    EXPECT_EQ(table_row(0), (std::vector<int>{5, 0, 0}));
    EXPECT_EQ(table_row(1), (std::vector<int>{0, 2, 3}));
    (void)y;
}

// Unphased genotypes by hand: columns are unordered allele pairs at every
// locus, so "a1 b1 / a2 b2" and "a2 b1 / a1 b2" are one genotype; counts are
// truncated.
TEST_F(DiffRecordTest, GenotypeTableOfUnphasedIndividuals) {
    set.GenotypicData = 1;
    set.GameticPhase = 0;
    Population* x = genotypes({{"a1 b1", "a2 b2", 2}, {"a1 b1", "a1 b1", 1.7}, {"a2 b1", "a1 b2", 1}});
    Population* y = genotypes({{"a1 b1", "a1 b1", 3}, {"a2 b2", "a2 b2", 1}, {"a2 b2", "a1 b1", 2}});
    ASSERT_EQ(d.build_pheno_table(), 1);
    ASSERT_EQ(d.numColumns, 3);
    EXPECT_EQ(table_row(0), (std::vector<int>{3, 1, 0}));
    EXPECT_EQ(table_row(1), (std::vector<int>{2, 3, 1}));
    d.clean_table();
    ASSERT_EQ(d.build_pheno_table(y, x), 1);
    EXPECT_EQ(table_row(0), (std::vector<int>{3, 1, 2}));
    EXPECT_EQ(table_row(1), (std::vector<int>{1, 0, 3}));
}

TEST_F(DiffRecordTest, PairsShowMinusOneWhenTheTableCannotBeBuilt) {
    HaploDef* a = definition("a");
    HaploDef* b = definition("b");
    sample({{a, 3}, {b, 1}});
    sample({{a, 2}});
    sample({{a, 4}});
    d.firstSample = 2;
    d.secondSample = 1;
    d.make_diff_test();
    EXPECT_EQ(d.pValue, -1.0);
    EXPECT_EQ(d.pValueSD, 1.0);
    EXPECT_EQ(d.testImpossible, 1);
    EXPECT_EQ(d.table, nullptr);

    d.firstSample = 1;
    d.secondSample = 0;
    d.make_diff_test();
    EXPECT_GE(d.pValue, 0.0);
    EXPECT_EQ(d.stepsDone, 20000);
    EXPECT_EQ(d.testImpossible, 1) << "never cleared by a test";
}

// Without NumPermutPopDiff (0) or with a stop request no test runs: the
// previous pair's P value must not stay in the record to be read as this
// pair's.
TEST_F(DiffRecordTest, TestsThatDoNotRunLeaveMinusOne) {
    HaploDef* a = definition("a");
    HaploDef* b = definition("b");
    sample({{a, 3}, {b, 1}});
    sample({{a, 2}, {b, 2}});
    d.firstSample = 1;
    d.secondSample = 0;
    d.make_diff_test();
    ASSERT_GT(d.pValue, 0.0);

    s.NumPermutPopDiff = 0;
    d.make_diff_test();
    EXPECT_EQ(d.pValue, -1.0);
    EXPECT_EQ(d.pValueSD, 1.0);
    EXPECT_EQ(d.stepsDone, 0);
    d.pValue = 0.3;
    d.make_sample_test();
    EXPECT_EQ(d.pValue, -1.0);

    s.NumPermutPopDiff = 1000;
    s.stopFlag = 1;
    d.pValue = 0.3;
    d.make_sample_test();
    EXPECT_EQ(d.pValue, -1.0);
    EXPECT_EQ(d.stepsDone, 0);
    EXPECT_EQ(d.testImpossible, 0);
}

// Counts no chain can hold (their total passes the int range a move keeps
// its cells in), and negative counts, build no table.
TEST_F(DiffRecordTest, CountsBeyondTheTableRangeBuildNoTable) {
    HaploDef* a = definition("a");
    HaploDef* b = definition("b");
    Population* x = sample({{a, 2000000000}, {b, 1}});
    Population* y = sample({{a, 2000000000}, {b, 1}});
    EXPECT_EQ(d.build_all_table(x, y), 0);
    EXPECT_EQ(d.table, nullptr);
    Population* z = sample({{a, -3}, {b, 1}});
    EXPECT_EQ(d.build_all_table(x, z), 0);
    d.firstSample = 1;
    d.secondSample = 0;
    d.make_diff_test();
    EXPECT_EQ(d.pValue, -1.0);
    EXPECT_EQ(d.testImpossible, 1);
}

// Two identical samples form the most probable table of their margins, so
// nearly every visited table counts: P near 1. Samples with no haplotype in
// common form the least probable one: P near 0.
TEST_F(DiffRecordTest, IdenticalSamplesNearOneDisjointNearZero) {
    HaploDef* a = definition("a");
    HaploDef* b = definition("b");
    HaploDef* c = definition("c");
    HaploDef* e = definition("e");
    sample({{a, 10}, {b, 10}});
    sample({{a, 10}, {b, 10}});
    sample({{c, 10}, {e, 10}});
    reseed7();
    d.firstSample = 1;
    d.secondSample = 0;
    d.make_diff_test();
    EXPECT_GT(d.pValue, 0.95);
    d.firstSample = 2;
    d.make_diff_test();
    EXPECT_LT(d.pValue, 0.001);
    d.make_sample_test();
    EXPECT_LT(d.pValue, 0.001);
    EXPECT_EQ(d.testImpossible, 0);
}

}  // namespace
}  // namespace quintle
