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

// A quoted text of a message: what a terminal would act on, or could not
// show, as \xHH per byte; printable UTF-8 whole. Cases worked out from the
// UTF-8 encoding table (an overlong "/" is C0 AF, a surrogate ED A0 80).
TEST(MessageText, EscapesWhatATerminalWouldActOn) {
    EXPECT_EQ(message_text("a\x1B[2Jb\r", 40), "a\\x1B[2Jb\\x0D");
    EXPECT_EQ(message_text("\t\x7F\x1A\f", 40), "\\x09\\x7F\\x1A\\x0C");
    EXPECT_EQ(message_text("x\xB2y", 40), "x\\xB2y");                          // lone continuation byte
    EXPECT_EQ(message_text("\xC0\xAF\xED\xA0\x80", 40), "\\xC0\\xAF\\xED\\xA0\\x80");  // overlong, surrogate
    EXPECT_EQ(message_text("\xC2\x85\xC2\xA0\xC2\xA1", 40), "\\xC2\\x85\\xC2\\xA0\xC2\xA1");  // NEL, NBSP; "¡" kept
    EXPECT_EQ(message_text("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E", 40), "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E");
    EXPECT_EQ(message_text("\xE2\x82", 40), "\\xE2\\x82");                     // character cut short
    // Shortened first, then escaped: the width counts the source's bytes.
    EXPECT_EQ(message_text("\x01\x02\x03\x04\x05", 3), "\\x01\\x02\\x03...");
}

// "#" (the project reader cuts a line there, inside quotes too), NUL, the
// control bytes but the tab, and 0xFF as "_"; a double quote as a blank.
TEST(SampleName, BytesAProjectValueCannotHold) {
    EXPECT_EQ(as_sample_name(std::string("L#2\0x\x01\t \x7F\xFF\"q", 12)), "L_2_x_\t \x7F_ q");
}

}  // namespace
}  // namespace quintle
