#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "popstats/BnumMat.h"
#include "popstats/fu_fs.h"
#include "popstats/theta_estimators.h"
#include "popstats/ewens_reference.h"
#include "support/process_state.h"

namespace quintle {
namespace {


using testing_support::stirling_rows;

long double factorial(int n) {
    long double f = 1.0L;
    for (int i = 2; i <= n; ++i) f *= i;
    return f;
}

TEST(BnumMatTable, HoldsNormalisedStirlingNumbersCutAtTheColumnCount) {
    BnumMat B;
    ASSERT_EQ(B.re_allocate_matrix(60, 25), 1);
    EXPECT_EQ(B.numRows(), 60);
    EXPECT_EQ(B.numCols(), 25);

    // |s(4,2)| = 11 and 2!/4! = 1/12; |s(4,3)| = 6 and 3!/4! = 1/4.
    EXPECT_DOUBLE_EQ(B(3, 2), 1.0);
    EXPECT_DOUBLE_EQ(B(4, 2), 11.0 / 12.0);
    EXPECT_DOUBLE_EQ(B(4, 3), 1.5);

    const auto s = stirling_rows(60);
    for (int n = 1; n <= 60; ++n) {
        for (int j = 1; j <= std::min(n, 25); ++j) {
            const long double expected = s[n][j] * factorial(j) / factorial(n);
            EXPECT_NEAR(B(n, j), static_cast<double>(expected), 1e-12 * static_cast<double>(expected))
                << "B(" << n << ", " << j << ")";
        }
        EXPECT_FALSE(B.holds(n, std::min(n, 25) + 1));
    }
    EXPECT_FALSE(B.holds(61, 1));
    EXPECT_FALSE(B.holds(5, 0));
}

TEST(BnumMatTable, SizeLimitsAndRefusalLeaveAnEmptyTable) {
    test::LogGuard log;
    BnumMat B;
    ASSERT_EQ(B.re_allocate_matrix(5000, 1000), 1);
    // |s(n, 2)| = (n - 1)! H(n - 1), so B(n, 2) = 2 H(n - 1) / n.
    double harmonic = 0.0;
    for (int i = 4999; i >= 1; --i) harmonic += 1.0 / i;
    EXPECT_NEAR(B(5000, 2), 2.0 * harmonic / 5000.0, 1e-15);
    EXPECT_DOUBLE_EQ(B(5000, 1), 1.0 / 5000.0);
    EXPECT_DOUBLE_EQ(B(1000, 999), 999.0 / 2.0);  // B(n, n - 1) = (n - 1) / 2

    for (auto [rows, cols] : {std::pair{5001, 80}, std::pair{200, 1001}, std::pair{-1, 5}}) {
        ASSERT_EQ(B.re_allocate_matrix(200, 80), 1);
        EXPECT_EQ(B.re_allocate_matrix(rows, cols), 0) << rows << " x " << cols;
        // Sizes go with the rows, so no reader believes entries are there.
        EXPECT_EQ(B.numRows(), 0);
        EXPECT_EQ(B.numCols(), 0);
        EXPECT_FALSE(B.holds(1, 1));
    }
    // Reading past the table is reported and gives no plausible number.
    EXPECT_TRUE(std::isnan(B(1, 1)));
    EXPECT_NE(log.text().find("\"BnumMat::operator()\" : array out of bounds"), std::string::npos);
}

}  // namespace
}  // namespace quintle
