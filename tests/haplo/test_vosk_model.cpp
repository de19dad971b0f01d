// The data model of the phasing sampler: which loci it keeps, how it codes
// alleles, the heterozygous sites and local loci of an individual, the
// equality and order of sampled phases, and the list of estimated
// haplotypes. Expected values worked out by hand from the inputs shown.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "haplo/TGamete.h"
#include "haplo/TGenotIndividual.h"
#include "haplo/TGenotSample.h"
#include "haplo/vosk_chain.h"
#include "support/process_state.h"
#include "vosk_test_support.h"

namespace quintle {
namespace {

using vosk_test::Individuals;

std::string name_of(TAllele const* a) { return a == nullptr ? "none" : a->name.c_str(); }

std::vector<int> first(std::vector<int> const& v, int n) { return {v.begin(), v.begin() + n}; }

TEST(VoskSample, KeepsLociOfTwoRealAllelesAndTakesTheFirstRealOneAsReference) {
    test::ProfileGuard profile(DNA);
    Individuals d(5);
    // Locus 0 two alleles; 1 one allele; 2 one allele, the first individual
    // missing there; 3 missing everywhere; 4 three alleles.
    d.add("AC??A", "GC??C");
    d.add("GCT?G", "GCT?A");
    auto s = d.sample();

    EXPECT_EQ(s->numPolymorphic, 2);
    EXPECT_EQ(s->phasing.numLoci, 2);
    ASSERT_EQ(s->referenceAlleles.size(), 5u);
    std::vector<bool> const flags(s->polymorphic.get(), s->polymorphic.get() + 5);
    EXPECT_EQ(flags, (std::vector<bool>{true, false, false, false, true}));
    // The reference of locus 2 is its real allele, not the missing one read
    // first; locus 3 has none (written as the missing-data character).
    EXPECT_EQ(name_of(s->referenceAlleles[1]), "C");
    EXPECT_EQ(name_of(s->referenceAlleles[2]), "T");
    EXPECT_EQ(name_of(s->referenceAlleles[3]), "none");

    // Only the polymorphic loci are stored, as positions in their lists.
    TGenotIndividual const& i1 = s->current[0];
    EXPECT_EQ(i1.gamete1.alleles, (std::vector<int>{d.code(0, "A"), d.code(4, "A")}));
    EXPECT_EQ(i1.gamete2.alleles, (std::vector<int>{d.code(0, "G"), d.code(4, "C")}));
    EXPECT_TRUE(i1.gamete1.sizes.empty());
}

TEST(VoskSample, WithoutPolymorphicLociStoresNothingAndNobodyIsAmbiguous) {
    test::ProfileGuard profile(DNA);
    Individuals d(3);
    d.add("AC?", "AC?");
    d.add("A?T", "ACT");
    auto s = d.sample();
    EXPECT_EQ(s->numPolymorphic, 0);
    for (TGenotIndividual& g : s->current) {
        EXPECT_TRUE(g.gamete1.alleles.empty());
        EXPECT_FALSE(g.checkIfAmbiguousAndFillArrays(s->phasing.winAroundHetSites));
    }
}

TEST(VoskSample, MicrosatelliteMissingAllelesHaveNoSize) {
    test::ProfileGuard profile(MICROSAT);
    Individuals d(3);
    d.add({"120", "130", "?"}, {"?", "134", "150"});
    d.add({"124", "130", "152"}, {"120", "134", "150"});
    auto s = d.sample();
    TGenotIndividual& i1 = s->current[0];
    EXPECT_EQ(i1.gamete1.sizes, (std::vector<int>{120, 130, -1}));
    EXPECT_EQ(i1.gamete2.sizes, (std::vector<int>{-1, 134, 150}));
    // The allele positions still show the missing alleles as missing.
    EXPECT_EQ(i1.gamete1.alleles[2], -1);
    EXPECT_EQ(i1.gamete2.alleles[0], -1);
    // Heterozygous at locus 1 only: a missing allele is no allele of size 0.
    EXPECT_FALSE(i1.checkIfAmbiguousAndFillArrays(5));
    EXPECT_EQ(i1.hetCount, 1);
    EXPECT_TRUE(i1.hasMissing);
    TGenotIndividual& i2 = s->current[1];
    EXPECT_TRUE(i2.checkIfAmbiguousAndFillArrays(5));
    EXPECT_EQ(i2.hetCount, 3);
    EXPECT_FALSE(i2.hasMissing);
}

// One individual given by its codes (-1 missing) and an influence zone:
// what checkIfAmbiguousAndFillArrays makes of it.
struct LocalCase {
    char const* what;
    std::vector<int> g1, g2;
    int zone;
    std::vector<int> local;  // the local list up to the local count
    std::vector<int> het;    // het positions
    std::vector<char> flags;
    bool ambiguous;
    bool missing;
};

TEST(VoskIndividual, HeterozygousSitesAndLocalLoci) {
    test::ProfileGuard profile(DNA);
    int const M = -1;
    std::vector<LocalCase> const cases = {
        {"zone 0: the heterozygous sites alone",
         {1, 1, 2, 1, 1},
         {1, 2, 2, 2, 1},
         0,
         {1, 3},
         {0, 1},
         {1, 1, 0, 0, 0},
         true,
         false},
        {"one heterozygous site is not ambiguous", {1, 1, 2}, {1, 2, 2}, 0, {1}, {0}, {1, 0, 0}, false, false},
        {"a missing code makes no heterozygous site", {1, M, 2}, {2, 2, 1}, 0, {0, 2}, {0, 1}, {1, 1, 0}, true, true},
        // Zone 2: from locus 0 it marks 0 backwards and 0, 1 forwards; from
        // locus 5 it marks 5, 4 backwards and 5, 7 forwards (locus 6 is
        // missing in both gametes: skipped, not counted).
        {"zone 2 around the sites, skipping loci missing in both",
         {1, 1, 1, 1, 1, 1, M, 1},
         {2, 1, 1, 1, 1, 2, M, 1},
         2,
         {0, 1, 4, 5, 7},
         {0, 3},
         {1, 0, 0, 1, 0, 0, 0, 0},
         true,
         true},
        // Zone 5 with a site at locus 0: the forward walk alone marks 0, 1,
        // 3, 4, 5 (2 skipped); the site at 1 adds 6.
        {"zone 5 from the first locus",
         {1, 1, M, 1, 1, 1, 1, 1, 1},
         {2, 2, M, 1, 1, 1, 1, 1, 1},
         5,
         {0, 1, 3, 4, 5, 6},
         {0, 1},
         {1, 1, 0, 0, 0, 0, 0, 0, 0},
         true,
         true},
        // A negative zone makes every locus local at its own position, also
        // one with a missing code, which windows then cover; the flags stay
        // per locus.
        {"negative zone: every locus",
         {1, 1, M, 1, 2},
         {2, 1, 1, 1, 1},
         -1,
         {0, 1, 2, 3, 4},
         {0, 4},
         {1, 0, 0, 0, 1},
         true,
         true},
    };
    for (LocalCase const& c : cases) {
        SCOPED_TRACE(c.what);
        TGenotIndividual g;
        g.allocateLoci(static_cast<int>(c.g1.size()), false);
        g.gamete1.alleles = c.g1;
        g.gamete2.alleles = c.g2;
        EXPECT_EQ(g.checkIfAmbiguousAndFillArrays(c.zone), c.ambiguous);
        EXPECT_EQ(g.ambiguous, c.ambiguous);
        EXPECT_EQ(g.hasMissing, c.missing);
        ASSERT_EQ(g.localCount, static_cast<int>(c.local.size()));
        EXPECT_EQ(first(g.localList, g.localCount), c.local);
        ASSERT_EQ(g.hetCount, static_cast<int>(c.het.size()));
        EXPECT_EQ(first(g.hetPositions, g.hetCount), c.het);
        EXPECT_EQ(g.hetFlags, c.flags);
    }
}

TGenotIndividual phase(std::vector<int> g1, std::vector<int> g2, int count = 0) {
    TGenotIndividual p;
    p.gamete1.alleles = std::move(g1);
    p.gamete2.alleles = std::move(g2);
    p.count = count;
    return p;
}

TEST(VoskIndividual, CopiesThePhaseButNotTheWindows) {
    test::ProfileGuard profile(DNA);
    TGenotIndividual source;
    source.allocateLoci(3, false);
    source.gamete1.alleles = {1, 1, 2};
    source.gamete2.alleles = {2, 1, 1};
    source.count = 4;
    source.checkIfAmbiguousAndFillArrays(0);
    source.window1[0] = VoskWindow{0, 3, 2, 1.5};

    TGenotIndividual copy(source);
    TGenotIndividual assigned;
    assigned = source;
    for (TGenotIndividual const* c : {&copy, &assigned}) {
        EXPECT_EQ(c->gamete1.alleles, source.gamete1.alleles);
        EXPECT_EQ(c->count, 4);
        EXPECT_TRUE(c->ambiguous);
        EXPECT_EQ(c->hetCount, 2);
        EXPECT_EQ(c->localCount, 2);
        EXPECT_EQ(c->hetPositions, source.hetPositions);
        EXPECT_EQ(c->localList, source.localList);
        EXPECT_TRUE(c->window1.empty());
        EXPECT_TRUE(c->visitingOrder.empty());
        EXPECT_TRUE(c->hetFlags.empty());
        // Comparisons read the copy's own gametes.
        EXPECT_EQ(c->compared1(), c->gamete1.alleles.data());
    }
}

TEST(VoskIndividual, SamePhaseInEitherGameteOrderOverTheKnownLoci) {
    int const M = -1;
    TGenotIndividual const p = phase({1, 2, 1, M}, {2, 1, 1, 3});
    EXPECT_TRUE(p == phase({1, 2, 1, 3}, {2, 1, 1, 3}));
    EXPECT_TRUE(p == phase({2, 1, 1, 3}, {1, 2, 1, 3}));   // labels exchanged
    EXPECT_TRUE(p == phase({1, 2, 1, 2}, {2, 1, 1, 1}));   // locus 3 unknown in p
    EXPECT_FALSE(p == phase({1, 1, 1, 3}, {2, 2, 1, 3}));  // one switch
    EXPECT_FALSE(p == phase({2, 2, 1, 3}, {1, 1, 1, 3}));
}

TEST(VoskIndividual, DifferenceIsMismatchesOrSwitches) {
    int const M = -1;
    TGenotIndividual const p = phase({1, 1, 1, 1, M}, {2, 2, 2, 2, 2});
    // Same genotypes: the switches along the other's gametes.
    EXPECT_EQ(p - phase({1, 1, 1, 1, 2}, {2, 2, 2, 2, 1}), 0);
    EXPECT_EQ(p - phase({2, 2, 2, 2, 1}, {1, 1, 1, 1, 2}), 0);
    EXPECT_EQ(p - phase({1, 1, 2, 2, 1}, {2, 2, 1, 1, 1}), 1);
    EXPECT_EQ(p - phase({1, 2, 1, 2, 1}, {2, 1, 2, 1, 1}), 3);
    // Genotypes differing at two known loci.
    EXPECT_EQ(p - phase({1, 1, 3, 1, 1}, {2, 2, 2, 3, 1}), -2);
}

TEST(VoskPhases, SortPutsTheFirstLargestCountFirstAndHeapSortsTheRest) {
    // Counts of ten distinct phases, tagged by their first allele. The
    // order among equal counts is the heap sort's, worked out with a
    // separate transcription of it; the sampled-phase files draw along it.
    std::vector<int> const counts = {3, 7, 2, 7, 5, 7, 1, 5, 3, 7};
    MY_TArrayAsVector<TGenotIndividual> list;
    for (int tag = 0; tag < 10; ++tag) list.Add(phase({tag}, {tag}, counts[static_cast<std::size_t>(tag)]));
    list.quickSortArray();
    std::vector<int> order;
    for (long i = 0; i < list.count; ++i) order.push_back(list.data[i].gamete1.alleles[0]);
    EXPECT_EQ(order, (std::vector<int>{1, 3, 5, 9, 7, 4, 0, 8, 2, 6}));
    // The sampler sorts its compact entries the same way.
    MY_TArrayAsVector<SampledPhaseRank> ranks;
    for (int tag = 0; tag < 10; ++tag) ranks.Add(SampledPhaseRank{counts[static_cast<std::size_t>(tag)], tag});
    ranks.quickSortArray();
    std::vector<int> entries;
    for (long i = 0; i < ranks.count; ++i) entries.push_back(ranks.data[i].entry);
    EXPECT_EQ(entries, order);
}

TEST(VoskPhases, RandomPhaseWalksTheCountsInListOrder) {
    MY_TArrayAsVector<TGenotIndividual> list;
    list.Add(phase({0}, {0}, 6));
    list.Add(phase({1}, {1}, 3));
    list.Add(phase({2}, {2}, 1));
    vosk_test::RecordedStream const stream(7, 4);
    std::vector<double> const& u = stream.u;
    std::vector<int> picks;
    for (int k = 0; k < 4; ++k) picks.push_back(getRandomPhase(list, 10)->gamete1.alleles[0]);
    for (int k = 0; k < 4; ++k) {
        double const v = u[static_cast<std::size_t>(k)];
        int const expected = v <= 0.6 ? 0 : v <= 0.9 ? 1 : 2;
        EXPECT_EQ(picks[static_cast<std::size_t>(k)], expected) << "draw " << v;
    }
    MY_TArrayAsVector<TGenotIndividual> empty;
    EXPECT_EQ(getRandomPhase(empty, 10), nullptr);
}

TEST(VoskHaplotypes, EstimatedHaplotypesAreTheDistinctBestGametes) {
    test::ProfileGuard profile(DNA);
    Individuals d(2);
    d.add("AC", "GT");
    d.add("AC", "GC");
    d.add("A?", "GT");
    auto s = d.sample();
    int const A = d.code(0, "A"), G = d.code(0, "G"), C = d.code(1, "C"), T = d.code(1, "T");
    s->best[0] = phase({A, C}, {G, T});
    s->best[1] = phase({G, T}, {A, C});
    s->best[2] = phase({A, -1}, {G, T});
    s->constructEstimatedHaploDB();
    ASSERT_EQ(s->estimatedHaplotypes.count, 3);
    // A missing allele makes a haplotype of its own.
    EXPECT_EQ(s->estimatedHaplotypes.data[0].alleles, (std::vector<int>{A, C}));
    EXPECT_EQ(s->estimatedHaplotypes.data[1].alleles, (std::vector<int>{G, T}));
    EXPECT_EQ(s->estimatedHaplotypes.data[2].alleles, (std::vector<int>{A, -1}));
    EXPECT_EQ(s->estimatedHaplotypes.data[0].count, 2);
    EXPECT_EQ(s->estimatedHaplotypes.data[1].count, 3);
    EXPECT_EQ(s->estimatedHaplotypes.data[2].count, 1);
    EXPECT_EQ(s->best[1].gamete1.haplotypeIndex, 1);
    EXPECT_EQ(s->best[1].gamete2.haplotypeIndex, 0);
    EXPECT_EQ(s->best[2].gamete1.haplotypeIndex, 2);
}

TEST(VoskSample, CopyIsDeepAndWritesTheSamePhases) {
    test::ProfileGuard profile(DNA);
    Individuals d(3);
    d.add("ACG", "GTG");
    d.add("?CG", "GCG");
    auto s = d.sample();
    TGenotSample copy(*s);
    std::ostringstream a, b;
    s->writeSample(a, d.db);
    copy.writeSample(b, d.db);
    EXPECT_EQ(a.str(), "0\tA C \n\tG T \n0\t? C \n\tG C \n");
    EXPECT_EQ(b.str(), a.str());
    s->current[0].exchangeAt(0);
    std::ostringstream c;
    copy.writeSample(c, d.db);
    EXPECT_EQ(c.str(), a.str());
}

}  // namespace
}  // namespace quintle
