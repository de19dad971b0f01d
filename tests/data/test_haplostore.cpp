// Multi-locus haplotypes and their stores: lookup, EM helpers, the printed
// frequency table, disequilibrium, bootstrap and the reshaping operations.

#include <gtest/gtest.h>

#include "data/logged_test.h"

#include <cmath>
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

TPopHaplotype make(std::vector<TAllele*> const& alleles, char const* id = "UNKNOWN", double f = 0.0,
                   char sep = ' ') {
    TPopHaplotype h(sep);
    for (TAllele* a : alleles) h.alleles.Add(a);
    h.id = id;
    h.frequency = f;
    return h;
}

std::string text_of(TPopHaplotype const& h) {
    std::ostringstream os;
    os << h;
    return os.str();
}

// Reference answer for lookups: plain scan for the first equal haplotype.
TPopHaplotype* first_equal(TPopHaploDB const& store, TPopHaplotype const& h) {
    for (long i = 0; i < store.haplotypes.count; ++i) {
        TPopHaplotype* s = store.haplotypes.data[i];
        if (s->alleles.count != h.alleles.count) continue;
        bool same = true;
        for (long l = 0; l < h.alleles.count; ++l) same = same && s->alleles.data[l] == h.alleles.data[l];
        if (same) return s;
    }
    return nullptr;
}

// Every combination of one allele per locus (plus the shorter prefixes) is
// looked up both ways.
void expect_lookups_match_scan(TPopHaploDB const& store, Alleles const& al, std::vector<int> const& perLocus) {
    std::vector<int> k(perLocus.size(), 0);
    for (;;) {
        for (std::size_t len = 0; len <= k.size(); ++len) {
            TPopHaplotype q;
            for (std::size_t l = 0; l < len; ++l) q.alleles.Add(al(static_cast<int>(l), k[l]));
            ASSERT_EQ(store.find(q), first_equal(store, q)) << "prefix length " << len;
        }
        std::size_t l = 0;
        while (l < k.size() && ++k[l] == perLocus[l]) k[l++] = 0;
        if (l == k.size()) break;
    }
}

using HaploStoreReshapeLogged = test::LoggedTest;

// ------------------------------------------------------------ haplotype

TEST(HaploStoreHaplotype, CopySharesAlleles) {
    Alleles al(Names{{"A", "C"}, {"G", "T"}});
    TPopHaplotype src = make({al(0, 1), al(1, 0)}, "s", 0.25, ';');
    src.repSum = 0.2;
    src.homoCount = 3;
    src.listedIndex = 7;
    TPopHaplotype copy(src);
    EXPECT_TRUE(copy == src);
    EXPECT_EQ(copy.alleles.data[0], al(0, 1));  // alleles shared, never duplicated
    EXPECT_FALSE(copy.alleles.owns);
    EXPECT_EQ(copy.repSum, 0.2);
    EXPECT_EQ(copy.homoCount, 3);
    EXPECT_EQ(copy.listedIndex, 7);
    copy = copy;
    EXPECT_EQ(text_of(copy), "C;G;");
}

TEST(HaploStoreHaplotype, EqualityIsPointerIdentity) {
    Alleles al(Names{{"A"}, {"G"}});
    TAlleleDB other;
    other.InsertAllPos(0, my_string("A"), 1.0);
    TAllele* foreignA = other.loci.data[0]->alleles.data[0];

    EXPECT_TRUE(TPopHaplotype() == TPopHaplotype());
    EXPECT_TRUE(make({al(0, 0), al(1, 0)}) == make({al(0, 0), al(1, 0)}));
    EXPECT_FALSE(make({foreignA, al(1, 0)}) == make({al(0, 0), al(1, 0)}));
    EXPECT_FALSE(make({al(0, 0)}) == make({al(0, 0), al(1, 0)}));
}

TEST(HaploStoreHaplotype, OrderComparesOverTheShorterAndPutsItFirst) {
    Alleles al(Names{{"A", "C"}, {"G", "T"}});
    TPopHaplotype a = make({al(0, 0)});
    TPopHaplotype c = make({al(0, 1)});
    TPopHaplotype ag = make({al(0, 0), al(1, 0)});
    TPopHaplotype at = make({al(0, 0), al(1, 1)});
    TPopHaplotype empty;

    EXPECT_TRUE(ag < at);
    EXPECT_FALSE(at < ag);
    EXPECT_FALSE(ag < ag);
    // Common prefix: the shorter comes first, from either side.
    EXPECT_TRUE(a < ag);
    EXPECT_FALSE(ag < a);
    // A difference inside the common part decides before the lengths do.
    EXPECT_TRUE(ag < c);
    EXPECT_FALSE(c < ag);
    EXPECT_TRUE(empty < a);
    EXPECT_FALSE(a < empty);
    EXPECT_FALSE(empty < empty);
}

TEST(HaploStoreHaplotype, RestrictionsAndSampledHaplotype) {
    Alleles al(Names{{"A"}, {"G"}, {"T"}});
    TPopHaplotype src = make({al(0, 0), al(1, 0), al(2, 0)}, "src", 0.3);
    src.D = 1.0;

    TPopHaplotype r;
    r.listedIndex = 9;
    int const sel[] = {2, 2, 0};
    r.copy_restricted_hapl(sel, src);
    EXPECT_EQ(text_of(r), "T A ");
    EXPECT_EQ(r.frequency, 0.3);
    EXPECT_EQ(r.D, 0.0);
    EXPECT_EQ(r.listedIndex, 9);  // not a copied field

    int const mask[] = {1, 0, 1};  // indexed by locus number
    TPopHaplotype sub;
    sub.build_sub_haplotype(mask, src);
    EXPECT_EQ(text_of(sub), "A T ");
    EXPECT_EQ(al(2, 0)->sourcePos, 2);
    EXPECT_EQ(al(1, 0)->sourcePos, -1);  // dropped allele untouched
    EXPECT_EQ(sub.D, 0.0);

    TPopHaplotype s;
    s.frequency = 4.0;
    s.build_sampled_haplo(12, al(0, 0), al(1, 0));
    EXPECT_EQ(s.id, "12");
    EXPECT_EQ(s.frequency, 0.0);
    EXPECT_EQ(text_of(s), "A G ");

    int const keep[] = {0, 1, 1};
    shrink(src, keep);
    EXPECT_EQ(text_of(src), "G T ");
}

// ------------------------------------------------------------ insert / find

TEST(HaploStoreLookup, InsertAddsToExistingOrAppendsCopy) {
    Alleles al(Names{{"A", "C"}, {"G", "T"}});
    TPopHaploDB store;
    TPopHaplotype h = make({al(0, 0), al(1, 1)}, "h", 9.0);
    TPopHaplotype* p = store.insert(h, 1.5);
    ASSERT_NE(p, nullptr);
    EXPECT_NE(p, &h);  // the caller's haplotype is never stored
    EXPECT_EQ(p->frequency, 1.5);
    EXPECT_EQ(store.insert(h, 2.0), p);
    EXPECT_EQ(p->frequency, 3.5);
    EXPECT_EQ(store.haplotypes.count, 1);
    EXPECT_EQ(store.find(make({al(0, 1), al(1, 1)})), nullptr);
    EXPECT_EQ(store.find(make({al(0, 0)})), nullptr);
}

TEST(HaploStoreLookup, FirstEqualInStoredOrderAndNoReordering) {
    Alleles al(Names{{"A", "C"}, {"G", "T"}});
    TPopHaploDB store;
    TPopHaplotype ct = make({al(0, 1), al(1, 1)});
    TPopHaplotype ag = make({al(0, 0), al(1, 0)});
    store.insert(ct, 1.0);
    store.insert(ag, 3.0);
    store.explode_base();  // ct, ag, ag, ag: three equal entries
    ASSERT_EQ(store.haplotypes.count, 4);
    TPopHaplotype* firstAg = store.haplotypes.data[1];
    EXPECT_EQ(store.find(ag), firstAg);
    EXPECT_EQ(store.insert(ag, 0.5), firstAg);
    EXPECT_EQ(firstAg->frequency, 1.5);
    EXPECT_EQ(store.haplotypes.data[2]->frequency, 1.0);
    EXPECT_EQ(store.haplotypes.data[3]->frequency, 1.0);
    // Insertion order, not sorted order.
    EXPECT_EQ(store.haplotypes.data[0]->alleles.data[0], al(0, 1));

    // An entry appended behind the store's back is found too.
    TPopHaplotype ca = make({al(0, 1), al(1, 0)});
    store.haplotypes.Add(new TPopHaplotype(ca));
    EXPECT_EQ(store.find(ca), store.haplotypes.data[4]);
}

TEST(HaploStoreLookup, IndexFollowsEveryReshaping) {
    Alleles al(Names{{"A", "C", "G"}, {"A", "C"}, {"G", "T", "?"}});
    std::vector<int> const perLocus = {3, 2, 3};
    TPopHaploDB store;
    std::mt19937 gen(4);
    for (int n = 0; n < 60; ++n) {
        TPopHaplotype h = make({al(0, gen() % 3), al(1, gen() % 2), al(2, gen() % 3)});
        store.insert(h, 1.0 + gen() % 3);
    }
    expect_lookups_match_scan(store, al, perLocus);

    store.explode_base();
    expect_lookups_match_scan(store, al, perLocus);

    initialize_ran3(-77);
    int loci = 3;
    store.permute(&loci);
    expect_lookups_match_scan(store, al, perLocus);

    for (long i = 0; i < store.haplotypes.count; ++i) store.haplotypes.data[i]->frequency = (i % 4) * 0.25;
    store.cleanDB(0.5);
    expect_lookups_match_scan(store, al, perLocus);

    store.check_redundancy();
    expect_lookups_match_scan(store, al, perLocus);

    store.compact(&al.db, '?');
    ASSERT_EQ(store.polyFlags, (std::vector<int>{1, 1, 1}));  // every locus polymorphic: nothing dropped
    expect_lookups_match_scan(store, al, perLocus);

    // Outside in-place change, then an explicit resynchronisation.
    int const keep[] = {1, 1, 0};
    for (long i = 0; i < store.haplotypes.count; ++i) shrink(*store.haplotypes.data[i], keep);
    store.rebuild_index();
    expect_lookups_match_scan(store, al, perLocus);

    store.flush_haplotypes();
    EXPECT_EQ(store.haplotypes.count, 0);
    expect_lookups_match_scan(store, al, perLocus);
}

TEST(HaploStoreLookup, ManyDistinctHaplotypes) {
    // 40^3 distinct haplotypes inserted twice: each second insertion finds
    // the first copy.
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i) names.push_back("a" + std::to_string(i));
    Alleles al(Names{names, names, names});
    TPopHaploDB store;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 40; ++i) {
            for (int j = 0; j < 40; ++j) {
                for (int k = 0; k < 40; ++k) store.insert(make({al(0, i), al(1, j), al(2, k)}), 0.5);
            }
        }
    }
    ASSERT_EQ(store.haplotypes.count, 64000);
    for (long i = 0; i < store.haplotypes.count; i += 997) {
        TPopHaplotype* h = store.haplotypes.data[i];
        EXPECT_EQ(h->frequency, 1.0);
        EXPECT_EQ(store.find(*h), h);
    }
}

// ------------------------------------------------------------ simple passes

TEST(HaploStoreBasics, SelectCleanAndSums) {
    Alleles al(Names{{"A", "C", "G"}});
    TPopHaploDB store;
    TPopHaplotype* a = store.insert(make({al(0, 0)}), 0.25);
    TPopHaplotype* c = store.insert(make({al(0, 1)}), 0.25);
    TPopHaplotype* g = store.insert(make({al(0, 2)}), 0.5);

    EXPECT_EQ(store.select_haplotype(0.0), a);
    EXPECT_EQ(store.select_haplotype(0.25), c);  // equal to a running sum: the next one
    EXPECT_EQ(store.select_haplotype(0.999), g);
    EXPECT_EQ(store.select_haplotype(1.0), nullptr);

    c->homoCount = 2;
    g->homoCount = 1;
    // 2 / (0.25 + 0.2 * 0.75) + 1 / (0.5 + 0.2 * 0.5) = 5 + 5/3
    EXPECT_NEAR(store.sum_homoz_inbreeding(0.2), 5.0 + 5.0 / 3.0, 1e-12);
    store.reset_homo_count();
    EXPECT_EQ(store.sum_homoz_inbreeding(0.2), 0.0);

    // ln(2!) + ln(3!) with frequencies as counts 2.7 and 3.2 (truncated).
    a->frequency = 2.7;
    c->frequency = 3.2;
    g->frequency = 0.0;
    EXPECT_NEAR(store.calc_hapl_lk_dis(), std::log(2.0) + std::log(6.0), 1e-12);

    EXPECT_EQ(store.cleanDB(2.7), 2);  // a frequency equal to the bound stays
    EXPECT_EQ(store.haplotypes.data[1], c);
}

TEST(HaploStoreBasics, CopyIsDeep) {
    Alleles al(Names{{"A", "C"}, {"G"}});
    TPopHaploDB store;
    store.insert(make({al(0, 0), al(1, 0)}, "x", 0.0, '\0'), 0.4);
    store.build_reference_haplotype(&al.db, '?');
    TPopHaploDB copy(store);
    ASSERT_EQ(copy.haplotypes.count, 1);
    EXPECT_NE(copy.haplotypes.data[0], store.haplotypes.data[0]);
    EXPECT_EQ(copy.polyFlags, store.polyFlags);
    ASSERT_NE(copy.refHaplotype, nullptr);
    EXPECT_NE(copy.refHaplotype.get(), store.refHaplotype.get());
    EXPECT_EQ(copy.find(make({al(0, 0), al(1, 0)})), copy.haplotypes.data[0]);

    TPopHaploDB target;
    target.insert(make({al(0, 1)}), 1.0);
    target = store;
    ASSERT_EQ(target.haplotypes.count, 1);
    EXPECT_EQ(target.haplotypes.data[0]->frequency, 0.4);
    target.empty();
    EXPECT_EQ(target.haplotypes.count, 0);
    EXPECT_EQ(target.refHaplotype, nullptr);
}

// ------------------------------------------------------------ EM helpers

TEST(HaploStoreEM, StartValuesFromTheRunningStream) {
    Alleles al(Names{{"A", "C", "G"}});
    TPopHaploDB store;
    TPopHaplotype* a = store.insert(make({al(0, 0)}), 0.0);
    TPopHaplotype* c = store.insert(make({al(0, 1)}), 0.0);
    TPopHaplotype* g = store.insert(make({al(0, 2)}), 0.0);

    // k = 0: equal start frequencies.
    EXPECT_DOUBLE_EQ(store.assign_rand_init_freq(0), 1.0 / 3.0);
    EXPECT_DOUBLE_EQ(c->frequency, 1.0 / 3.0);
    EXPECT_EQ(c->prevFrequency, c->frequency);

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
    EXPECT_EQ(g->prevFrequency, g->frequency);
    EXPECT_DOUBLE_EQ(smallest, w[0] / sum);  // the fixed weight 1 is the least
    EXPECT_NEAR(a->frequency + c->frequency + g->frequency, 1.0, 1e-15);

    TPopHaploDB none;
    EXPECT_EQ(none.assign_rand_init_freq(3), 3.4028234663852886e38);
}

TEST(HaploStoreEM, ConvergenceMeasuresTheSummedChange) {
    Alleles al(Names{{"A", "C"}});
    TPopHaploDB store;
    TPopHaplotype* a = store.insert(make({al(0, 0)}), 0.0);
    TPopHaplotype* c = store.insert(make({al(0, 1)}), 0.0);
    store.assign_rand_init_freq(0);  // 0.5 and 0.5
    EXPECT_TRUE(store.convergence(1e-12));
    // One EM step moved them to 0.6 / 0.4: summed change 0.2.
    a->frequency = 0.6;
    c->frequency = 0.4;
    EXPECT_FALSE(store.convergence(0.15));
    EXPECT_EQ(a->prevFrequency, 0.6);  // caught up in the same pass
    a->frequency = 0.61;
    c->frequency = 0.39;
    EXPECT_TRUE(store.convergence(0.05));  // change 0.02

    TPopHaploDB empty;
    EXPECT_TRUE(empty.convergence(1e-9));
    EXPECT_FALSE(empty.convergence(0.0));
}

TEST(HaploStoreEM, BootstrapStandardDeviation) {
    Alleles al(Names{{"A", "C", "G"}});
    TPopHaplotype const a = make({al(0, 0)});
    TPopHaplotype const c = make({al(0, 1)});
    TPopHaplotype const g = make({al(0, 2)});
    TPopHaploDB store;
    TPopHaplotype* sa = store.insert(a, 0.5);
    TPopHaplotype* sc = store.insert(c, 0.5);
    TPopHaplotype* sg = store.insert(g, 0.0);

    // Replicate estimates of a: 0.4, 0.6 and absent (0).
    TPopHaploDB r1, r2, r3;
    r1.insert(a, 0.4);
    r1.insert(g, 0.3);
    r2.insert(a, 0.6);
    r3.insert(c, 1.0);
    for (TPopHaploDB const* r : {&r1, &r2, &r3}) store.sums_hapl_frequencies(*r, 1e-7);
    EXPECT_DOUBLE_EQ(sa->repSum, 1.0);
    EXPECT_DOUBLE_EQ(sa->sd, 0.52);
    EXPECT_EQ(sg->repSum, 0.0);  // frequency not above the bound: not accumulated

    store.calc_sd(1);
    EXPECT_DOUBLE_EQ(sa->sd, 0.52);  // one replicate: unchanged

    store.calc_sd(3);
    // Sample s.d. of 0.4, 0.6, 0: mean 1/3, squared deviations sum 0.186667.
    EXPECT_NEAR(sa->sd, 0.305505, 1e-6);
    // c: 0, 0, 1: squared deviations sum 2/3.
    EXPECT_NEAR(sc->sd, std::sqrt(1.0 / 3.0), 1e-12);
    EXPECT_EQ(sg->sd, 0.0);
}

// ------------------------------------------------------------ disequilibrium

TEST(HaploStoreDisequilibrium, TwoLocusByHand) {
    // AB 0.4, Ab 0.2, aB 0.3, ab 0.1: pA = 0.6, pB = 0.7.
    Alleles al(Names{{"A", "a"}, {"B", "b"}});
    TPopHaploDB store;
    TPopHaplotype* AB = store.insert(make({al(0, 0), al(1, 0)}), 0.4);
    TPopHaplotype* Ab = store.insert(make({al(0, 0), al(1, 1)}), 0.2);
    TPopHaplotype* aB = store.insert(make({al(0, 1), al(1, 0)}), 0.3);
    TPopHaplotype* ab = store.insert(make({al(0, 1), al(1, 1)}), 0.1);
    EXPECT_EQ(store.update_lk_equil(), 1);

    // AB: D = 0.4 - 0.42 = -0.02 < 0, Dmax = min(0.6 * 0.7, 0.4 * 0.3) = 0.12.
    EXPECT_NEAR(AB->D, -0.02, 1e-12);
    EXPECT_NEAR(AB->Dprime, -1.0 / 6.0, 1e-12);
    // Ab: D = 0.2 - 0.6 * 0.3 = 0.02 > 0, Dmax = min(0.7 * 0.6, 0.4 * 0.3) = 0.12.
    EXPECT_NEAR(Ab->D, 0.02, 1e-12);
    EXPECT_NEAR(Ab->Dprime, 1.0 / 6.0, 1e-12);
    // aB: D = 0.3 - 0.4 * 0.7 = 0.02, Dmax = min(0.3 * 0.4, 0.6 * 0.7) = 0.12.
    EXPECT_NEAR(aB->D, 0.02, 1e-12);
    EXPECT_NEAR(aB->Dprime, 1.0 / 6.0, 1e-12);
    // ab: D = 0.1 - 0.4 * 0.3 = -0.02, Dmax = min(0.12, 0.6 * 0.7) = 0.12.
    EXPECT_NEAR(ab->D, -0.02, 1e-12);
    EXPECT_NEAR(ab->Dprime, -1.0 / 6.0, 1e-12);
}

// ------------------------------------------------------------ reshaping

TEST(HaploStoreReshape, RedundancyMergesIntoTheFirstCopy) {
    Alleles al(Names{{"A", "C"}, {"G", "T"}});
    TPopHaploDB store;
    TPopHaplotype const ag = make({al(0, 0), al(1, 0)});
    TPopHaplotype const ct = make({al(0, 1), al(1, 1)});
    double const f[] = {0.25, 0.5, 0.125, 0.0625, 0.03125};
    TPopHaplotype const* order[] = {&ag, &ct, &ag, &ct, &ag};
    for (int i = 0; i < 5; ++i) {
        auto* h = new TPopHaplotype(*order[i]);
        h->frequency = f[i];
        store.haplotypes.Add(h);
    }
    TPopHaplotype* first = store.haplotypes.data[0];
    TPopHaplotype* second = store.haplotypes.data[1];
    store.check_redundancy();
    ASSERT_EQ(store.haplotypes.count, 2);
    EXPECT_EQ(store.haplotypes.data[0], first);
    EXPECT_EQ(store.haplotypes.data[1], second);
    EXPECT_EQ(first->frequency, 0.25 + 0.125 + 0.03125);
    EXPECT_EQ(second->frequency, 0.5 + 0.0625);
    EXPECT_EQ(store.find(ct), second);
}

TEST_F(HaploStoreReshapeLogged, ExplodeIntoUnitEntries) {
    Alleles al(Names{{"A", "C", "G"}});
    TPopHaploDB store;
    store.insert(make({al(0, 0)}), 3.0);
    store.insert(make({al(0, 1)}), 1.0);
    store.insert(make({al(0, 2)}), 2.5);  // not a count: warned, k = 2
    store.explode_base();
    std::string const text = log();

    ASSERT_EQ(store.haplotypes.count, 6);
    char const* expected[] = {"A", "C", "G", "A", "A", "G"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(store.haplotypes.data[i]->alleles.data[0]->name, expected[i]) << i;
        EXPECT_EQ(store.haplotypes.data[i]->frequency, 1.0) << i;
    }
    EXPECT_NE(text.find("from function \"TPopHaploDB::explode_base()\" : "
                        "haplotype frequencies are not absolute frequencies"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("WARNING # 2"), std::string::npos) << text;  // only the 2.5 entry
}

TEST(HaploStoreReshape, PermutationKeepsAlleleCountsAndFollowsTheStream) {
    Alleles al(Names{{"A", "C", "G", "T"}, {"a", "c"}, {"x", "y", "z"}});
    TPopHaploDB store;
    std::vector<std::vector<TAllele*>> model;
    for (int i = 0; i < 12; ++i) {
        std::vector<TAllele*> alleles = {al(0, i % 4), al(1, i % 2), al(2, i % 3)};
        auto* h = new TPopHaplotype(make(alleles, "h", 0.01 * i));
        store.haplotypes.Add(h);
        model.push_back(alleles);
    }
    store.rebuild_index();
    std::map<TAllele*, int> before, after;
    for (auto const& alleles : model) {
        for (TAllele* a : alleles) ++before[a];
    }

    // The same shuffle transcribed on a plain model.
    long const n = 12;
    int nLoci = 2;  // the third locus stays in place
    initialize_ran3(-99);
    long one = 1;
    for (int l = 0; l < nLoci; ++l) {
        for (long i = 0; i < n; ++i) {
            long const j = i + static_cast<long>((n - i) * ran3(&one));
            std::swap(model[i][l], model[j][l]);
        }
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
        EXPECT_EQ(h->alleles.data[2], al(2, i % 3));
    }
    EXPECT_EQ(before, after);
    // The draws really moved something.
    bool moved = false;
    for (int i = 0; i < 12; ++i) moved = moved || store.haplotypes.data[i]->alleles.data[0] != al(0, i % 4);
    EXPECT_TRUE(moved);
}

TEST(HaploStoreReshape, ReferenceHaplotypeAndCompaction) {
    Alleles al(Names{{"A", "C"}, {"G"}, {"?", "T"}});
    TPopHaploDB store;
    TPopHaplotype* x = store.insert(make({al(0, 1), al(1, 0), al(2, 1)}, "x", 0.0, '\0'), 0.6);
    store.compact(&al.db, '?');
    EXPECT_EQ(store.polyFlags, (std::vector<int>{1, 0, 1}));
    ASSERT_NE(store.refHaplotype, nullptr);
    EXPECT_EQ(store.refHaplotype->separator, '\0');  // taken from the first haplotype
    ASSERT_EQ(store.refHaplotype->alleles.count, 3);
    EXPECT_EQ(store.refHaplotype->alleles.data[0], al(0, 0));
    EXPECT_EQ(store.refHaplotype->alleles.data[1], al(1, 0));
    EXPECT_EQ(store.refHaplotype->alleles.data[2], al(2, 1));  // first is the missing-data allele
    EXPECT_EQ(text_of(*x), "CT");
    // A second compaction must not cut an already compacted haplotype.
    store.compact(&al.db, '?');
    EXPECT_EQ(text_of(*x), "CT");
    EXPECT_EQ(store.find(make({al(0, 1), al(2, 1)})), x);

    Alleles mono(Names{{"A"}, {"G"}});
    TPopHaploDB plain;
    TPopHaplotype* y = plain.insert(make({mono(0, 0), mono(1, 0)}), 1.0);
    plain.compact(&mono.db, '?');
    EXPECT_TRUE(plain.polyFlags.empty());
    EXPECT_EQ(plain.refHaplotype, nullptr);
    EXPECT_EQ(y->alleles.count, 2);

    int three = 3;
    plain.init_ref_hapl(&three);
    ASSERT_NE(plain.refHaplotype, nullptr);
    EXPECT_EQ(text_of(*plain.refHaplotype), "UNDEF UNDEF UNDEF ");
    TPopHaploDB copy(plain);
    plain.empty();  // the copy's reference stays valid
    EXPECT_EQ(text_of(*copy.refHaplotype), "UNDEF UNDEF UNDEF ");
}

// ------------------------------------------------------------ printing

TEST(HaploStorePrint, PlainTable) {
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
    EXPECT_EQ(h1->listedIndex, 2);
    // The store itself keeps insertion order.
    EXPECT_EQ(store.haplotypes.data[0], h1);
}

TEST(HaploStorePrint, ExpandedRowsFromACompactedStore) {
    Alleles al(Names{{"A", "C"}, {"G"}, {"?", "T"}});
    TPopHaploDB store;
    store.insert(make({al(0, 1), al(1, 0), al(2, 1)}, "x1", 0.0, '\0'), 0.6);
    store.insert(make({al(0, 0), al(1, 0), al(2, 0)}, "x2", 0.0, '\0'), 0.4);
    store.compact(&al.db, '?');
    std::ostringstream os;
    store.print(os, 1, 0.001);
    std::string const expected =
        "\n------------------------------------------\n"
        "Maximum-likelihood haplotype frequencies :\n"
        "------------------------------------------\n\n"
        "Total number of possible haplotypes      :              2\n"
        "Minimum frequency to reach for output    :      1.000e-03\n\n"
        "---------------------------------------\n"
        "    #   Haplotype     Freq.      s.d.\n"
        "---------------------------------------\n\n"
        "    1          x2\t  0.400000  0.000000\tAG?\n"
        "    2          x1\t  0.600000  0.000000\tCGT\n"
        "---------------------------------------\n\n"
        "Sum of all 2 haplotype frequencies : 1.000000\n\n"
        "Sum of 2 listed frequencies : 1.000000\n\n";
    EXPECT_EQ(os.str(), expected);

    // Mode 0 prints the compacted haplotypes as they are.
    std::ostringstream plain;
    store.print(plain, 0, 0.001);
    EXPECT_NE(plain.str().find("    1          x2  0.400000    0.000000\tA?\n"), std::string::npos) << plain.str();
}

TEST(HaploStorePrint, NothingAboveTheThreshold) {
    Alleles al(Names{{"A", "C"}, {"G", "T"}});
    TPopHaploDB store;
    TPopHaplotype* a = store.insert(make({al(0, 1), al(1, 0)}), 0.2);
    TPopHaplotype* b = store.insert(make({al(0, 0)}), 0.2);  // shorter, sorts first
    std::ostringstream os;
    store.print(os, 1, 0.2);  // not above: nothing listed
    std::string const s = os.str();
    EXPECT_EQ(s.find("\tC"), std::string::npos);
    EXPECT_NE(s.find("Sum of all 2 haplotype frequencies : 0.400000\n\n"), std::string::npos) << s;
    EXPECT_TRUE(s.ends_with("\n\nSum of 0 listed frequencies : 0.000000\n\n")) << s;
    EXPECT_EQ(b->listedIndex, -1);
    EXPECT_EQ(a->listedIndex, -2);
}

TEST(HaploStorePrint, StreamOutputOfTheStore) {
    Alleles al(Names{{"A", "C"}, {"G", "T"}});
    TPopHaploDB store;
    store.insert(make({al(0, 1), al(1, 0)}), 0.5);
    store.insert(make({al(0, 0), al(1, 1)}, "n", 0.0, '\0'), 0.25);
    std::ostringstream os;
    os << store;
    EXPECT_EQ(os.str(), "C G   0.5\nAT  0.25\n\n");
}

}  // namespace
}  // namespace quintle
