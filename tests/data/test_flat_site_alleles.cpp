// The flat one-character alleles of a catalogue: entered as InsertAllPos
// enters them, and made into the same records when a reader asks.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "data/TAlleleDB.h"
#include "data/flat_site_alleles.h"

namespace quintle {
namespace {

using Entry = std::pair<std::string, double>;

// Every locus of a catalogue: its name, then its alleles (name, weight,
// locus index) in order.
std::vector<std::string> describe(TAlleleDB const& db) {
    std::vector<std::string> out;
    for (long l = 0; l < db.loci.count; ++l) {
        TLocus const* locus = db.loci.data[l];
        std::string line = locus != nullptr ? locus->name.c_str() : "(none)";
        if (locus != nullptr)
            for (long a = 0; a < locus->alleles.count; ++a) {
                TAllele const* al = locus->alleles.data[a];
                line += " " + std::string(al->name.c_str()) + ":" + std::to_string(al->weight) + "@" +
                        std::to_string(al->locus);
            }
        out.push_back(line);
    }
    return out;
}

TEST(FlatSiteAlleles, SitesKeepTheirCharactersInOrderOfEntry) {
    FlatSiteAlleles f;
    long at = -1;
    ASSERT_NE(f.enter(0, 'A', 2.0, at), nullptr);
    EXPECT_EQ(at, 0);
    double* c = f.enter(0, 'C', 1.0, at);
    ASSERT_NE(c, nullptr);
    f.enter(0, 'A', 3.0, at);
    *c += 0.5;  // the address is the weight's own
    // A site index beyond the end appends one site only.
    f.enter(7, 'G', 1.0, at);
    EXPECT_EQ(at, 1);
    EXPECT_EQ(f.sites(), 2);
    EXPECT_EQ(f.enter(-1, 'A', 1.0, at), nullptr);
    EXPECT_EQ(at, -1);

    FlatSiteAlleles::Site const& s0 = f.site(0);
    ASSERT_EQ(s0.count, 2);
    EXPECT_EQ(s0.name[0], 'A');
    EXPECT_EQ(s0.weight[0], 5.0);
    EXPECT_EQ(s0.name[1], 'C');
    EXPECT_EQ(s0.weight[1], 1.5);
    EXPECT_EQ(f.site(1).name[0], 'G');
}

TEST(FlatSiteAlleles, ManySitesStayWhereTheyAre) {
    FlatSiteAlleles f;
    long at = -1;
    double* first = f.enter(0, 'T', 1.0, at);
    for (long l = 1; l < 10000; ++l) f.enter(l, "ACGT"[l % 4], static_cast<double>(l), at);
    EXPECT_EQ(f.sites(), 10000);
    EXPECT_EQ(f.enter(0, 'T', 1.0, at), first);
    EXPECT_EQ(*first, 2.0);
    EXPECT_EQ(f.site(9999).name[0], 'T');
    EXPECT_EQ(f.site(9999).weight[0], 9999.0);
}

// The same entries through enter_weight and through InsertAllPos give the
// same catalogue once its records are made: loci "Locus <index>", alleles
// in order of first entry, weights summed in the same order, a site index
// beyond the end appending one locus.
TEST(FlatSiteAlleles, RecordsMadeAsInsertionsMakeThem) {
    std::vector<std::pair<int, char>> const entries = {{0, 'A'}, {0, 'G'}, {1, 'C'}, {0, 'A'}, {2, '?'},
                                                       {2, 'T'}, {9, '-'}, {1, 'C'}, {3, 'A'}, {2, '?'}};
    TAlleleDB flat(0);
    TAlleleDB direct(0);
    double w = 0.25;
    for (auto const& [l, c] : entries) {
        my_string const name(std::string(1, c).c_str());
        double* got = flat.enter_weight(l, name, w);
        // Site 9 comes when 3 sites exist: it lands at index 3, not 9.
        EXPECT_EQ(got == nullptr, l == 9) << l;
        direct.InsertAllPos(l, name, w);
        w += 0.5;
    }
    EXPECT_EQ(flat.loci.count, 0);
    EXPECT_EQ(flat.flat_sites().sites(), 4);
    unsigned const epoch = flat.flat_epoch();
    flat.make_records();
    EXPECT_NE(flat.flat_epoch(), epoch);
    EXPECT_EQ(flat.flat_sites().sites(), 0);
    EXPECT_EQ(describe(flat), describe(direct));
    ASSERT_EQ(flat.loci.count, 4);
    // By hand: site 0 A 0.25 + 1.75, G 0.75; site 2 ? 2.25 + 4.75, T 2.75;
    // the site asked for as 9 is named after it and so is its first allele.
    EXPECT_EQ(describe(flat)[0], "Locus 0 A:2.000000@0 G:0.750000@0");
    EXPECT_EQ(describe(flat)[2], "Locus 2 ?:7.000000@2 T:2.750000@2");
    EXPECT_EQ(describe(flat)[3], "Locus 9 -:3.250000@9 A:4.250000@3");
}

// Anything the flat sites cannot hold (a longer name, a seventh character
// at a site, an insertion by InsertAllPos) first makes records of them, and
// the catalogue goes on as insertions would have.
TEST(FlatSiteAlleles, WhatTheSitesCannotHoldTurnsThemIntoRecords) {
    struct Case {
        char const* what;
        std::vector<std::pair<int, std::string>> entries;
    };
    std::vector<Case> const cases = {
        {"longer name", {{0, "A"}, {1, "C"}, {0, "12"}, {0, "A"}, {2, "G"}}},
        {"seventh character", {{0, "A"}, {0, "C"}, {0, "G"}, {0, "T"}, {0, "-"}, {0, "?"}, {0, "N"}, {0, "A"}}},
    };
    for (Case const& k : cases) {
        SCOPED_TRACE(k.what);
        TAlleleDB flat(0);
        TAlleleDB direct(0);
        unsigned const epoch = flat.flat_epoch();
        for (auto const& [l, name] : k.entries) {
            my_string const n(name.c_str());
            EXPECT_NE(flat.enter_weight(l, n, 1.0), nullptr);
            direct.InsertAllPos(l, n, 1.0);
        }
        EXPECT_NE(flat.flat_epoch(), epoch);
        EXPECT_EQ(flat.flat_sites().sites(), 0);
        EXPECT_EQ(describe(flat), describe(direct));
    }

    TAlleleDB flat(0);
    flat.enter_weight(0, my_string("A"), 1.0);
    flat.enter_weight(1, my_string("C"), 1.0);
    flat.InsertAllPos(1, my_string("C"), 2.0);
    ASSERT_EQ(flat.loci.count, 2);
    EXPECT_EQ(flat.flat_sites().sites(), 0);
    EXPECT_EQ(flat.loci.data[1]->alleles.data[0]->weight, 3.0);
    // With records there, one-character names go to the records too.
    double* w = flat.enter_weight(0, my_string("T"), 4.0);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(flat.flat_sites().sites(), 0);
    EXPECT_EQ(w, &flat.loci.data[0]->alleles.data[1]->weight);
}

TEST(FlatSiteAlleles, CopiesAndDestroyTakeTheFlatSitesAlong) {
    TAlleleDB a(0);
    a.enter_weight(0, my_string("A"), 1.0);
    a.enter_weight(1, my_string("G"), 2.0);
    TAlleleDB b(a);
    EXPECT_EQ(b.flat_sites().sites(), 2);
    b.make_records();
    EXPECT_EQ(a.flat_sites().sites(), 2) << "the copy's records are its own";
    unsigned const epoch = a.flat_epoch();
    a.destroy();
    EXPECT_EQ(a.flat_sites().sites(), 0);
    EXPECT_NE(a.flat_epoch(), epoch);
    ASSERT_EQ(b.loci.count, 2);
    EXPECT_EQ(b.loci.data[1]->alleles.data[0]->weight, 2.0);
}

}  // namespace
}  // namespace quintle
