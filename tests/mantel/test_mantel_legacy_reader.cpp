// The older reader of the Mantel section: matrices in blocks of columns,
// which entry fills which matrix, the count of matrices, external files and
// the failures with their reports.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

bool reported(std::string const& log, char const* kind, std::string const& function, int message) {
    std::string const tail = "] from function \"" + function + "\" : " + Errors::message(message);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if (line.find(std::string("#[") + kind + " # ") != std::string::npos && line.find(tail) != std::string::npos)
            return true;
    return false;
}

std::vector<double> triangle(TriMat const& t) {
    std::vector<double> out;
    for (int i = 0; i < t.dim; ++i)
        for (int j = 0; j <= i; ++j) out.push_back(t(i, j));
    return out;
}

std::vector<std::string> used(Mantel const& m) {
    std::vector<std::string> out;
    for (long i = 0; i < m.UsedYMatrixLabels.count; ++i) out.emplace_back(m.UsedYMatrixLabels.data[i].c_str());
    return out;
}

class LegacyReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        run.ProjectFolder = (log_.dir().string() + "/").c_str();
        m.profile.RunSettings = &run;
    }
    int read(std::string const& section) {
        std::istringstream is(section);
        return m.get_settings(is);
    }
    std::string log() const { return log_.text(); }

    test::LogGuard log_{"quintle_mantel_legacy"};
    settings run;
    Mantel m;
};

std::string const kHead = "MatrixSize = 3\nMatrixNumber = 2\n";
std::string const kLabels = "YMatrixLabels = \"p1\" \"p2\" \"p3\"\n";
std::string const kOne = "DistMatMantel = {\n0\n1 0\n2 3 0\n}\n";
std::string const kTwo = "DistMatMantel = {\n  0\n  4 0   # comment\n  5 6 0\n  }\n";

TEST_F(LegacyReaderTest, MatrixOrderForCustomAndComputedY) {
    ASSERT_EQ(read(kHead + "YMatrix = \"Custom\"\n" + kLabels + kOne + kTwo +
                   "UsedYMatrixLabels = { \"p1\" p2\n \"p3\" }\n"),
              1)
        << log();
    EXPECT_EQ(std::string(m.YMatrix.c_str()), "custom");
    EXPECT_EQ(triangle(m.UserYMatrix), (std::vector<double>{0, 1, 0, 2, 3, 0}));
    EXPECT_EQ(triangle(m.X1), (std::vector<double>{0, 4, 0, 5, 6, 0}));
    EXPECT_EQ(used(m), (std::vector<std::string>{"p1", "p2", "p3"}));
    ASSERT_EQ(m.YMatrixLabels.size(), 3u);
    EXPECT_EQ(std::string(m.YMatrixLabels[2].c_str()), "p3");

    // A computed Y counts as the first matrix: the entries fill X1, then X2.
    Mantel computed;
    computed.profile.RunSettings = &run;
    std::istringstream is("MatrixSize = 3\nMatrixNumber = 3\nYMatrix = \"log_fst\"\n" + kLabels + kOne + kTwo);
    ASSERT_EQ(computed.get_settings(is), 1) << log();
    EXPECT_EQ(triangle(computed.X1), (std::vector<double>{0, 1, 0, 2, 3, 0}));
    EXPECT_EQ(triangle(computed.X2), (std::vector<double>{0, 4, 0, 5, 6, 0}));
    EXPECT_EQ(triangle(computed.UserYMatrix), (std::vector<double>(6, 0.0)));
}

TEST_F(LegacyReaderTest, MatrixInBlocksOfColumns) {
    // Row 2 stops before its diagonal, which comes in a second block.
    ASSERT_EQ(read("MatrixSize = 3\nDistMatMantel = {\n0\n1 0\n2 3\n0\n}\n"), 1) << log();
    EXPECT_EQ(triangle(m.UserYMatrix), (std::vector<double>{0, 1, 0, 2, 3, 0}));
    EXPECT_EQ(m.MatrixNumber, 1) << "without MatrixNumber the count of matrices read stands";

    // Five rows in two blocks of columns (0-1, then 2-4), comments between.
    Mantel blocks;
    std::istringstream is("MatrixSize = 5\nDistMatMantel = {\n0\n1 0\n2 3\n4 5\n6 7\n# second block\n0\n8 0\n"
                          "9 10 0\n}\n");
    ASSERT_EQ(blocks.get_settings(is), 1) << log();
    EXPECT_EQ(triangle(blocks.UserYMatrix), (std::vector<double>{0, 1, 0, 2, 3, 0, 4, 5, 8, 0, 6, 7, 9, 10, 0}));
}

TEST_F(LegacyReaderTest, CarriageReturnsReadAsBlanks) {
    std::string section = kHead + kLabels + kOne + kTwo;
    std::string crlf;
    for (char c : section) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ASSERT_EQ(read(crlf), 1) << log();
    EXPECT_EQ(triangle(m.X1), (std::vector<double>{0, 4, 0, 5, 6, 0}));
    EXPECT_EQ(std::string(m.YMatrixLabels[0].c_str()), "p1");
}

TEST_F(LegacyReaderTest, ExternalMatrixFiles) {
    std::ofstream(log_.dir() / "x1.txt") << "0\n7 0\n8 9 0\n";
    fs::create_directories(log_.dir() / "sub");
    std::ofstream(log_.dir() / "sub" / "x2.txt") << "0\r\n1 0\r\n1 1 0\r\n";
    std::string const full = (log_.dir() / "sub" / "x2.txt").string();
    ASSERT_EQ(read("MatrixSize = 3\nMatrixNumber = 3\nYMatrix = \"fst\"\nDistMatMantel = EXTERN x1.txt\n"
                   "DistMatMantel = extern \"" + full + "\"\n"),
              1)
        << log();
    EXPECT_EQ(triangle(m.X1), (std::vector<double>{0, 7, 0, 8, 9, 0}));
    EXPECT_EQ(triangle(m.X2), (std::vector<double>{0, 1, 0, 1, 1, 0}));
    EXPECT_TRUE(reported(log(), "INFO", "Mantel::read_id_content()", 17)) << log();

    // The path is built in a string: a folder name of any length fits.
    std::string const longFolder = "/" + std::string(5000, 'f') + "/";
    run.ProjectFolder = longFolder.c_str();
    EXPECT_EQ(m.build_ext_name("x.txt"), longFolder + "x.txt");
    EXPECT_EQ(m.build_ext_name("a/x.txt"), "a/x.txt");
    EXPECT_EQ(m.build_ext_name("a\\x.txt"), "a\\x.txt");
    m.profile.RunSettings = nullptr;
    EXPECT_EQ(m.build_ext_name("x.txt"), "x.txt");
    EXPECT_NE(log().find("Pointer to project dir is not initialized. ERROR\n"), std::string::npos);
}

TEST_F(LegacyReaderTest, UsedLabelsAccumulate) {
    ASSERT_EQ(read(kHead + "YMatrix = \"nm\"\n" + kLabels + kOne + "UsedYMatrixLabels = { p1 p2 }\nUsedYMatrixLabels = {\n\"p3\" }\n"), 1)
        << log();
    EXPECT_EQ(used(m), (std::vector<std::string>{"p1", "p2", "p3"}));
}

// Each failure: its report and a failed read.
TEST_F(LegacyReaderTest, FailuresAndTheirReports) {
    std::string const content = "Mantel::read_id_content()";
    std::string const section = "Mantel::get_settings( ifstream& ifs)";
    struct Case {
        std::string text;
        char const* kind;
        std::string function;
        int message;
    } const cases[] = {
        // One DistMatMantel for a computed Y and two user matrices.
        {"MatrixSize = 3\nMatrixNumber = 3\nYMatrix = \"fst\"\n" + kOne, "ERROR", section, 186},
        {"YMatrix = \"distance\"\n", "ERROR", content, 59},
        {"MatrixSize = 2\n", "ERROR", content, 15},
        {"MatrixSize = many\n", "ERROR", content, 14},
        {"MatrixNumber = 4\n", "ERROR", content, 15},
        // A new size would leave the labels pointing outside the matrices.
        {kHead + kLabels + "MatrixSize = 4\n", "ERROR", content, 15},
        {kHead + "YMatrixLabels = \"p1\" \"p2\" \"p3\" }\n", "ERROR", content, 12},
        {kHead + "YMatrixLabels = \"p1\" \"p2\"\n\"p3\"\n", "ERROR", content, 11},
        {kHead + "UsedYMatrixLabels = \"p1\"", "ERROR", content, 50},
        {"DistMatMantel = {\n0\n}\n", "ERROR", content, 14},
        {kHead + "DistMatMantel = {\n0\n-1 0\n2 3 0\n}\n", "ERROR", "Mantel::read_MatrixData()->line 2, column 1", 13},
        {kHead + "DistMatMantel = {\n0\n.5 0\n2 3 0\n}\n", "ERROR", "Mantel::read_MatrixData()->line 2, column 1", 13},
        {kHead + "DistMatMantel = {\n0\n1 0\n2\n3 0\n}\n", "ERROR",
         "Mantel::read_MatrixData()->Line 2 contains more than 2 distances.", 13},
        {kHead + "DistMatMantel = {\n0\n1 0\n2 1e999 0\n}\n", "ERROR", "Mantel::read_MatrixData() (line 3, column 2)",
         13},
        {kHead + "DistMatMantel = {\n0\n1 0\n2 3 0\n", "ERROR", content, 12},
        {kHead + "DistMatMantel = INCLUDE \"x.txt\"\n", "ERROR", content, 20},
        {kHead + "DistMatMantel = EXTERN\n", "ERROR", content, 19},
        {kHead + "DistMatMantel = ?\n", "ERROR", content, 21},
        {kHead + "DistMatMantel = EXTERN \"absent.txt\"\n", "ERROR", content, 18},
        {kHead + "Title = \"t\"\n", "ERROR", content, 22},
        {kHead + "Colour = \"red\"\n", "WARNING", section, 23},
        // A character no key can begin with ends the read as a failure, not
        // as the end of the section.
        {kHead + "% = 2\n", "ERROR", "skip_comments(ifstream& ifs) (\"%\")", 100},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        log_.restart();
        Mantel fresh;
        fresh.profile.RunSettings = &run;
        std::istringstream is(c.text);
        EXPECT_EQ(fresh.get_settings(is), 0);
        EXPECT_TRUE(reported(log(), c.kind, c.function, c.message)) << log();
    }
}

}  // namespace
}  // namespace quintle
