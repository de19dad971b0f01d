// The replicate loop of the neutrality tests takes a simulated sample's
// statistics straight from the sites its mutations hit. This test holds that
// path to the full one (every sequence read, distance matrix, molecular
// diversity), replicate by replicate, for fixed seeds: the same numbers, the
// same draws and the same log lines.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "core/random.h"
#include "datatypes/dna_driver_fixture.h"
#include "datatypes/dna_replicate.h"
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
    int S, K, usable, valid, polymorphic, transitions, transversions, substitutions;
    double pi, piSd, piPerSite, piPerSiteSd, sampleSize;
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
    r.transitions = sim.numTransitions;
    r.transversions = sim.numTransversions;
    r.substitutions = sim.numSubstitutions;
    r.pi = sim.meanPairwiseDiff;
    r.piSd = sim.meanPairwiseDiffSd;
    r.piPerSite = sim.piPerSite;
    r.piPerSiteSd = sim.piPerSiteSd;
    r.sampleSize = sim.SampleSize;
    r.D = *sim.fast_tajimaD(n, sim.meanPairwiseDiff, r.S);
    r.fsOutcome = sim.Fu_Fs(*sim.theta_pi(sim.meanPairwiseDiff), r.K, r.Fs, false);
    return r;
}

// The log without its elapsed times.
std::string masked_log(DriverRun& run) {
    return std::regex_replace(run.log(), std::regex("[0-9]+ ms"), "N ms");
}

struct ReplicateCase {
    char const* name;
    int copies;  // of each of the two observed sequences
    int length;
    double mu;
    double gammaA;  // rate heterogeneity of the simulated sites
};

// Replicate by replicate, the hit-site path gives what the full path gives
// (every statistic, D and Fs) under whole and fractional weights, writes the
// same log, and leaves the random stream where the full path leaves it.
TEST(ReplicatePath, SameStatisticsAsFullSequences) {
    const ReplicateCase cases[] = {{"long", 15, 1000, 3.0, 0.0},
                                   {"rate_heterogeneity", 8, 300, 2.0, 0.5},
                                   // Few sites, many mutations: sites hit again and again.
                                   {"saturated", 10, 4, 5.0, 0.0}};
    struct Weights {
        double transition, transversion, deletion;
    };
    const Weights weights[] = {{1.0, 1.0, 0.0}, {2.0, 1.0, 1.0}, {0.3, 2.0, 1.0}, {0.0, 1.0, 0.3}};
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
        for (Weights const& w : weights) {
            run.s.TransitionWeight = w.transition;
            run.s.TranversionWeight = w.transversion;
            for (long seed : {-5L, -2024L}) {
                SCOPED_TRACE(::testing::Message() << c.name << " seed " << seed << " weights " << w.transition << "/"
                                                  << w.transversion << "/" << w.deletion);
                fresh_simulation_state();
                d.pop.tree.allocate_tree(n);
                initialize_ran3(seed);
                const std::string logBefore = masked_log(run);
                std::vector<ReplicateStats> fast;
                {
                    DnaReplicate replicate;
                    for (int r = 0; r < R; ++r)
                        fast.push_back(stats_of(replicate.simulate(d.pop, c.mu, w.deletion, run.s), n));
                }
                const double fastNext = next_deviate();
                const std::string fastLog = masked_log(run).substr(logBefore.size());

                fresh_simulation_state();
                d.pop.tree.allocate_tree(n);
                initialize_ran3(seed);
                const std::string logMiddle = masked_log(run);
                DnaReplicate replicate;
                bool varied = false;
                for (int r = 0; r < R; ++r) {
                    ReplicateStats const full = stats_of(replicate.simulate_full(d.pop, c.mu, w.deletion, run.s), n);
                    EXPECT_TRUE(fast[r] == full) << "replicate " << r << ": S " << fast[r].S << "/" << full.S << " pi "
                                                 << fast[r].pi << "/" << full.pi << " K " << fast[r].K << "/" << full.K;
                    varied = varied || fast[r].K != fast[0].K || fast[r].pi != fast[0].pi;
                }
                EXPECT_EQ(next_deviate(), fastNext);
                EXPECT_TRUE(varied);
                const std::string fullLog = masked_log(run).substr(logMiddle.size());
                EXPECT_EQ(fastLog.substr(fastLog.find("Beginning")), fullLog.substr(fullLog.find("Beginning")));
            }
        }
    }
}

// One replicate object running both paths in turn gives each replicate what
// a fresh object gives.
TEST(ReplicatePath, ReusedObjectStartsEveryReplicateAfresh) {
    DnaSample d("pop", {{"ACGTACGTAC", 6}, {"ACGTTCGTAC", 6}});
    DriverRun run(0);
    d.pop.check_data();
    d.pop.evaluate_polymorphism(run.s);
    const int n = 12;
    auto series = [&](bool mixed) {
        fresh_simulation_state();
        d.pop.tree.allocate_tree(n);
        initialize_ran3(-99);
        std::vector<ReplicateStats> out;
        DnaReplicate shared;
        for (int r = 0; r < 12; ++r) {
            if (mixed) {
                PopulDNA& sim = r % 3 == 1 ? shared.simulate_full(d.pop, 2.0, 0.0, run.s)
                                           : shared.simulate(d.pop, 2.0, 0.0, run.s);
                out.push_back(stats_of(sim, n));
            } else {
                DnaReplicate fresh;
                out.push_back(stats_of(r % 3 == 1 ? fresh.simulate_full(d.pop, 2.0, 0.0, run.s)
                                                  : fresh.simulate(d.pop, 2.0, 0.0, run.s),
                                       n));
            }
        }
        return out;
    };
    EXPECT_TRUE(series(true) == series(false));
}

}  // namespace
