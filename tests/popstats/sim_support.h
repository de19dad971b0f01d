#pragma once

// Random-stream and simulation helpers shared by the coalescent and
// mutation tests.

#include <string>
#include <vector>

#include "core/random.h"
#include "data/Population.h"
#include "popstats/PopGenetics.h"
#include "popstats/TTree.h"
#include "project/Samples.h"
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

// A sample set of samples of the given numbers of gene copies, named s0, s1, ...
inline void fill(Samples& set, std::vector<int> const& sizes) {
    set.clean();
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        auto* p = new Population(my_string(("s" + std::to_string(i)).c_str()));
        p->SampleSize = sizes[i];
        p->id = static_cast<int>(i);
        set.Populations.Add(p);
    }
}

}  // namespace quintle::testing_support
