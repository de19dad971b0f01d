#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "core/random.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "popstats/GammaRates.h"
#include "popstats/PopGenetics.h"
#include "popstats/TTree.h"
#include "popstats/log_capture.h"
#include "popstats/sim_support.h"

namespace quintle {
namespace {

using namespace testing_support;

// Empties the class-wide hit counts when a test ends, as the drivers do
// after a series.
struct HitsReset {
    ~HitsReset() { TNode::hits.count = 0; }
};

TEST(MutationGammaRates, SchemesAndNormalisation) {
    GammaRates equal;
    ASSERT_EQ(equal.build(10, -1.0, 2.5, 1.0), 10);
    for (double r : equal.rates) EXPECT_DOUBLE_EQ(r, 0.1);

    // int(8 * 0.25 + 1) = 3 leading sites at rate 3, the others at 1.
    GammaRates twoClass;
    ASSERT_EQ(twoClass.build(8, -1.0, 3.0, 0.25), 8);
    EXPECT_EQ(twoClass.num_fixed, 3);
    for (int i = 0; i < 8; ++i) EXPECT_DOUBLE_EQ(twoClass.rates[i], (i < 3 ? 3.0 : 1.0) / 14.0) << i;

    // Gamma rates of shape 0.5: n r has mean 1 and variance 1 / a.
    reseed(-4242);
    GammaRates gamma;
    const int n = 20000;
    ASSERT_EQ(gamma.build(n, 0.5, 1.0, 1.0), n);
    double sum = 0.0, sumsq = 0.0;
    for (double r : gamma.rates) {
        sum += r;
        sumsq += (n * r) * (n * r);
    }
    EXPECT_NEAR(sum, 1.0, 1e-9);
    EXPECT_NEAR(sumsq / n - 1.0, 2.0, 0.2);

    // Redrawing keeps the recorded shape; another site count rebuilds.
    const std::vector<double> old = gamma.rates;
    ASSERT_EQ(gamma.get_new_rates(n, 3.0, 1.0, 1.0), n);
    EXPECT_EQ(gamma.shape, 0.5);
    EXPECT_NE(gamma.rates, old);
    ASSERT_EQ(gamma.get_new_rates(50, 3.0, 1.0, 1.0), 50);
    EXPECT_EQ(gamma.shape, 3.0);
    EXPECT_EQ(gamma.num_rates, 50);

    GammaRates none;
    EXPECT_EQ(none.build(0, 1.0, 1.0, 1.0), 0);
    EXPECT_EQ(none.num_rates, 0);
}

// Simulated sample texts for each model.
TEST(MutationModels, NoMutationGivesOneHaplotypeInTheModelsText) {
    HitsReset reset;
    struct Case {
        Mut_Type model;
        std::string text;  // 4 sites of the root state
    };
    const std::vector<Case> cases = {{STEPWISE_MUT, "32323232"},
                                     {TWO_STATE_MUT, "0000"},
                                     {NEW_ALLELE_MUT, "32323232"}};
    for (Case const& c : cases) {
        Simulator sim(6);
        sim.p.simulate_sample(0.0, 4, c.model, 0.0, 1.0, 1.0, 0.33);
        EXPECT_EQ(sim.p.numSimMutations, 0);
        Haplo_DB db;
        PopGenetics sample;
        ASSERT_EQ(sample.read_simulated_sample(sim.tree(), db, c.model), 1);
        ASSERT_EQ(sample.NbHaplotypeEntries, 1);
        EXPECT_EQ(sample.haplotypes[0]->count, 6);
        EXPECT_EQ(std::string(sample.haplotypes[0]->haplotype->data.c_str()), c.text);
    }
}

// Number of sites at which the leaves do not all agree.
int segregating_sites(TTree const& t) {
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

TEST(MutationModels, InfiniteSitesGiveOneSegregatingSitePerMutation) {
    HitsReset reset;
    reseed(-17);
    for (Mut_Type model : {STEPWISE_MUT, TWO_STATE_MUT}) {
        Simulator sim(12);
        for (int r = 0; r < 40; ++r) {
            sim.p.simulate_sample(2.0, 200, model, 0.0, 1.0, 1.0, 0.33);
            ASSERT_LT(sim.p.numSimMutations, 200);
            EXPECT_EQ(segregating_sites(sim.tree()), sim.p.numSimMutations) << "model " << model;
            long hit = 0;
            for (long s = 0; s < TNode::hits.count; ++s) hit += TNode::hits[s];
            EXPECT_EQ(hit, sim.p.numSimMutations);
        }
    }
}

TEST(MutationModels, NewAlleleStatesAreTheHitCounts) {
    HitsReset reset;
    reseed(-23);
    Simulator sim(10);
    // One site: every mutation hits it and makes the next hit count the
    // state, so a branch with mutations ends above its parent with a state
    // no other branch has, and a branch without keeps its parent's state.
    sim.p.simulate_sample(3.0, 1, NEW_ALLELE_MUT, 0.0, 1.0, 1.0, 0.33);
    const long M = sim.p.numSimMutations;
    ASSERT_GE(M, 3);
    std::set<int> seen;
    int mutated = 0;
    int highest = 0;
    for (int i = 0; i < sim.nodes(); ++i) {
        TNode const& node = sim.tree().nodes[i];
        const int state = (*node.sequence)[0];
        highest = std::max(highest, state);
        if (node.ancestor == nullptr) {
            EXPECT_EQ(state, 0);
            continue;
        }
        const int parent = (*node.ancestor->sequence)[0];
        if (node.num_mut == 0) {
            EXPECT_EQ(state, parent) << "node " << i;
        } else {
            EXPECT_GT(state, parent) << "node " << i;
            EXPECT_TRUE(seen.insert(state).second) << "node " << i;
            ++mutated;
        }
    }
    EXPECT_GE(mutated, 2);
    EXPECT_EQ(highest, M);
    EXPECT_EQ(TNode::hits[0], M);
}

// Every branch with exactly one mutation, as (parent state, child state) at
// the one site where they differ; fails when such a branch differs at other
// than exactly one site.
std::vector<std::pair<int, int>> single_changes(TTree const& t, int nodes) {
    std::vector<std::pair<int, int>> changes;
    for (int i = 0; i < nodes; ++i) {
        TNode const& node = t.nodes[i];
        if (node.ancestor == nullptr || node.num_mut != 1) continue;
        int differing = 0;
        for (int s = 0; s < node.num_sites; ++s) {
            const int before = (*node.ancestor->sequence)[s];
            const int after = (*node.sequence)[s];
            if (before != after) {
                ++differing;
                changes.emplace_back(before, after);
            }
        }
        EXPECT_EQ(differing, 1) << "node " << i;
    }
    return changes;
}

TEST(MutationModels, DnaMutationsAreTransitionsOrTransversionsAsAsked) {
    HitsReset reset;
    reseed(-31);
    // ts 1: only A-G and C-T; ts 0: only the four transversion pairs. Rate
    // heterogeneity on few sites, so that sites are hit repeatedly.
    for (double ts : {1.0, 0.0}) {
        int seen = 0;
        Simulator sim(15);
        for (int r = 0; r < 30; ++r) {
            TNode::hits.count = 0;
            sim.p.simulate_sample(0.8, 6, DNA_MUT, 0.5, 1.0, 1.0, ts);
            for (auto [before, after] : single_changes(sim.tree(), sim.nodes())) {
                ASSERT_TRUE(before >= 0 && before <= 3 && after >= 0 && after <= 3);
                const bool transition = (before ^ after) == 1;
                EXPECT_EQ(transition, ts == 1.0) << before << " -> " << after;
                ++seen;
            }
        }
        EXPECT_GT(seen, 20);
    }
}

TEST(MutationModels, StructuredFormWalksStepwiseWithinTheBound) {
    HitsReset reset;
    reseed(-37);
    for (int bounded : {0, 1}) {
        Simulator sim(15);
        int single = 0;
        bool negative = false;
        for (int r = 0; r < 20; ++r) {
            sim.p.fast_build_tree();
            long seed = 1;
            TNode* root = sim.tree().root();
            root->add_mutations(1.0, &seed, 0, 3, STEPWISE_MUT, 0.0, 0.33, bounded, 0.0);
            for (auto [before, after] : single_changes(sim.tree(), sim.nodes())) {
                EXPECT_EQ(std::abs(after - before), 1);
                if (bounded && before == 0) {
                    EXPECT_EQ(after, 1);
                }
                ++single;
            }
            for (int i = 0; i < sim.nodes(); ++i) {
                for (int s = 0; s < 3; ++s) negative = negative || (*sim.tree().nodes[i].sequence)[s] < 0;
            }
        }
        EXPECT_GT(single, 20);
        EXPECT_EQ(negative, !bounded) << "bounded " << bounded;
    }
}

TEST(MutationSitePick, RatesRunUpFromTheFirstSiteOrDownFromTheLast) {
    HitsReset reset;
    TNode::mut_rates.build(2, -1.0, 1.0, 1.0);  // 0.5 and 0.5
    // Seeds whose first deviate lies below and above one half.
    for (long s : {-3L, -8L, -13L, -21L}) {
        reseed(s);
        const double u = next_deviate();
        for (bool structured : {false, true}) {
            reseed(s);
            TTree t;
            t.allocate_tree(1);
            long seed = 1;
            if (structured) {
                t.nodes[0].add_mutations(1.0, &seed, 1, 2, TWO_STATE_MUT, -1.0, 0.33, 0, 0.0);
            } else {
                t.nodes[0].add_mutations(1.0, &seed, 1, 2, TWO_STATE_MUT, -1.0, 0.33);
            }
            const int site = (*t.nodes[0].sequence)[0] == 1 ? 0 : 1;
            const int expected = structured ? (u < 0.5 ? 1 : 0) : (u < 0.5 ? 0 : 1);
            EXPECT_EQ(site, expected) << "seed " << s << " u " << u << " structured " << structured;
            TNode::hits.count = 0;
        }
    }

    // Without rates the plain form fills the free sites in order, without a
    // draw, and draws a site once all are used: sites 0, 1, then int(2 u).
    reseed(-5);
    const double u = next_deviate();
    const double following = next_deviate();
    reseed(-5);
    TNode::_tot_mut = 0;
    TTree t;
    t.allocate_tree(1);
    long seed = 1;
    EXPECT_EQ(t.nodes[0].add_mutations(1.0, &seed, 3, 2, TWO_STATE_MUT, 0.0, 0.33), 0);
    EXPECT_EQ(TNode::_tot_mut, 3);
    EXPECT_EQ(TNode::hits[0], u < 0.5 ? 2 : 1);
    EXPECT_EQ(TNode::hits[1], u < 0.5 ? 1 : 2);
    EXPECT_EQ(next_deviate(), following);
    TNode::_tot_mut = 0;
}

TEST(MutationSprinkle, HitTableOfAnotherSizeIsRefused) {
    HitsReset reset;
    LogCapture log;
    Simulator sim(5);
    sim.p.simulate_sample(1.0, 7, TWO_STATE_MUT, 0.0, 1.0, 1.0, 0.33);
    std::vector<int> before;
    for (int i = 0; i < sim.nodes(); ++i) before.push_back((*sim.tree().nodes[i].sequence)[0]);
    sim.p.numSimMutations = 99;

    sim.p.sprinkle_mutations(5.0, 9, TWO_STATE_MUT, 0.0, 1.0, 1.0, 0.33);
    EXPECT_EQ(sim.p.numSimMutations, 0);
    for (int i = 0; i < sim.nodes(); ++i) {
        EXPECT_EQ(sim.tree().nodes[i].num_sites, 7);
        EXPECT_EQ((*sim.tree().nodes[i].sequence)[0], before[i]);
    }
    const std::string text = log.text();
    EXPECT_NE(text.find("\"PopGenetics::sprinkle_mutations()\""), std::string::npos) << text;
    EXPECT_NE(text.find("hits vector has a bad size "), std::string::npos) << text;
    EXPECT_NE(text.find("WARNING"), std::string::npos) << text;
}

TEST(MutationReadSample, CountsThatDoNotAddUpAreAnError) {
    LogCapture log;
    TTree t;
    t.allocate_tree(3);
    for (int i : {0, 2}) {
        t.nodes[i].sequence = std::make_unique<myVectInt>(2);
        (*t.nodes[i].sequence)[0] = 1;
        (*t.nodes[i].sequence)[1] = 0;
        t.nodes[i].num_sites = 2;
    }
    Haplo_DB db;
    PopGenetics sample;
    EXPECT_EQ(sample.read_simulated_sample(t, db, TWO_STATE_MUT), 0);
    // What was read stays: one definition "10" holding both copies.
    ASSERT_EQ(sample.NbHaplotypeEntries, 1);
    EXPECT_EQ(sample.haplotypes[0]->count, 2);
    EXPECT_EQ(std::string(db.haplotypes[0]->data.c_str()), "10");
    const std::string text = log.text();
    EXPECT_NE(text.find("\"PopGenetics::read_simulated sample()\" : error while reading haplotypic data"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace quintle
