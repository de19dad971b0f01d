// The cleaner on projects in a temporary folder: golden copies, lines of any
// length, external names that must stay inside the result folder, and a
// cleanup that removes only what the cleaner made.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "core/my_string.h"
#include "core/scratch.h"
#include "run/cleaner.h"
#include "support/process_state.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

using scratch::read_file;
using scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR) / "cleaner";

// Every regular file below `root`, relative to it.
std::set<std::string> files_below(fs::path const& root) {
    std::set<std::string> names;
    for (auto const& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) names.insert(fs::relative(entry.path(), root).generic_string());
    return names;
}

class CleanerTest : public ::testing::Test {
protected:
    scratch::Dir tmp{"quintle_cleaner"};
    fs::path dir = tmp.path();
};

TEST_F(CleanerTest, CrlfProjectWithSeparatorAndExternalFileMatchesGoldenCopies) {
    std::string const project_text = read_file(data_dir / "project.pmp");
    std::string const hap_text = read_file(data_dir / "hap.txt");
    ASSERT_NE(project_text.find("\r\n"), std::string::npos) << "the inputs must keep their carriage returns";
    fs::path const project = dir / "project.pmp";
    write_file(project, project_text);
    write_file(dir / "hap.txt", hap_text);
    write_file(dir / "lower.txt", "named only with lower-case \"extern\"\n");

    cleaner c;
    ASSERT_TRUE(c.execute(';', project.string().c_str()));
    fs::path const res = dir / "project.res";
    EXPECT_EQ(std::string(c.get_clean_proj()), (res / "project.pmp").string());
    EXPECT_EQ(read_file(res / "project.pmp"), read_file(data_dir / "project.expected"));
    EXPECT_EQ(read_file(res / "hap.txt"), read_file(data_dir / "hap.expected"));
    EXPECT_EQ(files_below(res), (std::set<std::string>{"project.pmp", "hap.txt"}));

    c.rm_clean_files();
    EXPECT_TRUE(fs::is_empty(res));
    EXPECT_EQ(c.get_clean_proj(), nullptr);
}

TEST_F(CleanerTest, LongCrlfLinesAreCleanedAtAnyLength) {
    // Lines around the old 10,000-character cut-off and far beyond it (up to
    // a million characters), in the project and in an external file.
    auto line = [](std::size_t groups, std::string& cleaned) {
        cleaned = "s1";
        std::string raw = "s1\t";
        for (std::size_t i = 0; i < groups; ++i) raw += "ACGT;", cleaned += " ACGT";
        return raw + "# tail\r";
    };
    for (std::size_t groups : {2000u, 2001u, 199990u}) {
        std::string cleaned, extern_cleaned;
        std::string const raw = line(groups, cleaned);
        write_file(dir / "seq.txt", line(groups + 3, extern_cleaned) + "\n");
        write_file(dir / "p.pmp", "[Data]\r\n" + raw + "\nSampleData = EXTERN \"seq.txt\"\r\n");
        cleaner c;
        ASSERT_TRUE(c.execute(';', (dir / "p.pmp").string().c_str()));
        EXPECT_EQ(read_file(dir / "p.res" / "p.pmp"), "[Data]\n" + cleaned + "\nSampleData = EXTERN \"seq.txt\"\n\n")
            << raw.size() << " characters";
        EXPECT_EQ(read_file(dir / "p.res" / "seq.txt"), extern_cleaned + "\n\n");
        c.rm_clean_files();
    }
}

// The readers of the copy take lines of at most my_string::max_line
// characters: a longer cleaned line refuses its file with a line in the log
// that names it, rather than failing the reader later without a word of why.
// What is cut away (comments, repeated blanks) does not count.
TEST_F(CleanerTest, LinesLongerThanTheReadersTakeAreRefusedByNumber) {
    test::LogGuard log{"quintle_cleaner_log"};
    std::size_t const most = static_cast<std::size_t>(my_string::max_line);
    struct Case {
        char const* name;
        std::size_t length;  // of the cleaned data line
        bool external;
        bool accepted;
    };
    Case const cases[] = {
        {"project line at the bound", most, false, true},
        {"project line one past", most + 1, false, false},
        {"external line at the bound", most, true, true},
        {"external line one past", most + 1, true, false},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        log.restart();
        // "h1 1 " then sites, with a comment and doubled blanks that the
        // copy drops.
        std::string const data = "h1  1\t" + std::string(c.length - 5, 'A') + "  # " + std::string(50, 'x');
        std::string project = "[Data]\n\n";
        if (c.external) {
            write_file(dir / "seq.txt", "first\n" + data + "\n");
            project += "SampleData = EXTERN \"seq.txt\"\n";
        } else {
            project += data + "\n";
        }
        write_file(dir / "p.pmp", project);
        cleaner cl;
        EXPECT_EQ(cl.execute(0, (dir / "p.pmp").string().c_str()), c.accepted);
        EXPECT_EQ(cl.refused(), !c.accepted);
        std::string const named = "Line " + std::string(c.external ? "2 of \"" + (dir / "seq.txt").string()
                                                                   : "3 of \"" + (dir / "p.pmp").string()) +
                                  "\" holds " + std::to_string(most + 1) + " characters";
        EXPECT_EQ(log.text().find(named) != std::string::npos, !c.accepted) << log.text();
        cl.rm_clean_files();
    }
}

TEST_F(CleanerTest, ExternNamesWithFoldersStayInsideTheResultFolder) {
    // "../run1.pmp" seen from base/ is the user's own project in dir/.
    fs::create_directories(dir / "base" / "sub");
    std::string const user_project = "[Profile]\r\nTitle=\"mine\"\r\n";
    std::string const project = "L1 EXTERN \"../run1.pmp\"\r\nL2 EXTERN \"sub/hap.txt\"\r\n";
    write_file(dir / "run1.pmp", user_project);
    write_file(dir / "base" / "run1.pmp", project);
    write_file(dir / "base" / "sub" / "hap.txt", "h1\t1\n");
    std::set<std::string> const before = files_below(dir);

    cleaner c;
    ASSERT_TRUE(c.execute(0, (dir / "base" / "run1.pmp").string().c_str()));
    EXPECT_EQ(read_file(dir / "base" / "run1.res" / ".._run1.pmp"), "[Profile]\nTitle=\"mine\"\n\n");
    EXPECT_EQ(read_file(dir / "base" / "run1.res" / "sub_hap.txt"), "h1 1\n\n");
    std::set<std::string> expected = before;
    for (char const* f : {"run1.pmp", ".._run1.pmp", "sub_hap.txt"}) expected.insert(std::string("base/run1.res/") + f);
    EXPECT_EQ(files_below(dir), expected);
    EXPECT_EQ(read_file(dir / "run1.pmp"), user_project);

    c.rm_clean_files();
    EXPECT_EQ(files_below(dir), before);
    EXPECT_EQ(read_file(dir / "run1.pmp"), user_project);
}

TEST_F(CleanerTest, CleanupDeletesOnlyFilesItCreatedAndNeverWritesOneTwice) {
    // "a/b.txt" and "a_b.txt" flatten to the same copy: the first one wins,
    // and the project naming itself keeps its own copy.
    fs::create_directories(dir / "a");
    write_file(dir / "a" / "b.txt", "first\n");
    write_file(dir / "a_b.txt", "second\n");
    write_file(dir / "p.pmp", "A EXTERN \"missing.txt\"\nB EXTERN \"a/b.txt\"\nC EXTERN \"a_b.txt\"\n"
                              "D EXTERN \"p.pmp\"\nE EXTERN \"\"\nF EXTERN \"..\"\n");
    // The result folder already holds files of the user's, one named like
    // the copy of the external file that does not exist.
    fs::create_directories(dir / "p.res");
    write_file(dir / "p.res" / "missing.txt", "keep me\n");
    write_file(dir / "p.res" / "notes.txt", "keep me too\n");

    cleaner c;
    ASSERT_TRUE(c.execute(0, (dir / "p.pmp").string().c_str()));
    EXPECT_EQ(read_file(dir / "p.res" / "a_b.txt"), "first\n\n");
    EXPECT_EQ(read_file(dir / "p.res" / "p.pmp"), read_file(dir / "p.pmp") + "\n");
    EXPECT_EQ(files_below(dir / "p.res"), (std::set<std::string>{"p.pmp", "a_b.txt", "missing.txt", "notes.txt"}));
    c.rm_clean_files();
    c.rm_clean_files();  // nothing left to delete
    EXPECT_EQ(files_below(dir / "p.res"), (std::set<std::string>{"missing.txt", "notes.txt"}));
    EXPECT_EQ(read_file(dir / "p.res" / "missing.txt"), "keep me\n");
}

TEST_F(CleanerTest, NoWorkingCopyMeansFalse) {
    cleaner missing;
    EXPECT_FALSE(missing.execute(0, (dir / "absent.pmp").string().c_str()));
    EXPECT_EQ(missing.get_clean_proj(), nullptr);
    missing.rm_clean_files();
    EXPECT_TRUE(fs::is_empty(dir));

    cleaner blocked;  // a file stands where the result folder should be
    write_file(dir / "p.pmp", "[Profile]\n");
    write_file(dir / "p.res", "a file\n");
    EXPECT_FALSE(blocked.execute(0, (dir / "p.pmp").string().c_str()));
    blocked.rm_clean_files();
    EXPECT_EQ(read_file(dir / "p.res"), "a file\n");
    EXPECT_FALSE(cleaner().execute(0, nullptr));
}

}  // namespace
}  // namespace quintle
