// TCorrelMat: the collinearity rule, tests without permutations, and its
// printers.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "mantel/TCorrelMat.h"
#include "mantel_fixture.h"

namespace quintle {
namespace {

using namespace mantel_testing;

Triangle const kY = {{2}, {1, 4}, {5, 3, 6}, {7, 2, 8, 1}};
Triangle const kX = {{1}, {2, 3}, {4, 5, 7}, {6, 2, 9, 3}};

TEST(TCorrelMat, CollinearMatricesGiveThePlainCorrelations) {
    RectMat Y = square(kY), X1 = square(kX), X2 = square(kX);
    TCorrelMat c;
    c.MatrixNumber = 3;
    c.compute_correlation(Y, X1, X2);
    EXPECT_NEAR(c.r12, 1.0, 1e-12);
    EXPECT_EQ(c.rY1_2, c.rY1);
    EXPECT_EQ(c.rY2_1, c.rY2);
    reseed(12);
    EXPECT_EQ(c.test_correlation(Y, X1, X2, 500), 500);
    // The permuted partial correlations are the permuted plain ones too.
    EXPECT_EQ(c.P_rY1_2, c.P_rY1);
    EXPECT_EQ(c.smaller_rY1_2, c.smaller_rY1);
    EXPECT_TRUE(std::isfinite(c.P_rY2_1));
}

TEST(TCorrelMat, NoPermutationLeavesTheCountAndPrintsNoSignificance) {
    RectMat Y = square(kY), X1 = square(kX);
    TCorrelMat c;
    c.compute_correlation(Y, X1);
    EXPECT_EQ(c.test_correlation(Y, X1, 0), 0);
    EXPECT_EQ(c.NbPermutations, 0);
    std::ostringstream out, sim;
    c.print_p_values(out);
    c.print_p_values_2(out);
    c.print_p_values_2sim(out, sim);
    c.print_p_values_new(out, sim, 1);
    EXPECT_EQ(out.str() + sim.str(), "");
    reseed(1);
    c.test_correlation(Y, X1, 7);
    EXPECT_EQ(c.test_correlation(Y, X1, -3), -3);
    EXPECT_EQ(c.NbPermutations, 7);
}

// Round values set by hand, so that every printed number is known.
TCorrelMat results(int matrixNumber) {
    TCorrelMat c;
    c.MatrixNumber = matrixNumber;
    c.meanY = 1.5, c.SSY = 2, c.meanX1 = 3, c.SSX1 = 4, c.meanX2 = 5, c.SSX2 = 6;
    c.ZY1 = 7, c.ZY2 = 8, c.Z12 = 9, c.SPY1 = 10, c.SPY2 = 11, c.SP12 = 12;
    c.bY1 = 0.25, c.bY2 = 0.5, c.bY1_2 = 0.75, c.bY2_1 = 1.25;
    c.rY1 = 0.5, c.rY2 = 0.25, c.r12 = 0.5, c.rY1_2 = 0.125, c.rY2_1 = 0.375;
    c.beta1 = 0.5, c.beta2 = 0.25, c.R2 = 0.4375, c.unexplained = 0.5625;
    c.P_rY1 = 0.1, c.P_rY2 = 0.2, c.P_rY1_2 = 0.3, c.P_rY2_1 = 0.4;
    c.smaller_rY1 = 90, c.equal_rY1 = 1, c.larger_rY1 = 9;
    c.smaller_rY2 = 80, c.equal_rY2 = 2, c.larger_rY2 = 18;
    c.smaller_rY1_2 = 70, c.equal_rY1_2 = 3, c.larger_rY1_2 = 27;
    c.smaller_rY2_1 = 60, c.equal_rY2_1 = 4, c.larger_rY2_1 = 36;
    c.NbPermutations = 100;
    return c;
}

TEST(TCorrelMat, StatisticsPrinters) {
    std::ostringstream simple;
    results(2).print_correlations(simple);
    EXPECT_EQ(simple.str(),
              "Mean value Y                      : 1.500000"
              "\nSums of squares Y                 : 2.000000"
              "\nMean value  X1                    : 3.000000"
              "\nSums of squares X1                : 4.000000"
              "\nZY1                               : 7.000000"
              "\nSum of products (SP(Y,X1))        : 10.000000"
              "\nRegression coefficient (bY1)      : 0.250000"
              "\nCorrelation coefficient (rY1)     : 0.500000"
              "\nDetermination of Y by X1(%)       : 0.437500\n\n");

    std::ostringstream partial;
    results(3).print_correlations(partial);
    std::string const text = partial.str();
    EXPECT_EQ(text.substr(0, 45), "Mean value Y                      : 1.500000\n");
    // beta1 beta2 r12 + beta1^2 = 0.0625 + 0.25; beta2 beta1 r12 + beta2^2 =
    // 0.0625 + 0.0625.
    EXPECT_NE(text.find("\nPartial correlation  (rY2_1)      : 0.375000"
                        "\nDetermination of Y by X1(%)       : 0.312500"
                        "\nDetermination of Y by X2(%)       : 0.125000"
                        "\nTotal determination of Y (%)      : 0.437500"
                        "\nUnexplained variance of Y (%)     : 0.562500\n\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nSum of products (SP(X1,X1))       : 12.000000"), std::string::npos);

    std::ostringstream two, out, sim;
    results(2).print_correlations_2(two);
    EXPECT_EQ(two.str(),
              "Regression coefficient (bY1)      : 0.250000\nCorrelation coefficient (rY1)     : 0.500000"
              "\nDetermination of Y by X1(%)       : 0.437500\n");
    results(2).print_correlations_2sim(out, sim);
    EXPECT_EQ(out.str(),
              "Regression coefficient (bY1)      : 0.250000\nCorrelation coefficient (rY1)     : 0.500000"
              "\nDetermination of Y by X1(%)     \t: 0.437500\n");
    EXPECT_EQ(sim.str(), "\t0.5");
}

TEST(TCorrelMat, SignificancePrinters) {
    std::ostringstream simple;
    results(2).print_p_values(simple);
    EXPECT_EQ(simple.str(),
              "100 permutations"
              "\nP(ZY1 rand >= ZY1 obs)            : 0.100000"
              "\nNo. of smaller rand ZY1           : 90"
              "\nNo. of equal rand ZY1             : 1"
              "\nNo. of larger rand ZY1            : 9\n\n");
    std::ostringstream partial;
    results(3).print_p_values(partial);
    EXPECT_NE(partial.str().find("\nNo. of larger rand ZY2            : 18"
                                 "\n\nP(rY1_2 rand >= rY1_2 obs)        : 0.300000"),
              std::string::npos)
        << partial.str();
    EXPECT_NE(partial.str().find("\nNo. of larger rand rY2_1          : 36\n\n"), std::string::npos);

    std::ostringstream out, sim;
    results(2).print_p_values_2sim(out, sim);
    EXPECT_EQ(out.str(), "Significance level: p=0.1 (100 random permutations)\n");
    EXPECT_EQ(sim.str(), "\tp: 0.1\t");
}

TEST(TCorrelMat, ComparisonWithGeographicDistances) {
    struct Case {
        int matrices, mode;
        char const* out;
        char const* sim;
    } const cases[] = {
        {2, 1,
         "Correlation coefficient between d_gen and d_geo: 0.5\n"
         "Percentage of variance explained by d_geo: 43.75\n"
         "Out of 100 random permutations:\n"
         "90 were &lt; ZYX, 1 were = ZYX, and 9 > ZYX\n"
         "(The observed comparison is not included in these counts.)\n"
         "The one-tail probability is:\n"
         "p[random Z >= observed Z] = 0.100000\n",
         "Correlation coefficient between d_gen and d_geo: 0.5 (p=0.1 (100 random permutations))\n"
         "Percentage of variance explained by d_geo: 43.75\n"},
        {2, 2,
         "Correlation coefficient between d_gen and d_geo modified: 0.5\n"
         "Percentage of variance explained by d_geo modified: 43.75\n"
         "Out of 100 random permutations:\n"
         "90 were < ZYX, 1 were = ZYX, and 9 > ZYX\n"
         "(The observed comparison is not included in these counts.)\n"
         "The one-tail probability is:\n"
         "p[random Z >= observed Z] = 0.100000\n",
         "Correlation coefficient between d_gen and d_geo modified: 0.5 (p=0.1 (100 random permutations))\n"
         "Percentage of variance explained by d_geo modified: 43.75\n"},
        {2, 3, "", ""},
        // The partial correlation with its own P value (that of rY1_2).
        {3, 1,
         "Correlation coefficient between d_gen and d_geo modified (d_geo kept constant): 0.125 (p=0.3 (100 random "
         "permutations))\n",
         "Correlation coefficient between d_gen and d_geo modified (d_geo kept constant): 0.125 (p=0.3 (100 random "
         "permutations))\n"},
    };
    for (Case const& c : cases) {
        std::ostringstream out, sim;
        results(c.matrices).print_p_values_new(out, sim, c.mode);
        EXPECT_EQ(out.str(), c.out) << c.matrices << " " << c.mode;
        EXPECT_EQ(sim.str(), c.sim) << c.matrices << " " << c.mode;
    }
}

}  // namespace
}  // namespace quintle
