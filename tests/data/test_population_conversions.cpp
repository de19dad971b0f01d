// Tests of the conversions and checks of a filled sample.

#include "data/Population.h"

#include <gtest/gtest.h>

#include "data/logged_test.h"

#include <sstream>

#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/TAlleleDB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "project/DistMat.h"
#include "run/settings.h"

namespace quintle {
namespace {

std::string text(my_string const& s) { return s.c_str(); }

class ConversionTest : public test::LoggedTest {
protected:
    void SetUp() override {
        ProfileSettings::LocusSeparator = '\0';
    }
};

HaploDef* add_def(Haplo_DB& db, char const* id, char const* data, int count = 0, int matrixIndex = -1) {
    auto* h = new HaploDef(my_string(id));
    h->data = data;
    h->count = count;
    h->matrixIndex = matrixIndex;
    db.haplotypes.Add(h);
    return h;
}

void add_pheno(Population& p, double count, char const* g1, char const* g2) {
    auto* ph = new TPhenotype(my_string("ind"), count);
    ph->alleleString1 = g1;
    ph->alleleString2 = g2;
    p.phenotypes.add(ph);
}

void add_entry(Population& p, HaploDef* h, int count) { p.haplotypes.Add(new PHaploDef{h, count}); }

// New definitions are numbered "h" + running number, skipping ids in use.
TEST_F(ConversionTest, PhenToGamCreatesDefinitionsEntriesAndGeneCopies) {
    Haplo_DB db;
    add_def(db, "h2", "TTT");
    Population p;
    p.profile.GenotypicData = 1;
    add_pheno(p, 2.0, "ACG", "ACT");
    add_pheno(p, 1.0, "ACG", "ACG");
    settings s;
    s.TaskNumber = 512;
    p.phen_to_gam(&db, &p.profile, &s);

    ASSERT_EQ(db.haplotypes.count, 3);
    HaploDef* acg = db.haplotypes.data[1];
    HaploDef* act = db.haplotypes.data[2];
    EXPECT_EQ(text(acg->id), "h3");
    EXPECT_EQ(text(act->id), "h4");
    EXPECT_EQ(acg->count, 4);
    EXPECT_EQ(act->count, 2);
    ASSERT_EQ(p.haplotypes.count, 2);
    EXPECT_EQ(p.haplotypes.data[0]->haplotype, acg);
    // Two copies per individual: ACG ACT ACG ACT ACG ACG.
    ASSERT_EQ(p.geneCopies.count, 6);
    HaploDef* expected[] = {acg, act, acg, act, acg, acg};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(p.geneCopies.data[i]->haplotype, expected[i]) << i;
}

// The matrix index of a new definition stays the running number.
TEST_F(ConversionTest, EstimatedFrequenciesBecomeEntries) {
    TAlleleDB alleles;
    alleles.InsertAllPos(0, my_string("A"), 0.0);
    alleles.InsertAllPos(0, my_string("G"), 0.0);
    alleles.InsertAllPos(1, my_string("12"), 0.0);
    TAllele* A = alleles(0, my_string("A"));
    TAllele* G = alleles(0, my_string("G"));
    TAllele* a12 = alleles(1, my_string("12"));
    Haplo_DB db;
    add_def(db, "known", "A;12", 5);
    add_def(db, "h3", "zz");
    Population p;
    p.SampleSize = 10;
    auto freq = [&](TAllele* x, TAllele* y, double f) {
        TPopHaplotype h(';');
        h.alleles.Add(x);
        h.alleles.Add(y);
        p.haploFreqs.insert(h, f);
    };
    freq(A, a12, 0.5);   // n = 5, an existing definition
    freq(G, a12, 0.04);  // n = 0, skipped
    freq(G, G, 0.05);    // n = 1, new
    p.h_pop_db_to_gam(&db, nullptr);

    ASSERT_EQ(db.haplotypes.count, 3);
    EXPECT_EQ(db.haplotypes.data[0]->count, 10);
    HaploDef* gg = db.haplotypes.data[2];
    EXPECT_EQ(text(gg->data), "G;G");
    EXPECT_EQ(text(gg->id), "h4");  // running number 3, whose id is taken
    EXPECT_EQ(gg->matrixIndex, 3);
    ASSERT_EQ(p.haplotypes.count, 2);
    EXPECT_EQ(p.SampleSize, 6.0);
}

// Alleles already handed out keep their locus: the blank goes behind them.
TEST_F(ConversionTest, BlanksNeverDeleteAllelesInUse) {
    TAlleleDB alleles;
    Haplo_DB db;
    HaploDef* d = add_def(db, "d", "AC");
    d->build_haplovect(&alleles, '\0', 0, 1.0);
    TAllele* A = d->alleles.data[0];
    Population p;
    p.profile.RecessiveAllele = "?";
    p.alleleDB = &alleles;
    add_entry(p, d, 1);
    p.make_all_blanks('\0');

    ASSERT_EQ(alleles.loci.count, 2);
    EXPECT_EQ(alleles.loci.data[0]->alleles.data[0], A);
    EXPECT_EQ(text(A->name), "A");
    EXPECT_EQ(text(alleles.loci.data[1]->alleles.data[1]->name), "?");
    EXPECT_EQ(reports("Population::make_all_blanks()", "recessive allele inserted at unspecified position in DB"), 2);
}

// Definitions without a valid matrix row are never reported as shared, not
// even under the constant matrix, whose diagonal is 0.
TEST_F(ConversionTest, SharedHaplotypesAreListedAtDistanceZero) {
    Haplo_DB db;
    HaploDef* a = add_def(db, "a", "", 0, 0);
    HaploDef* b = add_def(db, "b", "", 0, 1);
    HaploDef* c = add_def(db, "c", "", 0, 2);
    HaploDef* none = add_def(db, "none", "", 0, -1);
    HaploDef* beyond = add_def(db, "beyond", "", 0, 7);
    DistMat d;
    d.create(3);  // d(1, 0) = 0
    d(2, 0) = 2.0;
    d(2, 1) = 1.0;
    DistMat constant;
    constant.constantMode = 1;
    Population p, q, r;
    p.name = "P1";
    q.name = "P2";
    for (HaploDef* h : {a, none, b, beyond}) add_entry(p, h, 1);
    for (HaploDef* h : {c, b, none}) add_entry(q, h, 1);
    for (HaploDef* h : {none, none, beyond}) add_entry(r, h, 1);

    const std::filesystem::path file = dir_ / "out.txt";
    {
        std::fstream out(file, std::ios::out);
        EXPECT_EQ(p.print_out_redondant(&p, &out, d), 1);
        p.print_out_redondant(&q, &out, d);
        r.print_out_redondant(&r, &out, d);
        r.print_out_redondant(&r, &out, constant);
    }
    EXPECT_EQ(test::slurp(file),
              "\n   Haplotypes shared between \"P1\" and \"P1\":\n\n\t\ta = b\n"
              "\n   Haplotypes shared between \"P1\" and \"P2\":\n\n\t\ta = b\n\t\tb = b\n");
}

TEST_F(ConversionTest, HeterozygosityAgreesWithAHandCount) {
    TAlleleDB alleles;
    Population p;
    p.alleleDB = &alleles;
    add_pheno(p, 2.0, "AC", "AC");
    add_pheno(p, 1.0, "AC", "GC");
    add_pheno(p, 1.0, "GT", "AC");
    add_pheno(p, 1.7, "GT", "GT");  // counts as 1
    p.build_allele_vectors('\0');

    // By hand: N = 5, 2 heterozygotes; copies AC 6, GC 1, GT 3.
    const double N = 5;
    const double h = 1.0 - (6.0 * 6 + 1 * 1 + 3 * 3) / (4 * N * N);
    std::ostringstream expected;
    expected << "No. of Heterozygotes     : 2\nNo. of Homozygotes       : 3\n"
             << "Obs.Heter.               : " << 2 / N << "\nExp.Heter.               : " << 2 * N * h / (2 * N - 1)
             << "\n";
    settings s;
    {
        std::fstream out(dir_ / "het.txt", std::ios::out);
        s.ResultFile = &out;
        p.compute_phenotype_heterozygosity(s, p.phenotypes);
    }
    EXPECT_EQ(test::slurp(dir_ / "het.txt"), expected.str());
}

}  // namespace
}  // namespace quintle
