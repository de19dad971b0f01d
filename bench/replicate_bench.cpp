// Times the coalescent replicates of Tajima's and Fu's tests: one whole
// replicate (genealogy, mutations, census and mean pairwise difference, as
// the tests run it) against the genealogy and the mutation placement alone
// (the root sequence's draws included), and counts the allocations made
// inside the replicate loop.
//
// Usage: replicate_bench [GENES [SITES [THETA [REPLICATES]]]]
//        (default 50 1000 6.0 20000)

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>

#include "counting_allocator.h"
#include "core/Errors.h"
#include "core/random.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/dna_replicate.h"
#include "popstats/TNode.h"
#include "popstats/mutations.h"
#include "run/settings.h"

using bench_counting::allocations;
using bench_counting::cpu_seconds;

int main(int argc, char** argv) {
    using namespace quintle;
    const int genes = argc > 1 ? std::atoi(argv[1]) : 50;
    const int sites = argc > 2 ? std::atoi(argv[2]) : 1000;
    const double theta = argc > 3 ? std::atof(argv[3]) : 6.0;
    const long R = argc > 4 ? std::atol(argv[4]) : 20000;
    if (genes < 2 || sites < 1 || !(theta > 0) || R < 1) {
        std::fprintf(stderr, "usage: replicate_bench [GENES>=2 [SITES>=1 [THETA>0 [REPLICATES>=1]]]]\n");
        return 2;
    }

    // The log goes nowhere: no file is opened.
    settings s;
    s.AllowedLevelOfMissingData = 0.05;
    PopulDNA observed;
    observed.SampleSize = genes;
    observed.numUsableSites = sites;
    observed.tree.allocate_tree(genes);
    long seed = -4242;
    initialize_ran3(seed);
    const double mu = theta / 2.0;

    // Genealogy and mutation placement alone.
    HitSiteStates states;
    for (int warm = 0; warm < 100; ++warm) {
        observed.fast_build_tree();
        states.sprinkle(observed.tree, mu, sites, DNA_MUT, 0.0, 1.0, 1.0, 0.33);
    }
    long before = allocations.load();
    double start = cpu_seconds();
    for (long r = 0; r < R; ++r) {
        observed.fast_build_tree();
        states.sprinkle(observed.tree, mu, sites, DNA_MUT, 0.0, 1.0, 1.0, 0.33);
    }
    const double placement = (cpu_seconds() - start) / static_cast<double>(R) * 1e6;
    const long placementAllocations = allocations.load() - before;

    // Whole replicates, as Tajima's test runs them.
    DnaReplicate replicate;
    double sum = 0.0;
    for (int warm = 0; warm < 100; ++warm) sum += replicate.simulate(observed, mu, 0.0, s).meanPairwiseDiff;
    before = allocations.load();
    start = cpu_seconds();
    for (long r = 0; r < R; ++r) {
        PopulDNA& sim = replicate.simulate(observed, mu, 0.0, s);
        sum += sim.meanPairwiseDiff + sim.numSubstitutionSites;
    }
    const double whole = (cpu_seconds() - start) / static_cast<double>(R) * 1e6;
    const long wholeAllocations = allocations.load() - before;
    TNode::hits.count = 0;

    std::printf("genes %d, sites %d, theta %.3f, %ld replicates (checksum %.6g)\n", genes, sites, theta, R, sum);
    std::printf("%-36s %10s %16s\n", "", "us/replicate", "allocations");
    std::printf("%-36s %10.2f %16ld\n", "genealogy + mutation placement", placement, placementAllocations);
    std::printf("%-36s %10.2f %16ld\n", "whole replicate (census, pi, log)", whole, wholeAllocations);
    return 0;
}
