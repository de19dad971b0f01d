#include "structure/fst_kernels.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace quintle {

namespace {

constexpr double kInvSqrt2Pi = 0.398942280401;

// The simulated loci inside the heterozygosity window, in ascending index
// order, with their Epanechnikov weights and the weights' sum.
struct Window {
    std::vector<long> index;
    std::vector<double> weight;
    double total = 0.0;

    Window(MY_TArrayAsVector<double> const& het, MY_TArrayAsVector<double> const& fst, double H, double bH) {
        const long m = std::min(het.count, fst.count);
        // Room for every locus at once: the window's cost does not grow
        // with the number of simulations by steps.
        index.reserve(static_cast<std::size_t>(std::max(m, 0L)));
        weight.reserve(static_cast<std::size_t>(std::max(m, 0L)));
        for (long i = 0; i < m; ++i) {
            if (!(std::fabs(het[i] - H) <= bH)) continue;
            const double u = (het[i] - H) / bH;
            const double w = 0.75 * (1.0 - u * u) / bH;
            index.push_back(i);
            weight.push_back(w);
            total += w;
        }
    }
};

// Gaussian kernel of standard deviation h; 0 when h is 0.
struct Gaussian {
    double h;
    double operator()(double f, double x) const {
        if (h == 0.0) return 0.0;
        const double z = (f - x) / h;
        const double e = -0.5 * z * z;
        // Far out in the tail the exponential is exactly 0 (below about
        // -745): the value is then known without calling it.
        if (e < -750.0) return kInvSqrt2Pi * 0.0 / h;
        return kInvSqrt2Pi * std::exp(e) / h;
    }
};

// Epanechnikov kernel of half-width b on FST; 0 outside it (and for b 0).
struct Epanechnikov {
    double b;
    double operator()(double f, double x) const {
        if (!(b > 0.0)) return 0.0;
        const double v = (f - x) / b;
        if (v * v > 1.0) return 0.0;
        return 0.75 * (1.0 - v * v) / b;
    }
};

template <class Kernel>
double density(Window const& win, MY_TArrayAsVector<double> const& fst, Kernel const& kernel, double x) {
    if (!(win.total > 0.0)) return 0.0;
    double sum = 0.0;
    for (std::size_t j = 0; j < win.index.size(); ++j) sum += kernel(fst[win.index[j]], x) * win.weight[j];
    return sum / win.total;
}

// Integral over the n cells between fObs and 1, centres from the top down.
template <class Kernel>
double upper_integral(Window const& win, MY_TArrayAsVector<double> const& fst, Kernel const& kernel, double fObs,
                      int n) {
    if (n <= 0) return 0.0;
    const double s = (1.0 - fObs) / n;
    double sum = 0.0;
    for (int k = 0; k < n; ++k) sum += density(win, fst, kernel, 1.0 - s / 2.0 - k * s) * s;
    return sum;
}

// Integral over the n cells between `low` and fObs, centres from the bottom up.
template <class Kernel>
double lower_integral(Window const& win, MY_TArrayAsVector<double> const& fst, Kernel const& kernel, double low,
                      double fObs, int n) {
    if (n <= 0) return 0.0;
    const double t = (fObs - low) / n;
    double sum = 0.0;
    for (int k = 0; k < n; ++k) sum += density(win, fst, kernel, low + t / 2.0 + k * t) * t;
    return sum;
}

// Gaussian of the two-integral kernels: s.d. b_F / 2, or 0.05.
Gaussian wide_gaussian(double bandwidthF) {
    const double h = bandwidthF * 0.5;
    return Gaussian{h > 0.0 ? h : 0.05};
}

double zero_or_lower_bound(double fObs) { return fObs < 0.0 ? fObs - 0.1 : 0.0; }

}  // namespace

double calcFSTpvalue4(double& fObs, MY_TArrayAsVector<double> const& het, MY_TArrayAsVector<double> const& fst,
                      double const& bandwidthF, double const& targetHet, double const& bandwidthH, int const& cells,
                      double& P) {
    Window const win(het, fst, targetHet, bandwidthH);
    Gaussian const gauss{bandwidthF * 0.5};
    const double U = upper_integral(win, fst, gauss, fObs, cells);
    if (1.0 - U >= 0.05) {
        P = U;
        return U <= 0.5 ? U : 1.0 - U;
    }
    const double low = fObs <= -0.1 ? fObs - 0.1 : -0.1;
    Gaussian const lowGauss{gauss.h > 0.0 ? gauss.h : 0.05};
    const double Q = lower_integral(win, fst, lowGauss, low, fObs, cells);
    P = U + Q != 0.0 ? 1.0 - Q / (U + Q) : 1.0 - Q;
    return 1.0 - P;
}

int calcCILimits(MY_TArrayAsVector<double> const& het, MY_TArrayAsVector<double> const& fst,
                 double const& bandwidthF, double const& targetHet, double const& bandwidthH, int const& cells,
                 MY_TArrayAsVector<double>& levels, MY_TArrayAsVector<double>& out) {
    Window const win(het, fst, targetHet, bandwidthH);
    Gaussian const gauss{bandwidthF * 0.5};
    const int n = std::max(cells, 0);
    const double s = n > 0 ? 1.1 / n : 0.0;
    std::vector<double> d(static_cast<std::size_t>(n));
    double D = 0.0;
    for (int k = 0; k < n; ++k) {
        d[static_cast<std::size_t>(k)] = density(win, fst, gauss, -0.1 + s / 2.0 + k * s);
        D += d[static_cast<std::size_t>(k)];
    }
    if (!(D > 0.0)) {
        for (long q = 0; q < levels.count; ++q) out.Add(0.0);
        return 1;
    }
    long q = 0;
    double cumulative = 0.0;
    for (int k = 0; k < n && q < levels.count; ++k) {
        cumulative += d[static_cast<std::size_t>(k)];
        if (cumulative / D > levels[q]) {
            out.Add(-0.1 + s / 2.0 + k * s);
            ++q;
        }
    }
    for (; q < levels.count; ++q) out.Add(2.0);
    return 1;
}

void calcFSTDensityWeightedByHeterozDistEpanechnikov(MY_TArrayAsVector<double>& densityOut,
                                                     MY_TArrayAsVector<double>& grid,
                                                     MY_TArrayAsVector<double> const& het,
                                                     MY_TArrayAsVector<double> const& fst, double const& bandwidthF,
                                                     double const& targetHet, double const& bandwidthH,
                                                     int const& cells) {
    Window const win(het, fst, targetHet, bandwidthH);
    Epanechnikov const kernel{bandwidthF};
    const int n = std::max(cells, 0);
    if (densityOut.capacity < n) densityOut.Resize(n);
    if (grid.capacity < n) grid.Resize(n);
    for (int k = 0; k < n; ++k) {
        const double x = n > 1 ? static_cast<double>(k) / (n - 1) : 0.0;
        grid[k] = x;
        densityOut[k] = density(win, fst, kernel, x);
    }
    densityOut.count = std::max(densityOut.count, static_cast<long>(n));
    grid.count = std::max(grid.count, static_cast<long>(n));
}

double calcFSTpvalue(double& fObs, MY_TArrayAsVector<double> const& het, MY_TArrayAsVector<double> const& fst,
                     double const& bandwidthF, double const& targetHet, double const& bandwidthH, int const& cells) {
    Window const win(het, fst, targetHet, bandwidthH);
    Epanechnikov const kernel{bandwidthF};
    const double lower = lower_integral(win, fst, kernel, zero_or_lower_bound(fObs), fObs, cells);
    const double upper = upper_integral(win, fst, kernel, fObs, cells);
    return std::min(lower, upper);
}

double calcFSTpvalue2(double& fObs, MY_TArrayAsVector<double> const& het, MY_TArrayAsVector<double> const& fst,
                      double const& bandwidthF, double const& targetHet, double const& bandwidthH, int const& cells,
                      double& lowerOut) {
    Window const win(het, fst, targetHet, bandwidthH);
    Gaussian const gauss = wide_gaussian(bandwidthF);
    const double lower = lower_integral(win, fst, gauss, zero_or_lower_bound(fObs), fObs, cells);
    const double upper = upper_integral(win, fst, gauss, fObs, cells);
    lowerOut = lower;
    return std::min(lower, upper);
}

double calcFSTpvalue3(double& fObs, MY_TArrayAsVector<double> const& het, MY_TArrayAsVector<double> const& fst,
                      double const& bandwidthF, double const& targetHet, double const& bandwidthH, int const& cells,
                      double& tail) {
    Window const win(het, fst, targetHet, bandwidthH);
    Gaussian const gauss = wide_gaussian(bandwidthF);
    const double lower = lower_integral(win, fst, gauss, zero_or_lower_bound(fObs), fObs, cells);
    const double upper = upper_integral(win, fst, gauss, fObs, cells);
    tail = lower > upper ? 1.0 - lower : upper;
    return std::min(lower, upper);
}

}  // namespace quintle
