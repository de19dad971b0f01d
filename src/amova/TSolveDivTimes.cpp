#include "amova/TSolveDivTimes.h"

#include <cmath>

#include "core/random.h"

namespace quintle {

namespace {

// Exponent used when its denominator vanishes.
constexpr long double kVanishedExponent = -400.0L;
constexpr long double kExponentLimit = 300.0L;

// exp(-tau / denominator), guarded; the two functions replace out-of-range
// exponentials by different stand-ins.
long double exponent_of(long double tau, long double theta0, long double share) {
    if (theta0 == 0.0L || share == 0.0L) return kVanishedExponent;
    return -tau / (theta0 * share);
}

long double equation_exp(long double u) {
    if (u < -kExponentLimit) return 1e-50L;
    if (u > kExponentLimit) return 1e50L;
    return static_cast<long double>(std::exp(static_cast<double>(u)));
}

long double jacobian_exp(long double u) {
    if (u < -kExponentLimit) return 1.1754943508222876e-39L;
    if (u > kExponentLimit) return 3.4028234663852886e+39L;
    return static_cast<long double>(std::exp(static_cast<double>(u)));
}

long double max3(long double x, long double y, long double z) {
    long double m = x;
    if (y > m) m = y;
    if (z > m) m = z;
    return m;
}

}  // namespace

void vecfunc2(int /*n*/, long double* x, long double* f) {
    long double const theta0 = x[1];
    long double const k = x[2];
    long double const tau = x[3];
    long double const e1 = equation_exp(exponent_of(tau, theta0, k));
    long double const e2 = equation_exp(exponent_of(tau, theta0, 1.0L - k));
    f[1] = theta0 * (k + (1.0L - k) * e1) - x[4];
    f[2] = theta0 * ((1.0L - k) + k * e2) - x[5];
    f[3] = theta0 + tau - x[6];
}

void my_jacobian2(int /*n*/, long double* x, long double** df) {
    long double const theta0 = x[1];
    long double const k = x[2];
    long double const tau = x[3];
    long double const u1 = exponent_of(tau, theta0, k);
    long double const e1 = jacobian_exp(u1);
    long double const e2 = jacobian_exp(exponent_of(tau, theta0, 1.0L - k));
    // In the overflow case the k-derivative of F1 takes a tenfold smaller
    // stand-in in its second term.
    long double const e1k = u1 > kExponentLimit ? 3.4028234663852886e+38L : e1;
    long double const m = 1.0L - k;

    df[1][1] = k + m * e1 + tau * m * e1 / (theta0 * k);
    df[1][2] = theta0 * (1.0L - e1) + tau * m * e1k / (k * k);
    df[1][3] = -m * e1 / k;

    df[2][1] = m + k * e2 + tau * k * e2 / (theta0 * m);
    df[2][2] = theta0 * (e2 - 1.0L) - tau * k * e2 / (m * m);
    df[2][3] = -k * e2 / m;

    df[3][1] = 1.0L;
    df[3][2] = 0.0L;
    df[3][3] = 1.0L;
}

TSolveDivTimes::TSolveDivTimes(long double const& a_, long double const& b_, long double const& c_)
    : TBroyden(3, xv, vecfunc2, my_jacobian2), a(a_), b(b_), c(c_) {}

int TSolveDivTimes::solve(int const& tries) {
    max_tries = tries;
    xv[4] = a;
    xv[5] = b;
    xv[6] = c;
    converged = 0;
    long seed = 1;  // continues the run's stream, never reseeds it
    for (int t = 0; t < max_tries && converged == 0; ++t) {
        long double scale = max3(a, b, c);
        if (scale == 0.0L) scale = 1.0L;
        xv[4] = a / scale;
        xv[5] = b / scale;
        xv[6] = c / scale;
        long double const within = xv[4] + xv[5];
        theta0 = 0.5L * within;
        tau = xv[6] - 0.5L * within;
        k = within == 0.0L ? 0.5L : xv[4] / within;
        if (t > 0) {
            // Each factor lies in [0.01, 2.01).
            theta0 *= (200.0 * ran3(&seed) + 1.0) / 100.0;
            tau *= (200.0 * ran3(&seed) + 1.0) / 100.0;
            k *= (200.0 * ran3(&seed) + 1.0) / 100.0;
        }
        xv[1] = theta0;
        xv[2] = k;
        xv[3] = tau;
        int check = 0;
        broydn(x, 3, &check);
        converged = check == 0 ? 1 : 0;
        xv[4] *= scale;
        xv[5] *= scale;
        xv[6] *= scale;
        theta0 = xv[1] * scale;
        k = xv[2];
        tau = xv[3] * scale;
        if (theta0 < 0.0L) converged = 0;
    }
    return converged == 0 ? 1 : 0;
}

}  // namespace quintle
