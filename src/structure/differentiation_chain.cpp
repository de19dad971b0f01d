// Batches of the differentiation chain. A step that leaves the table as it
// is returns 1.0, whose logarithm is not taken.

#include "structure/differentiation_chain.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "run/settings.h"

namespace quintle {

namespace {

// The visited table counts when it is no more probable than the observed
// one, to within this much in log scale.
constexpr long double not_more_probable = 1e-6L;

template <class Step>
DifferentiationOutcome run_batches(FlatTable const& observed, DifferentiationSettings const& s, Step step) {
    DifferentiationOutcome out;
    DifferentiationBatches const plan = differentiation_batches(s.steps);
    std::vector<double> batchP;
    // Grown as the batches run: an absurd chain length costs time, not
    // memory up front.
    batchP.reserve(static_cast<std::size_t>(std::min<std::int64_t>(plan.count, 1024)));
    FlatTable table = observed;
    std::int64_t hits = 0;
    double sd = 1.0;
    double p = 0.0;

    for (std::int64_t k = 0; k < plan.count; ++k) {
        if (s.stop != nullptr && *s.stop != 0) {
            out.stopped = true;
            return out;
        }
        std::copy(observed.cells.begin(), observed.cells.end(), table.cells.begin());
        int* cells = table.data();
        long seed = 1;
        long double lnRatio = 0.0L;
        for (std::int64_t t = 0; t < s.dememorisation; ++t) {
            double const r = step(cells, seed);
            if (r != 1.0) lnRatio += std::log(r);
        }
        std::int64_t batchHits = 0;
        for (std::int64_t t = 0; t < plan.size; ++t) {
            double const r = step(cells, seed);
            if (r != 1.0) lnRatio += std::log(r);
            if (lnRatio <= not_more_probable) ++batchHits;
        }
        hits += batchHits;
        out.steps += plan.size;
        batchP.push_back(static_cast<double>(batchHits) / static_cast<double>(plan.size));
        p = static_cast<double>(hits) / static_cast<double>(out.steps);
        bool last = false;
        if (k >= 2) {
            // The spread is over the earlier batches, P over all of them.
            sd = sd_of_batches(batchP, static_cast<std::size_t>(k), p);
            last = s.stopAtEqual ? s.precision >= sd : s.precision > sd;
        }
        settings::global_work_done += 0.001 * static_cast<double>(plan.size);
        settings::print_message();
        if (last) break;
    }
    out.p = p;
    out.sd = sd;
    return out;
}

}  // namespace

DifferentiationBatches differentiation_batches(std::int64_t steps) {
    DifferentiationBatches b;
    b.size = steps < 20000 ? 2000 : steps <= 50000 ? 5000 : 10000;
    b.count = std::max<std::int64_t>(steps, 20000) / b.size;
    return b;
}

DifferentiationOutcome run_differentiation_chain(FlatTable const& observed, DifferentiationSettings const& s) {
    int const stride = observed.cols;
    int const columns = observed.cols;
    if (s.pairStep)
        return run_batches(observed, s, [stride, columns](int* cells, long& seed) {
            return two_row_chain_step(cells, stride, columns, seed);
        });
    int const rows = observed.rows;
    return run_batches(observed, s, [stride, rows, columns](int* cells, long& seed) {
        return ld_chain_step(cells, stride, rows, columns, seed);
    });
}

}  // namespace quintle
