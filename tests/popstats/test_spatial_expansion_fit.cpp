// The spatial-expansion fits: the three-parameter search on distributions
// drawn from the model, the four-parameter kernel, the simulations behind
// the bootstrap and what the fits leave in the fitter.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "popstats/TNode.h"
#include "popstats/expansion_fixture.h"
#include "popstats/mismatchSpatialExpansion.h"
#include "popstats/sim_support.h"

namespace quintle {
namespace {

using testing_support::ExpansionFitTest;

// Counts of 4,950 pairs (100 gene copies) from the three-parameter model at
// (Theta, Tau, M), rounded, classes 0 .. k, and the least SSD scipy finds
// for them: scipy.optimize.minimize(method='Nelder-Mead', x0 = the
// generating point, xatol=1e-8, fatol=1e-16) on the same SSD and kernel
// (clamps included), SciPy 1.10 (Debian python3-scipy).
struct ModelDistribution {
    double theta, tau, M;
    std::vector<long> counts;
    double scipyMinimum;
};

std::vector<ModelDistribution> const kModels = {
    {2, 5, 3, {833, 322, 227, 295, 403, 483, 502, 463, 390, 305, 225, 160, 111, 76, 51, 34, 23, 15, 10, 7, 5, 3, 2, 1,
               1, 1},
     9.329267524881411e-08},
    {5, 8, 1, {707, 506, 366, 274, 220, 199, 199, 212, 225, 233, 231, 220, 202, 179, 156, 133,
               113, 95,  80,  66,  55,  46,  39,  32,  27,  22,  19,  15,  13,  11,  9,   7,
               6,   5,   4,   4,   3,   3,   2,   2,   1,   1,   1,   1,   1,   1},
     1.8352149129680604e-07},
    {3, 10, 5, {550, 184, 64, 30, 34, 61, 110, 175, 247, 315, 365, 391, 391, 368, 330, 283, 235, 189, 149, 116,
                89,  68,  51, 38, 29, 22, 16,  12,  9,   7,   5,   4,   3,   2,   2,   1,   1,   1,   1},
     1.118555856568152e-07},
};

class SpatialFit : public ExpansionFitTest {};

TEST_F(SpatialFit, ThreeParametersFindTheGeneratingPoint) {
    for (ModelDistribution const& m : kModels) {
        SCOPED_TRACE(m.tau);
        observe(m.counts, 100);
        testing_support::reseed(-9);
        mismatchSpatialExpansion fit(&sample, &s);
        fit.init_data(0.0, 0.0, 0.0, 0.0, 1.0);
        fit.num_boot = 0;
        fit.solve_least_square_spatial_expansion_3_par(out);
        EXPECT_EQ(fit.no_convergence, 0);
        EXPECT_NEAR(fit.theta1, m.theta, 0.01 * m.theta);
        EXPECT_EQ(fit.theta0, fit.theta1);
        EXPECT_NEAR(fit.tau, m.tau, 0.01 * m.tau);
        EXPECT_NEAR(fit.M, m.M, 0.01 * m.M);
        EXPECT_NEAR(fit.obs_ssd, m.scipyMinimum, 2e-7);
        EXPECT_EQ(fit.results[0], fit.obs_ssd);
    }
}

// Nine draws per search (three restarts of Theta, Tau, M): the same stream
// gives the same fit.
TEST_F(SpatialFit, SearchDrawsThreeNumbersPerRestart) {
    observe(kModels[0].counts, 100);
    testing_support::reseed(-21);
    mismatchSpatialExpansion fit(&sample, &s);
    fit.init_data(0.0, 0.0, 0.0, 0.0, 1.0);
    fit.solve_least_square_spatial_expansion_3_par(out);
    const double after = testing_support::next_deviate();
    testing_support::reseed(-21);
    for (int i = 0; i < 9; ++i) testing_support::next_deviate();
    EXPECT_EQ(testing_support::next_deviate(), after);

    // Four-parameter search: ten restarts of four draws.
    testing_support::reseed(-21);
    fit.solve_least_square_spatial_expansion_4_par(out);
    const double after4 = testing_support::next_deviate();
    testing_support::reseed(-21);
    for (int i = 0; i < 40; ++i) testing_support::next_deviate();
    EXPECT_EQ(testing_support::next_deviate(), after4);
    EXPECT_NE(out.str().find(std::string(109, '-') + "\n\n"), std::string::npos);
}

// The four-parameter kernel is a distribution, and with one deme size it is
// the three-parameter kernel where that one's B term is kept (tau D / Theta
// <= 300). scipy check of the same sums: 0.9999999999999996 and
// 0.9999999999999998 over classes 0 .. 299 for the first two points.
TEST(SpatialKernel, FourParametersSumToOneAndMatchThreeWithOneDemeSize) {
    struct Point {
        double t0, t1, tau, M;
    };
    for (Point p : {Point{0.5, 3, 4, 2}, Point{2, 2, 5, 3}, Point{1, 8, 12, 0.5}, Point{4, 4, 3, 20}}) {
        double t0 = p.t0, t1 = p.t1, tau = p.tau, M = p.M;
        double sum = 0.0;
        for (int i = 0; i < 400; ++i) sum += spatial_expansion_class_4p(i, {t0, t1, tau, M});
        EXPECT_NEAR(sum, 1.0, 1e-12) << p.t0 << " " << p.t1;
    }
    for (Point p : {Point{2, 2, 5, 3}, Point{4, 4, 3, 20}, Point{0.7, 0.7, 6, 1}}) {
        ASSERT_LE(p.tau * (p.t1 + p.M + 1.0) / p.t1, 300.0);
        for (int i = 0; i < 60; ++i) {
            double a0 = p.t0, a1 = p.t1, atau = p.tau, aM = p.M;
            double b0 = p.t0, b1 = p.t1, btau = p.tau, bM = p.M;
            EXPECT_NEAR(spatial_expansion_class_4p(i, {a0, a1, atau, aM}),
                        spatial_expansion_class_3p(i, {b0, b1, btau, bM}), 1e-15)
                << i;
        }
    }
}

// t1^i and D^(i + 1) leave the doubles for far classes: the lead term is
// then (t1 / D)^i / D, and the class gets its finite value, not inf / inf.
// Reference: the same formula in extended precision, whose range holds the
// powers.
TEST(SpatialKernel, FarClassesStayFinite) {
    for (int i : {300, 400, 450}) {
        double t0 = 10.0, t1 = 10.0, tau = 2.0, M = 1.0;
        const double f = spatial_expansion_class_3p(i, {t0, t1, tau, M});
        ASSERT_TRUE(std::isfinite(f)) << i;
        const long double T = 10.0L, D = T + 1.0L + 1.0L, t = 2.0L;
        const long double A = t * 2.0L / T;
        const long double B = std::exp(-t * D / T);
        const long double P = std::exp(-t) * (1.0L + std::exp(-A)) / (2.0L * (1.0L + T));
        long double s1 = 0.0L, s2 = 0.0L;
        for (int j = 0; j <= i; ++j) {
            s1 += std::pow(T / (1.0L + T), j) * std::pow(t, i - j) / std::tgamma(static_cast<long double>(i - j + 1));
            s2 += std::pow(T / D, i - j) * std::pow(t, j) / std::tgamma(static_cast<long double>(j + 1));
        }
        const long double expected = std::pow(T, i) / std::pow(D, i + 1) + P * s1 - (B / D) * s2;
        EXPECT_NEAR(f, static_cast<double>(expected), 1e-9 * static_cast<double>(expected)) << i;
    }
}

TEST(SpatialKernel, SumOfSquaresEqualsTheClassByClassFormAndClamps) {
    const std::vector<double> y = {0.2, 0.15, 0.15, 0.15, 0.12, 0.1, 0.06, 0.04, 0.02, 0.01, 0.0};
    struct Point {
        double t0, t1, tau, M;
    };
    for (bool three : {false, true}) {
        for (Point p : {Point{0.5, 3, 4, 2}, Point{-1, 2, 5, 3}, Point{1, -2, 0, -1}, Point{2, 2, 500, 3}}) {
            double a[4] = {p.t0, p.t1, p.tau, p.M};
            double b[4] = {p.t0, p.t1, p.tau, p.M};
            double perClass = 0.0;
            for (std::size_t i = 0; i < y.size(); ++i) {
                SpatialParams q{a[0], a[1], a[2], a[3]};
                const double f = three ? spatial_expansion_class_3p(static_cast<int>(i), q)
                                       : spatial_expansion_class_4p(static_cast<int>(i), q);
                perClass += (f - y[i]) * (f - y[i]);
            }
            ExpansionWork w;
            SpatialParams q{b[0], b[1], b[2], b[3]};
            const double fast = three ? spatial_expansion_ssd_3p(y, q, w) : spatial_expansion_ssd_4p(y, q, w);
            if (std::isnan(perClass)) {
                EXPECT_TRUE(std::isnan(fast));
            } else {
                EXPECT_EQ(fast, perClass);
            }
            for (int k = 0; k < 4; ++k) EXPECT_EQ(a[k], b[k]);
        }
    }
    double t0 = 1.0, t1 = -2.0, tau = 0.0, M = -1.0;
    spatial_expansion_class_3p(0, {t0, t1, tau, M});
    EXPECT_EQ(t0, 0.01);
    EXPECT_EQ(t1, 0.01);
    EXPECT_EQ(tau, 1e-5);
    EXPECT_EQ(M, 1e-5);
}

TEST_F(SpatialFit, SimulatedDistributionsFollowTheModel) {
    observe({10, 10}, 30);
    testing_support::reseed(-13);
    mismatchSpatialExpansion fit(&sample, &s);
    fit.init_data(0.0, 0.0, 0.0, 0.0, 1.0);
    sample.tree.allocate_tree(30);
    std::vector<double> x(510), y(510), sum(40, 0.0), squares(40, 0.0);
    constexpr int R = 2000;
    for (int r = 0; r < R; ++r) {
        fit.theta0 = fit.theta1 = 2.0;
        fit.tau = 3.0;
        fit.M = 2.0;
        int c = 0;
        ASSERT_TRUE(fit.simulate_spatial_exp(x.data(), y.data(), c));
        for (int j = 1; j < 40; ++j) {
            sum[j] += y[j];
            squares[j] += y[j] * y[j];
        }
    }
    for (int j = 1; j < 40; ++j) {
        const double mean = sum[j] / R;
        const double se = std::sqrt(std::max(squares[j] / R - mean * mean, 0.0) / R);
        double t0 = 2.0, t1 = 2.0, tau = 3.0, M = 2.0;
        EXPECT_NEAR(mean, spatial_expansion_class_3p(j - 1, {t0, t1, tau, M}), 4.0 * se + 0.005) << j - 1;
    }
}

// The bootstrap: every replicate counts towards R, a replicate whose
// simulation cannot be read is left out, and afterwards both Theta slots
// hold the fitted Theta again (the driver reads the Theta0 slot).
TEST_F(SpatialFit, BootstrapLeavesTheFittedParametersAndCountsEveryReplicate) {
    observe(kModels[0].counts, 100);
    while (TNode::hits.count < 7) TNode::hits.Add(0);
    testing_support::reseed(-17);
    const double workBefore = settings::global_work_done;
    mismatchSpatialExpansion fit(&sample, &s);
    fit.init_data(0.0, 0.0, 0.0, 0.0, 1.0);
    fit.num_boot = 6;
    fit.solve_least_square_spatial_expansion_3_par(out);
    EXPECT_EQ(settings::global_work_done - workBefore, 6.0);
    EXPECT_NE(log().find("Problem with population sample size in simulation"), std::string::npos);
    EXPECT_LE(fit.num_boot, 5);
    EXPECT_GE(fit.num_boot, 1);
    EXPECT_NEAR(fit.theta1, 2.0, 0.02);
    EXPECT_EQ(fit.theta0, fit.theta1);
    const std::string text = out.str();
    EXPECT_NE(text.find("Based on " + std::to_string(fit.num_boot) + " replicates"), std::string::npos);
    EXPECT_NE(text.find("                        M:"), std::string::npos);
    EXPECT_LE(fit.M_quantiles[0], fit.M_quantiles[3]);
    EXPECT_LE(fit.results[8], fit.results[11]);
    EXPECT_EQ(fit.results[12], 0.0) << "no Theta1 quantiles in the spatial fit";
    EXPECT_TRUE(std::filesystem::exists("glob_res.xl"));
}

}  // namespace
}  // namespace quintle
