// The chain steps and the four chains of the exact tests. Every draw comes
// from ran3 in a fixed order, so a seed repeats a chain exactly.

#include "haplo/contingency_chains.h"

#include <cmath>

#include "core/random.h"
#include "run/settings.h"

namespace quintle {

namespace {

// A uniform index below n; the generator can return values so close to 1
// that the product rounds to n, which is drawn again.
inline int draw_index(int n, long& seed) {
    int i;
    do {
        i = static_cast<int>(n * ran3(&seed));
    } while (i == n);
    return i;
}

// A uniform index below n that differs from `other`.
inline int draw_index_except(int n, int other, long& seed) {
    int i;
    do {
        i = static_cast<int>(n * ran3(&seed));
    } while (i == other || i == n);
    return i;
}

inline int& genotype(int* cells, int stride, int x, int y) {
    return x <= y ? cells[x * stride + y] : cells[y * stride + x];
}

bool stop_requested(ChainControl const& c) { return c.stop != nullptr && *c.stop != 0; }

void report_progress(double work) {
    settings::global_work_done += work;
    settings::print_message();
}

// A move that leaves the table as it is contributes ln 1 = 0 exactly.
inline void accumulate(long double& lnRatio, double ratio) {
    if (ratio != 1.0) lnRatio += std::log(ratio);
}

// The switch move on four cells: the ratio of the two tables'
// probabilities, in 64-bit products (cells may hold two thousand million);
// a ratio below 1 is accepted by one more draw.
inline double switch_cells(int& n11, int& n22, int& n12, int& n21, long& seed) {
    double const R = static_cast<double>(std::int64_t{n11} * n22) /
                     static_cast<double>((std::int64_t{n12} + 1) * (std::int64_t{n21} + 1));
    if (R < 1.0) {
        if (ran3(&seed) > R || R == 0.0) return 1.0;
    }
    --n11;
    --n22;
    ++n12;
    ++n21;
    return R;
}

}  // namespace

double sd_of_batches(std::vector<double> const& values, std::size_t used, double p) {
    if (used < 2) return 0.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < used; ++i) sum += (values[i] - p) * (values[i] - p);
    double const n = static_cast<double>(used);
    return std::sqrt(sum / ((n - 1.0) * n));
}

std::int64_t int_sqrt(std::int64_t n) {
    if (n <= 0) return 0;
    auto r = static_cast<std::int64_t>(std::sqrt(static_cast<double>(n)));
    while (r > 0 && r * r > n) --r;
    while ((r + 1) * (r + 1) <= n) ++r;
    return r;
}

double hw_chain_step(int* cells, int stride, int k, long& seed) {
    int const a = draw_index(k, seed);
    int const b = draw_index(k, seed);
    int const c = draw_index_except(k, a, seed);
    int const d = draw_index_except(k, b, seed);

    int& nab = genotype(cells, stride, a, b);
    int& ncd = genotype(cells, stride, c, d);
    int& nad = genotype(cells, stride, a, d);
    int& ncb = genotype(cells, stride, c, b);

    // 64-bit products: counts may reach two thousand million.
    double r;
    if (a == b && c == d) {
        r = nab == 0 || ncd == 0 ? 0.0
                                 : static_cast<double>(std::int64_t{nab} * ncd) /
                                       static_cast<double>((std::int64_t{ncb} + 2) * (std::int64_t{nad} + 1));
    } else if (a == d && b == c) {
        r = nab < 2 ? 0.0
                    : static_cast<double>(std::int64_t{nab} * (nab - 1)) /
                          static_cast<double>((std::int64_t{ncb} + 1) * (std::int64_t{nad} + 1));
    } else {
        r = nab == 0 || ncd == 0 ? 0.0
                                 : static_cast<double>(std::int64_t{nab} * ncd) /
                                       static_cast<double>((std::int64_t{ncb} + 1) * (std::int64_t{nad} + 1));
    }
    // Heterozygotes weigh twice: the ratio of the Hardy-Weinberg
    // probabilities of the two tables.
    if (a == b) r *= 2.0;
    if (c == d) r *= 2.0;
    if (a == d) r *= 0.5;
    if (c == b) r *= 0.5;

    if (ran3(&seed) < r) {
        --nab;
        --ncd;
        ++nad;
        ++ncb;
        return r;
    }
    return 1.0;
}

double ld_chain_step(int* cells, int stride, int k1, int k2, long& seed) {
    int const r1 = draw_index(k1, seed);
    int const c1 = draw_index(k2, seed);
    int const r2 = draw_index_except(k1, r1, seed);
    int const c2 = draw_index_except(k2, c1, seed);

    return switch_cells(cells[r1 * stride + c1], cells[r2 * stride + c2], cells[r1 * stride + c2],
                        cells[r2 * stride + c1], seed);
}

double two_row_chain_step(int* cells, int stride, int k2, long& seed) {
    int const c1 = draw_index(k2, seed);
    int const c2 = draw_index_except(k2, c1, seed);
    return switch_cells(cells[c1], cells[stride + c2], cells[c2], cells[stride + c1], seed);
}

ChainOutcome hw_single_chain(FlatTable& table, int k, std::int64_t length, ChainControl const& control) {
    ChainOutcome out;
    std::int64_t const bins = int_sqrt(length);
    if (bins < 1) return out;
    std::int64_t const perBin = length / bins + 1;
    std::int64_t const total = bins * perBin;
    std::vector<std::int64_t> binHits(static_cast<std::size_t>(bins), 0);

    int* cells = table.data();
    int const stride = table.cols;
    long seed = 1;
    long double lnRatio = 0.0L;
    for (std::int64_t t = 0; t < control.dememorisation; ++t)
        accumulate(lnRatio, hw_chain_step(cells, stride, k, seed));

    std::int64_t hits = 0;
    for (std::int64_t round = 0; round < perBin; ++round) {
        for (std::int64_t b = 0; b < bins; ++b) {
            accumulate(lnRatio, hw_chain_step(cells, stride, k, seed));
            if (lnRatio <= 1e-6) {
                ++hits;
                ++binHits[static_cast<std::size_t>(b)];
            }
        }
        report_progress(static_cast<double>(bins) * 0.001);
        if (stop_requested(control)) {
            out.stopped = true;
            return out;
        }
    }

    out.steps = total;
    out.p = static_cast<double>(hits) / static_cast<double>(total);
    if (bins >= 2) {
        double sum = 0.0;
        for (std::int64_t h : binHits) {
            double const v = static_cast<double>(h) / static_cast<double>(perBin) - out.p;
            sum += v * v;
        }
        out.sd = std::sqrt(sum / (static_cast<double>(bins - 1) * static_cast<double>(bins)));
    }
    return out;
}

ChainOutcome hw_batched_chain(FlatTable const& observed, int k, std::int64_t length, ChainControl const& control) {
    ChainOutcome out;
    std::int64_t const batches = int_sqrt(length);
    if (batches < 1) return out;
    std::int64_t const perBatch = length / batches + 1;
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(batches));
    FlatTable table = observed;
    int const stride = table.cols;
    long seed = 1;
    std::int64_t hits = 0;
    out.sd = 1.0;

    for (std::int64_t b = 0; b < batches; ++b) {
        table.cells = observed.cells;
        int* cells = table.data();
        long double lnRatio = 0.0L;
        for (std::int64_t t = 0; t < control.dememorisation; ++t)
            accumulate(lnRatio, hw_chain_step(cells, stride, k, seed));
        std::int64_t batchHits = 0;
        for (std::int64_t t = 0; t < perBatch; ++t) {
            accumulate(lnRatio, hw_chain_step(cells, stride, k, seed));
            if (lnRatio <= 1e-6) ++batchHits;
        }
        hits += batchHits;
        values.push_back(static_cast<double>(batchHits) / static_cast<double>(perBatch));
        out.steps += perBatch;
        out.p = static_cast<double>(hits) / static_cast<double>(out.steps);
        bool last = false;
        if (b >= 2) {
            // The current batch is in P but not in the spread.
            out.sd = sd_of_batches(values, static_cast<std::size_t>(b), out.p);
            last = out.sd < control.precision;
        }
        report_progress(static_cast<double>(perBatch) * 0.001);
        if (stop_requested(control)) {
            out.steps = 0;
            out.stopped = true;
            return out;
        }
        if (last) break;
    }
    return out;
}

ChainOutcome ld_short_chain(FlatTable& table, int k1, int k2, std::int64_t length, ChainControl const& control) {
    ChainOutcome out;
    std::int64_t const batches = int_sqrt(length);
    if (batches < 1) return out;
    std::int64_t const perBatch = length / batches + 1;
    std::int64_t const total = batches * perBatch;
    std::vector<std::int64_t> batchHits(static_cast<std::size_t>(batches), 0);

    int* cells = table.data();
    int const stride = table.cols;
    long seed = 1;
    long double lnRatio = 0.0L;
    for (std::int64_t t = 0; t < control.dememorisation; ++t)
        accumulate(lnRatio, ld_chain_step(cells, stride, k1, k2, seed));

    std::int64_t hits = 0;
    for (std::int64_t round = 0; round < perBatch; ++round) {
        for (std::int64_t b = 0; b < batches; ++b) {
            if (stop_requested(control)) {
                out.stopped = true;
                return out;
            }
            accumulate(lnRatio, ld_chain_step(cells, stride, k1, k2, seed));
            // The same tolerance as the other chains: back at the observed
            // table, or at one as probable, the sum of logs is off zero by
            // a rounding remainder that must not hide the step.
            if (lnRatio <= 1e-6) {
                ++hits;
                ++batchHits[static_cast<std::size_t>(b)];
            }
        }
        report_progress(static_cast<double>(batches) * 0.001);
        if (stop_requested(control)) {
            out.stopped = true;
            return out;
        }
    }

    out.steps = total;
    out.p = static_cast<double>(hits) / static_cast<double>(total);
    if (batches >= 2) {
        double sum = 0.0;
        for (std::int64_t h : batchHits) {
            double const v = static_cast<double>(h) / static_cast<double>(perBatch) - out.p;
            sum += v * v;
        }
        out.sd = std::sqrt(sum / (static_cast<double>(batches) * static_cast<double>(batches - 1)));
    }
    return out;
}

ChainOutcome ld_long_chain(FlatTable const& observed, int k1, int k2, std::int64_t batches,
                           ChainControl const& control) {
    ChainOutcome out;
    out.sd = 1.0;
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(batches > 0 ? batches : 0));
    FlatTable table = observed;
    int const stride = table.cols;
    long seed = 1;
    std::int64_t hits = 0;

    for (std::int64_t b = 0; b < batches; ++b) {
        if (stop_requested(control)) {
            out.steps = 0;
            out.stopped = true;
            return out;
        }
        table.cells = observed.cells;
        int* cells = table.data();
        long double lnRatio = 0.0L;
        for (std::int64_t t = 0; t < control.dememorisation; ++t)
            accumulate(lnRatio, ld_chain_step(cells, stride, k1, k2, seed));
        std::int64_t batchHits = 0;
        for (std::int64_t t = 0; t < ld_batch_steps; ++t) {
            accumulate(lnRatio, ld_chain_step(cells, stride, k1, k2, seed));
            if (lnRatio <= 1e-6) ++batchHits;
        }
        hits += batchHits;
        values.push_back(static_cast<double>(batchHits) / static_cast<double>(ld_batch_steps));
        out.steps += ld_batch_steps;
        out.p = static_cast<double>(hits) / static_cast<double>(out.steps);
        bool last = false;
        if (b >= 2) {
            out.sd = sd_of_batches(values, static_cast<std::size_t>(b), out.p);
            last = control.precision > out.sd;
        }
        report_progress(20.0);
        if (stop_requested(control)) {
            out.stopped = true;
            return out;
        }
        if (last) break;
    }
    return out;
}

}  // namespace quintle
