// The site tables of haplotypic sequences held in large blocks: the loci
// and alleles of a catalogue in its arena, the per-sample frequencies of all
// its alleles in one block, the allele rows of the distinct texts in one
// block. Counted on a small project whose values are worked out by hand.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "popstats/PopGenetics.h"
#include "project/project_test_support.h"
#include "sumstat/summary_frame.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

// One sample of 4 gene copies over 5 sites, with missing data ('?') at site
// 3 of a1 and a deletion at site 4 of a3; a second sample repeats a1's text.
constexpr char kProject[] = R"([Profile]
  Title="Flat tables"
  NbSamples=2
  DataType=DNA
  GenotypicData=0
  LocusSeparator=NONE
  MissingData='?'
[Data]
  [[Samples]]
    SampleName="A"
    SampleSize=4
    SampleData={
      a1 2 ACG?A
      a2 1 ACTTA
      a3 1 GCTT-
    }
    SampleName="B"
    SampleSize=3
    SampleData={
      b1 3 ACG?A
    }
)";

class FlatSiteTables : public test::ProjectDirTest {
protected:
    void SetUp() override { PopGenetics::globalAllelicDB.destroy(); }
    void TearDown() override { PopGenetics::globalAllelicDB.destroy(); }

    int prepare(Project& p, std::int64_t tasks, int eliminate = 0, char const* project = kProject) {
        fs::path const file = dir / "flat.pmp";
        test::put(file, project);
        EXPECT_EQ(test::read_project(file, p), 1) << log();
        p.options.TaskNumber = tasks;
        p.options.EliminateRedondHaplodefs = eliminate;
        p.options.InferHaplotypeDefinitionFromDistanceMatrix = 0;
        p.options.ResultFile = nullptr;
        p.options.MenuScriptFileName = (dir / "menu.js").string().c_str();
        return p.make_run_possible();
    }

    test::Saved<int> samples_{TAllele::numPop};
};

TAllele const* allele(Project const& p, long locus, char name) {
    return p.allele_db.loci.data[locus]->find_allele_by_name(name);
}

TEST_F(FlatSiteTables, ReadingAloneMakesNoRecordAtAll) {
    Project p;
    ASSERT_EQ(prepare(p, 0), 1) << log();
    EXPECT_EQ(p.allele_db.loci.count, 0);
    EXPECT_EQ(p.allele_db.record_blocks(), 0u);
    EXPECT_EQ(PopGenetics::globalAllelicDB.loci.count, 0);
}

// Per-locus gene copies, alleles and expected heterozygosity of sample A,
// the frequencies each allele gets in its slot for A, and the global table,
// by hand (H = n / (n - 1) * (1 - sum of squared frequencies)):
//   site 0: A A A G    n 4, 2 alleles, H = 4/3 * (1 - 9/16 - 1/16) = 1/2
//   site 1: C C C C    n 4, 1 allele,  H = 0
//   site 2: G G T T    n 4, 2 alleles, H = 4/3 * (1 - 1/4 - 1/4) = 2/3
//   site 3: ? ? T T    n 2 (the missing copies not counted), 1 allele, H = 0
//   site 4: A A A -    n 4, 2 alleles, H = 1/2 (a deletion is an allele)
TEST_F(FlatSiteTables, CountsAndFrequenciesOfOneSample) {
    Project p;
    ASSERT_EQ(prepare(p, 1), 1) << log();
    ASSERT_EQ(p.allele_db.loci.count, 5);
    EXPECT_GT(p.allele_db.record_blocks(), 0u);
    // Every site holds the blank first, then its characters in order.
    EXPECT_EQ(std::string(p.allele_db.loci.data[3]->alleles.data[0]->name.c_str()), "null");
    EXPECT_EQ(p.allele_db.loci.data[3]->alleles.count, 3);

    p.allele_db.create_pop_freq_vector(2);
    auto* a = dynamic_cast<PopGenetics*>(p.samples->Populations.data[0]);
    ASSERT_NE(a, nullptr);
    std::ostringstream out;
    a->OutputAllelelNumberAndHetPerLocusHapl(out, p.options, true, true, true);

    double const copies[] = {4, 4, 4, 2, 4};
    int const alleles[] = {2, 1, 2, 1, 2};
    double const het[] = {0.5, 0.0, 2.0 / 3.0, 0.0, 0.5};
    ASSERT_EQ(a->locusGeneCopies.count, 5);
    for (int l = 0; l < 5; ++l) {
        SCOPED_TRACE(l);
        EXPECT_EQ(a->locusGeneCopies[l], copies[l]);
        EXPECT_EQ(a->locusNumAlleles[l], alleles[l]);
        EXPECT_NEAR(a->locusExpHet[l], het[l], 1e-15);
    }

    int const id = a->id;
    ASSERT_GE(id, 0);
    EXPECT_EQ(allele(p, 0, 'A')->popFreq[id], 0.75);
    EXPECT_EQ(allele(p, 0, 'G')->popFreq[id], 0.25);
    EXPECT_EQ(allele(p, 2, 'T')->popFreq[id], 0.5);
    EXPECT_EQ(allele(p, 3, 'T')->popFreq[id], 1.0);
    EXPECT_EQ(allele(p, 3, '?')->popFreq[id], 0.0);  // missing data get no share
    EXPECT_EQ(allele(p, 4, '-')->popFreq[id], 0.25);
    // The other sample's slots are untouched.
    EXPECT_EQ(allele(p, 0, 'A')->popFreq[1 - id], 0.0);

    // The global table counts the copies of the sample; the missing data
    // enter it with no weight.
    TAlleleDB& global = PopGenetics::globalAllelicDB;
    global.make_records();
    ASSERT_EQ(global.loci.count, 5);
    EXPECT_EQ(global(3, my_string("T"))->weight, 2.0);
    EXPECT_EQ(global(3, my_string("?"))->weight, 0.0);
    EXPECT_EQ(global(0, my_string("A"))->weight, 3.0);
    EXPECT_EQ(global(0, my_string("G"))->weight, 1.0);
}

// The global table of both samples stays flat (no locus record) and the
// summary reads its totals from there; made records, it gives the same
// values. By hand, over the 7 copies of A and B (H as above):
//   site 0: A 6, G 1         H = 7/6 * (1 - 37/49) = 2/7,  2 alleles
//   site 1: C 7              H = 0,                        1 allele
//   site 2: G 5, T 2         H = 7/6 * (1 - 29/49) = 10/21, 2 alleles
//   site 3: ? (weight 0), T 2  H = 0, 1 allele (the missing one not counted)
//   site 4: A 6, - 1         H = 2/7,                      2 alleles
TEST_F(FlatSiteTables, GlobalTableOfTwoSamplesIsFlatUntilRecordsAreAsked) {
    Project p;
    ASSERT_EQ(prepare(p, 1), 1) << log();
    p.allele_db.create_pop_freq_vector(2);
    std::ostringstream out;
    for (long i = 0; i < 2; ++i) {
        auto* s = dynamic_cast<PopGenetics*>(p.samples->Populations.data[i]);
        ASSERT_NE(s, nullptr);
        s->OutputAllelelNumberAndHetPerLocusHapl(out, p.options, true, true, true);
    }
    TAlleleDB& global = PopGenetics::globalAllelicDB;
    EXPECT_EQ(global.loci.count, 0);
    FlatSiteAlleles const& flat = global.flat_sites();
    ASSERT_EQ(flat.sites(), 5);
    std::string const names[] = {"AG", "C", "GT", "?T", "A-"};
    double const weights[][2] = {{6, 1}, {7, 0}, {5, 2}, {0, 2}, {6, 1}};
    for (int l = 0; l < 5; ++l) {
        SCOPED_TRACE(l);
        FlatSiteAlleles::Site const& site = flat.site(l);
        ASSERT_EQ(site.count, names[l].size());
        for (int k = 0; k < site.count; ++k) {
            EXPECT_EQ(site.name[k], names[l][static_cast<std::size_t>(k)]);
            EXPECT_EQ(site.weight[k], weights[l][k]);
        }
    }

    double const het[] = {2.0 / 7.0, 0.0, 10.0 / 21.0, 0.0, 2.0 / 7.0};
    double const alleles[] = {2, 1, 2, 1, 2};
    StandardDiversityValues const fromFlat = compute_standard_diversity(*p.samples, p.options, &p);
    ASSERT_EQ(fromFlat.het.size(), 5u);
    ASSERT_EQ(fromFlat.totalAlleles.size(), 5u);
    for (std::size_t l = 0; l < 5; ++l) {
        SCOPED_TRACE(l);
        EXPECT_NEAR(fromFlat.het[l].total, het[l], 1e-15);
        EXPECT_EQ(fromFlat.totalAlleles[l], alleles[l]);
    }

    global.make_records();
    ASSERT_EQ(global.loci.count, 5);
    EXPECT_EQ(std::string(global.loci.data[3]->name.c_str()), "Locus 3");
    EXPECT_EQ(global(3, my_string("?"))->weight, 0.0);
    StandardDiversityValues const fromRecords = compute_standard_diversity(*p.samples, p.options, &p);
    for (std::size_t l = 0; l < 5; ++l) {
        EXPECT_EQ(fromRecords.het[l].total, fromFlat.het[l].total);
        EXPECT_EQ(fromRecords.totalAlleles[l], fromFlat.totalAlleles[l]);
    }
}

// The run's own within-sample analyses of sequences (standard and
// molecular diversity, Tajima's D, the search for identical haplotypes)
// get rows over shared character alleles and no catalogue record; the
// per-locus values and the summary's totals are those of the records' rows
// (sample A by hand as in CountsAndFrequenciesOfOneSample).
TEST_F(FlatSiteTables, CharacterRowsGiveTheValuesOfTheRecords) {
    std::vector<double> seen[2];
    for (bool const characters : {false, true}) {
        SCOPED_TRACE(characters);
        PopGenetics::globalAllelicDB.destroy();
        Project p;
        p.character_rows_allowed = characters;
        ASSERT_EQ(prepare(p, 1 | 2 | 64, 1), 1) << log();
        EXPECT_EQ(p.allele_db.characters() != nullptr, characters);
        EXPECT_EQ(p.allele_db.loci.count, characters ? 0 : 5);
        if (characters) {
            EXPECT_EQ(p.allele_db.record_blocks(), 0u);
        }
        p.allele_db.create_pop_freq_vector(2);
        std::ostringstream out;
        std::vector<double>& v = seen[characters ? 1 : 0];
        for (long i = 0; i < 2; ++i) {
            auto* s = dynamic_cast<PopGenetics*>(p.samples->Populations.data[i]);
            ASSERT_NE(s, nullptr);
            s->OutputAllelelNumberAndHetPerLocusHapl(out, p.options, true, true, true);
            for (int l = 0; l < 5; ++l)
                v.insert(v.end(), {static_cast<double>(s->locusGeneCopies[l]), static_cast<double>(s->locusNumAlleles[l]),
                                   s->locusExpHet[l]});
            v.insert(v.end(), {s->meanHet, s->meanHetSd, s->meanNumAlleles, s->meanGeneCopies});
        }
        StandardDiversityValues const totals = compute_standard_diversity(*p.samples, p.options, &p);
        for (std::size_t l = 0; l < 5; ++l) v.insert(v.end(), {totals.het[l].total, totals.totalAlleles[l]});
    }
    ASSERT_EQ(seen[0].size(), seen[1].size());
    EXPECT_EQ(seen[0], seen[1]);
    double const copiesA[] = {4, 4, 4, 2, 4};
    double const hetA[] = {0.5, 0.0, 2.0 / 3.0, 0.0, 0.5};
    for (int l = 0; l < 5; ++l) {
        EXPECT_EQ(seen[1][static_cast<std::size_t>(3 * l)], copiesA[l]);
        EXPECT_NEAR(seen[1][static_cast<std::size_t>(3 * l + 2)], hetA[l], 1e-15);
    }
}

// A site missing in every copy (site 2) and one missing in some (site 3):
// the polymorphism check gives the same missing shares and usable sites on
// character rows as on records. By hand, 5 copies: site 2 all missing
// (share 1, not usable at 5 % allowed), site 3 missing in c1's 3 copies
// (share 3/5); site 0 polymorphic.
constexpr char kMissingColumn[] = R"([Profile]
  Title="Missing column"
  NbSamples=1
  DataType=DNA
  GenotypicData=0
  LocusSeparator=NONE
  MissingData='?'
[Data]
  [[Samples]]
    SampleName="C"
    SampleSize=5
    SampleData={
      c1 3 AC??A
      c2 1 GC?TA
      c3 1 AC?TA
    }
)";

TEST_F(FlatSiteTables, MissingSharesOnCharacterRowsAreThoseOfTheRecords) {
    std::vector<double> seen[2];
    for (bool const characters : {false, true}) {
        SCOPED_TRACE(characters);
        Project p;
        p.character_rows_allowed = characters;
        ASSERT_EQ(prepare(p, 1, 0, kMissingColumn), 1) << log();
        EXPECT_EQ(p.allele_db.characters() != nullptr, characters);
        auto* c = dynamic_cast<PopGenetics*>(p.samples->Populations.data[0]);
        ASSERT_NE(c, nullptr);
        c->allowedMissingLevel = 0.05;
        ASSERT_EQ(c->compare_haplotypes(), 1);
        std::vector<double>& v = seen[characters ? 1 : 0];
        for (std::size_t l = 0; l < 5; ++l)
            v.insert(v.end(), {c->missingFreqPerSite[l], static_cast<double>(c->usableSite[l]),
                               static_cast<double>(c->polymorphicLocus[l])});
        v.insert(v.end(), {static_cast<double>(c->numUsableSites), static_cast<double>(c->numPolymorphicSites)});
    }
    EXPECT_EQ(seen[0], seen[1]);
    ASSERT_EQ(seen[1].size(), 17u);
    EXPECT_EQ(seen[1][6], 1.0);        // site 2: every copy missing
    EXPECT_EQ(seen[1][7], 0.0);        // and not usable
    EXPECT_EQ(seen[1][9], 3.0 / 5.0);  // site 3
    EXPECT_EQ(seen[1][2], 1.0);        // site 0 polymorphic
    EXPECT_EQ(seen[1][15], 3.0);       // usable sites 0, 1, 4
}

// Any other analysis or output that reads the catalogue's records gets the
// records, and so does a caller other than the run (the translator).
TEST_F(FlatSiteTables, RecordsWhenAnAnalysisReadsThem) {
    struct Case {
        char const* what;
        std::int64_t tasks;
        bool allowed;
        int frequencies;
    };
    for (Case const k : {Case{"AMOVA", 1 | 512, true, 0}, Case{"mismatch", 1 | 4, true, 0},
                         Case{"frequency files", 1, true, 1}, Case{"not the run", 1, false, 0}}) {
        SCOPED_TRACE(k.what);
        Project p;
        p.character_rows_allowed = k.allowed;
        p.options.ComputeAllAlleleFreqs = k.frequencies;
        ASSERT_EQ(prepare(p, k.tasks), 1) << log();
        EXPECT_EQ(p.allele_db.characters(), nullptr);
        ASSERT_EQ(p.allele_db.loci.count, 5);
        EXPECT_EQ(std::string(p.allele_db.loci.data[0]->alleles.data[0]->name.c_str()), "null");
    }
}

// The frequency arrays of a catalogue are stretches of one block, in
// catalogue order, each of the asked length and zero; asked again for the
// same length they are zeroed where they are; a copied allele owns its own.
TEST_F(FlatSiteTables, FrequenciesShareOneBlock) {
    Project p;
    ASSERT_EQ(prepare(p, 1), 1) << log();
    TAlleleDB& db = p.allele_db;
    db.create_pop_freq_vector(3);
    double const* expected = nullptr;
    for (long l = 0; l < db.loci.count; ++l) {
        TLocus const* locus = db.loci.data[l];
        for (long i = 0; i < locus->alleles.count; ++i) {
            FreqArray const& f = locus->alleles.data[i]->popFreq;
            ASSERT_TRUE(f.is_borrowed());
            ASSERT_EQ(f.size(), 3);
            if (expected != nullptr) {
                EXPECT_EQ(f.get(), expected);
            }
            expected = f.get() + 3;
            for (int k = 0; k < 3; ++k) EXPECT_EQ(f[k], 0.0);
        }
    }
    TAllele* g = db.loci.data[0]->find_allele_by_name('G');
    g->popFreq[2] = 5.0;
    TAllele copy(*g);
    EXPECT_FALSE(copy.popFreq.is_borrowed());
    EXPECT_EQ(copy.popFreq[2], 5.0);

    double const* before = g->popFreq.get();
    db.create_pop_freq_vector(3);
    EXPECT_EQ(g->popFreq.get(), before);
    EXPECT_EQ(g->popFreq[2], 0.0);
    EXPECT_EQ(copy.popFreq[2], 5.0);

    db.create_pop_freq_vector(1);
    EXPECT_EQ(g->popFreq.size(), 1);
    db.flush_pop_freq_vector();
    EXPECT_FALSE(g->popFreq);
}

// The definitions of a text share its row; the rows of distinct texts are
// rows of their own, which outlive the block they were cut from.
TEST_F(FlatSiteTables, RowsOfDistinctTextsComeFromOneBlock) {
    Project p;
    ASSERT_EQ(prepare(p, 1), 1) << log();
    MY_TIArrayAsVector<HaploDef> const& defs = p.haplotypes.haplotypes;
    HaploDef const* a1 = nullptr;
    HaploDef const* b1 = nullptr;
    for (long i = 0; i < defs.count; ++i) {
        std::string const id = defs.data[i]->id.c_str();
        if (id == "a1") a1 = defs.data[i];
        if (id == "b1") b1 = defs.data[i];
    }
    ASSERT_NE(a1, nullptr);
    ASSERT_NE(b1, nullptr);
    EXPECT_EQ(a1->alleles.data, b1->alleles.data);
    EXPECT_TRUE(a1->alleles.shared());
    ASSERT_EQ(a1->alleles.count, 5);
    EXPECT_EQ(a1->alleles.data[5], nullptr);
    EXPECT_EQ(a1->alleles.data[3]->name[0], '?');

    AlleleRow row;
    {
        AlleleRowBlock block(9);
        TAllele** slots = row.fill(3, block);
        for (int i = 0; i < 3; ++i) slots[i] = a1->alleles.data[i];
        EXPECT_FALSE(row.shared());
        AlleleRow other;
        TAllele** next = other.fill(4, block);
        EXPECT_EQ(next, slots + 4);
        EXPECT_FALSE(other.shared());
        // The block is full: a row of its own.
        AlleleRow third;
        TAllele** own = third.fill(1, block);
        EXPECT_TRUE(own < slots || own > slots + 8);
        EXPECT_EQ(third.count, 1);
    }
    // Read after the block's holder went (checked under the sanitizers).
    EXPECT_EQ(row.data[2], a1->alleles.data[2]);
    EXPECT_EQ(row.data[3], nullptr);
    EXPECT_EQ(row.Add(a1->alleles.data[4]), 4);
}

}  // namespace
}  // namespace quintle
