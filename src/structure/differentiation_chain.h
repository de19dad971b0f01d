#pragma once

// The Markov chain of the exact test of sample differentiation: batches that
// each restart from the observed table of samples x haplotypes (or
// genotypes), run their dememorisation steps and then count the steps whose
// table is no more probable than the observed one. Their mean is P, their
// spread its standard deviation.

#include <cstdint>

#include "haplo/contingency_chains.h"

namespace quintle {

// Batch size and number of batches for a chain of `steps` counted steps:
// 2000 below 20000 steps, 5000 up to 50000, 10000 above; the number of
// batches is max(steps, 20000) / size.
struct DifferentiationBatches {
    std::int64_t size = 0;
    std::int64_t count = 0;
};
DifferentiationBatches differentiation_batches(std::int64_t steps);

struct DifferentiationSettings {
    std::int64_t steps = 0;           // counted steps asked for (>= 1)
    std::int64_t dememorisation = 0;  // steps before counting, in every batch
    double precision = 0.0;           // the chain may stop once the s.d. reaches it
    bool stopAtEqual = false;         // stop when s.d. <= precision (else <)
    bool pairStep = false;            // the two-row step (columns only) instead of the K-row one
    int const* stop = nullptr;        // nonzero: give up before the next batch
};

struct DifferentiationOutcome {
    double p = -1.0;
    double sd = 1.0;
    std::int64_t steps = 0;
    bool stopped = false;  // given up on the stop request: no result
};

// The chain on `observed` (rows x columns, no padding; two rows for the
// two-row step). Draws from ran3 in the steps' order; every batch starts from `observed`.
// Adds 0.001 per counted step to the run's progress after each batch.
DifferentiationOutcome run_differentiation_chain(FlatTable const& observed, DifferentiationSettings const& s);

}  // namespace quintle
