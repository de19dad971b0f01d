#pragma once

// Least-squares fit of the spatial (range) expansion model to a sample's
// mismatch distribution, by a pattern search restarted from random points:
// three parameters (Tau, Theta, M: one deme size) or four (Tau, Theta0,
// Theta1, M). The three-parameter fit is tested by a parametric bootstrap
// on samples simulated under a range expansion.
//
// Built on the sudden-expansion fitter, whose parameter slots (Theta0,
// Theta1, Tau; the three-parameter Theta is the Theta1 slot), reader of the
// observed distribution, raggedness index and simulated distributions it
// uses.

#include <ostream>

#include "popstats/ann_missmatch.h"

namespace quintle {

class mismatchSpatialExpansion : public ann_missmatch {
public:
    double M = 0.0;            // migration (dispersal) rate
    double extra_value = 0.0;  // fifth start value; no spatial model reads it
    // M at 2.5 %, 5 %, 95 % and 97.5 % among the bootstrap replicates (the
    // other results are the base's: SSD, P(SSD), raggedness, P(raggedness),
    // Tau and Theta quantiles).
    double M_quantiles[4] = {};

    // The base's default constructor creates "glob_res.xl" with its header
    // when it is missing; the fitter writes nothing more to it.
    mismatchSpatialExpansion(PopGenetics* sample, settings* s);

    void init_data(double const& t0, double const& t1, double const& t, double const& m, double const& fifth);

    void solve_least_square_spatial_expansion_3_par(std::ostream& out);
    void solve_least_square_spatial_expansion_4_par(std::ostream& out);

    double f_i_spatial_exp_3p(int const& i);
    double f_i_spatial_exp_4p(int const& i);
    double f_S_Spatial_Exp_3p(double* x, double* y, int const& c);
    double f_S_Spatial_Exp_4p(double* x, double* y, int const& c);

    // 1 when converged.
    int hook_jeeves_spatial_exp_3_par(double* x, double* y, int const& c, int const& stepLimit, double const& tol);
    int hook_jeeves_spatial_exp_4_par(double* x, double* y, int const& c, int const& stepLimit, double const& tol);

    void make_bootstrap_spatial_exp(double* x, double* y, double* model, int& c, int const& maxClasses,
                                    std::ostream& out, long total);
    bool simulate_spatial_exp(double* x, double* y, int& c);

private:
    SpatialParams params() { return SpatialParams{theta0, theta1, tau, M}; }
    double ssd_3p(double const* y, int c);
    double ssd_4p(double const* y, int c);
    // Mean and share of identical pairs the restarts are drawn around.
    struct StartScale {
        double M0 = 100.0;
        double mean = 0.0;
    };
    static StartScale start_scale(double const* y, int c);
    // Reads the observed distribution into frequencies; false after an
    // allocation failure.
    bool observed(std::vector<double>& xs, std::vector<double>& ys, std::vector<double>& ms, int& c, long& total);
};

}  // namespace quintle
