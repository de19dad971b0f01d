#pragma once

// Random-stream and simulation helpers shared by the coalescent and
// mutation tests.

#include "core/random.h"
#include "popstats/PopGenetics.h"

namespace quintle::testing_support {

// Restarts the run's stream at a fixed seed (the reseeding call itself
// consumes one deviate).
inline void reseed(long s) {
    long seed = s;
    ran3(&seed);
}

inline double next_deviate() {
    long seed = 1;
    return ran3(&seed);
}

// A sample object ready to simulate n genes.
struct Simulator {
    PopGenetics p;
    explicit Simulator(int n) {
        p.SampleSize = n;
        p.tree.allocate_tree(n);
    }
    TTree& tree() { return p.tree; }
    int nodes() const { return 2 * static_cast<int>(p.SampleSize) - 1; }
};

}  // namespace quintle::testing_support
