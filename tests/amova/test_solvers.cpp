// The Broyden solver on systems with known roots, and the divergence-time
// solver on pairs whose parameters are known, including the random restarts
// replayed against the generator's recorded sequence.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "amova/TBroyden.h"
#include "amova/TSolveDivTimes.h"
#include "core/random.h"

namespace quintle {
namespace {

int g_jacobianCalls = 0;

// 2 x1 + x2 = 3, x1 - x2 = 0, x3 = -2: root (1, 1, -2).
void linear(int, long double* x, long double* f) {
    f[1] = 2 * x[1] + x[2] - 3;
    f[2] = x[1] - x[2];
    f[3] = x[3] + 2;
}
void linearJacobian(int, long double*, long double** df) {
    ++g_jacobianCalls;
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
    ++g_jacobianCalls;
    df[1][1] = 2 * x[1];
    df[1][2] = 2 * x[2];
    df[2][1] = 1;
    df[2][2] = -1;
}

// x1 = 1 and x1 = 2 at once; the Jacobian's second column is zero.
void contradictory(int, long double* x, long double* f) {
    f[1] = x[1] - 1;
    f[2] = x[1] - 2;
}
void contradictoryJacobian(int, long double*, long double** df) {
    ++g_jacobianCalls;
    df[1][1] = 1;
    df[1][2] = 0;
    df[2][1] = 1;
    df[2][2] = 0;
}

// x^2 + 1 has no real root.
void noRoot(int, long double* x, long double* f) { f[1] = x[1] * x[1] + 1; }
void noRootJacobian(int, long double* x, long double** df) {
    ++g_jacobianCalls;
    df[1][1] = 2 * x[1];
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
        {"circle, differences", 2, circle, nullptr, {3, 0.5}, {r2, r2}},
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

TEST(BroydenSolver, StartAtRootReturnsAtOnce) {
    long double x[3] = {0, std::sqrt(2.0L), std::sqrt(2.0L)};
    g_jacobianCalls = 0;
    TBroyden solver(2, x, circle, circleJacobian);
    int check = -1;
    solver.broydn(x, 2, &check);
    EXPECT_EQ(check, 0);
    EXPECT_EQ(g_jacobianCalls, 0);
    EXPECT_EQ(x[1], std::sqrt(2.0L));
    EXPECT_EQ(x[2], std::sqrt(2.0L));
}

TEST(BroydenSolver, GivesUpWithTheCheckFlag) {
    {
        SCOPED_TRACE("zero Jacobian column: singular after the first factorisation");
        long double x[3] = {0, 5, 5};
        g_jacobianCalls = 0;
        TBroyden solver(2, x, contradictory, contradictoryJacobian);
        int check = 0;
        solver.broydn(x, 2, &check);
        EXPECT_EQ(check, 1);
        EXPECT_EQ(g_jacobianCalls, 1);
        EXPECT_EQ(x[1], 5) << "no step was taken";
    }
    {
        SCOPED_TRACE("no root");
        long double x[2] = {0, 1};
        TBroyden solver(1, x, noRoot, noRootJacobian);
        int check = 0;
        solver.broydn(x, 1, &check);
        EXPECT_EQ(check, 1);
        EXPECT_TRUE(std::isfinite(static_cast<double>(x[1])));
    }
}

TEST(BroydenSolver, ForwardDifferencesApproachTheDerivatives) {
    long double x[3] = {0, 1.5, -0.5};
    long double f0[3];
    circle(2, x, f0);
    long double** df = my_matrix(1, 2, 1, 2);
    ASSERT_EQ(df[2], df[1] + 2) << "rows follow each other in one block";
    TBroyden solver(2, x, circle);
    solver.approx_fdjac(2, x, f0, df);
    // d/dx1 of x1^2 is 2 x1 (+ the step h = 1e-4 |x1| of the forward
    // difference).
    EXPECT_NEAR(static_cast<double>(df[1][1]), 3.0, 2e-4);
    EXPECT_NEAR(static_cast<double>(df[1][2]), -1.0, 1e-4);
    EXPECT_NEAR(static_cast<double>(df[2][1]), 1.0, 1e-9);
    EXPECT_NEAR(static_cast<double>(df[2][2]), -1.0, 1e-9);
    EXPECT_EQ(x[1], 1.5L) << "x is restored";
    my_free_matrix(df, 1, 2, 1, 2);
}

// R of a QR factorisation satisfies Rt R = At A whatever Q is; an update
// must leave Qt' transposed times R' equal to Qt transposed times
// (R + u v^T); back substitution must solve R x = b.
TEST(BroydenSolver, FactorisationUpdateAndBackSubstitution) {
    long double const A[3][3] = {{4, -2, 1}, {3, 6, -4}, {2, 1, 8}};
    long double** a = my_matrix(1, 3, 1, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) a[i + 1][j + 1] = A[i][j];
    long double* c = my_vector(1, 3);
    long double* d = my_vector(1, 3);
    long double x0[4] = {};
    TBroyden solver(3, x0, linear);
    int singular = -1;
    solver.qrdcmp(a, 3, c, d, &singular);
    EXPECT_EQ(singular, 0);
    auto r = [&](int i, int j) { return i == j ? d[i] : (i < j ? a[i][j] : 0.0L); };
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) {
            long double rtr = 0, ata = 0;
            for (int k = 1; k <= 3; ++k) {
                rtr += r(k, i) * r(k, j);
                ata += A[k - 1][i - 1] * A[k - 1][j - 1];
            }
            EXPECT_NEAR(static_cast<double>(rtr), static_cast<double>(ata), 1e-12) << i << "," << j;
        }

    long double b[4] = {0, 1, -2, 3};
    long double x[4] = {0, 1, -2, 3};
    solver.rsolv(a, 3, d, x);
    for (int i = 1; i <= 3; ++i) {
        long double rx = 0;
        for (int j = 1; j <= 3; ++j) rx += r(i, j) * x[j];
        EXPECT_NEAR(static_cast<double>(rx), static_cast<double>(b[i]), 1e-12);
    }

    // Update an upper triangular R with Qt = I.
    long double const R0[3][3] = {{2, 1, -1}, {0, 3, 2}, {0, 0, -1.5L}};
    long double const U[3] = {0.5L, -1, 2};
    long double const V[3] = {1, 0.25L, -3};
    long double** rr = my_matrix(1, 3, 1, 3);
    long double** qt = my_matrix(1, 3, 1, 3);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) {
            rr[i][j] = R0[i - 1][j - 1];
            qt[i][j] = i == j ? 1 : 0;
        }
    long double u[4] = {0, U[0], U[1], U[2]};
    long double v[4] = {0, V[0], V[1], V[2]};
    solver.qrupdt(rr, qt, 3, u, v);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) {
            if (i > j) {
                EXPECT_NEAR(static_cast<double>(rr[i][j]), 0.0, 1e-12) << "R' stays upper triangular";
            }
            long double qr = 0;
            for (int k = 1; k <= 3; ++k) qr += qt[k][i] * rr[k][j];
            long double const expected = R0[i - 1][j - 1] + U[i - 1] * V[j - 1];
            EXPECT_NEAR(static_cast<double>(qr), static_cast<double>(expected), 1e-12) << i << "," << j;
        }
    my_free_matrix(qt, 1, 3, 1, 3);
    my_free_matrix(rr, 1, 3, 1, 3);
    my_free_vector(d, 1, 3);
    my_free_vector(c, 1, 3);
    my_free_matrix(a, 1, 3, 1, 3);
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
        // The targets are given back in their own units.
        EXPECT_EQ(s.xv[4], m.a);
        EXPECT_EQ(s.xv[6], m.c);
    }
}

TEST(DivergenceTimeSolver, DegenerateStartsAndNoTries) {
    initialize_ran3(-515);
    long seed = 1;
    double const next = ran3(&seed);
    initialize_ran3(-515);
    {
        SCOPED_TRACE("a = b = c = 0");
        TSolveDivTimes s(0, 0, 0);
        EXPECT_EQ(s.solve(20), 0);
        EXPECT_EQ(s.theta0, 0.0L);
        EXPECT_EQ(s.tau, 0.0L);
        EXPECT_EQ(s.k, 0.5L);
    }
    {
        SCOPED_TRACE("a = b = c: no divergence");
        TSolveDivTimes s(3, 3, 3);
        EXPECT_EQ(s.solve(20), 0);
        EXPECT_EQ(s.theta0, 3.0L);
        EXPECT_EQ(s.tau, 0.0L);
        EXPECT_EQ(s.k, 0.5L);
    }
    {
        SCOPED_TRACE("no try");
        TSolveDivTimes s(2, 1, 3);
        s.theta0 = 7;
        s.k = 8;
        s.tau = 9;
        EXPECT_EQ(s.solve(0), 1);
        EXPECT_EQ(s.converged, 0);
        EXPECT_EQ(s.theta0, 7.0L);
        EXPECT_EQ(s.k, 8.0L);
        EXPECT_EQ(s.tau, 9.0L);
    }
    EXPECT_EQ(ran3(&seed), next) << "first tries draw nothing";
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
