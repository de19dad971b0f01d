// Given distance matrix: body reader, writer, copies.

#include <gtest/gtest.h>

#include "project/project_test_support.h"

#include "project/DistMat.h"
#include "run/settings.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

class DistMatTest : public test::ProjectDirTest {
protected:
    void open_log() { E.init_log_file(my_string((dir / "log.txt").string().c_str()), false); }

    // Sizes the matrix as the project reader does, then reads the body from
    // line 11 of a file (or line 1 of an external one).
    int read(DistMat& dm, int size, int labelPosition, std::string const& body, bool external = false) {
        dm.initializeMatrixAndArrays(size);
        dm.LabelPosition = labelPosition;
        in_.str(body);
        in_.clear();
        lineNo_ = external ? 0 : 10;
        return dm.ReadDistanceMatrix(in_, external, lineNo_);
    }
    std::string rest() { return std::string(std::istreambuf_iterator<char>(in_), std::istreambuf_iterator<char>()); }

    std::istringstream in_;
    int lineNo_ = 0;
};

TEST_F(DistMatTest, ReadsBodiesWithLineOrColumnLabels) {
    struct Case {
        int labelPosition;
        bool external;
        char const* body;
        double d10;
        int lineNo;
        char const* rest;
    } const cases[] = {
        {0, false, "a b c\n0\n1 0\n2 3 0 }\n[[Samples]]\n", 1.0, 14, "[[Samples]]\n"},
        {1, false, "a 0\nb 1 0\n\tc 2 3 0\n\n# note\n}\nnext\n", 1.0, 16, "next\n"},
        {0, false, "\n  a b c\n0\n-0.5 0\n2 3 0\n\t\t}\n", -0.5, 16, ""},
        {0, true, "a b c\n0\n1e-3 0\n2 3 0\nnot read\n", 1e-3, 4, "not read\n"},
        // Extras are warned about and ignored.
        {0, false, "a b c\td\n0\n1 0 5 6\n2 3 0}", 1.0, 14, ""},
        {0, false, "a b c  d\n0\n1 0\n2 3 0}", 1.0, 14, ""},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.body);
        DistMat dm;
        ASSERT_EQ(read(dm, 3, c.labelPosition, c.body, c.external), 1) << log();
        EXPECT_STREQ(dm.Labels[0].c_str(), "a");
        EXPECT_STREQ(dm.Labels[2].c_str(), "c");
        EXPECT_EQ(dm(1, 0), c.d10);
        EXPECT_EQ(dm(0, 1), c.d10);
        EXPECT_EQ(dm(2, 0), 2.0);
        EXPECT_EQ(dm(1, 2), 3.0);
        EXPECT_EQ(dm(2, 2), 0.0);
        EXPECT_EQ(lineNo_, c.lineNo);
        EXPECT_EQ(rest(), c.rest);
    }
    std::string const text = log();
    EXPECT_NE(text.find("\tWarning: More labels than anticipated (3) are declared on line 11\n"), std::string::npos);
    EXPECT_EQ(text.find("declared on line 11", text.find("declared on line 11") + 1), std::string::npos);
    EXPECT_NE(text.find("\tWarning:  Too many distances are defined on line 13(3 instead of 2)\n"), std::string::npos);
    EXPECT_TRUE(reported("WARNING", 15));
}

TEST_F(DistMatTest, EachFailureReportsAndFailsTheRead) {
    struct Case {
        int size;
        int labelPosition;
        char const* body;
        int index;
        char const* logged;
    } const cases[] = {
        {3, 0, "a b }\n", 12, "\tUnexpected closing brace found on line 11. Aborting reading distance matrix.\n"},
        {3, 0, "a b\n0\n", 12,
         "\tMissing labels on line 11. Only 2 labels were found while 3 were expected. Last correctly read label "
         "was \"b\". Aborting reading Distance Matrix\n"},
        {3, 0, "0\n1 0\n2 3 0\n}\n", 12, "Only 1 labels were found"},
        {3, 1, "a 0\n\nc 2 3 0\n", 12, "\tUnable to read label #2 on line 12. Aborting reading Distance Matrix\n"},
        {3, 0, "a b c\n0\n1\n", 13, "\tUnable to read distance #2 on line 13. Aborting reading distance matrix.\n"},
        {3, 0, "a b c\n# only a comment\n", 13, "\tUnable to read distance #1 on line 12."},
        {3, 0, "a b c\n0\n0.1a 0\n", 13, "\tBad value (\"0.1a\") for distance #1 on line 13."},
        {3, 0, "a b c\n0\n1 inf\n", 13, "\tBad value (\"inf\") for distance #2 on line 13."},
        {3, 0, "a b c\n0\nnan 0\n", 13, "\tBad value (\"nan\")"},
        {3, 0, "a b c\n0\n-inf 0\n", 13, "\tBad value (\"-inf\")"},
        {3, 0, "a b c\n0\n1 0\n", 13,
         "\tInvalid dimension for distance matrix: 3 rows were expected, but only 2 were found. Aborting reading "
         "project.\n"},
        // A brace on an early row does not end the rows.
        {4, 0, "a b c d\n0\n1 0 }\n2 3 0\n[[Samples]]\n", 13, "\tBad value (\"[[Samples]]\") for distance #1"},
        {3, 0, "a b c\n0\n1 0\n2 3 0\n\n[[Samples]]\n}\n", 21,
         "\tNo closing brace in Matrix Data \"M\"definition. Aborting reading project.\n"},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.body);
        open_log();
        DistMat dm;
        dm.MatrixName = "M";
        EXPECT_EQ(read(dm, c.size, c.labelPosition, c.body), 0);
        EXPECT_NE(log().find(c.logged), std::string::npos) << log();
        EXPECT_TRUE(reported("ERROR", c.index)) << log();
    }
}

TEST_F(DistMatTest, DataWithoutValidSizeIsRefusedUnread) {
    DistMat fresh;
    std::istringstream body("a\n0\n}\n");
    int lineNo = 5;
    EXPECT_EQ(fresh.ReadDistanceMatrix(body, false, lineNo), 0);
    EXPECT_EQ(lineNo, 5);
    EXPECT_EQ(body.tellg(), 0);

    DistMat stale;  // sized for an earlier project, then emptied
    stale.initializeMatrixAndArrays(2);
    stale.reset();
    EXPECT_EQ(stale.dim, 2);
    EXPECT_EQ(stale.ReadDistanceMatrix(body, false, lineNo), 0);
    EXPECT_TRUE(reported("ERROR", 14));
    std::string const text = log();
    std::string const refusal = "\tNo valid \"MatrixSize\" was defined before the distance matrix data.";
    EXPECT_NE(text.find(refusal, text.find(refusal) + 1), std::string::npos);  // both refused
}

TEST_F(DistMatTest, WriterText) {
    DistMat dm;
    std::ostringstream nothing;
    nothing << dm;
    EXPECT_EQ(nothing.str(), "");

    dm.initializeMatrixAndArrays(2);
    dm.MatrixName = "M";
    dm.LabelPosition = 1;  // always written as LINE
    dm.Labels[0] = "x";
    dm.Labels[1] = "y";
    dm(1, 0) = 0.25;
    std::ostringstream out;
    out << dm;
    EXPECT_EQ(out.str(),
              "\t[[DistanceMatrix]]\n\n\t\tMatrixName= \"M\"\n\t\tMatrixSize= 2\n\t\tLabelPosition=LINE\n"
              "\t\tMatrixData={\n\nx y \n   0.00000\n   0.25000   0.00000\n\t\t}\n");

    dm.constantMode = 1;
    dm.Labels.reset();
    std::ostringstream constant;
    constant << dm;
    EXPECT_NE(constant.str().find("\n\n\nConventional FST Matrix: Dij=1 if i!=j and O else:\n\n\n\t\t}\n"),
              std::string::npos);
    EXPECT_TRUE(reported("INFO", 11));
}

TEST_F(DistMatTest, WrittenMatrixReadsBackEqual) {
    double const values[4][4] = {{0, 0, 0, 0}, {0.12345, 0, 0, 0}, {-2.5, 10, 0, 0}, {3.00001, 7.5, 0.00001, 0}};
    DistMat dm;
    dm.initializeMatrixAndArrays(4);
    dm.MatrixName = "given";
    dm.LabelPosition = 1;
    char const* labels[] = {"h1", "h_2", "H3", "x4"};
    for (int i = 0; i < 4; ++i) {
        dm.Labels[i] = labels[i];
        for (int j = 0; j <= i; ++j) dm(i, j) = values[i][j];
    }
    std::stringstream file;
    file << dm;

    // What the project reader does with the keyword lines.
    DistMat back;
    std::string line;
    int lineNo = 0, size = 0;
    while (std::getline(file, line)) {
        ++lineNo;
        if (line.find("MatrixName") != std::string::npos)
            back.MatrixName = line.substr(line.find('"') + 1, line.rfind('"') - line.find('"') - 1).c_str();
        if (line.find("MatrixSize") != std::string::npos) size = std::stoi(line.substr(line.find('=') + 1));
        if (line.find("MatrixData") != std::string::npos) break;
    }
    back.initializeMatrixAndArrays(size);
    back.LabelPosition = 0;
    ASSERT_EQ(back.ReadDistanceMatrix(file, false, lineNo), 1) << log();
    EXPECT_STREQ(back.MatrixName.c_str(), "given");
    ASSERT_EQ(back.MatrixSize, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(back.Labels[i].c_str(), labels[i]);
        for (int j = 0; j <= i; ++j) EXPECT_EQ(back(i, j), values[i][j]) << i << "," << j;
    }

    // A copy is deep; a constant-mode source yields its constants as values.
    DistMat copy;
    copy = dm;
    dm.Labels[0] = "changed";
    dm(1, 0) = 99.0;
    EXPECT_STREQ(copy.Labels[0].c_str(), "h1");
    EXPECT_EQ(copy(1, 0), 0.12345);
    dm.constantMode = 1;
    copy = dm;
    EXPECT_EQ(copy.constantMode, 0);
    EXPECT_EQ(copy(3, 1), 1.0);
    EXPECT_EQ(copy(2, 2), 0.0);
    copy.constantMode = 1;
    copy.reset();
    EXPECT_EQ(copy.MatrixSize, 0);
    EXPECT_EQ(copy.dim, 4);
    EXPECT_EQ(copy.constantMode, 0);
    EXPECT_EQ(copy(3, 1), 0.0);
    EXPECT_EQ(copy.LabelPosition, 1);
    EXPECT_FALSE(copy.Labels);
}

TEST_F(DistMatTest, ExternalNameCompletion) {
    DistMat dm;
    char dst[512];
    EXPECT_STREQ(dm.build_ext_name(dst, "sub/m.txt"), "sub/m.txt");
    EXPECT_STREQ(dm.build_ext_name(dst, "m.txt"), "m.txt");
    EXPECT_NE(log().find("Pointer to project dir is not initialized. ERROR\n"), std::string::npos);
    settings run;
    run.ResultFolder = "/tmp/proj.res/";
    dm.RunSettings = &run;
    EXPECT_STREQ(dm.build_ext_name(dst, "m.txt"), "/tmp/proj.res/m.txt");
    EXPECT_STREQ(dm.build_ext_name(dst, "c:\\m.txt"), "c:\\m.txt");
}

}  // namespace
}  // namespace quintle
