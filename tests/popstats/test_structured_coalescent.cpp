// The structured coalescent of the selection scan: a genealogy and its SNP
// followed draw by draw, the island and hierarchical models' pair
// coalescence times against their closed forms and Markov chain, and the
// faults its builders guard against.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/random.h"
#include "data/Population.h"
#include "popstats/TTree.h"
#include "popstats/sim_support.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "support/process_state.h"
#include "support/sanitized_build.h"

namespace quintle {
namespace {

using namespace testing_support;

// Groups of the set's samples, by index.
void group(Structure& st, Samples& set, std::vector<std::vector<int>> const& groups) {
    st.NbGroups = static_cast<int>(groups.size());
    st.GroupSizes = std::make_unique<int[]>(groups.size());
    st.Groups = std::make_unique<PopulationGroup[]>(groups.size());
    st.NbSamplesInGroups = 0;
    for (std::size_t q = 0; q < groups.size(); ++q) {
        st.Groups[q].owns = false;
        for (int i : groups[q]) st.Groups[q].Add(set.Populations[i]);
        st.GroupSizes[q] = static_cast<int>(groups[q].size());
        st.NbSamplesInGroups += st.GroupSizes[q];
    }
}

double mrca_time(TTree const& t, int a, int b) {
    std::set<TNode const*> up;
    for (TNode const* v = &t.nodes[a]; v != nullptr; v = v->ancestor) up.insert(v);
    for (TNode const* v = &t.nodes[b]; v != nullptr; v = v->ancestor)
        if (up.count(v) != 0) return v->time;
    return -1.0;
}

// Every internal node joins two lineages below it, the root last.
void expect_whole_tree(TTree const& t) {
    const int n = t.num_genes;
    for (int i = 0; i < 2 * n - 2; ++i) ASSERT_NE(t.nodes[i].ancestor, nullptr) << i;
    EXPECT_EQ(t.nodes[2 * n - 2].ancestor, nullptr);
    for (int i = n; i < 2 * n - 1; ++i) {
        ASSERT_NE(t.nodes[i].left, nullptr);
        ASSERT_NE(t.nodes[i].right, nullptr);
        EXPECT_GE(t.nodes[i].time, t.nodes[i].left->time);
        EXPECT_GE(t.nodes[i].time, t.nodes[i].right->time);
    }
}

TEST(StructuredCoalescent, FourLeavesAndTheirSnpFollowTheDrawOrder) {
    test::HitsGuard hits;
    // Worked with a separate replica of the rules on the deviates after
    // reseeding with -7 (u0 = 0.067781358, u1 = 0.824523881, ...):
    //  two samples of 2 copies, D = 3, FST = 0.25: m N = 2 * 3 / 6 = 1.
    //  placement: int(3 u0) = 0 -> deme 0 (leaves 0, 1); int(2 u1) = 1 ->
    //  the pool's entry 1, deme 1 (leaves 2, 3).
    //  ten events: migrations of leaf 3 (deme 1 -> 0), coalescences 4 =
    //  (0, 3) at 0.6536, 5 = (1, 4) at 0.9330 in deme 0, six migrations,
    //  then 6 = (5, 2) at 4.4539 in deme 1.
    //  SNP: preorder candidates 6 (0), 5, 1, 4, 0, 3, 2 weighted by branch
    //  length; u49 = 0.967023142 falls in leaf 2's weight (0.4244), so
    //  leaf 2 alone carries state 1.
    reseed(-7);
    Samples set;
    fill(set, {2, 2});
    TTree& t = set.Tree;
    ASSERT_EQ(t.build_tree_struct_pop(set, 1.0, 0.25, 3), 1);
    ASSERT_EQ(t.num_genes, 4);
    expect_whole_tree(t);
    EXPECT_EQ(t.nodes[4].left, &t.nodes[0]);
    EXPECT_EQ(t.nodes[4].right, &t.nodes[3]);
    EXPECT_EQ(t.nodes[5].left, &t.nodes[1]);
    EXPECT_EQ(t.nodes[5].right, &t.nodes[4]);
    EXPECT_EQ(t.nodes[6].left, &t.nodes[5]);
    EXPECT_EQ(t.nodes[6].right, &t.nodes[2]);
    EXPECT_NEAR(t.nodes[4].time, 0.6536266923095208, 1e-12);
    EXPECT_NEAR(t.nodes[5].time, 0.9329948095612633, 1e-12);
    EXPECT_NEAR(t.nodes[6].time, 4.453907138049954, 1e-12);
    EXPECT_DOUBLE_EQ(t.mig_rate * t.deme_size, 1.0);

    TNode* root = t.root();
    root->count_desc();
    TTree::matchingNodes.count = 0;
    TTree::nodeWeights.count = 0;
    TNode* chosen = t.getRootNodeForMutation(0, 0.0);
    ASSERT_EQ(chosen, &t.nodes[2]);
    ASSERT_EQ(TTree::matchingNodes.count, 7);
    EXPECT_EQ(TTree::matchingNodes[1], &t.nodes[5]);
    EXPECT_NEAR(TTree::nodeWeights[6], 0.42440653621410845, 1e-12);
    root->new_Add_SNP_Mutation(0, chosen, 0, 0);
    const int states[] = {0, 0, 1, 0};
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(t.nodes[i].num_sites, 1);
        EXPECT_EQ((*t.nodes[i].sequence)[0], states[i]) << i;
    }
    EXPECT_EQ((*t.nodes[5].sequence)[0], 0);
    EXPECT_NEAR(next_deviate(), 0.832068352, 5e-10);  // exactly 50 draws
    t.cleanDemes();
    EXPECT_EQ(t.num_occupied, 0);
    TTree::matchingNodes.count = 0;
    TTree::nodeWeights.count = 0;
}

TEST(StructuredCoalescent, SnpStatesBelowTheChosenBranchAndItsSibling) {
    // Root 6 = (4, 5), 4 = (0, 1), 5 = (2, 3): a chosen left child 4 gives
    // its subtree 1 and its right sibling `derived`.
    TTree t;
    t.allocate_tree(4);
    auto join = [&](int p, int l, int r) {
        t.nodes[p].left = &t.nodes[l];
        t.nodes[p].right = &t.nodes[r];
        t.nodes[l].ancestor = t.nodes[r].ancestor = &t.nodes[p];
    };
    join(4, 0, 1);
    join(5, 2, 3);
    join(6, 4, 5);
    TNode* chosen = &t.nodes[4];
    t.nodes[6].new_Add_SNP_Mutation(0, chosen, 2, 3);
    const int expected[] = {1, 1, 3, 3, 1, 3, 2};
    for (int i = 0; i < 7; ++i) EXPECT_EQ((*t.nodes[i].sequence)[0], expected[i]) << i;
    TNode* none = nullptr;
    t.nodes[6].new_Add_SNP_Mutation(0, none, 2, 2);
    for (int i = 0; i < 7; ++i) EXPECT_EQ((*t.nodes[i].sequence)[0], 2) << i;
}

TEST(StructuredCoalescent, IslandPairTimesFollowTheIslandRelation) {
    test::HitsGuard hits;
    // Two copies in one deme coalesce after D time units on average, two in
    // different demes after D / (1 - F) (F = 1 / (1 + 2NmD/(D - 1))). A
    // sample of size 0 keeps a deme of its own without a lineage.
    reseed(-11);
    const int D = 10;
    const double F = 0.1;
    const int replicates = test::sanitized_build ? 4000 : 30000;
    Samples set;
    fill(set, {2, 0, 1, 1});
    double same = 0.0;
    double apart = 0.0;
    for (int r = 0; r < replicates; ++r) {
        ASSERT_EQ(set.Tree.build_tree_struct_pop(set, 1.0, F, D), 1);
        if (r == 0) expect_whole_tree(set.Tree);
        ASSERT_LE(set.Tree.num_occupied, D);
        same += mrca_time(set.Tree, 0, 1);
        apart += (mrca_time(set.Tree, 0, 2) + mrca_time(set.Tree, 1, 3) + mrca_time(set.Tree, 2, 3)) / 3.0;
        set.Tree.cleanDemes();
    }
    same /= replicates;
    apart /= replicates;
    // The coalescence time has a s.d. close to its mean: 5 standard errors.
    const double tol = 5.0 * 11.0 / std::sqrt(static_cast<double>(replicates));
    EXPECT_NEAR(same, D, tol);
    EXPECT_NEAR(apart, D / (1.0 - F), tol);
    EXPECT_NEAR(set.Tree.mig_rate * set.Tree.deme_size, (D - 1) * (1.0 / F - 1.0) / (2.0 * D), 1e-12);
}

TEST(StructuredCoalescent, HierarchicalPairTimesFollowTheirMarkovChain) {
    test::HitsGuard hits;
    // Three pair classes: same deme (S), same group (G), other groups (B).
    // Per lineage a move within the group at rate a = m1 N, to another
    // group at b = m2 N; S coalesces at 1. The expected times solve
    //   (1 + 2a + 2b) T_S - 2a T_G - 2b T_B = 1
    //   -2a/(d-1) T_S + (2b + 2a/(d-1)) T_G - 2b T_B = 1
    //   -2b/((g-1)d) T_S - 2b(d-1)/((g-1)d) T_G + 2b/(g-1) T_B = 1
    // numpy.linalg.solve for d = 4, g = 3, FST = 0.2, FCT = 0.1 (a = 3,
    // b = 2/3): T = [12.000000000000018, 13.285714285714306,
    // 14.464285714285735].
    reseed(-13);
    const int replicates = test::sanitized_build ? 4000 : 30000;
    Samples set;
    fill(set, {2, 1, 1});
    Structure st;
    group(st, set, {{0, 1}, {2}});
    double S = 0.0, G = 0.0, B = 0.0;
    for (int r = 0; r < replicates; ++r) {
        ASSERT_EQ(set.Tree.build_tree_struct_pop(set, st, 1.0, 0.2, 0.1, 4, 3), 1);
        if (r == 0) expect_whole_tree(set.Tree);
        S += mrca_time(set.Tree, 0, 1);
        G += (mrca_time(set.Tree, 0, 2) + mrca_time(set.Tree, 1, 2)) / 2.0;
        B += (mrca_time(set.Tree, 0, 3) + mrca_time(set.Tree, 1, 3) + mrca_time(set.Tree, 2, 3)) / 3.0;
        set.Tree.cleanDemes();
    }
    const double tol = 5.0 * 15.0 / std::sqrt(static_cast<double>(replicates));
    EXPECT_NEAR(S / replicates, 12.000000000000018, tol);
    EXPECT_NEAR(G / replicates, 13.285714285714306, tol);
    EXPECT_NEAR(B / replicates, 14.464285714285735, tol);
    EXPECT_EQ(set.Tree.num_groups, 3);
    EXPECT_EQ(set.Tree.group_demes[2][1], 9);
}

TEST(StructuredCoalescent, BuildsRefusedOutsideTheModel) {
    test::HitsGuard hits;
    test::LogGuard log;
    Samples set;
    fill(set, {2, 2});
    // FST outside ]0, 1[ would give no or negative migration.
    for (double F : {0.0, 1.0, -0.3, 1.5}) EXPECT_EQ(set.Tree.build_tree_struct_pop(set, 1.0, F, 10), 0) << F;
    EXPECT_NE(log.text().find("\tTTree::build_tree_struct_pop(): unable to build Tree\n"), std::string::npos);
    set.Tree.cleanDemes();

    // More samples than demes: D becomes s + 20.
    fill(set, {1, 1, 1});
    ASSERT_EQ(set.Tree.build_tree_struct_pop(set, 1.0, 0.1, 2), 1);
    EXPECT_EQ(set.Tree.num_demes, 23.0);
    set.Tree.cleanDemes();

    // Hierarchical: FCT = 0 makes m2 infinite; a group of more samples than
    // demes per group would lose lineages; so would more groups than g.
    Structure st;
    group(st, set, {{0, 1}, {2}});
    EXPECT_EQ(set.Tree.build_tree_struct_pop(set, st, 1.0, 0.2, 0.0, 4, 3), 0);
    EXPECT_EQ(set.Tree.build_tree_struct_pop(set, st, 1.0, 0.2, 0.1, 1, 3), 0);
    EXPECT_EQ(set.Tree.build_tree_struct_pop(set, st, 1.0, 0.2, 0.1, 4, 1), 0);
    group(st, set, {{0, 1, 2}});
    EXPECT_EQ(set.Tree.build_tree_struct_pop(set, st, 1.0, 0.2, 0.1, 2, 3), 0);
    // One sample in one deme: a plain coalescent, no migration at all.
    fill(set, {5});
    ASSERT_EQ(set.Tree.build_tree_struct_pop(set, 1.0, 0.3, 1), 1);
    EXPECT_EQ(set.Tree.mig_rate, 0.0);
    expect_whole_tree(set.Tree);
    set.Tree.cleanDemes();
}

TEST(StructuredCoalescent, MigrantToTheDemeOfAnEmptySampleListsItOnce) {
    test::HitsGuard hits;
    reseed(-5);
    // Two demes: the size-0 sample's deme is listed without lineages; every
    // migrant of the other deme lands there.
    Samples set;
    fill(set, {0, 3});
    TTree& t = set.Tree;
    t.num_demes = 2;
    t.createInitialNodes(set);
    ASSERT_EQ(t.num_occupied, 2);
    t.mig_rate = 0.001;
    t.deme_size = 1000.0;
    t.sendMigrant();
    ASSERT_EQ(t.num_occupied, 2);
    EXPECT_NE(t.occupied_demes[0], t.occupied_demes[1]);
    EXPECT_EQ(t.deme_lineages[0] + t.deme_lineages[1], 3);
    EXPECT_EQ(t.deme_lineages[static_cast<std::size_t>(t.occupied_demes[0])], 1);
    t.cleanDemes();
}

TEST(StructuredCoalescent, CoalescenceSkipsDemesWithoutAPair) {
    test::HitsGuard hits;
    reseed(-3);
    // A deme of one lineage listed after the only pair: even when the
    // running rate falls short of the target (a drifted total), the pair
    // coalesces; the lone lineage is never joined with itself.
    Samples set;
    fill(set, {2, 1});
    TTree& t = set.Tree;
    t.num_demes = 5;
    t.createInitialNodes(set);
    t.total_coal_rate = 100.0;
    t.coalesceWithinAPop(0.5);
    TNode const& node = t.nodes[3];
    ASSERT_NE(node.left, nullptr);
    EXPECT_NE(node.left, node.right);
    EXPECT_LT(node.left - &t.nodes[0], 2);
    EXPECT_LT(node.right - &t.nodes[0], 2);
    EXPECT_EQ(t.num_lineages, 2);
    t.cleanDemes();
}

}  // namespace
}  // namespace quintle
