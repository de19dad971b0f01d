// The first table of normalised Stirling numbers is small; its readers grow
// it, and what they compute does not depend on where the table started.

#include <gtest/gtest.h>

#include "popstats/BnumMat.h"
#include "popstats/fu_fs.h"
#include "popstats/theta_estimators.h"
#include "support/process_state.h"

namespace quintle {
namespace {

TEST(BnumFirstTable, SmallThenGrownByItsReaders) {
    BnumMat table;
    int exists = 0;
    ASSERT_EQ(get_B_num_mat(table, exists), 1);
    EXPECT_EQ(exists, 1);
    EXPECT_EQ(table.numRows(), get_B_first_rows);
    EXPECT_EQ(table.numCols(), get_B_first_cols);
    // B(n, j) = |s(n, j)| j! / n!, by hand: |s(4, 2)| = 11, |s(5, 3)| = 35.
    EXPECT_DOUBLE_EQ(table(4, 2), 11.0 * 2.0 / 24.0);
    EXPECT_DOUBLE_EQ(table(5, 3), 35.0 * 6.0 / 120.0);

    // A sample of 150 genes with 30 alleles grows it, as the former first
    // table of 200 x 80 would have held them; every result is the same.
    BnumMat wide;
    ASSERT_EQ(wide.re_allocate_matrix(200, 80), 1);
    int wideExists = 1;
    double k1 = 0, lo1 = 0, hi1 = 0, e1 = 0, k2 = 0, lo2 = 0, hi2 = 0, e2 = 0;
    theta_k(150, 30, 0.05, ThetaKFields{k1, lo1, hi1, e1}, table, exists);
    theta_k(150, 30, 0.05, ThetaKFields{k2, lo2, hi2, e2}, wide, wideExists);
    EXPECT_EQ(table.numRows(), 160);
    EXPECT_EQ(table.numCols(), 40);
    EXPECT_EQ(k1, k2);
    EXPECT_EQ(lo1, lo2);
    EXPECT_EQ(hi1, hi2);
    for (int n = 1; n < 160; ++n)
        for (int j = 1; j <= n && j < 40; ++j) ASSERT_EQ(table(n, j), wide(n, j)) << n << " " << j;

    test::LogGuard log;
    double fs1 = 0, fs2 = 0;
    EXPECT_EQ(Fu_Fs(3.5, 55, 150.0, fs1, false, table, exists), Fu_Fs(3.5, 55, 150.0, fs2, false, wide, wideExists));
    EXPECT_EQ(fs1, fs2);
    EXPECT_EQ(table.numCols(), 65) << "grown again for 55 alleles";
}

}  // namespace
}  // namespace quintle
