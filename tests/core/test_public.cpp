#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <unistd.h>

#include "core/platform.h"
#include "core/public.h"
#include "scratch.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

TEST(DigitRule, IntegerTexts) {
    EXPECT_EQ(my_atoi(""), 0);
    EXPECT_EQ(my_atoi("-"), 0);
    EXPECT_EQ(my_atoi("--5"), 5);
    EXPECT_EQ(my_atoi("7a8"), 78);
    EXPECT_EQ(my_atoi("-12"), -12);
    EXPECT_EQ(my_atoi("  42 \r\n"), 42);
    EXPECT_EQ(my_atoi("1.5"), 15);
    EXPECT_EQ(my_atoi("12-3"), 117);  // the minus negates the 3 to its right
    EXPECT_EQ(my_atoi("+7"), 7);
    EXPECT_EQ(my_atoi("abc"), 0);
    EXPECT_EQ(my_atoi(nullptr), 0);
    EXPECT_EQ(my_atol("-123456789012"), -123456789012L);
}

TEST(DigitRule, SaturatesInsteadOfWrapping) {
    EXPECT_EQ(my_atoi("2147483647"), INT_MAX);
    EXPECT_EQ(my_atoi("2147483648"), INT_MAX);
    EXPECT_EQ(my_atoi("-2147483648"), INT_MIN);
    EXPECT_EQ(my_atoi("-2147483649"), INT_MIN);
    EXPECT_EQ(my_atoi("99999999999"), INT_MAX);
    EXPECT_EQ(my_atoi("4294967297"), INT_MAX);  // low 32 bits would give 1

    EXPECT_EQ(my_atol("9223372036854775807"), LONG_MAX);
    EXPECT_EQ(my_atol("9223372036854775808"), LONG_MAX);
    EXPECT_EQ(my_atol("-9223372036854775808"), LONG_MIN);
    EXPECT_EQ(my_atol("18446744073709551617"), LONG_MAX);  // wraps to 1 in 64 bits
    EXPECT_EQ(my_atol(std::string(60, '9').c_str()), LONG_MAX);
    EXPECT_EQ(my_atol(("-" + std::string(60, '9')).c_str()), LONG_MIN);
    EXPECT_EQ(my_atoi(("1" + std::string(50, '0')).c_str()), INT_MAX);
    EXPECT_EQ(my_atol(("000000000000000000000000000000000000000000000" + std::string("17")).c_str()), 17L);
}

TEST(DecimalText, PlainDecimals) {
    EXPECT_DOUBLE_EQ(my_atof("2.5"), 2.5);
    EXPECT_DOUBLE_EQ(my_atof("-2.5"), -2.5);
    EXPECT_DOUBLE_EQ(my_atof("-25"), -25.0);
    EXPECT_DOUBLE_EQ(my_atof("-0.5"), -0.5);
    EXPECT_DOUBLE_EQ(my_atof("10.05"), 10.05);
    EXPECT_DOUBLE_EQ(my_atof("1.5e-3"), 0.0015);
    EXPECT_DOUBLE_EQ(my_atof("0.25d2"), 25.0);
    EXPECT_DOUBLE_EQ(my_atof("3."), 3.0);
    EXPECT_DOUBLE_EQ(my_atof(".75"), 0.75);
    EXPECT_EQ(my_atof(""), 0.0);
    EXPECT_EQ(my_atof(nullptr), 0.0);
    EXPECT_EQ(my_atof("abc"), 0.0);
}

// The power of ten of the fraction goes through exp(n * ln 10), so values of
// texts that were always read keep every bit.
TEST(DecimalText, SameBitsAsTheLongStandingFormula) {
    const double ln10 = 2.302585092994046;
    EXPECT_EQ(my_atof("12.345"), 12.0 + 345.0 * std::exp(-3 * ln10));
    EXPECT_EQ(my_atof("-0.05"), -1.0 * (0.0 + 5.0 * std::exp(-2 * ln10)));
    EXPECT_EQ(my_atof("7.25e-4"), (7.0 + 25.0 * std::exp(-2 * ln10)) * std::exp(-4 * ln10));
    // A negative integer text (the sign not in front) subtracts the fraction.
    EXPECT_EQ(my_atof("--2.5"), -1.0 * (-2.0 - 5.0 * std::exp(-1 * ln10)));
}

TEST(DecimalText, ExponentsInEveryForm) {
    EXPECT_DOUBLE_EQ(my_atof("1e-7"), 1e-7);
    EXPECT_DOUBLE_EQ(my_atof("1.000000e-07"), 1e-7);  // the program's own "%e" output
    EXPECT_DOUBLE_EQ(my_atof("1.5E3"), 1500.0);
    EXPECT_DOUBLE_EQ(my_atof("2E+2"), 200.0);
    EXPECT_DOUBLE_EQ(my_atof("2D2"), 200.0);
    EXPECT_DOUBLE_EQ(my_atof("2d-2"), 0.02);
    EXPECT_DOUBLE_EQ(my_atof("-3.5e2"), -350.0);
    EXPECT_DOUBLE_EQ(my_atof("1.5e"), 1.5);
    // 0 times an overflowing power is 0, not NaN.
    EXPECT_EQ(my_atof("0.0e999"), 0.0);
    EXPECT_TRUE(std::isinf(my_atof("1e999")));
}

TEST(DecimalText, LineEndsAndBlanksAroundTheNumber) {
    EXPECT_DOUBLE_EQ(my_atof("0.05\r"), 0.05);
    EXPECT_DOUBLE_EQ(my_atof("0.05\r\n"), 0.05);
    EXPECT_DOUBLE_EQ(my_atof("0.05 \t"), 0.05);
    EXPECT_DOUBLE_EQ(my_atof("1.5 e3"), 1500.0);
    EXPECT_DOUBLE_EQ(my_atof(" -0.5"), -0.5);
    EXPECT_DOUBLE_EQ(my_atof("\t-2.5"), -2.5);
    EXPECT_DOUBLE_EQ(my_atof("  4.25  "), 4.25);
}

TEST(DecimalText, LongDigitRuns) {
    // Beyond 18 digits the old 64-bit reading wrapped into nonsense; now the
    // value is right up to the error of exp(-n * ln 10) itself (about
    // n * 5e-16 relative for n fraction characters, at most 36 used).
    EXPECT_NEAR(my_atof("0.3333333333333333333333333"), 1.0 / 3.0, 5e-14);
    EXPECT_NEAR(my_atof(("0." + std::string(80, '9')).c_str()), 1.0, 5e-14);
    EXPECT_NEAR(my_atof("0.1234567890123456789"), 0.1234567890123456789, 5e-14);
    EXPECT_DOUBLE_EQ(my_atof("123456789012345678901234567890"), 1.2345678901234568e29);
    EXPECT_DOUBLE_EQ(my_atof(("1" + std::string(50, '0') + ".5").c_str()), 1e50);
}

TEST(NumberToText, IntegersAndFloats) {
    char buf[64] = "junk";
    EXPECT_EQ(my_itoa(-42, buf, 10), buf);
    EXPECT_STREQ(buf, "-42");
    EXPECT_EQ(my_itoa(5, buf, 16), nullptr);
    EXPECT_STREQ(buf, "");

    EXPECT_EQ(my_ftoa(1.5f, buf, 10.0f), buf);
    EXPECT_STREQ(buf, "1.500000");
    EXPECT_EQ(my_ftoa(1.5f, buf, 2.0f), nullptr);
    EXPECT_STREQ(buf, "");
}

TEST(TextEdits, Reverse) {
    char abc[] = "abc";
    my_strrev(abc);
    EXPECT_STREQ(abc, "cba");
    char empty[] = "";
    my_strrev(empty);
    EXPECT_STREQ(empty, "");

    std::string at_limit = std::string(2999, 'a') + "b";
    my_strrev(at_limit.data());
    EXPECT_EQ(at_limit[0], 'b');
    std::string beyond = std::string(3000, 'a') + "b";
    my_strrev(beyond.data());
    EXPECT_EQ(beyond[3000], 'b');  // 3001 characters: unchanged
}

TEST(TextEdits, TrailingZerosAndSlashes) {
    char a[] = "2.500";
    EXPECT_TRUE(rm_in_zero(a));
    EXPECT_STREQ(a, "2.5");
    char b[] = "100";
    EXPECT_TRUE(rm_in_zero(b));
    EXPECT_STREQ(b, "1");
    char c[] = "000";
    EXPECT_TRUE(rm_in_zero(c));
    EXPECT_STREQ(c, "0");
    char d[] = "0";
    EXPECT_TRUE(rm_in_zero(d));
    EXPECT_STREQ(d, "0");
    char e[] = "";
    EXPECT_FALSE(rm_in_zero(e));

    char path[] = "a\\b\\c";
    convert_to_slash(path);
    EXPECT_STREQ(path, "a/b/c");
}

TEST(SystemUtilities, RunFileNameAndManipulators) {
    std::string expected = "pml_run_" + std::to_string(getpid()) + ".txt";
    EXPECT_EQ(std::string(getPmlRunString().c_str()), expected);

    std::ostringstream os;
    os << std::scientific << std::left << real_8w_4p << 3.14159 << '|' << time_date << "x";
    EXPECT_EQ(os.str(), "    3.1416|x");

    EXPECT_NEAR(static_cast<double>(my_logl(std::exp(2.0L))), 2.0, 1e-12);
    EXPECT_GE(get_sys_clock(), 0);
}

// Each file test works in its own fresh directory.
class FileUtilities : public ::testing::Test {
protected:
    std::string path(char const* name) const { return (dir_ / name).string(); }
    static void write(std::string const& file, std::string const& content) { scratch::write_file(file, content); }
    static std::string read(std::string const& file) { return scratch::read_file(file); }

    scratch::Dir dir_{"quintle_public"};
};

TEST_F(FileUtilities, CopyAddsOneEmptyLine) {
    write(path("two.txt"), "first\nsecond\n");
    EXPECT_TRUE(MY_CopyFile(path("copy.txt").c_str(), path("two.txt").c_str()));
    EXPECT_EQ(read(path("copy.txt")), "first\nsecond\n\n");

    write(path("open.txt"), "first\nsecond");
    EXPECT_TRUE(MY_CopyFile(path("copy2.txt").c_str(), path("open.txt").c_str()));
    EXPECT_EQ(read(path("copy2.txt")), "first\nsecond\n\n");

    write(path("empty.txt"), "");
    EXPECT_TRUE(MY_CopyFile(path("copy3.txt").c_str(), path("empty.txt").c_str()));
    EXPECT_EQ(read(path("copy3.txt")), "\n");

    write(path("copy4.txt"), "old content that must go away\n");
    EXPECT_TRUE(MY_CopyFile(path("copy4.txt").c_str(), path("two.txt").c_str()));
    EXPECT_EQ(read(path("copy4.txt")), "first\nsecond\n\n");
}

TEST_F(FileUtilities, CopyKeepsVeryLongLinesWhole) {
    std::string long_line(250000, 'A');
    long_line[100098] = 'B';
    long_line.back() = 'Z';
    write(path("long.txt"), "head\n" + long_line + "\ntail\n");
    EXPECT_TRUE(MY_CopyFile(path("copy.txt").c_str(), path("long.txt").c_str()));
    EXPECT_EQ(read(path("copy.txt")), "head\n" + long_line + "\ntail\n\n");
}

TEST_F(FileUtilities, CopyReportsFailures) {
    EXPECT_FALSE(MY_CopyFile(path("copy.txt").c_str(), path("missing.txt").c_str()));
    EXPECT_FALSE(fs::exists(path("copy.txt")));

    write(path("src.txt"), "x\n");
    EXPECT_FALSE(MY_CopyFile(path("no_such_dir/copy.txt").c_str(), path("src.txt").c_str()));
    // A directory cannot be written as a file.
    fs::create_directory(path("a_dir"));
    EXPECT_FALSE(MY_CopyFile(path("a_dir").c_str(), path("src.txt").c_str()));
}

TEST_F(FileUtilities, DeleteRemovesOnlyFiles) {
    write(path("victim.txt"), "data\n");
    EXPECT_TRUE(MY_DeleteFile(path("victim.txt").c_str()));
    EXPECT_FALSE(fs::exists(path("victim.txt")));

    EXPECT_TRUE(MY_DeleteFile(path("never_there.txt").c_str()));
    EXPECT_FALSE(fs::exists(path("never_there.txt")));
    EXPECT_TRUE(MY_DeleteFile(path("no_dir/file.txt").c_str()));
    EXPECT_FALSE(fs::exists(path("no_dir")));

    fs::create_directory(path("keep_dir"));
    EXPECT_TRUE(MY_DeleteFile(path("keep_dir").c_str()));
    EXPECT_TRUE(fs::is_directory(path("keep_dir")));
}

TEST_F(FileUtilities, CreateDirectoryTellsWhetherItExists) {
    EXPECT_TRUE(MY_CreateDirectory(path("new.res").c_str()));
    EXPECT_TRUE(fs::is_directory(path("new.res")));
    EXPECT_TRUE(MY_CreateDirectory(path("new.res").c_str()));  // already there
    EXPECT_TRUE(MY_CreateDirectory(path("slash.res/").c_str()));
    EXPECT_TRUE(fs::is_directory(path("slash.res")));

    EXPECT_FALSE(MY_CreateDirectory(path("missing/parent").c_str()));
    EXPECT_FALSE(fs::exists(path("missing")));

    write(path("plain_file"), "x");
    EXPECT_FALSE(MY_CreateDirectory(path("plain_file").c_str()));
    EXPECT_FALSE(MY_CreateDirectory(""));
}

}  // namespace
}  // namespace quintle
