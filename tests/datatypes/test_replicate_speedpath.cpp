// The replicate loop of the neutrality tests reads a simulated sample at the
// sites its mutations hit only. These tests hold that path to the full one:
// the same draws, the same leaf states and the same statistics, replicate
// by replicate, for fixed seeds.

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "core/random.h"
#include "datatypes/dna_driver_fixture.h"
#include "datatypes/dna_neutrality.h"
#include "popstats/PopGenetics.h"
#include "popstats/TNode.h"
#include "popstats/TTree.h"
#include "popstats/mutations.h"

using namespace quintle;
using namespace quintle::testing_support;

namespace {

double next_deviate() {
    long seed = 1;
    return ran3(&seed);
}

// Class-wide simulation state as a fresh run has it.
void fresh_simulation_state() {
    TNode::hits.count = 0;
    TNode::mut_rates = GammaRates{};
}

struct PassCase {
    Mut_Type model;
    int n;
    int sites;
    double mu;
    double a;  // rate heterogeneity; 0 fills fresh sites first
};

// Full sequences against hit-site states on the same tree: every leaf state,
// the hit counts, the totals and what is left of the random stream.
TEST(HitSiteStates, SameDrawsAndLeafStatesAsFullSequences) {
    const PassCase cases[] = {
        {DNA_MUT, 30, 400, 2.0, 0.0},       {DNA_MUT, 30, 400, 2.0, 0.6},
        {DNA_MUT, 12, 3, 4.0, 0.0},         // more mutations than sites
        {DNA_MUT, 1, 50, 1.0, 0.0},         // one gene: the root is the leaf
        {STEPWISE_MUT, 20, 8, 3.0, 0.0},    {TWO_STATE_MUT, 20, 6, 3.0, 0.4},
        {NEW_ALLELE_MUT, 25, 10, 2.5, 0.0},
    };
    for (PassCase const& c : cases) {
        for (long seed : {-3L, -41L, -977L}) {
            SCOPED_TRACE(::testing::Message() << "model " << c.model << " n " << c.n << " sites " << c.sites
                                              << " a " << c.a << " seed " << seed);
            fresh_simulation_state();
            initialize_ran3(seed);
            PopGenetics full;
            full.SampleSize = c.n;
            full.tree.allocate_tree(c.n);
            full.simulate_sample(c.mu, c.sites, c.model, c.a, 1.0, 1.0, 0.33);
            const long fullTotal = TNode::_tot_mut;
            const std::vector<long> fullHits(TNode::hits.data, TNode::hits.data + TNode::hits.count);
            const double fullNext = next_deviate();

            fresh_simulation_state();
            initialize_ran3(seed);
            PopGenetics sparse;
            sparse.SampleSize = c.n;
            sparse.tree.allocate_tree(c.n);
            sparse.fast_build_tree();
            HitSiteStates states;
            const long dropped = states.sprinkle(sparse.tree, c.mu, c.sites, c.model, c.a, 1.0, 1.0, 0.33);

            EXPECT_EQ(next_deviate(), fullNext);
            EXPECT_EQ(dropped, full.numSimMutations);
            EXPECT_EQ(TNode::_tot_mut, fullTotal);
            const std::vector<long> hits(TNode::hits.data, TNode::hits.data + TNode::hits.count);
            EXPECT_EQ(hits, fullHits);
            std::vector<int> hitSites;
            for (int s = 0; s < static_cast<int>(hits.size()); ++s) {
                if (hits[s] > 0) hitSites.push_back(s);
            }
            EXPECT_EQ(states.hit_sites(), hitSites);
            for (int k = 0; k < 2 * c.n - 1; ++k) EXPECT_EQ(sparse.tree.nodes[k].num_mut, full.tree.nodes[k].num_mut);

            ASSERT_EQ(states.num_leaves(), c.n);
            for (int i = 0; i < c.n; ++i) {
                myVectInt const& seq = *full.tree.nodes[i].sequence;
                ASSERT_EQ(seq.length, c.sites);
                EXPECT_EQ(sparse.tree.nodes[i].sequence, nullptr);
                for (int s = 0; s < c.sites; ++s) {
                    ASSERT_EQ(states.state(i, s), seq[s]) << "leaf " << i << " site " << s;
                }
            }

            // The same haplotype marks as on the full sequences.
            full.tree.compute_hapl_freq();
            sparse.tree.compute_hapl_freq(states);
            for (int i = 0; i < c.n; ++i) {
                EXPECT_EQ(sparse.tree.nodes[i].is_distinct, full.tree.nodes[i].is_distinct) << i;
                EXPECT_EQ(sparse.tree.nodes[i].hapl_count, full.tree.nodes[i].hapl_count) << i;
            }
        }
    }
    fresh_simulation_state();
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

// S, pi and the number of distinct sequences worked out directly on the
// leaves of a tree that carries full sequences.
struct Direct {
    int S = 0, K = 0;
    double pi = 0.0;
};

Direct direct_from_leaves(TTree const& t, int n) {
    Direct d;
    const int L = t.nodes[0].sequence->length;
    std::set<std::vector<int>> distinct;
    long differences = 0;
    for (int i = 0; i < n; ++i) {
        myVectInt const& a = *t.nodes[i].sequence;
        distinct.insert(std::vector<int>(a.data.get(), a.data.get() + L));
        for (int j = 0; j < i; ++j) {
            myVectInt const& b = *t.nodes[j].sequence;
            for (int s = 0; s < L; ++s) differences += a[s] != b[s];
        }
    }
    for (int s = 0; s < L; ++s) {
        for (int i = 1; i < n; ++i) {
            if ((*t.nodes[i].sequence)[s] != (*t.nodes[0].sequence)[s]) {
                ++d.S;
                break;
            }
        }
    }
    d.K = static_cast<int>(distinct.size());
    d.pi = static_cast<double>(differences) / (n * (n - 1) / 2.0);
    return d;
}

struct ReplicateCase {
    char const* name;
    int copies;           // of each of the two observed sequences
    int length;
    double mu;
    double gammaA;        // rate heterogeneity of the simulated sites
    double allowedMissing;
};

void PrintTo(ReplicateCase const& c, std::ostream* os) { *os << c.name; }

class ReplicatePath : public ::testing::TestWithParam<ReplicateCase> {};

// Replicate by replicate, the hit-site path gives what the full path gives
// (every statistic, the whole distance matrix, D and Fs, hence the same P
// values), and S, pi and K are those of the full leaf sequences.
TEST_P(ReplicatePath, SameStatisticsAsFullSequences) {
    ReplicateCase const& c = GetParam();
    ASSERT_EQ(PopGenetics::get_B_num_mat(), 1);
    std::string variant(static_cast<std::size_t>(c.length), 'C');
    variant[0] = 'T';
    DnaSample d("pop", {{std::string(static_cast<std::size_t>(c.length), 'C'), c.copies}, {variant, c.copies}});
    DriverRun run(0);
    d.pop.check_data();
    d.pop.evaluate_polymorphism(run.s);
    ASSERT_EQ(d.pop.numUsableSites, c.length);
    run.s.AllowedLevelOfMissingData = c.allowedMissing;
    const int n = 2 * c.copies;
    d.pop.gammaA = c.gammaA;
    constexpr int R = 25;
    const double observedD = -0.5;
    const double observedFs = -1.0;

    for (long seed : {-5L, -2024L, -31337L}) {
        SCOPED_TRACE(::testing::Message() << c.name << " seed " << seed);
        fresh_simulation_state();
        d.pop.tree.allocate_tree(n);
        initialize_ran3(seed);
        std::vector<ReplicateStats> fast;
        ReplicateTally fastD, fastFs;
        {
            DnaReplicate replicate;
            for (int r = 0; r < R; ++r) {
                fast.push_back(stats_of(replicate.simulate(d.pop, c.mu, 0.0, run.s), n));
                fastD.add(observedD, fast.back().D);
                if (fast.back().fsOutcome != FuFsOutcome::not_computed) fastFs.add(observedFs, fast.back().Fs);
            }
        }
        const double fastNext = next_deviate();

        fresh_simulation_state();
        d.pop.tree.allocate_tree(n);
        initialize_ran3(seed);
        ReplicateTally fullD, fullFs;
        DnaReplicate replicate;
        bool varied = false;
        for (int r = 0; r < R; ++r) {
            ReplicateStats const full = stats_of(replicate.simulate_full(d.pop, c.mu, 0.0, run.s), n);
            fullD.add(observedD, full.D);
            if (full.fsOutcome != FuFsOutcome::not_computed) fullFs.add(observedFs, full.Fs);
            EXPECT_TRUE(fast[r] == full) << "replicate " << r << ": S " << fast[r].S << "/" << full.S << " pi "
                                         << fast[r].pi << "/" << full.pi << " K " << fast[r].K << "/" << full.K
                                         << " usable " << fast[r].usable << "/" << full.usable;
            const Direct direct = direct_from_leaves(d.pop.tree, n);
            if (c.allowedMissing >= 0) {
                EXPECT_EQ(fast[r].S, direct.S) << r;
                EXPECT_EQ(fast[r].pi, direct.pi) << r;
            }
            EXPECT_EQ(fast[r].K, direct.K) << r;
            varied = varied || fast[r].K != fast[0].K || fast[r].pi != fast[0].pi;
        }
        EXPECT_EQ(next_deviate(), fastNext);
        EXPECT_EQ(fastD.p_value(), fullD.p_value());
        EXPECT_EQ(fastFs.p_value(), fullFs.p_value());
        EXPECT_EQ(fastFs.usable(), fullFs.usable());
        EXPECT_TRUE(varied);
    }
    fresh_simulation_state();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplicatePath,
    ::testing::Values(ReplicateCase{"long", 15, 1000, 3.0, 0.0, 0.05},
                      ReplicateCase{"rate_heterogeneity", 8, 300, 2.0, 0.5, 0.05},
                      // Few sites, many mutations: sites hit again and again.
                      ReplicateCase{"saturated", 10, 4, 5.0, 0.0, 0.05},
                      // No site is usable at a negative level: no S, no pi.
                      ReplicateCase{"negative_missing_level", 6, 200, 2.0, 0.0, -1.0}),
    [](::testing::TestParamInfo<ReplicateCase> const& info) { return std::string(info.param.name); });

// Without mutations every text is one site long and K is 1; with a locus
// separator that is a base the full path is taken. Both as the full path.
TEST(ReplicatePathEdges, NoMutationsAndTheFullFallback) {
    DnaSample d("pop", {{std::string(100, 'A'), 3}, {std::string(99, 'A') + "G", 3}});
    DriverRun run(0);
    d.pop.check_data();
    d.pop.evaluate_polymorphism(run.s);
    d.pop.tree.allocate_tree(6);

    for (char separator : {'\0', 'A'}) {
        ProfileSettings::LocusSeparator = separator;
        for (double mu : {0.0, 1.5}) {
            SCOPED_TRACE(::testing::Message() << "separator " << int(separator) << " mu " << mu);
            fresh_simulation_state();
            initialize_ran3(-8);
            DnaReplicate a;
            PopulDNA& fast = a.simulate(d.pop, mu, 0.0, run.s);
            const ReplicateStats x = stats_of(fast, 6);
            const int textLength = fast.haplotypes[0]->haplotype->data.length();

            fresh_simulation_state();
            initialize_ran3(-8);
            DnaReplicate b;
            const ReplicateStats y = stats_of(b.simulate_full(d.pop, mu, 0.0, run.s), 6);
            EXPECT_TRUE(x == y);
            if (mu == 0.0) {
                EXPECT_EQ(x.K, 1);
                EXPECT_EQ(x.S, 0);
                if (separator == 0) {
                    EXPECT_EQ(x.usable, 100);
                }
                EXPECT_EQ(textLength, separator == 0 ? 1 : 100);
            }
        }
    }
    ProfileSettings::LocusSeparator = 0;
    fresh_simulation_state();
}

}  // namespace
