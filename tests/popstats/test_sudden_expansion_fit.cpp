// The sudden-expansion fit: its search on distributions drawn from the
// model, its refusals and guards, its bootstrap and what it writes.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "popstats/ann_missmatch.h"
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

}  // namespace
}  // namespace quintle
