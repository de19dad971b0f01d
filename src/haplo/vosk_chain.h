#pragma once

// The working state of one run of the phasing sampler, shared by the chain
// (vosk_sampler.cpp) and the distribution of its samples with the phase
// files (vosk_results.cpp). It lives for one performGibbs call.

#include <vector>

#include "core/MY_TArrayAsVector.h"
#include "haplo/TGenotIndividual.h"
#include "haplo/TGenotSample.h"

namespace quintle {

struct TGenotSample::Chain {
    long long burnIn = 0;
    long long interval = 0;
    int numSamples = 0;  // a negative setting keeps no sample
    double recombinationShare = 0.0;
    bool writeFiles = false;
    std::vector<int> ambiguousIndexes;
    // Per individual, its distinct sampled phases in order of first
    // appearance, each with the number of samples that drew it; and the
    // entry the last sample matched, tried first.
    std::vector<MY_TArrayAsVector<TGenotIndividual>> phases;
    std::vector<long> lastMatch;
};

}  // namespace quintle
