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
#include "popstats/log_capture.h"

namespace quintle {
namespace {

using testing_support::LogCapture;

using testing_support::stirling_rows;

long double factorial(int n) {
    long double f = 1.0L;
    for (int i = 2; i <= n; ++i) f *= i;
    return f;
}

// Binary table image: int32 rows, int32 cols, then the given doubles.
std::string table_image(std::int32_t rows, std::int32_t cols, std::vector<double> const& values) {
    std::string out(reinterpret_cast<char const*>(&rows), 4);
    out.append(reinterpret_cast<char const*>(&cols), 4);
    for (double v : values) out.append(reinterpret_cast<char const*>(&v), 8);
    return out;
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
    LogCapture log;
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

TEST(BnumMatTable, LifeCycleOfTheSharedTable) {
    BnumMat B;
    int exists = 0;

    ASSERT_EQ(get_B_num_mat(B, exists), 1);
    EXPECT_EQ(exists, 1);
    EXPECT_EQ(B.numRows(), 200);
    EXPECT_EQ(B.numCols(), 80);

    // Shrinking (as between samples) keeps the flag, so the table stays small
    // until a reader needs more.
    ASSERT_EQ(B.re_allocate_matrix(5, 5), 1);
    EXPECT_EQ(get_B_num_mat(B, exists), 1);
    EXPECT_EQ(B.numRows(), 5);

    double thetaK = -1, low = -1, high = -1, expK = -1;
    theta_k(30, 8, 0.05, ThetaKFields{thetaK, low, high, expK}, B, exists);
    EXPECT_EQ(B.numRows(), 40);
    EXPECT_EQ(B.numCols(), 18);
    EXPECT_EQ(exists, 1);

    // A sample too large for the table: the refused enlargement empties it,
    // Fs stays untouched and the caller learns that nothing was computed.
    double Fs = 12.5;
    EXPECT_EQ(Fu_Fs(3.0, 10, 5000.0, Fs, false, B, exists), FuFsOutcome::not_computed);
    EXPECT_EQ(Fs, 12.5);
    EXPECT_EQ(exists, 0);
    EXPECT_EQ(B.numRows(), 0);
    EXPECT_EQ(B.numCols(), 0);

    // The next sample of ordinary size rebuilds what it needs and reads sound rows.
    double Fs2 = 0.0;
    EXPECT_EQ(Fu_Fs(3.0, 10, 50.0, Fs2, false, B, exists), FuFsOutcome::finite);
    EXPECT_EQ(B.numRows(), 60);
    EXPECT_TRUE(std::isfinite(Fs2));

    ASSERT_EQ(get_B_num_mat(B, exists), 1);
    EXPECT_EQ(B.numRows(), 200);
    EXPECT_EQ(B.numCols(), 80);
    EXPECT_EQ(exists, 1);
}

class BnumMatFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("quintle_bnummat_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    my_string write(std::string const& name, std::string const& bytes) {
        const auto p = dir_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return my_string(p.string().c_str());
    }

    std::filesystem::path dir_;
};

TEST_F(BnumMatFile, ReadsRowsOfMinRowColsValues) {
    // 4 rows, 3 columns: rows hold 1, 2, 3, 3 values.
    const my_string name = write("t.bnb", table_image(4, 3, {1.0, 0.5, 1.0, 0.25, 0.75, 1.0, 0.125, 0.5, 0.625}));
    BnumMat B(name);
    ASSERT_EQ(B.numRows(), 4);
    ASSERT_EQ(B.numCols(), 3);
    EXPECT_EQ(B(3, 2), 0.75);
    EXPECT_EQ(B(4, 1), 0.125);
    EXPECT_EQ(B(4, 3), 0.625);
    EXPECT_FALSE(B.holds(4, 4));
}

TEST_F(BnumMatFile, RejectsShapesNoComputedTableCanHave) {
    struct Case {
        std::int32_t rows, cols;
    };
    for (Case c : {Case{3, 4}, Case{-3, -5}, Case{-1, 0}, Case{5001, 3}, Case{1200, 1001}}) {
        LogCapture log;
        BnumMat B;
        ASSERT_EQ(B.re_allocate_matrix(6, 6), 1);
        EXPECT_EQ(B.read_from_file(write("bad.bnb", table_image(c.rows, c.cols, {1.0, 2.0}))), 1);
        EXPECT_NE(log.text().find("\"operator>>(istream& is, BnumMat& S)\" : invalid BNumMat file"),
                  std::string::npos)
            << c.rows << " x " << c.cols;
        // The table in hand is kept.
        EXPECT_EQ(B.numRows(), 6);
        EXPECT_DOUBLE_EQ(B(4, 2), 11.0 / 12.0);
    }
}

TEST_F(BnumMatFile, ShortFileKeepsWhatWasReadAndReports) {
    LogCapture log;
    BnumMat B;
    ASSERT_EQ(B.re_allocate_matrix(8, 8), 1);  // replaced by the file's table
    EXPECT_EQ(B.read_from_file(write("short.bnb", table_image(3, 3, {1.0, 0.5, 1.0, 0.25}))), 1);
    ASSERT_EQ(B.numRows(), 3);
    EXPECT_EQ(B(3, 1), 0.25);
    EXPECT_EQ(B(3, 2), 0.0);
    EXPECT_NE(log.text().find("\"operator>>(istream& is, BnumMat& M)\" : invalid stream"), std::string::npos);
}

TEST_F(BnumMatFile, MissingFileAndFailedStream) {
    LogCapture log;
    BnumMat B;
    EXPECT_EQ(B.read_from_file(my_string((dir_ / "none.bnb").string().c_str())), 0);
    EXPECT_EQ(B.numRows(), 0);

    std::istringstream failed;
    failed.setstate(std::ios::failbit);
    failed >> B;
    std::istringstream truncatedHeader(std::string("\x03\x00", 2));
    truncatedHeader >> B;
    EXPECT_EQ(B.numRows(), 0);

    const std::string text = log.text();
    EXPECT_NE(text.find("[WARNING # 1] from function \"BnumMat::read_from_file()\" : missing file (BNumMat)"),
              std::string::npos);
    EXPECT_NE(text.find("[ERROR # 1] from function \"operator>>(ifstream& is, BnumMat& S)\" : invalid stream"),
              std::string::npos);
    EXPECT_NE(text.find("[ERROR # 2] from function \"operator>>(ifstream& is, BnumMat& S)\" : invalid stream"),
              std::string::npos);
}

}  // namespace
}  // namespace quintle
