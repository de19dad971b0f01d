// The Mantel record and the reader of a project's Mantel section: sections
// read inline and with external matrices, every numbered failure with its
// log line and report, the record's lifecycle (reset, clear, assignment)
// and its writer.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "core/Errors.h"
#include "mantel/Mantel.h"
#include "project/Project.h"
#include "run/settings.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

fs::path const dataDir = fs::path(QUINTLE_TEST_DATA_DIR) / "mantel";

std::string slurp(fs::path const& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void put(fs::path const& path, std::string const& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// One log line of the given kind, from the given function, with the text of
// the given message.
bool reported(std::string const& log, char const* kind, char const* function, int message) {
    std::string const tail = std::string("] from function \"") + function + "\" : " + Errors::message(message);
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line))
        if (line.find(std::string("#[") + kind + " # ") != std::string::npos && line.find(tail) != std::string::npos)
            return true;
    return false;
}

std::vector<std::string> used_labels(Mantel const& m) {
    std::vector<std::string> out;
    for (long i = 0; i < m.UsedYMatrixLabels.count; ++i) out.emplace_back(m.UsedYMatrixLabels.data[i].c_str());
    return out;
}

std::vector<std::string> row_labels(Mantel const& m) {
    std::vector<std::string> out;
    for (my_string const& label : m.YMatrixLabels) out.emplace_back(label.c_str());
    return out;
}

// Lower triangle, row by row.
std::vector<double> triangle(TriMat const& t) {
    std::vector<double> out;
    for (int i = 0; i < t.dim; ++i)
        for (int j = 0; j <= i; ++j) out.push_back(t(i, j));
    return out;
}

// The section's fields, the statistics and the profile title, for
// comparing whole records.
auto state(Mantel const& m) {
    return std::tuple(m.MatrixSize, m.MatrixNumber, m.NbMatricesRead, std::string(m.YMatrix.c_str()),
                      m.YMatrixLabels.size(), m.UsedYMatrixLabels.count, m.X1.dim, m.X2.dim, m.UserYMatrix.dim, m.rY1,
                      m.equal_rY1, m.NbPermutations, std::string(m.profile.Title.c_str()));
}

// Number of lines a section reader meets: every line of the text, the
// header before it, and the read that meets the end of the file.
int lines_met(std::string const& section) {
    return 2 + static_cast<int>(std::count(section.begin(), section.end(), '\n'));
}

std::string const kExample =
    "MatrixSize = 3\n"
    "MatrixNumber = 2\n"
    "YMatrix = \"slatkinlinearfst\"\n"
    "YMatrixLabels = { \"pop1\" \"pop2\" \"pop3\" }\n"
    "DistMatMantel = {\n"
    "0\n"
    "12.5 0\n"
    "30.0 17.5 0\n"
    "}\n"
    "UsedYMatrixLabels = { \"pop1\" \"pop2\" \"pop3\" }\n";

class MantelRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        dir = fs::temp_directory_path() /
              ("quintle_mantel_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        fs::remove_all(dir);
        fs::create_directories(dir);
        E.init_log_file(my_string((dir / "log.txt").string().c_str()), false);
        E.error(WARNING, "", -1);
        run.ProjectFolder = (dir.string() + "/").c_str();
        run.ComputeDistanceMatrixAMOVA = 0;
        profile.RunSettings = &run;
        profile.Title = "first project";
    }
    void TearDown() override {
        E.CloseLog_file();
        // Leave E silent for whatever runs next in this process.
        E.init_log_file(my_string((dir / "absent" / "log.txt").string().c_str()), false);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    std::string log() const {
        _AOS_->flush();
        return slurp(dir / "log.txt");
    }

    struct Outcome {
        int result = -1;
        int line = 0;
        bool size = false, ymatrix = false, number = false, labels = false, dist = false, used = false;
        bool projectStillOpen = true;
    };

    // Writes the section under its header and reads it as the project
    // reader does: the header is line 1.
    Outcome read(Mantel& m, std::string const& section) {
        put(dir / "p.pmp", "[[Mantel]]\n" + section);
        std::ifstream in(dir / "p.pmp");
        my_string buf;
        buf.read_line(in);
        Outcome o;
        o.line = 1;
        o.result = m.NewOpenMantel(in, profile, o.line, buf, o.size, o.ymatrix, o.number, o.labels, o.dist, o.used);
        o.projectStillOpen = in.is_open();
        return o;
    }

    fs::path dir;
    settings run;
    ProfileSettings profile;
};

TEST_F(MantelRecordTest, ReadsTheExampleSection) {
    Mantel m;
    Outcome const o = read(m, kExample);
    ASSERT_EQ(o.result, 1) << log();
    EXPECT_TRUE(o.size && o.ymatrix && o.number && o.labels && o.dist && o.used);
    EXPECT_EQ(o.line, lines_met(kExample));
    EXPECT_EQ(m.MatrixSize, 3);
    EXPECT_EQ(m.MatrixNumber, 2);
    EXPECT_EQ(m.NbMatricesRead, 2);
    EXPECT_EQ(std::string(m.YMatrix.c_str()), "slatkinlinearfst");
    EXPECT_EQ(row_labels(m), (std::vector<std::string>{"pop1", "pop2", "pop3"}));
    EXPECT_EQ(used_labels(m), (std::vector<std::string>{"pop1", "pop2", "pop3"}));
    EXPECT_EQ(triangle(m.X1), (std::vector<double>{0, 12.5, 0, 30, 17.5, 0}));
    EXPECT_EQ(triangle(m.UserYMatrix), std::vector<double>(6, 0.0));
    EXPECT_EQ(m.X2.dim, 3);
    EXPECT_EQ(run.ComputeDistanceMatrixAMOVA, 1) << "a computed Y needs the AMOVA distance matrix";
    EXPECT_EQ(std::string(m.profile.Title.c_str()), "first project");
    std::string const text = log();
    EXPECT_NE(text.find("\t\tReading Mantel distance matrix ...\n\t\tdone ! ("), std::string::npos) << text;
    EXPECT_EQ(text.find("#[ERROR"), std::string::npos) << text;
}

// A user Y and two external matrices, one named relative to the project's
// folder and one by its full path; keywords in any case, comments, labels
// over several lines.
TEST_F(MantelRecordTest, ReadsCustomYAndExternalMatrices) {
    fs::copy_file(dataDir / "x1_rows.txt", dir / "x1_rows.txt");
    fs::create_directories(dir / "elsewhere");
    fs::copy_file(dataDir / "x2_rows.txt", dir / "elsewhere" / "x2_rows.txt");
    std::string const section =
        "# partial test with a user Y\n"
        "matrixsize=4# lower case, no blank before the comment\n"
        "MATRIXNUMBER = 3\n"
        "YMatrix = \"Custom\"\n"
        "YMatrixLabels = {\n"
        "  \"north\" \"south\"\n"
        "  east 'w'\n"
        "}\n"
        "  # DistMatMantel = EXTERN \"absent.txt\"\n"
        "DistMatMantel = {\n"
        "  0\n"
        "  1 0\n"
        "  2 3 0\n"
        "  4 5 6 0 }\n"
        "DistMatMantel = EXTERN \"x1_rows.txt\"\n"
        "DistMatMantel = EXTERN \"" +
        (dir / "elsewhere" / "x2_rows.txt").string() +
        "\"\n"
        "UsedYMatrixLabels = { \"w\" \"north\"\n"
        "   east }\n";
    Mantel m;
    Outcome const o = read(m, section);
    ASSERT_EQ(o.result, 1) << log();
    EXPECT_EQ(o.line, lines_met(section)) << "external rows do not count";
    EXPECT_EQ(std::string(m.YMatrix.c_str()), "custom");
    EXPECT_EQ(m.MatrixSize, 4);
    EXPECT_EQ(m.MatrixNumber, 3);
    EXPECT_EQ(m.NbMatricesRead, 3);
    EXPECT_EQ(row_labels(m), (std::vector<std::string>{"north", "south", "east", "w"}));
    EXPECT_EQ(used_labels(m), (std::vector<std::string>{"w", "north", "east"}));
    EXPECT_EQ(triangle(m.UserYMatrix), (std::vector<double>{0, 1, 0, 2, 3, 0, 4, 5, 6, 0}));
    EXPECT_EQ(triangle(m.X1), (std::vector<double>{0, 1.5, 0, 2, 3, 0, 4, 5, 6, 0}));
    EXPECT_EQ(triangle(m.X2), (std::vector<double>{0, 10, 0, 20, 30, 0, 40, 50, 60, 0}));
    EXPECT_EQ(run.ComputeDistanceMatrixAMOVA, 0) << "a user Y needs no computed distances";
    std::string const text = log();
    EXPECT_NE(text.find("\tReading Distance Matrix in external file \"x1_rows.txt\"\n"), std::string::npos) << text;
    EXPECT_TRUE(reported(text, "WARNING", "Mantel::NewReadMantel()", 17)) << text;
}

TEST_F(MantelRecordTest, AcceptedIrregularities) {
    std::string const S = "MatrixSize=3\n", N = "MatrixNumber=2\n", Y = "YMatrix=\"fst\"\n";
    std::string const L = "YMatrixLabels={ \"a\" \"b\" \"c\" }\n";
    std::string const U = "UsedYMatrixLabels={ \"c\" \"b\" \"a\" }\n";
    {
        SCOPED_TRACE("no used labels: every row label is used");
        Mantel m;
        Outcome const o = read(m, S + N + Y + L + "DistMatMantel={\n0\n1 0\n2 3 0\n}\n");
        EXPECT_EQ(o.result, 1);
        EXPECT_FALSE(o.used);
        EXPECT_EQ(used_labels(m), (std::vector<std::string>{"a", "b", "c"}));
        EXPECT_NE(log().find("\tWarning: Section UsedYMatrixLabels not found. We shall assume that all labels "
                             "previously defined in section YMatrixLabels are valid\n"),
                  std::string::npos);
    }
    {
        SCOPED_TRACE("a value too many, a short row ending the line, the brace after the last value");
        Mantel m;
        Outcome const o = read(m, S + N + Y + L + "DistMatMantel={\n0 9\n1\n2 3 0 }\n" + U);
        EXPECT_EQ(o.result, 1) << log();
        EXPECT_EQ(triangle(m.X1), (std::vector<double>{0, 1, 0, 2, 3, 0}));
        EXPECT_NE(log().find("\tWarning:  Too many distances are defined on line 7(2 instead of 1)\n"),
                  std::string::npos)
            << log();
        EXPECT_TRUE(reported(log(), "WARNING", "Mantel::newReadmatrixData()", 15));
    }
    {
        SCOPED_TRACE("fractions truncated; the same size twice; the brace on a later line");
        Mantel m;
        Outcome const o =
            read(m, "MatrixSize=3.9\nMatrixNumber=2.5\n" + Y + L + S + "DistMatMantel={\n0\n1 0\n2 3 0\n\n}\n" + U);
        EXPECT_EQ(o.result, 1) << log();
        EXPECT_EQ(m.MatrixSize, 3);
        EXPECT_EQ(m.MatrixNumber, 2);
    }
}

// Each failure: its log line, its report, and a failed read.
TEST_F(MantelRecordTest, EveryFailureLogsReportsAndFailsTheRead) {
    std::string const S = "MatrixSize=3\n", N = "MatrixNumber=2\n", Y = "YMatrix=\"fst\"\n";
    std::string const L = "YMatrixLabels={ \"a\" \"b\" \"c\" }\n";
    std::string const D = "DistMatMantel={\n0\n1 0\n2 3 0\n}\n";
    char const* const reader = "Mantel::NewReadMantel()";
    char const* const matrixReader = "Mantel::newReadmatrixData()";
    char const* const problems = "\t\tProblems in reading DisMatMantel section... aborting reading  project file.\n";
    struct Case {
        char const* what;
        std::string section;
        std::vector<std::string> logged;
        char const* function;
        int message;
    };
    Case const cases[] = {
        {"1 YMatrix without =", "YMatrix \"fst\"\n",
         {"\tMissing '=' sign after keyword \"YMatrix\" on line 2. Aborting reading project.\n"}, reader, 197},
        {"2 YMatrix empty", "YMatrix=\"\"\n",
         {"\tProject file, Line #2 : Invalid value ('\") assigned to keyword \"YMatrix\"\n"}, reader, 197},
        {"3 YMatrix unknown", "YMatrix=\"Log_FST2\"\n",
         {"\tInvalid YMatrix type (\"Log_FST2\")defined on line 2. Aborting reading project.\n"}, reader, 59},
        {"4 MatrixSize without =", "MatrixSize 3\n",
         {"\tMissing '=' sign after keyword \"MatrixSize\" on line 2. Aborting reading project.\n"}, reader, 197},
        {"5 MatrixSize not taken whole", "MatrixSize=3 \n",
         {"Bad value (\"3\") assigned to MatrixSize on line 2. Aborting reading project.\n"}, reader, 14},
        {"6 MatrixSize below 3", N + "MatrixSize=2\n",
         {"\tInvalid value assigned to MatrixSize on line 3. Value of MatrixSize needs to be at least 3. Aborting "
          "reading project.\n"},
         reader, 15},
        {"6 MatrixSize beyond an int", "MatrixSize=1e12\n", {"\tInvalid value assigned to MatrixSize on line 2."},
         reader, 15},
        {"7 MatrixNumber without =", "MatrixNumber 2\n", {"\"MatrixNumber\" on line 2"}, reader, 199},
        {"8 MatrixNumber not a number", "MatrixNumber=two\n",
         {"Bad value (\"0\") assigned to MatrixNumber on line 2. Aborting reading project.\n"}, reader, 198},
        {"9 MatrixNumber 4", "MatrixNumber=4.5\n",
         {"Invalid value (4) assigned to MatrixNumber on line 2. Value needs to be either 2 or 3. Aborting reading "
          "project.\n"},
         "Mantel::read_id_content()", 199},
        {"10 row labels before the size", L,
         {"\tKeyword YMatrixLabels found on line 2 before MatrixSize has been defined. Abort reading matrix.\n"},
         reader, 197},
        {"11 a row label too many", S + "YMatrixLabels={ \"a\" \"b\"\n \"c\" \"d\" }\n",
         {"\tToo many labels found on line 4. Check YMatrixLabels definition. Abort reading project.\n"}, reader, 12},
        {"12 a row label short", S + "YMatrixLabels={ \"a\"\n\"b\" }\n",
         {"\tInsufficient number of labels defined in YMatrixLabels section (2 instead of 3). Aborting reading "
          "project\n"},
         reader, 12},
        {"13 row labels run into a matrix", S + "YMatrixLabels={ \"a\" \"b\" \"c\"\n" + D,
         {"\tMissing closing brace in YMatrixLabels definition. Aborting reading project.\n"}, reader, 12},
        {"14 row labels without {", S + "YMatrixLabels=\n \"a\" \"b\" \"c\" }\n",
         {"\tMissing opening brace in YMatrixLabels definition. Aborting reading project\n"}, reader, 12},
        {"15 used labels before the size", N + "UsedYMatrixLabels={ a b c }\n",
         {"\tKeyword UsedYMatrixLabels found on line 3 before MatrixSize has been defined. Abort reading matrix.\n"},
         reader, 197},
        {"16 a used label too many", S + L + "UsedYMatrixLabels={ a b c a }\n",
         {"\tToo many labels found on line 4. Check UsedYMatrixLabels definition. Abort reading project.\n"}, reader,
         12},
        {"17 an unknown used label on a later line", S + L + "UsedYMatrixLabels={ \"a\"\n \"z\" }\n",
         {"\tLabel \"z\" defined on line 5 has not been defined previously in YMatrixLabels section. Aborting "
          "reading project.\n"},
         reader, 201},
        {"17 a used label before any row label", S + "UsedYMatrixLabels={ a b c }\n" + L,
         {"\tLabel \"a\" defined on line 3 has not been defined previously in YMatrixLabels section."}, reader, 201},
        {"18 used labels not closed", S + L + "UsedYMatrixLabels={ a b c\n",
         {"\tMissing closing brace in UsedYMatrixLabels definition. Aborting reading project.\n"}, reader, 12},
        {"19 used labels without {", S + L + "UsedYMatrixLabels=\n a b c }\n",
         {"\tMissing opening brace in UsedYMatrixLabels definition"}, reader, 12},
        {"20 two used labels", S + L + "UsedYMatrixLabels={ a b }\n", {"\tOnly 2 label(s) found"}, reader, 30},
        {"21 absent external file", S + "DistMatMantel = EXTERN \"absent.txt\"\n",
         {"\tWarning: External file \"absent.txt\" listed on line 3 cannot be open. Check that it exists. Aborting "
          "reading project\n"},
         "Project::newOpen()", 200},
        {"EXTERN without a file name", S + "DistMatMantel = EXTERN\n", {"on line 3. Aborting reading project.\n"},
         reader, 20},
        {"label list sized by an earlier MatrixSize", S + L + "MatrixSize=4\n",
         {"\tMatrixSize changed on line 4"}, reader, 15},
        {"A short row followed by a blank", S + "DistMatMantel={\n0\n1 \n2 3 0\n}\n",
         {"\tUnable to read distance #2 on line 5. Aborting reading distance matrix.\n", problems}, matrixReader, 13},
        {"B decimal comma", S + "DistMatMantel={\n0\n1,5 0\n2 3 0\n}\n",
         {"\tBad value (\"1,5\") for distance #1 on line 5. Aborting reading distance matrix.\n", problems},
         matrixReader, 13},
        {"C external file short of a row", S + "DistMatMantel=EXTERN \"short_rows.txt\"\n",
         {"\tInvalid dimension for distance matrix: 3 rows were expected, but only 2 were found. Aborting reading "
          "project.\n",
          problems},
         matrixReader, 13},
        {"D no closing brace", S + Y + "DistMatMantel={\n0\n1 0\n2 3 0\n",
         {"\tNo closing brace in distance matrix definition up to line 8. Aborting reading project.\n", problems},
         matrixReader, 21},
        {"23 a matrix too many", S + N + Y + L + D + D + D,
         {"\tUnexpected number of matrices defined (4 instead of 2). Aborting reading project.\n"}, reader, 186},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        fs::copy_file(dataDir / "short_rows.txt", dir / "short_rows.txt");
        Mantel m;
        EXPECT_EQ(read(m, c.section).result, 0);
        std::string const text = log();
        for (std::string const& part : c.logged) EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
        EXPECT_TRUE(reported(text, "ERROR", c.function, c.message)) << text;
    }
}

TEST_F(MantelRecordTest, BadNumbersCloseTheProjectFile) {
    for (char const* section : {"MatrixSize=3x\n", "MatrixNumber=\"2\"\n"}) {
        Mantel m;
        Outcome const o = read(m, section);
        EXPECT_EQ(o.result, 0);
        EXPECT_FALSE(o.projectStillOpen) << section;
    }
    Mantel m;
    Outcome const o = read(m, "MatrixSize=2\n");
    EXPECT_EQ(o.result, 0);
    EXPECT_TRUE(o.projectStillOpen) << "an out-of-range number leaves it open";
}

// Each project of a run must start from a cleared record: reset() alone
// keeps the used labels, so a later project without its own list would
// test the earlier project's labels as well.
TEST_F(MantelRecordTest, ClearGivesEachProjectAFreshRecord) {
    std::string const second = "MatrixSize=3\nMatrixNumber=2\nYMatrix=\"nm\"\n"
                                "YMatrixLabels={ x y z }\nDistMatMantel={\n0\n1 0\n1 1 0\n}\n";
    Mantel fresh;
    ASSERT_EQ(read(fresh, second).result, 1);

    Mantel m;
    ASSERT_EQ(read(m, kExample).result, 1);
    m.rY1 = 0.75;
    m.equal_rY1 = 4;
    m.NbPermutations = 1000;

    Mantel onlyReset;
    ASSERT_EQ(read(onlyReset, kExample).result, 1);
    onlyReset.reset();
    ASSERT_EQ(read(onlyReset, second).result, 1);
    EXPECT_EQ(used_labels(onlyReset).size(), 6u) << "the earlier project's labels linger";

    m.clear();
    EXPECT_EQ(state(m), state(Mantel())) << "clear() leaves a record like a new one";

    ASSERT_EQ(read(m, second).result, 1);
    EXPECT_EQ(used_labels(m), used_labels(fresh));
    EXPECT_EQ(used_labels(m), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(triangle(m.X1), triangle(fresh.X1));
    EXPECT_EQ(triangle(m.UserYMatrix), std::vector<double>(6, 0.0));
}

TEST_F(MantelRecordTest, ResetAndAssignmentCopyTheSectionOnly) {
    Mantel m;
    ASSERT_EQ(read(m, kExample).result, 1);

    Mantel copy(4);
    EXPECT_EQ(copy.X1.dim, 4);
    EXPECT_EQ(copy.UserYMatrix.dim, 4);
    copy.UsedYMatrixLabels.Add(my_string("kept"));
    copy.rY1 = 0.25;
    copy = m;
    EXPECT_EQ(row_labels(copy), row_labels(m));
    EXPECT_EQ(triangle(copy.X1), triangle(m.X1));
    EXPECT_EQ(copy.X2.dim, 3);
    // The used labels and the statistics are not part of the section.
    EXPECT_EQ(used_labels(copy), (std::vector<std::string>{"kept"}));
    EXPECT_EQ(copy.rY1, 0.25);
    copy.UsedYMatrixLabels = m.UsedYMatrixLabels;
    copy.rY1 = m.rY1;
    EXPECT_EQ(state(copy), state(m));

    Mantel& same = m;
    m = same;
    EXPECT_EQ(triangle(m.X1), (std::vector<double>{0, 12.5, 0, 30, 17.5, 0})) << "self-assignment keeps the record";
    EXPECT_EQ(m.MatrixSize, 3);

    m.X2.constantMode = 1;
    m.reset();
    EXPECT_EQ(std::tuple(m.MatrixSize, m.MatrixNumber, m.NbMatricesRead, std::string(m.YMatrix.c_str())),
              std::tuple(0, 0, 0, std::string("fst")));
    EXPECT_TRUE(m.YMatrixLabels.empty());
    EXPECT_EQ(m.X1.dim, 3) << "dimensions are kept";
    EXPECT_EQ(triangle(m.X1), std::vector<double>(6, 0.0));
    EXPECT_EQ(m.X2.constantMode, 0);
    EXPECT_EQ(used_labels(m).size(), 3u) << "reset leaves the used labels";

    std::vector<std::string> types;
    for (my_string const& t : m.YTypes) types.emplace_back(t.c_str());
    EXPECT_EQ(types, (std::vector<std::string>{"fst", "log_fst", "slatkinlinearfst", "log_slatkinlinearfst", "nm",
                                                "custom"}));
    EXPECT_EQ(m.NbYTypes, 6);
}

TEST_F(MantelRecordTest, WriterRoundTrip) {
    Mantel m;
    std::ostringstream none;
    none << m;
    EXPECT_EQ(none.str(), "") << "nothing without a size";

    ASSERT_EQ(read(m, kExample).result, 1);
    std::ostringstream os;
    os << m;
    std::string const text = os.str();
    std::string const head =
        "\t[[DistanceMatrix]]\n\n\t\tYMatrix= \"slatkinlinearfst\"\n\t\tMatrixSize= 3\n\t\tLabelPosition=LINE\n"
        "\t\tMatrixData={\"pop1\" \"pop2\" \"pop3\" ";
    ASSERT_EQ(text.substr(0, head.size()), head) << text;
    ASSERT_GE(text.size(), 4u);
    EXPECT_EQ(text.substr(text.size() - 4), "\n\t\t}");

    // Read the block back: quoted labels, then the lower triangle.
    std::istringstream back(text.substr(text.find('{') + 1, text.rfind('}') - text.find('{') - 1));
    std::vector<std::string> labels;
    std::vector<double> values;
    std::string token;
    while (back >> token) {
        if (token.front() == '"')
            labels.push_back(token.substr(1, token.size() - 2));
        else
            values.push_back(std::stod(token));
    }
    EXPECT_EQ(labels, row_labels(m));
    EXPECT_EQ(values, triangle(m.X1));

    m.X1.constantMode = 1;
    std::ostringstream constant;
    constant << m;
    EXPECT_NE(constant.str().find("\"pop3\" \nConventional FST Matrix: Dij=1 if i!=j and O else:\n\n\t\t}"),
              std::string::npos);

    Mantel unlabelled;
    unlabelled.MatrixSize = 3;
    std::ostringstream bare;
    bare << unlabelled;
    EXPECT_TRUE(reported(log(), "INFO", "operator <<(ostream& os, Mantel& DM)", 11)) << log();
}

// The section as the last part of a whole project file read by the
// project reader, with an external matrix beside the project.
TEST_F(MantelRecordTest, ProjectReaderHandsOverTheSection) {
    fs::copy_file(dataDir / "x1_rows.txt", dir / "x1_rows.txt");
    std::string const text =
        "[Profile]\nNbSamples=2\nDataType=DNA\nGenotypicData=0\nLocusSeparator=NONE\nMissingData='?'\n"
        "[Data]\n[[Samples]]\n"
        "SampleName=\"Lake\"\nSampleSize=2\nSampleData={\nh1 2 ACGT\n}\n"
        "SampleName=\"Sea\"\nSampleSize=1\nSampleData={\nh2 1 ACGA\n}\n"
        "[[Mantel]]\n"
        "MatrixSize=4\nMatrixNumber=2\nYMatrix=\"log_fst\"\n"
        "YMatrixLabels={ Lake Sea Pond Bay }\n"
        "DistMatMantel=EXTERN \"x1_rows.txt\"\n"
        "UsedYMatrixLabels={ Sea Lake Bay }\n";
    put(dir / "whole.pmp", text);
    ProfileSettings::DataType = STANDARD;
    ProfileSettings::LocusSeparator = 0;
    settings::input_file = (dir / "whole.pmp").string().c_str();
    Project project;
    project.options.ProjectFolder = (dir.string() + "/").c_str();
    project.RunSettings = &project.options;
    ASSERT_EQ(project.newOpen(), 1) << log();
    Mantel const& m = project.mantel;
    EXPECT_EQ(std::string(m.YMatrix.c_str()), "log_fst");
    EXPECT_EQ(used_labels(m), (std::vector<std::string>{"Sea", "Lake", "Bay"}));
    EXPECT_EQ(triangle(m.X1), (std::vector<double>{0, 1.5, 0, 2, 3, 0, 4, 5, 6, 0}));
    EXPECT_EQ(project.options.ComputeDistanceMatrixAMOVA, 1);
    EXPECT_EQ(m.profile.NbSamples, 2);
    EXPECT_NE(log().find("\tReading mantel section ...\n"), std::string::npos);
}

}  // namespace
}  // namespace quintle
