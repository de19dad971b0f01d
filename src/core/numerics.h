#pragma once

// Special functions for the statistical tests: log-gamma, log-factorial,
// the chi-square tail probability and a bracketing root finder.

namespace quintle {

// ln Gamma(x) for x > 0 (Lanczos series, no argument check).
double gammln(double x);
long double gammlnl(long double x);

// ln(n!); n < 0 is an error and gives 0. Values up to 100 are cached.
double factln(int n);
long double factlnl(int n);

// ln(n!) for n = int(x + 0.1), summed directly.
double factorial(float const& x);

// Upper-tail probability of a chi-square value with df degrees of freedom;
// -1 for invalid arguments.
float Prob_of_chi_sq(float df, float chi);

// Regularised lower incomplete gamma P(a, x) by its series; *gln receives
// ln Gamma(a).
void gser(float* gamser, float a, float x, float* gln);

// Regularised upper incomplete gamma Q(a, x) by its continued fraction;
// *gln receives ln Gamma(a).
void gcf(float* gammcf, float a, float x, float* gln);

// Root of func bracketed by x1 and x2, to tolerance tol (Brent's method);
// 0 when the root is not bracketed or the iterations run out.
float zbrent(float (*func)(float), float x1, float x2, float tol);

}  // namespace quintle
