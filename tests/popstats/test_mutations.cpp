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
#include "popstats/sim_support.h"
#include "support/process_state.h"

namespace quintle {
namespace {

using namespace testing_support;

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

TEST(MutationModels, InfiniteSitesGiveOneSegregatingSitePerMutation) {
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

// Copies the genealogy of `from` into `to` with internal node k (not the
// root) renumbered n + (2n - 3 - k): parents then come before their
// children in the array, as no builder leaves them.
void relabel_internal_nodes(TTree& from, TTree& to) {
    const int n = from.num_genes;
    const int top = 2 * n - 2;
    auto image = [&](int k) { return k < n || k == top ? k : n + (2 * n - 3 - k); };
    auto index = [&](TNode const* node) { return static_cast<int>(node - &from.nodes[0]); };
    to.num_genes = n;
    for (int k = 0; k <= top; ++k) {
        TNode const& a = from.nodes[k];
        TNode& b = to.nodes[image(k)];
        b.time = a.time;
        b.left = a.left != nullptr ? &to.nodes[image(index(a.left))] : nullptr;
        b.right = a.right != nullptr ? &to.nodes[image(index(a.right))] : nullptr;
        b.ancestor = a.ancestor != nullptr ? &to.nodes[image(index(a.ancestor))] : nullptr;
    }
}

// Runs `check` on `replicates` genealogies of `genes` leaves, each as the
// builder leaves it and renumbered, with the sample holding it and whether
// it is the renumbered one. (A failed assertion ends that check alone.)
template <class Check>
void on_built_and_renumbered(int genes, int replicates, Check&& check) {
    Simulator sim(genes);
    PopGenetics renumbered;
    renumbered.SampleSize = genes;
    renumbered.tree.allocate_tree(genes);
    TNode::mut_rates = GammaRates{};
    for (int r = 0; r < replicates; ++r) {
        sim.p.fast_build_tree();
        relabel_internal_nodes(sim.tree(), renumbered.tree);
        for (PopGenetics* p : {&sim.p, &renumbered}) check(p, r, p == &renumbered);
    }
    TNode::hits.count = 0;  // the next call may have another number of sites
}

// The hit-site pass against the full one on the same genealogy from the
// same place in the stream: every leaf's state at every site, the mutations
// of every branch, the total and the next draw. Genealogies as the builder
// leaves them and renumbered (the pass then follows the links); many sites,
// a few sites hit again and again, and rate heterogeneity.
TEST(MutationSprinkle, HitSitePassFollowsTheFullPass) {
    struct Case {
        int genes;
        int sites;
        double mu;
        double gamma;
    };
    const Case cases[] = {{20, 500, 3.0, 0.0}, {9, 3, 4.0, 0.0}, {15, 60, 2.5, 0.7}, {2, 1, 30.0, 0.0}};
    reseed(-314);
    int renumberedPasses = 0;
    for (Case const& c : cases) {
        HitSiteStates states;
        on_built_and_renumbered(c.genes, 30, [&](PopGenetics* p, int r, bool isRenumbered) {
            SCOPED_TRACE(::testing::Message() << c.genes << " genes, " << c.sites << " sites, replicate " << r
                                              << (isRenumbered ? " renumbered" : ""));
            TTree& tree = p->tree;
            long seed = -1000 - r;
            ran3(&seed);
            TNode::_tot_mut = 0;
            const long fast = states.sprinkle(tree, c.mu, c.sites, DNA_MUT, c.gamma, 1.0, 1.0, 0.33);
            const double fastNext = next_deviate();
            std::vector<long> fastMutations;
            for (int k = 0; k < 2 * c.genes - 1; ++k) fastMutations.push_back(tree.nodes[k].num_mut);
            states.find_sequences();
            if (isRenumbered && fast > 0) ++renumberedPasses;

            seed = -1000 - r;
            ran3(&seed);
            TNode::_tot_mut = 0;
            p->sprinkle_mutations(c.mu, c.sites, DNA_MUT, c.gamma, 1.0, 1.0, 0.33);
            ASSERT_EQ(p->numSimMutations, fast);
            ASSERT_EQ(next_deviate(), fastNext);
            for (int k = 0; k < 2 * c.genes - 1; ++k) ASSERT_EQ(tree.nodes[k].num_mut, fastMutations[k]) << k;
            for (int leaf = 0; leaf < c.genes; ++leaf) {
                for (int s = 0; s < c.sites; ++s)
                    ASSERT_EQ(states.state(leaf, s), (*tree.nodes[leaf].sequence)[s]) << leaf << " " << s;
            }
        });
    }
    EXPECT_GT(renumberedPasses, 100);
}

// Each mutation's carriers are the leaves below the branch it fell on, read
// off the genealogy itself: the branches in the pass's order (a node, then
// its left subtree, then its right one), each with num_mut mutations. A
// single-hit pass counts as many distinct sequences as the full pass's
// leaves hold. Genealogies as built and renumbered; few sites (hits again
// and again) and many (single hits).
TEST(MutationSprinkle, CarriersAndDistinctSequencesFollowTheGenealogy) {
    struct Case {
        int genes;
        int sites;
        double mu;
    };
    const Case cases[] = {{12, 1000, 2.0}, {30, 2000, 4.0}, {9, 4, 3.0}};
    reseed(-271);
    int singleHitPasses = 0;
    int multiHitPasses = 0;
    for (Case const& c : cases) {
        HitSiteStates states;
        on_built_and_renumbered(c.genes, 40, [&](PopGenetics* p, int r, bool isRenumbered) {
            SCOPED_TRACE(::testing::Message() << c.genes << " genes, replicate " << r
                                              << (isRenumbered ? " renumbered" : ""));
            TTree& tree = p->tree;
            long seed = -2000 - r;
            ran3(&seed);
            TNode::_tot_mut = 0;
            states.sprinkle(tree, c.mu, c.sites, DNA_MUT, 0.0, 1.0, 1.0, 0.33);
            std::vector<int> carriers;
            for (HitSiteStates::Mutation const& m : states.mutations()) carriers.push_back(m.carriers);
            const bool single = states.single_hits();
            const int singleSequences = states.single_hit_sequences();

            // Leaves below each branch, in the pass's order.
            std::vector<int> expected;
            auto leaves_below = [](TNode const* node, auto&& self) -> int {
                if (node->left == nullptr && node->right == nullptr) return 1;
                return (node->left != nullptr ? self(node->left, self) : 0) +
                       (node->right != nullptr ? self(node->right, self) : 0);
            };
            std::vector<TNode const*> stack{tree.root()};
            while (!stack.empty()) {
                TNode const* node = stack.back();
                stack.pop_back();
                if (node != tree.root())
                    expected.insert(expected.end(), node->num_mut, leaves_below(node, leaves_below));
                for (TNode const* child : {node->right, node->left})
                    if (child != nullptr) stack.push_back(child);
            }
            ASSERT_EQ(carriers, expected);

            seed = -2000 - r;
            ran3(&seed);
            TNode::_tot_mut = 0;
            p->sprinkle_mutations(c.mu, c.sites, DNA_MUT, 0.0, 1.0, 1.0, 0.33);
            if (single) {
                std::set<std::vector<int>> distinct;
                for (int leaf = 0; leaf < c.genes; ++leaf) {
                    myVectInt const& q = *tree.nodes[leaf].sequence;
                    distinct.insert(std::vector<int>(q.data.get(), q.data.get() + q.length));
                }
                ASSERT_EQ(singleSequences, static_cast<int>(distinct.size()));
                ++singleHitPasses;
            } else {
                ++multiHitPasses;
            }
        });
    }
    EXPECT_GT(singleHitPasses, 50);
    EXPECT_GT(multiHitPasses, 20);
}

TEST(MutationSprinkle, HitTableOfAnotherSizeIsRefused) {
    test::LogGuard log;
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

}  // namespace
}  // namespace quintle
