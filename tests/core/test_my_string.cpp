#include <gtest/gtest.h>

#include <cstring>
#include <iomanip>
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

TEST(MyStringConstruction, DefaultAndFromText) {
    my_string empty;
    EXPECT_EQ(empty.length(), 0);
    EXPECT_EQ(empty.size(), 10);
    EXPECT_EQ(empty.delta(), 100);
    EXPECT_EQ(empty.is_null(), 1);
    EXPECT_STREQ(empty.c_str(), "");

    my_string s("abc");
    EXPECT_EQ(s.length(), 3);
    EXPECT_EQ(s.size(), 5);
    EXPECT_EQ(s.is_null(), 0);
    EXPECT_EQ(str(s), "abc");

    my_string copy(s);
    EXPECT_EQ(str(copy), "abc");
    s += "d";
    EXPECT_EQ(str(copy), "abc");  // deep copy

    my_string from_null(static_cast<char const*>(nullptr));
    EXPECT_EQ(from_null.length(), 0);
}

TEST(MyStringConstruction, ConstructorRefusesMaxLengthButAssignmentTakesIt) {
    std::string at_limit(kMax, 'x');
    my_string constructed(at_limit.c_str());
    EXPECT_EQ(constructed.length(), 0);
    EXPECT_EQ(constructed.size(), 10);

    my_string one_less(at_limit.c_str() + 1);
    EXPECT_EQ(one_less.length(), kMax - 1);

    my_string assigned;
    assigned = at_limit.c_str();
    EXPECT_EQ(assigned.length(), kMax);
    expect_sound(assigned);

    std::string beyond(kMax + 1, 'y');
    assigned = beyond.c_str();  // refused: text left as it was
    EXPECT_EQ(assigned.length(), kMax);
    EXPECT_EQ(assigned[0], 'x');
}

TEST(MyStringConstruction, MoveLeavesSourceUsable) {
    my_string a("payload");
    my_string b(std::move(a));
    EXPECT_EQ(str(b), "payload");
    expect_sound(a);
    a += "again";
    EXPECT_EQ(str(a), "again");

    my_string c("x");
    c = std::move(b);
    EXPECT_EQ(str(c), "payload");
    expect_sound(b);
}

TEST(MyStringAssignment, BufferReuseRule) {
    my_string s;
    s = "abcdefghij";  // 10 characters do not fit in 10 bytes: exact new buffer
    EXPECT_EQ(s.size(), 12);
    s = "ab";  // fits: reused
    EXPECT_EQ(s.size(), 12);
    EXPECT_EQ(str(s), "ab");

    my_string other("0123456789abc");
    s = other;
    EXPECT_EQ(s.size(), 15);
    EXPECT_EQ(str(s), "0123456789abc");
    s = s;  // self-assignment keeps the text
    EXPECT_EQ(str(s), "0123456789abc");
}

TEST(MyStringAssignment, NumbersAndCharacters) {
    my_string s;
    s = 42;
    EXPECT_EQ(str(s), "42");
    s = -2147483647 - 1;
    EXPECT_EQ(str(s), "-2147483648");
    s = 0.5;
    EXPECT_EQ(str(s), "0.500000");
    s = -3.25;
    EXPECT_EQ(str(s), "-3.250000");
    s = 'q';
    EXPECT_EQ(str(s), "q");
    s = '\0';
    EXPECT_EQ(s.length(), 0);
}

TEST(MyStringAssignment, LargeDoubleGetsItsWholeText) {
    // "%f" of 1e300 is 301 integer digits and ".000000"; of -1e308, 309 digits,
    // the sign and ".000000". A fixed small buffer would overflow here.
    my_string s;
    s = 1e300;
    EXPECT_EQ(s.length(), 308);
    EXPECT_EQ(s[0], '1');
    EXPECT_EQ(str(s).substr(301), ".000000");
    expect_sound(s);

    s = -1e308;
    EXPECT_EQ(s.length(), 317);
    EXPECT_EQ(str(s).substr(0, 2), "-1");
    expect_sound(s);
}

TEST(MyStringAppend, TextsAndCharacters) {
    my_string s("ab");
    s += my_string("cd");
    s += "ef";
    s += 'g';
    EXPECT_EQ(str(s), "abcdefg");
    s += "";
    s += my_string();
    s += '\0';
    EXPECT_EQ(str(s), "abcdefg");
    s += s;  // appending itself
    EXPECT_EQ(str(s), "abcdefgabcdefg");
    expect_sound(s);
}

TEST(MyStringAppend, LimitIsNeverPassed) {
    std::string full(kMax, 'z');
    my_string s;
    s = full.c_str();
    s += "a";
    s += 'a';
    s += my_string("a");
    EXPECT_EQ(s.length(), kMax);
    EXPECT_EQ(s[kMax - 1], 'z');

    my_string almost;
    almost = std::string(kMax - 1, 'z').c_str();
    almost += "ab";  // would pass the limit: refused whole, not cut
    EXPECT_EQ(almost.length(), kMax - 1);
    almost += 'a';
    EXPECT_EQ(almost.length(), kMax);
    EXPECT_EQ(almost[kMax - 1], 'a');
    expect_sound(almost);
}

TEST(MyStringAppend, GrowthIsGeometric) {
    // One character at a time up to 200000: a fixed growth step would
    // reallocate about 2000 times.
    my_string s;
    std::set<int> sizes;
    for (int i = 0; i < 200000; ++i) {
        s += static_cast<char>('a' + i % 26);
        sizes.insert(s.size());
    }
    EXPECT_EQ(s.length(), 200000);
    EXPECT_LT(sizes.size(), 40u);
    EXPECT_EQ(s[199999], static_cast<char>('a' + 199999 % 26));
    expect_sound(s);
}

TEST(MyStringAppend, Concatenation) {
    my_string a("ab");
    my_string b("cd");
    EXPECT_EQ(str(a + b), "abcd");
    EXPECT_EQ(str(a + "xyz"), "abxyz");
    EXPECT_EQ((a + "").size(), 10);  // the larger of 10 and length + 2
    EXPECT_EQ(str(a), "ab");

    my_string big;
    big = std::string(kMax, 'q').c_str();
    my_string too_long = big + "x";
    EXPECT_EQ(too_long.length(), 0);
    EXPECT_EQ((big + my_string()).length(), kMax);
}

TEST(MyStringCompare, EqualityIsByText) {
    my_string a("abc");
    EXPECT_TRUE(a == my_string("abc"));
    EXPECT_TRUE(a == "abc");
    EXPECT_FALSE(a == "ab");
    EXPECT_TRUE(a != "abd");
    EXPECT_TRUE(my_string() == "");
}

TEST(MyStringSearch, Contains) {
    my_string s("hello world");
    EXPECT_EQ(s.contains('w'), 1);
    EXPECT_EQ(s.contains('z'), 0);
    EXPECT_EQ(s.contains('\0'), 0);
    EXPECT_EQ(s.contains("lo w"), 1);
    EXPECT_EQ(s.contains("low"), 0);
    EXPECT_EQ(s.contains(""), 0);
    EXPECT_EQ(s.contains("hello world!"), 0);
    EXPECT_EQ(s.contains(my_string("world")), 1);
    EXPECT_EQ(my_string().contains('a'), 0);
}

TEST(MyStringSearch, Positions) {
    EXPECT_EQ(my_string("a/b/c").find_last_of('/'), 3);
    EXPECT_EQ(my_string("abc").find_last_of('/'), -1);
    EXPECT_EQ(my_string("abcb").find_first_of('b'), 1);
    EXPECT_EQ(my_string("abcb").find_first_of('b', 2), 3);
    EXPECT_EQ(my_string("abcb").find_first_of('b', 4), -1);
    EXPECT_EQ(my_string("abcb").find_first_of('b', 5), -1);
    EXPECT_EQ(my_string("abcb").find_first_of('b', -1), -1);
    EXPECT_EQ(my_string().find_first_of('b'), -1);
    EXPECT_EQ(my_string("abcb").find_first_of('x'), -1);

    EXPECT_EQ(my_string("abab").rfind(my_string("ab")), 0);  // first occurrence
    EXPECT_EQ(my_string("xxab").rfind(my_string("ab")), 2);
    EXPECT_EQ(my_string("abab").rfind(my_string("")), -1);
    EXPECT_EQ(my_string("ab").rfind(my_string("abc")), -1);
}

TEST(MyStringExtract, AfterAndBefore) {
    my_string s("key=value=x");
    EXPECT_EQ(str(s.extract_after('=')), "value=x");
    EXPECT_EQ(str(s.extract_before('=')), "key");
    EXPECT_EQ(str(s.extract_after('#')), "key=value=x");
    EXPECT_EQ(str(s.extract_before('#')), "key=value=x");
    EXPECT_EQ(str(my_string("abc=").extract_after('=')), "");
    EXPECT_EQ(str(my_string("=abc").extract_before('=')), "");
    EXPECT_EQ(str(s), "key=value=x");
}

TEST(MyStringExtract, SubStringTokens) {
    my_string s("  ab cd");
    EXPECT_EQ(str(s.extract_sub_str(' ')), "ab");
    EXPECT_EQ(str(s), " cd");
    EXPECT_EQ(str(s.extract_sub_str(' ')), "cd");
    EXPECT_EQ(str(s), "");
    EXPECT_EQ(str(s.extract_sub_str(' ')), "");

    my_string only(",,,");
    EXPECT_EQ(str(only.extract_sub_str(',')), "");
    EXPECT_EQ(only.length(), 0);

    my_string csv("1,,22,");
    EXPECT_EQ(str(csv.extract_sub_str(',')), "1");
    EXPECT_EQ(str(csv.extract_sub_str(',')), "22");
    EXPECT_EQ(str(csv), ",");
}

TEST(MyStringRemove, PositionsAndCounts) {
    my_string s("abcdef");
    s.remove(1, 2);
    EXPECT_EQ(str(s), "adef");
    s.remove(2, 10);
    EXPECT_EQ(str(s), "ad");
    s.remove(0, 0);
    s.remove(-1, 1);
    s.remove(5, 1);  // beyond the end: nothing
    EXPECT_EQ(str(s), "ad");
    s.remove(0, 2);
    EXPECT_EQ(str(s), "");
    expect_sound(s);

    my_string t("one two one");
    EXPECT_EQ(t.removes(my_string("one")), 1);
    EXPECT_EQ(str(t), " two one");
    EXPECT_EQ(t.removes(my_string("three")), 0);
    EXPECT_EQ(t.removes(my_string("")), 0);
    EXPECT_EQ(str(t), " two one");
}

TEST(MyStringRemove, BlanksLineEndsReverseCase) {
    my_string s(" a\tb  c\t");
    s.remove_blanks();
    EXPECT_EQ(str(s), "abc");

    my_string line("x\r\ny\n");
    line.remove_eol_and_lf();
    EXPECT_EQ(str(line), "xy");

    my_string r("abcd");
    r.reverse_string();
    EXPECT_EQ(str(r), "dcba");
    my_string e;
    e.reverse_string();
    EXPECT_EQ(e.length(), 0);

    // Bytes outside A-Z / a-z stay, accented letters (UTF-8 and Latin-1) included.
    my_string mixed("AbZ-9_\xC3\x89\xC9z");
    mixed.Lower();
    EXPECT_EQ(str(mixed), "abz-9_\xC3\x89\xC9z");
    mixed.to_upper();
    EXPECT_EQ(str(mixed), "ABZ-9_\xC3\x89\xC9Z");
    mixed.to_lower();
    EXPECT_EQ(str(mixed), "abz-9_\xC3\x89\xC9z");
    mixed.Upper();
    EXPECT_EQ(str(mixed), "ABZ-9_\xC3\x89\xC9Z");
}

TEST(MyStringPath, RmPathAndExtractPath) {
    my_string a("dir\\file");
    EXPECT_EQ(a.rm_path(), 4);
    EXPECT_EQ(str(a), "file");
    my_string b("dir/");
    EXPECT_EQ(b.rm_path(), 0);
    my_string c("file");
    EXPECT_EQ(c.rm_path(), 4);
    EXPECT_EQ(str(c), "file");

    my_string d("a/b\\c");
    EXPECT_EQ(d.extract_path(), 4);
    EXPECT_EQ(str(d), "a/b\\");
    my_string e("c");
    EXPECT_EQ(e.extract_path(), 0);
    EXPECT_EQ(str(e), "");
}

TEST(MyStringPath, RemoveExtensionCutsTheFileNamesLastDot) {
    my_string p("proj.pmp");
    p.remove_extension();
    EXPECT_EQ(str(p), "proj");
    EXPECT_EQ(p.length(), 4);

    my_string n("noext");
    n.remove_extension();
    EXPECT_EQ(str(n), "noext");

    // A dotted folder name must survive: the result folder of
    // old.pmp/run1.pmp is old.pmp/run1.res/, not old.res/.
    my_string folder("old.pmp/run1.pmp");
    folder.remove_extension();
    EXPECT_EQ(str(folder), "old.pmp/run1");

    my_string win("C:\\data.v2\\file");
    win.remove_extension();
    EXPECT_EQ(str(win), "C:\\data.v2\\file");

    my_string twice("a.pmp.pmp");
    twice.remove_extension();
    EXPECT_EQ(str(twice), "a.pmp");

    my_string trailing("a.b.");
    trailing.remove_extension();
    EXPECT_EQ(str(trailing), "a.b");

    // No length limit on the path.
    std::string long_path = std::string(700, 'd') + "/" + std::string(600, 'f') + ".pmp";
    my_string l(long_path.c_str());
    l.remove_extension();
    EXPECT_EQ(str(l), long_path.substr(0, long_path.size() - 4));
}

TEST(MyStringConvert, InPlaceAndReturning) {
    my_string s("a\\b/c");
    s.convert_to_slash();
    EXPECT_EQ(str(s), "a/b/c");
    my_string h("a\\b");
    h.convert_to_html_slash();
    EXPECT_EQ(str(h), "a/b");
    s.convert_to_backslash();
    EXPECT_EQ(str(s), "a\\b\\c");

    my_string u("C:\\x/y:z");
    u.convert_to_underline();
    EXPECT_EQ(str(u), "C__x_y_z");
    my_string d("a.b.c");
    d.convert_dot_to_underline();
    EXPECT_EQ(str(d), "a_b_c");

    char text[] = "p\\q\\r";
    my_string::convert_to_slash(text);
    EXPECT_STREQ(text, "p/q/r");

    my_string blanks(" a b ");
    EXPECT_EQ(str(blanks.convert_blank_to_html_blank()), "%20a%20b%20");
    EXPECT_EQ(str(blanks.convert_blank_to_linux_blank()), "\\ a\\ b\\ ");
    EXPECT_EQ(str(blanks.convert_blank_to_underline()), "_a_b_");
    EXPECT_EQ(str(blanks), " a b ");
}

TEST(MyStringConvert, ReturningConversionNeverCutsAText) {
    // Every blank grows by two characters: the full result would pass the
    // limit, so it is empty rather than a cut (and garbled) text.
    my_string s;
    s = std::string(kMax - 10, ' ').c_str();
    EXPECT_EQ(s.convert_blank_to_html_blank().length(), 0);
    EXPECT_EQ(s.convert_blank_to_underline().length(), kMax - 10);
}

TEST(MyStringStream, ReadLineKeepsCarriageReturn) {
    std::istringstream in("first\r\nsecond\n\nlast");
    my_string s("previous text that is longer than any line");
    EXPECT_EQ(s.read_line(in), 1);
    EXPECT_EQ(str(s), "first\r");
    s.remove_eol_and_lf();
    EXPECT_EQ(str(s), "first");
    s.read_line(in);
    EXPECT_EQ(str(s), "second");
    s.read_line(in);
    EXPECT_EQ(s.length(), 0);
    EXPECT_TRUE(in.good());
    s.read_line(in);
    EXPECT_EQ(str(s), "last");
    EXPECT_FALSE(in.fail());
    EXPECT_EQ(s.read_line(in), 1);  // end of input: empty, stream failed
    EXPECT_EQ(s.length(), 0);
    EXPECT_TRUE(in.fail());
    expect_sound(s);
}

TEST(MyStringStream, ReadLineWorksWithoutPreallocatedBuffer) {
    my_string::release_line_buffer();
    std::istringstream in("abc\n");
    my_string s;
    s.read_line(in);
    EXPECT_EQ(str(s), "abc");
    my_string::allocate_line_buffer();
    my_string::allocate_line_buffer();  // second call keeps the same buffer
    EXPECT_NE(my_string::_buf, nullptr);
    my_string::release_line_buffer();
    EXPECT_EQ(my_string::_buf, nullptr);
}

TEST(MyStringStream, ReadLineOverlongLine) {
    std::string line(my_string::max_line + 5, 'L');
    std::istringstream in(line + "\nnext\n");
    my_string s;
    s.read_line(in);
    EXPECT_EQ(s.length(), my_string::max_line);
    EXPECT_TRUE(in.fail());

    std::string exact(my_string::max_line, 'E');
    std::istringstream in2(exact + "\nnext\n");
    s.read_line(in2);
    EXPECT_EQ(s.length(), my_string::max_line);
    EXPECT_FALSE(in2.fail());
    s.read_line(in2);
    EXPECT_EQ(str(s), "next");
}

TEST(MyStringStream, ExtractionOperator) {
    std::istringstream in("word\nnext");
    my_string s;
    in >> s;
    EXPECT_EQ(str(s), "word");
    EXPECT_EQ(in.peek(), '\n');  // the newline is left in the stream

    std::istringstream in2(" \t ab\rcd ef");
    in2 >> s;
    EXPECT_EQ(str(s), "ab");
    in2 >> s;
    EXPECT_EQ(str(s), "cd");
    in2 >> s;
    EXPECT_EQ(str(s), "ef");
    EXPECT_TRUE(in2.eof());
    EXPECT_FALSE(in2.fail());
    in2 >> s;
    EXPECT_EQ(s.length(), 0);
    EXPECT_TRUE(in2.fail());

    std::string with_nul("a");
    with_nul += '\0';
    with_nul += "b c";
    std::istringstream in3(with_nul);
    in3 >> s;
    EXPECT_EQ(str(s), "ab");

    std::istringstream in4("xy\xFFz");
    in4 >> s;
    EXPECT_EQ(str(s), "xy");
    EXPECT_EQ(in4.get(), 'z');
}

TEST(MyStringStream, ReadToken) {
    std::istringstream in("abc");
    my_string s;
    s.read_token(in);
    EXPECT_EQ(str(s), "abc");

    std::istringstream blanks("  \t\n  ");
    s = "old";
    s.read_token(blanks);
    EXPECT_EQ(s.length(), 0);

    std::istringstream mixed("\t\n x\ry z");
    s.read_token(mixed);
    EXPECT_EQ(str(s), "x\ry");
    EXPECT_EQ(mixed.peek(), 'z');  // the blank that ended the token is consumed
    s.read_token(mixed);
    EXPECT_EQ(str(s), "z");
}

TEST(MyStringStream, ReadToDelim) {
    std::istringstream in("ab,cd\nef,,g");
    my_string s;
    s.read_to_delim(in, ',');
    EXPECT_EQ(str(s), "ab");
    s.read_to_delim(in, ',');
    EXPECT_EQ(str(s), "cd");  // a newline also ends it
    s.read_to_delim(in, ',');
    EXPECT_EQ(str(s), "ef");
    s.read_to_delim(in, ',');
    EXPECT_EQ(str(s), "");  // first character is the delimiter
    s.read_to_delim(in, ',');
    EXPECT_EQ(str(s), "g");

    std::istringstream failed("abc");
    failed.setstate(std::ios::failbit);
    s = "old";
    s.read_to_delim(failed, ',');
    EXPECT_EQ(s.length(), 0);
    failed.clear();
    EXPECT_EQ(failed.get(), 'a');  // nothing was consumed

    std::istringstream ff("ab\xFF" "cd");
    s.read_to_delim(ff, ',');
    EXPECT_EQ(str(s), "ab");
    EXPECT_EQ(ff.get(), 'c');
}

TEST(MyStringStream, ReadWord) {
    std::istringstream in(" ab\tcd e");
    my_string s;
    s.read_to_delim(in);
    EXPECT_EQ(s.length(), 0);  // leading blank: empty word
    s.read_to_delim(in);
    EXPECT_EQ(str(s), "ab");
    s.read_to_delim(in);
    EXPECT_EQ(str(s), "cd");
    s.read_to_delim(in);
    EXPECT_EQ(str(s), "e");
}

TEST(MyStringStream, GetNextQuota) {
    std::istringstream in("x\"ab\"y\n");
    my_string s("pre:");
    EXPECT_EQ(s.GetNextQuota(in), 1);
    EXPECT_EQ(str(s), "pre:ab");  // appended, not replaced
    EXPECT_EQ(in.get(), 'y');

    std::istringstream none("no quote here\n\"later\"");
    my_string t;
    EXPECT_EQ(t.GetNextQuota(none), 0);
    EXPECT_EQ(t.length(), 0);
    EXPECT_EQ(t.GetNextQuota(none), 1);  // the next line
    EXPECT_EQ(str(t), "later");

    std::istringstream open_line("\"abc\nd\"");
    my_string u;
    EXPECT_EQ(u.GetNextQuota(open_line), 0);
    EXPECT_EQ(str(u), "abc");

    std::istringstream open_end("\"abc");
    my_string v;
    EXPECT_EQ(v.GetNextQuota(open_end), 1);
    EXPECT_EQ(str(v), "abc");

    std::istringstream two("\"a\" \"b\"\n");
    my_string w;
    w.GetNextQuota(two);
    w.GetNextQuota(two);
    EXPECT_EQ(str(w), "ab");

    std::istringstream failed("\"a\"");
    failed.setstate(std::ios::failbit);
    EXPECT_EQ(w.GetNextQuota(failed), 0);
}

TEST(MyStringStream, OutputHonoursFieldWidth) {
    std::ostringstream os;
    os << std::setw(6) << my_string("ab") << '|' << my_string("cd");
    os << std::left << std::setw(4) << my_string("e") << '|';
    EXPECT_EQ(os.str(), "    ab|cde   |");
}

TEST(MyStrtokRight, CutsAtLastOccurrence) {
    char name[] = "file.name.ext";
    EXPECT_EQ(my_strtok_right(name, '.'), 9);
    EXPECT_STREQ(name, "file.name");
    char plain[] = "file";
    EXPECT_EQ(my_strtok_right(plain, '.'), -1);
    EXPECT_STREQ(plain, "file");
    char empty[] = "";
    EXPECT_EQ(my_strtok_right(empty, '.'), -1);
}

}  // namespace
}  // namespace quintle
