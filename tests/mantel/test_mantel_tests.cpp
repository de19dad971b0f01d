// The simple and partial Mantel tests of the Mantel record: statistics
// against independent references, the permutation counts against the
// generator, the Y transforms, the written section and its failures.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/TriMat.h"
#include "data/Population.h"
#include "mantel/Mantel.h"
#include "mantel_fixture.h"
#include "support/process_state.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

using namespace mantel_testing;

// Eight objects: Y, X1 and X2 as given to R (integers, so that the printed
// matrices are exact).
Triangle const kY8 = {{-15},           {23, 0},           {6, 27, 18},         {23, -9, 10, -15},
                      {17, 27, -9, 8, 14}, {45, 26, 16, 11, 18, 13}, {11, 7, 42, 35, 10, -1, 11}};
Triangle const kX1_8 = {{5}, {7, 5}, {8, 4, 9}, {11, 6, 5, 7}, {5, 3, 2, 7, 6}, {14, 9, 9, 9, 4, 9}, {13, 9, 11, 6, 7, 10, 6}};
Triangle const kX2_8 = {{3}, {1, 4}, {8, 5, 9}, {6, 3, 7, 2}, {1, 2, 2, 7, 5}, {13, 10, 14, 5, 7, 12}, {4, 1, 5, 4, 2, 3, 9}};

class MantelTestsTest : public ::testing::Test {
protected:
    // Runs the record's test on `fst` with the named samples and returns
    // what it wrote to the result file.
    std::string run(Mantel& m, TriMat& fst, std::vector<std::string> const& names, int nperm) {
        std::vector<std::unique_ptr<Population>> owned;
        std::vector<Population*> samples;
        for (auto const& n : names) {
            owned.push_back(std::make_unique<Population>(my_string(n.c_str())));
            samples.push_back(owned.back().get());
        }
        fs::path const file = log_.dir() / "result.txt";
        {
            std::fstream out(file, std::ios::out | std::ios::trunc);
            EXPECT_EQ(m.do_mantel_test(fst, samples.data(), static_cast<int>(samples.size()), &out, nperm), 1.0);
        }
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    test::LogGuard log_{"quintle_mantel_tests"};
};

TEST_F(MantelTestsTest, PartialTestMatchesLinearModelAndVegan) {
    // References, R 4 with vegan, on the lower triangles of kY8, kX1_8,
    // kX2_8 (y, x1, x2 as vectors; Y, X1, X2 as dist objects):
    //   fit <- lm(y ~ x1 + x2): coef 1.2987930744 (x1), 1.0773764855 (x2);
    //     summary(fit)$r.squared 0.1824344523
    //   lm(scale(y) ~ scale(x1) + scale(x2)): coef 0.2476836177, 0.2608588827
    //   cor(y, x1) 0.3547555380, cor(y, x2) 0.3625228946, cor(x1, x2) 0.4104591692
    //   mean(y) 13.17857143, sum((y - mean(y))^2) 6226.10714286; x1: 7.35714286,
    //     226.42857143; x2: 5.5, 365
    //   mantel.partial(Y, X1, X2)$statistic 0.2423428919, signif 0.09960317
    //   mantel.partial(Y, X2, X1)$statistic 0.2544193995, signif 0.07619048
    //   mantel(Y, X1)$signif 0.02254464, mantel(Y, X2)$signif 0.01436012
    // (8 objects: vegan enumerates all 40320 arrangements, so each signif is
    // the exact share of arrangements at least as extreme, the observed one
    // included, which a random permutation reaches with that probability.)
    Mantel m;
    std::vector<std::string> const labels = {"A", "B", "C", "D", "E", "F", "G", "H"};
    set_section(m, labels, "custom", &kY8, kX1_8, &kX2_8);
    // The test order differs from the row order: positions must follow.
    m.UsedYMatrixLabels.count = 0;
    for (char const* l : {"H", "C", "A", "B", "G", "D", "F", "E"}) m.UsedYMatrixLabels.Add(my_string(l));
    TriMat fst(2);
    int const N = 20000;
    reseed(8);
    std::string const text = run(m, fst, {"unrelated", "samples"}, N);

    ASSERT_NE(text.find("Labels of Y matrix rows={\n   \"H\"\n   \"C\"\n"), std::string::npos) << text;
    auto near = [&](char const* label, double expected) {
        EXPECT_NEAR(value_after(text, label), expected, 5.1e-7) << label;
    };
    near("Mean value Y                      : ", 13.17857143);
    near("Sums of squares Y                 : ", 6226.10714286);
    near("Mean value  X1                    : ", 7.35714286);
    near("Sums of squares X1                : ", 226.42857143);
    near("Mean value  X2                    : ", 5.5);
    near("Sums of squares X2                : ", 365.0);
    near("Partial regression  (bY1_2)       : ", 1.2987930744);
    near("Partial regression  (bY2_1)       : ", 1.0773764855);
    near("Correlation coefficient (rY1)     : ", 0.3547555380);
    near("Correlation coefficient (rY2)     : ", 0.3625228946);
    near("Correlation coefficient (r12)     : ", 0.4104591692);
    near("Partial correlation  (rY1_2)      : ", 0.2423428919);
    near("Partial correlation  (rY2_1)      : ", 0.2544193995);
    near("Total determination of Y (%)      : ", 0.1824344523);
    near("Unexplained variance of Y (%)     : ", 1.0 - 0.1824344523);
    EXPECT_NEAR(m.beta1, 0.2476836177, 1e-9);
    EXPECT_NEAR(m.beta2, 0.2608588827, 1e-9);
    // The two determinations split R2.
    EXPECT_NEAR(value_after(text, "Determination of Y by X1(%)       : ") +
                    value_after(text, "Determination of Y by X2(%)       : "),
                0.1824344523, 1.1e-6);

    struct PCase {
        char const* label;
        double exact;
    } const ps[] = {{"P(rY1 rand >= rY1 obs)            : ", 0.02254464},
                    {"P(rY2 rand >= rY2 obs)            : ", 0.01436012},
                    {"P(rY1_2 rand >= rY1_2 obs)        : ", 0.09960317},
                    {"P(rY2_1 rand >= rY2_1 obs)        : ", 0.07619048}};
    for (PCase const& c : ps) {
        double const sd = std::sqrt(c.exact * (1.0 - c.exact) / N);
        EXPECT_NEAR(value_after(text, c.label), c.exact, 3.0 * sd) << c.label;
    }
    EXPECT_NE(text.find("Significance testing (20000 permutations for Mantel test)"), std::string::npos);
    EXPECT_EQ(m.smaller_rY1_2 + m.equal_rY1_2 + m.larger_rY1_2, N);
}

TEST_F(MantelTestsTest, PermutationCountsFollowTheGenerator) {
    // The generator reseeded with 29 draws, in order:
    double const draws[12] = {0.69420938800000009, 0.72670071899999999, 0.49814820400000004, 0.56408955199999999,
                              0.58321495099999998, 0.77874479100000005, 0.28888768300000001, 0.16897594400000002,
                              0.40843892600000004, 0.95718252500000001, 0.53127776300000007, 0.07880131700000001};
    reseed(29);
    for (double d : draws) {
        long one = 1;
        EXPECT_DOUBLE_EQ(ran3(&one), d);
    }
    // Three shuffles of 4 entries take 4 draws each (k = 4..1, position
    // floor(k u)), each shuffling the one before: by hand from the draws,
    // (1 0 3 2), then the identity again, then (0 3 2 1). With Y = 1..6 in
    // the lower triangle and X1 = 1 on the cells (2,0) and (3,2), Z is 8
    // observed, then 11 (larger), 8 (equal) and 5 (smaller).
    RectMat Y = square({{1}, {2, 3}, {4, 5, 6}});
    RectMat X1 = square({{0}, {1, 0}, {0, 0, 1}});
    Mantel m;
    m.compute_correlation(Y, X1);
    EXPECT_DOUBLE_EQ(m.ZY1, 8.0);
    reseed(29);
    m.test_correlation(Y, X1, 3);
    EXPECT_EQ(m.smaller_rY1, 1);
    EXPECT_EQ(m.equal_rY1, 1);
    EXPECT_EQ(m.larger_rY1, 1);
    EXPECT_DOUBLE_EQ(m.P_rY1, 2.0 / 3.0);
    EXPECT_EQ(m.NbPermutations, 3);
    int const order[4] = {0, 3, 2, 1};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(Y.index()[k], order[k]);
    EXPECT_NE(log_.text().find("\nStarting 3 permutations ...\n"), std::string::npos);
    EXPECT_NE(log_.text().find("\ndone in "), std::string::npos);
}

TEST_F(MantelTestsTest, PValueOfFivePointsMatchesAllArrangements) {
    // numpy over the 120 arrangements of Y (itertools.permutations): 71 give
    // Z >= 165, the observed value, so P = 71/120; 4 give exactly 165.
    RectMat Y = square({{3}, {7, 4}, {2, 8, 6}, {9, 1, 5, 3}});
    RectMat X1 = square({{2}, {1, 6}, {5, 3, 4}, {3, 2, 7, 2}});
    Mantel m;
    m.compute_correlation(Y, X1);
    EXPECT_DOUBLE_EQ(m.ZY1, 165.0);
    int const N = 100000;
    reseed(5);
    m.test_correlation(Y, X1, N);
    double const exact = 71.0 / 120.0;
    EXPECT_NEAR(m.P_rY1, exact, 3.0 * std::sqrt(exact * (1.0 - exact) / N));
    EXPECT_EQ(m.smaller_rY1 + m.equal_rY1 + m.larger_rY1, N);
    // Ties count as equal: 4 arrangements in 120, the observed one included.
    double const tie = 4.0 / 120.0;
    EXPECT_NEAR(static_cast<double>(m.equal_rY1) / N, tie, 3.0 * std::sqrt(tie * (1.0 - tie) / N));
}

TEST_F(MantelTestsTest, YTransformsOfPairwiseFst) {
    TriMat fst(3);
    fst(0, 0) = 0.3;
    fst(1, 0) = -0.1;
    fst(2, 0) = 0.25;
    fst(2, 1) = 1.2;
    Mantel m;
    fill(m.UserYMatrix, {{7}, {8, 9}});
    struct Case {
        char const* type;
        double same, negative, quarter, beyondOne;  // (0,0), (1,0), (2,0), (2,1)
    } const cases[] = {
        {"fst", 0.3, -0.1, 0.25, 1.2},
        {"log_fst", 0.0, -1e7, std::log(0.25), std::log(1.2)},
        {"slatkinlinearfst", 0.3 / 0.7, -0.1 / 1.1, 0.25 / 0.75, 1e7},
        {"log_slatkinlinearfst", 0.0, -1e7, std::log(1.0 / 3.0), 16.11809565095832},
        {"nm", 0.0, -1e7, 1.5, (1.0 - 1.2) / 2.4},
        {"custom", 0.0, 7.0, 8.0, 9.0},
        {"unknown", 0.0, 0.0, 0.0, 0.0},
    };
    for (Case const& c : cases) {
        m.YMatrix = c.type;
        EXPECT_DOUBLE_EQ(m.FstMatr_funct(0, 0, fst), c.same) << c.type;
        EXPECT_DOUBLE_EQ(m.FstMatr_funct(1, 0, fst), c.negative) << c.type;
        EXPECT_DOUBLE_EQ(m.FstMatr_funct(0, 2, fst), c.quarter) << c.type;
        EXPECT_DOUBLE_EQ(m.FstMatr_funct(2, 1, fst), c.beyondOne) << c.type;
    }
}

TEST_F(MantelTestsTest, WrittenSectionOfASimpleTest) {
    // Y (fst) 0.1, 0.2, 0.4 and X1 1, 2, 3, by hand: means 0.233333 and 2,
    // sums of squares 0.046667 and 2, Z = 1.7, SP = 1.7 - 3 * 0.7 = 0.3,
    // b = 0.15, r = 0.3 / sqrt(2 * 0.046667) = 0.981981, r^2 = 0.964286.
    TriMat fst(3);
    fst(1, 0) = 0.1;
    fst(2, 0) = 0.2;
    fst(2, 1) = 0.4;
    Mantel m;
    set_section(m, {"c", "a", "b"}, "fst", nullptr, {{2}, {3, 1}}, nullptr);
    m.UsedYMatrixLabels.count = 0;
    for (char const* l : {"a", "b", "c"}) m.UsedYMatrixLabels.Add(my_string(l));
    std::string const rule(79, '=');
    std::string const expected = rule + "\n== MATRIX CORRELATION ANALYSIS (MANTEL TESTS)\n" + rule +
                                 "\n\n"
                                 "Labels of population samples={\n   \"a\"\n   \"b\"\n   \"c\"\n}\n"
                                 "\nList of matrices:\n"
                                 "  X1={\n   0 1 2 \n   1 0 3 \n   2 3 0 \n  }\n\n"
                                 "  Y (fst)={\n   0 0.1 0.2 \n   0.1 0 0.4 \n   0.2 0.4 0 \n  }\n\n"
                                 "\nMean value Y                       : 0.233333"
                                 "\nSums of squares Y                  : 0.046667"
                                 "\nMean value  X1                     : 2.000000"
                                 "\nSums of squares X1                 : 2.000000"
                                 "\nZY1                                : 1.700000"
                                 "\nSum of products (SP(Y,X1))         : 0.300000"
                                 "\n\nRegression coefficient (bY1)     : 0.150000"
                                 "\n\nCorrelation coefficient (rY1)    : 0.981981"
                                 "\n\nDetermination of Y by X1(%)      : 0.964286"
                                 "\n\n";
    EXPECT_EQ(run(m, fst, {"a", "b", "c"}, 0), expected);
    EXPECT_EQ(log_.text().find("permutations"), std::string::npos) << "no permutation, no log line";

    // With permutations the significance block follows; 3 labels give only
    // 6 arrangements, so many permutations tie with the observed one.
    reseed(3);
    std::string const tested = run(m, fst, {"a", "b", "c"}, 60);
    std::string const block = "\n\nSignificance testing (60 permutations for Mantel test)\n====================\n\n";
    ASSERT_NE(tested.find(block), std::string::npos) << tested;
    EXPECT_EQ(m.smaller_rY1 + m.equal_rY1 + m.larger_rY1, 60);
    EXPECT_GT(m.equal_rY1, 0);
    EXPECT_EQ(tested.substr(tested.size() - 2), "\n\n");
}

TEST_F(MantelTestsTest, LabelsThatCannotBeMatched) {
    TriMat fst(3);
    Triangle const x = {{1}, {2, 3}};
    std::string const error =
        "  Error while checking matrices, Label(s) not found\n  check the labels defined in the\n"
        "  DistMatMantel and UsedYMatrixLabels sections\n";
    struct Case {
        char const* what;
        std::vector<std::string> samples;
        std::vector<std::string> used;
    } const cases[] = {
        {"a label that names no sample", {"a", "b", "c"}, {"a", "b", "d"}},
        {"a sample name that differs in case", {"a", "B", "c"}, {"a", "b", "c"}},
        {"a label that is no row", {"a", "b", "c", "d"}, {"a", "b", "d"}},
    };
    for (Case const& c : cases) {
        Mantel m;
        set_section(m, {"a", "b", "c"}, "fst", nullptr, x, nullptr);
        m.UsedYMatrixLabels.count = 0;
        for (auto const& l : c.used) m.UsedYMatrixLabels.Add(my_string(l.c_str()));
        TriMat wide(4);
        EXPECT_EQ(run(m, wide, c.samples, 10), error) << c.what;
    }
    EXPECT_NE(log_.text().find("Mantel::do_mantel_test(...): error while checking matrices, Label(s) not found\n"
                               "                                check the labels defined in the \n"
                               "                                DistMatMantel and UsedYMatrixLabels sections\n"),
              std::string::npos);

    // A row label beyond the matrices, as a size changed after the labels
    // would leave it, is not found either.
    Mantel m;
    set_section(m, {"a", "b", "c"}, "fst", nullptr, x, nullptr);
    m.YMatrixLabels.emplace_back("d");
    m.UsedYMatrixLabels.Add(my_string("d"));
    TriMat wide(4);
    EXPECT_EQ(run(m, wide, {"a", "b", "c", "d"}, 10), error);

    // No used label: nothing at all.
    Mantel none;
    set_section(none, {"a", "b", "c"}, "fst", nullptr, x, nullptr);
    none.UsedYMatrixLabels.count = 0;
    std::string const before = log_.text();
    EXPECT_EQ(run(none, fst, {"a", "b", "c"}, 10), "");
    EXPECT_EQ(log_.text(), before);
}

TEST_F(MantelTestsTest, TooFewLabelsForTheTest) {
    for (bool partial : {false, true}) {
        Mantel m;
        Triangle const x = {{1}, {2, 3}};
        set_section(m, {"a", "b", "c"}, "fst", nullptr, x, partial ? &x : nullptr);
        if (!partial) m.UsedYMatrixLabels.count = 2;
        TriMat fst(3);
        std::string const text = run(m, fst, {"a", "b", "c"}, 10);
        std::string const least = partial ? "4" : "3";
        EXPECT_NE(text.find("\"\n}\nThe minimum size of matrices is " + least +
                            " in order to perform a Mantel test\nComputations were not performed...\n"),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("List of matrices"), std::string::npos);
    }
}

// A correlation with a constant or collinear matrix is not defined: its
// statistics print as they come out, it gets no P value, and one WARNING
// says why.
TEST_F(MantelTestsTest, UndefinedCorrelationsHaveNoPValue) {
    struct Case {
        char const* name;
        std::vector<std::string> used;  // labels taking part, in order
        char const* ymatrix;
        Triangle y;
        Triangle x1;
        Triangle x2;  // empty: a simple test
        std::vector<char const*> blocks;  // P values printed
        char const* why;
    };
    Triangle const x = {{0.1}, {0.2, 0.3}, {0.4, 0.5, 0.7}};
    Triangle const y = {{2}, {1, 4}, {5, 3, 6}};
    Case const cases[] = {
        {"constant Y", {"a", "b", "c", "d"}, "custom", {{3}, {3, 3}, {3, 3, 3}}, x, {}, {},
         "(Y is constant: no P value for rY1)"},
        {"constant X1", {"a", "b", "c", "d"}, "custom", y, {{1}, {1, 1}, {1, 1, 1}}, {}, {},
         "(X1 is constant: no P value for rY1)"},
        // Y from the FST of one sample with itself, X1 its diagonal.
        {"one sample repeated", {"a", "a", "a"}, "fst", y, x, {}, {},
         "(Y is constant, X1 is constant: no P value for rY1)"},
        {"X2 equal to X1", {"a", "b", "c", "d"}, "custom", y, x, x, {"rY1 rand", "rY2 rand"},
         "(X1 and X2 are collinear: no P value for rY1_2, rY2_1)"},
        {"Y equal to X2", {"a", "b", "c", "d"}, "custom", x, y, x, {"rY1 rand", "rY2 rand", "rY2_1 rand"},
         "(Y and X2 are collinear: no P value for rY1_2)"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        log_.restart();
        Mantel m;
        bool const partial = !c.x2.empty();
        set_section(m, {"a", "b", "c", "d"}, c.ymatrix, &c.y, c.x1, partial ? &c.x2 : nullptr);
        m.UsedYMatrixLabels.count = 0;
        for (auto const& l : c.used) m.UsedYMatrixLabels.Add(my_string(l.c_str()));
        TriMat fst(4);
        std::string const text = run(m, fst, {"a", "b", "c", "d"}, 20);
        for (char const* block : {"rY1 rand", "rY2 rand", "rY1_2 rand", "rY2_1 rand"}) {
            bool const printed = std::find_if(c.blocks.begin(), c.blocks.end(), [&](char const* b) {
                                     return std::string(b) == block;
                                 }) != c.blocks.end();
            EXPECT_EQ(text.find(std::string("P(") + block) != std::string::npos, printed) << block << "\n" << text;
        }
        EXPECT_EQ(text.find("Significance testing") != std::string::npos, !c.blocks.empty()) << text;
        std::string const warning = std::string("from function \"Mantel::do_mantel_test() ") + c.why +
                                    "\" : numerical error";
        EXPECT_EQ(log_.text().find(warning) != std::string::npos, true) << log_.text();
        EXPECT_EQ(log_.text().find("#[WARNING # 2]"), std::string::npos) << "one warning";
    }
}

TEST_F(MantelTestsTest, CollinearMatricesGiveNoDetermination) {
    // X2 a copy of X1: r12 = 1, the partial correlations divide by zero and
    // Y cannot be split between X1 and X2.
    Mantel m;
    Triangle const x = {{1}, {2, 3}, {4, 5, 7}};
    set_section(m, {"a", "b", "c", "d"}, "custom", &kY8, x, &x);
    fill(m.UserYMatrix, {{2}, {1, 4}, {5, 3, 6}});
    TriMat fst(4);
    std::string const text = run(m, fst, {"a"}, 0);
    EXPECT_NEAR(m.r12, 1.0, 1e-12);
    EXPECT_FALSE(std::isfinite(m.rY1_2));
    EXPECT_TRUE(std::isnan(m.beta1) && std::isnan(m.beta2) && std::isnan(m.R2) && std::isnan(m.unexplained));
    EXPECT_NE(text.find("Total determination of Y (%)      : nan\nUnexplained variance of Y (%)     : nan"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace quintle
