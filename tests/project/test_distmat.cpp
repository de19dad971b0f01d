// Given distance matrix: body reader and writer.

#include <gtest/gtest.h>

#include "project/project_test_support.h"

#include "project/DistMat.h"
#include "run/settings.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

class DistMatTest : public test::ProjectDirTest {
protected:
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
        {0, true, "a b c\n0\n1e-3 0\n2 3 0\nnot read\n", 1e-3, 4, "not read\n"},
        // Extras are warned about and ignored.
        {0, false, "a b c\td\n0\n1 0 5 6\n2 3 0}", 1.0, 14, ""},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.body);
        DistMat dm;
        ASSERT_EQ(read(dm, 3, c.labelPosition, c.body, c.external), 1) << log();
        EXPECT_STREQ(dm.Labels[2].c_str(), "c");
        EXPECT_EQ(dm(0, 1), c.d10);
        EXPECT_EQ(dm(2, 0) + 10 * dm(1, 2) + 100 * dm(2, 2), 32.0);
        EXPECT_EQ(lineNo_, c.lineNo);
        EXPECT_EQ(rest(), c.rest);
    }
    EXPECT_NE(log().find("\tWarning:  Too many distances are defined on line 13(3 instead of 2)\n"), std::string::npos);
}

TEST_F(DistMatTest, EachFailureReportsAndFailsTheRead) {
    struct Case {
        int size;
        int labelPosition;
        char const* body;
        int index;
        char const* logged;
    } const cases[] = {
        {3, 0, "a b\n0\n", 12,
         "\tMissing labels on line 11. Only 2 labels were found while 3 were expected. Last correctly read label "
         "was \"b\". Aborting reading Distance Matrix\n"},
        {3, 0, "a b c\n0\n1\n", 13, "\tUnable to read distance #2 on line 13. Aborting reading distance matrix.\n"},
        {3, 0, "a b c\n0\n1 inf\n", 13, "\tBad value (\"inf\") for distance #2 on line 13."},
        {3, 0, "a b c\n0\nnan 0\n", 13, "\tBad value (\"nan\")"},
        {4, 0, "a b c d\n0\n1 0 }\n2 3 0\n[[Samples]]\n", 13, "\tBad value (\"[[Samples]]\") for distance #1"},
        {3, 0, "a b c\n0\n1 0\n2 3 0\n\n[[Samples]]\n}\n", 21,
         "\tNo closing brace in Matrix Data \"M\"definition. Aborting reading project.\n"},
        // Negative or huge distances give negative or NaN variance components.
        {3, 0, "a b c\n0\n1 0\n2 -3 0\n", 13,
         "\tBad distance (\"-3\") at row 3, column 2 on line 14: a distance lies between 0 and 1e+100."},
        {3, 1, "a 0\nb 1e308 0\n", 13, "\tBad distance (\"1e308\") at row 2, column 1 on line 12:"},
        {2, 0, "a b\n-1e-300\n", 13, "\tBad distance (\"-1e-300\") at row 1, column 1 on line 12:"},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.body);
        start_again();
        DistMat dm;
        dm.MatrixName = "M";
        EXPECT_EQ(read(dm, c.size, c.labelPosition, c.body), 0);
        EXPECT_NE(log().find(c.logged), std::string::npos) << log();
        EXPECT_TRUE(reported("ERROR", c.index)) << log();
    }
}

TEST_F(DistMatTest, DistancesAtTheEdgesOfTheRangeAreKept) {
    DistMat dm;
    ASSERT_EQ(read(dm, 2, 0, "a b\n-0\n1e100 0\n}\n"), 1) << log();
    EXPECT_EQ(dm(1, 0), 1e100);
    EXPECT_EQ(dm(0, 0), 0.0);
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

}

}  // namespace
}  // namespace quintle
