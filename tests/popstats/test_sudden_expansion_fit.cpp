// The sudden-expansion fit: its search on distributions drawn from the
// model, its refusals and guards, its bootstrap and what it writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "popstats/TNode.h"
#include "popstats/ann_missmatch.h"
#include "popstats/expansion_fit_output.h"
#include "popstats/expansion_kernels.h"
#include "popstats/expansion_fixture.h"
#include "popstats/sim_support.h"

namespace quintle {
namespace {

using testing_support::ExpansionFitTest;

// Counts of 4,950 pairs (100 gene copies) from the model's expected shares
// at the generating point, rounded, classes 0 .. k, and the least SSD that
// scipy finds for them: scipy.optimize.minimize(method='Nelder-Mead',
// x0 = the generating point, xatol=1e-8, fatol=1e-16) on the same SSD
// (the shares of classes 0 .. k, the model with its guards; theta0 = 0
// generated as 1e-7), SciPy 1.10 (Debian python3-scipy).
struct ModelDistribution {
    double theta0, theta1, tau;
    std::vector<long> counts;
    double scipyMinimum;
};

std::vector<ModelDistribution> const kConverging = {
    {0.5, 20, 4, {282, 421, 636, 807, 835, 720, 530, 340, 195, 101, 48, 21, 9, 3, 1}, 5.003683516980569e-08},
    {0.0, 10, 3, {616, 892, 1060, 963, 689, 402, 198, 84, 31, 10, 3, 1}, 2.0066530652037257e-08},
    {2.0, 100, 8, {50, 53, 67, 102, 167, 261, 367, 461, 522, 537, 509, 449, 372, 293, 221,
                   161, 114, 79, 54, 37, 25, 17, 11, 7, 5, 3, 2, 1, 1, 1},
     8.836121351879215e-08},
};

class SuddenFit : public ExpansionFitTest {};

TEST_F(SuddenFit, FindsTheGeneratingPointOfModelDistributions) {
    for (ModelDistribution const& m : kConverging) {
        SCOPED_TRACE(m.theta1);
        observe(m.counts, 100);
        ann_missmatch fit(&sample, &s);
        fit.init_data(0.0, 0.0, 0.0, 1.0);
        fit.num_boot = 0;
        fit.solve_least_square_rh(out);
        EXPECT_EQ(fit.no_convergence, 0);
        EXPECT_NEAR(fit.theta1, m.theta1, 0.01 * m.theta1);
        EXPECT_NEAR(fit.tau, m.tau, 0.01 * m.tau);
        EXPECT_NEAR(fit.theta0, m.theta0, 0.05);
        EXPECT_LE(fit.obs_ssd, m.scipyMinimum + 2e-7);
    }
}


// (1, 50, 6): the search from (1, 5, 3) lets theta1 run away; both
// non-convergence messages appear and the bootstrap still runs.
TEST_F(SuddenFit, RunawayFitStillRunsItsBootstrap) {
    observe({102, 129, 204, 332, 486, 613, 670, 642, 550, 427, 304, 201, 125, 74, 42, 23, 12, 6, 3, 2, 1}, 100);
    testing_support::reseed(-7);
    ann_missmatch fit(&sample, &s);
    fit.init_data(0.0, 0.0, 0.0, 1.0);
    fit.num_boot = 10;
    fit.solve_least_square_rh(out);
    EXPECT_EQ(fit.no_convergence, 1);
    EXPECT_GT(fit.theta1, 500.0);
    EXPECT_NE(log().find("\t\tno convergence after "), std::string::npos);
    const std::string text = out.str();
    EXPECT_NE(text.find("\nLeast-square procedure to fit expected and observed\nmismatch distribution did not converge "
                        "after 2000steps \n"),
              std::string::npos);
    EXPECT_NE(text.find("Test of goodness-of-fit:"), std::string::npos);
    EXPECT_NE(text.find("Based on 10 replicates"), std::string::npos);
    // Quantiles lie in order among the replicates.
    EXPECT_LE(fit.results[4], fit.results[7]);
    EXPECT_LE(fit.results[12], fit.results[15]);
}

// Refits that never converge: after 20 x B attempts the bootstrap gives up
// and, without a single replicate, prints the plain fit table with P values
// and quantiles 0.
TEST_F(SuddenFit, BootstrapWithoutConvergedReplicatesEndsAndPrintsTheTable) {
    observe({1, 6, 3}, 5);
    testing_support::reseed(-5);
    const double workBefore = settings::global_work_done;
    ann_missmatch fit(&sample, &s);
    fit.init_data(0.0, 0.0, 0.0, 1.0);
    fit.num_boot = 3;
    fit.solve_least_square_rh(out);
    EXPECT_EQ(settings::global_work_done - workBefore, 60.0);
    EXPECT_NE(log().find("Sudden expansion bootstrap: 0 of 3 replicates converged in 60 attempts"), std::string::npos);
    EXPECT_EQ(fit.num_boot, 0);
    const std::string text = out.str();
    EXPECT_EQ(text.find("goodness-of-fit"), std::string::npos);
    EXPECT_NE(text.find("        #Diff     Observed    Model Freq.\n"), std::string::npos);
    for (int k : {1, 3, 4, 7, 8, 11, 12, 15}) EXPECT_EQ(fit.results[k], 0.0) << k;
    EXPECT_GT(fit.results[0], 0.0);
}

// A simulation whose tree cannot be read (here: the hit table left for
// another number of sites) fails its attempt instead of reusing the class
// arrays; the bootstrap makes another.
TEST_F(SuddenFit, UnreadableSimulationFailsItsAttempt) {
    observe(kConverging[0].counts, 100);
    while (TNode::hits.count < 7) TNode::hits.Add(0);
    testing_support::reseed(-3);
    ann_missmatch fit(&sample, &s);
    fit.init_data(0.0, 0.0, 0.0, 1.0);
    fit.num_boot = 4;
    const double workBefore = settings::global_work_done;
    fit.solve_least_square_rh(out);
    EXPECT_EQ(log().find("Problem with population sample size in simulation"),
              log().rfind("Problem with population sample size in simulation"));
    EXPECT_NE(log().find("Problem with population sample size in simulation"), std::string::npos);
    EXPECT_EQ(fit.num_boot, 4);
    EXPECT_GE(settings::global_work_done - workBefore, 5.0);
}

// Classes above 497 would run past the class arrays: the top class is cut
// at 497, and at the last observed class there is.
TEST_F(SuddenFit, TopClassStaysWithinTheClassArrays) {
    std::vector<long> counts(601, 2);
    observe(counts, 100);
    ann_missmatch fit(&sample, &s);
    std::vector<double> x(510, -1.0), y(510, -1.0);
    int count = 0;
    long total = 0;
    fit.read_mismatch_pop(x.data(), y.data(), count, total);
    EXPECT_EQ(count, 499);
    EXPECT_EQ(total, 2 * 498);
    EXPECT_EQ(x[498], 497.0);
    EXPECT_EQ(y[499], 0.0);
    EXPECT_EQ(x[499], 498.0);
    EXPECT_EQ(x[500], -1.0) << "nothing past max_classes - 1";

    // Fewer observed counts than the largest distance says.
    sample.mismatchObs.resize(4);
    fit.read_mismatch_pop(x.data(), y.data(), count, total);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(total, 8);

    observe(counts, 100);
    fit.init_data(0.0, 0.0, 0.0, 1.0);
    fit.num_boot = 0;
    fit.solve_least_square_rh(out);
    // 499 table lines, classes 0 .. 498.
    EXPECT_NE(out.str().find("        498.0          0.0"), std::string::npos);
}

// The sum over classes computes the shared terms once; it gives the very
// doubles of the class-by-class form, guards included (tau <= 0: the first
// class gets the constant-size value, the later ones tau = 1e-7).
TEST(SuddenKernel, SumOfSquaresEqualsTheClassByClassForm) {
    const std::vector<double> y = {0.05, 0.1, 0.2, 0.25, 0.2, 0.1, 0.05, 0.03, 0.02, 0.0, 0.0};
    struct Point {
        double theta0, theta1, tau;
    };
    for (Point p : {Point{0.5, 20, 4}, Point{0.0, 10, 3}, Point{2, 1, 5}, Point{1, 5, 0}, Point{3, 2, -1},
                    Point{-1, 7, 2.5}, Point{0.2, 400, 12}}) {
        double a0 = p.theta0, a1 = p.theta1, at = p.tau;
        double b0 = p.theta0, b1 = p.theta1, bt = p.tau;
        double perClass = 0.0;
        for (std::size_t i = 0; i < y.size(); ++i) {
            const double d = sudden_expansion_class(static_cast<int>(i), a0, a1, at) - y[i];
            perClass += d * d;
        }
        ExpansionWork w;
        EXPECT_EQ(sudden_expansion_ssd(y, b0, b1, bt, w), perClass) << p.theta0 << " " << p.theta1 << " " << p.tau;
        EXPECT_EQ(b0, a0);
        EXPECT_EQ(b1, a1);
        EXPECT_EQ(bt, at);
    }
    // tau <= 0: class 0 of the constant population of theta0, then tau 1e-7.
    double t0 = 1.0, t1 = 5.0, tau = 0.0;
    EXPECT_EQ(sudden_expansion_class(0, t0, t1, tau), 0.5);
    EXPECT_EQ(tau, 1e-7);
    // theta0 above theta1 raises theta1, which stays raised.
    t0 = 3.0, t1 = 2.0, tau = 1.0;
    EXPECT_DOUBLE_EQ(sudden_expansion_class(2, t0, t1, tau), 9.0 / 64.0);
    EXPECT_EQ(t1, 3.0);
}

TEST(ExpansionPercentiles, PositionsOfTheBoundsAndQuantilesOfOneHundredReplicates) {
    for (bool spatial : {false, true}) {
        EXPECT_EQ(percentile_positions(100, 0.01, spatial).low, 0);
        EXPECT_EQ(percentile_positions(100, 0.01, spatial).high, 99);
        EXPECT_EQ(percentile_positions(100, 0.05, spatial).low, 2);
        EXPECT_EQ(percentile_positions(100, 0.05, spatial).high, 97);
        EXPECT_EQ(percentile_positions(100, 0.10, spatial).low, 5);
        EXPECT_EQ(percentile_positions(100, 0.10, spatial).high, 95);
    }
    EXPECT_EQ(quantile_position(100, 0.025), 1);
    EXPECT_EQ(quantile_position(100, 0.05), 4);
    EXPECT_EQ(quantile_position(100, 0.95), 94);
    EXPECT_EQ(quantile_position(100, 0.975), 96);
    EXPECT_EQ(quantile_position(1, 0.025), 0);
    EXPECT_EQ(percentile_positions(1, 0.01, false).high, 0);
}

// The mean of 2,000 simulated distributions follows the model, class by
// class, within 4 standard errors + 0.005.
TEST_F(SuddenFit, SimulatedDistributionsFollowTheModel) {
    observe({10, 10}, 30);
    testing_support::reseed(-11);
    ann_missmatch fit(&sample, &s);
    fit.init_data(0.0, 0.0, 0.0, 1.0);
    sample.tree.allocate_tree(30);
    std::vector<double> x(510), y(510), sum(40, 0.0), squares(40, 0.0);
    constexpr int R = 2000;
    for (int r = 0; r < R; ++r) {
        fit.theta0 = 0.5;
        fit.theta1 = 5.0;
        fit.tau = 3.0;
        int n = 0;
        ASSERT_EQ(fit.simulate_miss(x.data(), y.data(), n), 1);
        for (int j = 1; j < 40; ++j) {
            sum[j] += y[j];
            squares[j] += y[j] * y[j];
        }
    }
    EXPECT_EQ(TNode::hits.count, 0) << "emptied after each simulation";
    for (int j = 1; j < 40; ++j) {
        const double mean = sum[j] / R;
        const double se = std::sqrt(std::max(squares[j] / R - mean * mean, 0.0) / R);
        double t0 = 0.5, t1 = 5.0, tau = 3.0;
        EXPECT_NEAR(mean, sudden_expansion_class(j - 1, t0, t1, tau), 4.0 * se + 0.005) << "class " << j - 1;
    }
}

// With no bootstrap: the parameter lines and the table of classes 0 .. k + 1
// only, the closing class without observed pairs.
TEST_F(SuddenFit, WithoutBootstrapTheParametersAndTheTable) {
    observe(kConverging[0].counts, 100);
    ann_missmatch fit(&sample, &s);
    fit.init_data(0.0, 0.0, 0.0, 1.0);
    fit.num_boot = 0;
    fit.solve_least_square_rh(out);
    const std::string text = out.str();
    EXPECT_EQ(text.rfind("\nTau                                 : ", 0), 0u);
    const std::string rule = std::string(41, '-') + "\n";
    const std::size_t head = text.find(rule + "        #Diff     Observed    Model Freq.\n" + rule);
    ASSERT_NE(head, std::string::npos);
    EXPECT_NE(text.find("          0.0        282.0"), std::string::npos);
    EXPECT_NE(text.find("         15.0          0.0"), std::string::npos);
    EXPECT_EQ(text.find("         16.0"), std::string::npos);
    EXPECT_TRUE(text.ends_with(rule));
    EXPECT_EQ(fit.results[0], fit.obs_ssd);
    EXPECT_GT(fit.results[2], 0.0);
}

}  // namespace
}  // namespace quintle
