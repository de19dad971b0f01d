#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "popstats/fu_fs.h"
#include "popstats/ewens_reference.h"
#include "popstats/tajima.h"
#include "popstats/theta_estimators.h"
#include "support/process_state.h"

namespace quintle {
namespace {


constexpr double flt_max = 3.4028234663852886e38;

// References computed once with python3, fractions module: exact a1, a2,
// b1, b2, c1, c2, e1, e2 and d = pi - S/a1, then d / sqrt(e1 S + e2 S (S - 1)).
TEST(TajimaD, AgainstExactRationalConstants) {
    struct Case {
        int n;
        double pi, S, D;
    };
    for (Case c : {Case{10, 3.5, 16, -1.764472809308194}, Case{20, 3.0, 5, 3.4534667308132265},
                   Case{50, 12.0, 70, -0.814672262617675}}) {
        double D = 99.0, P = 0.5;
        EXPECT_NEAR(tajimaD(c.n, c.pi, c.S, D, P), c.D, 1e-12) << c.n;
        EXPECT_EQ(P, 0.5);  // left for the simulations to fill
        double fD = 99.0, fP = 0.5;
        EXPECT_NEAR(fast_tajimaD(c.n, c.pi, c.S, fD, fP), c.D, 1e-12) << c.n;
        EXPECT_EQ(fP, 0.5);
    }
}

// The two guards only the observed form has: a difference pi - S/a1 below
// 1e-15 is 0 there, a tiny D in the fast form; degenerate input gives D = 0
// and P = -1 in both.
TEST(TajimaD, GuardsOfTheObservedFormOnly) {
    double a1 = 0.0;
    for (int i = 1; i < 10; ++i) a1 += 1.0 / i;
    const double pi = std::nextafter(16.0 / a1, 100.0);  // one step above S/a1
    double D = 99.0, P = 0.5;
    EXPECT_EQ(tajimaD(10, pi, 16, D, P), 0.0);
    EXPECT_EQ(P, 0.5);
    double fD = 99.0, fP = 0.5;
    fast_tajimaD(10, pi, 16, fD, fP);
    EXPECT_NE(fD, 0.0);
    EXPECT_LT(std::fabs(fD), 1e-14);
    EXPECT_EQ(fP, 0.5);

    struct Case {
        char const* what;
        int n;
        double pi, S;
    };
    for (Case c : {Case{"no segregating site", 10, 0.0, 0}, Case{"two copies: no variance", 2, 1.0, 1},
                   Case{"one copy", 1, 0.0, 1}}) {
        for (bool fast : {false, true}) {
            double d = 99.0, p = 0.5;
            if (fast)
                fast_tajimaD(c.n, c.pi, c.S, d, p);
            else
                tajimaD(c.n, c.pi, c.S, d, p);
            EXPECT_EQ(d, 0.0) << c.what << fast;
            EXPECT_EQ(p, -1.0) << c.what << fast;
        }
    }
}

// A series of replicates computes the constants of its sample size once:
// theta(S), its s.d., D and P come out as the per-call forms give them, to
// the bit, over sample sizes, segregating sites and pairwise differences
// (degenerate ones included).
TEST(TajimaD, ConstantsOfASeriesGiveTheSameNumbers) {
    std::uint64_t state = 12345;
    auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    };
    for (int n : {1, 2, 3, 7, 50, 51, 200, 4999}) {
        const WattersonSums sums = watterson_sums(n);
        const TajimaConstants constants = n >= 2 ? tajima_constants(n) : TajimaConstants{n};
        for (int trial = 0; trial < 400; ++trial) {
            const int S = trial % 10 == 0 ? 0 : static_cast<int>(next() * 60.0);
            const double pi = trial % 7 == 0 && constants.a1 > 0 ? S / constants.a1 : next() * 2.0 * S;
            double thetaS = 0, sd = 0, thetaS2 = 1, sd2 = 1;
            theta_S(n, S, thetaS, sd);
            theta_S(sums, S, thetaS2, sd2);
            double D = 0, P = 0.5, D2 = 1, P2 = 0.5;
            fast_tajimaD(n, pi, S, D, P);
            fast_tajimaD(constants, pi, S, D2, P2);
            const auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
            ASSERT_EQ(bits(thetaS), bits(thetaS2)) << n << " " << S;
            ASSERT_EQ(bits(sd), bits(sd2)) << n << " " << S;
            ASSERT_EQ(bits(D), bits(D2)) << n << " " << S << " " << pi;
            ASSERT_EQ(bits(P), bits(P2)) << n << " " << S << " " << pi;
        }
    }
}

// Fs = ln(S' / (1 - S')), S' = P(K >= k) from the Ewens formula.
double fs_reference(int n, int k, long double theta) {
    const auto p = testing_support::ewens(n, theta);
    long double tail = 0.0L;
    for (int j = k; j <= n; ++j) tail += p[j];
    return static_cast<double>(std::log(tail / (1.0L - tail)));
}

TEST(FuFs, AgainstExactStirlingNumbers) {
    struct Case {
        int n, k;
        double theta, Fs;
    };
    // Fs columns computed once with python3 fractions (exact rational S').
    const Case cases[] = {{10, 5, 2.0, -0.6021918548343185},  {20, 3, 2.5, 4.07280085232883},
                          {40, 15, 4.0, -3.230227396559101},  {30, 12, 1.5, -7.437790519661529},
                          {50, 20, 5.0, -5.005607626075968}};
    for (const Case& c : cases) {
        BnumMat table;
        int exists = 0;
        double Fs = 0.0;
        EXPECT_EQ(Fu_Fs(c.theta, c.k, c.n, Fs, true, table, exists), FuFsOutcome::finite);
        EXPECT_NEAR(Fs, c.Fs, 1e-6) << c.n << " " << c.k;
        EXPECT_NEAR(Fs, fs_reference(c.n, c.k, c.theta), 1e-6) << c.n << " " << c.k;
        EXPECT_EQ(table.numRows(), c.n + 10);
        EXPECT_EQ(table.numCols(), c.k + 10);
    }
}

TEST(FuFs, BoundsAndRefusals) {
    test::LogGuard log;
    BnumMat table;
    int exists = 0;
    ASSERT_EQ(get_B_num_mat(table, exists), 1);
    struct Case {
        const char* what;
        double theta;
        int k;
        double n;
        FuFsOutcome outcome;
        double Fs;  // expected; 1.25 = left as it was
    };
    const Case cases[] = {
        {"no diversity", 0.0, 3, 20, FuFsOutcome::bound, flt_max},
        {"one allele", 2.0, 1, 20, FuFsOutcome::bound, flt_max},
        // P(K >= 5) is about theta^4: 1 - P(K < 5) is exactly 0 in extended precision.
        {"no chance of k alleles", 1e-20, 5, 10, FuFsOutcome::bound, -flt_max},
        {"too many alleles", 2.0, 1000, 1200, FuFsOutcome::not_computed, 1.25},
        {"too large sample", 2.0, 10, 5000, FuFsOutcome::not_computed, 1.25},
    };
    for (const Case& c : cases) {
        double Fs = 1.25;
        ASSERT_EQ(get_B_num_mat(table, exists), 1);
        EXPECT_EQ(Fu_Fs(c.theta, c.k, c.n, Fs, true, table, exists), c.outcome) << c.what;
        EXPECT_EQ(Fs, c.Fs) << c.what;
    }
    const std::string text = log.text();
    EXPECT_NE(text.find("[WARNING # 1] from function \"PopulDNA::Fu_Fs()\" : No molecular diversity within a "
                        "sample while performing Fu's test"),
              std::string::npos);
    EXPECT_NE(text.find("[WARNING # 2] from function \"PopulDNA::Fu_Fs()\" : too many alleles, or too large sample "),
              std::string::npos);
    EXPECT_NE(text.find("[WARNING # 3] from function \"PopulDNA::Fu_Fs()\" : too many alleles, or too large sample "),
              std::string::npos);
    EXPECT_EQ(text.find("[WARNING # 4]"), std::string::npos);
}

}  // namespace
}  // namespace quintle
