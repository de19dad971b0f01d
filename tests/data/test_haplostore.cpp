// Multi-locus haplotypes and their stores: order, lookup, EM helpers,
// disequilibrium, reshaping and the printed frequency table.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>
#include <vector>

#include "core/random.h"
#include "data/TAlleleDB.h"
#include "data/TPopHaploDB.h"
#include "data/TPopHaplotype.h"

namespace quintle {
namespace {

// An allele database built from per-locus name lists, with handy lookups.
using Names = std::vector<std::vector<std::string>>;

class Alleles {
public:
    explicit Alleles(Names const& names) {
        for (std::size_t l = 0; l < names.size(); ++l) {
            for (auto const& n : names[l]) db.InsertAllPos(static_cast<int>(l), my_string(n.c_str()), 1.0);
        }
    }
    TAllele* operator()(int locus, int k) const { return db.loci.data[locus]->alleles.data[k]; }

    mutable TAlleleDB db;
};

TPopHaplotype make(std::vector<TAllele*> const& alleles, char const* id = "UNKNOWN") {
    TPopHaplotype h(' ');
    for (TAllele* a : alleles) h.alleles.Add(a);
    h.id = id;
    return h;
}

// Every combination of one allele per locus (and its prefixes) is looked up
// in the store and compared with a plain scan for the first equal entry.
void expect_lookups_match_scan(TPopHaploDB const& store, Alleles const& al, std::vector<int> const& perLocus) {
    std::vector<int> k(perLocus.size(), 0);
    for (;;) {
        for (std::size_t len = 0; len <= k.size(); ++len) {
            TPopHaplotype q;
            for (std::size_t l = 0; l < len; ++l) q.alleles.Add(al(static_cast<int>(l), k[l]));
            TPopHaplotype* scan = nullptr;
            for (long i = 0; i < store.haplotypes.count && scan == nullptr; ++i)
                if (*store.haplotypes.data[i] == q) scan = store.haplotypes.data[i];
            ASSERT_EQ(store.find(q), scan) << "prefix length " << len;
        }
        std::size_t l = 0;
        while (l < k.size() && ++k[l] == perLocus[l]) k[l++] = 0;
        if (l == k.size()) break;
    }
}

// The order compares over the shorter haplotype and puts the shorter first.
TEST(HaploStore, OrderComparesOverTheShorter) {
    Alleles al(Names{{"A", "C"}, {"G", "T"}});
    TPopHaplotype a = make({al(0, 0)});
    TPopHaplotype c = make({al(0, 1)});
    TPopHaplotype ag = make({al(0, 0), al(1, 0)});
    TPopHaplotype at = make({al(0, 0), al(1, 1)});
    EXPECT_TRUE(ag < at);
    EXPECT_FALSE(at < ag);
    EXPECT_TRUE(a < ag);
    EXPECT_FALSE(ag < a);
    EXPECT_TRUE(ag < c);  // a difference in the common part decides first
    EXPECT_FALSE(c < ag);
    EXPECT_TRUE(TPopHaplotype() < a);
    EXPECT_FALSE(a < TPopHaplotype());
}

TEST(HaploStore, InsertAddsToTheFirstEqualInStoredOrder) {
    Alleles al(Names{{"A", "C"}, {"G", "T"}});
    TPopHaploDB store;
    TPopHaplotype ct = make({al(0, 1), al(1, 1)});
    TPopHaplotype ag = make({al(0, 0), al(1, 0)});
    EXPECT_NE(store.insert(ct, 1.0), &ct);  // the caller's haplotype is never stored
    store.insert(ag, 3.0);
    store.explode_base();  // ct, ag, ag, ag: three equal entries
    ASSERT_EQ(store.haplotypes.count, 4);
    TPopHaplotype* firstAg = store.haplotypes.data[1];
    EXPECT_EQ(store.insert(ag, 0.5), firstAg);
    EXPECT_EQ(firstAg->frequency, 1.5);
    EXPECT_EQ(store.haplotypes.data[2]->frequency, 1.0);
    EXPECT_EQ(store.find(make({al(0, 0)})), nullptr);
}

TEST(HaploStore, IndexFollowsEveryReshaping) {
    Alleles al(Names{{"A", "C", "G"}, {"A", "C"}, {"G", "T", "?"}});
    std::vector<int> const perLocus = {3, 2, 3};
    TPopHaploDB store;
    std::mt19937 gen(4);
    for (int n = 0; n < 60; ++n)
        store.insert(make({al(0, gen() % 3), al(1, gen() % 2), al(2, gen() % 3)}), 1.0 + gen() % 3);
    expect_lookups_match_scan(store, al, perLocus);

    store.explode_base();
    initialize_ran3(-77);
    int loci = 3;
    store.permute(&loci);
    expect_lookups_match_scan(store, al, perLocus);

    for (long i = 0; i < store.haplotypes.count; ++i) store.haplotypes.data[i]->frequency = (i % 4) * 0.25;
    store.cleanDB(0.5);
    store.check_redundancy();
    expect_lookups_match_scan(store, al, perLocus);

    // Outside in-place change, then an explicit resynchronisation.
    int const keep[] = {1, 1, 0};
    for (long i = 0; i < store.haplotypes.count; ++i) shrink(*store.haplotypes.data[i], keep);
    store.rebuild_index();
    expect_lookups_match_scan(store, al, perLocus);
}

TEST(HaploStore, EMStartValuesAndConvergence) {
    Alleles al(Names{{"A", "C", "G"}});
    TPopHaploDB store;
    TPopHaplotype* a = store.insert(make({al(0, 0)}), 0.0);
    TPopHaplotype* c = store.insert(make({al(0, 1)}), 0.0);
    TPopHaplotype* g = store.insert(make({al(0, 2)}), 0.0);

    EXPECT_DOUBLE_EQ(store.assign_rand_init_freq(0), 1.0 / 3.0);  // k = 0: equal values
    EXPECT_TRUE(store.convergence(1e-12));
    c->frequency = 1.0 / 3.0 + 0.1;
    g->frequency = 1.0 / 3.0 - 0.1;
    EXPECT_FALSE(store.convergence(0.15));  // summed change 0.2
    EXPECT_TRUE(store.convergence(1e-12));  // caught up in the same pass

    // A fixed haplotype takes weight 1 and no draw: the two draws go to the
    // others, in stored order.
    a->fixed = 1;
    initialize_ran3(-4321);
    long one = 1;
    double const u1 = ran3(&one);
    double const u2 = ran3(&one);
    initialize_ran3(-4321);
    double const smallest = store.assign_rand_init_freq(5);
    double const w[] = {1.0, 1.0 + 5 * u1, 1.0 + 5 * u2};
    double const sum = w[0] + w[1] + w[2];
    EXPECT_DOUBLE_EQ(a->frequency, w[0] / sum);
    EXPECT_DOUBLE_EQ(c->frequency, w[1] / sum);
    EXPECT_DOUBLE_EQ(g->frequency, w[2] / sum);
    EXPECT_DOUBLE_EQ(smallest, w[0] / sum);
}

TEST(HaploStore, TwoLocusDisequilibriumByHand) {
    // AB 0.4, Ab 0.2, aB 0.3, ab 0.1: pA = 0.6, pB = 0.7.
    Alleles al(Names{{"A", "a"}, {"B", "b"}});
    TPopHaploDB store;
    TPopHaplotype* AB = store.insert(make({al(0, 0), al(1, 0)}), 0.4);
    TPopHaplotype* Ab = store.insert(make({al(0, 0), al(1, 1)}), 0.2);
    TPopHaplotype* ab = store.insert(make({al(0, 1), al(1, 1)}), 0.1);
    store.insert(make({al(0, 1), al(1, 0)}), 0.3);
    EXPECT_EQ(store.update_lk_equil(), 1);
    // AB: D = 0.4 - 0.42 = -0.02 < 0, Dmax = min(0.6 * 0.7, 0.4 * 0.3) = 0.12.
    EXPECT_NEAR(AB->D, -0.02, 1e-12);
    EXPECT_NEAR(AB->Dprime, -1.0 / 6.0, 1e-12);
    // Ab: D = 0.2 - 0.6 * 0.3 = 0.02 > 0, Dmax = min(0.7 * 0.6, 0.4 * 0.3) = 0.12.
    EXPECT_NEAR(Ab->D, 0.02, 1e-12);
    EXPECT_NEAR(Ab->Dprime, 1.0 / 6.0, 1e-12);
    EXPECT_NEAR(ab->D, -0.02, 1e-12);
}

TEST(HaploStore, PermutationFollowsTheStreamAndKeepsAlleleCounts) {
    Alleles al(Names{{"A", "C", "G", "T"}, {"a", "c"}, {"x", "y", "z"}});
    TPopHaploDB store;
    std::vector<std::vector<TAllele*>> model;
    std::map<TAllele*, int> before, after;
    for (int i = 0; i < 12; ++i) {
        model.push_back({al(0, i % 4), al(1, i % 2), al(2, i % 3)});
        store.insert(make(model.back()), 0.01 * i);
        for (TAllele* a : model.back()) ++before[a];
    }
    // The same shuffle transcribed on a plain model; the third locus stays.
    long const n = 12;
    int nLoci = 2;
    initialize_ran3(-99);
    long one = 1;
    for (int l = 0; l < nLoci; ++l) {
        for (long i = 0; i < n; ++i) std::swap(model[i][l], model[i + static_cast<long>((n - i) * ran3(&one))][l]);
    }
    initialize_ran3(-99);
    store.permute(&nLoci);

    for (int i = 0; i < 12; ++i) {
        TPopHaplotype const* h = store.haplotypes.data[i];
        EXPECT_NEAR(h->frequency, 0.01 * i, 1e-15);  // frequencies stay with their entry
        for (int l = 0; l < 3; ++l) {
            EXPECT_EQ(h->alleles.data[l], model[i][l]) << i << "," << l;
            ++after[h->alleles.data[l]];
        }
    }
    EXPECT_EQ(before, after);
}

TEST(HaploStore, PrintedTable) {
    Alleles al(Names{{"A", "C"}, {"G", "T"}});
    TPopHaploDB store;
    TPopHaplotype* h1 = store.insert(make({al(0, 1), al(1, 0)}, "h1"), 0.5);
    TPopHaplotype* h2 = store.insert(make({al(0, 0), al(1, 1)}, "h2"), 0.3);
    TPopHaplotype* h3 = store.insert(make({al(0, 0), al(1, 0)}, "h3"), 0.05);
    h1->sd = 0.01;
    std::ostringstream os;
    store.print(os, 1, 0.1);  // no flags: plain rows even in mode 1

    std::string const expected =
        "\n------------------------------------------\n"
        "Maximum-likelihood haplotype frequencies :\n"
        "------------------------------------------\n\n"
        "Total number of possible haplotypes      :              3\n"
        "Minimum frequency to reach for output    :      1.000e-01\n\n"
        "---------------------------------------\n"
        "    #   Haplotype     Freq.      s.d.\n"
        "---------------------------------------\n\n"
        "    1          h2  0.300000    0.000000\tA T \n"
        "    2          h1  0.500000    0.010000\tC G \n"
        "---------------------------------------\n\n"
        "Sum of all 3 haplotype frequencies : 0.850000\n\n"
        "Sum of 2 listed frequencies : 0.800000\n\n";
    EXPECT_EQ(os.str(), expected);
    EXPECT_EQ(h3->listedIndex, -1);
    EXPECT_EQ(h2->listedIndex, 1);
    EXPECT_EQ(store.haplotypes.data[0], h1);  // the store keeps insertion order
}

}  // namespace
}  // namespace quintle
