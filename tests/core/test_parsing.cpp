#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "core/Errors.h"
#include "core/parsing.h"
#include "scratch.h"
#include "support/process_state.h"

namespace quintle {
namespace {

std::string rest(std::istream& is) {
    return std::string(std::istreambuf_iterator<char>(is), std::istreambuf_iterator<char>());
}

std::string text(my_string const& s) { return s.c_str(); }

// Captures everything written to _AOS_ in memory, with the report counters
// reset so that reports are numbered from 1.
class ParsingTest : public ::testing::Test {
protected:
    void clear_log() {
        log_.str("");
        E.error(INFO, my_string(""), -1);
    }
    std::string log() const { return log_.str(); }
    std::string write_file(const std::string& name, const std::string& content) {
        scratch::write_file(dir_ / name, content);
        return (dir_ / name).string();
    }

    test::LogGuard file_{"quintle_parsing"};
    std::filesystem::path const& dir_ = file_.dir();
    std::ostringstream log_;
    test::Saved<std::ostream*> toString_{_AOS_, &log_};
};

// One report line as the message log writes it.
std::string report(const char* kind, const std::string& function, const std::string& message) {
    return std::string("   1 #[") + kind + " # 1] from function \"" + function + "\" : " + message + "\n";
}

TEST_F(ParsingTest, WalksAProfileBlockThroughLongComments) {
    const std::string long_comment = "# " + std::string(5000, 'c') + " { = }\n";
    std::ifstream in(write_file("p.pmp", long_comment +
                                             "[Profile]\n" + long_comment +
                                             "  Title=\"A test\"\n"
                                             "  NbSamples=2 # two\n"
                                             "  MissingData='?'\n"
                                             "  LocusListing=TABLE\n"
                                             "  GroupList= pop1 \"pop 2\" # comment\n  pop3}\n"
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
    ASSERT_TRUE(get_qchar(in, c));
    EXPECT_EQ(c, '?');
    ASSERT_TRUE(get_next_ident(in, key));
    ASSERT_TRUE(get_word(in, value));
    EXPECT_EQ(text(value), "table");
    // A list is read up to the closing brace, which the last name hands back.
    ASSERT_TRUE(get_next_ident(in, key));
    std::string names;
    while (get_qstring(in, value)) names += text(value) + "|";
    EXPECT_EQ(names, "pop1|pop 2|pop3|");
    EXPECT_EQ(in.get(), '}');

    EXPECT_FALSE(get_next_ident(in, key));  // "[Data]" ends the profile
    ASSERT_TRUE(go_to_section(in, my_string("data")));
    EXPECT_TRUE(skip_comments(in));
    EXPECT_EQ(get_next_subsection(in, value), 3);
    EXPECT_EQ(text(value), "samples");
    EXPECT_EQ(log(), "");
}

// Bytes above 127 (UTF-8 characters) open and continue words as letters do;
// keywords stay ASCII.
TEST_F(ParsingTest, BytesAbove127BelongToWords) {
    std::stringstream list("\n  # comment\n  \xC3\x89" "cully ACGT\n\xE6\x97\xA5\xE6\x9C\xAC}\n");
    my_string word;
    ASSERT_TRUE(skip_comments(list));
    EXPECT_EQ(list.peek(), 0xC3);
    ASSERT_TRUE(get_qstring(list, word));
    EXPECT_EQ(text(word), "\xC3\x89" "cully");
    EXPECT_FALSE(test_end_of_line(list));  // the data follow
    ASSERT_TRUE(get_qstring(list, word));
    EXPECT_EQ(text(word), "ACGT");
    ASSERT_TRUE(get_qstring(list, word));
    EXPECT_EQ(text(word), "\xE6\x97\xA5\xE6\x9C\xAC");  // a word of such bytes only
    EXPECT_EQ(list.get(), '}');

    std::stringstream tail("  \xC3\xA9\n");
    EXPECT_FALSE(test_end_of_line(tail));
    EXPECT_EQ(tail.peek(), 0xC3);

    // Before a keyword such bytes are passed over, as any character that
    // cannot open one.
    std::stringstream keyword("\xC3\x89 NbSamples=2\n");
    ASSERT_TRUE(get_next_ident(keyword, word));
    EXPECT_EQ(text(word), "nbsamples");
    EXPECT_EQ(log(), "");
}

TEST_F(ParsingTest, UnexpectedCharactersAreReported) {
    std::stringstream brace("\n  {abc");
    EXPECT_FALSE(skip_comments(brace));
    EXPECT_EQ(rest(brace), "abc");
    EXPECT_EQ(log(), " ** public::skip_comments(253):the character is not the expected one c:{\n" +
                         report("ERROR", "skip_comments(ifstream& ifs) (\"{\")", "invalid character in input file"));

    clear_log();
    my_string name;
    std::stringstream unknown("[[Extra]]\nrest");
    EXPECT_EQ(get_next_subsection(unknown, name), 0);
    EXPECT_EQ(rest(unknown), "rest");
    EXPECT_EQ(log(), report("ERROR", "get_next_subsection() (\"extra\"", "numerical error"));
}

TEST_F(ParsingTest, PositionAfterFailures) {
    // Where the search gives up decides the report; every report leaves the
    // stream cleared for the caller.
    const std::string project =
        "[Profile]\n  NbSamples = 2   # two samples\n[Data]\n[[Samples]]\n  SampleName=\"pop1\"\n";
    struct Case {
        std::string text, section, subsection, key;
        int place;  // of the "position_after() (n)" report
    };
    const Case cases[] = {
        {project, "nosuch", "", "", 1},
        {"[Profile]\n  Title=\"t\"\n[Data]", "nosuch", "", "", 5},  // a header without line feed ends the file
        {project, "data", "mantel", "", 2},
        {project, "profile", "samples", "", 3},  // a section header ends the sub-section search
        {project, "profile", "", "nokey", 4},
    };
    int n = 0;
    for (const Case& c : cases) {
        clear_log();
        std::ifstream in(write_file("f" + std::to_string(++n) + ".pmp", c.text));
        EXPECT_FALSE(position_after(in, my_string(c.section.c_str()), my_string(c.subsection.c_str()),
                                    my_string(c.key.c_str())))
            << n;
        EXPECT_TRUE(in.good()) << n;
        EXPECT_EQ(log(), report("ERROR", "position_after() (" + std::to_string(c.place) + ")",
                                "unable to find section in profile"))
            << n;
    }
    std::ifstream in(write_file("g.pmp", project));
    EXPECT_TRUE(position_after(in, my_string("PROFILE"), my_string(""), my_string("NBSAMPLES")));
    EXPECT_EQ(rest(in).substr(0, 6), " 2   #");
}

TEST_F(ParsingTest, GetValueRefusesTrailingCharactersAndOverflow) {
    struct Case {
        const char* line;
        bool ok;
        double value;
    };
    const Case cases[] = {
        {"SampleSize= 12", true, 12.0},  {"Eps=\t2.5e-3", true, 0.0025}, {"-7.5", true, -7.5},
        {"SampleSize= 12 ", false, 12.0}, {"NbSamples=3\r", false, 3.0}, {"NbSamples=two", false, 0.0},
    };
    for (const Case& c : cases) {
        clear_log();
        double v = -1.0;
        EXPECT_EQ(getValue(my_string(c.line), v, "SampleSize", 4), c.ok) << c.line;
        EXPECT_EQ(v, c.value) << c.line;
        EXPECT_EQ(log(), c.ok ? ""
                              : report("WARNING", "readStringContent(...)",
                                       "bad value assigned to keyword in project file") +
                                    "\tProject file, Line #4 : Bad value after keyword 'SampleSize'\n")
            << c.line;
    }
    double v = 0.0;
    EXPECT_FALSE(getValue(my_string("MatrixSize=1e999"), v, "MatrixSize", 5));
}

}  // namespace
}  // namespace quintle
