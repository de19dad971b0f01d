// Tests of alleles, loci and the allele catalogue.

#include "data/TAllele.h"
#include "data/TAlleleDB.h"
#include "data/TLocus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/random.h"

namespace quintle {
namespace {

// The class-wide array lengths are process state: every test leaves them as
// it found them.
class AlleleTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedPop_ = TAllele::numPop;
        savedGroup_ = TAllele::numGroup;
    }
    void TearDown() override {
        TAllele::numPop = savedPop_;
        TAllele::numGroup = savedGroup_;
    }

private:
    int savedPop_ = 0;
    int savedGroup_ = 0;
};

std::string text(my_string const& s) { return std::string(s.c_str()); }

std::string numbered(char const* prefix, int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%04d", prefix, i);
    return buf;
}

// ------------------------------------------------------------- TAllele

using AlleleValueTest = AlleleTest;

TEST_F(AlleleValueTest, CopyTakesEverythingButTheSourcePosition) {
    TAllele::numPop = 2;
    TAllele::numGroup = 1;
    TAllele a;
    a.name = "A12";
    a.weight = 3.5;
    a.locus = 4;
    a.sourcePos = 9;
    a.selected = 0;
    a.expFreq = 0.25;
    a.inbreedingCorr = 0.125;
    a.popFreq = FreqArray::zeros(2);
    a.popFreq[0] = 0.1;
    a.popFreq[1] = 0.9;

    TAllele b(a);
    EXPECT_EQ(text(b.name), "A12");
    EXPECT_EQ(b.weight, 3.5);
    EXPECT_EQ(b.locus, 4);
    EXPECT_EQ(b.selected, 0);
    EXPECT_EQ(b.expFreq, 0.25);
    EXPECT_EQ(b.inbreedingCorr, 0.125);
    EXPECT_NE(b.sourcePos, 9);
    ASSERT_TRUE(b.popFreq);
    EXPECT_NE(b.popFreq.get(), a.popFreq.get());
    EXPECT_EQ(b.popFreq[0], 0.1);
    EXPECT_EQ(b.popFreq[1], 0.9);
    EXPECT_TRUE(b.groupFreq == nullptr);

    TAllele c;
    c.sourcePos = 5;
    c.groupFreq = FreqArray::zeros(1);
    c = a;
    EXPECT_EQ(c.sourcePos, 5);            // assignment leaves it alone
    EXPECT_TRUE(c.groupFreq == nullptr);  // the source has none
}

// A copy takes the class-wide length in force when it is made, not the
// length the source was created with: longer means zeros past the source,
// shorter means the source's leading values (checked under the sanitizers
// for reads past the source's end).
TEST_F(AlleleValueTest, CopyAfterTheClassWideLengthChanged) {
    TAllele::numPop = 3;
    TAllele::numGroup = 2;
    TAllele a;
    a.popFreq = FreqArray::zeros(3);
    a.groupFreq = FreqArray::zeros(2);
    for (int i = 0; i < 3; ++i) a.popFreq[i] = i + 1.0;
    a.groupFreq[0] = 7.0;
    a.groupFreq[1] = 8.0;

    TAllele::numPop = 6;
    TAllele::numGroup = 1;
    TAllele longer(a);
    ASSERT_EQ(longer.popFreq.size(), 6);
    const double expectLonger[] = {1.0, 2.0, 3.0, 0.0, 0.0, 0.0};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(longer.popFreq[i], expectLonger[i]) << i;
    ASSERT_EQ(longer.groupFreq.size(), 1);
    EXPECT_EQ(longer.groupFreq[0], 7.0);

    TAllele::numPop = 0;
    TAllele none(a);
    EXPECT_TRUE(none.popFreq);  // the source has an array, so the copy has one
    EXPECT_EQ(none.popFreq.size(), 0);
}

// --------------------------------------------------------- InsertAllPos

using InsertTest = AlleleTest;

TEST_F(InsertTest, RepeatedNameAccumulatesWeight) {
    TAlleleDB db;
    EXPECT_EQ(db.InsertAllPos(0, my_string("A"), 1.0), 0);
    EXPECT_EQ(db.InsertAllPos(0, my_string("A"), 1.0), 0);
    EXPECT_EQ(db.InsertAllPos(0, my_string("C"), 0.5), 1);
    ASSERT_EQ(db.loci.count, 1);
    TLocus const* l = db.loci.data[0];
    ASSERT_EQ(l->alleles.count, 2);
    TAllele const* a = l->alleles.data[0];
    EXPECT_EQ(text(a->name), "A");
    EXPECT_EQ(a->weight, 2.0);
    EXPECT_EQ(a->locus, 0);
    EXPECT_EQ(l->alleles.data[1]->weight, 0.5);
}

TEST_F(InsertTest, IndexBeyondTheEndAppendsOneLocus) {
    TAlleleDB db;
    EXPECT_EQ(db.InsertAllPos(3, my_string("A"), 1.0), 0);
    ASSERT_EQ(db.loci.count, 1);
    EXPECT_EQ(text(db.loci.data[0]->name), "Locus 3");
    EXPECT_EQ(db.loci.data[0]->alleles.data[0]->locus, 3);

    // Index 1 is now beyond the single locus: a second one is appended.
    EXPECT_EQ(db.InsertAllPos(1, 'T', 1.0), 0);
    ASSERT_EQ(db.loci.count, 2);
    EXPECT_EQ(text(db.loci.data[1]->name), "Locus 1");
    // Index 0 is the first locus, whatever its name says.
    EXPECT_EQ(db.InsertAllPos(0, my_string("B"), 1.0), 1);
    EXPECT_EQ(db.loci.count, 2);
    EXPECT_EQ(db.loci.data[0]->alleles.data[1]->locus, 0);
}

TEST_F(InsertTest, NegativeLocusIndexInsertsNothing) {
    TAlleleDB db;
    EXPECT_EQ(db.InsertAllPos(-1, my_string("A"), 1.0), -1);
    EXPECT_EQ(db.InsertAllPos(-2, 'A', 1.0), -1);
    EXPECT_EQ(db.loci.count, 0);
}

TEST_F(InsertTest, CharFormsMatchTheFirstCharacter) {
    TAlleleDB db;
    db.InsertAllPos(0, my_string("AB"), 1.0);
    EXPECT_EQ(db.InsertAllPos(0, 'A', 2.0), 0);
    EXPECT_EQ(db.loci.data[0]->alleles.data[0]->weight, 3.0);
    EXPECT_EQ(db.InsertAllPos(0, 'G', 1.0), 1);
    EXPECT_EQ(text(db.loci.data[0]->alleles.data[1]->name), "G");
    // The whole-name form does not take "AB" for "A".
    EXPECT_EQ(db.InsertAllPos(0, my_string("A"), 1.0), 2);
    // The reference forms: same insertion, the weight variable untouched.
    double w = 0.25;
    EXPECT_EQ(db.InsertAllPos(0, my_string("G"), w, 99), 1);
    EXPECT_EQ(db.InsertAllPos(0, 'A', w, -5), 0);
    EXPECT_EQ(w, 0.25);
    EXPECT_EQ(db.loci.data[0]->alleles.data[1]->weight, 1.25);
}

TEST_F(InsertTest, NamedLocusFoundOrCreated) {
    TAlleleDB db;
    db.InsertAllPos(0, my_string("A"), 1.0);  // "Locus 0"
    EXPECT_EQ(db.InsertAllPos(my_string("HLA-B"), my_string("B*07"), 1.0), 0);
    EXPECT_EQ(db.InsertAllPos(my_string("HLA-B"), my_string("B*08"), 1.0), 1);
    EXPECT_EQ(db.InsertAllPos(my_string("Locus 0"), my_string("A"), 1.0), 0);
    ASSERT_EQ(db.loci.count, 2);
    EXPECT_EQ(text(db.loci.data[1]->name), "HLA-B");
    EXPECT_EQ(db.loci.data[1]->alleles.data[1]->locus, 1);
    EXPECT_EQ(db.loci.data[0]->alleles.data[0]->weight, 2.0);
}

// Allele identity is pointer identity: neither more alleles in a locus nor
// more loci in the catalogue may move an allele.
TEST_F(InsertTest, PointersAndPositionsSurviveManyInsertions) {
    TAlleleDB db;
    const int nAlleles = 1500;
    const int nLoci = 250;  // past two growth steps of the locus list
    std::vector<TAllele*> seen;
    for (int i = 0; i < nAlleles; ++i) {
        int pos = db.InsertAllPos(0, my_string(numbered("a", i).c_str()), 1.0);
        ASSERT_EQ(pos, i);
        seen.push_back(db.loci.data[0]->alleles.data[pos]);
    }
    std::vector<TAllele*> firsts;
    for (int l = 1; l < nLoci; ++l) {
        ASSERT_EQ(db.InsertAllPos(l, my_string("z"), 1.0), 0);
        firsts.push_back(db.loci.data[l]->alleles.data[0]);
    }
    // Insert every name again, in a scrambled order.
    for (int k = 0; k < nAlleles; ++k) {
        int i = (k * 7919) % nAlleles;
        ASSERT_EQ(db.InsertAllPos(0, my_string(numbered("a", i).c_str()), 1.0), i);
    }
    TLocus const* l0 = db.loci.data[0];
    ASSERT_EQ(l0->alleles.count, nAlleles);
    for (int i = 0; i < nAlleles; ++i) {
        ASSERT_EQ(l0->alleles.data[i], seen[i]);
        EXPECT_EQ(text(seen[i]->name), numbered("a", i));
        EXPECT_EQ(seen[i]->weight, 2.0);
        EXPECT_EQ(l0->get_allele_index(seen[i]), i);
    }
    for (int l = 1; l < nLoci; ++l) {
        EXPECT_EQ(db.loci.data[l]->alleles.data[0], firsts[l - 1]);
        EXPECT_EQ(db(l, my_string("z")), firsts[l - 1]);
    }
}

// ------------------------------------------------------------- lookups

using LookupTest = AlleleTest;

TEST_F(LookupTest, CatalogueLookupsAnswerNullOutsideTheLists) {
    TAlleleDB db;
    db.InsertAllPos(0, my_string("A"), 1.0);
    db.InsertAllPos(0, my_string("C"), 1.0);
    db.InsertAllPos(my_string("mt"), my_string("H1"), 1.0);
    TAllele* c = db.loci.data[0]->alleles.data[1];
    TAllele* h1 = db.loci.data[1]->alleles.data[0];

    EXPECT_EQ(db(my_string("Locus 0"), my_string("C")), c);
    EXPECT_EQ(db(0, my_string("C")), c);
    EXPECT_EQ(db(my_string("Locus 0"), 1), c);
    EXPECT_EQ(db(my_string("mt"), 0), h1);
    EXPECT_EQ(db(1, my_string("H1")), h1);

    EXPECT_EQ(db(my_string("Locus 0"), my_string("G")), nullptr);
    EXPECT_EQ(db(my_string("Locus 9"), my_string("A")), nullptr);
    EXPECT_EQ(db(-1, my_string("A")), nullptr);
    EXPECT_EQ(db(2, my_string("A")), nullptr);
    EXPECT_EQ(db(my_string("Locus 0"), 2), nullptr);
    EXPECT_EQ(db(my_string("Locus 0"), -1), nullptr);
    EXPECT_EQ(db(my_string("nowhere"), 0), nullptr);
    // Lookups never extend the lists.
    EXPECT_EQ(db.loci.count, 2);
    EXPECT_EQ(db.loci.data[0]->alleles.count, 2);
    EXPECT_EQ(text(db.notFound.name), "Allele not found");
    EXPECT_EQ(db.notFound.weight, 0.0);
}

// Small loci are searched directly, large ones through a name index: both
// must give the same answers.
class LocusLookupTest : public AlleleTest, public ::testing::WithParamInterface<int> {};

TEST_P(LocusLookupTest, FindsFirstMatchByNameAndByCharacter) {
    const int n = GetParam();
    TAlleleDB db;
    db.InsertAllPos(0, my_string("Qx"), 1.0);
    for (int i = 0; i < n; ++i) db.InsertAllPos(0, my_string(numbered("m", i).c_str()), 1.0);
    db.InsertAllPos(0, my_string("Qy"), 1.0);
    TLocus const& l = *db.loci.data[0];

    for (int i = 0; i < n; ++i) {
        my_string name(numbered("m", i).c_str());
        ASSERT_EQ(l.find_allele_pos_by_name(name), i + 1);
        EXPECT_EQ(l.find_allele_by_name(name), l.alleles.data[i + 1]);
    }
    EXPECT_EQ(l.find_allele_pos_by_name(my_string("Qy")), n + 1);
    EXPECT_EQ(l.find_allele_pos_by_name(my_string("Q")), -1);
    EXPECT_EQ(l.find_allele_by_name(my_string("m")), nullptr);
    EXPECT_EQ(l.find_allele_pos_by_name('Q'), 0);
    EXPECT_EQ(l.find_allele_pos_by_name('m'), n > 0 ? 1 : -1);
    EXPECT_EQ(l.find_allele_by_name('z'), nullptr);
    EXPECT_EQ(l.find_allele_pos_by_name('z'), -1);

    TAllele stranger;
    stranger.name = "Qy";  // same name, different allele
    EXPECT_EQ(l.get_allele_index(&stranger), -1);
    EXPECT_EQ(l.get_allele_index(nullptr), -1);
    EXPECT_EQ(l.get_allele_index(l.alleles.data[n + 1]), n + 1);
}

// Other code may reorder a locus's list (to print it sorted) or append to it
// directly; the lookups must follow.
TEST_P(LocusLookupTest, FollowsRearrangementsMadeOutsideTheLocus) {
    const int n = GetParam();
    TAlleleDB db;
    // "AC" comes before "AB"; sorting puts "AB" first while "AC" keeps its
    // position 1.
    db.InsertAllPos(0, my_string("Z0"), 1.0);
    db.InsertAllPos(0, my_string("AC"), 1.0);
    db.InsertAllPos(0, my_string("AB"), 1.0);
    for (int i = 0; i < n; ++i) db.InsertAllPos(0, my_string(numbered("Z", i + 1).c_str()), 1.0);
    TLocus& l = *db.loci.data[0];
    const long count = l.alleles.count;
    EXPECT_EQ(l.find_allele_pos_by_name('A'), 1);  // primes any index
    EXPECT_EQ(l.find_allele_pos_by_name(my_string("AB")), 2);

    std::sort(l.alleles.data, l.alleles.data + count,
              [](TAllele const* x, TAllele const* y) { return text(x->name) < text(y->name); });
    ASSERT_EQ(text(l.alleles.data[0]->name), "AB");
    ASSERT_EQ(text(l.alleles.data[1]->name), "AC");
    EXPECT_EQ(l.find_allele_pos_by_name('A'), 0);
    EXPECT_EQ(l.find_allele_pos_by_name(my_string("AB")), 0);
    EXPECT_EQ(l.find_allele_pos_by_name(my_string("Z0")), 2);
    for (long i = 0; i < count; ++i) EXPECT_EQ(l.get_allele_index(l.alleles.data[i]), i);

    std::reverse(l.alleles.data, l.alleles.data + count);
    EXPECT_EQ(l.find_allele_pos_by_name(my_string("AB")), count - 1);
    EXPECT_EQ(l.find_allele_pos_by_name('A'), count - 2);
    EXPECT_EQ(l.find_allele_pos_by_name('Z'), 0);

    // Appended behind the locus's back, then found and extended by insertion.
    TAllele* extra = new TAllele();
    extra->name = "late";
    l.alleles.Add(extra);
    EXPECT_EQ(l.find_allele_by_name(my_string("late")), extra);
    EXPECT_EQ(l.find_allele_pos_by_name('l'), count);
    EXPECT_EQ(db.InsertAllPos(0, my_string("late"), 2.0), count);
    EXPECT_EQ(extra->weight, 2.0);
    EXPECT_EQ(l.alleles.count, count + 1);
}

// An empty slot (left by other code) is skipped, not dereferenced.
TEST_P(LocusLookupTest, SkipsEmptySlots) {
    const int n = GetParam();
    TAlleleDB db;
    for (int i = 0; i < n + 2; ++i) db.InsertAllPos(0, my_string(numbered("e", i).c_str()), 1.0);
    TLocus& l = *db.loci.data[0];
    delete l.alleles.data[0];
    l.alleles.data[0] = nullptr;
    EXPECT_EQ(l.find_allele_pos_by_name(my_string(numbered("e", 0).c_str())), -1);
    EXPECT_EQ(l.find_allele_pos_by_name('e'), 1);
    EXPECT_EQ(db.InsertAllPos(0, my_string(numbered("e", 1).c_str()), 1.0), 1);
    EXPECT_EQ(db.InsertAllPos(0, my_string(numbered("e", 0).c_str()), 1.0), n + 2);
}

INSTANTIATE_TEST_SUITE_P(SmallAndLarge, LocusLookupTest, ::testing::Values(0, 3, 40));

// -------------------------------------------------------- polymorphism

using PolymorphTest = AlleleTest;

TLocus locusOf(std::vector<char const*> const& names) {
    TLocus l(my_string("L"));
    for (char const* n : names) {
        TAllele* a = new TAllele();
        a->name = n;
        l.alleles.Add(a);
    }
    return l;
}

// Without a recessive name only the entry count and the third entry count;
// with one, missing and recessive names are ignored.
TEST_F(PolymorphTest, CountsEntriesOrIgnoresMissingAndRecessiveNames) {
    EXPECT_EQ(locusOf({"null", "A", "?"}).is_polymorph('?'), 0);
    EXPECT_EQ(locusOf({"null", "A", "G"}).is_polymorph('?'), 1);
    EXPECT_EQ(locusOf({"?", "?", "?", "?"}).is_polymorph('?'), 1);
    EXPECT_EQ(locusOf({"A", "G"}).is_polymorph('?'), 0);
    EXPECT_EQ(locusOf({}).is_polymorph('?'), 0);
    EXPECT_EQ(locusOf({"null", "A", "??"}).is_polymorph('?'), 1);  // only "?" itself is missing
    EXPECT_EQ(locusOf({"A", "C", "?"}).is_polymorph('?', my_string("N")), 1);
    EXPECT_EQ(locusOf({"A", "?", "N"}).is_polymorph('?', my_string("N")), 0);
    EXPECT_EQ(locusOf({"N", "?", "N", "?"}).is_polymorph('?', my_string("N")), 0);
    EXPECT_EQ(locusOf({"N", "A", "G", "?"}).is_polymorph('?', my_string("N")), 1);
}

// --------------------------------------------------------- deep copies

using CopyTest = AlleleTest;

std::set<TAllele const*> allelesOf(TAlleleDB const& db) {
    std::set<TAllele const*> all;
    for (long l = 0; l < db.loci.count; ++l)
        for (long i = 0; i < db.loci.data[l]->alleles.count; ++i) all.insert(db.loci.data[l]->alleles.data[i]);
    return all;
}

TEST_F(CopyTest, CopiedCatalogueSharesNoAllele) {
    TAlleleDB src;
    src.InsertAllPos(0, my_string("A"), 0.5);
    src.InsertAllPos(0, my_string("T"), 1.5);
    src.InsertAllPos(1, my_string("7"), 2.0);
    src.create_pop_freq_vector(2);
    src.loci.data[0]->alleles.data[1]->popFreq[1] = 0.75;
    src.loci.data[1]->values[11] = 4.25;
    src.loci.data[1]->printWidth = 6;
    src.blanksInserted = 1;

    TAlleleDB copy(src);
    ASSERT_EQ(copy.loci.count, 2);
    EXPECT_EQ(copy.blanksInserted, 1);
    std::set<TAllele const*> mine = allelesOf(src);
    for (TAllele const* a : allelesOf(copy)) EXPECT_EQ(mine.count(a), 0u);
    for (long l = 0; l < 2; ++l) {
        TLocus const& s = *src.loci.data[l];
        TLocus const& c = *copy.loci.data[l];
        EXPECT_NE(&s, &c);
        EXPECT_EQ(text(c.name), text(s.name));
        EXPECT_EQ(c.values, s.values);
        EXPECT_EQ(c.printWidth, s.printWidth);
        ASSERT_EQ(c.alleles.count, s.alleles.count);
        for (long i = 0; i < s.alleles.count; ++i) {
            EXPECT_EQ(text(c.alleles.data[i]->name), text(s.alleles.data[i]->name));
            EXPECT_EQ(c.alleles.data[i]->weight, s.alleles.data[i]->weight);
        }
    }
    EXPECT_EQ(copy.loci.data[0]->alleles.data[1]->popFreq[1], 0.75);
    EXPECT_EQ(text(copy.notFound.name), "Allele not found");

    // The copy lives on its own.
    copy.InsertAllPos(0, my_string("A"), 1.0);
    copy.InsertAllPos(0, my_string("G"), 1.0);
    EXPECT_EQ(src.loci.data[0]->alleles.data[0]->weight, 0.5);
    EXPECT_EQ(src.loci.data[0]->alleles.count, 2);
    EXPECT_EQ(copy(0, my_string("A"))->weight, 1.5);
}

TEST_F(CopyTest, AssignmentReplacesAndSelfAssignmentKeeps) {
    TAlleleDB a;
    a.InsertAllPos(0, my_string("x"), 1.0);
    a.blanksInserted = 1;
    TAlleleDB b;
    b.InsertAllPos(0, my_string("p"), 1.0);
    b.InsertAllPos(1, my_string("q"), 1.0);
    b.InsertAllPos(2, my_string("r"), 1.0);
    a = b;
    EXPECT_EQ(a.blanksInserted, 0);
    ASSERT_EQ(a.loci.count, 3);
    EXPECT_EQ(text(a.loci.data[2]->alleles.data[0]->name), "r");
    EXPECT_EQ(a(0, my_string("x")), nullptr);

    TAllele* p = a.loci.data[0]->alleles.data[0];
    TAlleleDB& same = a;
    a = same;
    EXPECT_EQ(a.loci.data[0]->alleles.data[0], p);
    EXPECT_EQ(a.loci.count, 3);
}

// The genetic-structure code may change the class-wide length between the
// creation of the arrays and a copy of the catalogue.
TEST_F(CopyTest, CatalogueCopyAfterTheClassWideLengthGrew) {
    TAlleleDB src;
    src.InsertAllPos(0, my_string("A"), 1.0);
    src.InsertAllPos(0, my_string("B"), 1.0);
    src.create_pop_freq_vector(2);
    src.loci.data[0]->alleles.data[0]->popFreq[0] = 0.5;
    src.loci.data[0]->alleles.data[0]->popFreq[1] = 0.25;
    TAllele::numPop = 5;

    TAlleleDB copy(src);
    TAllele const* a = copy.loci.data[0]->alleles.data[0];
    ASSERT_EQ(a->popFreq.size(), 5);
    EXPECT_EQ(a->popFreq[0], 0.5);
    EXPECT_EQ(a->popFreq[1], 0.25);
    for (int i = 2; i < 5; ++i) EXPECT_EQ(a->popFreq[i], 0.0);
    EXPECT_TRUE(a->groupFreq == nullptr);
}

// ---------------------------------------------------- frequency arrays

using FreqTest = AlleleTest;

TEST_F(FreqTest, CreateFlushAndReset) {
    TAlleleDB empty;
    empty.create_pop_freq_vector(4);
    EXPECT_EQ(TAllele::numPop, 4);  // set even without alleles

    TAlleleDB db;
    db.InsertAllPos(0, my_string("A"), 1.0);
    db.InsertAllPos(1, my_string("B"), 1.0);
    db.create_pop_freq_vector(3);
    db.create_group_freq_vector(2);
    EXPECT_EQ(TAllele::numPop, 3);
    EXPECT_EQ(TAllele::numGroup, 2);
    TAllele* a = db.loci.data[0]->alleles.data[0];
    TAllele* b = db.loci.data[1]->alleles.data[0];
    ASSERT_EQ(a->popFreq.size(), 3);
    ASSERT_EQ(b->groupFreq.size(), 2);
    a->popFreq[2] = 9.0;
    db.create_pop_freq_vector(3);  // replaces with zeros
    EXPECT_EQ(a->popFreq[2], 0.0);

    db.flush_pop_freq_vector();
    EXPECT_TRUE(a->popFreq == nullptr && b->popFreq == nullptr);
    EXPECT_TRUE(b->groupFreq);  // the other kind stays
    db.flush_group_freq_vector();
    EXPECT_TRUE(b->groupFreq == nullptr);
    db.create_pop_freq_vector(1);
    db.reset_all_pop_freqs();
    EXPECT_TRUE(a->popFreq == nullptr);
}

TEST_F(FreqTest, FailedCreationReleasesEveryArrayAndEndsTheRun) {
    TAlleleDB db;
    db.InsertAllPos(0, my_string("A"), 1.0);
    db.InsertAllPos(1, my_string("B"), 1.0);
    db.create_pop_freq_vector(3);
    // A negative length cannot be allocated.
    EXPECT_THROW(db.create_pop_freq_vector(-1), ExceptionType);
    EXPECT_TRUE(db.loci.data[0]->alleles.data[0]->popFreq == nullptr);
    EXPECT_TRUE(db.loci.data[1]->alleles.data[0]->popFreq == nullptr);
    db.create_group_freq_vector(2);
    EXPECT_THROW(db.create_group_freq_vector(-3), ExceptionType);
    EXPECT_TRUE(db.loci.data[1]->alleles.data[0]->groupFreq == nullptr);
}

// ------------------------------------------------ expected frequencies

using ExpFreqTest = AlleleTest;

TEST_F(ExpFreqTest, RandomStartValuesFollowTheSharedSequence) {
    TAlleleDB db;
    db.InsertAllPos(0, my_string("A"), 1.0);
    db.InsertAllPos(0, my_string("C"), 1.0);
    db.InsertAllPos(0, my_string("G"), 1.0);
    db.InsertAllPos(1, my_string("x"), 1.0);
    db.InsertAllPos(1, my_string("y"), 1.0);

    long seed = -4242;
    ran3(&seed);
    db.assign_rand_exp_freq();

    // The same draws, taken straight from the generator after reseeding.
    seed = -4242;
    ran3(&seed);
    double d[5];
    for (double& v : d) {
        long one = 1;
        v = ran3(&one);
    }
    const double s0 = d[0] + d[1] + d[2];
    const double s1 = d[3] + d[4];
    TLocus const& l0 = *db.loci.data[0];
    TLocus const& l1 = *db.loci.data[1];
    EXPECT_DOUBLE_EQ(l0.alleles.data[0]->expFreq, d[0] / s0);
    EXPECT_DOUBLE_EQ(l0.alleles.data[1]->expFreq, d[1] / s0);
    EXPECT_DOUBLE_EQ(l0.alleles.data[2]->expFreq, d[2] / s0);
    EXPECT_DOUBLE_EQ(l1.alleles.data[0]->expFreq, d[3] / s1);
    EXPECT_DOUBLE_EQ(l1.alleles.data[1]->expFreq, d[4] / s1);

    l0.alleles.data[1]->inbreedingCorr = 0.5;
    db.reset_exp_freq();
    for (TAllele const* a : allelesOf(db)) {
        EXPECT_EQ(a->expFreq, 0.0);
        EXPECT_EQ(a->inbreedingCorr, 0.0);
    }
}

TEST_F(ExpFreqTest, InbreedingUpdateWorkedExample) {
    TAlleleDB db;
    db.InsertAllPos(0, my_string("A"), 1.0);
    db.InsertAllPos(0, my_string("B"), 1.0);
    db.create_pop_freq_vector(2);
    TAllele* a = db.loci.data[0]->alleles.data[0];
    TAllele* b = db.loci.data[0]->alleles.data[1];
    a->popFreq[0] = 0.6;
    a->popFreq[1] = 0.5;
    a->inbreedingCorr = 0.1;
    b->popFreq[0] = 0.3;
    b->popFreq[1] = 0.5;

    // f <= 0 changes nothing.
    EXPECT_EQ(db.update_all_freq_with_inbreeding(0.0), -1.0);
    EXPECT_EQ(db.update_all_freq_with_inbreeding(-0.5), -1.0);
    EXPECT_EQ(a->popFreq[1], 0.5);
    EXPECT_EQ(a->inbreedingCorr, 0.1);

    // (0.6 - 0.1) / 0.8 = 0.625 and 0.3 / 0.8 = 0.375; each moved by 0.125.
    EXPECT_NEAR(db.update_all_freq_with_inbreeding(0.8), 0.25, 1e-12);
    EXPECT_NEAR(a->popFreq[1], 0.625, 1e-12);
    EXPECT_NEAR(a->expFreq, 0.625, 1e-12);
    EXPECT_EQ(a->inbreedingCorr, 0.0);
    EXPECT_NEAR(b->popFreq[1], 0.375, 1e-12);
    EXPECT_EQ(a->popFreq[0], 0.6);
}

TEST_F(ExpFreqTest, InbreedingUpdateRefusesShortArrays) {
    TAlleleDB db;
    db.InsertAllPos(0, my_string("A"), 1.0);
    EXPECT_EQ(db.update_all_freq_with_inbreeding(0.5), -1.0);
    db.create_pop_freq_vector(1);
    EXPECT_EQ(db.update_all_freq_with_inbreeding(0.5), -1.0);
    EXPECT_EQ(db.loci.data[0]->alleles.data[0]->expFreq, 0.0);
}

// ------------------------------------------------------------- destroy

TEST_F(AlleleTest, DestroyEmptiesTheCatalogue) {
    TAlleleDB db(3);
    db.InsertAllPos(0, my_string("A"), 1.0);
    db.InsertAllPos(1, my_string("B"), 1.0);
    db.blanksInserted = 1;
    db.destroy();
    EXPECT_EQ(db.loci.count, 0);
    EXPECT_EQ(db.blanksInserted, 0);
    EXPECT_EQ(db(0, my_string("A")), nullptr);
    EXPECT_EQ(db.InsertAllPos(2, my_string("A"), 1.0), 0);
    EXPECT_EQ(text(db.loci.data[0]->name), "Locus 2");
}

// ------------------------------------------------------------ printing

using PrintTest = AlleleTest;

std::string printed(TAlleleDB& db) {
    std::ostringstream os;
    os << db;
    return os.str();
}

TEST_F(PrintTest, GoldenTable) {
    TAlleleDB db;
    EXPECT_EQ(printed(db), "");
    db.InsertAllPos(0, my_string("A"), 0.25);
    db.InsertAllPos(0, my_string("A"), 0.25);
    db.InsertAllPos(0, my_string("CC"), 0.25);
    db.InsertAllPos(0, my_string("T"), 0.999);  // 99.9 truncates to 99
    db.InsertAllPos(1, my_string("G"), 1.0);
    db.loci.Add(new TLocus(my_string("empty")));
    db.InsertAllPos(3, my_string("long"), 123.5);  // wider than 4 columns

    // Widths: locus 0 "CC" -> 3; locus 1 "G" -> 2; locus 2 none -> 1;
    // locus 3 "long" -> 5.
    const std::string expected =
        "  A  50%| G 100%|      | long12350%|\n"
        " CC  25%|       |      |          |\n"
        "  T  99%|       |      |          |\n";
    EXPECT_EQ(printed(db), expected);
    EXPECT_EQ(db.loci.data[0]->printWidth, 3);
    EXPECT_EQ(db.loci.data[1]->printWidth, 2);
    EXPECT_EQ(db.loci.data[2]->printWidth, 1);
    EXPECT_EQ(db.loci.data[3]->printWidth, 5);
}

// An allele prints its name only; the table leaves the stream's
// formatting as it found it.
TEST_F(PrintTest, AlleleNameAndStreamFormattingKept) {
    TAlleleDB db;
    db.InsertAllPos(0, my_string("A"), 12.0);
    std::ostringstream os;
    os << *db.loci.data[0]->alleles.data[0] << "|" << std::left << std::setfill('*');
    db.loci.data[0]->alleles.data[0]->weight = 1.0;
    os << db;
    os << std::setw(3) << 7;
    EXPECT_EQ(os.str(), "A| A 100%|\n7**");
}

}  // namespace
}  // namespace quintle
