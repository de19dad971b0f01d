#include "popstats/expansion_kernels.h"

#include <cmath>

#include "core/numerics.h"

namespace quintle {

double constant_size_mismatch(int k, double t) { return std::pow(t / (t + 1.0), k) / (t + 1.0); }

double sudden_tau_term(int j, double lnTau) { return static_cast<double>(std::exp(j * lnTau - factlnl(j))); }

namespace {

// The guards of the sudden-expansion form at the first class evaluated.
// True when that class gets the constant-size value of theta0; every later
// class then takes the expansion form, whose guards no longer change
// anything.
bool sudden_guards(double& theta0, double& theta1, double& tau) {
    if (theta0 <= 0.0) theta0 = 1e-7;
    if (tau <= 0.0) {
        tau = 1e-7;
        if (theta0 > theta1) theta1 = theta0;
        return true;
    }
    if (theta0 > theta1) {
        theta1 = theta0;
        return true;
    }
    return false;
}

double sudden_decay(double theta1, double tau) { return std::exp(-tau * (theta1 + 1.0) / theta1); }

}  // namespace

double sudden_expansion_class(int i, double& theta0, double& theta1, double& tau) {
    if (sudden_guards(theta0, theta1, tau)) return constant_size_mismatch(i, theta0);
    const double lnTau = std::log(tau);
    double sum = 0.0;
    for (int j = 0; j <= i; ++j)
        sum += sudden_tau_term(j, lnTau) *
               (constant_size_mismatch(i - j, theta0) - constant_size_mismatch(i - j, theta1));
    return constant_size_mismatch(i, theta1) + sudden_decay(theta1, tau) * sum;
}

double sudden_expansion_ssd(std::span<const double> y, double& theta0, double& theta1, double& tau,
                            ExpansionWork& w) {
    const int n = static_cast<int>(y.size());
    if (n == 0) return 0.0;
    double ssd = 0.0;
    int first = 0;
    if (sudden_guards(theta0, theta1, tau)) {
        const double d = constant_size_mismatch(0, theta0) - y[0];
        ssd = d * d;
        first = 1;
    }
    if (first >= n) return ssd;

    constexpr int kSudden = 1;
    const double lnTau = std::log(tau);
    const double t0 = theta0;
    const double t1 = theta1;
    double const* a = w.a.fill(kSudden, t0, 0.0, n, [t0](int k) { return constant_size_mismatch(k, t0); });
    double const* b = w.b.fill(kSudden, t1, 0.0, n, [t1](int k) { return constant_size_mismatch(k, t1); });
    double const* c = w.c.fill(kSudden, lnTau, 0.0, n, [lnTau](int k) { return sudden_tau_term(k, lnTau); });
    const double decay = sudden_decay(theta1, tau);
    for (int i = first; i < n; ++i) {
        double sum = 0.0;
        for (int j = 0; j <= i; ++j) sum += c[j] * (a[i - j] - b[i - j]);
        const double d = b[i] + decay * sum - y[i];
        ssd += d * d;
    }
    return ssd;
}

// --- spatial expansion ---------------------------------------------------------

namespace {

void clamp_spatial(SpatialParams p, bool threePar) {
    if (threePar) {
        if (p.theta1 <= 0.0) p.theta0 = p.theta1 = 0.01;
    } else {
        if (p.theta0 <= 0.0) p.theta0 = 0.01;
        if (p.theta1 <= 0.0) p.theta1 = 0.01;
    }
    if (p.M <= 0.0) p.M = 1e-5;
    if (p.tau <= 0.0) p.tau = 1e-5;
}

double spatial_tau_term(int m, double lnTau) { return std::exp(m * lnTau - factln(m)); }

// What every class shares, once the parameters are clamped.
struct SpatialConstants {
    double t1 = 0.0;
    double D = 0.0;
    double P = 0.0;
    double BoverD = 0.0;
    double lnR0 = 0.0;  // ln(t0 / (1 + t0))
    double lnRD = 0.0;  // ln(t1 / D)
    double lnTau = 0.0;

    SpatialConstants(SpatialParams p, bool threePar) {
        t1 = p.theta1;
        const double t0 = threePar ? p.theta1 : p.theta0;
        const double tau = p.tau;
        const double M = p.M;
        D = t1 + M + 1.0;
        const double A = tau * (1.0 + M) / t1;
        double B = std::exp(-tau * D / t1);
        if (threePar && tau * D / t1 > 300.0) B = 0.0;
        const double expA = A >= 300.0 ? 0.0 : std::exp(-A);
        P = std::exp(-tau) * (M + expA) / ((1.0 + M) * (1.0 + t0));
        BoverD = B / D;
        lnR0 = std::log(t0 / (1.0 + t0));
        lnRD = std::log(t1 / D);
        lnTau = std::log(tau);
    }

    // t1^i / D^(i + 1); where either power leaves the doubles, the same
    // quotient as (t1 / D)^i / D.
    double lead(int i) const {
        const double up = std::pow(t1, i);
        const double down = std::pow(D, i + 1);
        if (std::isfinite(up) && std::isfinite(down)) return up / down;
        return std::pow(t1 / D, i) / D;
    }
};

double spatial_class(int i, SpatialParams p, bool threePar) {
    clamp_spatial(p, threePar);
    const SpatialConstants k(p, threePar);
    double s1 = 0.0;
    double s2 = 0.0;
    for (int j = 0; j <= i; ++j) s1 += std::exp(j * k.lnR0) * spatial_tau_term(i - j, k.lnTau);
    for (int j = 0; j <= i; ++j) s2 += std::exp((i - j) * k.lnRD) * spatial_tau_term(j, k.lnTau);
    return k.lead(i) + k.P * s1 - k.BoverD * s2;
}

double spatial_ssd(std::span<const double> y, SpatialParams p, bool threePar, ExpansionWork& w) {
    const int n = static_cast<int>(y.size());
    if (n == 0) return 0.0;
    clamp_spatial(p, threePar);
    const SpatialConstants k(p, threePar);
    constexpr int kSpatial = 2;
    const double lnR0 = k.lnR0;
    const double lnRD = k.lnRD;
    const double lnTau = k.lnTau;
    double const* r0 = w.a.fill(kSpatial, lnR0, 0.0, n, [lnR0](int m) { return std::exp(m * lnR0); });
    double const* rD = w.b.fill(kSpatial, lnRD, 0.0, n, [lnRD](int m) { return std::exp(m * lnRD); });
    double const* e = w.c.fill(kSpatial, lnTau, 0.0, n, [lnTau](int m) { return spatial_tau_term(m, lnTau); });
    double const* lead = w.d.fill(kSpatial, k.t1, k.D, n, [&k](int i) { return k.lead(i); });
    double ssd = 0.0;
    for (int i = 0; i < n; ++i) {
        double s1 = 0.0;
        double s2 = 0.0;
        for (int j = 0; j <= i; ++j) s1 += r0[j] * e[i - j];
        for (int j = 0; j <= i; ++j) s2 += rD[i - j] * e[j];
        const double d = lead[i] + k.P * s1 - k.BoverD * s2 - y[i];
        ssd += d * d;
    }
    return ssd;
}

}  // namespace

double spatial_expansion_class_4p(int i, SpatialParams p) { return spatial_class(i, p, false); }
double spatial_expansion_class_3p(int i, SpatialParams p) { return spatial_class(i, p, true); }

double spatial_expansion_ssd_4p(std::span<const double> y, SpatialParams p, ExpansionWork& w) {
    return spatial_ssd(y, p, false, w);
}

double spatial_expansion_ssd_3p(std::span<const double> y, SpatialParams p, ExpansionWork& w) {
    return spatial_ssd(y, p, true, w);
}

}  // namespace quintle
