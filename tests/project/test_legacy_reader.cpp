// The older, token-based project reader (Project::open) and its section
// readers: on projects that both readers accept it must fill the project as
// the line reader of a run does; then its own rules and failures, each with
// its report and outcome.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sstream>
#include <vector>

#include "datatypes/PopulDNA.h"
#include "project/project_test_support.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

using namespace test;

fs::path const legacyDir = fs::path(QUINTLE_TEST_DATA_DIR) / "project" / "legacy";

std::string triangle(TriMat const& t) {
    std::ostringstream os;
    for (int i = 0; i < t.dim; ++i)
        for (int j = 0; j <= i; ++j) os << (i + j == 0 ? "" : " ") << t(i, j);
    return os.str();
}

// The Mantel record as both readers leave it.
std::string mantel_dump(Mantel const& m) {
    std::ostringstream os;
    os << "mantel size=" << m.MatrixSize << " number=" << m.MatrixNumber << " read=" << m.NbMatricesRead
       << " y=" << m.YMatrix << " labels";
    for (my_string const& l : m.YMatrixLabels) os << " " << l;
    os << " used";
    for (long i = 0; i < m.UsedYMatrixLabels.count; ++i) os << " " << m.UsedYMatrixLabels.data[i];
    os << "\nX1 " << triangle(m.X1) << "\nX2 " << triangle(m.X2) << "\nY " << triangle(m.UserYMatrix) << "\n";
    return os.str();
}

class ProjectOpenTest : public ProjectDirTest {
protected:
    // Copies a fixture (and the files beside it) into the test folder.
    void copy_fixture(char const* name, std::initializer_list<char const*> beside = {}) {
        fs::copy_file(legacyDir / name, dir / name, fs::copy_options::overwrite_existing);
        for (char const* b : beside) fs::copy_file(legacyDir / b, dir / b, fs::copy_options::overwrite_existing);
    }
    // Project::open on the file as it stands, as the translator calls it:
    // relative EXTERN names are looked for in the folders of the options,
    // here the file's own.
    int open_raw(fs::path const& path, Project& target) {
        settings::input_file = path.string().c_str();
        target.options.ResultFolder = (path.parent_path().string() + "/").c_str();
        target.options.ProjectFolder = target.options.ResultFolder;
        target.initialize();
        return target.open();
    }
    int open_text(std::string const& text, Project& target) {
        put(dir / "legacy.pmp", text);
        return open_raw(dir / "legacy.pmp", target);
    }
    // True when the log holds a report of that kind, function and message.
    bool reported_by(char const* kind, std::string const& function, int index) const {
        std::string const tail = "] from function \"" + function + "\" : " + Errors::message(index);
        std::istringstream lines(log());
        for (std::string l; std::getline(lines, l);)
            if (l.find(std::string(" #[") + kind + " # ") != std::string::npos && l.find(tail) != std::string::npos)
                return true;
        return false;
    }
};

// Projects of every kind that the line reader of a run and the token reader
// both accept: the same profile, list, matrix, samples, structure and Mantel
// record. The run's reader reads the cleaned working copy, the token reader
// the file as written.
TEST_F(ProjectOpenTest, ReadsAsTheRunReaderOnProjectsBothAccept) {
    struct Case {
        char const* project;
        std::initializer_list<char const*> beside;
    };
    Case const cases[] = {
        {"dna_line_matrix.pmp", {}},
        {"standard_extern.pmp", {"standard_barn_outside.txt"}},
        {"frequency_column_matrix.pmp", {}},
        {"rflp_two_groups.pmp", {}},
        {"dna_mantel.pmp", {}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.project);
        start_again();
        copy_fixture(c.project, c.beside);
        Project run;
        ASSERT_EQ(read_project(dir / c.project, run), 1) << log();
        std::string const expected = dump(run) + mantel_dump(run.mantel);

        start_again();  // a fresh folder: the working copy is gone
        copy_fixture(c.project, c.beside);
        Project legacy;
        ASSERT_EQ(open_raw(dir / c.project, legacy), 1) << log();
        EXPECT_EQ(dump(legacy) + mantel_dump(legacy.mantel), expected);
        EXPECT_EQ(log().find("#[ERROR"), std::string::npos) << log();
    }
}

std::string const head =
    "[Profile]\nNbSamples=1\nDataType=DNA\nGenotypicData=0\nLocusSeparator=NONE\nMissingData='?'\n[Data]\n";
std::string const sample = "[[Samples]]\nSampleName=\"s\"\nSampleSize=2\nSampleData={\nh1 2 ACGT\n}\n";
std::string const two_samples = sample + "SampleName=\"t\"\nSampleSize=1\nSampleData={\nh2 1 ACGA\n}\n";
std::string const head2 = [] {
    std::string h = head;
    h.replace(h.find("NbSamples=1"), 11, "NbSamples=2");
    return h;
}();
std::string const matrix3 = "[[DistanceMatrix]]\nMatrixSize=3\n";

struct Report {
    char const* kind;
    char const* function;
    int message;
};

struct FailureCase {
    char const* what;
    std::string text;
    int result;
    std::vector<Report> reports;
    char const* logged = nullptr;  // a line the log must hold
};

// Every failure the reader and its section readers report: the report (kind,
// function, message), the result, and that reading ends instead of hanging.
TEST_F(ProjectOpenTest, FailuresGiveTheirReportsAndOutcome) {
    char const* const open = "Project::open()";
    char const* const samples = "Samples::Read()";
    char const* const str = "Structure::read_id_content()";
    char const* const dm = "DistMat::read_id_content()";
    char const* const dmSettings = "DistMat::get_settings( ifstream& ifs)";
    char const* const body = "DistMat::read_MatrixData()";
    std::string const structure = "[[Structure]]\nStructureName=\"x\"\nNbGroups=1\n";
    FailureCase const cases[] = {
        // --- the project reader
        {"no profile", "[Data]\n" + sample, 0, {{"ERROR", open, 127}}},
        {"CompDistMatrix in the profile", "[Profile]\nCompDistMatrix=1\n[Data]\n" + sample, 0,
         {{"ERROR", "ProfileSettings::get_profile_settings(ifstream& ifs", 98}, {"ERROR", open, 127}}},
        {"no [Data]", "[Profile]\nNbSamples=1\n", 0, {{"ERROR", open, 128}}},
        {"[Data] without sub-section", head, 0, {{"ERROR", open, 128}}},
        {"structure before the samples", head + "[[Structure]]\nNbGroups=1\n" + sample, 0, {{"ERROR", open, 172}}},
        {"Mantel before the samples", head + "[[Mantel]]\nMatrixSize=3\n" + sample, 0, {{"ERROR", open, 196}}},
        {"fewer samples than NbSamples", head2 + sample, 0, {{"ERROR", samples, 62}},
         "\n\tUnable to read the specified number of populations.\n\n"},
        // Genotypic data add nothing to the list.
        {"empty list named in the profile",
         "[Profile]\nUsedHaplList=\"mine\"\nNbSamples=1\nDataType=STANDARD\nGenotypicData=1\n"
         "LocusSeparator=WHITESPACE\n[Data]\n[[Samples]]\nSampleName=\"s\"\nSampleData={\ni1 1 A\n B\n}\n",
         1, {{"WARNING", open, 130}}},
        {"haplotype list unreadable", head + "[[HaplotypeDefinition]]\nHaplList= INTERN x\n" + sample, 0,
         {{"ERROR", "Haplo_DB::read_id_content()", 38}}},
        {"Mantel section unreadable", head + sample + "[[Mantel]]\nMatrixSize=1\n", 0,
         {{"ERROR", "Mantel::read_id_content()", 15}, {"ERROR", "Mantel::get_settings( ifstream& ifs)", 24}}},
        {"unknown header after the samples", head + sample + "[[Colours]]\n", 1,
         {{"ERROR", "get_next_subsection() (\"colours\"", 105}}},
        // --- samples
        {"first keyword not SampleName", head + "[[Samples]]\nSampleSize=2\n", 0, {{"ERROR", samples, 61}}},
        {"SampleName without a value", head + "[[Samples]]\nSampleName= {\n", 0, {{"ERROR", samples, 62}}},
        {"SampleSize unreadable", head + "[[Samples]]\nSampleName=\"s\"\nSampleSize=x\n", 0,
         {{"ERROR", samples, 66}}},
        {"negative SampleSize dropped", head + "[[Samples]]\nSampleName=\"s\"\nSampleSize=-3\nSampleData={\nh1 2 ACGT\n}\n",
         1, {{"ERROR", samples, 66}}},
        {"profile keyword refused in a sample", head + "[[Samples]]\nSampleName=\"s\"\nUsedHaplList= {\n", 0,
         {{"WARNING", "    ProfileSettings::read_UsedHaplList()", 77}},
         "\n\tUnable to read the specified number of populations.\n"},
        {"data word not EXTERN", head + "[[Samples]]\nSampleName=\"s\"\nSampleData = INTERN f.txt\n", 0,
         {{"ERROR", samples, 38}}},
        {"external data file missing", head + "[[Samples]]\nSampleName=\"s\"\nSampleData = EXTERN \"absent.txt\"\n", 0,
         {{"INFO", samples, 35}, {"ERROR", samples, 36}}},
        {"external data unreadable",
         head + "[[Samples]]\nSampleName=\"s\"\nSampleData = EXTERN \"" + (dir / "bad.txt").string() + "\"\n", 0,
         {{"ERROR", samples, 37}}},
        {"no brace nor word after SampleData", head + "[[Samples]]\nSampleName=\"s\"\nSampleData = (\n", 0,
         {{"ERROR", samples, 39}}},
        {"unknown keyword in a sample", head + "[[Samples]]\nSampleName=\"s\"\nColour=red\n", 0,
         {{"ERROR", samples, 67}}},
        {"sample data unreadable", head + "[[Samples]]\nSampleName=\"s\"\nSampleData={\nh1 x ACGT\n}\n", 0,
         {{"ERROR", samples, 63}}},
        // These two looped for ever: nothing ends a sample but its data.
        {"input ends before SampleData", head + "[[Samples]]\nSampleName=\"s\"\nSampleSize=2\n", 0,
         {{"ERROR", samples, 63}}},
        {"next header before SampleData", head + "[[Samples]]\nSampleName=\"s\"\nSampleSize=2\n[[Structure]]\n", 0,
         {{"ERROR", samples, 63}}},
        // --- structure
        {"fewer groups than NbGroups", head + sample + "[[Structure]]\nNbGroups=2\nGroup={ \"s\" }\n", 0,
         {{"ERROR", "Structure::open()", 47}}},
        {"unknown keyword in a structure", head + sample + "[[Structure]]\nColour=1\n", 0,
         {{"ERROR", "Structure::open()", 54}}},
        {"unknown sample in a group", head + sample + structure + "Group={ \"s\" \"z\" }\n", 0,
         {{"ERROR", "Structure::read_id_content() (\"z\")", 51}, {"ERROR", "Structure::open() (\"group\")", 55}}},
        // NbGroups raised after the first group left the arrays short.
        {"NbGroups after the first group",
         head + sample + "[[Structure]]\nNbGroups=1\nGroup={ \"s\" }\nNbGroups=2\nGroup={ \"s\" }\n", 0,
         {{"ERROR", str, 47}, {"ERROR", "Structure::open() (\"nbgroups\")", 55}}},
        {"more groups than NbGroups", head + sample + structure + "Group={ \"s\" }\nGroup={ \"s\" }\n", 0,
         {{"ERROR", str, 53}}},
        {"NbGroups beyond 1000", head + sample + "[[Structure]]\nNbGroups=1001\nGroup={ \"s\" }\n", 0,
         {{"ERROR", str, 47}, {"ERROR", str, 49}}},
        {"NbGroups unreadable", head + sample + "[[Structure]]\nNbGroups=x\n", 0, {{"ERROR", str, 47}}},
        {"group without its opening brace", head + sample + structure + "Group= \"s\"\n", 0,
         {{"ERROR", "Structure::read_id_content() (group#1)", 50}}},
        {"group without its closing brace", head + sample + structure + "Group={ \"s\"", 0,
         {{"ERROR", "Structure::read_id_content() (group#1)", 52}}},
        {"StructureName unreadable", head + sample + "[[Structure]]\nStructureName= {\n", 0, {{"ERROR", str, 46}}},
        {"external structure file missing", head + sample + "[[Structure]]\nStructureName=EXTERN \"absent.txt\"\n",
         0, {{"ERROR", str, 45}}},
        {"DistMatLabel unreadable", head + sample + "[[Structure]]\nDistMatLabel= {\n", 0, {{"ERROR", str, 48}}},
        {"profile keyword refused in a structure", head + sample + "[[Structure]]\nNbSamples=-1\n", 0,
         {{"ERROR", "ProfileSettings::read_profile_id_content()", 95}, {"ERROR", str, 54}}},
        // --- distance matrix
        {"unknown keyword in a matrix section", head + matrix3 + "Colour=1\n" + sample, 0,
         {{"WARNING", dmSettings, 23}}},
        {"keyword of another section", head + matrix3 + "SampleName=\"s\"\n", 0,
         {{"ERROR", dm, 22}, {"ERROR", dmSettings, 24}}},
        {"MatrixName unreadable", head + matrix3 + "MatrixName= {\n", 0, {{"ERROR", dmSettings, 24}}},
        {"MatrixSize unreadable", head + "[[DistanceMatrix]]\nMatrixSize=x\n", 0,
         {{"ERROR", dm, 14}, {"ERROR", dmSettings, 24}}},
        {"negative MatrixSize", head + "[[DistanceMatrix]]\nMatrixSize=-2\n", 0, {{"ERROR", dm, 15}}},
        // Labels of the old size would be overrun: the new size is refused.
        {"MatrixSize after the labels", head + matrix3 + "HaplLabels={ a b c }\nMatrixSize=4\n" + sample, 1,
         {{"ERROR", dm, 15}}},
        {"LabelPosition unknown", head + matrix3 + "LabelPosition=DIAGONAL\n", 0, {{"ERROR", dm, 16}}},
        {"HaplLabels too few", head + matrix3 + "HaplLabels={ a b }\n", 0, {{"ERROR", dm, 11}}},
        {"MatrixData before MatrixSize", head + "[[DistanceMatrix]]\nMatrixData={\n", 0, {{"ERROR", dm, 14}}},
        {"blank before the closing brace", head + matrix3 + "MatrixData={\na b c\n0\n1 0\n2 3 0\n }\n" + sample,
         0, {{"ERROR", dm, 12}}},
        {"MatrixData word not EXTERN", head + matrix3 + "MatrixData= INTERN m.txt\n", 0, {{"ERROR", dm, 19}}},
        {"MatrixData EXTERN without a name", head + matrix3 + "MatrixData= EXTERN\n", 0, {{"ERROR", dm, 20}}},
        {"external matrix missing", head + matrix3 + "MatrixData= EXTERN absent.txt\n", 0, {{"ERROR", dm, 18}}},
        {"MatrixData neither brace nor word", head + matrix3 + "MatrixData= (\n", 0, {{"ERROR", dm, 21}}},
        {"labels missing on their line", head + matrix3 + "MatrixData={\na b\n0\n", 0, {{"ERROR", body, 11}}},
        {"more labels than rows", head + matrix3 + "MatrixData={\na b c d\n0\n", 0, {{"ERROR", body, 12}}},
        {"value beginning with a point", head + matrix3 + "MatrixData={\na b c\n0\n.5 0\n", 0,
         {{"ERROR", "DistMat::read_MatrixData()->line 2, column 1", 13}}},
        {"row ending early", head + "[[DistanceMatrix]]\nMatrixSize=4\nMatrixData={\na b c d\n0\n1 0\n2\n", 0,
         {{"ERROR", "DistMat::read_MatrixData()->Line 2 contains more than 2 distances.", 13}}},
        {"value beyond single precision", head + matrix3 + "MatrixData={\na b c\n0\n1e39 0\n", 0,
         {{"ERROR", "DistMat::read_MatrixData() (line 2, column 1)", 13}}},
        {"COLUMN label missing", head + matrix3 + "LabelPosition=COLUMN\nMatrixData={\n", 0,
         {{"ERROR", body, 11}}},
        // Rows of labels alone made blocks of width 0, one after the other;
        // and a body that failed counted as read when its brace followed.
        {"matrix of labels only", head + matrix3 + "LabelPosition=COLUMN\nMatrixData={\na\nb\nc\n}\n", 0,
         {{"ERROR", "DistMat::read_MatrixData() (line 1, column 1)", 13}, {"ERROR", dm, 12}}},
        {"input ending inside the matrix", head + matrix3 + "MatrixData={\na b c\n0\n1 0\n2", 0,
         {{"ERROR", "DistMat::read_MatrixData()->line 3, column 2", 13}}},
    };
    for (FailureCase const& c : cases) {
        SCOPED_TRACE(c.what);
        start_again();
        put(dir / "bad.txt", "h1 x ACGT\n");
        Project p;
        EXPECT_EQ(open_text(c.text, p), c.result) << log();
        for (Report const& r : c.reports) {
            EXPECT_TRUE(reported_by(r.kind, r.function, r.message))
                << r.kind << " " << r.message << " from " << r.function << "\n" << log();
        }
        if (c.logged != nullptr) {
            EXPECT_NE(log().find(c.logged), std::string::npos) << log();
        }
    }
}


// The rules of the samples reader: renaming, profile keywords inside a
// sample, a dropped location.
TEST_F(ProjectOpenTest, SamplesSectionRules) {
    // A second A becomes A0; a third becomes A0 too, clashes again and ends
    // as A01: three renamings.
    std::string const threeA =
        "[Profile]\nNbSamples=3\nDataType=DNA\nGenotypicData=0\nLocusSeparator=NONE\n[Data]\n[[Samples]]\n"
        "SampleName=\"A\"\nSampleData={\nh1 1 ACGT\n}\nSampleName=\"A\"\nSampleData={\nh1 1\n}\n"
        "SampleName=\"A\"\nSampleData={\nh1 2\n}\n";
    {
        Project p;
        ASSERT_EQ(open_text(threeA, p), 1) << log();
        ASSERT_EQ(p.samples->Populations.count, 3);
        EXPECT_EQ(std::string(p.samples->Populations[0]->name.c_str()), "A");
        EXPECT_EQ(std::string(p.samples->Populations[1]->name.c_str()), "A0");
        EXPECT_EQ(std::string(p.samples->Populations[2]->name.c_str()), "A01");
        EXPECT_EQ(p.samples->Populations[2]->id, 2);
        EXPECT_EQ(occurrences(log(), "two samples have the same name: renaming second sample"), 3) << log();
    }

    // GenotypicData inside the first sample reads the second as genotypic;
    // the location is read and dropped.
    start_again();
    std::string const keywordInside =
        "[Profile]\nNbSamples=2\nDataType=STANDARD\nGenotypicData=0\nLocusSeparator=WHITESPACE\n[Data]\n"
        "[[Samples]]\nSampleName=\"one\"\nSampleLocation = (46.20, 6.15)\nGenotypicData=1\nSampleSize=2\n"
        "SampleData={\na1 2 A B\n}\nSampleName=\"two\"\nSampleSize=1\nSampleData={\ni1 1 A B\n     C D\n}\n";
    {
        Project p;
        ASSERT_EQ(open_text(keywordInside, p), 1) << log();
        ASSERT_EQ(p.samples->Populations.count, 2);
        Population const& one = *p.samples->Populations[0];
        Population const& two = *p.samples->Populations[1];
        EXPECT_EQ(one.profile.GenotypicData, 0);
        EXPECT_EQ(one.haplotypes.count, 1);
        EXPECT_EQ(one.SampleSize, 2.0);
        EXPECT_EQ(one.CoordX, 0.0);
        EXPECT_EQ(one.CoordY, 0.0);
        EXPECT_EQ(two.profile.GenotypicData, 1);
        ASSERT_EQ(two.phenotypes.size(), 1);
        EXPECT_EQ(two.SampleSize, 2.0);  // one diploid individual
        EXPECT_EQ(p.GenotypicData, 0);   // the project's own profile is not touched
        EXPECT_EQ(log().find(" #["), std::string::npos) << log();
    }

    // DataType is class-wide: the sample that names it is already built as
    // the new type.
    start_again();
    std::string const typeInside =
        "[Profile]\nNbSamples=1\nDataType=STANDARD\nGenotypicData=0\nLocusSeparator=NONE\n[Data]\n"
        "[[Samples]]\nSampleName=\"d\"\nDataType=DNA\nSampleData={\nh1 1 ACGT\n}\n";
    {
        Project p;
        ASSERT_EQ(open_text(typeInside, p), 1) << log();
        ASSERT_EQ(p.samples->Populations.count, 1);
        EXPECT_NE(dynamic_cast<PopulDNA*>(p.samples->Populations[0]), nullptr);
        EXPECT_EQ(ProfileSettings::DataType, DNA);
    }

    // EXTERN without a file name: the sample stands without data, unreported.
    start_again();
    {
        Project p;
        ASSERT_EQ(open_text(head + "[[Samples]]\nSampleName=\"s\"\nSampleData = EXTERN\n", p), 1) << log();
        ASSERT_EQ(p.samples->Populations.count, 1);
        EXPECT_EQ(p.samples->Populations[0]->haplotypes.count, 0);
        EXPECT_EQ(log().find(" #["), std::string::npos) << log();
    }
}

// Values worked out by hand from the lines of the matrix body.
TEST_F(ProjectOpenTest, DistanceMatrixRules) {
    // Four rows in two blocks of columns: the row of c ends before its
    // diagonal, so the first block is two columns wide; the second block
    // (columns 2 and 3) gives (2,2), (3,2) and (3,3). 0.1 is kept at
    // single precision: 0.100000001490116119384765625 exactly.
    std::string const blocks = head +
                               "[[DistanceMatrix]]\nMatrixSize=4\nLabelPosition=LINE\nMatrixData={\n"
                               "a b c d\n0\n0.1 0\n2 3\n4 5\n0\n7 0\n}\n" +
                               sample;
    {
        Project p;
        ASSERT_EQ(open_text(blocks, p), 1) << log();
        DistMat& m = p.distance_matrix;
        EXPECT_EQ(m(1, 0), 0.100000001490116119384765625);
        EXPECT_EQ(m(2, 0), 2.0);
        EXPECT_EQ(m(2, 1), 3.0);
        EXPECT_EQ(m(3, 0), 4.0);
        EXPECT_EQ(m(3, 1), 5.0);
        EXPECT_EQ(m(3, 2), 7.0);
        EXPECT_EQ(m(0, 3), 4.0);  // one cell for both orders
        EXPECT_EQ(std::string(m.Labels[3].c_str()), "d");
        EXPECT_EQ(log().find(" #["), std::string::npos) << log();
    }

    // HaplLabels as a block of their own, over two lines; a LabelPosition
    // without a readable value changes nothing.
    start_again();
    {
        Project p;
        ASSERT_EQ(open_text(head + matrix3 + "LabelPosition=COLUMN\nHaplLabels={ x y\n z }\nLabelPosition=\n" + sample,
                            p),
                  1)
            << log();
        DistMat& m = p.distance_matrix;
        ASSERT_TRUE(m.Labels);
        EXPECT_EQ(std::string(m.Labels[0].c_str()) + m.Labels[1].c_str() + m.Labels[2].c_str(), "xyz");
        EXPECT_EQ(m.LabelPosition, 1);
    }

    // MatrixSize 0 is accepted (the current reader wants a positive one).
    start_again();
    {
        Project p;
        ASSERT_EQ(open_text(head + "[[DistanceMatrix]]\nMatrixName=\"empty\"\nMatrixSize=0\n" + sample, p), 1)
            << log();
        EXPECT_EQ(p.distance_matrix.MatrixSize, 0);
        EXPECT_EQ(std::string(p.distance_matrix.MatrixName.c_str()), "empty");
    }
}

TEST_F(ProjectOpenTest, StructureSectionRules) {
    // A sample listed twice in a group is accepted, and counted twice; a
    // profile keyword goes to the structure's own profile part.
    {
        Project p;
        ASSERT_EQ(open_text(head2 + two_samples +
                                "[[Structure]]\nNbGroups=1\nIndividualLevel=1\nGroup={ \"s\" \"t\" \"s\" }\n",
                            p),
                  1)
            << log();
        Structure const& st = *p.structure;
        ASSERT_EQ(st.NbGroups, 1);
        EXPECT_EQ(st.GroupSizes[0], 3);
        EXPECT_EQ(st.NbSamplesInGroups, 3);
        EXPECT_EQ(st.Groups[0][2], p.samples->Populations[0]);
        EXPECT_EQ(st.IndividualLevel, 1);
        EXPECT_EQ(p.IndividualLevel, 0);
        EXPECT_EQ(log().find(" #["), std::string::npos) << log();
    }

    // An external structure file is opened, announced and not read: its
    // name (as given, no folder added) becomes the structure's name.
    start_again();
    {
        fs::path const groups = dir / "groups.str";
        put(groups, "not read\n");
        Project p;
        ASSERT_EQ(open_text(head + sample + "[[Structure]]\nStructureName=EXTERN \"" + groups.string() + "\"\n", p), 1)
            << log();
        EXPECT_EQ(std::string(p.structure->StructureName.c_str()), groups.string());
        EXPECT_EQ(p.structure->NbGroups, 0);
        EXPECT_NE(log().find("\t\tMust read External AMOVA Group file...\n"), std::string::npos) << log();
    }
}

// The project reader's own rules: passes, the given-matrix flag, a fifth
// sub-section.
TEST_F(ProjectOpenTest, SubSectionPasses) {
    // A fifth sub-section is read, then the read fails: all five stay.
    std::string five = slurp(legacyDir / "dna_mantel.pmp");
    five.insert(five.find("  [[Samples]]"),
                "  [[DistanceMatrix]]\n    MatrixSize=3\n    MatrixData={\nh1 h2 h3\n0\n1 0\n2 3 0\n}\n");
    {
        Project p;
        EXPECT_EQ(open_text(five, p), 0) << log();
        EXPECT_TRUE(reported_by("ERROR", "Project::open()", 131)) << log();
        EXPECT_EQ(p.haplotypes.haplotypes.count, 3);
        EXPECT_EQ(p.distance_matrix.MatrixSize, 3);
        EXPECT_EQ(p.samples->Populations.count, 3);
        EXPECT_EQ(p.structure->NbGroups, 2);
        EXPECT_EQ(p.mantel.MatrixSize, 3);
    }

    // With the given-matrix flag cleared (no reader clears it: the caller
    // does here) the matrix is passed over, and its pass still counts.
    start_again();
    {
        put(dir / "legacy.pmp", head + matrix3 + "MatrixData={\na b c\n0\n1 0\n2 3 0\n}\n" + sample);
        settings::input_file = (dir / "legacy.pmp").string().c_str();
        Project p;
        p.initialize();
        p.GivenDistMat = 0;
        EXPECT_EQ(p.open(), 1) << log();
        EXPECT_TRUE(reported_by("WARNING", "Project::open()", 129)) << log();
        EXPECT_EQ(p.distance_matrix.MatrixSize, 0);
        EXPECT_EQ(log().find("Reading distance matrix"), std::string::npos) << log();
        EXPECT_EQ(p.samples->Populations.count, 1);
    }
}

// Lines ending in CR LF read as lines ending in LF.
TEST_F(ProjectOpenTest, CarriageReturnsReadAsLineEnds) {
    char const* const projects[] = {"dna_line_matrix.pmp", "standard_extern.pmp", "frequency_column_matrix.pmp",
                                    "rflp_two_groups.pmp", "dna_mantel.pmp"};
    auto crlf = [](std::string const& text) {
        std::string out;
        for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return out;
    };
    for (char const* name : projects) {
        SCOPED_TRACE(name);
        start_again();
        copy_fixture(name, {"standard_barn_outside.txt"});
        Project lf;
        ASSERT_EQ(open_raw(dir / name, lf), 1) << log();
        std::string const expected = dump(lf) + mantel_dump(lf.mantel);

        start_again();
        put(dir / name, crlf(slurp(legacyDir / name)));
        put(dir / "standard_barn_outside.txt", crlf(slurp(legacyDir / "standard_barn_outside.txt")));
        Project withCr;
        ASSERT_EQ(open_raw(dir / name, withCr), 1) << log();
        EXPECT_EQ(dump(withCr) + mantel_dump(withCr.mantel), expected);
    }
}

// Identifiers, labels, alleles and names in UTF-8 (two-, three- and
// four-byte characters, one made of such characters only, two that differ
// only in them) are read whole and alike by both readers: the older one
// took the bytes above 127 for blanks, so that "Écully" became "cully" and
// "Lyoné" and "Lyonè" one haplotype.
TEST_F(ProjectOpenTest, NonAsciiWordsReadAsTheRunReaderReadsThem) {
    std::string const haplotypic =
        "[Profile]\nTitle=\"Rhône\"\nNbSamples=2\nDataType=DNA\nGenotypicData=0\nLocusSeparator=NONE\n"
        "MissingData='?'\n[Data]\n"
        "[[HaplotypeDefinition]]\nHaplListName=\"liste\"\nHaplList={\n"
        "  Écully ACGT\n  Ecully ACGA\n  日本 ACTT\n  Lyoné TCGT\n  Lyonè TCGA\n}\n"
        "[[DistanceMatrix]]\nMatrixName=\"m\"\nMatrixSize=5\nLabelPosition=LINE\nMatrixData={\n"
        "Écully Ecully 日本 Lyoné Lyonè\n0\n1 0\n2 1 0\n3 2 1 0\n4 3 2 1 0\n}\n"
        "[[Samples]]\nSampleName=\"Lyon€\"\nSampleSize=4\nSampleData={\n  Écully 1\n  日本 2\n  Ecully 1\n}\n"
        "SampleName=\"Isère\"\nSampleSize=4\nSampleData={\n  Lyoné 2\n  Lyonè 1\n  ab𝄞 1 GGGG\n}\n"
        "[[Structure]]\nStructureName=\"s\"\nNbGroups=1\nGroup={ \"Lyon€\" \"Isère\" }\n";
    std::string const genotypic =
        "[Profile]\nTitle=\"g\"\nNbSamples=1\nDataType=STANDARD\nGenotypicData=1\nGameticPhase=0\n"
        "LocusSeparator=WHITESPACE\nMissingData='?'\n[Data]\n[[Samples]]\nSampleName=\"s\"\nSampleSize=4\n"
        "SampleData={\n  Écully 1 é1 b\n    ê2 c\n  日本 1 a b\n    €€ 𝄞\n}\n";
    struct Case {
        char const* what;
        std::string text;
        std::string wanted;  // lines the dump must hold
    };
    Case const cases[] = {
        {"haplotypic", haplotypic,
         "haplist \"liste\" Écully=ACGT Ecully=ACGA 日本=ACTT Lyoné=TCGT Lyonè=TCGA ab𝄞=GGGG\n"
         "matrix \"m\" size=5 LINE labels Écully Ecully 日本 Lyoné Lyonè rows 0 | 1 0 | 2 1 0 | 3 2 1 0 | 4 3 2 1 0\n"
         "sample 0 \"Lyon€\" size=4: Écullyx1 日本x2 Ecullyx1\n"
         "sample 1 \"Isère\" size=4: Lyonéx2 Lyonèx1 ab𝄞x1\n"
         "structure \"s\" groups=1 {Lyon€ Isère}\n"},
        {"genotypic", genotypic, ": Écullyx1[é1 b/ê2 c] 日本x1[a b/€€ 𝄞]\n"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        start_again();
        put(dir / "utf8.pmp", c.text);
        Project run;
        ASSERT_EQ(read_project(dir / "utf8.pmp", run), 1) << log();
        std::string const expected = dump(run);
        EXPECT_NE(expected.find(c.wanted), std::string::npos) << expected;

        start_again();
        put(dir / "utf8.pmp", c.text);
        Project legacy;
        ASSERT_EQ(open_raw(dir / "utf8.pmp", legacy), 1) << log();
        EXPECT_EQ(dump(legacy), expected);
        EXPECT_EQ(log().find("#[ERROR"), std::string::npos) << log();
    }
}

// Pipes and folders named where files belong are refused without blocking.
TEST_F(ProjectOpenTest, OnlyRegularFilesAreOpened) {
    fs::path const pipe = dir / "pipe";
    std::string const q = "\"" + pipe.string() + "\"";
    struct Case {
        char const* what;
        std::string text;
        Report report;
    };
    Case const cases[] = {
        {"sample data", head + "[[Samples]]\nSampleName=\"s\"\nSampleData = EXTERN " + q + "\n",
         {"ERROR", "Samples::Read()", 36}},
        {"matrix", head + matrix3 + "MatrixData = EXTERN " + q + "\n", {"ERROR", "DistMat::read_id_content()", 18}},
        {"haplotype list", head + "[[HaplotypeDefinition]]\nHaplList = EXTERN " + q + "\n",
         {"ERROR", "Haplo_DB::read_id_content()", 36}},
        {"structure", head + sample + "[[Structure]]\nStructureName = EXTERN " + q + "\n",
         {"ERROR", "Structure::read_id_content()", 45}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        start_again();
        ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
        Project p;
        EXPECT_EQ(open_text(c.text, p), 0) << log();
        EXPECT_TRUE(reported_by(c.report.kind, c.report.function, c.report.message)) << log();
        EXPECT_NE(log().find("not a regular file"), std::string::npos) << log();
    }

    // The project itself: a pipe, or no file at all.
    for (bool const makePipe : {true, false}) {
        start_again();
        if (makePipe) {
            ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
        }
        Project p;
        EXPECT_EQ(open_raw(pipe, p), 0);
        EXPECT_TRUE(reported_by("WARNING", "Project::open()", 126)) << log();
    }
}

TEST(LegacyTokenHelpers, DirectivesAndExternalNames) {
    std::istringstream in("12 word");
    EXPECT_EQ(read_directive_value(in), 12);
    EXPECT_EQ(read_directive_value(in), -1);

    std::istringstream words("  KeyWord rest");
    std::string directive;
    EXPECT_TRUE(read_directive_my_string(words, directive));
    EXPECT_EQ(directive, "keyword");
    EXPECT_FALSE(read_directive_my_string(words, directive));  // "rest" ends the input
    EXPECT_EQ(directive, "rest");

    // Relative names start in the result folder, however long it is.
    settings run;
    run.ResultFolder = (std::string(500, 'f') + "/").c_str();
    Samples samples;
    samples.RunSettings = &run;
    DistMat matrix;
    matrix.RunSettings = &run;
    std::string const folder = run.ResultFolder.c_str();
    EXPECT_EQ(samples.build_ext_name("x.txt"), folder + "x.txt");
    EXPECT_EQ(matrix.build_ext_name("x.txt"), folder + "x.txt");
    EXPECT_EQ(samples.build_ext_name("/a/x.txt"), "/a/x.txt");
    EXPECT_EQ(matrix.build_ext_name("a\\x.txt"), "a\\x.txt");
}

}  // namespace
}  // namespace quintle
