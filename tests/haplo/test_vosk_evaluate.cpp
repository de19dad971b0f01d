// The condensing of a window's counts (TGenotSample::evaluate) without the
// sums with gamma, which the sampler takes when gammaIsInert says they
// change nothing: the same numbers to the last bit, and the settings where
// they would not be.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "haplo/TGenotSample.h"

namespace quintle {
namespace {

using Evaluation = TGenotSample::Evaluation;

bool same_bits(Evaluation const& a, Evaluation const& b) {
    auto const bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
    return bits(a.keep) == bits(b.keep) && bits(a.swap) == bits(b.swap) && bits(a.ratio) == bits(b.ratio) &&
           bits(a.mass) == bits(b.mass);
}

PhasingParameters params(double alpha, double epsilon, double gamma) {
    PhasingParameters p;
    p.alpha = alpha;
    p.epsilon = epsilon;
    p.gamma = gamma;
    return p;
}

TEST(VoskEvaluate, WithoutGammaTheSameBitsWhereGammaIsInert) {
    std::mt19937 rng(35);
    for (double alpha : {0.0, 0.01, 1.0, 2.5})
        for (double epsilon : {0.0, 0.01, 0.5})
            for (double gamma : {0.0, -0.0}) {
                PhasingParameters const p = params(alpha, epsilon, gamma);
                ASSERT_TRUE(TGenotSample::gammaIsInert(p));
                for (int k = 0; k < 500; ++k) {
                    vosk::SubHaplCounts c;
                    // Counts of up to 100 gametes, many empty cells (keep or swap 0).
                    for (int x = 0; x < 4; ++x) {
                        c.N[x] = rng() % 3 == 0 ? 0.0 : static_cast<double>(rng() % 101);
                        c.M[x] = rng() % 3 == 0 ? 0.0 : static_cast<double>(rng() % 101);
                    }
                    EXPECT_TRUE(same_bits(TGenotSample::evaluate<false>(p, c), TGenotSample::evaluate<true>(p, c)))
                        << "alpha " << alpha << ", epsilon " << epsilon << ", gamma " << gamma;
                }
            }
    // By hand: F = N + 0.5 M + 1 = 6, 2, 5, 3 (Aa Ab Ba Bb): keep 18,
    // swap 10, ratio 18 / 10, mass 16.
    vosk::SubHaplCounts const c{{4, 1, 3, 2}, {2, 0, 2, 0}};
    Evaluation const e = TGenotSample::evaluate<false>(params(1.0, 0.5, 0.0), c);
    EXPECT_EQ(e.keep, 18.0);
    EXPECT_EQ(e.swap, 10.0);
    EXPECT_EQ(e.ratio, 1.8);
    EXPECT_EQ(e.mass, 16.0);
}

TEST(VoskEvaluate, GammaCountsWhereItMayChangeAResult) {
    EXPECT_FALSE(TGenotSample::gammaIsInert(params(0.01, 0.01, 0.124)));
    EXPECT_FALSE(TGenotSample::gammaIsInert(params(std::numeric_limits<double>::quiet_NaN(), 0.01, 0.0)));
    EXPECT_FALSE(TGenotSample::gammaIsInert(params(0.01, -0.5, 0.0)));
    // A negative alpha can make keep -0: F = 0, 1, 2, -1 (Aa Ab Ba Bb),
    // keep = 0 x -1 = -0, swap 2. Adding a gamma of +0 turns the -0 into +0
    // (ratio +inf); left out, the ratio would be 2 / -0 = -inf.
    vosk::SubHaplCounts const c{{1, 2, 3, 0}, {0, 0, 0, 0}};
    PhasingParameters const p = params(-1.0, 0.0, 0.0);
    EXPECT_FALSE(TGenotSample::gammaIsInert(p));
    EXPECT_EQ(TGenotSample::evaluate<true>(p, c).ratio, std::numeric_limits<double>::infinity());
    EXPECT_EQ(TGenotSample::evaluate<false>(p, c).ratio, -std::numeric_limits<double>::infinity());
    // A gamma of -0 adds nothing to any number, -0 included.
    PhasingParameters const q = params(-1.0, 0.0, -0.0);
    EXPECT_TRUE(TGenotSample::gammaIsInert(q));
    EXPECT_TRUE(same_bits(TGenotSample::evaluate<false>(q, c), TGenotSample::evaluate<true>(q, c)));
}

}  // namespace
}  // namespace quintle
