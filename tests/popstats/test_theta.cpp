#include <gtest/gtest.h>

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

TEST(ThetaHom, DegenerateSamples) {
    {  // every copy a different haplotype: infinite theta, nothing else written
        Fields f;
        EXPECT_EQ(calc_theta_Hom(std::vector<double>{1, 1, 1, 1}, 4.0, 4, f.refs()), infinite_theta);
        EXPECT_EQ(f.thetaHomSd, untouched);
        EXPECT_EQ(f.geneDiversity, untouched);
    }
    {  // one haplotype: homozygosity 1
        Fields f;
        EXPECT_EQ(calc_theta_Hom(std::vector<double>{10}, 10.0, 1, f.refs()), 0.0);
        EXPECT_EQ(f.thetaHomSd, 0.0);
        EXPECT_EQ(f.homozygosity, 1.0);
    }
    {  // diversity capped at 1: homozygosity 0
        Fields f;
        EXPECT_EQ(calc_theta_Hom(std::vector<double>{1, 1}, 3.0, 2, f.refs()), infinite_theta);
        EXPECT_EQ(f.thetaHomSd, infinite_theta);
    }
    {  // list form: H above 1 (no cap here), and as many records as copies
        Fields f;
        EXPECT_EQ(calc_theta_Hom(std::vector<double>{1, 1}, std::vector<double>{1, 1}, 3.0, f.refs()),
                  infinite_theta);
        EXPECT_EQ(f.thetaHomSd, infinite_theta);
        Fields g;
        EXPECT_EQ(calc_theta_Hom(std::vector<double>{1, 1, 1}, std::vector<double>{1, 1, 1}, 3.0, g.refs()),
                  infinite_theta);
        EXPECT_EQ(g.thetaHom, untouched);
    }
}

// References computed once with python3 fractions (exact a1, a2, then sqrt).
TEST(ThetaS, FromSegregatingSites) {
    struct Case {
        int n, S;
        double theta, sd;
    };
    for (Case c : {Case{10, 16, 5.655772198064245, 2.6149540505503057},
                   Case{25, 7, 1.8538340920302845, 0.8881781903297844},
                   // n = 2: a1 = a2 = 1, so theta = S and sd = sqrt((S + S^2) / 2).
                   Case{2, 5, 5.0, std::sqrt(15.0)}, Case{10, 0, 0.0, 0.0}, Case{1, 4, 0.0, 0.0},
                   Case{0, 4, 0.0, 0.0}}) {
        double t = untouched, sd = untouched;
        theta_S(c.n, c.S, t, sd);
        EXPECT_NEAR(t, c.theta, 1e-14) << c.n << " " << c.S;
        EXPECT_NEAR(sd, c.sd, 1e-14) << c.n << " " << c.S;
    }
}

TEST(ThetaPi, FromPairwiseDifferences) {
    struct Case {
        double pi, n, sd;
    };
    // sd references from python3 fractions: sqrt((n+1)/(3(n-1)) pi + 2(n^2+n+3)/(9n(n-1)) pi^2).
    for (Case c : {Case{3.5, 10, 2.2008696373238075}, Case{0.25, 31, 0.32210014990851404}}) {
        double t = untouched, sd = untouched;
        theta_pi(c.pi, c.n, t, sd);
        EXPECT_EQ(t, c.pi);
        EXPECT_NEAR(sd, c.sd, 1e-14);
    }
    double t = untouched, sd = untouched;
    theta_pi(3.0, 1.0, t, sd);
    EXPECT_EQ(t, 0.0);
    EXPECT_EQ(sd, 0.0);
}

TEST(ThetaK, ExpectedNumberOfAlleles) {
    EXPECT_NEAR(k_est(1.0, 10), 7381.0 / 2520.0, 1e-14);  // theta = 1: the harmonic number H(10)
    EXPECT_NEAR(k_est(2.5, 20), static_cast<double>(ewens_mean(20, 2.5L)), 1e-12);
    EXPECT_EQ(k_est(0.0, 10), 1.0);
    EXPECT_EQ(k_est(-1.0, 10), 1.0);
    EXPECT_EQ(k_est(3.0, 0), 0.0);
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

TEST(ThetaK, Refusals) {
    BnumMat table;
    int exists = 1;
    double tk = untouched, low = untouched, high = untouched, expK = untouched;
    theta_k(40, 1, 0.05, ThetaKFields{tk, low, high, expK}, table, exists);
    EXPECT_EQ(tk, 0.0);
    EXPECT_EQ(low, 0.0);
    EXPECT_EQ(high, 0.0);
    EXPECT_EQ(expK, untouched);

    // 5000 genes: point estimate only, the interval [0, 1e8], and the table
    // (too large to compute) left empty with its flag cleared.
    ASSERT_EQ(table.re_allocate_matrix(200, 80), 1);
    theta_k(5000, 20, 0.05, ThetaKFields{tk, low, high, expK}, table, exists);
    EXPECT_NEAR(expK, 20.0, 1e-6);
    EXPECT_GT(tk, 0.0);
    EXPECT_EQ(low, 0.0);
    EXPECT_EQ(high, 1e8);
    EXPECT_EQ(exists, 0);
    EXPECT_EQ(table.numRows(), 0);
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

TEST(EwensProbabilities, Boundaries) {
    BnumMat table;
    ASSERT_EQ(table.re_allocate_matrix(60, 30), 1);
    EXPECT_EQ(proba_exactly_k(1, 20, 0.0, table), 1.0);
    EXPECT_EQ(proba_exactly_k(2, 20, 0.0, table), 0.0);
    EXPECT_EQ(proba_exactly_k(3, 20, 10000.5, table), 0.0);
    EXPECT_EQ(proba_exactly_k(20, 20, 2.0, table), 0.0);  // k = n
    EXPECT_EQ(proba_less_than_k(3, 20, 10000.5, table), 0.0L);
    EXPECT_EQ(proba_less_than_k(1, 20, 2.0, table), 0.0L);
}

}  // namespace
}  // namespace quintle
