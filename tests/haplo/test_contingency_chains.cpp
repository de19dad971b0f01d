// The chain steps against the probabilities they stand for, worked out here
// from the tables themselves: under Hardy-Weinberg with fixed allele counts a
// genotype table has probability proportional to 2^H / prod n_ij! (H the
// heterozygotes); a two-locus table with fixed margins, 1 / prod n_ij!. Every
// move a step makes must return exactly the ratio of the two, keep the
// margins, and never overflow on large counts.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "haplo/contingency_chains.h"
#include "haplo_fixture.h"

namespace quintle {
namespace {

using haplo_test::reseed;

double ln_hw_probability(FlatTable const& t, int k) {
    double lp = 0.0;
    for (int a = 0; a < k; ++a) {
        for (int b = a; b < k; ++b) {
            int const n = t.at(a, b);
            lp -= std::lgamma(n + 1.0);
            if (a != b) lp += n * std::log(2.0);
        }
    }
    return lp;
}

double ln_ld_probability(FlatTable const& t) {
    double lp = 0.0;
    for (int v : t.cells) lp -= std::lgamma(v + 1.0);
    return lp;
}

std::vector<std::int64_t> allele_counts(FlatTable const& t, int k) {
    std::vector<std::int64_t> c(static_cast<std::size_t>(k), 0);
    for (int a = 0; a < k; ++a)
        for (int b = a; b < k; ++b) {
            c[static_cast<std::size_t>(a)] += t.at(a, b);
            c[static_cast<std::size_t>(b)] += t.at(a, b);
        }
    return c;
}

std::vector<std::int64_t> margins(FlatTable const& t) {
    std::vector<std::int64_t> m(static_cast<std::size_t>(t.rows + t.cols), 0);
    for (int r = 0; r < t.rows; ++r)
        for (int c = 0; c < t.cols; ++c) {
            m[static_cast<std::size_t>(r)] += t.at(r, c);
            m[static_cast<std::size_t>(t.rows + c)] += t.at(r, c);
        }
    return m;
}

FlatTable genotype_table(int k, std::vector<std::vector<int>> const& upper) {
    FlatTable t(k, k);
    for (int a = 0; a < k; ++a)
        for (int b = a; b < k; ++b) t.at(a, b) = upper[static_cast<std::size_t>(a)][static_cast<std::size_t>(b - a)];
    return t;
}

FlatTable two_locus(std::vector<std::vector<int>> const& rows) {
    FlatTable t(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()));
    for (int r = 0; r < t.rows; ++r)
        for (int c = 0; c < t.cols; ++c) t.at(r, c) = rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
    return t;
}

TEST(ContingencyChains, IntegerSquareRoot) {
    struct Case {
        std::int64_t n, root;
    };
    for (Case c : {Case{-5, 0},
                   {0, 0},
                   {1, 1},
                   {3, 1},
                   {4, 2},
                   {2000, 44},
                   {100000, 316},
                   {200001, 447},
                   {1000000, 1000},
                   {999999999999LL, 999999},
                   {1000000000000LL, 1000000}})
        EXPECT_EQ(int_sqrt(c.n), c.root) << c.n;
}

// Homozygotes, heterozygotes and both special moves (two homozygotes into
// one heterozygote class and back) all occur on these tables.
TEST(ContingencyChains, HardyWeinbergStepReturnsTheProbabilityRatioOfItsMove) {
    std::vector<FlatTable> tables = {
        genotype_table(2, {{3, 4}, {5}}),
        genotype_table(3, {{2, 1, 3}, {0, 4}, {1}}),
        genotype_table(4, {{1, 2, 0, 1}, {3, 1, 0}, {2, 2}, {0}}),
    };
    reseed(17);
    long seed = 1;
    int moves = 0;
    for (FlatTable& t : tables) {
        int const k = t.rows;
        auto const counts = allele_counts(t, k);
        for (int step = 0; step < 3000; ++step) {
            FlatTable const before = t;
            double const r = hw_chain_step(t.data(), k, k, seed);
            ASSERT_EQ(allele_counts(t, k), counts);
            if (t.cells == before.cells) {
                EXPECT_EQ(r, 1.0);
                continue;
            }
            ++moves;
            double const expected = std::exp(ln_hw_probability(t, k) - ln_hw_probability(before, k));
            ASSERT_NEAR(r, expected, 1e-9 * expected) << "table of " << k << " alleles, step " << step;
        }
    }
    EXPECT_GT(moves, 1000);
}

TEST(ContingencyChains, LinkageStepReturnsTheProbabilityRatioOfItsMove) {
    std::vector<FlatTable> tables = {two_locus({{12, 3}, {2, 11}}), two_locus({{6, 1, 1}, {1, 5, 2}, {0, 2, 6}}),
                                     two_locus({{1, 0, 4, 2}, {3, 3, 0, 1}})};
    reseed(23);
    long seed = 1;
    int moves = 0;
    for (FlatTable& t : tables) {
        auto const m = margins(t);
        for (int step = 0; step < 3000; ++step) {
            FlatTable const before = t;
            double const r = ld_chain_step(t.data(), t.cols, t.rows, t.cols, seed);
            ASSERT_EQ(margins(t), m);
            if (t.cells == before.cells) {
                EXPECT_EQ(r, 1.0);
                continue;
            }
            ++moves;
            double const expected = std::exp(ln_ld_probability(t) - ln_ld_probability(before));
            ASSERT_NEAR(r, expected, 1e-9 * expected);
        }
    }
    EXPECT_GT(moves, 1000);
}

// Products of counts above 46340 pass what an int holds: the two homozygote
// classes of 50000 and 60000 must propose a move of ratio 4 x 3e9 / 2.
TEST(ContingencyChains, LargeCountsDoNotOverflowTheRatio) {
    reseed(5);
    long seed = 1;
    FlatTable hw = genotype_table(2, {{50000, 0}, {60000}});
    double r = 1.0;
    for (int i = 0; i < 100 && hw.at(0, 1) == 0; ++i) r = hw_chain_step(hw.data(), 2, 2, seed);
    ASSERT_EQ(hw.at(0, 1), 2);
    EXPECT_DOUBLE_EQ(r, 4.0 * 50000.0 * 60000.0 / 2.0);

    FlatTable ld = two_locus({{50000, 0}, {0, 60000}});
    for (int i = 0; i < 100 && ld.at(0, 1) == 0; ++i) r = ld_chain_step(ld.data(), 2, 2, 2, seed);
    ASSERT_EQ(ld.at(0, 1), 1);
    EXPECT_DOUBLE_EQ(r, 50000.0 * 60000.0);
}

TEST(ContingencyChains, StepCountsOfTheFourChains) {
    ChainControl control;
    control.dememorisation = 10;
    FlatTable hw = genotype_table(2, {{3, 4}, {5}});
    EXPECT_EQ(hw_single_chain(hw, 2, 1000000, control).steps, 1001000);  // 1000 bins of 1001
    EXPECT_EQ(hw_single_chain(hw, 2, 2000, control).steps, 2024);        // 44 bins of 46
    EXPECT_EQ(hw_batched_chain(hw, 2, 2000, control).steps, 2024);

    FlatTable ld = two_locus({{5, 5}, {6, 4}});
    EXPECT_EQ(ld_short_chain(ld, 2, 2, 100000, control).steps, 100172);  // 316 batches of 317
    EXPECT_EQ(ld_long_chain(ld, 2, 2, 6, control).steps, 120000);

    // A precision above every spread ends the batched chains at their third
    // batch.
    control.precision = 2.0;
    EXPECT_EQ(hw_batched_chain(hw, 2, 2000, control).steps, 3 * 46);
    EXPECT_EQ(ld_long_chain(ld, 2, 2, 6, control).steps, 3 * ld_batch_steps);

    int stop = 1;
    control.stop = &stop;
    EXPECT_TRUE(ld_short_chain(ld, 2, 2, 1000, control).stopped);
    EXPECT_TRUE(hw_single_chain(hw, 2, 1000, control).stopped);
}

TEST(ContingencyChains, ATableWithoutMovesGivesPOneAndNoSpread) {
    // One heterozygous individual: every proposal needs a second genotype.
    FlatTable one = genotype_table(2, {{0, 1}, {0}});
    ChainOutcome const o = hw_single_chain(one, 2, 10000, ChainControl{100, 0.0, nullptr});
    EXPECT_EQ(o.p, 1.0);
    EXPECT_EQ(o.sd, 0.0);
    EXPECT_EQ(one.at(0, 1), 1);
}

TEST(ContingencyChains, AFixedSeedRepeatsAChain) {
    auto run = [] {
        reseed(99);
        FlatTable t = two_locus({{6, 1, 1}, {1, 5, 2}, {0, 2, 6}});
        return ld_short_chain(t, 3, 3, 20000, ChainControl{500, 0.0, nullptr});
    };
    ChainOutcome const a = run(), b = run();
    EXPECT_EQ(a.p, b.p);
    EXPECT_EQ(a.sd, b.sd);
    EXPECT_GT(a.sd, 0.0);
}

}  // namespace
}  // namespace quintle
