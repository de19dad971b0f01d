// The older, token-based project reader (Project::open) and its section
// readers: on projects that both readers accept it must fill the project as
// the line reader of a run does; then its own rules and failures, each with
// its report and outcome.

#include <gtest/gtest.h>

#include <sstream>

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

class LegacyReaderTest : public ProjectDirTest {
protected:
    // Copies a fixture (and the files beside it) into the test folder.
    void copy_fixture(char const* name, std::initializer_list<char const*> beside = {}) {
        fs::copy_file(legacyDir / name, dir / name, fs::copy_options::overwrite_existing);
        for (char const* b : beside) fs::copy_file(legacyDir / b, dir / b, fs::copy_options::overwrite_existing);
    }
    // Project::open on the file as it stands; relative EXTERN names are
    // looked for beside it.
    int open_raw(fs::path const& path, Project& target) {
        settings::input_file = path.string().c_str();
        target.options.ResultFolder = (path.parent_path().string() + "/").c_str();
        target.options.ProjectFolder = target.options.ResultFolder;
        target.initialize();
        target.RunSettings = &target.options;
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
TEST_F(LegacyReaderTest, ReadsAsTheRunReaderOnProjectsBothAccept) {
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

}  // namespace
}  // namespace quintle

namespace quintle {
namespace {

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
TEST_F(LegacyReaderTest, FailuresGiveTheirReportsAndOutcome) {
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
        {"empty list named in the profile", "[Profile]\nUsedHaplList=\"mine\"\n" + head.substr(10) + sample, 1,
         {{"WARNING", open, 130}}},
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
        {"input ending inside the matrix", head + matrix3 + "MatrixData={\na b c\n0\n1 0\n2", 0,
         {{"ERROR", "DistMat::read_MatrixData() (line 3, column 2)", 13}}},
    };
    for (FailureCase const& c : cases) {
        SCOPED_TRACE(c.what);
        start_again();
        Project p;
        EXPECT_EQ(open_text(c.text, p), c.result) << log();
        for (Report const& r : c.reports)
            EXPECT_TRUE(reported_by(r.kind, r.function, r.message))
                << r.kind << " " << r.message << " from " << r.function << "\n" << log();
        if (c.logged != nullptr) EXPECT_NE(log().find(c.logged), std::string::npos) << log();
    }
}

}  // namespace
}  // namespace quintle
