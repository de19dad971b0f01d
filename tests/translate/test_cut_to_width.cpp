// The cut of a name to a field width in bytes: never inside a UTF-8
// character, the field filled with blanks instead. The bytes of the
// characters used: É C3 89, € E2 82 AC, 𝄞 F0 9D 84 9E.

#include <gtest/gtest.h>

#include <string>

#include "translate/text_lines.h"

namespace quintle {
namespace {

TEST(CutToWidth, AsciiAndShortTexts) {
    EXPECT_EQ(cut_to_width("abcdefgh", 6), "abcdef");
    EXPECT_EQ(cut_to_width("abcdef", 6), "abcdef");
    // Shorter texts are the writer's to pad.
    EXPECT_EQ(cut_to_width("abc", 6), "abc");
    EXPECT_EQ(cut_to_width("", 6), "");
    EXPECT_EQ(cut_to_width("abc", 0), "");
}

TEST(CutToWidth, TwoByteCharacterAtTheBoundary) {
    std::string const text = "abcde\xC3\x89x";  // "abcdeÉx"
    EXPECT_EQ(cut_to_width(text, 5), "abcde");
    EXPECT_EQ(cut_to_width(text, 6), "abcde ");
    EXPECT_EQ(cut_to_width(text, 7), "abcde\xC3\x89");
    EXPECT_EQ(cut_to_width("\xC3\x89\xC3\x89", 3), "\xC3\x89 ");
    EXPECT_EQ(cut_to_width("\xC3\x89", 1), " ");
}

TEST(CutToWidth, ThreeByteCharacterAtTheBoundary) {
    std::string const text = "abcd\xE2\x82\xACx";  // "abcd€x"
    EXPECT_EQ(cut_to_width(text, 4), "abcd");
    EXPECT_EQ(cut_to_width(text, 5), "abcd ");
    EXPECT_EQ(cut_to_width(text, 6), "abcd  ");
    EXPECT_EQ(cut_to_width(text, 7), "abcd\xE2\x82\xAC");
}

TEST(CutToWidth, FourByteCharacterAtTheBoundary) {
    std::string const text = "ab\xF0\x9D\x84\x9E" "c";  // "ab𝄞c"
    EXPECT_EQ(cut_to_width(text, 2), "ab");
    EXPECT_EQ(cut_to_width(text, 3), "ab ");
    EXPECT_EQ(cut_to_width(text, 4), "ab  ");
    EXPECT_EQ(cut_to_width(text, 5), "ab   ");
    EXPECT_EQ(cut_to_width(text, 6), "ab\xF0\x9D\x84\x9E");
}

// Bytes that are not UTF-8 (Latin-1, stray continuation bytes) are cut
// where the width falls: there is no character to keep whole.
TEST(CutToWidth, TextThatIsNotUtf8) {
    EXPECT_EQ(cut_to_width("abcd\xC9x", 5), "abcd\xC9");             // Latin-1 "É" then "x"
    EXPECT_EQ(cut_to_width("ab\x80\x80\x80\x80\x80", 6), "ab\x80\x80\x80\x80");
    EXPECT_EQ(cut_to_width("a\xC3\x89\x89x", 3), "a\xC3\x89");      // one continuation too many
    EXPECT_EQ(cut_to_width("a\xC3\x89\x89x", 4), "a\xC3\x89\x89");
}

}  // namespace
}  // namespace quintle
