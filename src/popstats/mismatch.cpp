#include "popstats/mismatch.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <new>
#include <vector>

#include "core/Errors.h"
#include "core/numerics.h"
#include "popstats/PopGenetics.h"

namespace quintle {

long mismatch_class(double distance, int maxClass) {
    if (!std::isfinite(distance) || distance < 0.0) return -1;
    const double whole = std::trunc(distance);
    if (whole > maxClass) return -1;
    return static_cast<long>(whole);
}

namespace {

// Adds `pairs` to the class of `distance`; false when the distance cannot
// be counted.
bool add_pairs(double distance, std::int64_t pairs, int maxClass, std::span<std::int64_t> obs) {
    const long k = mismatch_class(distance, maxClass);
    if (k < 0 || static_cast<std::size_t>(k) >= obs.size()) return false;
    obs[static_cast<std::size_t>(k)] += pairs;
    return true;
}

std::int64_t copies(int count) { return count > 0 ? count : 0; }

// count_mismatch_pairs over the classes of a class-mode matrix: false when
// the sums could pass 64 bits (the caller then counts entry by entry).
bool count_class_pairs(std::span<const int> counts, RectMat const& d, int maxClass, std::span<std::int64_t> obs,
                       long& skipped) {
    const int n = static_cast<int>(counts.size());
    if (!d.classed() || d.nRows < n) return false;
    const auto G = static_cast<std::size_t>(d.num_classes());
    // Per class: its entries, its copies, the pairs within its entries.
    std::vector<long> rows(G, 0);
    std::vector<std::int64_t> total(G, 0);
    std::vector<std::int64_t> squares(G, 0);
    std::vector<std::int64_t> within(G, 0);
    std::int64_t all = 0;
    for (int i = 0; i < n; ++i) {
        const std::int64_t c = copies(counts[static_cast<std::size_t>(i)]);
        all += c;
        if (all > (std::int64_t{1} << 30)) return false;
        const auto a = static_cast<std::size_t>(d.row_class(i));
        ++rows[a];
        total[a] += c;
        squares[a] += c * c;
        within[a] += c * (c - 1) / 2;
    }
    for (std::size_t a = 0; a < G; ++a) {
        if (rows[a] == 0) continue;
        const int ia = static_cast<int>(a);
        for (std::size_t b = 0; b < a; ++b) {
            const std::int64_t pairs = total[a] * total[b];
            if (pairs != 0 && !add_pairs(d.below(ia, static_cast<int>(b)), pairs, maxClass, obs)) ++skipped;
        }
        const std::int64_t between = (total[a] * total[a] - squares[a]) / 2;
        if (between != 0 && !add_pairs(d.below(ia, ia), between, maxClass, obs)) ++skipped;
        if (within[a] != 0 && !add_pairs(d.on_diagonal(ia), within[a], maxClass, obs)) ++skipped;
    }
    return true;
}

}  // namespace

long count_mismatch_pairs(std::span<const int> counts, RectMat const& d, int maxClass, std::span<std::int64_t> obs) {
    long skipped = 0;
    if (count_class_pairs(counts, d, maxClass, obs, skipped)) return skipped;
    const int n = static_cast<int>(counts.size());
    for (int i = 0; i < n; ++i) {
        const std::int64_t ni = copies(counts[static_cast<std::size_t>(i)]);
        for (int j = 0; j < i; ++j) {
            const std::int64_t pairs = ni * copies(counts[static_cast<std::size_t>(j)]);
            if (pairs != 0 && !add_pairs(d(i, j), pairs, maxClass, obs)) ++skipped;
        }
        const std::int64_t within = ni * (ni - 1) / 2;
        if (within != 0 && !add_pairs(d(i, i), within, maxClass, obs)) ++skipped;
    }
    return skipped;
}

void list_mismatch_pairs(std::ostream& out, std::span<const int> counts, RectMat const& d) {
    out.setf(std::ios::fixed, std::ios::floatfield);
    out.setf(std::ios::showpoint);
    out.setf(std::ios::right, std::ios::adjustfield);
    out.precision(1);
    const int n = static_cast<int>(counts.size());
    for (int i = 0; i < n; ++i) {
        const std::int64_t ni = copies(counts[static_cast<std::size_t>(i)]);
        for (std::int64_t copy = 0; copy < ni; ++copy) {
            for (int j = 0; j < i; ++j) {
                const std::int64_t nj = copies(counts[static_cast<std::size_t>(j)]);
                for (std::int64_t earlier = 0; earlier < nj; ++earlier) out << std::setw(6) << d(i, j);
            }
            for (std::int64_t earlier = 0; earlier < copy; ++earlier) out << std::setw(6) << d(i, i);
            out << std::setw(6) << d(i, i) << "\n";
            out.flush();
        }
    }
}

MismatchMoments mismatch_moments(std::span<const std::int64_t> obs, int maxClass) {
    MismatchMoments m;
    if (obs.empty() || maxClass < 0) return m;
    const int last = std::min(maxClass, static_cast<int>(obs.size()) - 1);
    double S1 = 0.0;
    double S2 = 0.0;
    double rough = 0.0;
    for (int k = 0; k <= last; ++k) {
        const double h = static_cast<double>(obs[static_cast<std::size_t>(k)]);
        m.total += h;
        S1 += k * h;
        S2 += static_cast<double>(k) * k * h;
        if (k >= 1) {
            const double step = h - static_cast<double>(obs[static_cast<std::size_t>(k - 1)]);
            rough += step * step;
        }
    }
    const double hLast = static_cast<double>(obs[static_cast<std::size_t>(last)]);
    rough += hLast * hLast;
    if (m.total <= 0.0) return m;

    const double T = m.total;
    m.raggedness = rough / (T * T);
    m.mean = S1 / T;
    m.variance = T > 1.0 ? (S2 - S1 * S1 / T) / (T - 1.0) : 0.0;
    m.theta0 = m.variance >= m.mean ? std::sqrt(m.variance - m.mean) : 0.0;
    m.tau = m.theta0 > m.mean ? 0.0 : m.mean - m.theta0;
    return m;
}

int mismatch_expected(double total, double theta0, double tau, std::span<double> expected) {
    int lastClass = 0;
    const std::size_t classes = expected.size();
    if (tau > 0.0 && theta0 > 0.0) {
        const double lnPower = std::log(theta0 / (theta0 + 1.0));
        const double lnRatio = std::log(tau * (theta0 + 1.0) / theta0);
        const double decay = std::exp(-tau);
        // The inner sum over j = 0 .. i grows by one term per class. It
        // passes the double range in the classes far beyond tau where the
        // power vanishes: there the count is taken from their logarithms.
        const double lnScale = std::log(total) - std::log(theta0 + 1.0) - tau;
        double sum = 1.0;
        double lnSum = 0.0;
        for (std::size_t i = 0; i < classes; ++i) {
            const int j = static_cast<int>(i);
            if (j > 0) {
                const double lnTerm = j * lnRatio - factln(j);
                sum += std::exp(lnTerm);
                lnSum = std::max(lnSum, lnTerm) + std::log1p(std::exp(-std::fabs(lnSum - lnTerm)));
            }
            double e = total * std::exp(j * lnPower) / (theta0 + 1.0) * decay * sum;
            if (!std::isfinite(e)) e = std::exp(lnScale + j * lnPower + lnSum);
            expected[i] = e;
            if (e > 1e-5) lastClass = j;
        }
    } else if (tau > 0.0) {
        std::fill(expected.begin(), expected.end(), 0.0);
    } else {
        // theta0^i / (theta0 + 1)^(i + 1): with theta0 = 0 all pairs are in
        // class 0 (the logarithm would turn 0^0 into NaN).
        for (std::size_t i = 0; i < classes; ++i) {
            const int j = static_cast<int>(i);
            const double power =
                theta0 > 0.0 ? std::exp(j * std::log(theta0 / (theta0 + 1.0))) : (j == 0 ? 1.0 : 0.0);
            expected[i] = power / (theta0 + 1.0) * total;
        }
    }
    return lastClass;
}

MismatchChiSquare mismatch_chi_square(std::span<const std::int64_t> obs, std::span<const double> expected,
                                      int lastClass) {
    MismatchChiSquare result;
    const long classes = std::min({static_cast<long>(lastClass) + 1, static_cast<long>(obs.size()),
                                   static_cast<long>(expected.size())});
    if (classes <= 0) {
        result.df = -2;
        return result;
    }
    std::vector<double> O(static_cast<std::size_t>(classes));
    std::vector<double> Ex(expected.begin(), expected.begin() + classes);
    for (long k = 0; k < classes; ++k) O[static_cast<std::size_t>(k)] = static_cast<double>(obs[static_cast<std::size_t>(k)]);

    // One pass: a class below 5 opens a pool or joins the open one; the pool
    // closes once it reaches 5. Classes of 5 or more stay as they are and do
    // not close a pool.
    constexpr double minExpected = 5.0;
    long pool = -1;
    for (long k = 0; k < classes; ++k) {
        auto const kk = static_cast<std::size_t>(k);
        if (Ex[kk] >= minExpected) continue;
        if (pool < 0) {
            pool = k;
            continue;
        }
        auto const p = static_cast<std::size_t>(pool);
        Ex[p] += Ex[kk];
        O[p] += O[kk];
        Ex[kk] = 0.0;
        O[kk] = 0.0;
        if (Ex[p] >= minExpected) pool = -1;
    }
    // Whatever is still below 5 (an unfinished pool included) leaves the test.
    for (long k = 0; k < classes; ++k) {
        auto const kk = static_cast<std::size_t>(k);
        if (Ex[kk] < minExpected) Ex[kk] = O[kk] = 0.0;
    }
    int used = 0;
    for (long k = 0; k < classes; ++k) {
        auto const kk = static_cast<std::size_t>(k);
        if (Ex[kk] > 1.0) {
            ++used;
            const double diff = Ex[kk] - O[kk];
            result.chi2 += diff * diff / Ex[kk];
        }
    }
    result.df = used - 2;
    result.p = result.df > 0
                   ? static_cast<double>(Prob_of_chi_sq(static_cast<float>(result.df), static_cast<float>(result.chi2)))
                   : -1.0;
    return result;
}

namespace {

std::vector<int> entry_counts(PopGenetics const& p) {
    std::vector<int> counts(static_cast<std::size_t>(std::max(0L, p.haplotypes.count)));
    for (long i = 0; i < p.haplotypes.count; ++i)
        counts[static_cast<std::size_t>(i)] = p.haplotypes.data[i] != nullptr ? p.haplotypes.data[i]->count : 0;
    return counts;
}

// Moments, expected counts and chi-square test of the counted classes.
void finish_distribution(PopGenetics& p, int M) {
    const MismatchMoments m = mismatch_moments(p.mismatchObs, M);
    p.mismatchRaggedness = m.raggedness;
    p.mismatchMean = m.mean;
    p.mismatchVar = m.variance;
    p.mismatchTheta0 = m.theta0;
    p.mismatchTau = m.tau;

    p.lastExpMismatchClass = mismatch_expected(m.total, m.theta0, m.tau, p.mismatchExp);
    if (p.lastExpMismatchClass == 0) {
        p.mismatchChi2 = p.mismatchChi2P = 0.0;
        p.mismatchChi2Df = 0;
        return;
    }
    const MismatchChiSquare c = mismatch_chi_square(p.mismatchObs, p.mismatchExp, p.lastExpMismatchClass);
    p.mismatchChi2 = c.chi2;
    p.mismatchChi2P = c.p;
    p.mismatchChi2Df = c.df;
}

}  // namespace

MismatchStepOutcome mismatch_distribution_step(PopGenetics& p) {
    MismatchStepOutcome outcome;
    p.mismatchObs = {};
    p.mismatchExp = {};
    if (p.maxPairwiseDistance <= 0) {
        p.mismatchMean = p.mismatchVar = p.mismatchTheta0 = p.mismatchTau = 0.0;
        return outcome;
    }
    const int M = p.maxPairwiseDistance;
    if (M > max_mismatch_distance) {
        // No distribution rather than one that exhausts the memory.
        p.mismatchMean = p.mismatchVar = p.mismatchTheta0 = p.mismatchTau = 0.0;
        E.error(ERROR, "PopGenetics::compute_mm_distr()", Msg::m166_no_mismatch_vector);
        return outcome;
    }
    const std::size_t classes = 2 * static_cast<std::size_t>(M) + 1;
    try {
        p.mismatchObs.assign(classes, 0);
        p.mismatchExp.assign(classes, 0.0);
    } catch (std::bad_alloc const&) {
        p.mismatchObs = {};
        p.mismatchExp = {};
        E.error(MEMORY, "PopGenetics::compute_mm_distr()", Msg::m0_not_enough_memory);
        outcome.code = 0;
        return outcome;
    }
    if (p.haplotypes.count <= 0) {
        E.error(ERROR, "PopGenetics::compute_mm_distr()", Msg::m108_haplotype_list_empty);
        outcome.code = 0;
        return outcome;
    }
    if (!p.distMat) {
        E.error(ERROR, "PopGenetics::compute_mm_distr(ofstream ofs)", Msg::m122_no_distance_matrix);
        return outcome;
    }
    PHaploDef const* first = p.haplotypes.data[0];
    if (first == nullptr || first->haplotype == nullptr || first->haplotype->data.is_null()) return outcome;

    try {
        const long skipped = count_mismatch_pairs(entry_counts(p), *p.distMat, M, p.mismatchObs);
        outcome.counted = true;
        // A distance that is not finite or lies outside 0 .. M has no class.
        if (skipped > 0) E.error(WARNING, "PopGenetics::compute_mm_distr()", Msg::m105_numerical_error);
        finish_distribution(p, M);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "PopGenetics::compute_mm_distr(ofstream ofs)", Msg::m0_not_enough_memory);
        outcome.code = 0;
    }
    return outcome;
}

int PopGenetics::compute_mm_distr(std::fstream& out, settings&) {
    const MismatchStepOutcome outcome = mismatch_distribution_step(*this);
    // The listing goes only to a stream that can take it.
    if (outcome.counted && out.is_open() && !out.fail()) list_mismatch_pairs(out, entry_counts(*this), *distMat);
    return outcome.code;
}

}  // namespace quintle
