#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "scratch.h"
#include "core/parsing.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

std::string rest(std::istream& is) {
    return std::string(std::istreambuf_iterator<char>(is), std::istreambuf_iterator<char>());
}

std::string text(my_string const& s) { return s.c_str(); }

// What a stream reader gave: its result, the value read (as text) and what
// it left in the stream.
struct Outcome {
    bool result;
    std::string value;
    std::string left;
    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os) {
    *os << "{" << o.result << ", \"" << o.value << "\", \"" << o.left << "\"}";
}

using Reader = std::function<bool(std::istream&, std::string&)>;

void expect_outcomes(const Reader& read, const std::vector<std::pair<std::string, Outcome>>& cases) {
    for (const auto& [input, expected] : cases) {
        std::stringstream in(input);
        Outcome got{false, "", ""};
        got.result = read(in, got.value);
        got.left = rest(in);
        EXPECT_EQ(got, expected) << "input: \"" << input << "\"";
    }
}

// Adapts a reader of my_string; `start` is the value before the call.
Reader on_my_string(bool (*read)(std::istream&, my_string&), const char* start = "old") {
    return [=](std::istream& in, std::string& value) {
        my_string s(start);
        const bool r = read(in, s);
        value = text(s);
        return r;
    };
}

// Opens a log for E in a fresh directory and captures everything written to
// _AOS_ (reports and the helpers' own lines) in memory, with the report
// counters reset so that reports are numbered from 1.
class ParsingTest : public ::testing::Test {
protected:
    void SetUp() override {
        E.init_log_file(my_string((dir_ / "log.txt").string().c_str()), false);
        ASSERT_EQ(E.log_open(), 1);
        clear_log();
    }

    void TearDown() override {
        _AOS_ = E.log_stream();
        E.CloseLog_file();
    }

    void clear_log() {
        _AOS_ = &log_;
        log_.str("");
        E.error(INFO, my_string(""), -1);
    }

    std::string log() const { return log_.str(); }

    std::string write_file(const std::string& name, const std::string& content) {
        scratch::write_file(dir_ / name, content);
        return (dir_ / name).string();
    }

    scratch::Dir dir_{"quintle_parsing"};
    std::ostringstream log_;
};

// One report line as the message log writes it.
std::string report(const char* kind, const std::string& function, const std::string& message) {
    return std::string("   1 #[") + kind + " # 1] from function \"" + function + "\" : " + message + "\n";
}

std::string skip_report(char c) {
    return std::string(" ** public::skip_comments(253):the character is not the expected one c:") + c +
           "\n" +
           report("ERROR", std::string("skip_comments(ifstream& ifs) (\"") + c + "\")",
                  "invalid character in input file");
}

// ---------------------------------------------------------------------------
// Keyword tables
// ---------------------------------------------------------------------------

TEST(KeywordTables, Content) {
    ASSERT_EQ(IdentifierCount, 40);
    EXPECT_STREQ(Identifiers[0], "recessiveallele");
    EXPECT_STREQ(Identifiers[11], "hapllist");
    EXPECT_STREQ(Identifiers[17], "locusseparator");
    EXPECT_STREQ(Identifiers[29], "title");
    EXPECT_STREQ(Identifiers[33], "frequencythreshold");
    EXPECT_STREQ(Identifiers[39], "ymatrixlabels");
    std::set<std::string> distinct(std::begin(Identifiers), std::end(Identifiers));
    EXPECT_EQ(distinct.size(), 40u);
    for (const char* keyword : Identifiers)
        for (const char* p = keyword; *p; ++p) EXPECT_TRUE(*p >= 'a' && *p <= 'z') << keyword;

    ASSERT_EQ(SubSectionCount, 5);
    const std::vector<std::string> sub(std::begin(SubSections), std::end(SubSections));
    EXPECT_EQ(sub, (std::vector<std::string>{"distancematrix", "haplotypedefinition", "samples",
                                             "structure", "mantel"}));
}

TEST(KeywordTables, IsIdentifierMatchesWholeLowerCaseWords) {
    for (const char* word : {"title", "hapllist", "hapllistname", "ymatrixlabels"})
        EXPECT_TRUE(is_identifier(my_string(word))) << word;
    for (const char* word : {"Title", "titl", "titles", "", "*"})
        EXPECT_FALSE(is_identifier(my_string(word))) << word;
}

// ---------------------------------------------------------------------------
// Character-level stream helpers
// ---------------------------------------------------------------------------

TEST_F(ParsingTest, GetInt) {
    expect_outcomes(
        [](std::istream& in, std::string& v) {
            int n = -1;
            const bool r = get_int(in, n);
            v = std::to_string(n);
            return r;
        },
        {
            {"12\nx", {true, "12", "\nx"}},
            {"\t\r12 ", {true, "12", " "}},    // non-printable characters are passed over
            {" 12\n", {false, "-1", "12\n"}},  // the space is a failure, consumed
            {"-3\n", {false, "-1", "3\n"}},
            {"\n7", {false, "-1", "7"}},  // the line feed is consumed
            {"34", {false, "34", ""}},    // read, but the stream is no longer good
        });
    int n = -1;
    std::stringstream failed("5\n");
    failed.setstate(std::ios::failbit);
    EXPECT_FALSE(get_int(failed, n));
    EXPECT_EQ(n, -1);
}

TEST_F(ParsingTest, GetQchar) {
    expect_outcomes(
        [](std::istream& in, std::string& v) {
            char c = '-';
            const bool r = get_qchar(in, c);
            v = std::string(1, c);
            return r;
        },
        {
            {" '?' rest", {true, "?", " rest"}},
            {"\t\"a'", {true, "a", ""}},  // either quote closes
            {"  ?\n", {false, "-", "?\n"}},  // a bare character is put back
            {"'ab'", {false, "a", "ab'"}},   // unclosed: back to just after the quote
            {" \n'a'", {false, "-", "'a'"}},
            {"'a", {false, "a", ""}},
        });
}

TEST_F(ParsingTest, TestEndOfLine) {
    expect_outcomes([](std::istream& in, std::string&) { return test_end_of_line(in); },
                    {
                        {" \t# anything { = \nnext", {true, "", "next"}},
                        {"  \r\nnext", {true, "", "next"}},
                        {"   ", {true, "", ""}},
                        {"  0.5 # c\n", {false, "", "0.5 # c\n"}},
                    });
    // A comment running into the end of the input is a read past the end.
    std::stringstream last("  # c");
    EXPECT_TRUE(test_end_of_line(last));
    EXPECT_TRUE(last.fail());
}

TEST_F(ParsingTest, SkipCommentsStopsBeforeExpectedCharacters) {
    const Reader skip = [](std::istream& in, std::string&) { return skip_comments(in); };
    const std::string long_comment = "# " + std::string(5000, 'c') + " { = }\n";
    expect_outcomes(skip, {
                              {"\n\n   # a comment line\n#\n\t[Data]", {true, "", "[Data]"}},
                              {long_comment + long_comment + "  Key", {true, "", "Key"}},
                              {"7x", {true, "", "7x"}},
                              {" \"x", {true, "", "\"x"}},
                              {" 'x", {true, "", "'x"}},
                              {"\r\n}x", {true, "", "}x"}},
                              // nothing left: nothing to skip
                              {"", {true, "", ""}},
                              // the end met while skipping
                              {"\n  \n\t", {false, "", ""}},
                              {"  # last line without line feed", {false, "", ""}},
                              {"#", {false, "", ""}},
                          });
    EXPECT_EQ(log(), "");

    std::stringstream failed("abc");
    failed.setstate(std::ios::failbit);
    EXPECT_TRUE(skip_comments(failed));
    failed.clear();
    EXPECT_EQ(rest(failed), "abc");
}

TEST_F(ParsingTest, SkipCommentsReportsAndConsumesOtherCharacters) {
    std::stringstream brace("\n  {abc");
    EXPECT_FALSE(skip_comments(brace));
    EXPECT_EQ(rest(brace), "abc");
    EXPECT_EQ(log(), skip_report('{'));

    clear_log();
    std::stringstream equal("=1");
    EXPECT_FALSE(skip_comments(equal));
    EXPECT_EQ(rest(equal), "1");
    EXPECT_EQ(log(), skip_report('='));
}

// ---------------------------------------------------------------------------
// get_qstring, get_word, get_next_ident
// ---------------------------------------------------------------------------

TEST_F(ParsingTest, GetQstring) {
    const std::string long_comment = "# " + std::string(300, '#') + "\n";
    expect_outcomes(on_my_string(get_qstring),
                    {
                        {"  \"two  words\" rest", {true, "two  words", " rest"}},
                        {"'x'", {true, "x", ""}},
                        {"''", {true, "", ""}},
                        {"\"open", {false, "open", ""}},
                        {"\t # \"no\"\n\n" + long_comment + "   \"yes\"", {true, "yes", ""}},
                        {"  # nothing\n", {false, "old", ""}},
                        // bare words
                        {"pop1 pop2", {true, "pop1", "pop2"}},
                        {"pop3\tx\n", {true, "pop3\tx", "\n"}},
                        {"pop3}\n", {true, "pop3", "}\n"}},
                        {"pop3} x", {true, "pop3", "}x"}},  // the ending blank is gone
                        {"dir/file.txt next", {true, "dir", "next"}},
                        {"a/b}c", {true, "a", "}"}},
                        // nothing that starts a value
                        {"  }", {false, "old", "}"}},
                        {"\n{", {false, "old", "{"}},
                    });
    EXPECT_EQ(log(), "");

    expect_outcomes(on_my_string(get_qstring), {{"'ab'", {false, "ab", ""}}});
    EXPECT_EQ(log(), report("ERROR", "get_qstring(ifstream& ifs, my_string& s)",
                            "unable to read a character in input file"));
}

TEST_F(ParsingTest, GetQstringReadsAListFromAFile) {
    // A group list as the structure readers meet it: names are read up to the
    // closing brace, which the last name hands back, also at the file end.
    std::ifstream in(write_file("list.txt", "  pop1 \"pop 2\" # comment\n  pop3} x\n  pop4}"));
    my_string s;
    std::string names;
    while (get_qstring(in, s)) names += text(s) + "|";
    EXPECT_EQ(names, "pop1|pop 2|pop3|");
    EXPECT_EQ(in.get(), '}');
    EXPECT_EQ(in.get(), 'x');

    names.clear();
    while (get_qstring(in, s)) names += text(s) + "|";
    EXPECT_EQ(names, "pop4|");
    EXPECT_EQ(in.get(), '}');
}

TEST_F(ParsingTest, GetWord) {
    expect_outcomes(on_my_string(get_word),
                    {
                        {"  ONE_by_One rest", {true, "one_by_one", "rest"}},
                        {"  =  \nTABLE", {false, "old", "\nTABLE"}},  // the line feed stays
                        // a comment takes its line feed along: the search goes on
                        {" # say ABS\n  REL", {true, "rel", ""}},
                    });
    my_string s;
    std::stringstream failed("word");
    failed.setstate(std::ios::failbit);
    EXPECT_FALSE(get_word(failed, s));
}

TEST_F(ParsingTest, GetNextIdent) {
    expect_outcomes(on_my_string(get_next_ident, "previous"),
                    {
                        {"\n  # c\n  Title = \"A title\"\n", {true, "title", " \"A title\"\n"}},
                        // quotes and braces cannot start a keyword: dropped
                        {"}\n ' \" NbLoci\t=3", {true, "nbloci\t", "3"}},  // cut at a space only
                        {"Title\nNext=1", {true, "title", "Next=1"}},   // also ends at the line end
                        {"\n  [[Samples]]\n", {false, "previous", "[[Samples]]\n"}},
                        {"", {false, "previous", ""}},
                        {"Title", {false, "*", ""}},
                    });
    EXPECT_EQ(log(), "");

    expect_outcomes(on_my_string(get_next_ident, "previous"), {{"  {a=1", {false, "*", "a=1"}}});
    EXPECT_EQ(log(), skip_report('{'));
}

// ---------------------------------------------------------------------------
// position_after, go_to_section, go_to_sub_section
// ---------------------------------------------------------------------------

const std::string kProject =
    "# project\n"
    "[Profile]\n"
    "  Title=\"A test\"\n"
    "  NbSamples = 2   # two samples\n"
    "[Data]\n"
    "[[Samples]]\n"
    "  SampleName=\"pop1\"\n"
    "  SampleData= {\n"
    "hap1 1 " + std::string(400, 'A') + "\n"
    "}\n"
    "[[Structure]]\n"
    "  StructureName=\"s\"\n";

TEST_F(ParsingTest, PositionAfterFindsItsPlace) {
    struct Case {
        std::string text, section, subsection, key, left;
    };
    const Case cases[] = {
        {kProject, "Profile", "", "", "\n  Title"},
        {kProject, "PROFILE", "", "NBSAMPLES", " 2   #"},
        {kProject, "data", "Structure", "", "\n  Stru"},  // after "]]"
        {kProject, "data", "samples", "sampledata", " {\nhap1"},
        // a line without "=" is read to its end; the next line is not lost
        {"[Profile]\n  Title\n  NbLoci=4\n", "profile", "", "nbloci", "4\n"},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::ifstream in(write_file("f" + std::to_string(++n) + ".pmp", c.text));
        EXPECT_TRUE(position_after(in, my_string(c.section.c_str()), my_string(c.subsection.c_str()),
                                   my_string(c.key.c_str())))
            << n;
        EXPECT_EQ(rest(in).substr(0, c.left.size()), c.left) << n;
    }

    std::ifstream in(write_file("g.pmp", kProject));
    EXPECT_TRUE(go_to_section(in, my_string("Data")));
    EXPECT_TRUE(go_to_sub_section(in, my_string("STRUCTURE")));
    EXPECT_EQ(log(), "");
}

TEST_F(ParsingTest, PositionAfterFailures) {
    // Where the search gives up decides the report; every report leaves the
    // stream cleared for the caller.
    struct Case {
        std::string text, section, subsection, key;
        int place;  // of the "position_after() (n)" report; 0: none
        bool at_end = true;
    };
    const Case cases[] = {
        // the section search meets the end at the start of a line
        {kProject, "nosuch", "", "", 1},
        // ... or inside the last line, which has no line feed
        {"[Profile]\n  Title=\"t\"", "data", "", "", 1},
        // ... or while passing over blank lines: no report
        {kProject + "\n\n", "nosuch", "", "", 0},
        // a header without line feed ends the file
        {"[Profile]\n  Title=\"t\"\n[Data]", "nosuch", "", "", 5},
        // the sub-section search meets the end, or a section header
        {kProject, "data", "mantel", "", 2},
        {kProject, "profile", "samples", "", 3, false},
        // the key search runs on past its section to the end of the file
        {kProject, "profile", "", "nokey", 4},
        {kProject + "  Last=1", "profile", "", "nokey", 5},
    };
    int n = 0;
    for (const Case& c : cases) {
        clear_log();
        std::ifstream in(write_file("f" + std::to_string(++n) + ".pmp", c.text));
        EXPECT_FALSE(position_after(in, my_string(c.section.c_str()), my_string(c.subsection.c_str()),
                                    my_string(c.key.c_str())))
            << n;
        if (c.place == 0) {
            EXPECT_EQ(log(), "") << n;
            continue;
        }
        EXPECT_TRUE(in.good()) << n;
        EXPECT_EQ(in.peek() == std::char_traits<char>::eof(), c.at_end) << n;
        EXPECT_EQ(log(), report("ERROR", "position_after() (" + std::to_string(c.place) + ")",
                                "unable to find section in profile"))
            << n;
    }
}

// ---------------------------------------------------------------------------
// get_next_subsection
// ---------------------------------------------------------------------------

TEST_F(ParsingTest, GetNextSubsectionCodes) {
    my_string name;
    std::stringstream in(
        "  [[Samples]]  # first\n"
        "  SampleName=\"a\"\n"
        "# comment with [ bracket\n"
        "[[HaplotypeDefinition]]\n"
        "[[DISTANCEMATRIX]]\n"
        "[[Structure\n"  // no closing bracket: the next line is not lost
        "[[mantel]]\n");
    EXPECT_EQ(get_next_subsection(in, name), 3);
    EXPECT_EQ(text(name), "samples");
    EXPECT_EQ(in.peek(), ' ');  // the rest of the header line is skipped
    EXPECT_EQ(get_next_subsection(in, name), 2);
    EXPECT_EQ(get_next_subsection(in, name), 1);
    EXPECT_EQ(get_next_subsection(in, name), 4);
    EXPECT_EQ(get_next_subsection(in, name), 5);
    EXPECT_EQ(log(), "");
}

TEST_F(ParsingTest, GetNextSubsectionWithoutAHeader) {
    my_string name("samples");
    std::stringstream text_only("\n  no header here\n");
    EXPECT_EQ(get_next_subsection(text_only, name), 0);
    EXPECT_TRUE(text_only.fail());  // stays failed
    EXPECT_EQ(text(name), "samples");

    std::stringstream blanks("  \t ");
    EXPECT_EQ(get_next_subsection(blanks, name), 0);
    EXPECT_TRUE(blanks.good());  // failed before the search: cleared
    EXPECT_EQ(log(), "");
}

TEST_F(ParsingTest, GetNextSubsectionBadHeaders) {
    my_string name;
    std::stringstream unknown("[[Extra]]\nrest");
    EXPECT_EQ(get_next_subsection(unknown, name), 0);
    EXPECT_EQ(text(name), "extra");
    EXPECT_EQ(rest(unknown), "rest");
    EXPECT_EQ(log(), report("ERROR", "get_next_subsection() (\"extra\"", "numerical error"));

    clear_log();
    std::stringstream cut("[[Samples");
    EXPECT_EQ(get_next_subsection(cut, name), 0);
    EXPECT_TRUE(cut.fail());
    EXPECT_EQ(log(), report("ERROR", "get_next_subsection()", "unable to read subsection id"));

    // A single bracket opens a section: the sub-sections are over, whatever
    // name the previous header left.
    clear_log();
    name = "samples";
    std::stringstream section("[Other]\n");
    EXPECT_EQ(get_next_subsection(section, name), 0);
    EXPECT_EQ(rest(section), "Other]\n");
    EXPECT_EQ(log(), report("ERROR", "get_next_subsection()", "unable to read subsection id"));
}

// ---------------------------------------------------------------------------
// A profile read the way the keyword-driven readers walk it
// ---------------------------------------------------------------------------

TEST_F(ParsingTest, ReadsAProfileBlock) {
    std::ifstream in(write_file("p.pmp",
                                "[Profile]\n"
                                "  Title=\"A test\"\n"
                                "  NbSamples=2 # two\n"
                                "  MissingData='?'\n"
                                "  LocusListing=TABLE\n"
                                "\n"
                                "[Data]\n"
                                "[[Samples]]\n"));
    ASSERT_TRUE(go_to_section(in, my_string("profile")));
    my_string key, value;
    int n = 0;
    char c = 0;

    ASSERT_TRUE(get_next_ident(in, key));
    EXPECT_TRUE(is_identifier(key));
    ASSERT_TRUE(get_qstring(in, value));
    EXPECT_EQ(text(value), "A test");

    ASSERT_TRUE(get_next_ident(in, key));
    EXPECT_EQ(text(key), "nbsamples");
    ASSERT_TRUE(get_int(in, n));
    EXPECT_EQ(n, 2);
    EXPECT_TRUE(test_end_of_line(in));

    ASSERT_TRUE(get_next_ident(in, key));
    EXPECT_EQ(text(key), "missingdata");
    ASSERT_TRUE(get_qchar(in, c));
    EXPECT_EQ(c, '?');

    ASSERT_TRUE(get_next_ident(in, key));
    EXPECT_EQ(text(key), "locuslisting");
    ASSERT_TRUE(get_word(in, value));
    EXPECT_EQ(text(value), "table");

    EXPECT_FALSE(get_next_ident(in, key));  // "[Data]" ends the profile
    ASSERT_TRUE(go_to_section(in, my_string("data")));
    EXPECT_TRUE(skip_comments(in));
    EXPECT_EQ(get_next_subsection(in, value), 3);
    EXPECT_EQ(log(), "");
}

// ---------------------------------------------------------------------------
// Line helpers
// ---------------------------------------------------------------------------

const std::string kBadValue =
    report("WARNING", "readStringContent(...)", "bad value assigned to keyword in project file");

TEST_F(ParsingTest, CheckForPresenceOfEqualSign) {
    EXPECT_EQ(checkForPresenceOfEqualSign(my_string("SampleSize= 12"), "SampleSize", 3), 10);
    EXPECT_EQ(checkForPresenceOfEqualSign(my_string("=x"), "SampleSize", 3), 0);
    EXPECT_EQ(log(), "");

    EXPECT_EQ(checkForPresenceOfEqualSign(my_string("SampleSize 12"), "SampleSize", 7), 0);
    EXPECT_EQ(log(), report("WARNING", "checkForPresenceOfEqualSign(...)",
                            "missing '=' sign in keyword definition in project file") +
                         "\tProject file, Line #7 : Missing equal sign after keyword 'SampleSize'\n");
}

TEST_F(ParsingTest, ClearLineAfterPoundSign) {
    const std::pair<const char*, const char*> cases[] = {
        {"Title=\"a#b\" # comment", "Title=\"a"}, {"NbLoci=3", "NbLoci=3"}, {"# all", ""}};
    for (const auto& [before, after] : cases) {
        my_string line(before);
        clearLineAfterPoundSign(line);
        EXPECT_EQ(text(line), after);
        EXPECT_EQ(line.length(), static_cast<int>(std::string(after).size()));
    }
}

TEST_F(ParsingTest, GetQuotedAndUnQuotedStrings) {
    const std::pair<const char*, const char*> quoted[] = {
        {"SampleName=\"pop 1\" # x", "pop 1"},
        {"LocusSeparator = ' '", " "},
        {"Name=\"\"", ""},
        {"Name='a' \"b c\" \"d\"", "b c"},  // double quotes take precedence
        {"\"k\"=\"v\"", "v"},               // only the text after the first "=" counts
        {"EXTERN \"f.txt\"", "f.txt"},      // no "=": the whole line
    };
    for (const auto& [line, expected] : quoted) {
        my_string value;
        EXPECT_TRUE(getQuotedString(my_string(line), value, "Name", 1)) << line;
        EXPECT_EQ(text(value), expected);
    }

    const std::pair<const char*, const char*> unquoted[] = {
        {"Key= a b \r", " a b \r"}, {"a=b=c", "b=c"}, {"no equal", "no equal"}, {"Key=", ""}};
    for (const auto& [line, expected] : unquoted) {
        my_string value;
        EXPECT_TRUE(getUnQuotedString(my_string(line), value, "Key", 1));
        EXPECT_EQ(text(value), expected);
    }
    EXPECT_EQ(log(), "");
}

TEST_F(ParsingTest, GetQuotedStringWarnings) {
    my_string value;
    EXPECT_FALSE(getQuotedString(my_string("SampleName= pop1"), value, "SampleName", 12));
    EXPECT_EQ(text(value), " pop1");
    EXPECT_EQ(log(), kBadValue + "\tProject file, Line #12 : No open quote after keyword 'SampleName'\n");

    clear_log();
    EXPECT_FALSE(getQuotedString(my_string("SampleName='pop1"), value, "SampleName", 13));
    EXPECT_EQ(text(value), "pop1");
    EXPECT_EQ(log(), kBadValue + "\tProject file, Line #13 : Opened quote not closed after keyword "
                                 "'SampleName'. Unable to assign value to key...\n");
}

TEST_F(ParsingTest, GetValue) {
    struct Case {
        const char* line;
        bool ok;
        double value;
    };
    const Case cases[] = {
        {"SampleSize= 12", true, 12.0},
        {"Eps=\t2.5e-3", true, 0.0025},
        {"SampleSize=", true, 0.0},
        {"-7.5", true, -7.5},  // no "=": the whole line
        // trailing characters of any kind are refused; the number is kept
        {"SampleSize= 12 ", false, 12.0},
        {"NbSamples=3\r", false, 3.0},
        {"NbSamples=two", false, 0.0},
    };
    for (const Case& c : cases) {
        clear_log();
        double v = -1.0;
        EXPECT_EQ(getValue(my_string(c.line), v, "SampleSize", 4), c.ok) << c.line;
        EXPECT_EQ(v, c.value) << c.line;
        EXPECT_EQ(log(), c.ok ? "" : kBadValue + "\tProject file, Line #4 : Bad value after keyword 'SampleSize'\n")
            << c.line;
    }
    double v = 0.0;
    EXPECT_FALSE(getValue(my_string("MatrixSize=1e999"), v, "MatrixSize", 5));  // overflow
}

TEST(ParsingPath, DetectFullPathInFileName) {
    EXPECT_TRUE(detectFullPathInFileName(my_string("/data/x.pmp")));
    EXPECT_TRUE(detectFullPathInFileName(my_string("/")));
    EXPECT_FALSE(detectFullPathInFileName(my_string("data/x.pmp")));
    EXPECT_FALSE(detectFullPathInFileName(my_string("\\data\\x.pmp")));
    EXPECT_FALSE(detectFullPathInFileName(my_string("")));
}

}  // namespace
}  // namespace quintle
