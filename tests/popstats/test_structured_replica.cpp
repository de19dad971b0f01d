// The structured coalescent's genealogies held, node for node and time for
// time, to a plain replica of the model's rules: every list walked from its
// start, nothing kept between events but the demes' lineage lists and the
// list of occupied demes. Whatever the builders keep to find a lineage or a
// deme faster must give the genealogy these rules give with the same draws.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

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

// The genealogy as the replica builds it: parent index and time per node.
struct Genealogy {
    std::vector<int> parent;
    std::vector<double> time;
    long events = 0;
};

// The model's rules, walked plainly. Demes e = q d + j in two levels (d
// demes per group); `groupOf` of each leaf only matters for two levels.
class PlainReplica {
public:
    // Island model: samples of the given sizes, D demes, target F.
    static Genealogy island(std::vector<int> const& sizes, int D, double F) {
        if (static_cast<int>(sizes.size()) > D) D = static_cast<int>(sizes.size()) + 20;
        PlainReplica r(sizes, D);
        std::vector<int> pool(static_cast<std::size_t>(D));
        for (int e = 0; e < D; ++e) pool[static_cast<std::size_t>(e)] = e;
        int P = D;
        int leaf = 0;
        for (int k : sizes) {
            const int j = static_cast<int>(P * next_deviate());
            const int deme = pool[static_cast<std::size_t>(j)];
            pool[static_cast<std::size_t>(j)] = pool[static_cast<std::size_t>(P - 1)];
            --P;
            r.place(deme, k, leaf);
        }
        const double m = (D - 1.0) * (1.0 / F - 1.0) / (2.0 * 1000.0 * D);
        r.run(m, 0.0, 0, 0);
        return r.g_;
    }

    // Hierarchical model: groups of samples (sizes by group), d demes per
    // group, g groups, targets FST and FCT.
    static Genealogy groups(std::vector<std::vector<int>> const& sizes, int d, int g, double FST, double FCT) {
        std::vector<int> all;
        for (auto const& q : sizes) all.insert(all.end(), q.begin(), q.end());
        PlainReplica r(all, d * g);
        int leaf = 0;
        for (std::size_t q = 0; q < sizes.size(); ++q) {
            std::vector<int> pool(static_cast<std::size_t>(d));
            for (int j = 0; j < d; ++j) pool[static_cast<std::size_t>(j)] = j;
            int P = d;
            for (int k : sizes[q]) {
                const int pick = static_cast<int>(P * next_deviate());
                const int place = pool[static_cast<std::size_t>(pick)];
                pool[static_cast<std::size_t>(pick)] = pool[static_cast<std::size_t>(P - 1)];
                --P;
                r.place(static_cast<int>(q) * d + place, k, leaf);
            }
        }
        const double FSC = 1.0 - (1.0 - FST) / (1.0 - FCT);
        const double m1 = (d - 1) * (1.0 / FSC - 1.0) / (2.0 * d * 1000.0);
        const double m2 = (g - 1) * (1.0 - FCT) * FSC * m1 / ((d - 1) * FCT * g);
        r.run(m1 + m2, m1 / (m1 + m2), d, g);
        return r.g_;
    }

private:
    PlainReplica(std::vector<int> const& sizes, int D) : demes_(static_cast<std::size_t>(D)) {
        for (int k : sizes) n_ += k;
        g_.parent.assign(static_cast<std::size_t>(std::max(2 * n_ - 1, 0)), -1);
        g_.time.assign(g_.parent.size(), 0.0);
    }

    void place(int deme, int k, int& leaf) {
        listed_.push_back(deme);
        for (int c = 0; c < k; ++c) demes_[static_cast<std::size_t>(deme)].push_back(leaf++);
    }

    static double pairs(std::size_t k) { return 0.5 * static_cast<double>(k) * (static_cast<double>(k) - 1.0); }

    double coal_rate() const {
        double sum = 0.0;
        for (int e : listed_) sum += pairs(demes_[static_cast<std::size_t>(e)].size());
        return sum;
    }

    // The event loop; two levels when d > 0 (stay: share of moves within
    // the group).
    void run(double m, double stay, int d, int g) {
        int L = n_;
        double t = 0.0;
        const int D = static_cast<int>(demes_.size());
        while (L >= 2) {
            const double coal = coal_rate();
            const double R = coal + L * m * 1000.0;
            ++g_.events;
            t -= std::log(1.0 - next_deviate()) / R;
            if (coal > R * next_deviate()) {
                const double target = next_deviate() * coal;
                double sum = 0.0;
                int deme = -1;
                for (int e : listed_) {
                    const std::size_t k = demes_[static_cast<std::size_t>(e)].size();
                    if (k < 2) continue;
                    sum += pairs(k);
                    deme = e;
                    if (sum >= target) break;
                }
                std::vector<int>& list = demes_[static_cast<std::size_t>(deme)];
                const int k = static_cast<int>(list.size());
                const int node = 2 * n_ - L;
                const int a = static_cast<int>(k * next_deviate());
                g_.parent[static_cast<std::size_t>(list[static_cast<std::size_t>(a)])] = node;
                list[static_cast<std::size_t>(a)] = list[static_cast<std::size_t>(k - 1)];
                const int b = static_cast<int>((k - 1) * next_deviate());
                g_.parent[static_cast<std::size_t>(list[static_cast<std::size_t>(b)])] = node;
                list[static_cast<std::size_t>(b)] = node;
                list.pop_back();
                g_.time[static_cast<std::size_t>(node)] = t;
                --L;
                continue;
            }
            const double u1 = d > 0 ? next_deviate() : 0.0;
            // Lineage number r of the listed demes, in list order.
            int r = static_cast<int>(next_deviate() * L);
            std::size_t p = 0;
            while (r >= static_cast<int>(demes_[static_cast<std::size_t>(listed_[p])].size()))
                r -= static_cast<int>(demes_[static_cast<std::size_t>(listed_[p++])].size());
            const int source = listed_[p];
            std::vector<int>& from = demes_[static_cast<std::size_t>(source)];
            const int migrant = from[static_cast<std::size_t>(r)];
            from[static_cast<std::size_t>(r)] = from.back();
            from.pop_back();
            int destination = source;
            if (d == 0) {
                while (destination == source) destination = static_cast<int>(next_deviate() * D);
            } else if (stay > u1) {
                int j = source % d;
                while (j == source % d) j = static_cast<int>(next_deviate() * d);
                destination = source / d * d + j;
            } else {
                int q = source / d;
                while (q == source / d) q = static_cast<int>(next_deviate() * g);
                destination = q * d + static_cast<int>(next_deviate() * d);
            }
            // An emptied deme leaves the list, the last one taking its place.
            if (from.empty()) {
                listed_[p] = listed_.back();
                listed_.pop_back();
            }
            bool listed = false;
            for (int e : listed_) listed = listed || e == destination;
            if (!listed) listed_.push_back(destination);
            demes_[static_cast<std::size_t>(destination)].push_back(migrant);
        }
    }

    int n_ = 0;
    std::vector<std::vector<int>> demes_;
    std::vector<int> listed_;
    Genealogy g_;
};

Genealogy of(TTree const& t) {
    Genealogy g;
    const int nodes = 2 * t.num_genes - 1;
    for (int i = 0; i < nodes; ++i) {
        TNode const* up = t.nodes[i].ancestor;
        g.parent.push_back(up != nullptr ? static_cast<int>(up - &t.nodes[0]) : -1);
        g.time.push_back(t.nodes[i].time);
    }
    g.events = t.num_events;
    return g;
}

void expect_same(Genealogy const& built, Genealogy const& plain, std::string const& what) {
    ASSERT_EQ(built.parent.size(), plain.parent.size()) << what;
    EXPECT_EQ(built.events, plain.events) << what;
    for (std::size_t i = 0; i < plain.parent.size(); ++i) {
        ASSERT_EQ(built.parent[i], plain.parent[i]) << what << ", node " << i;
        ASSERT_EQ(built.time[i], plain.time[i]) << what << ", node " << i;
    }
}

TEST(StructuredReplica, IslandGenealogiesAreThoseOfThePlainRules) {
    test::HitsGuard hits;
    // Few and many demes, near and far F, samples of 0 and 1 copy among
    // larger ones, more samples than demes (D raised to s + 20).
    struct Case {
        std::vector<int> sizes;
        int D;
        double F;
    };
    const std::vector<Case> cases = {
        {{4, 4, 4}, 3, 0.3},          {{20, 20, 20, 20, 20}, 20, 0.05},  {{6, 0, 5, 1, 0, 7}, 8, 0.1},
        {{10, 10, 10, 10}, 100, 0.05}, {{8, 8, 8, 8, 8, 8}, 500, 0.01},   {{3, 2, 2}, 2, 0.2},
        {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 12, 0.02}, {{30, 1}, 70, 0.5},
    };
    const int repeats = test::sanitized_build ? 3 : 12;
    Samples set;
    long seed = -101;
    for (Case const& c : cases) {
        fill(set, c.sizes);
        for (int r = 0; r < repeats; ++r) {
            reseed(--seed);
            ASSERT_EQ(set.Tree.build_tree_struct_pop(set, 1.0, c.F, c.D), 1);
            const Genealogy built = of(set.Tree);
            set.Tree.cleanDemes();
            reseed(seed);
            expect_same(built, PlainReplica::island(c.sizes, c.D, c.F),
                        "D " + std::to_string(c.D) + " F " + std::to_string(c.F) + " repeat " + std::to_string(r));
        }
    }
}

TEST(StructuredReplica, HierarchicalGenealogiesAreThoseOfThePlainRules) {
    test::HitsGuard hits;
    struct Case {
        std::vector<std::vector<int>> groups;
        int d;
        int g;
        double FST;
        double FCT;
    };
    const std::vector<Case> cases = {
        {{{4, 4}, {4}}, 3, 2, 0.2, 0.1},
        {{{10, 10, 0}, {10, 10}, {10}}, 20, 5, 0.08, 0.03},
        {{{6, 1}, {5, 2}}, 2, 4, 0.3, 0.05},
        {{{8, 8, 8}, {8, 8, 8}}, 60, 10, 0.02, 0.01},
    };
    const int repeats = test::sanitized_build ? 3 : 10;
    long seed = -501;
    for (Case const& c : cases) {
        std::vector<int> all;
        std::vector<std::vector<int>> indexes;
        for (auto const& q : c.groups) {
            indexes.emplace_back();
            for (int k : q) {
                indexes.back().push_back(static_cast<int>(all.size()));
                all.push_back(k);
            }
        }
        Samples set;
        fill(set, all);
        Structure st;
        st.NbGroups = static_cast<int>(indexes.size());
        st.GroupSizes = std::make_unique<int[]>(indexes.size());
        st.Groups = std::make_unique<PopulationGroup[]>(indexes.size());
        for (std::size_t q = 0; q < indexes.size(); ++q) {
            st.Groups[q].owns = false;
            for (int i : indexes[q]) st.Groups[q].Add(set.Populations[i]);
            st.GroupSizes[q] = static_cast<int>(indexes[q].size());
            st.NbSamplesInGroups += st.GroupSizes[q];
        }
        for (int r = 0; r < repeats; ++r) {
            reseed(--seed);
            ASSERT_EQ(set.Tree.build_tree_struct_pop(set, st, 1.0, c.FST, c.FCT, c.d, c.g), 1);
            const Genealogy built = of(set.Tree);
            set.Tree.cleanDemes();
            reseed(seed);
            expect_same(built, PlainReplica::groups(c.groups, c.d, c.g, c.FST, c.FCT),
                        "d " + std::to_string(c.d) + " g " + std::to_string(c.g) + " repeat " + std::to_string(r));
        }
    }
}

}  // namespace
}  // namespace quintle
