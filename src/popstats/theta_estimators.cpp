#include "popstats/theta_estimators.h"

#include <climits>
#include <cmath>

#include "core/numerics.h"

namespace quintle {

namespace {

// The homozygosity expected under the infinite-alleles model is
// 1 / (1 + f(theta)); theta(Hom) solves f(theta) = 1/Hom - 1.
double hom_equation(double t) { return t * (1.0 + 2.0 * (t + 1.0) / ((t + 2.0) * (t + 3.0))); }

// Common end of both theta(Hom) forms, from a homozygosity Hom on.
double theta_from_homozygosity(double Hom, std::span<const double> ownCounts, double n, DiversityFields out) {
    if (Hom == 1.0) {
        out.thetaHom = 0.0;
        out.thetaHomSd = 0.0;
        return out.thetaHom;
    }
    if (!(Hom > 0.0)) {
        out.thetaHom = infinite_theta;
        out.thetaHomSd = infinite_theta;
        return out.thetaHom;
    }

    // False position between brackets on either side of the target.
    const double T = 1.0 / Hom - 1.0;
    double a = T > 1.0 ? T - 1.0 : 0.001;
    double b = T + 1.0;
    double fa = hom_equation(a);
    double fb = hom_equation(b);
    double c = b;
    for (int step = 0; step < 1000; ++step) {
        c = b - (b - a) * (fb - T) / (fb - fa);
        const double fc = hom_equation(c);
        if (fc - T > 0.0) {
            b = c;
            fb = fc;
        } else {
            a = c;
            fa = fc;
        }
        if (std::fabs(fc - T) <= 1e-7) break;
    }
    out.thetaHom = c;

    // The s.d. of Hom carried over to theta through |dHom/dtheta|.
    calc_sample_sd_heterozygosity(ownCounts, n, out.sumSquaredFreq, out.geneDiversitySd);
    const double t = out.thetaHom;
    const double sdH = out.geneDiversitySd;
    out.thetaHomSd = sdH * (2.0 + t) * (2.0 + t) * (3.0 + t) * (3.0 + t) /
                     ((10.0 * (2.0 + t) + (4.0 + t) * (3.0 + t) * (2.0 + t) + 4.0) * (1.0 + t) * Hom * Hom);
    return out.thetaHom;
}

// Sums over 1, 2, ... n of the sample size are added term by term up to
// here; the rest comes from the asymptotic series below, exact to double
// precision that far out.
constexpr int kTermsAdded = 1 << 20;

// psi(b) - psi(a) = sum of 1/x for x = a, a + 1, ... < b, for
// kTermsAdded <= a <= b, from the asymptotic series of the digamma function;
// the first omitted term is below 1e-38.
double digamma_difference(double a, double b) {
    const double a2 = 1.0 / (a * a);
    const double b2 = 1.0 / (b * b);
    return std::log1p((b - a) / a) - (0.5 / b - 0.5 / a) - (b2 - a2) / 12.0 + (b2 * b2 - a2 * a2) / 120.0;
}

// psi'(a) - psi'(b) = sum of 1/x^2 for x = a, a + 1, ... < b, likewise.
double trigamma_difference(double a, double b) {
    auto const tail = [](double x) {
        const double r = 1.0 / x;
        const double r2 = r * r;
        return r + r2 / 2.0 + r2 * r / 6.0 - r2 * r2 * r / 30.0;
    };
    return tail(a) - tail(b);
}

}  // namespace

double calc_theta_Hom(std::span<const double> counts, double n, int k, DiversityFields out) {
    if (static_cast<double>(k) == n) {
        out.thetaHom = infinite_theta;
        return out.thetaHom;
    }
    // k differs from n: gene diversity and homozygosity as the sample's.
    calc_sample_homozygosity(counts, n, k, out);
    if (n <= 1.0) {
        out.thetaHom = 0.0;
        out.thetaHomSd = 0.0;
        return out.thetaHom;
    }
    return theta_from_homozygosity(out.homozygosity, counts, n, out);
}

double calc_theta_Hom(std::span<const double> list, std::span<const double> ownCounts, double n,
                      DiversityFields out) {
    if (static_cast<double>(list.size()) == n) return infinite_theta;
    if (n <= 1.0) {
        out.thetaHom = 0.0;
        out.thetaHomSd = 0.0;
        return out.thetaHom;
    }
    out.ewObservedF = calc_F(list, n);
    const double H = n / (n - 1.0) * (1.0 - out.ewObservedF);  // not capped here
    return theta_from_homozygosity(1.0 - H, ownCounts, n, out);
}

WattersonSums watterson_sums(int n) {
    WattersonSums w;
    w.n = n;
    // Terms past the first million are summed in closed form, as in k_est.
    const int m = n < kTermsAdded ? n : kTermsAdded;
    for (int i = 1; i < m; ++i) {
        w.a1 += 1.0 / i;
        w.a2 += 1.0 / (static_cast<double>(i) * i);
    }
    if (n > m) {
        w.a1 += digamma_difference(m, n);
        w.a2 += trigamma_difference(m, n);
    }
    return w;
}

void theta_S(WattersonSums const& w, int S, double& thetaS, double& thetaSsd) {
    const double a1 = w.a1;
    const double a2 = w.a2;
    if (w.n < 2 || a1 <= 0.0) {
        thetaS = 0.0;
        thetaSsd = 0.0;
        return;
    }
    const double s = S;
    thetaS = s / a1;
    thetaSsd = std::sqrt((a1 * a1 * s + a2 * s * s) / (a1 * a1 * (a1 * a1 + a2)));
}

void theta_S(int n, int S, double& thetaS, double& thetaSsd) { theta_S(watterson_sums(n), S, thetaS, thetaSsd); }

void theta_pi(double pi, double n, double& thetaPi, double& thetaPiSd) {
    if (n < 2.0) {
        thetaPi = 0.0;
        thetaPiSd = 0.0;
        return;
    }
    thetaPi = pi;
    thetaPiSd = std::sqrt((n + 1.0) / (3.0 * (n - 1.0)) * pi +
                          2.0 * (n * n + n + 3.0) / (9.0 * n * (n - 1.0)) * pi * pi);
}

double k_est(double theta, int n) {
    if (theta <= 0.0) return 1.0;
    // The bisections of theta(k) evaluate this a hundred times or so: past
    // the first kTermsAdded terms the rest of the sum, theta (psi(theta + n)
    // - psi(theta + m)), is taken in closed form, so that no sample size
    // makes them run for minutes.
    const int m = n < kTermsAdded ? n : kTermsAdded;
    double sum = 0.0;
    for (int i = 0; i < m; ++i) sum += theta / (theta + i);
    if (n > m) sum += theta * digamma_difference(theta + m, theta + n);
    return sum;
}

double theta_k(int n, int k, double alpha, ThetaKFields out, BnumMat& table, int& tableExists) {
    if (k < 2) {
        out.thetaK = out.thetaKLow = out.thetaKHigh = 0.0;
        return out.thetaK;
    }

    // Point estimate: E[K](theta) = k, E[K] increasing in theta.
    const double kd = k;
    auto expected = [&](double t) {
        out.expNumAlleles = k_est(t, n);
        return out.expNumAlleles;
    };
    double low = 0.1;
    for (int i = 0; i < 10000 && expected(low) > kd; ++i) low /= 10.0;
    double high = 10.0;
    for (int i = 0; i < 10000 && expected(high) < kd; ++i) high *= 10.0;
    double mid = (low + high) / 2.0;
    for (int step = 0; step < 10000 && high - low > 1e-7; ++step) {
        mid = (low + high) / 2.0;
        if (expected(mid) > kd)
            high = mid;
        else
            low = mid;
    }
    out.thetaK = mid;

    bool refused = false;
    if (table.numRows() <= n || table.numCols() <= k) {
        // Sizes beyond the table's limits are refused all the same, without
        // overflowing for the largest samples.
        auto const margin = [](int v) { return v > INT_MAX - 10 ? INT_MAX : v + 10; };
        if (!table.re_allocate_matrix(margin(n), margin(k))) {
            tableExists = 0;
            refused = true;
        }
    }
    if (n > 4999 || k > 999 || refused) {
        out.thetaKLow = 0.0;
        out.thetaKHigh = 100000000.0;
        return out.thetaK;
    }

    const long double halfAlpha = static_cast<long double>(alpha) / 2.0L;

    // Bisection towards the theta at which prob(theta) crosses target; prob
    // decreases in theta. Both brackets start at theta(k).
    auto limit = [&](auto prob, long double target) {
        double lo = out.thetaK;
        double hi = out.thetaK;
        while (prob(lo) < target) lo /= 3.0;
        while (prob(hi) > target) hi *= 3.0;
        double m = (lo + hi) / 2.0;
        for (int step = 0; step < 10000 && std::fabs(hi - lo) > 1e-7; ++step) {
            m = (hi + lo) / 2.0;
            if (prob(m) <= target)
                hi = m;
            else
                lo = m;
        }
        return m;
    };
    auto less_than_k = [&](double t) { return proba_less_than_k(k, n, t, table); };
    auto at_most_k = [&](double t) {
        return proba_less_than_k(k, n, t, table) + static_cast<long double>(proba_exactly_k(k, n, t, table));
    };
    out.thetaKHigh = limit(less_than_k, halfAlpha);
    out.thetaKLow = limit(at_most_k, 1.0L - halfAlpha);
    return out.thetaK;
}

double proba_exactly_k(int k, int n, double theta, BnumMat const& table) {
    if (theta <= 0.0) return k == 1 ? 1.0 : 0.0;
    if (theta > 10000.0 || k >= n) return 0.0;
    return table(n, k) *
           std::exp(k * std::log(theta) + factln(n) + gammln(theta) - gammln(n + theta) - factln(k));
}

long double proba_less_than_k(int k, int n, double theta, BnumMat const& table) {
    if (theta > 10000.0) return 0.0L;
    // Terms and factor are kept in extended precision: theta^i / i! passes
    // the double range long before theta reaches 10000.
    const long double lnTheta = std::log(static_cast<long double>(theta));
    long double sum = 0.0L;
    for (int i = 1; i < k; ++i)
        sum += static_cast<long double>(table(n, i)) * std::exp(i * lnTheta - factlnl(i));
    sum *= std::exp(static_cast<long double>(gammln(theta)) + factlnl(n) -
                    static_cast<long double>(gammln(n + theta)));
    if (sum < 0.0L) sum = 0.0L;
    if (sum > 1.0L) sum = 1.0L;
    return sum;
}

}  // namespace quintle
