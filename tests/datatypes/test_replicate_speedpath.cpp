// The replicate loop of the neutrality tests reads a simulated sample at the
// sites its mutations hit only. This test holds that path to the full one,
// replicate by replicate, for fixed seeds.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/random.h"
#include "datatypes/dna_driver_fixture.h"
#include "datatypes/dna_neutrality.h"
#include "popstats/PopGenetics.h"
#include "popstats/TNode.h"
#include "popstats/mutations.h"

using namespace quintle;
using namespace quintle::testing_support;

namespace {

double next_deviate() {
    long seed = 1;
    return ran3(&seed);
}

// Class-wide simulation state as a fresh run has it (DriverRun puts back
// what was there before).
void fresh_simulation_state() {
    TNode::hits.count = 0;
    TNode::mut_rates = GammaRates{};
}

// What one replicate gives, with Tajima's D and Fu's Fs formed from it.
struct ReplicateStats {
    int S, K, usable, valid, polymorphic, maxDistance;
    double pi, piSd, piPerSite;
    std::vector<double> matrix;  // both triangles: distances and their s.d.
    double D;
    FuFsOutcome fsOutcome;
    double Fs;
    bool operator==(ReplicateStats const&) const = default;
};

ReplicateStats stats_of(PopulDNA& sim, int n) {
    ReplicateStats r{};
    r.S = sim.numSubstitutionSites;
    r.K = sim.NbHaplotypeEntries;
    r.usable = sim.numUsableSites;
    r.valid = sim.numValidSites;
    r.polymorphic = sim.numPolymorphicSites;
    r.maxDistance = sim.maxPairwiseDistance;
    r.pi = sim.meanPairwiseDiff;
    r.piSd = sim.meanPairwiseDiffSd;
    r.piPerSite = sim.piPerSite;
    if (sim.distMat) {
        for (int i = 0; i < r.K; ++i)
            for (int j = 0; j < r.K; ++j) r.matrix.push_back((*sim.distMat)(i, j));
    }
    r.D = *sim.fast_tajimaD(n, sim.meanPairwiseDiff, r.S);
    r.fsOutcome = sim.Fu_Fs(*sim.theta_pi(sim.meanPairwiseDiff), r.K, r.Fs, false);
    return r;
}

struct ReplicateCase {
    char const* name;
    int copies;  // of each of the two observed sequences
    int length;
    double mu;
    double gammaA;  // rate heterogeneity of the simulated sites
};

// Replicate by replicate, the hit-site path gives what the full path gives
// (every statistic, the whole distance matrix, D and Fs), and leaves the
// random stream where the full path leaves it.
TEST(ReplicatePath, SameStatisticsAsFullSequences) {
    const ReplicateCase cases[] = {{"long", 15, 1000, 3.0, 0.0},
                                   {"rate_heterogeneity", 8, 300, 2.0, 0.5},
                                   // Few sites, many mutations: sites hit again and again.
                                   {"saturated", 10, 4, 5.0, 0.0}};
    ASSERT_EQ(PopGenetics::get_B_num_mat(), 1);
    for (ReplicateCase const& c : cases) {
        std::string variant(static_cast<std::size_t>(c.length), 'C');
        variant[0] = 'T';
        DnaSample d("pop", {{std::string(static_cast<std::size_t>(c.length), 'C'), c.copies}, {variant, c.copies}});
        DriverRun run(0);
        d.pop.check_data();
        d.pop.evaluate_polymorphism(run.s);
        const int n = 2 * c.copies;
        d.pop.gammaA = c.gammaA;
        constexpr int R = 20;
        for (long seed : {-5L, -2024L}) {
            SCOPED_TRACE(::testing::Message() << c.name << " seed " << seed);
            fresh_simulation_state();
            d.pop.tree.allocate_tree(n);
            initialize_ran3(seed);
            std::vector<ReplicateStats> fast;
            {
                DnaReplicate replicate;
                for (int r = 0; r < R; ++r) fast.push_back(stats_of(replicate.simulate(d.pop, c.mu, 0.0, run.s), n));
            }
            const double fastNext = next_deviate();

            fresh_simulation_state();
            d.pop.tree.allocate_tree(n);
            initialize_ran3(seed);
            DnaReplicate replicate;
            bool varied = false;
            for (int r = 0; r < R; ++r) {
                ReplicateStats const full = stats_of(replicate.simulate_full(d.pop, c.mu, 0.0, run.s), n);
                EXPECT_TRUE(fast[r] == full) << "replicate " << r << ": S " << fast[r].S << "/" << full.S << " pi "
                                             << fast[r].pi << "/" << full.pi << " K " << fast[r].K << "/" << full.K;
                varied = varied || fast[r].K != fast[0].K || fast[r].pi != fast[0].pi;
            }
            EXPECT_EQ(next_deviate(), fastNext);
            EXPECT_TRUE(varied);
        }
    }
}

}  // namespace
