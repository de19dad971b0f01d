// Divergence times with unequal sizes: the estimate of each pair and of each
// permutation drawn from the one stream in the order the test runs them
// (shuffle, then the solver's restarts), their P values, the pair left
// unestimated when a sample has no differences within it, and the tables.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "amova/TSolveDivTimes.h"
#include "amova/pairwise_fixture.h"

namespace quintle {
namespace {

using namespace pairwise_testing;

class DivergenceTimes : public PairwiseTest {
protected:
    struct Estimate {
        double tau = 0, k = 0, theta0 = 0;
        bool converged = false;
    };
    static Estimate solve(double a, double b, double c, int tries) {
        TSolveDivTimes solver(a, b, c);
        int const failed = solver.solve(tries);
        return {static_cast<double>(solver.tau), static_cast<double>(solver.k), static_cast<double>(solver.theta0),
                failed == 0};
    }

    struct Replay {
        Estimate observed;
        long success = 0, tau = 0, k = 0, theta0 = 0;
        double next = 0;  // the draw after the pass
    };
    // The pass over the one pair of samples 0 and 1 written out again from
    // the same seed: the observed estimate, then per permutation the
    // shuffle and, when `solver`, the permuted estimate.
    Replay replay(long seed, long permutations, bool solver) {
        reseed(seed);
        Replay r;
        double const na = static_cast<double>(copies[0].size());
        double const nb = static_cast<double>(copies[1].size());
        auto observedPix = [&](std::vector<int> const& c, double n) {
            return n > 1 ? 2 * (within_pairs(c, d) / n * n) / ((n - 1) * n) : 0.0;
        };
        auto permutedPix = [&](std::vector<int> const& c, double n) {
            return n > 1 ? 2 * (within_pairs(c, d) / n) / (n - 1) : 0.0;
        };
        double const a = observedPix(copies[0], na), b = observedPix(copies[1], nb);
        double const c = between_pairs(copies[0], copies[1], d) / (na * nb);
        if (a != 0 && b != 0 && c != 0) r.observed = solve(a, b, c, 50);
        std::vector<int> v = copies[0];
        v.insert(v.end(), copies[1].begin(), copies[1].end());
        int const split = static_cast<int>(na);
        for (long p = 0; p < permutations; ++p) {
            reference_shuffle_copies(v, split);
            std::vector<int> const x(v.begin(), v.begin() + split), y(v.begin() + split, v.end());
            double const pa = permutedPix(x, na), pb = permutedPix(y, nb);
            double const pc = between_pairs(x, y, d) / (na * nb);
            if (!solver || pa == 0 || pb == 0 || pc == 0) continue;
            Estimate const e = solve(pa, pb, pc, 20);
            if (!e.converged) continue;
            ++r.success;
            r.tau += e.tau >= r.observed.tau;
            r.k += e.k >= r.observed.k;
            r.theta0 += e.theta0 >= r.observed.theta0;
        }
        r.next = next_draw();
        return r;
    }

    void SetUp() override {
        PairwiseTest::SetUp();
        run.UnequalPopSizeDiv = 1;
        run.PrintMissIntermatchs = 1;
        run.PrintFstVals = 0;
        run.NumPermutationsFST = 8;  // 2 blocks of 5: 10 permutations
    }
};

TEST_F(DivergenceTimes, SolverRestartsDrawBetweenTheShuffles) {
    make_haplotypes(6, 14, 52);
    add_sample({{0, 3}, {1, 2}, {2, 2}});
    add_sample({{3, 2}, {4, 3}, {5, 1}, {0, 1}});
    reseed(2024);
    build();
    double const after = next_draw();

    Replay const r = replay(2024, 10, true);
    EXPECT_EQ(r.next, after) << "shuffles and solver restarts drawn in the order of the pass";
    EXPECT_NE(replay(2024, 10, false).next, after) << "the solver itself drew";
    ASSERT_GT(r.success, 0);

    std::string const text = result_text();
    std::vector<std::string> row = row_cells(text, "tau values", 2);
    ASSERT_GE(row.size(), 2u);
    EXPECT_EQ(row[0], fixed5(r.observed.tau));
    EXPECT_EQ(row[1] == "*", !r.observed.converged);
    struct Table {
        char const* title;
        long count;
    };
    Table const tables[] = {{"tau P values", r.tau}, {"k P values", r.k}, {"theta0 P values", r.theta0}};
    for (Table const& t : tables) {
        SCOPED_TRACE(t.title);
        row = row_cells(text, t.title, 2);
        ASSERT_EQ(row.size(), 1u);
        EXPECT_EQ(row[0], fixed5(static_cast<double>(t.count) / static_cast<double>(r.success)));
    }
    row = row_cells(text, "Unequal population sizes (k)", 2);
    ASSERT_GE(row.size(), 2u);
    EXPECT_EQ(row[0], fixed5(r.observed.k));
    row = row_cells(text, "Ancestral population sizes (theta0)", 2);
    ASSERT_GE(row.size(), 2u);
    EXPECT_EQ(row[0], fixed5(r.observed.theta0));
}

TEST_F(DivergenceTimes, SampleWithoutDifferencesIsNotEstimatedButItsPermutationsAre) {
    make_haplotypes(4, 10, 9);
    add_sample({{0, 4}});
    add_sample({{1, 2}, {2, 2}, {3, 1}});
    reseed(77);
    build();
    double const after = next_draw();
    EXPECT_EQ(replay(77, 10, true).next, after);

    std::string const text = result_text();
    // w = 13: labels in 15, values in 13, each followed by a star cell of
    // ten characters (blank here); the first column number in 28.
    EXPECT_NE(text.find("\n\n----------\ntau values\n----------\n\n" + std::string(27, ' ') + "1" +
                        std::string(12, ' ') + "2\n" + std::string(14, ' ') + "1      0.00000" +
                        std::string(9, ' ') + "\n" + std::string(14, ' ') + "2      0.00000" +
                        std::string(9, ' ') + "      0.00000" + std::string(9, ' ') + "\n\nAn * denotes"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace quintle
