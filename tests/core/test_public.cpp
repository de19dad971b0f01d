#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <string>

#include "core/public.h"
#include "scratch.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

TEST(DigitRule, IntegerTextsSaturateInsteadOfWrapping) {
    EXPECT_EQ(my_atoi("--5"), 5);
    EXPECT_EQ(my_atoi("7a8"), 78);
    EXPECT_EQ(my_atoi("  -12 \r\n"), -12);
    EXPECT_EQ(my_atoi("12-3"), 117);  // the minus negates the 3 to its right
    EXPECT_EQ(my_atoi(nullptr), 0);
    EXPECT_EQ(my_atoi("2147483648"), INT_MAX);
    EXPECT_EQ(my_atoi("-2147483649"), INT_MIN);
    EXPECT_EQ(my_atoi("4294967297"), INT_MAX);  // low 32 bits would give 1
    EXPECT_EQ(my_atol("-9223372036854775808"), LONG_MIN);
    EXPECT_EQ(my_atol("18446744073709551617"), LONG_MAX);  // wraps to 1 in 64 bits
    EXPECT_EQ(my_atol(("-" + std::string(60, '9')).c_str()), LONG_MIN);
}

// The power of ten of the fraction goes through exp(n * ln 10), so values of
// texts that were always read keep every bit.
TEST(DecimalText, SameBitsAsTheLongStandingFormula) {
    const double ln10 = 2.302585092994046;
    EXPECT_EQ(my_atof("12.345"), 12.0 + 345.0 * std::exp(-3 * ln10));
    EXPECT_EQ(my_atof(" -0.05\r\n"), -1.0 * (0.0 + 5.0 * std::exp(-2 * ln10)));
    EXPECT_EQ(my_atof("7.25e-4"), (7.0 + 25.0 * std::exp(-2 * ln10)) * std::exp(-4 * ln10));
    // A negative integer text (the sign not in front) subtracts the fraction.
    EXPECT_EQ(my_atof("--2.5"), -1.0 * (-2.0 - 5.0 * std::exp(-1 * ln10)));
    EXPECT_DOUBLE_EQ(my_atof("2D2"), 200.0);
    EXPECT_DOUBLE_EQ(my_atof("1.5 e3"), 1500.0);
    EXPECT_EQ(my_atof("0.0e999"), 0.0);  // 0 times an overflowing power is 0, not NaN
}

TEST(DecimalText, LongDigitRunsDoNotWrap) {
    // Beyond 18 digits a 64-bit reading wraps into nonsense.
    EXPECT_NEAR(my_atof("0.3333333333333333333333333"), 1.0 / 3.0, 5e-14);
    EXPECT_NEAR(my_atof(("0." + std::string(80, '9')).c_str()), 1.0, 5e-14);
    EXPECT_DOUBLE_EQ(my_atof("123456789012345678901234567890"), 1.2345678901234568e29);
}

class FileUtilities : public ::testing::Test {
protected:
    std::string path(char const* name) const { return (dir_ / name).string(); }
    scratch::Dir dir_{"quintle_public"};
};

TEST_F(FileUtilities, CopyAddsOneEmptyLineAndKeepsVeryLongLinesWhole) {
    std::string long_line(250000, 'A');
    long_line[100098] = 'B';
    scratch::write_file(path("long.txt"), "head\n" + long_line);
    scratch::write_file(path("copy.txt"), "old content that must go away\n");
    EXPECT_TRUE(MY_CopyFile(path("copy.txt").c_str(), path("long.txt").c_str()));
    EXPECT_EQ(scratch::read_file(path("copy.txt")), "head\n" + long_line + "\n\n");

    EXPECT_FALSE(MY_CopyFile(path("copy2.txt").c_str(), path("missing.txt").c_str()));
    EXPECT_FALSE(fs::exists(path("copy2.txt")));
    EXPECT_FALSE(MY_CopyFile(path("no_dir/copy.txt").c_str(), path("long.txt").c_str()));
}

TEST_F(FileUtilities, DeleteAndCreateDirectory) {
    scratch::write_file(path("victim.txt"), "data\n");
    EXPECT_TRUE(MY_DeleteFile(path("victim.txt").c_str()));
    EXPECT_FALSE(fs::exists(path("victim.txt")));
    EXPECT_TRUE(MY_DeleteFile(path("never_there.txt").c_str()));
    fs::create_directory(path("keep_dir"));
    EXPECT_TRUE(MY_DeleteFile(path("keep_dir").c_str()));
    EXPECT_TRUE(fs::is_directory(path("keep_dir")));

    EXPECT_TRUE(MY_CreateDirectory(path("new.res/").c_str()));
    EXPECT_TRUE(fs::is_directory(path("new.res")));
    EXPECT_TRUE(MY_CreateDirectory(path("new.res").c_str()));  // already there
    EXPECT_FALSE(MY_CreateDirectory(path("missing/parent").c_str()));
    scratch::write_file(path("plain_file"), "x");
    EXPECT_FALSE(MY_CreateDirectory(path("plain_file").c_str()));
}

}  // namespace
}  // namespace quintle
