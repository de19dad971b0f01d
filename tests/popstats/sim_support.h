#pragma once

// Random-stream and simulation helpers shared by the coalescent and
// mutation tests.

#include "core/random.h"
#include "popstats/PopGenetics.h"
#include "popstats/TTree.h"
#include "support/process_state.h"

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

// A sample object ready to simulate n genes; the class-wide hit table its
// simulations fill is put back afterwards.
struct Simulator {
    test::HitsGuard hits;
    PopGenetics p;
    explicit Simulator(int n) {
        p.SampleSize = n;
        p.tree.allocate_tree(n);
    }
    TTree& tree() { return p.tree; }
    int nodes() const { return 2 * static_cast<int>(p.SampleSize) - 1; }
};

// Number of sites at which the leaves do not all agree.
inline int segregating_sites(TTree const& t) {
    const int n = t.num_genes;
    int S = 0;
    for (int s = 0; s < t.nodes[0].num_sites; ++s) {
        for (int i = 1; i < n; ++i) {
            if ((*t.nodes[i].sequence)[s] != (*t.nodes[0].sequence)[s]) {
                ++S;
                break;
            }
        }
    }
    return S;
}

}  // namespace quintle::testing_support
