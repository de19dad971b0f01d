#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "core/random.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "popstats/PopGenetics.h"
#include "popstats/TTree.h"
#include "popstats/sim_support.h"
#include "support/sanitized_build.h"

namespace quintle {
namespace {

using namespace testing_support;

int index_of(TTree const& t, TNode const* node) { return node == nullptr ? -1 : static_cast<int>(node - &t.nodes[0]); }

std::string states(TNode const& node) {
    std::string s;
    for (int i = 0; i < node.sequence->length; ++i) s += std::to_string((*node.sequence)[i]);
    return s;
}

// The first 25 deviates after reseeding with -7, as ran3 delivers them.
const double kU[] = {0.067781358, 0.824523881, 0.365198158, 0.397743380, 0.906935255,
                     0.581254437, 0.049977683, 0.982493868, 0.376787610, 0.696109805,
                     0.279379975, 0.291316639, 0.672894480, 0.245446325, 0.950633642,
                     0.796406580, 0.941783067, 0.836030555, 0.210818455, 0.688535391,
                     0.739813955, 0.727785304, 0.914243734, 0.161409705, 0.103141619};

TEST(CoalescentHandWorked, FourGenesAndOneMutationPassFollowTheDrawOrder) {
    reseed(-7);
    for (double u : kU) ASSERT_NEAR(next_deviate(), u, 5e-10);

    // Worked by hand from kU (mu 0.6 per unit of tree time, 3 sites, DNA):
    //  waiting times, all drawn first: node 4 at -2 ln(1-u0)/12, node 5 adds
    //  -2 ln(1-u1)/6, the root adds -ln(1-u2).
    //  pairings: L = 0 1 2 3; int(4 u3) = 1, int(3 u4) = 2 -> node 4 = (1, 2),
    //  L = 0 3 4; int(3 u5) = 1, int(2 u6) = 0 -> node 5 = (3, 0), L = 5 4;
    //  int(2 u7) = 1, int(u8) = 0 -> root = (4, 5).
    //  root bases int(4 u9..u11) = 2 1 1 (C G G).
    //  branch 6-4: mean 0.6 (t6 - t4) = 0.6207, exp(-mean) = 0.5376:
    //  u12 = 0.673 > 0.5376, u12 u13 = 0.165 -> 1 mutation, at site 0 (first
    //  free site); u14 = 0.951 >= 0.33 is a transversion, u15 = 0.796 >= 0.5
    //  makes C a G: node 4 = 1 1 1. Branches 4-1 (u16) and 4-2 (u17) and
    //  6-5 (u18), 5-3 (u19): no mutation. Branch 5-0: exp(-0.355) = 0.7011,
    //  u20 = 0.740 > 0.7011, u20 u21 = 0.538 -> 1 mutation at site 1; u22 is
    //  a transversion, u23 = 0.161 < 0.5 makes G a C: leaf 0 = 2 2 1.
    reseed(-7);
    Simulator sim(4);
    sim.p.simulate_sample(0.6, 3, DNA_MUT, 0.0, 1.0, 1.0, 0.33);
    TTree& t = sim.p.tree;

    const double t4 = -2.0 * std::log(1.0 - kU[0]) / 12.0;
    const double t5 = t4 - 2.0 * std::log(1.0 - kU[1]) / 6.0;
    const double t6 = t5 - std::log(1.0 - kU[2]);
    EXPECT_NEAR(t.nodes[4].time, t4, 1e-8);
    EXPECT_NEAR(t.nodes[5].time, t5, 1e-8);
    EXPECT_NEAR(t.nodes[6].time, t6, 1e-8);

    const int children[3][2] = {{1, 2}, {3, 0}, {4, 5}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(index_of(t, t.nodes[4 + i].left), children[i][0]) << "node " << 4 + i;
        EXPECT_EQ(index_of(t, t.nodes[4 + i].right), children[i][1]) << "node " << 4 + i;
    }
    const int parent[7] = {5, 4, 4, 5, 6, 6, -1};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(index_of(t, t.nodes[i].ancestor), parent[i]) << "node " << i;

    const char* expected[7] = {"221", "111", "111", "211", "111", "211", "211"};
    const long mutations[7] = {1, 0, 0, 0, 1, 0, 0};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(states(t.nodes[i]), expected[i]) << "node " << i;
        EXPECT_EQ(t.nodes[i].num_mut, mutations[i]) << "node " << i;
    }
    EXPECT_EQ(sim.p.numSimMutations, 2);
    EXPECT_EQ(TNode::_tot_mut, 2);
    EXPECT_NEAR(next_deviate(), kU[24], 5e-10);  // nothing more was drawn

    // Pairs: (1,2) at t4, (3,0) at t5, the four across the root at t6.
    ASSERT_EQ(t.compute_moments_of_coalescence_times(), 1);
    const double mean = (t4 + t5 + 4.0 * t6) / 6.0;
    const double sumsq = t4 * t4 + t5 * t5 + 4.0 * t6 * t6;
    EXPECT_NEAR(t.mean_coal_time, mean, 1e-12);
    EXPECT_NEAR(t.sd_coal_time, std::sqrt((sumsq - 6.0 * mean * mean) / 5.0), 1e-12);
    EXPECT_EQ(t.nodes[6].num_left_desc, 2);
    EXPECT_EQ(t.nodes[6].num_right_desc, 2);

    ASSERT_EQ(t.nodes[6].build_lists_of_descendent_nodes(), 1);
    auto ids = [](MY_TArrayAsVector<long> const& l) {
        std::vector<long> v;
        for (long i = 0; i < l.count; ++i) v.push_back(l[i]);
        return v;
    };
    EXPECT_EQ(ids(*t.nodes[6].left_desc), (std::vector<long>{t.nodes[1].node_id, t.nodes[2].node_id}));
    EXPECT_EQ(ids(*t.nodes[6].right_desc), (std::vector<long>{t.nodes[3].node_id, t.nodes[0].node_id}));

    // Leaves 1 (CCG), 2 and 3 (GGG twice), 4 (CGG).
    Haplo_DB db;
    PopGenetics replicate;
    ASSERT_EQ(replicate.read_simulated_sample(t, db, DNA_MUT), 1);
    EXPECT_TRUE(replicate.simulatedSample);
    EXPECT_EQ(replicate.SampleSize, 4.0);
    ASSERT_EQ(replicate.NbHaplotypeEntries, 3);
    ASSERT_EQ(db.haplotypes.count, 3);
    const char* ids_expected[3] = {"1", "2", "4"};
    const char* texts[3] = {"CCG", "GGG", "CGG"};
    const int counts[3] = {1, 2, 1};
    for (int i = 0; i < 3; ++i) {
        PHaploDef const* entry = replicate.haplotypes[i];
        EXPECT_EQ(entry->haplotype, db.haplotypes[i]);
        EXPECT_EQ(entry->count, counts[i]);
        EXPECT_EQ(std::string(entry->haplotype->id.c_str()), ids_expected[i]);
        EXPECT_EQ(std::string(entry->haplotype->data.c_str()), texts[i]);
        EXPECT_EQ(entry->haplotype->count, counts[i]);
    }

    std::ostringstream out;
    t.print_sequences(out, DNA_MUT);
    EXPECT_EQ(out.str(), "    1     1 CCG\n    2     2 GGG\n    4     1 CGG\n\n");
    std::ostringstream numbers;
    t.print_sequences(numbers, TWO_STATE_MUT);
    EXPECT_EQ(numbers.str(), "    1     1 2 2 1 \n    2     2 1 1 1 \n    4     1 2 1 1 \n\n");
}

// The standard coalescent in distribution, as the DNA driver draws its
// replicates (mutation rate theta / 2 per unit of tree time, no rate
// heterogeneity, so every mutation falls on a fresh site). Over R
// genealogies of n genes the means must lie within 4 standard errors of
//   E[S] = theta a1,  Var[S] = theta a1 + theta^2 a2   (Watterson 1975),
//   E[T] = 2 (1 - 1/n), Var[T] = sum_{k=2..n} (2 / (k (k - 1)))^2,
// with a1 = sum_{i<n} 1/i, a2 = sum_{i<n} 1/i^2, T the age of the root in
// the tree's unit (k lineages merge at rate k (k - 1) / 2). The sanitizer
// build draws fewer genealogies; the bounds widen with them.
TEST(CoalescentDistribution, MeanSegregatingSitesAndRootAge) {
    const int n = 10, sites = 200, R = test::sanitized_build ? 2000 : 10000;
    const double theta = 3.0;
    double a1 = 0.0, a2 = 0.0, varT = 0.0;
    for (int i = 1; i < n; ++i) a1 += 1.0 / i, a2 += 1.0 / (double(i) * i);
    for (int k = 2; k <= n; ++k) varT += std::pow(2.0 / (k * (k - 1.0)), 2);

    reseed(-2718);
    Simulator sim(n);
    double sumS = 0.0, sumT = 0.0;
    for (int r = 0; r < R; ++r) {
        sim.p.simulate_sample(theta / 2.0, sites, DNA_MUT, 0.0, 1.0, 1.0, 0.33);
        ASSERT_LT(sim.p.numSimMutations, sites) << "a site hit twice would not count";
        sumS += segregating_sites(sim.tree());
        sumT += sim.tree().root()->time;
    }
    const double seS = std::sqrt((theta * a1 + theta * theta * a2) / R);
    const double seT = std::sqrt(varT / R);
    EXPECT_NEAR(sumS / R, theta * a1, 4.0 * seS);
    EXPECT_NEAR(sumT / R, 2.0 * (1.0 - 1.0 / n), 4.0 * seT);
}

}  // namespace
}  // namespace quintle
