// The project-file reader, run as a project run runs it: each project is
// first cleaned into its working copy, then read by Project::newOpen. What
// was read is compared, as a canonical dump, with values worked out by hand
// from the input files; malformed projects must fail with their message.

#include <gtest/gtest.h>

#include "project/project_test_support.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

fs::path const dataDir = fs::path(QUINTLE_TEST_DATA_DIR) / "project";

using namespace test;

class ProjectReaderTest : public ProjectDirTest {
protected:
    // Copies the named inputs of the data folder into the test folder.
    void copy_inputs(std::initializer_list<char const*> names) {
        for (char const* name : names) fs::copy_file(dataDir / name, dir / name);
    }
    int read(std::string const& name, Project& target) { return read_project(dir / name, target); }
    // Reads a project given as text.
    int read_text(std::string const& text, Project& target) {
        put(dir / "inline.pmp", text);
        return read("inline.pmp", target);
    }

    Project project;
};

// From the input files, by hand: list, matrix, sample and group contents,
// and for diploid samples the gene copies (twice the individuals).
TEST_F(ProjectReaderTest, EveryDataTypeReadsAsWrittenByHand) {
    struct Case {
        char const* project;
        std::initializer_list<char const*> beside;
        char const* expected;
    };
    Case const cases[] = {
        {"dna_list_matrix.pmp", {},
         "title \"Three DNA samples\"\n"
         "profile nb=3 type=0 genotypic=0 phase=1 sep=0 missing=? freq=0 recessive=0 allele=null "
         "threshold=1e-05 epsilon=1e-07\n"
         "haplist \"mtDNA list\" h1=ACGTA h2=ACGTT h3=AC-TA h4=TTTTT\n"
         "matrix \"hand distances\" size=3 LINE labels h1 h2 h3 rows 0 | 1 0 | 2 3 0\n"
         "sample 0 \"Lake\" size=5: h1x3 h2x2\n"
         "sample 1 \"River\" size=4: h2x1 h3x3\n"
         "sample 2 \"Sea\" size=2: h1x1 h4x1\n"
         "structure \"lake and the rest\" groups=2 {Lake} {River Sea}\n"},
        {"rflp_extern.pmp", {"rflp_list.txt", "rflp_matrix.txt", "rflp_hill.txt"},
         "title \"RFLP from outside files\"\n"
         "profile nb=2 type=1 genotypic=0 phase=1 sep=0 missing=- freq=0 recessive=0 allele=null "
         "threshold=1e-05 epsilon=1e-07\n"
         "haplist \"sites\" r1=0101 r2=0110 r3=1110\n"
         "matrix \"sites apart\" size=3 COLUMN labels r1 r2 r3 rows 0 | 2 0 | 3 1 0\n"
         "sample 0 \"Hill\" size=6: r1x2 r2x4\n"
         "sample 1 \"Vale\" size=3: r3x3\n"
         "structure \"\" groups=0\n"},
        {"microsat_diploid.pmp", {},
         "title \"Microsatellites, two loci\"\n"
         "profile nb=2 type=2 genotypic=1 phase=0 sep=32 missing=? freq=0 recessive=0 allele=null "
         "threshold=1e-05 epsilon=1e-07\n"
         "haplist \"no_name\"\n"
         "matrix \"\" size=0 LINE labels rows\n"
         "sample 0 \"Pop A\" size=6: a1x1[120 134/122 134] a2x2[120 ?/124 136]\n"
         "sample 1 \"Pop B\" size=2: b1x1[118 130/118 132]\n"
         "structure \"\" groups=0\n"},
        {"standard_diploid.pmp", {"standard_barn.txt"},
         "title \"Standard genotypes\"\n"
         "profile nb=2 type=3 genotypic=1 phase=0 sep=0 missing=? freq=0 recessive=1 allele=xx "
         "threshold=0.001 epsilon=1e-06\n"
         "haplist \"no_name\"\n"
         "matrix \"\" size=0 LINE labels rows\n"
         "sample 0 \"Field\" size=6: f1x2[AB/CD] f2x1[AA/AB]\n"
         "sample 1 \"Barn\" size=4: b1x2[BB/BD]\n"
         "structure \"farm\" groups=2 {Field} {Barn}\n"},
        // Relative frequencies times the sample sizes: 0.25 x 20, 0.75 x 20,
        // 0.5 x 10. No separator keyword: the start value 0 stays.
        {"frequency_rel.pmp", {},
         "title \"Relative haplotype frequencies\"\n"
         "profile nb=2 type=4 genotypic=0 phase=1 sep=0 missing=? freq=1 recessive=0 allele=null "
         "threshold=1e-05 epsilon=1e-07\n"
         "haplist \"no_name\" t1= t2= t3=\n"
         "matrix \"\" size=0 LINE labels rows\n"
         "sample 0 \"Early\" size=20: t1x5 t2x15\n"
         "sample 1 \"Late\" size=10: t2x5 t3x5\n"
         "structure \"\" groups=0\n"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.project);
        start_again();
        copy_inputs({c.project});
        copy_inputs(c.beside);
        Project fresh;
        ASSERT_EQ(read(c.project, fresh), 1) << log();
        EXPECT_EQ(dump(fresh), c.expected);
        EXPECT_EQ(log().find("#[ERROR"), std::string::npos) << log();
    }
}

std::string const profile =
    "[Profile]\nNbSamples=1\nDataType=DNA\nGenotypicData=0\nLocusSeparator=NONE\nMissingData='?'\n";
std::string const samples = "[[Samples]]\nSampleName=\"s\"\nSampleSize=2\nSampleData={\nh1 2 ACGT\n}\n";

// Every failing end check and every failure of the reader's own handlers:
// the read gives 0 with the messages, and never crashes.
TEST_F(ProjectReaderTest, MalformedProjectsFailWithTheirMessages) {
    struct Case {
        char const* what;
        std::string text;
        std::initializer_list<char const*> logged;
    };
    char const* const missing_keys = "from function \"Project::newOpen()\" : missing required keywords definition";
    Case const cases[] = {
        {"empty file", "",
         {"\t[PROFILE] section not defined. Check your project file.\n\n",
          "\tKeyword \"MissingData\" not found. Using default value (\"?\"). Check your project file.\n\n",
          "\tSection \"Samples\" not found in project. At least one sample needs to be defined. Check your "
          "project file.\n\n",
          missing_keys}},
        {"bare Mantel header", profile + "[Data]\n" + samples + "[[Mantel]]\n",
         {"\tKeyword \"MatrixSize\" not found in Mantel section.",
          "\tKeyword \"UsedYMatrixLabels\" not found in Mantel section.", missing_keys}},
        {"HaplList before its section", profile + "[Data]\nHaplList={\nh1 ACGT\n}\n" + samples,
         {"\tProject file, Line #8 : HaplList keyword declared before the beginning of the 'HaplotypeDefinition' "
          "section...\n\t Stopping reading input file!\n"}},
        {"NbSamples beyond int", profile + "NbSamples=1e30\n[Data]\n" + samples,
         {"Bad value after keyword 'NbSamples'", ": invalid value for \"NbSamples\""}},
        {"MatrixSize beyond int", profile + "[Data]\n[[DistanceMatrix]]\nMatrixSize=1e12\n" + samples,
         {"\tBad size (1e+12) for distance matrix", ": invalid value assigned to \"MatrixSize\""}},
        {"external list absent",
         profile + "[Data]\n[[HaplotypeDefinition]]\nHaplList = EXTERN \"absent.txt\"\n" + samples,
         {"\tWarning: External file \"absent.txt\" listed on line 9 cannot be open. Check that it exists. "
          "Aborting reading project\n",
          ": unable to read external distance matrix file"}},
        {"matrix body unreadable",
         profile + "[Data]\n[[DistanceMatrix]]\nMatrixSize=2\nMatrixData={\nh1 h2\n0\nx 0\n}\n" + samples,
         {"\t\tProblems in reading DistanceMatrix section... aborting reading  project file.\n"}},
        {"structure before samples", profile + "[Data]\n[[Structure]]\n" + samples,
         {"[STRUCTURE] section defined before the [SAMPLES] section. Aborting reading project\n",
          "from function \"Project::open()\" : unable to read \"Structure\" section, no samples are defined"}},
        {"structure naming an unknown sample",
         profile + "[Data]\n" + samples + "[[Structure]]\nNbGroups=1\nGroup={ \"nobody\" }\n",
         {": unknown sample name"}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        start_again();
        Project fresh;
        EXPECT_EQ(read_text(c.text, fresh), 0);
        std::string const text = log();
        for (char const* part : c.logged) EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }
}

// clean empties the project for the next one and deletes only the
// temporary files that this process's translator recorded. The emptied
// matrix keeps no labels, so a later body without its own MatrixSize has
// nowhere to go.
TEST_F(ProjectReaderTest, CleanEmptiesTheProjectAndDeletesOnlyTranslatorFiles) {
    copy_inputs({"dna_list_matrix.pmp"});
    ASSERT_EQ(read("dna_list_matrix.pmp", project), 1);
    fs::path const before = fs::current_path();
    fs::current_path(dir);
    put("trans_out.txt", "someone else's\n");
    put("dum_pml.pmp", "translator\n");
    Project::translator_made("dum_pml.pmp");
    std::fstream result;
    E.echo = &result;
    project.clean();
    bool const kept = fs::exists("trans_out.txt");
    bool const deleted = !fs::exists("dum_pml.pmp");
    fs::current_path(before);
    EXPECT_TRUE(kept);
    EXPECT_TRUE(deleted);
    EXPECT_EQ(E.echo, nullptr);
    EXPECT_EQ(project.samples->Populations.count + project.haplotypes.haplotypes.count, 0);
    EXPECT_EQ(project.structure->NbGroups + project.distance_matrix.MatrixSize, 0);
    EXPECT_EQ(read_text(profile + "[Data]\n[[DistanceMatrix]]\nMatrixData={\nh1 h2 h3\n0\n1 0\n2 3 0\n}\n" +
                            samples,
                        project),
              0);
    EXPECT_NE(log().find("\"Project::newOpen()\" : no value assigned to \"MatrixSize\""), std::string::npos);
}

}  // namespace
}  // namespace quintle
