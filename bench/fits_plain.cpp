// The plain loop of the fits benchmark: the sudden-expansion fit with its
// bootstrap, the four-parameter spatial fit, then the three-parameter one
// with its bootstrap, on one observed mismatch distribution, the way the
// models are written: every expected class summed term by term (each power
// and each tau^j / j! computed where it is used), every simulated sample
// carrying a full sequence in every node and compared pair of leaves by
// pair of leaves over all its sites. The same searches and the same draws
// as the program, so the fitted values must come out the same.
//
// Usage: fits_plain GENES REPLICATES SEED COUNT0 COUNT1 ...
// Prints the fitted values, the P values of the SSD and the processor time.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "core/random.h"
#include "popstats/PopGenetics.h"
#include "popstats/TNode.h"
#include "popstats/expansion_kernels.h"
#include "popstats/mismatch.h"

namespace {

using namespace quintle;

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Fit {
    double theta0 = 0, theta1 = 0, tau = 0, M = 0, ssd = 0;
};

// Class arrays: entry j is class j - 1.
struct Classes {
    std::vector<double> y = std::vector<double>(510, 0.0);
    int count = 0;
};

double sudden_ssd(Classes const& c, Fit& f) {
    double s = 0.0;
    for (int j = 1; j < c.count; ++j) {
        const double d = sudden_expansion_class(j - 1, f.theta0, f.theta1, f.tau) - c.y[j];
        s += d * d;
    }
    return s;
}

double spatial_ssd(Classes const& c, Fit& f, bool three) {
    double s = 0.0;
    for (int j = 1; j < c.count; ++j) {
        SpatialParams p{f.theta0, f.theta1, f.tau, f.M};
        const double e = three ? spatial_expansion_class_3p(j - 1, p) : spatial_expansion_class_4p(j - 1, p);
        s += (e - c.y[j]) * (e - c.y[j]);
    }
    return s;
}

bool sudden_search(Classes const& c, Fit& f) {
    double s1 = 10.00001, s0 = 0.899999, sT = 1.000001, m = 1.000001;
    const double tol = 0.001;
    int it = 0;
    auto axis = [&](double& v, double& step, double start, auto raise, auto lower, double& S) {
        if (step < tol) {
            step = 0.0;
            return true;
        }
        v = start + step;
        raise();
        double t = sudden_ssd(c, f);
        if (t < S) {
            S = t;
        } else {
            v = start - step;
            lower();
            t = sudden_ssd(c, f);
            if (t < S)
                S = t;
            else
                v = start;
        }
        step = v == start ? step * 0.500001 : step / 0.2500005;
        return step <= 10000.0;
    };
    auto none = [] {};
    do {
        double S = sudden_ssd(c, f);
        const double t0 = f.theta0, ta = f.tau, t1 = f.theta1;
        if (!axis(f.theta1, s1, t1, none, [&] { if (f.theta0 > f.theta1) f.theta0 = f.theta1; }, S)) break;
        if (!axis(f.theta0, s0, t0, [&] { if (f.theta0 > f.theta1) f.theta1 = f.theta0; }, none, S)) break;
        if (!axis(f.tau, sT, ta, none, none, S)) break;
        m = std::max({sT, s0, s1 / (f.theta1 + 1.0)});
        ++it;
    } while (it < 2000 && m > tol);
    f.ssd = sudden_ssd(c, f);
    if (f.theta1 > 99999.0) f.theta1 = 99999.0;
    return m <= tol;
}

struct Scale {
    double M0, mean;
};
Scale scale(Classes const& c) {
    Scale s{c.y[1] > 0 ? 1.0 / c.y[1] - 1.0 : 100.0, 0.0};
    for (int j = 0; j <= c.count - 2; ++j) s.mean += j * c.y[j + 1];
    return s;
}

bool spatial3_search(Classes const& c, Fit& f) {
    const Scale sc = scale(c);
    const double tol = 0.001, m = sc.mean;
    auto move = [&](double& v, double& step, double& S) {
        if (step < tol) {
            step = 0.0;
            return true;
        }
        const double old = v;
        v = old + step;
        double t = spatial_ssd(c, f, true);
        if (t < S) {
            S = t;
        } else {
            v = old - step;
            t = spatial_ssd(c, f, true);
            if (t < S)
                S = t;
            else
                v = old;
        }
        step *= v != old ? 4.0 : 0.5;
        return step <= 10000.0;
    };
    double best = 3.4028234663852886e38;
    Fit kept = f;
    bool converged = false;
    long seed = 1;
    for (int r = 0; r < 3; ++r) {
        const double u1 = ran3(&seed), u2 = ran3(&seed), u3 = ran3(&seed);
        f.theta0 = f.theta1 = 5.0 * u1;
        f.tau = 1.5 * m * u2 + m / 2.0;
        f.M = 1.5 * sc.M0 * u3 + sc.M0 / 2.0;
        double sTh = 0.95, sTau = m / 2.0 + 0.5, sM = sc.M0 / 2.0 + 0.5;
        double largest = std::max({sTau, sTh, sM / 20.0});
        for (int it = 0;;) {
            double S = spatial_ssd(c, f, true);
            if (!move(f.M, sM, S)) break;
            const bool ok = move(f.theta1, sTh, S);
            f.theta0 = f.theta1;
            if (!ok || !move(f.tau, sTau, S)) break;
            largest = std::max({sTau, sTh, sM / 20.0});
            if (largest <= tol || ++it >= 2000) break;
        }
        const double s = spatial_ssd(c, f, true);
        if (s < best) {
            best = s;
            kept = f;
        }
        if (largest < tol) converged = true;
    }
    f = kept;
    if (f.M > 99999.0) f.M = 99999.0;
    f.ssd = best;
    return converged;
}

void spatial4_search(Classes const& c, Fit& f) {
    const Scale sc = scale(c);
    const double tol = 0.001, m = sc.mean;
    auto move = [&](double& v, double& step, double up, double start, auto lower, double& S) {
        if (step < tol) {
            step = 0.0;
            return;
        }
        v = up + step;
        double t = spatial_ssd(c, f, false);
        if (t < S) {
            S = t;
        } else {
            v = start - step;
            lower();
            t = spatial_ssd(c, f, false);
            if (t < S)
                S = t;
            else
                v = start;
        }
        if (v == start) step *= 0.5;
    };
    auto none = [] {};
    double s1 = 0.95, sT = 0.89, sM = 1.1, s0 = 1.0, largest = 0.95, best = 3.4028234663852886e38;
    Fit kept = f;
    long seed = 1;
    for (int r = 0; r < 10; ++r) {
        f.theta1 = 5.0 * ran3(&seed);
        f.theta0 = 2.0 * ran3(&seed);
        f.tau = 1.5 * m * ran3(&seed) + m / 2.0;
        f.M = 1.5 * sc.M0 * ran3(&seed) + sc.M0 / 2.0;
        for (int it = 0;; ++it) {
            double S = spatial_ssd(c, f, false);
            f.ssd = S;
            if (!(it < 2000 && largest > tol)) break;
            const double t0 = f.theta0, ta = f.tau, mm = f.M, t1 = f.theta1;
            move(f.theta1, s1, t1, t1, [&] { if (f.theta0 > f.theta1) f.theta0 = f.theta1; }, S);
            move(f.tau, sT, f.tau, ta, none, S);
            move(f.M, sM, f.M, mm, none, S);
            move(f.theta0, s0, f.theta0, t0, none, S);
            largest = std::max({sT, s0 / 10.0, s1, sM / 20.0});
        }
        if (f.ssd < best) {
            best = f.ssd;
            kept = f;
        }
    }
    f = kept;
    f.ssd = best;
}

// Frequencies of the sample's simulated tree, every pair of leaves over
// every site.
bool simulated_classes(PopGenetics& p, Classes& c) {
    TTree& t = p.tree;
    const int n = t.num_genes;
    if (n < 2 || !t.nodes[0].sequence) return false;
    std::fill(c.y.begin() + 1, c.y.begin() + 500, 0.0);
    const int sites = t.nodes[0].num_sites;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < i; ++j) {
            int d = 0;
            for (int s = 0; s < sites; ++s) d += (*t.nodes[i].sequence)[s] != (*t.nodes[j].sequence)[s];
            if (d < 499) c.y[d + 1] += 1.0;
        }
    const double pairs = static_cast<double>(n) * (n - 1) / 2.0;
    for (int j = 1; j < 500; ++j) c.y[j] /= pairs;
    TNode::hits.count = 0;
    return true;
}

double raggedness(Classes const& c) {
    double r = 0.0, sum = 0.0;
    for (int j = 2; j <= c.count; ++j) r += (c.y[j] - c.y[j - 1]) * (c.y[j] - c.y[j - 1]);
    r += c.y[c.count] * c.y[c.count];
    for (int j = 1; j <= c.count; ++j) sum += c.y[j];
    return sum == 0.0 ? r : r / (sum * sum);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: fits_plain GENES REPLICATES SEED COUNT0 COUNT1 ...\n");
        return 2;
    }
    const int genes = std::atoi(argv[1]);
    const long B = std::atol(argv[2]);
    initialize_ran3(-std::atol(argv[3]));
    std::vector<std::int64_t> obs;
    for (int a = 4; a < argc; ++a) obs.push_back(std::atoll(argv[a]));
    const double start = cpu_seconds();

    // The observed classes as the fitter reads them.
    const int maxClass = static_cast<int>(obs.size()) - 1;
    const MismatchMoments mo = mismatch_moments(obs, maxClass);
    std::vector<double> expected(obs.size() * 2 + 1);
    const int last = mismatch_expected(mo.total, mo.theta0, mo.tau, expected);
    int k = std::min({last > 0 ? last : maxClass, 497, maxClass});
    while (k > 0 && obs[static_cast<std::size_t>(k)] == 0) --k;
    Classes observed;
    observed.count = k + 2;
    double total = 0.0;
    for (int j = 1; j <= k + 1; ++j) total += static_cast<double>(obs[static_cast<std::size_t>(j - 1)]);
    for (int j = 1; j <= k + 1; ++j) observed.y[j] = static_cast<double>(obs[static_cast<std::size_t>(j - 1)]) / total;

    PopGenetics p;
    p.SampleSize = genes;
    p.tree.allocate_tree(genes);
    const double N = 4000000.0;

    // Sudden expansion and its bootstrap.
    Fit sudden{1.0, 5.0, 3.0, 0.0, 0.0};
    sudden_search(observed, sudden);
    const double obsRag = raggedness(observed);
    long accepted = 0, attempts = 0, pSSD = 0;
    while (accepted < B && attempts < 20 * B) {
        ++attempts;
        Fit f = sudden;
        const double u = 0.5 * f.theta1 / N;
        p.simulate_sample_exp(u, 400, NEW_ALLELE_MUT, -1.0, 1.0, 1.0, 0.33, 0.5 * f.tau / (u * N),
                              std::max(1.0 / N, f.theta0 / f.theta1), 4000000);
        Classes c;
        c.count = observed.count;
        if (!simulated_classes(p, c)) continue;
        (void)raggedness(c);
        if (!sudden_search(c, f)) continue;
        ++accepted;
        if (f.ssd >= sudden.ssd) ++pSSD;
    }
    std::printf("sudden: theta0 %g tau %g theta1 %g P(SSD) %g (%ld replicates)\n", sudden.theta0, sudden.tau,
                sudden.theta1, accepted > 0 ? static_cast<double>(pSSD) / accepted : 0.0, accepted);

    // Spatial expansion: four parameters, then three with their bootstrap.
    Fit four{1.0, 5.0, 3.0, 2.0, 0.0};
    spatial4_search(observed, four);
    Fit three{1.0, 5.0, 3.0, 2.0, 0.0};
    spatial3_search(observed, three);
    long converged = 0, pSpatial = 0;
    for (long r = 0; r < B; ++r) {
        Fit f = three;
        p.simulate_range_exp(f.theta1 / (2.0 * N), 400, NEW_ALLELE_MUT, -1.0, 1.0, 1.0, 0.33, f.tau / f.theta1,
                             f.M / 2.0, 4000000);
        Classes c;
        c.count = observed.count;
        if (!simulated_classes(p, c)) continue;
        f = three;
        if (!spatial3_search(c, f)) continue;
        ++converged;
        if (f.ssd >= three.ssd) ++pSpatial;
    }
    std::printf("spatial (4): theta0 %g tau %g theta1 %g M %g\n", four.theta0, four.tau, four.theta1, four.M);
    std::printf("spatial (3): theta %g tau %g M %g P(SSD) %g (%ld replicates)\n", three.theta1, three.tau, three.M,
                converged > 0 ? static_cast<double>(pSpatial) / converged : 0.0, converged);
    std::printf("obs raggedness %g\n", obsRag);
    std::printf("plain loop: %.3f s\n", cpu_seconds() - start);
    return 0;
}
