#pragma once

// Tajima's D: the standardised difference between the mean number of
// pairwise differences and the number of segregating sites scaled by a1.

namespace quintle {

// D from n gene copies, pi mean pairwise differences and S segregating
// sites. Degenerate input (S <= 0, a variance or e2 that is not positive)
// gives D = 0 and P = -1 (no P value can exist); P is otherwise left for the
// caller. |pi - S/a1| < 1e-15 gives D = 0. Returns D.
double tajimaD(int n, double pi, double S, double& D, double& P);

// The same for the simulation loop, without the 1e-15 and e2 guards.
double fast_tajimaD(int n, double pi, double S, double& D, double& P);

// The constants of D for n gene copies: a series of samples of one size
// computes them once.
struct TajimaConstants {
    int n = 0;
    double a1 = 0.0;
    double e1 = 0.0;
    double e2 = 0.0;
};
TajimaConstants tajima_constants(int n);
// fast_tajimaD with the constants of its n.
double fast_tajimaD(TajimaConstants const& k, double pi, double S, double& D, double& P);

// Beta density on [Dmin, Dmax] of D; 0 at either end or for an empty range.
// No analysis uses it.
double Tajima_D_density(double alpha, double beta, double Dmin, double Dmax, double D);

}  // namespace quintle
