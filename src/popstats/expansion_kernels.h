#pragma once

// Expected mismatch distributions of the two expansion models fitted to a
// sample's mismatch distribution: the sudden (demographic) expansion with
// theta0, theta1 and tau, and the spatial (range) expansion with Theta0,
// Theta1, Tau and the migration rate M, one deme size (three parameters)
// or two (four).
//
// Each model has a per-class form, which evaluates one class as the model
// is written, and a sum of squared deviations over classes 0, 1, ... that
// computes the terms shared by the classes (powers, tau^j / j!) once per
// call and adds the same values in the same order, so that both give the
// same doubles. The guards of the per-class forms write the corrected
// parameters back; the sums apply them as a class-by-class evaluation
// would.

#include <limits>
#include <span>
#include <vector>

namespace quintle {

// t^k / (t + 1)^(k + 1): the share of pairs with k differences in a
// population of constant size with theta t.
double constant_size_mismatch(int k, double t);

// tau^j / j!, through logarithms (ln j! in extended precision).
double sudden_tau_term(int j, double lnTau);

// Share of pairs with i differences under sudden expansion. Guards, kept in
// the arguments: theta0 <= 0 becomes 1e-7; tau <= 0 becomes 1e-7 and the
// class gets the constant-size value of theta0 (theta1 raised to theta0
// first when below it); theta0 above theta1 raises theta1 to theta0 and the
// class gets the constant-size value.
double sudden_expansion_class(int i, double& theta0, double& theta1, double& tau);

// A table of values f(0) .. f(n - 1) of one argument, kept from call to
// call: a pattern search moves one parameter at a time, so most tables of a
// trial point are those of the point before.
struct TermTable {
    std::vector<double> values;
    double key1 = std::numeric_limits<double>::quiet_NaN();
    double key2 = std::numeric_limits<double>::quiet_NaN();
    int owner = 0;  // which model's terms the table holds

    // Refills the table unless it holds at least n values for these
    // arguments; returns them.
    template <class F>
    double const* fill(int model, double arg1, double arg2, int n, F f) {
        if (owner != model || key1 != arg1 || key2 != arg2 || static_cast<int>(values.size()) < n) {
            values.resize(static_cast<std::size_t>(n));
            for (int k = 0; k < n; ++k) values[static_cast<std::size_t>(k)] = f(k);
            owner = model;
            key1 = arg1;
            key2 = arg2;
        }
        return values.data();
    }
};

// Scratch tables of the sums of squares.
struct ExpansionWork {
    TermTable a;
    TermTable b;
    TermTable c;
    TermTable d;
};

// Sum over classes i = 0 .. y.size() - 1 of (f(i) - y[i])^2, f the
// per-class form above evaluated class after class.
double sudden_expansion_ssd(std::span<const double> y, double& theta0, double& theta1, double& tau,
                            ExpansionWork& w);

// The spatial-expansion parameters as the fitter holds them.
struct SpatialParams {
    double& theta0;
    double& theta1;
    double& tau;
    double& M;
};

// Share of pairs with i differences under spatial expansion, four
// parameters. Clamps, kept: Theta0 or Theta1 <= 0 become 0.01, M and Tau
// <= 0 become 1e-5.
double spatial_expansion_class_4p(int i, SpatialParams p);
// Three parameters: one Theta, held in the Theta1 slot; a Theta <= 0 sets
// both slots to 0.01.
double spatial_expansion_class_3p(int i, SpatialParams p);

// Sums of squared deviations over classes 0 .. y.size() - 1.
double spatial_expansion_ssd_4p(std::span<const double> y, SpatialParams p, ExpansionWork& w);
double spatial_expansion_ssd_3p(std::span<const double> y, SpatialParams p, ExpansionWork& w);

}  // namespace quintle
