#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "popstats/ewens_reference.h"
#include "popstats/theta_estimators.h"

namespace quintle {
namespace {

constexpr double untouched = -7.25;

struct Fields {
    double sumSquaredFreq = untouched, homozygosity = untouched, geneDiversity = untouched,
           geneDiversitySd = untouched, thetaHom = untouched, thetaHomSd = untouched, ewObservedF = untouched;
    DiversityFields refs() {
        return {sumSquaredFreq, homozygosity, geneDiversity, geneDiversitySd, thetaHom, thetaHomSd, ewObservedF};
    }
};

using testing_support::ewens;

long double ewens_below(int n, long double theta, int k) {
    const auto p = ewens(n, theta);
    long double sum = 0.0L;
    for (int j = 1; j < k; ++j) sum += p[j];
    return sum;
}

long double ewens_mean(int n, long double theta) {
    const auto p = ewens(n, theta);
    long double mean = 0.0L;
    for (int j = 1; j <= n; ++j) mean += j * p[j];
    return mean;
}

// Counts 5, 3, 2 of 10: Hom = 1 - 6.2/9. Reference computed once with python3:
// plain bisection (200 halvings) of 1/(1 + f(theta)) = Hom, f(t) = t (1 +
// 2 (t + 1) / ((t + 2)(t + 3))), and the s.d. as sd(H) / |dHom/dtheta| with a
// central difference (h = 1e-6), sd(H) = sqrt(1213/112500).
TEST(ThetaHom, SolvesTheHomozygosityEquation) {
    const std::vector<double> counts{5, 3, 2};
    Fields f;
    EXPECT_NEAR(calc_theta_Hom(counts, 10.0, 3, f.refs()), 1.6891294777495451, 1e-6);
    EXPECT_NEAR(f.thetaHomSd, 0.8569834433557543, 1e-5);
    EXPECT_NEAR(f.geneDiversitySd, std::sqrt(1213.0 / 112500.0), 1e-15);
    EXPECT_EQ(f.ewObservedF, untouched);

    // The list form on the same frequencies, with the s.d. from the sample's own counts.
    Fields g;
    const std::vector<double> list{0.5, 0.3, 0.2};
    EXPECT_NEAR(calc_theta_Hom(list, counts, 10.0, g.refs()), 1.6891294777495451, 1e-6);
    EXPECT_NEAR(g.thetaHomSd, 0.8569834433557543, 1e-5);
    EXPECT_NEAR(g.ewObservedF, 0.38, 1e-15);
    EXPECT_NEAR(g.geneDiversitySd, std::sqrt(1213.0 / 112500.0), 1e-15);
    EXPECT_EQ(g.homozygosity, untouched);
}

TEST(ThetaK, EstimateAndIntervalHitTheirTargets) {
    struct Case {
        int n, k;
    };
    for (Case c : {Case{50, 10}, Case{20, 3}, Case{30, 25}}) {
        BnumMat table;
        int exists = 0;
        double tk = untouched, low = untouched, high = untouched, expK = untouched;
        theta_k(c.n, c.k, 0.05, ThetaKFields{tk, low, high, expK}, table, exists);

        // E[K] of the Ewens distribution equals k at the estimate.
        EXPECT_NEAR(static_cast<double>(ewens_mean(c.n, tk)), c.k, 1e-6) << c.n << " " << c.k;
        EXPECT_NEAR(expK, c.k, 1e-6);
        // Upper limit: P(K < k) = 0.025; lower limit: P(K < k) + P(K = k) = 0.975.
        EXPECT_NEAR(static_cast<double>(ewens_below(c.n, high, c.k)), 0.025, 1e-6) << c.n << " " << c.k;
        EXPECT_NEAR(static_cast<double>(ewens_below(c.n, low, c.k + 1)), 0.975, 1e-6) << c.n << " " << c.k;
        EXPECT_LT(low, tk);
        EXPECT_LT(tk, high);
        EXPECT_EQ(table.numRows(), c.n + 10);
        EXPECT_EQ(table.numCols(), c.k + 10);
    }
}

// Past a million terms E[K] takes the rest of its sum in closed form: it
// must agree with the terms added one by one (here in extended precision).
TEST(ThetaK, ExpectedAllelesOfLargeSamplesMatchTheTermByTermSum) {
    const int n = (1 << 20) + 400000;
    for (double theta : {0.05, 3.0, 2000.0}) {
        long double sum = 0.0L;
        for (int i = 0; i < n; ++i) sum += static_cast<long double>(theta) / (static_cast<long double>(theta) + i);
        EXPECT_NEAR(k_est(theta, n), static_cast<double>(sum), 1e-12 * static_cast<double>(sum)) << theta;
    }
}

// Theta(S) takes the harmonic sums past a million terms in closed form too.
TEST(ThetaS, LargeSamplesMatchTheTermByTermSums) {
    const int n = (1 << 20) + 400000;
    long double a1 = 0.0L, a2 = 0.0L;
    for (int i = 1; i < n; ++i) {
        a1 += 1.0L / i;
        a2 += 1.0L / (static_cast<long double>(i) * i);
    }
    const double S = 70.0;
    double thetaS = untouched, sd = untouched;
    theta_S(n, 70, thetaS, sd);
    // Within the rounding of the million terms added in double.
    EXPECT_NEAR(thetaS, S / static_cast<double>(a1), 1e-12 * thetaS);
    const long double var = (a1 * a1 * S + a2 * S * S) / (a1 * a1 * (a1 * a1 + a2));
    EXPECT_NEAR(sd, std::sqrt(static_cast<double>(var)), 1e-12 * sd);
}

// The largest sample gets its estimate at once, and the refused interval
// without overflowing the table's size.
TEST(ThetaK, LargestSampleGetsTheRefusedInterval) {
    BnumMat table;
    int exists = 1;
    double tk = untouched, low = untouched, high = untouched, expK = untouched;
    theta_k(INT_MAX, 3, 0.05, ThetaKFields{tk, low, high, expK}, table, exists);
    EXPECT_GT(tk, 0.0);
    EXPECT_NEAR(expK, 3.0, 1e-5);  // the bisection stops within 1e-7 of theta
    EXPECT_EQ(low, 0.0);
    EXPECT_EQ(high, 1e8);
    EXPECT_EQ(exists, 0);
}

TEST(EwensProbabilities, MatchTheSamplingFormula) {
    BnumMat table;
    ASSERT_EQ(table.re_allocate_matrix(60, 30), 1);
    struct Case {
        int n, k;
        double theta;
    };
    for (Case c : {Case{20, 5, 2.5}, Case{50, 12, 4.0}, Case{50, 2, 0.3}, Case{10, 9, 40.0}}) {
        const auto p = ewens(c.n, c.theta);
        EXPECT_NEAR(proba_exactly_k(c.k, c.n, c.theta, table), static_cast<double>(p[c.k]), 1e-8 * p[c.k])
            << c.n << " " << c.k << " " << c.theta;
        const long double below = ewens_below(c.n, c.theta, c.k);
        EXPECT_NEAR(static_cast<double>(proba_less_than_k(c.k, c.n, c.theta, table)), static_cast<double>(below),
                    1e-8 * static_cast<double>(below))
            << c.n << " " << c.k << " " << c.theta;
    }
}

}  // namespace
}  // namespace quintle
