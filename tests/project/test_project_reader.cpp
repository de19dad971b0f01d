// The project-file reader, run as a project run runs it: each project is
// first cleaned into its working copy, then read by Project::newOpen. What
// was read is compared, as a canonical dump, with values worked out by hand
// from the input files; malformed projects must fail with their message.

#include <gtest/gtest.h>

#include "project/project_test_support.h"
#include "run/pmlestart.h"

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
        TearDown();
        SetUp();
        copy_inputs({c.project});
        copy_inputs(c.beside);
        Project fresh;
        ASSERT_EQ(read(c.project, fresh), 1) << log();
        EXPECT_EQ(dump(fresh), c.expected);
        EXPECT_EQ(log().find("#[ERROR"), std::string::npos) << log();
    }
}

// Each case follows a minimal profile without data; the read fails for
// the missing data, but the profile shows what the keyword lines gave.
TEST_F(ProjectReaderTest, ProfileKeywordsTakeTheirValueOrTheirDefault) {
    struct Case {
        char const* lines;
        char const* expected;  // part of the dump's title or profile line
        char const* logged;    // "" when nothing in particular
    };
    std::string const base = "[Profile]\nNbSamples=1\nDataType=DNA\nGenotypicData=0\nLocusSeparator=NONE\n";
    Case const cases[] = {
        {"DataType=dna and more\n", "profile nb=1 type=0", ""},
        {"DataType=MICROSAT DNA\n", "profile nb=1 type=0", ""},
        {"DataType=ALLELES\n", "profile nb=1 type=3",
         "\"ProfileSettings::read_DataType()\" : invalid value assigned to \"DataType\": setting to default"},
        {"NbSamples=7.9\n", "profile nb=7 type=0", ""},
        {"Title=\"Lake Title\"\nMatrixName=\"Title of a matrix\"\n", "title \"Title of a matrix\"", ""},
        {"Title=\"no closing quote # here\"\n", "title \"\"", "Opened quote not closed after keyword 'Title'"},
        {"GenotypicData=1.7\n", "genotypic=1 phase=1", ""},
        {"GenotypicData=2\n", "genotypic=0 phase=1",
         ": invalid value assigned to \"GenotypicData: setting to default\""},
        {"GenotypicData=nan\n", "genotypic=0 phase=1",
         ": invalid value assigned to \"GenotypicData: setting to default\""},
        {"GameticPhase=-1\n", "genotypic=0 phase=1", ": invalid value for \"GameticPhase\": setting to default"},
        {"LocusSeparator=;\n", "phase=1 sep=59", "No open quote after keyword 'LocusSeparator'"},
        {"LocusSeparator=\"TAB\"\n", "phase=1 sep=9", ""},
        {"LocusSeparator=\";;\"\n", "phase=1 sep=32",
         " : Invalid value (';;\") assigned to keyword \"LocusSeparator\""},
        {"MissingData=' - '\n", "sep=0 missing=-", ""},
        {"MissingData='?\?'\n", "sep=0 missing=?", " : Invalid value (\"?\?\") assigned to keyword \"MissingData\""},
        {"Frequency=rel\n", "missing=? freq=0", " : Invalid value (\"rel\") assigned to keyword \"Frequency\""},
        {"RecessiveData=1\nRecessiveAllele= xx\n", "recessive=0 allele=null",
         " : Invalid value (\" xx\") assigned to keyword \"RecessiveAllele\""},
        {"RecessiveData=1e30\n", "freq=0 recessive=0 allele", ""},
        {"FrequencyThreshold=abc\nEpsilonValue=0.5\n", "threshold=1e-05 epsilon=0.5", ""},
        {"FrequencyThreshold=0.25\nEpsilonValue=1e-3x\n", "threshold=0.25 epsilon=1e-07", ""},
        {"CompDistMatrix\n", "profile nb=1 type=0",
         " : Keyword \"CompDistMatrix\" is now obsolete. Please set this parameter directly throug the interface"},
        // Passed over: not a HaplList line, so no complaint about its place.
        {"UsedHaplList=\"x\"\n", "profile nb=1 type=0", ""},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.lines);
        TearDown();
        SetUp();
        Project fresh;
        read_text(base + c.lines, fresh);
        std::string const shown = dump(fresh);
        EXPECT_NE(shown.find(c.expected), std::string::npos) << shown;
        EXPECT_NE(log().find(c.logged), std::string::npos) << log();
        EXPECT_EQ(log().find("declared before"), std::string::npos) << log();
    }
    // A keyword without "=" is still present for the end checks.
    read_text(base + "GenotypicData=1\nGameticPhase 0\n", project);
    EXPECT_NE(log().find("Missing equal sign after keyword 'GameticPhase'"), std::string::npos);
    EXPECT_EQ(log().find("\"GameticPhase\" not found"), std::string::npos) << log();
    EXPECT_EQ(project.GameticPhase, 1);
}

std::string const profile =
    "[Profile]\nNbSamples=1\nDataType=DNA\nGenotypicData=0\nLocusSeparator=NONE\nMissingData='?'\n";
std::string const samples = "[[Samples]]\nSampleName=\"s\"\nSampleSize=2\nSampleData={\nh1 2 ACGT\n}\n";
std::string const mantel_keys =
    "MatrixSize=3\nMatrixNumber=2\nYMatrix=\"fst\"\nYMatrixLabels={ \"s\" \"t\" \"u\" }\nDistMatMantel={\n0\n1 0\n2 1 0\n}\n";

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
          "\tKeyword \"NbSamples\" not found. Undefined number of samples to read. Check your project file.\n\n",
          "\tKeyword \"DataType\" not found. Undefined data type. Check your project file.\n\n",
          "\tKeyword \"GenotypicData\" not found. Undefined data type. Check your project file.\n\n",
          "\tKeyword \"LocusSeparator\" not found. Check your project file.\n\n",
          "\tKeyword \"MissingData\" not found. Using default value (\"?\"). Check your project file.\n\n",
          "\t[DATA] section not defined. Check your project file.\n\n",
          "\tSection \"Samples\" not found in project. At least one sample needs to be defined. Check your "
          "project file.\n\n",
          missing_keys}},
        {"no profile header", "[Settings]\n" + profile.substr(10) + "[Data]\n" + samples,
         {"\t[PROFILE] section not defined.", missing_keys}},
        {"no NbSamples", "[Profile]\nDataType=DNA\nGenotypicData=0\nLocusSeparator=NONE\n[Data]\n" + samples,
         {"\tKeyword \"NbSamples\" not found.", missing_keys}},
        {"no DataType", "[Profile]\nNbSamples=1\nGenotypicData=0\nLocusSeparator=NONE\n[Data]\n" + samples,
         {"\tKeyword \"DataType\" not found.", missing_keys}},
        {"no GenotypicData", "[Profile]\nNbSamples=1\nDataType=DNA\nLocusSeparator=NONE\n[Data]\n" + samples,
         {"\tKeyword \"GenotypicData\" not found.", missing_keys}},
        {"no LocusSeparator", "[Profile]\nNbSamples=1\nDataType=DNA\nGenotypicData=0\n[Data]\n" + samples,
         {"\tKeyword \"LocusSeparator\" not found. Check your project file.\n", missing_keys}},
        {"no GameticPhase for genotypes",
         "[Profile]\nNbSamples=1\nDataType=DNA\nGenotypicData=1\nLocusSeparator=NONE\n[Data]\n"
         "[[Samples]]\nSampleName=\"s\"\nSampleSize=1\nSampleData={\ni1 1 ACGT\nACGA\n}\n",
         {"\tKeyword \"GameticPhase\" not found. Undefined gametic phase for genotypic data.", missing_keys}},
        {"no [Data]", profile + samples, {"\t[DATA] section not defined.", missing_keys}},
        {"haplotype section without list",
         profile + "[Data]\n[[HaplotypeDefinition]]\nHaplListName=\"l\"\n" + samples,
         {"\tKeyword \"HaplList\" not found in Haplotype section.", missing_keys}},
        {"matrix section without keywords", profile + "[Data]\n[[DistanceMatrix]]\n" + samples,
         {"\tKeyword \"MatrixSize\" not found in Distance Matrix section.Check your project file.\n",
          "\tKeyword \"MatrixData\" not found in Distance Matrix section.", missing_keys}},
        {"matrix section without data", profile + "[Data]\n[[DistanceMatrix]]\nMatrixSize=2\n" + samples,
         {"\tKeyword \"MatrixData\" not found in Distance Matrix section.", missing_keys}},
        {"no samples", profile + "[Data]\n", {"\tSection \"Samples\" not found in project.", missing_keys}},
        {"samples without data", profile + "[Data]\n[[Samples]]\nSampleName=\"s\"\nSampleSize=2\n",
         {"\tKeyword \"SampleData\" not found in Samples section.", missing_keys}},
        {"structure without groups", profile + "[Data]\n" + samples + "[[Structure]]\nStructureName=\"g\"\n",
         {"\tKeyword \"NbGroups\" not found in Structure section.",
          "\tKeyword \"Group\" not found in Structure section.", missing_keys}},
        {"structure of no group", profile + "[Data]\n" + samples + "[[Structure]]\nStructureName=\"g\"\nNbGroups=0\n",
         {"\tKeyword \"Group\" not found in Structure section.", missing_keys}},
        {"bare Mantel header", profile + "[Data]\n" + samples + "[[Mantel]]\n",
         {"\tKeyword \"MatrixSize\" not found in Mantel section.",
          "\tKeyword \"MatrixNumber\" not found in Mantel section.",
          "\tKeyword \"YMatrixLabels\" not found in Mantel section.",
          "\tKeyword \"DistMatMantel\" not found in Mantel section.",
          "\tKeyword \"UsedYMatrixLabels\" not found in Mantel section.", missing_keys}},
        {"Mantel without used labels", profile + "[Data]\n" + samples + "[[Mantel]]\n" + mantel_keys,
         {"\tKeyword \"UsedYMatrixLabels\" not found in Mantel section. Undefined matrix labels to be used for "
          "Mantel test. Check your project file.\n\n",
          missing_keys}},
        {"HaplList before its section", profile + "[Data]\nHaplList={\nh1 ACGT\n}\n" + samples,
         {"\tProject file, Line #8 : HaplList keyword declared before the beginning of the 'HaplotypeDefinition' "
          "section...\n\t Stopping reading input file!\n"}},
        {"matrix before [Data]", profile + "[[DistanceMatrix]]\n[Data]\n" + samples,
         {"\tProject file, Line #7 : DistanceMatrix keyword declared before the beginning of the 'Data' "
          "section..., aborting project reading!\n"}},
        {"NbSamples not a number", profile + "NbSamples=many\n[Data]\n" + samples,
         {"Bad value after keyword 'NbSamples'", ": invalid value for \"NbSamples\""}},
        {"NbSamples beyond int", profile + "NbSamples=1e30\n[Data]\n" + samples,
         {"Bad value after keyword 'NbSamples'", ": invalid value for \"NbSamples\""}},
        {"MatrixSize not a number", profile + "[Data]\n[[DistanceMatrix]]\nMatrixSize=three\n" + samples,
         {"\tWarning: Unable to read MatrixSize on line 9. Aborting project reading.\n",
          ": invalid value assigned to \"MatrixSize\""}},
        {"MatrixSize 0",
         profile + "[Data]\n[[DistanceMatrix]]\nMatrixName=\"m\"\nMatrixSize=0\n" + samples,
         {"\tBad size (0) for distance matrix \"m\". Check size (0) reported on line 10\n",
          ": invalid value assigned to \"MatrixSize\""}},
        {"MatrixSize beyond int", profile + "[Data]\n[[DistanceMatrix]]\nMatrixSize=1e12\n" + samples,
         {"\tBad size (1e+12) for distance matrix", ": invalid value assigned to \"MatrixSize\""}},
        {"MatrixSize NaN", profile + "[Data]\n[[DistanceMatrix]]\nMatrixSize=nan\n" + samples,
         {"\tBad size (nan) for distance matrix", ": invalid value assigned to \"MatrixSize\""}},
        {"LabelPosition unknown", profile + "[Data]\n[[DistanceMatrix]]\nLabelPosition=DIAGONAL\n" + samples,
         {"\tInvalid keyword for LabelPosition on line9. Aborting reading project.\n",
          ": invalid value assigned to \"LabelPosition\""}},
        {"external list absent",
         profile + "[Data]\n[[HaplotypeDefinition]]\nHaplList = EXTERN \"absent.txt\"\n" + samples,
         {"\tWarning: External file \"absent.txt\" listed on line 9 cannot be open. Check that it exists. "
          "Aborting reading project\n",
          ": unable to read external distance matrix file"}},
        {"external list unnamed", profile + "[Data]\n[[HaplotypeDefinition]]\nHaplList = EXTERN\n" + samples,
         {"No open quote after keyword 'Extern haplotype list'",
          "\tWarning: No external file name given on line 9. Aborting reading project\n",
          ": unable to read external distance matrix file"}},
        {"external matrix unnamed",
         profile + "[Data]\n[[DistanceMatrix]]\nMatrixSize=2\nMatrixData = EXTERN\n" + samples,
         {"No open quote after keyword 'Extern Distance Matrix '",
          "\tWarning: No external file name given on line 10. Aborting reading project\n",
          ": unable to read external distance matrix file"}},
        {"matrix data without size",
         profile + "[Data]\n[[DistanceMatrix]]\nMatrixData={\nh1 h2\n0\n1 0\n}\n" + samples,
         {"from function \"Project::newOpen()\" : no value assigned to \"MatrixSize\""}},
        {"matrix data after a size without =",
         profile + "[Data]\n[[DistanceMatrix]]\nMatrixSize 2\nMatrixData={\nh1 h2\n0\n1 0\n}\n" + samples,
         {"Missing equal sign after keyword 'MatrixSize'", "\"Project::newOpen()\" : no value assigned to \"MatrixSize\""}},
        {"matrix body unreadable",
         profile + "[Data]\n[[DistanceMatrix]]\nMatrixSize=2\nMatrixData={\nh1 h2\n0\nx 0\n}\n" + samples,
         {"\t\tProblems in reading DistanceMatrix section... aborting reading  project file.\n"}},
        {"sample data before its name", profile + "[Data]\n[[Samples]]\nSampleData={\nh1 1 ACGT\n}\n",
         {"\tProblems in reading Samples section... aborting reading  project file.\n"}},
        {"structure before samples", profile + "[Data]\n[[Structure]]\n" + samples,
         {"[STRUCTURE] section defined before the [SAMPLES] section. Aborting reading project\n",
          "from function \"Project::open()\" : unable to read \"Structure\" section, no samples are defined"}},
        {"structure after no sample", profile + "[Data]\n[[Samples]]\n[[Structure]]\n",
         {"No samples were defined before the [STRUCTURE] section. Aborting reading project\n"}},
        {"title naming the structure", profile + "Title=\"Lake [Structure] survey\"\n[Data]\n" + samples,
         {"[STRUCTURE] section defined before the [SAMPLES] section."}},
        {"Mantel before samples", profile + "[Data]\n[[Mantel]]\n" + samples,
         {"[MANTEL] section defined before the [SAMPLES] section. Aborting reading project\n",
          "from function \"Project::open()\" : unable to read \"Mantel\" section, no samples are defined"}},
        {"Mantel after no sample", profile + "[Data]\n[[Samples]]\n[[Mantel]]\n",
         {"No samples were defined before the [MANTEL] section. Aborting reading project\n"}},
        {"list name unquoted",
         profile + "[Data]\n[[HaplotypeDefinition]]\nHaplListName=list\nHaplList={\nh1 ACGT\n}\n" + samples,
         {": bad value assigned to \"HaplListName\"", "\tKeyword \"HaplList\" not found in Haplotype section.",
          missing_keys}},
        {"matrix name unquoted", profile + "[Data]\n[[DistanceMatrix]]\nMatrixName=m\n" + samples,
         {"\tWarning: Unable to read MatrixName on line 9\n", ": error while reading distance matrix",
          missing_keys}},
        {"structure naming an unknown sample",
         profile + "[Data]\n" + samples + "[[Structure]]\nNbGroups=1\nGroup={ \"nobody\" }\n",
         {": unknown sample name"}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        Project fresh;
        EXPECT_EQ(read_text(c.text, fresh), 0);
        std::string const text = log();
        for (char const* part : c.logged) EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }
}

TEST_F(ProjectReaderTest, MissingProjectFileIsReported) {
    settings::input_file = (dir / "absent.pmp").string().c_str();
    EXPECT_EQ(project.newOpen(), 0);
    EXPECT_NE(log().find("#[WARNING # 1] from function \"Project::newOpen()\" : unable to open project file"),
              std::string::npos);
}

// The cleaned copy keeps these lines one for one, so the numbers in the
// messages are the file's: in-file blocks advance the count, external
// files have their own.
TEST_F(ProjectReaderTest, LineNumbersCountTheLinesOfInFileBlocksOnly) {
    std::string const head = profile + "[Data]\n[[HaplotypeDefinition]]\n";  // lines 1-8
    read_text(head + "HaplList={\nh1 ACGT\nh2 ACGA\n}\n[[DistanceMatrix]]\nMatrixSize=2\n"
                     "MatrixData={\nh1 h2\n0\n1 0\n}\nLabelPosition=DIAGONAL\n",
              project);
    EXPECT_NE(log().find("LabelPosition on line20."), std::string::npos) << log();

    put(dir / "l.txt", "h1 ACGT\nh2 ACGA\n");
    put(dir / "m.txt", "h1 h2\n0\n1 0\n");
    Project other;
    read_text(head + "HaplList = EXTERN \"l.txt\"\n[[DistanceMatrix]]\nMatrixSize=2\n"
                     "MatrixData = EXTERN \"m.txt\"\nLabelPosition=DIAGONAL\n",
              other);
    EXPECT_NE(log().find("LabelPosition on line13."), std::string::npos) << log();
    EXPECT_EQ(other.distance_matrix(1, 0), 1.0);
}

TEST_F(ProjectReaderTest, SecondHaplotypeHeaderEmptiesTheList) {
    read_text(profile + "[Data]\n[[HaplotypeDefinition]]\nHaplList={\nh1 ACGT\nh2 ACGA\n}\n"
                        "[[HaplotypeDefinition]]\nHaplList={\nh9 TTTT\n}\n" +
                  samples,
              project);
    EXPECT_NE(dump(project).find("haplist \"no_name\" h9=TTTT h1=ACGT\n"), std::string::npos) << dump(project);
}

// The matrix of an earlier project has been emptied by clean: its labels
// are gone, so a body without its own MatrixSize has nowhere to go.
TEST_F(ProjectReaderTest, MatrixDataNeverUsesAnEarlierProjectsMatrix) {
    copy_inputs({"dna_list_matrix.pmp"});
    ASSERT_EQ(read("dna_list_matrix.pmp", project), 1);
    project.clean();
    EXPECT_EQ(read_text(profile + "[Data]\n[[DistanceMatrix]]\nMatrixData={\nh1 h2 h3\n0\n1 0\n2 3 0\n}\n" +
                            samples,
                        project),
              0);
    EXPECT_NE(log().find("\"Project::newOpen()\" : no value assigned to \"MatrixSize\""), std::string::npos);
}

TEST_F(ProjectReaderTest, ReadingStopsAfterLine499999) {
    // Six profile lines, filler, then "[Data]" on the last line read or on
    // the first line past the limit.
    auto with_data_on = [&](int lineNo) {
        std::string text = profile;
        for (int n = 7; n < lineNo; ++n) text += "x\n";
        return text + "[Data]\n";
    };
    read_text(with_data_on(499999), project);
    EXPECT_EQ(log().find("[DATA] section not defined"), std::string::npos);
    EXPECT_NE(log().find("Section \"Samples\" not found"), std::string::npos);
    TearDown();
    SetUp();
    Project other;
    read_text(with_data_on(500000), other);
    EXPECT_NE(log().find("[DATA] section not defined"), std::string::npos);
}

TEST_F(ProjectReaderTest, FailedRunLeavesTheErrorMarker) {
    PellomarExeDirectory = dir.string() + "/";
    put(dir / "bad.pmp", profile + "[Data]\n");
    settings::input_file = (dir / "bad.pmp").string().c_str();
    project.build_res_bac_names();
    project.ready = 1;
    EXPECT_EQ(project.run(), 0);
    EXPECT_EQ(slurp(dir / "pml_pro.txt"), "error\n");
    EXPECT_NE(log().find("Error opening project... " + (dir / "bad.res" / "bad.pmp").string()), std::string::npos)
        << log();
    EXPECT_FALSE(fs::exists(dir / "bad.res" / "bad.pmp")) << "the working copy is removed";
    PellomarExeDirectory.clear();
}

// clean empties the project for the next one and deletes only the
// temporary files that this process's translator recorded.
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
    EXPECT_EQ(project.samples->Populations.count, 0);
    EXPECT_EQ(project.structure->NbGroups, 0);
    EXPECT_EQ(project.haplotypes.haplotypes.count, 0);
    EXPECT_EQ(project.distance_matrix.MatrixSize, 0);
    // Reusable: the same project reads the file again.
    EXPECT_EQ(read("dna_list_matrix.pmp", project), 1);
}
}  // namespace
}  // namespace quintle
