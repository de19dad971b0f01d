// The Mantel record and the reader of a project's Mantel section: a section
// with inline and external matrices, the numbered failures, a fresh record
// for each project, and the writer.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "mantel/Mantel.h"
#include "run/settings.h"
#include "support/process_state.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

fs::path const dataDir = fs::path(QUINTLE_TEST_DATA_DIR) / "mantel";

// One log line of the given kind, from the given function, with the text of
// the given message.
bool reported(std::string const& log, char const* kind, char const* function, int message) {
    std::string const tail = std::string("] from function \"") + function + "\" : " + Errors::message(message);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if (line.find(std::string("#[") + kind + " # ") != std::string::npos && line.find(tail) != std::string::npos)
            return true;
    return false;
}

std::vector<std::string> used_labels(Mantel const& m) {
    std::vector<std::string> out;
    for (long i = 0; i < m.UsedYMatrixLabels.count; ++i) out.emplace_back(m.UsedYMatrixLabels.data[i].c_str());
    return out;
}

// Lower triangle, row by row.
std::vector<double> triangle(TriMat const& t) {
    std::vector<double> out;
    for (int i = 0; i < t.dim; ++i)
        for (int j = 0; j <= i; ++j) out.push_back(t(i, j));
    return out;
}

std::string const kExample =
    "MatrixSize = 3\nMatrixNumber = 2\nYMatrix = \"slatkinlinearfst\"\n"
    "YMatrixLabels = { \"pop1\" \"pop2\" \"pop3\" }\n"
    "DistMatMantel = {\n0\n12.5 0\n30.0 17.5 0\n}\n"
    "UsedYMatrixLabels = { \"pop1\" \"pop2\" \"pop3\" }\n";

class MantelRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        run.ProjectFolder = (dir.string() + "/").c_str();
        run.ComputeDistanceMatrixAMOVA = 0;
        profile.RunSettings = &run;
    }
    std::string log() const { return log_.text(); }

    // Writes the section under its header and reads it as the project
    // reader does: the header is line 1. Returns the reader's result.
    int read(Mantel& m, std::string const& section, int* lineOut = nullptr) {
        std::ofstream(dir / "p.pmp", std::ios::binary | std::ios::trunc) << "[[Mantel]]\n" + section;
        std::ifstream in(dir / "p.pmp");
        my_string buf;
        buf.read_line(in);
        int line = 1;
        bool size = false, ymatrix = false, number = false, labels = false, dist = false, used = false;
        int const result = m.NewOpenMantel(in, profile, line, buf, size, ymatrix, number, labels, dist, used);
        if (lineOut) *lineOut = line;
        return result;
    }

    test::LogGuard log_{"quintle_mantel"};
    fs::path const& dir = log_.dir();
    settings run;
    ProfileSettings profile;
};

// A user Y and two external matrices, one named relative to the project's
// folder and one by its full path; keywords in any case, comments, labels
// over several lines. Values as written in the section and the files.
TEST_F(MantelRecordTest, ReadsCustomYAndExternalMatrices) {
    fs::copy_file(dataDir / "x1_rows.txt", dir / "x1_rows.txt");
    fs::create_directories(dir / "elsewhere");
    fs::copy_file(dataDir / "x2_rows.txt", dir / "elsewhere" / "x2_rows.txt");
    std::string const section =
        "# partial test with a user Y\n"
        "matrixsize=4# lower case, no blank before the comment\n"
        "MATRIXNUMBER = 3\n"
        "YMatrix = \"Custom\"\n"
        "YMatrixLabels = {\n  \"north\" \"south\"\n  east 'w'\n}\n"
        "  # DistMatMantel = EXTERN \"absent.txt\"\n"
        "DistMatMantel = {\n  0\n  1 0\n  2 3 0\n  4 5 6 0 }\n"
        "DistMatMantel = EXTERN \"x1_rows.txt\"\n"
        "DistMatMantel = EXTERN \"" + (dir / "elsewhere" / "x2_rows.txt").string() + "\"\n"
        "UsedYMatrixLabels = { \"w\" \"north\"\n   east }\n";
    Mantel m;
    int line = 0;
    ASSERT_EQ(read(m, section, &line), 1) << log();
    EXPECT_EQ(line, 20) << "the header, 18 lines, and the read meeting the end; external rows do not count";
    EXPECT_EQ(std::string(m.YMatrix.c_str()), "custom");
    EXPECT_EQ(m.MatrixSize, 4);
    EXPECT_EQ(m.NbMatricesRead, 3);
    EXPECT_EQ(used_labels(m), (std::vector<std::string>{"w", "north", "east"}));
    EXPECT_EQ(triangle(m.UserYMatrix), (std::vector<double>{0, 1, 0, 2, 3, 0, 4, 5, 6, 0}));
    EXPECT_EQ(triangle(m.X1), (std::vector<double>{0, 1.5, 0, 2, 3, 0, 4, 5, 6, 0}));
    EXPECT_EQ(triangle(m.X2), (std::vector<double>{0, 10, 0, 20, 30, 0, 40, 50, 60, 0}));
    EXPECT_EQ(run.ComputeDistanceMatrixAMOVA, 0) << "a user Y needs no computed distances";
    EXPECT_TRUE(reported(log(), "WARNING", "Mantel::NewReadMantel()", 17)) << log();
}

// Each failure: its log line, its report, and a failed read.
TEST_F(MantelRecordTest, FailuresLogReportAndFailTheRead) {
    std::string const S = "MatrixSize=3\n", N = "MatrixNumber=2\n", Y = "YMatrix=\"fst\"\n";
    std::string const L = "YMatrixLabels={ \"a\" \"b\" \"c\" }\n";
    std::string const D = "DistMatMantel={\n0\n1 0\n2 3 0\n}\n";
    char const* const reader = "Mantel::NewReadMantel()";
    char const* const matrixReader = "Mantel::newReadmatrixData()";
    struct Case {
        std::string section;
        char const* logged;
        char const* function;
        int message;
    } const cases[] = {
        {"YMatrix=\"Log_FST2\"\n", "\tInvalid YMatrix type (\"Log_FST2\")defined on line 2. Aborting reading project.\n",
         reader, 59},
        {"MatrixSize=1e12\n", "\tInvalid value assigned to MatrixSize on line 2.", reader, 15},
        {"MatrixNumber=4.5\n",
         "Invalid value (4) assigned to MatrixNumber on line 2. Value needs to be either 2 or 3.",
         "Mantel::read_id_content()", 199},
        {S + "YMatrixLabels={ \"a\" \"b\"\n \"c\" \"d\" }\n",
         "\tToo many labels found on line 4. Check YMatrixLabels definition. Abort reading project.\n", reader, 12},
        {S + L + "UsedYMatrixLabels={ \"a\"\n \"z\" }\n",
         "\tLabel \"z\" defined on line 5 has not been defined previously in YMatrixLabels section.", reader, 201},
        {S + "DistMatMantel = EXTERN \"absent.txt\"\n",
         "\tWarning: External file \"absent.txt\" listed on line 3 cannot be open.", "Project::newOpen()", 200},
        {S + L + "MatrixSize=4\n", "\tMatrixSize changed on line 4", reader, 15},
        {S + "DistMatMantel={\n0\n1,5 0\n2 3 0\n}\n",
         "\tBad value (\"1,5\") for distance #1 on line 5. Aborting reading distance matrix.\n", matrixReader, 13},
        // No entry that is not a finite number.
        {S + "DistMatMantel={\n0\nnan 0\n2 3 0\n}\n",
         "\tBad value (\"nan\") for distance #1 on line 5. Aborting reading distance matrix.\n", matrixReader, 13},
        {S + "DistMatMantel={\n0\n1 0\n2 -inf 0\n}\n",
         "\tBad value (\"-inf\") for distance #2 on line 6. Aborting reading distance matrix.\n", matrixReader, 13},
        {S + "DistMatMantel=EXTERN \"short_rows.txt\"\n",
         "\tInvalid dimension for distance matrix: 3 rows were expected, but only 2 were found.", matrixReader, 13},
        {S + Y + "DistMatMantel={\n0\n1 0\n2 3 0\n",
         "\tNo closing brace in distance matrix definition up to line 8. Aborting reading project.\n", matrixReader,
         21},
        {S + N + Y + L + D + D + D, "\tUnexpected number of matrices defined (4 instead of 2).", reader, 186},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.section);
        log_.restart();
        fs::copy_file(dataDir / "short_rows.txt", dir / "short_rows.txt", fs::copy_options::overwrite_existing);
        Mantel m;
        EXPECT_EQ(read(m, c.section), 0);
        std::string const text = log();
        EXPECT_NE(text.find(c.logged), std::string::npos) << text;
        EXPECT_TRUE(reported(text, "ERROR", c.function, c.message)) << text;
    }
}

// Each project of a run must start from a cleared record: reset() alone
// keeps the used labels, so a later project without its own list would
// test the earlier project's labels as well.
TEST_F(MantelRecordTest, ClearGivesEachProjectAFreshRecord) {
    std::string const second = "MatrixSize=3\nMatrixNumber=2\nYMatrix=\"nm\"\n"
                               "YMatrixLabels={ x y z }\nDistMatMantel={\n0\n1 0\n1 1 0\n}\n";
    Mantel onlyReset;
    ASSERT_EQ(read(onlyReset, kExample), 1);
    onlyReset.reset();
    ASSERT_EQ(read(onlyReset, second), 1);
    EXPECT_EQ(used_labels(onlyReset).size(), 6u) << "the earlier project's labels linger";

    Mantel m;
    ASSERT_EQ(read(m, kExample), 1);
    EXPECT_EQ(run.ComputeDistanceMatrixAMOVA, 1) << "a computed Y needs the AMOVA distance matrix";
    Mantel& same = m;
    m = same;
    EXPECT_EQ(triangle(m.X1), (std::vector<double>{0, 12.5, 0, 30, 17.5, 0})) << "self-assignment keeps the record";
    m.clear();
    ASSERT_EQ(read(m, second), 1);
    EXPECT_EQ(used_labels(m), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(triangle(m.X1), (std::vector<double>{0, 1, 0, 1, 1, 0}));
}

TEST_F(MantelRecordTest, WriterText) {
    Mantel m;
    ASSERT_EQ(read(m, kExample), 1);
    std::ostringstream os;
    os << m;
    std::string const text = os.str();
    std::string const head =
        "\t[[DistanceMatrix]]\n\n\t\tYMatrix= \"slatkinlinearfst\"\n\t\tMatrixSize= 3\n\t\tLabelPosition=LINE\n"
        "\t\tMatrixData={\"pop1\" \"pop2\" \"pop3\" ";
    ASSERT_EQ(text.substr(0, head.size()), head) << text;
    ASSERT_GE(text.size(), 4u);
    EXPECT_EQ(text.substr(text.size() - 4), "\n\t\t}");
    // The values after the labels are the lower triangle.
    std::istringstream back(text.substr(text.rfind('"') + 1));
    std::vector<double> values;
    for (double v; back >> v;) values.push_back(v);
    EXPECT_EQ(values, triangle(m.X1));
}

}  // namespace
}  // namespace quintle
