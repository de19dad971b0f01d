// Tests of the conversions and checks of a filled sample.

#include "data/Population.h"

#include <gtest/gtest.h>

#include "data/logged_test.h"

#include <sstream>

#include "core/xml.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/TAlleleDB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "project/DistMat.h"
#include "run/settings.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

std::string text(my_string const& s) { return s.c_str(); }

using test::slurp;

class ConversionTest : public test::LoggedTest {
protected:
    void SetUp() override {
        LoggedTest::SetUp();
        savedWork_ = settings::global_work_to_do;
        ProfileSettings::LocusSeparator = '\0';
    }
    void TearDown() override {
        settings::global_work_to_do = savedWork_;
        LoggedTest::TearDown();
    }

private:
    double savedWork_ = 0.0;
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

TEST_F(ConversionTest, PhenToGamCreatesDefinitionsEntriesAndGeneCopies) {
    Haplo_DB db;
    add_def(db, "h2", "TTT");  // a user id that the first new number would repeat
    Population p;
    p.profile.GenotypicData = 1;
    add_pheno(p, 2.0, "ACG", "ACT");
    add_pheno(p, 1.0, "ACG", "ACG");  // homozygous
    settings s;
    s.TaskNumber = 512;
    p.phen_to_gam(&db, &p.profile, &s);

    ASSERT_EQ(db.haplotypes.count, 3);
    HaploDef* acg = db.haplotypes.data[1];
    HaploDef* act = db.haplotypes.data[2];
    EXPECT_EQ(text(acg->data), "ACG");
    EXPECT_EQ(text(acg->id), "h3");  // numbers start after the 1 definition; h2 is taken
    EXPECT_EQ(text(act->id), "h4");
    EXPECT_EQ(acg->count, 4);
    EXPECT_EQ(act->count, 2);
    EXPECT_EQ(acg->matrixIndex, -1);

    ASSERT_EQ(p.haplotypes.count, 2);
    EXPECT_EQ(p.haplotypes.data[0]->haplotype, acg);
    EXPECT_EQ(p.haplotypes.data[0]->count, 4);
    EXPECT_EQ(p.haplotypes.data[1]->count, 2);
    EXPECT_EQ(p.nbEntries, 2);
    EXPECT_EQ(p.fromPhenotypes, 1);
    // Two copies per individual: ACG ACT ACG ACT ACG ACG.
    ASSERT_EQ(p.geneCopies.count, 6);
    HaploDef* expected[] = {acg, act, acg, act, acg, acg};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(p.geneCopies.data[i]->haplotype, expected[i]) << i;
}

TEST_F(ConversionTest, SeparatorRunsAreReducedToOne) {
    my_string s("//a///b//");
    rm_mult_delim(s, s, '/');  // in place
    EXPECT_EQ(text(s), "/a/b/");

    ProfileSettings::LocusSeparator = '/';
    Haplo_DB db;
    add_def(db, "x", "a/b");
    Population p;
    add_pheno(p, 1.0, "a//b", "a/b");
    p.phen_to_gam(&db, &p.profile, nullptr);
    ASSERT_EQ(db.haplotypes.count, 1);
    EXPECT_EQ(db.haplotypes.data[0]->count, 2);
    EXPECT_EQ(p.geneCopies.count, 0);
}

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
    freq(A, A, 0.25);    // n = 3, new
    p.h_pop_db_to_gam(&db, nullptr);

    ASSERT_EQ(db.haplotypes.count, 4);
    EXPECT_EQ(db.haplotypes.data[0]->count, 10);
    HaploDef* gg = db.haplotypes.data[2];
    EXPECT_EQ(text(gg->data), "G;G");
    EXPECT_EQ(text(gg->id), "h4");  // running number 3, whose id is taken
    EXPECT_EQ(gg->matrixIndex, 3);
    EXPECT_EQ(text(db.haplotypes.data[3]->id), "h5");
    EXPECT_EQ(db.haplotypes.data[3]->matrixIndex, 4);
    ASSERT_EQ(gg->alleles.count, 2);
    EXPECT_EQ(gg->alleles.data[1], G);
    ASSERT_EQ(p.haplotypes.count, 3);
    EXPECT_EQ(p.haplotypes.data[2]->count, 3);
    EXPECT_EQ(p.nbEntries, 3);
    EXPECT_EQ(p.SampleSize, 9.0);

    // A missing allele stops the conversion; what it made stays, the sizes
    // are not updated.
    PHaploDefList target(10, 100);
    p.haploFreqs.flush_haplotypes();
    freq(G, G, 0.5);
    freq(G, nullptr, 0.5);
    freq(A, a12, 0.5);
    p.h_pop_db_to_gam(&db, &target);
    EXPECT_EQ(reports("Population::h_pop_db_to_gam()", "allele not found in DB"), 1);
    ASSERT_EQ(target.count, 1);
    EXPECT_EQ(target.data[0]->count, 5);
    EXPECT_EQ(db.haplotypes.count, 4);
    EXPECT_EQ(p.SampleSize, 9.0);
}

TEST_F(ConversionTest, HaplotypeListAndRepeatedEntries) {
    Haplo_DB db;
    HaploDef* a = add_def(db, "a", "AA", 3);
    HaploDef* b = add_def(db, "b", "AC", 0);
    Population p;
    add_entry(p, b, 9);
    p.haplotype_transf(db);
    EXPECT_EQ(reports("Population::haplotype_transf()", "haplotype DB is not empty: flushing DB"), 1);
    ASSERT_EQ(p.haplotypes.count, 2);
    EXPECT_EQ(p.haplotypes.data[0]->count, 3);
    EXPECT_EQ(p.haplotypes.data[1]->count, 0);

    // Entries of one definition merge into the first, in order.
    add_entry(p, a, 4);
    add_entry(p, b, 2);
    p.nbEntries = 4;
    EXPECT_EQ(p.check_phaplodef_redond(), 1);
    ASSERT_EQ(p.haplotypes.count, 2);
    EXPECT_EQ(p.haplotypes.data[0]->haplotype, a);
    EXPECT_EQ(p.haplotypes.data[0]->count, 7);
    EXPECT_EQ(p.haplotypes.data[1]->count, 2);
    EXPECT_EQ(p.nbEntries, 4);
}

TEST_F(ConversionTest, PoolingMergesSameAllelicContent) {
    TAlleleDB alleles;
    Haplo_DB db;
    HaploDef* d1 = add_def(db, "d1", "AC");
    HaploDef* twin = add_def(db, "twin", "AC");
    HaploDef* d2 = add_def(db, "d2", "GC");
    for (HaploDef* h : {d1, twin, d2}) h->build_haplovect(&alleles, '\0', 0, 1.0);

    Population a;
    add_entry(a, d1, 3);
    a.SampleSize = 3;
    Population b;
    add_entry(b, twin, 2);
    add_entry(b, d2, 1);
    b.SampleSize = 3;
    b.alleleDB = &alleles;
    b.recessiveAllelesEM = 1;
    a += b;
    ASSERT_EQ(a.haplotypes.count, 2);
    EXPECT_EQ(a.haplotypes.data[0]->count, 5);
    EXPECT_EQ(a.haplotypes.data[1]->haplotype, d2);
    EXPECT_EQ(a.nbEntries, 2);
    EXPECT_DOUBLE_EQ(a.invSampleSize, 1.0 / 6.0);
    EXPECT_EQ(a.alleleDB, &alleles);
    EXPECT_EQ(a.recessiveAllelesEM, 1);

    // Phenotypes are copied; two empty samples keep a zero inverse.
    Population g;
    Population h;
    add_pheno(h, 2.0, "A", "C");
    g += h;
    ASSERT_EQ(g.phenotypes.size(), 1);
    EXPECT_EQ(g.phenotypes[0]->count, 2.0);
    EXPECT_EQ(g.invSampleSize, 0.0);
}

TEST_F(ConversionTest, AlleleVectorsEnterHalfRelativeFrequencies) {
    TAlleleDB alleles;
    Population p;
    p.alleleDB = &alleles;
    add_pheno(p, 1.0, "AC", "AG");
    add_pheno(p, 3.0, "AC", "AC");
    EXPECT_EQ(p.build_allele_vectors('\0'), 1);
    // Relative frequencies 1/4 and 3/4, half per gene copy.
    TAllele* C = alleles(1, my_string("C"));
    TAllele* G = alleles(1, my_string("G"));
    ASSERT_TRUE(C && G);
    EXPECT_DOUBLE_EQ(alleles(0, my_string("A"))->weight, 1.0);
    EXPECT_DOUBLE_EQ(C->weight, 0.875);
    EXPECT_DOUBLE_EQ(G->weight, 0.125);
    EXPECT_EQ(p.phenotypes[0]->pseudo2->alleles.data[1], G);

    // With a separator, empty pieces use no locus.
    TAlleleDB micro;
    Population q;
    q.alleleDB = &micro;
    add_pheno(q, 1.0, "/120//134", "/122/134/");
    q.build_allele_vectors('/');
    ASSERT_EQ(micro.loci.count, 2);
    TPopHaplotype const* h2 = q.phenotypes[0]->pseudo2.get();
    ASSERT_EQ(h2->alleles.count, 2);
    EXPECT_EQ(h2->alleles.data[0], micro(0, my_string("122")));
    EXPECT_DOUBLE_EQ(micro(1, my_string("134"))->weight, 1.0);
}

TEST_F(ConversionTest, BlanksStandFirstOncePerAlleleBase) {
    TAlleleDB alleles;
    Population p;
    p.profile.GenotypicData = 1;
    p.profile.RecessiveAllele = "null";
    p.alleleDB = &alleles;
    add_pheno(p, 1.0, "ACG", "ACT");
    p.make_all_blanks('\0');
    ASSERT_EQ(alleles.loci.count, 3);
    EXPECT_EQ(text(alleles.loci.data[2]->alleles.data[0]->name), "null");
    EXPECT_EQ(alleles.blanksInserted, 1);
    add_pheno(p, 1.0, "ACGT", "ACGT");
    p.phenotypes.phenotypes.Detach(0);
    p.make_all_blanks('\0');  // done once per base
    EXPECT_EQ(alleles.loci.count, 3);

    // Separated loci: one blank per non-empty piece.
    TAlleleDB micro;
    Haplo_DB db;
    Population h;
    h.profile.RecessiveAllele = "000";
    h.alleleDB = &micro;
    add_entry(h, add_def(db, "x", "/12//13/14"), 1);
    h.make_all_blanks('/');
    ASSERT_EQ(micro.loci.count, 3);
    EXPECT_EQ(text(micro.loci.data[2]->alleles.data[0]->name), "000");

    // An empty sample warns, and the base counts as done.
    TAlleleDB other;
    Population empty;
    empty.alleleDB = &other;
    empty.make_all_blanks('\0');
    EXPECT_EQ(reports("Population::make_all_blanks()", "phenotype data base is empty"), 1);
    EXPECT_EQ(other.blanksInserted, 1);
}

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

    Population p;
    p.name = "P1";
    for (HaploDef* h : {a, none, b, beyond}) add_entry(p, h, 1);
    Population q;
    q.name = "P2";
    for (HaploDef* h : {c, b, none}) add_entry(q, h, 1);
    // Without a valid row nothing pairs, not even under the constant matrix,
    // whose diagonal is 0.
    Population r;
    for (HaploDef* h : {none, none, beyond}) add_entry(r, h, 1);
    DistMat constant;
    constant.constantMode = 1;

    const fs::path file = dir_ / "out.txt";
    {
        std::fstream out(file, std::ios::out);
        EXPECT_EQ(p.print_out_redondant(&p, &out, d), 1);
        p.print_out_redondant(&q, &out, d);
        r.print_out_redondant(&r, &out, d);
        r.print_out_redondant(&r, &out, constant);
    }
    EXPECT_EQ(slurp(file),
              "\n   Haplotypes shared between \"P1\" and \"P1\":\n\n\t\ta = b\n"
              "\n   Haplotypes shared between \"P1\" and \"P2\":\n\n\t\ta = b\n\t\tb = b\n");
}

TEST_F(ConversionTest, LociAndWorkEstimate) {
    Population g;
    g.profile.GenotypicData = 1;
    g.profile.GameticPhase = 0;
    add_pheno(g, 1.0, "/A//C/G/T", "/A/C/G/A");
    ProfileSettings::LocusSeparator = '/';
    EXPECT_EQ(g.evaluate_nb_loci(), 4);
    ProfileSettings::LocusSeparator = '\0';
    EXPECT_EQ(g.evaluate_nb_loci(), 9);
    g.phenotypes.flush();
    add_pheno(g, 1.0, "ACGT", "ACGA");  // L = 4, unphased

    settings s;
    s.RecessiveAllelesEM = 1;
    s.TaskNumber = 8 | 16 | 32 | 1024;
    s.ComputeAllHaplotypesEM = 1;
    s.EMUseZipper = 1;
    s.EMLociRandOrder = 0;
    s.EMWinSize = 3;
    s.InitialConditionsEM = 5;
    s.NumInitCondBootstrapEM = 2;
    s.NumBootstrapReplicatesEM = 3;
    s.ComputeAllSubHaplotypesEM = 0;
    s.GibbsInferGamPhase = 1;
    s.GibbsBurnIn = 12;
    s.GibbsNumSamples = 2;
    s.MakeExactTestLD = 1;
    s.MarkovChainStepsLD = 9;
    s.InitialCondEMLD = 2;
    s.MakeHWExactTest = 1;
    s.TypeOfTestHW = 2;
    s.MarkovChainStepsHW = 2500;
    s.NumPermutationsFST = 250;
    settings::global_work_to_do = 10.0;
    g.evaluate_work(&s);
    // zipper (4/3)*5*100 = 500; Gibbs 12/5 + 2*30 = 62; bootstrap 2*3*4*100 =
    // 2400; LD (9+1)*2*3*100*4*0.5 = 12000; HW 2500/1000 + 10000/1000 = 12;
    // FST 250/100 = 2.
    EXPECT_DOUBLE_EQ(settings::global_work_to_do, 10.0 + 500 + 62 + 2400 + 12000 + 12 + 2);
    EXPECT_EQ(g.recessiveAllelesEM, 1);
}

TEST_F(ConversionTest, AnchorGoesToResultAndMenu) {
    settings s;
    s.AnchorPrefix = "05/12/26 at\t14:39:48";
    s.ResultFileName = (dir_ / "res.htm").string().c_str();
    s.MenuScriptFileName = (dir_ / "menu.js").string().c_str();
    std::fstream result(dir_ / "res.htm", std::ios::out);
    s.ResultFile = &result;
    const bool savedXml = xmlOutput;
    xmlOutput = false;
    Population p;
    p.name = "Pop 1";
    p.id = 3;
    char prefix[] = "samp";
    p.print_population_anchor(2, s, prefix);
    xmlOutput = savedXml;
    result.close();

    EXPECT_EQ(slurp(dir_ / "res.htm"), "<A NAME=\"05_12_26at14_39_48_samp3\"></A>\n");
    EXPECT_EQ(slurp(dir_ / "menu.js"),
              "\t\tinsDoc(aux2, gLnk(\"R\", \"Pop 1\", \"res.htm#05_12_26at14_39_48_samp3\"))\n");
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
    std::fstream out(dir_ / "het.txt", std::ios::out);
    s.ResultFile = &out;
    p.compute_phenotype_heterozygosity(s, p.phenotypes);
    // All homozygous for one haplotype: both values 0.
    Population mono;
    mono.alleleDB = &alleles;
    add_pheno(mono, 4.0, "AC", "AC");
    mono.build_allele_vectors('\0');
    mono.compute_phenotype_heterozygosity(s, mono.phenotypes);
    out.close();

    EXPECT_EQ(slurp(dir_ / "het.txt"), expected.str() +
                                           "No. of Heterozygotes     : 0\nNo. of Homozygotes       : 4\n"
                                           "Obs.Heter.               : 0\nExp.Heter.               : 0\n");
}

}  // namespace
}  // namespace quintle
