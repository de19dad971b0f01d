#pragma once

// The working state of one run of the phasing sampler, shared by the chain
// (vosk_sampler.cpp) and the distribution of its samples with the phase
// files (vosk_results.cpp). It lives for one performGibbs call.

#include <cstddef>
#include <vector>

#include "core/MY_TArrayAsVector.h"
#include "haplo/TGenotIndividual.h"
#include "haplo/TGenotSample.h"

namespace quintle {

// The distinct phases one individual was sampled in, in order of first
// appearance, each with the number of samples that drew it: the phases'
// allele positions side by side (gamete 1 then gamete 2, numLoci each), so
// that memory grows with the distinct phases, a few ints each, and not with
// the number of samples.
struct SampledPhases {
    std::vector<int> codes;
    std::vector<int> counts;
    // The entries in the order of the sampled-phase draws (by count, as
    // the list of phases is sorted); filled by the distribution.
    std::vector<int> order;
    int lastMatch = -1;  // the entry the last sample matched, tried first

    int size() const { return static_cast<int>(counts.size()); }
    int const* gamete1(int j, int numLoci) const {
        return codes.data() + 2 * static_cast<std::size_t>(j) * static_cast<std::size_t>(numLoci);
    }
    int const* gamete2(int j, int numLoci) const { return gamete1(j, numLoci) + numLoci; }
};

// An entry of a list of sampled phases as the sort sees it.
struct SampledPhaseRank {
    int count = 0;
    int entry = 0;
};

// Sorted as lists of phases are: descending count, the core's heap sort
// deciding among equal counts by the same comparisons.
template <>
struct ArrayOrder<SampledPhaseRank> {
    static bool before(SampledPhaseRank const& a, SampledPhaseRank const& b) { return a.count > b.count; }
};

struct TGenotSample::Chain {
    long long burnIn = 0;
    long long interval = 0;
    int numSamples = 0;  // a negative setting keeps no sample
    double recombinationShare = 0.0;
    bool writeFiles = false;
    std::vector<int> ambiguousIndexes;
    std::vector<SampledPhases> phases;  // per individual
};

}  // namespace quintle
