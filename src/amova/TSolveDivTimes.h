#pragma once

// Divergence time of two samples under a model of divergence with unequal
// population sizes: from the mean numbers of pairwise differences within
// the first sample (a), within the second (b) and between them (c), the
// ancestral size theta0, the share k of it that went to the first daughter
// population and the divergence time tau solve
//
//   theta0 (k + (1 - k) exp(-tau / (theta0 k)))       = a
//   theta0 ((1 - k) + k exp(-tau / (theta0 (1 - k)))) = b
//   theta0 + tau                                      = c
//
// The system is solved in units of max(a, b, c) by the Broyden solver with
// its analytic Jacobian, first from a start point derived from a, b and c,
// then, while that fails, from start points perturbed at random.

#include "amova/TBroyden.h"

namespace quintle {

// The three equations at x[1..3] = (theta0, k, tau) with the targets in
// x[4..6]; n is not used.
void vecfunc2(int n, long double* x, long double* f);
// Their exact partial derivatives.
void my_jacobian2(int n, long double* x, long double** df);

class TSolveDivTimes : public TBroyden {
public:
    // 1 when the last try converged to a nonnegative theta0.
    int converged = 0;
    // Mean numbers of pairwise differences: within the first sample, within
    // the second, between the two.
    long double a = 0.0L;
    long double b = 0.0L;
    long double c = 0.0L;
    // xv[1..3] = theta0, k, tau (the unknowns); xv[4..6] = a, b, c in the
    // units of the try. xv[0] is not used.
    long double xv[7] = {};
    // Start values during a try, estimates after it.
    long double theta0 = 0.0L;
    long double tau = 0.0L;
    long double k = 0.0L;
    int max_tries = 20;

    TSolveDivTimes(long double const& a, long double const& b, long double const& c);

    // Runs up to `tries` tries, each after the first from a start point
    // perturbed with three draws of ran3. Returns 0 when a try succeeded,
    // 1 when none did; theta0, k and tau then hold the last try's values
    // (those given before the call when no try ran).
    int solve(int const& tries);
};

}  // namespace quintle
