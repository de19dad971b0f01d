// The Broyden solver on systems with known roots, and the divergence-time
// solver on known parameters and its restarts replayed against the
// generator's recorded sequence.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "amova/TBroyden.h"
#include "amova/TSolveDivTimes.h"
#include "core/random.h"

namespace quintle {
namespace {

// 2 x1 + x2 = 3, x1 - x2 = 0, x3 = -2: root (1, 1, -2).
void linear(int, long double* x, long double* f) {
    f[1] = 2 * x[1] + x[2] - 3;
    f[2] = x[1] - x[2];
    f[3] = x[3] + 2;
}
void linearJacobian(int, long double*, long double** df) {
    long double const j[3][3] = {{2, 1, 0}, {1, -1, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) df[i + 1][k + 1] = j[i][k];
}

// Circle of radius 2 cut by the diagonal: root (sqrt 2, sqrt 2) in the
// first quadrant.
void circle(int, long double* x, long double* f) {
    f[1] = x[1] * x[1] + x[2] * x[2] - 4;
    f[2] = x[1] - x[2];
}
void circleJacobian(int, long double* x, long double** df) {
    df[1][1] = 2 * x[1];
    df[1][2] = 2 * x[2];
    df[2][1] = 1;
    df[2][2] = -1;
}

struct SolveCase {
    char const* what;
    int n;
    BroydenFunction f;
    BroydenJacobian jac;  // null: forward differences and Broyden updates
    std::vector<long double> start;
    std::vector<long double> root;
};

TEST(BroydenSolver, FindsKnownRootsWithEitherJacobian) {
    long double const r2 = std::sqrt(2.0L);
    SolveCase const cases[] = {
        {"linear, analytic", 3, linear, linearJacobian, {10, -7, 5}, {1, 1, -2}},
        {"linear, differences", 3, linear, nullptr, {10, -7, 5}, {1, 1, -2}},
        {"circle, analytic", 2, circle, circleJacobian, {3, 0.5}, {r2, r2}},
        {"circle from far, differences", 2, circle, nullptr, {40, 1}, {r2, r2}},
    };
    for (SolveCase const& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<long double> x(c.start);
        x.insert(x.begin(), 0.0L);  // 1-based
        TBroyden solver = c.jac ? TBroyden(c.n, x.data(), c.f, c.jac) : TBroyden(c.n, x.data(), c.f);
        EXPECT_EQ(solver.analytic_jacobian, c.jac ? 1 : 0);
        int check = -1;
        solver.broydn(solver.x, solver.n, &check);
        EXPECT_EQ(check, 0);
        for (int i = 1; i <= c.n; ++i) EXPECT_NEAR(static_cast<double>(x[i]), static_cast<double>(c.root[i - 1]), 1e-4);
        EXPECT_EQ(solver.fvec, nullptr) << "the work vector only lives during the solve";
    }
}

// Mean pairwise differences of the model, transcribed independently.
struct Moments {
    long double a, b, c;
};
Moments model(long double theta0, long double k, long double tau) {
    long double const e1 = std::exp(-tau / (theta0 * k));
    long double const e2 = std::exp(-tau / (theta0 * (1 - k)));
    return {theta0 * (k + (1 - k) * e1), theta0 * ((1 - k) + k * e2), theta0 + tau};
}

TEST(DivergenceTimeSolver, RecoversKnownParameters) {
    struct Case {
        long double theta0, k, tau;
    };
    Case const cases[] = {{2.0L, 0.3L, 1.5L}, {5.0L, 0.7L, 3.0L}, {1.0L, 0.5L, 4.0L}};
    for (Case const& p : cases) {
        SCOPED_TRACE(static_cast<double>(p.theta0));
        Moments const m = model(p.theta0, p.k, p.tau);
        TSolveDivTimes s(m.a, m.b, m.c);
        EXPECT_EQ(s.solve(50), 0);
        EXPECT_EQ(s.converged, 1);
        EXPECT_NEAR(static_cast<double>(s.theta0), static_cast<double>(p.theta0), 2e-3 * p.theta0);
        EXPECT_NEAR(static_cast<double>(s.k), static_cast<double>(p.k), 2e-3);
        EXPECT_NEAR(static_cast<double>(s.tau), static_cast<double>(p.tau), 2e-3 * p.tau);
    }
}

// (2, 0.5, 1.2) has no solution that the solver reaches: every try fails.
TEST(DivergenceTimeSolver, EachExtraTryDrawsThreeValuesForThetaTauAndK) {
    long const seedValue = -4711;
    initialize_ran3(seedValue);
    long seed = 1;
    std::vector<double> u;
    for (int i = 0; i < 8; ++i) u.push_back(ran3(&seed));

    initialize_ran3(seedValue);
    TSolveDivTimes three(2.0L, 0.5L, 1.2L);
    EXPECT_EQ(three.solve(3), 1);
    EXPECT_EQ(three.converged, 0);
    EXPECT_EQ(ran3(&seed), u[6]) << "two extra tries, three draws each";

    // Replay the second try by hand from the recorded draws: scale 2, so
    // the targets are 1, 0.25, 0.6 and the unperturbed start is
    // theta0 = 0.625, tau = -0.025, k = 0.8.
    initialize_ran3(seedValue);
    TSolveDivTimes two(2.0L, 0.5L, 1.2L);
    EXPECT_EQ(two.solve(2), 1);

    TSolveDivTimes hand(2.0L, 0.5L, 1.2L);
    long double theta0 = 0.625L;
    long double tau = 0.6L - 0.625L;
    long double k = 1.0L / 1.25L;
    theta0 *= (200.0 * u[0] + 1.0) / 100.0;
    tau *= (200.0 * u[1] + 1.0) / 100.0;
    k *= (200.0 * u[2] + 1.0) / 100.0;
    long double start[7] = {0, theta0, k, tau, 1.0L, 0.25L, 0.6L};
    for (int i = 1; i <= 6; ++i) hand.xv[i] = start[i];
    int check = 0;
    hand.broydn(hand.x, 3, &check);
    EXPECT_EQ(two.theta0, hand.xv[1] * 2);
    EXPECT_EQ(two.k, hand.xv[2]);
    EXPECT_EQ(two.tau, hand.xv[3] * 2);
}

}  // namespace
}  // namespace quintle
