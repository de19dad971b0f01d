#pragma once

// The settings one run of the phasing sampler reads, and its update
// counters. A run owns its own copy, so runs in one process do not share
// them.

#include <cstdint>
#include <vector>

namespace quintle {

struct PhasingParameters {
    int numLoci = 0;  // polymorphic loci
    double alpha = 0.01;
    double epsilon = 0.01;
    double gamma = 0.0;
    int winAroundHetSites = 5;
    int winSize = 0;  // reported only
    bool microsat = false;  // gametes keep allele sizes too
    // One weight per polymorphic locus during a sampler run, else empty.
    std::vector<double> siteWeight;
};

// Update proposals accepted and rejected (sampling phase of a run).
struct PhasingCounters {
    std::int64_t accepted = 0;
    std::int64_t rejected = 0;
};

}  // namespace quintle
