// A draw against a quotient decided by one product: the same answer as the
// division for every input, at the rounding boundary too, and the product
// alone deciding all but the inputs within a few units of the quotient.

#include "core/quotient_compare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace quintle {
namespace {

void expect_as_division(double u, double a, double b) {
    EXPECT_EQ(below_quotient(u, a, b), u < a / b) << u << " " << a << " " << b;
    EXPECT_EQ(at_or_above_quotient(u, a, b), u >= a / b) << u << " " << a << " " << b;
    EXPECT_EQ(above_quotient(u, a, b), u > a / b) << u << " " << a << " " << b;
}

// The numbers u that straddle the rounded quotient: it, its neighbours and
// a few more units on either side.
std::vector<double> around(double q) {
    std::vector<double> out{q};
    double up = q, down = q;
    for (int k = 0; k < 6; ++k) {
        up = std::nextafter(up, 2.0);
        down = std::nextafter(down, -1.0);
        out.push_back(up);
        out.push_back(down);
    }
    return out;
}

TEST(QuotientCompare, AgreesWithTheDivisionAtTheRoundingBoundary) {
    std::mt19937_64 rng(2026);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_real_distribution<double> exponent(-40.0, 40.0);
    for (int trial = 0; trial < 200000; ++trial) {
        // Mantissas drawn apart, so that the product u b rounds.
        int const e = static_cast<int>(exponent(rng));
        double const a = std::ldexp(0.5 + 0.5 * unit(rng), e);
        double const b = a + std::ldexp(0.5 + 0.5 * unit(rng), e + static_cast<int>(unit(rng) * 4.0) - 2);
        for (double u : around(a / b))
            if (u >= 0.0) expect_as_division(u, a, b);
    }
    // Numbers so small that products lose digits (subnormal): the
    // division decides.
    for (int trial = 0; trial < 20000; ++trial) {
        double const a = std::ldexp(0.5 + 0.5 * unit(rng), -1060);
        double const b = a + std::ldexp(0.5 + 0.5 * unit(rng), -1060);
        for (double u : around(a / b)) expect_as_division(u, a, b);
    }
}

TEST(QuotientCompare, AgreesWithTheDivisionOnDrawsAndRatios) {
    // Draws are multiples of 1e-9; the sampler compares them with ratios of
    // window counts (alpha 0.01 and such added), sums of them and products.
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<long> draw(0, 999999999);
    std::uniform_real_distribution<double> count(0.0, 200.0);
    for (int trial = 0; trial < 500000; ++trial) {
        double const u = static_cast<double>(draw(rng)) * 1e-9;
        double const r0 = (count(rng) + 0.01) / (count(rng) + 0.01) - 1.0;
        double const r1 = (count(rng) + 0.01) / (count(rng) + 0.01) - 1.0;
        expect_as_division(u, r0, r0 + r1);
        expect_as_division(u, std::abs(r0), std::abs(r0) + std::abs(r1));
    }
}

TEST(QuotientCompare, OddNumbersTakeTheDivision) {
    double const inf = std::numeric_limits<double>::infinity();
    double const nan = std::numeric_limits<double>::quiet_NaN();
    double const odd[] = {0.0,    -0.0,      -1.0,       1e-320,   0x1p-501, 0x1p-500, 0x1p500,
                          0x1p501, 1e300,    inf,        -inf,     nan,      1.0,      0.3};
    for (double u : {0.0, 1e-9, 0.5, 0.999999999, 1.0, 2.0, -0.5, nan, 1e-320})
        for (double a : odd)
            for (double b : odd) expect_as_division(u, a, b);
}

TEST(QuotientCompare, TheProductDecidesAwayFromTheQuotient) {
    // Not a test of the answer (the division would give it too) but of the
    // shortcut: ordinary numbers well apart from the quotient never reach
    // the division.
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int decided = 0;
    for (int trial = 0; trial < 10000; ++trial) {
        double const a = 0.001 + unit(rng);
        double const b = a + unit(rng);
        double const u = unit(rng);
        if (std::abs(u - a / b) < 1e-12) continue;
        quotient_detail::Side const s = quotient_detail::side(u, a, b);
        ASSERT_TRUE(s.known()) << u << " " << a << " " << b;
        EXPECT_EQ(s.below, u < a / b);
        ++decided;
    }
    EXPECT_GT(decided, 9900);
}

}  // namespace
}  // namespace quintle
