// The allele tables of haplotypic sequence data (one locus per site with
// its blank and its alleles, one allele vector per distinct text) are built
// when an analysis first needs them: a run that only reads the project
// never builds them, the data checks read the texts instead, and a run
// that needs them gets the very tables that building them at once gives.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "project/project_test_support.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

// Two samples of DNA; the first has an entry of missing data only, which
// the checks take out (its 2 copies leave the sample size).
constexpr char kProject[] = R"([Profile]
  Title="Tables when needed"
  NbSamples=2
  DataType=DNA
  GenotypicData=0
  LocusSeparator=NONE
  MissingData='?'
[Data]
  [[Samples]]
    SampleName="A"
    SampleSize=7
    SampleData={
      a1 3 ACGTA
      a2 2 ?????
      a3 2 ACTTA
    }
    SampleName="B"
    SampleSize=4
    SampleData={
      b1 1 ACGTA
      b2 3 GCGTA
    }
)";

class AlleleTablesDue : public test::ProjectDirTest {
protected:
    // Reads the project into `p` with these settings, then prepares it.
    int prepare(Project& p, char const* text, std::int64_t tasks, int eliminate) {
        fs::path const file = dir / "tables.pmp";
        test::put(file, text);
        EXPECT_EQ(test::read_project(file, p), 1) << log();
        p.options.TaskNumber = tasks;
        p.options.EliminateRedondHaplodefs = eliminate;
        p.options.InferHaplotypeDefinitionFromDistanceMatrix = 0;
        p.options.ResultFile = nullptr;
        p.options.MenuScriptFileName = (dir / "menu.js").string().c_str();
        return p.make_run_possible();
    }
};

// Every locus with its alleles (name and weight) and every definition's
// allele names.
std::string tables(Project& p) {
    std::ostringstream os;
    for (long l = 0; l < p.allele_db.loci.count; ++l) {
        TLocus const* locus = p.allele_db.loci.data[l];
        os << "locus " << l << ":";
        for (long a = 0; a < locus->alleles.count; ++a)
            os << " '" << locus->alleles.data[a]->name << "' " << locus->alleles.data[a]->weight;
        os << "\n";
    }
    for (long i = 0; i < p.haplotypes.haplotypes.count; ++i) {
        HaploDef const* h = p.haplotypes.haplotypes.data[i];
        os << h->id << ":";
        for (long a = 0; a < h->alleles.count; ++a) os << " " << h->alleles.data[a]->name;
        os << "\n";
    }
    return os.str();
}

TEST_F(AlleleTablesDue, ReadingAloneBuildsNoTable) {
    Project p;
    ASSERT_EQ(prepare(p, kProject, 0, 0), 1) << log();
    EXPECT_TRUE(p.allele_tables_due);
    EXPECT_EQ(p.allele_db.loci.count, 0);
    for (long i = 0; i < p.haplotypes.haplotypes.count; ++i)
        EXPECT_EQ(p.haplotypes.haplotypes.data[i]->alleles.count, 0);
    // The checks read the texts: the entry of missing data went, with its
    // copies.
    Population const& a = *p.samples->Populations.data[0];
    ASSERT_EQ(a.haplotypes.count, 2);
    EXPECT_EQ(a.SampleSize, 5.0);
    // The same log as a preparation that builds the tables.
    EXPECT_NE(log().find("\t\tBuilding vectors of alleles...\n\t\tdone in "), std::string::npos);
}

TEST_F(AlleleTablesDue, AnalysesGetTheTablesOfAnImmediateBuild) {
    // The tables as the first sample's blanks and the vectors give them when
    // built at once, on the project as read.
    Project reference;
    test::put(dir / "tables.pmp", kProject);
    ASSERT_EQ(test::read_project(dir / "tables.pmp", reference), 1);
    reference.samples->init_all_pointers(&reference.allele_db);
    reference.samples->Populations.data[0]->make_all_blanks('\0');
    HaploDef::build_haplovects(reference.haplotypes.haplotypes.data, reference.haplotypes.haplotypes.count,
                               &reference.allele_db, '\0', 0, 0.1);
    std::string const expected = tables(reference);
    ASSERT_EQ(reference.allele_db.loci.count, 5);
    // Site 2 holds the blank, then G (three texts: a1, b1 that repeats it,
    // b2), ? and T, each text weighing 0.1.
    EXPECT_NE(expected.find("locus 2: 'null' 0 'G' 0.3 '?' 0.1 'T' 0.1\n"), std::string::npos) << expected;

    struct Case {
        std::int64_t tasks;
        int eliminate;
        char const* why;
    };
    for (Case const& c : {Case{1, 0, "a within-sample task"}, Case{512, 0, "the AMOVA"},
                          Case{0, 1, "the search for identical haplotypes"}}) {
        SCOPED_TRACE(c.why);
        start_again();
        Project p;
        ASSERT_EQ(prepare(p, kProject, c.tasks, c.eliminate), 1) << log();
        EXPECT_FALSE(p.allele_tables_due);
        EXPECT_EQ(p.vectors_built, 1);
        EXPECT_EQ(tables(p), expected);
        p.build_allele_tables();  // nothing more once built
        EXPECT_EQ(tables(p), expected);
    }
}

// A first sample without haplotypes reports it when the tables would be
// due, as building them at once does.
TEST_F(AlleleTablesDue, EmptyFirstSampleReportsAtOnce) {
    std::string empty = kProject;
    std::string const lines = "      a1 3 ACGTA\n      a2 2 ?????\n      a3 2 ACTTA\n";
    empty.replace(empty.find(lines), lines.size(), "");
    Project p;
    prepare(p, empty.c_str(), 0, 0);
    EXPECT_FALSE(p.allele_tables_due);
    EXPECT_TRUE(reported("WARNING", 152)) << log();
}

}  // namespace
}  // namespace quintle
