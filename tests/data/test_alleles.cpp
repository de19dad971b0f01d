// Tests of alleles, loci and the allele catalogue.

#include "data/TAllele.h"
#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "support/process_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace quintle {
namespace {

// The class-wide array lengths are process state: every test leaves them as
// it found them.
class AlleleTest : public ::testing::Test {
private:
    test::Saved<int> samples_{TAllele::numPop};
    test::Saved<int> groups_{TAllele::numGroup};
};

std::string text(my_string const& s) { return std::string(s.c_str()); }

std::string numbered(char const* prefix, int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%04d", prefix, i);
    return buf;
}

// A copy takes the class-wide length in force when it is made, not the
// length the source was created with: longer means zeros past the source,
// shorter means the source's leading values (checked under the sanitizers
// for reads past the source's end).
TEST_F(AlleleTest, CopyAfterTheClassWideLengthChanged) {
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

TEST_F(AlleleTest, InsertAccumulatesAppendsAndRefuses) {
    TAlleleDB db;
    EXPECT_EQ(db.InsertAllPos(0, my_string("A"), 1.0), 0);
    EXPECT_EQ(db.InsertAllPos(0, my_string("A"), 1.0), 0);
    EXPECT_EQ(db.InsertAllPos(0, my_string("AB"), 0.5), 1);
    EXPECT_EQ(db.InsertAllPos(0, 'A', 2.0), 0);  // first character against first character
    EXPECT_EQ(db.loci.data[0]->alleles.data[0]->weight, 4.0);
    // An index beyond the end appends one locus, named after the index.
    EXPECT_EQ(db.InsertAllPos(3, my_string("G"), 1.0), 0);
    ASSERT_EQ(db.loci.count, 2);
    EXPECT_EQ(text(db.loci.data[1]->name), "Locus 3");
    EXPECT_EQ(db.InsertAllPos(-1, my_string("A"), 1.0), -1);
    EXPECT_EQ(db.loci.count, 2);
}

// Allele identity is pointer identity: neither more alleles in a locus nor
// more loci in the catalogue may move an allele.
TEST_F(AlleleTest, PointersAndPositionsSurviveManyInsertions) {
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
    for (int k = 0; k < nAlleles; ++k) {
        int i = (k * 7919) % nAlleles;
        ASSERT_EQ(db.InsertAllPos(0, my_string(numbered("a", i).c_str()), 1.0), i);
    }
    TLocus const* l0 = db.loci.data[0];
    ASSERT_EQ(l0->alleles.count, nAlleles);
    for (int i = 0; i < nAlleles; ++i) {
        ASSERT_EQ(l0->alleles.data[i], seen[i]);
        EXPECT_EQ(seen[i]->weight, 2.0);
        EXPECT_EQ(l0->get_allele_index(seen[i]), i);
    }
    for (int l = 1; l < nLoci; ++l) EXPECT_EQ(db(l, my_string("z")), firsts[l - 1]);
}

// Small loci are searched directly, large ones through a name index. Other
// code may reorder a locus's list or append to it directly: the lookups must
// follow.
class LocusLookupTest : public AlleleTest, public ::testing::WithParamInterface<int> {};

TEST_P(LocusLookupTest, FindsFirstMatchAndFollowsOutsideChanges) {
    const int n = GetParam();
    TAlleleDB db;
    // "AC" comes before "AB"; sorting puts "AB" first.
    db.InsertAllPos(0, my_string("Z0"), 1.0);
    db.InsertAllPos(0, my_string("AC"), 1.0);
    db.InsertAllPos(0, my_string("AB"), 1.0);
    for (int i = 0; i < n; ++i) db.InsertAllPos(0, my_string(numbered("Z", i + 1).c_str()), 1.0);
    TLocus& l = *db.loci.data[0];
    const long count = l.alleles.count;
    EXPECT_EQ(l.find_allele_pos_by_name('A'), 1);
    EXPECT_EQ(l.find_allele_pos_by_name(my_string("AB")), 2);
    EXPECT_EQ(l.find_allele_pos_by_name(my_string("A")), -1);
    EXPECT_EQ(l.find_allele_by_name('q'), nullptr);
    TAllele stranger;
    stranger.name = "AB";  // same name, different allele
    EXPECT_EQ(l.get_allele_index(&stranger), -1);

    std::sort(l.alleles.data, l.alleles.data + count,
              [](TAllele const* x, TAllele const* y) { return text(x->name) < text(y->name); });
    EXPECT_EQ(l.find_allele_pos_by_name('A'), 0);
    EXPECT_EQ(l.find_allele_pos_by_name(my_string("Z0")), 2);
    for (long i = 0; i < count; ++i) EXPECT_EQ(l.get_allele_index(l.alleles.data[i]), i);

    TAllele* extra = new TAllele();
    extra->name = "late";
    l.alleles.Add(extra);
    EXPECT_EQ(l.find_allele_by_name(my_string("late")), extra);
    EXPECT_EQ(db.InsertAllPos(0, my_string("late"), 2.0), count);
    EXPECT_EQ(extra->weight, 2.0);
    EXPECT_EQ(l.alleles.count, count + 1);
}

INSTANTIATE_TEST_SUITE_P(SmallAndLarge, LocusLookupTest, ::testing::Values(0, 40));

TEST_F(AlleleTest, CopiedCatalogueSharesNoAllele) {
    TAlleleDB src;
    src.InsertAllPos(0, my_string("A"), 0.5);
    src.InsertAllPos(0, my_string("T"), 1.5);
    src.InsertAllPos(1, my_string("7"), 2.0);
    src.create_pop_freq_vector(2);
    src.loci.data[0]->alleles.data[1]->popFreq[1] = 0.75;

    TAlleleDB copy(src);
    ASSERT_EQ(copy.loci.count, 2);
    std::set<TAllele const*> mine;
    for (long l = 0; l < 2; ++l)
        for (long i = 0; i < src.loci.data[l]->alleles.count; ++i) mine.insert(src.loci.data[l]->alleles.data[i]);
    for (long l = 0; l < 2; ++l)
        for (long i = 0; i < copy.loci.data[l]->alleles.count; ++i)
            EXPECT_EQ(mine.count(copy.loci.data[l]->alleles.data[i]), 0u);
    EXPECT_EQ(copy(0, my_string("T"))->weight, 1.5);
    EXPECT_EQ(copy.loci.data[0]->alleles.data[1]->popFreq[1], 0.75);

    copy.InsertAllPos(0, my_string("A"), 1.0);
    EXPECT_EQ(src.loci.data[0]->alleles.data[0]->weight, 0.5);
}

// Asked again, every allele's frequencies start from zeros, of the new
// length when it changed; an allele added since gets its array too.
TEST_F(AlleleTest, FrequencyArraysAskedAgainStartFromZeros) {
    TAlleleDB db;
    db.InsertAllPos(0, my_string("A"), 1.0);
    db.create_pop_freq_vector(3);
    TAllele* a = db.loci.data[0]->alleles.data[0];
    a->popFreq[0] = 0.25;
    a->popFreq[2] = 0.5;
    db.InsertAllPos(0, my_string("B"), 1.0);
    db.create_pop_freq_vector(3);
    TAllele* b = db.loci.data[0]->alleles.data[1];
    for (TAllele const* x : {a, b}) {
        ASSERT_EQ(x->popFreq.size(), 3);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(x->popFreq[i], 0.0);
    }
    a->popFreq[1] = 0.75;
    db.create_pop_freq_vector(5);
    EXPECT_EQ(TAllele::numPop, 5);
    ASSERT_EQ(a->popFreq.size(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(a->popFreq[i], 0.0);
}

// The per-locus values read as zeros until written, and a copy of a locus
// (alone or within its catalogue) carries its own copy of them.
TEST_F(AlleleTest, LocusValuesStartAtZeroAndCopyDeep) {
    TLocus locus("L");
    TLocus const& view = locus;
    for (std::size_t i = 0; i < LocusValues::size(); ++i) EXPECT_EQ(view.values[i], 0.0);

    TLocus untouched(locus);
    EXPECT_EQ(static_cast<TLocus const&>(untouched).values[11], 0.0);

    locus.values[3] = 2.5;
    locus.values[11] = -1.0;
    TLocus copy(locus);
    TLocus assigned("M");
    assigned = locus;
    locus.values[3] = 7.0;  // the copies keep what they took
    for (TLocus const* l : {&copy, &assigned}) {
        EXPECT_EQ(l->values[3], 2.5);
        EXPECT_EQ(l->values[11], -1.0);
        EXPECT_EQ(l->values[0], 0.0);
    }

    TAlleleDB db;
    db.InsertAllPos(0, 'A', 1.0);
    db.loci.data[0]->values[5] = 4.0;
    TAlleleDB other(db);
    db.loci.data[0]->values[5] = 0.0;
    EXPECT_EQ(static_cast<TLocus const*>(other.loci.data[0])->values[5], 4.0);
}

TEST_F(AlleleTest, InbreedingUpdateWorkedExample) {
    TAlleleDB db;
    db.InsertAllPos(0, my_string("A"), 1.0);
    EXPECT_EQ(db.update_all_freq_with_inbreeding(0.5), -1.0);  // no arrays yet
    db.InsertAllPos(0, my_string("B"), 1.0);
    db.create_pop_freq_vector(2);
    TAllele* a = db.loci.data[0]->alleles.data[0];
    TAllele* b = db.loci.data[0]->alleles.data[1];
    a->popFreq[0] = 0.6;
    a->popFreq[1] = 0.5;
    a->inbreedingCorr = 0.1;
    b->popFreq[0] = 0.3;
    b->popFreq[1] = 0.5;

    EXPECT_EQ(db.update_all_freq_with_inbreeding(0.0), -1.0);  // f <= 0 changes nothing
    EXPECT_EQ(a->popFreq[1], 0.5);

    // (0.6 - 0.1) / 0.8 = 0.625 and 0.3 / 0.8 = 0.375; each moved by 0.125.
    EXPECT_NEAR(db.update_all_freq_with_inbreeding(0.8), 0.25, 1e-12);
    EXPECT_NEAR(a->popFreq[1], 0.625, 1e-12);
    EXPECT_NEAR(a->expFreq, 0.625, 1e-12);
    EXPECT_EQ(a->inbreedingCorr, 0.0);
    EXPECT_NEAR(b->popFreq[1], 0.375, 1e-12);
}

TEST_F(AlleleTest, PrintedTable) {
    TAlleleDB db;
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
    std::ostringstream os;
    os << db;
    EXPECT_EQ(os.str(), expected);
}

}  // namespace
}  // namespace quintle
