#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "core/my_string.h"

namespace quintle {
namespace {

constexpr int kMax = my_string::max_length;  // 1001100

std::string str(my_string const& s) { return std::string(s.c_str()); }

// The invariant every operation keeps.
void expect_sound(my_string const& s) {
    ASSERT_NE(s.c_str(), nullptr);
    EXPECT_EQ(static_cast<int>(std::strlen(s.c_str())), s.length());
    EXPECT_GE(s.size(), s.length() + 1);
}

TEST(MyString, LengthLimitIsNeverPassedNorATextCut) {
    std::string const at_limit(kMax, 'x');
    EXPECT_EQ(my_string(at_limit.c_str()).length(), 0);  // the constructor refuses the limit itself
    my_string s;
    s = at_limit.c_str();
    EXPECT_EQ(s.length(), kMax);
    s = std::string(kMax + 1, 'y').c_str();  // refused: text left as it was
    s += "a";
    s += 'a';
    EXPECT_EQ(s.length(), kMax);
    EXPECT_EQ(s[kMax - 1], 'x');
    EXPECT_EQ((s + "x").length(), 0);

    my_string almost;
    almost = std::string(kMax - 1, 'z').c_str();
    almost += "ab";  // would pass the limit: refused whole
    EXPECT_EQ(almost.length(), kMax - 1);
    expect_sound(almost);

    // Every blank grows by two characters: empty rather than a cut text.
    my_string blanks;
    blanks = std::string(kMax - 10, ' ').c_str();
    EXPECT_EQ(blanks.convert_blank_to_html_blank().length(), 0);
    EXPECT_EQ(str(my_string(" a b ").convert_blank_to_html_blank()), "%20a%20b%20");
}

TEST(MyString, LargeDoubleGetsItsWholeText) {
    // "%f" of -1e308 is the sign, 309 digits and ".000000".
    my_string s;
    s = -1e308;
    EXPECT_EQ(s.length(), 317);
    EXPECT_EQ(str(s).substr(0, 2), "-1");
    EXPECT_EQ(str(s).substr(310), ".000000");
    expect_sound(s);
    s = -3.25;
    EXPECT_EQ(str(s), "-3.250000");
}

TEST(MyString, AppendingGrowsGeometricallyAndSurvivesItself) {
    // A fixed growth step would reallocate about 2000 times.
    my_string s;
    std::set<int> sizes;
    for (int i = 0; i < 200000; ++i) {
        s += static_cast<char>('a' + i % 26);
        sizes.insert(s.size());
    }
    EXPECT_LT(sizes.size(), 40u);
    EXPECT_EQ(s[199999], static_cast<char>('a' + 199999 % 26));
    my_string t("abc");
    t += t;
    EXPECT_EQ(str(t), "abcabc");
}

TEST(MyString, RemoveExtensionCutsTheFileNamesLastDotOnly) {
    // A dotted folder name must survive: the result folder of
    // old.pmp/run1.pmp is old.pmp/run1.res/, not old.res/.
    std::string const long_path = std::string(700, 'd') + "/" + std::string(600, 'f');
    const std::pair<std::string, std::string> cases[] = {
        {"proj.pmp", "proj"},
        {"old.pmp/run1.pmp", "old.pmp/run1"},
        {"C:\\data.v2\\file", "C:\\data.v2\\file"},
        {"a.pmp.pmp", "a.pmp"},
        {long_path + ".pmp", long_path},
    };
    for (auto const& [before, after] : cases) {
        my_string p(before.c_str());
        p.remove_extension();
        EXPECT_EQ(str(p), after);
    }
}

TEST(MyString, TokensAndPaths) {
    my_string csv("1,,22,");
    EXPECT_EQ(str(csv.extract_sub_str(',')), "1");
    EXPECT_EQ(str(csv.extract_sub_str(',')), "22");
    EXPECT_EQ(str(csv), ",");
    my_string kv("key=value=x");
    EXPECT_EQ(str(kv.extract_after('=')), "value=x");
    EXPECT_EQ(str(kv.extract_before('=')), "key");
    my_string path("a/b\\c");
    EXPECT_EQ(path.extract_path(), 4);
    EXPECT_EQ(str(path), "a/b\\");
    my_string file("dir\\file");
    EXPECT_EQ(file.rm_path(), 4);
    EXPECT_EQ(str(file), "file");
}

TEST(MyString, ReadingFromStreams) {
    std::istringstream in("first\r\n\nlast");
    my_string s("previous text that is longer than any line");
    EXPECT_EQ(s.read_line(in), 1);
    EXPECT_EQ(str(s), "first\r");  // the carriage return is kept
    s.read_line(in);
    EXPECT_EQ(s.length(), 0);
    s.read_line(in);
    EXPECT_EQ(str(s), "last");
    s.read_line(in);
    EXPECT_EQ(s.length(), 0);
    EXPECT_TRUE(in.fail());

    std::istringstream overlong(std::string(my_string::max_line + 5, 'L') + "\nnext\n");
    s.read_line(overlong);
    EXPECT_EQ(s.length(), my_string::max_line);
    EXPECT_TRUE(overlong.fail());

    std::istringstream fields("ab,cd\nef,,g");
    std::string got;
    for (int i = 0; i < 5; ++i) {
        s.read_to_delim(fields, ',');
        got += str(s) + "|";
    }
    EXPECT_EQ(got, "ab|cd|ef||g|");  // a newline also ends a field

    std::istringstream quoted("x\"ab\"y\n\"open");
    my_string q("pre:");
    EXPECT_EQ(q.GetNextQuota(quoted), 1);
    EXPECT_EQ(str(q), "pre:ab");  // appended, not replaced
    EXPECT_EQ(q.GetNextQuota(quoted), 0);  // no quote on the rest of the line
    EXPECT_EQ(q.GetNextQuota(quoted), 1);
    EXPECT_EQ(str(q), "pre:abopen");
}

}  // namespace
}  // namespace quintle
