#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "core/scratch.h"
#include "run/cleaner.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

using quintle::scratch::read_file;
using quintle::scratch::write_file;

// Every regular file below `root`, relative to it.
std::set<std::string> filesBelow(fs::path const& root) {
    std::set<std::string> names;
    for (auto const& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) names.insert(fs::relative(entry.path(), root).generic_string());
    }
    return names;
}

std::set<std::string> filesIn(fs::path const& dir) {
    std::set<std::string> names;
    for (auto const& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

class CleanerTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto const* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() /
              ("quintle_cleaner_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Cleans a one-file project holding `text` and returns its copy's text.
    std::string cleanProject(char separator, std::string const& text) {
        fs::path const project = dir / "one.pmp";
        write_file(project, text);
        cleaner c;
        EXPECT_TRUE(c.execute(separator, project.string().c_str()));
        std::string copy = read_file(dir / "one.res" / "one.pmp");
        c.rm_clean_files();
        return copy;
    }

    fs::path dir;
};

fs::path const dataDir = fs::path(QUINTLE_TEST_DATA_DIR) / "cleaner";

// ------------------------------------------------------------ golden output

TEST_F(CleanerTest, CrlfProjectWithSeparatorAndExternalFileMatchesGoldenCopies) {
    std::string const projectText = read_file(dataDir / "project.pmp");
    std::string const hapText = read_file(dataDir / "hap.txt");
    // The inputs must reach us with their carriage returns, or this test
    // would prove nothing about them.
    ASSERT_NE(projectText.find("\r\n"), std::string::npos);
    ASSERT_NE(hapText.find("\r\n"), std::string::npos);

    fs::path const project = dir / "project.pmp";
    write_file(project, projectText);
    write_file(dir / "hap.txt", hapText);
    write_file(dir / "lower.txt", "not referenced\n");  // named only with lower-case "extern"

    cleaner c;
    ASSERT_TRUE(c.execute(';', project.string().c_str()));

    fs::path const resultDir = dir / "project.res";
    ASSERT_NE(c.get_clean_proj(), nullptr);
    EXPECT_EQ(std::string(c.get_clean_proj()), (resultDir / "project.pmp").string());
    EXPECT_EQ(std::string(c.get_orig_proj()), project.string());
    EXPECT_EQ(std::string(c.get_proj_dir()), (dir / "project").string() + ".res/");

    EXPECT_EQ(read_file(resultDir / "project.pmp"), read_file(dataDir / "project.expected"));
    EXPECT_EQ(read_file(resultDir / "hap.txt"), read_file(dataDir / "hap.expected"));
    EXPECT_EQ(filesIn(resultDir), (std::set<std::string>{"project.pmp", "hap.txt"}));

    // Sources untouched.
    EXPECT_EQ(read_file(project), projectText);
    EXPECT_EQ(read_file(dir / "hap.txt"), hapText);

    c.rm_clean_files();
    EXPECT_TRUE(fs::is_directory(resultDir));
    EXPECT_TRUE(filesIn(resultDir).empty());
    EXPECT_EQ(c.get_clean_proj(), nullptr);
    EXPECT_EQ(filesIn(dir), (std::set<std::string>{"project.pmp", "hap.txt", "lower.txt", "project.res"}));
}

// ------------------------------------------------------------ line rules

TEST_F(CleanerTest, LineRules) {
    // Tab, two blanks and a carriage return between tokens give one blank.
    EXPECT_EQ(cleanProject(0, "x\t  \ry\r\n"), "x y\n\n");
    // One leading blank survives a run of leading blanks; trailing ones go.
    EXPECT_EQ(cleanProject(0, " \t a  b \t\r\n"), " a b\n\n");
    // A comment ends the line even inside quotes; comment-only and blank
    // lines vanish from a project copy.
    EXPECT_EQ(cleanProject(0, "Title=\"a#b\"\n   # note\n\t\n\nend"), "Title=\"a\nend\n\n");
    // Without a separator, ';' is an ordinary character.
    EXPECT_EQ(cleanProject(0, "a;b\n"), "a;b\n\n");
    // A '#' that is the separator is a blank, not a comment.
    EXPECT_EQ(cleanProject('#', "a#b##c\n"), "a b c\n\n");
    // An empty project still gives a copy ending with an empty line.
    EXPECT_EQ(cleanProject(0, ""), "\n");
}

TEST_F(CleanerTest, LocusSeparatorLineIsRewrittenOnlyWhenASeparatorIsGiven) {
    EXPECT_EQ(cleanProject(';', "\tLocusSeparator = ';'\r\na;b\r\n"), "LocusSeparator=WHITESPACE\na b\n\n");
    EXPECT_EQ(cleanProject('/', "locusseparator=\"/\"\n"), "LocusSeparator=WHITESPACE\n\n");
    EXPECT_EQ(cleanProject(';', "LocusSeparator=None\n"), "LocusSeparator=None\n\n");
    EXPECT_EQ(cleanProject(0, "\tLocusSeparator = ';'\r\na;b\r\n"), " LocusSeparator = ';'\na;b\n\n");
}

// Builds a line of exactly `length` characters (at least 17):
// "s1<TAB>TT..T;ACGT;ACGT;...;# tail<CR>", and separately what cleaning it
// with the separator ';' must give.
struct LongLine {
    std::string raw;
    std::string cleaned;
};

LongLine makeLongLine(std::size_t length) {
    std::size_t const groups = (length - 12) / 5;
    std::string const pad(length - 11 - 5 * groups, 'T');
    LongLine l;
    l.raw = "s1\t" + pad + ";";
    l.cleaned = "s1 " + pad;
    for (std::size_t i = 0; i < groups; ++i) {
        l.raw += "ACGT;";
        l.cleaned += " ACGT";
    }
    l.raw += "# tail\r";
    return l;
}

TEST_F(CleanerTest, LongCrlfLinesAreCleanedAtAnyLength) {
    // 10,000 and 10,001 characters around the old cut-off, and one longer
    // than the program's own longest text.
    for (std::size_t length : {10000u, 10001u, 1200000u}) {
        LongLine const line = makeLongLine(length);
        ASSERT_EQ(line.raw.size(), length);
        EXPECT_EQ(cleanProject(';', "[Data]\r\n" + line.raw + "\nnext\r\n"), "[Data]\n" + line.cleaned + "\nnext\n\n")
            << "line of " << length << " characters";
    }
}

TEST_F(CleanerTest, LongLineInExternalFileIsCleaned) {
    LongLine const line = makeLongLine(20000);
    write_file(dir / "seq.txt", line.raw + "\n");
    write_file(dir / "p.pmp", "SampleData = EXTERN \"seq.txt\"\n");
    cleaner c;
    ASSERT_TRUE(c.execute(';', (dir / "p.pmp").string().c_str()));
    EXPECT_EQ(read_file(dir / "p.res" / "seq.txt"), line.cleaned + "\n\n");
    c.rm_clean_files();
}

// ------------------------------------------------------------ external files

TEST_F(CleanerTest, ExternalCopyKeepsEveryLine) {
    write_file(dir / "p.pmp", "HaplList = EXTERN \"a.txt\"\nMatrixData = EXTERN \"b.txt\"\n");
    write_file(dir / "a.txt", "#c\n\n x\ty\n");  // ends with a newline: one more empty line
    write_file(dir / "b.txt", "1\t2\n3");         // does not
    cleaner c;
    ASSERT_TRUE(c.execute(0, (dir / "p.pmp").string().c_str()));
    EXPECT_EQ(read_file(dir / "p.res" / "a.txt"), "\n\n x y\n\n");
    EXPECT_EQ(read_file(dir / "p.res" / "b.txt"), "1 2\n3\n");
    // The project copy names the files exactly as the source does.
    EXPECT_EQ(read_file(dir / "p.res" / "p.pmp"), "HaplList = EXTERN \"a.txt\"\nMatrixData = EXTERN \"b.txt\"\n\n");
    c.rm_clean_files();
}

TEST_F(CleanerTest, ExternIsSearchedOnlyInShortLinesAndInCapitals) {
    write_file(dir / "short.txt", "s\n");
    write_file(dir / "long.txt", "l\n");
    write_file(dir / "lower.txt", "w\n");
    std::string const shortLine = "HaplList = EXTERN \"short.txt\"";
    std::string longLine = "HaplList = EXTERN \"long.txt\" ";
    longLine += std::string(1001 - longLine.size(), 'x');
    write_file(dir / "p.pmp", shortLine + "\n" + longLine + "\nHaplList = extern \"lower.txt\"\n");
    cleaner c;
    ASSERT_TRUE(c.execute(0, (dir / "p.pmp").string().c_str()));
    EXPECT_EQ(filesIn(dir / "p.res"), (std::set<std::string>{"p.pmp", "short.txt"}));
    c.rm_clean_files();
}

TEST_F(CleanerTest, ExternNameWithParentFolderStaysInsideResultFolder) {
    // "../run1.pmp" seen from base/ is the user's own project in dir/.
    fs::create_directories(dir / "base");
    std::string const userProject = "[Profile]\r\nTitle=\"mine\"\r\n";
    std::string const project = "HaplList = EXTERN \"../run1.pmp\"\r\n";
    write_file(dir / "run1.pmp", userProject);
    write_file(dir / "base" / "run1.pmp", project);
    std::set<std::string> const before = filesBelow(dir);

    cleaner c;
    ASSERT_TRUE(c.execute(0, (dir / "base" / "run1.pmp").string().c_str()));
    fs::path const resultDir = dir / "base" / "run1.res";
    EXPECT_EQ(read_file(resultDir / ".._run1.pmp"), "[Profile]\nTitle=\"mine\"\n\n");

    // Nothing new outside the result folder, nothing changed there.
    std::set<std::string> expected = before;
    expected.insert("base/run1.res/run1.pmp");
    expected.insert("base/run1.res/.._run1.pmp");
    EXPECT_EQ(filesBelow(dir), expected);
    EXPECT_EQ(read_file(dir / "run1.pmp"), userProject);

    c.rm_clean_files();
    EXPECT_EQ(filesBelow(dir), before);
    EXPECT_EQ(read_file(dir / "run1.pmp"), userProject);
    EXPECT_EQ(read_file(dir / "base" / "run1.pmp"), project);
}

TEST_F(CleanerTest, ExternNameWithSubfolderGetsFlattenedCopy) {
    fs::create_directories(dir / "sub");
    write_file(dir / "sub" / "hap.txt", "h1\t1\n");
    write_file(dir / "p.pmp", "HaplList = EXTERN \"sub/hap.txt\"\n");
    cleaner c;
    ASSERT_TRUE(c.execute(0, (dir / "p.pmp").string().c_str()));
    EXPECT_EQ(filesIn(dir / "p.res"), (std::set<std::string>{"p.pmp", "sub_hap.txt"}));
    EXPECT_EQ(read_file(dir / "p.res" / "sub_hap.txt"), "h1 1\n\n");
    c.rm_clean_files();
    EXPECT_TRUE(filesIn(dir / "p.res").empty());
    EXPECT_EQ(read_file(dir / "sub" / "hap.txt"), "h1\t1\n");
}

TEST_F(CleanerTest, AbsoluteExternNameIsReadAsWritten) {
    fs::create_directories(dir / "elsewhere");
    fs::create_directories(dir / "proj");
    fs::path const abs = dir / "elsewhere" / "abs.txt";
    write_file(abs, "a\tb\n");
    write_file(dir / "proj" / "p.pmp", "HaplList = EXTERN \"" + abs.string() + "\"\n");
    cleaner c;
    ASSERT_TRUE(c.execute(0, (dir / "proj" / "p.pmp").string().c_str()));
    std::string flat = abs.string();
    for (char& ch : flat)
        if (ch == '/') ch = '_';
    EXPECT_EQ(filesIn(dir / "proj" / "p.res"), (std::set<std::string>{"p.pmp", flat}));
    EXPECT_EQ(read_file(dir / "proj" / "p.res" / flat), "a b\n\n");
    c.rm_clean_files();
    EXPECT_EQ(read_file(abs), "a\tb\n");
}

TEST_F(CleanerTest, OneCopyPathIsNeverWrittenFromTwoSources) {
    // "a/b.txt" and "a_b.txt" flatten to the same copy; the first one wins.
    // The project naming itself must not have its copy overwritten.
    fs::create_directories(dir / "a");
    write_file(dir / "a" / "b.txt", "first\n");
    write_file(dir / "a_b.txt", "second\n");
    write_file(dir / "p.pmp",
              "L1 EXTERN \"a/b.txt\"\n\nL2 EXTERN \"a/b.txt\"\nL3 EXTERN \"a_b.txt\"\nL4 EXTERN \"p.pmp\"\n# end\n");
    cleaner c;
    ASSERT_TRUE(c.execute(0, (dir / "p.pmp").string().c_str()));
    EXPECT_EQ(read_file(dir / "p.res" / "a_b.txt"), "first\n\n");
    EXPECT_EQ(read_file(dir / "p.res" / "p.pmp"),
              "L1 EXTERN \"a/b.txt\"\nL2 EXTERN \"a/b.txt\"\nL3 EXTERN \"a_b.txt\"\nL4 EXTERN \"p.pmp\"\n\n");
    c.rm_clean_files();
    EXPECT_TRUE(filesIn(dir / "p.res").empty());
}

// ------------------------------------------------------------ cleanup

TEST_F(CleanerTest, CleanupDeletesOnlyFilesItCreated) {
    write_file(dir / "hap.txt", "h\n");
    write_file(dir / "p.pmp", "A EXTERN \"missing.txt\"\nB EXTERN \"hap.txt\"\nC EXTERN \"\"\nD EXTERN \"..\"\n");
    // The result folder already holds files of the user's, one of them named
    // like the copy of the external file that does not exist.
    fs::create_directories(dir / "p.res");
    write_file(dir / "p.res" / "missing.txt", "keep me\n");
    write_file(dir / "p.res" / "notes.txt", "keep me too\n");

    cleaner c;
    ASSERT_TRUE(c.execute(0, (dir / "p.pmp").string().c_str()));
    EXPECT_EQ(filesIn(dir / "p.res"), (std::set<std::string>{"p.pmp", "hap.txt", "missing.txt", "notes.txt"}));
    c.rm_clean_files();
    EXPECT_EQ(filesIn(dir / "p.res"), (std::set<std::string>{"missing.txt", "notes.txt"}));
    EXPECT_EQ(read_file(dir / "p.res" / "missing.txt"), "keep me\n");
    EXPECT_EQ(filesIn(dir), (std::set<std::string>{"p.pmp", "hap.txt", "p.res"}));
    // A second call has nothing left to delete.
    c.rm_clean_files();
    EXPECT_EQ(filesIn(dir / "p.res"), (std::set<std::string>{"missing.txt", "notes.txt"}));
}

// ------------------------------------------------------------ failures

TEST_F(CleanerTest, NoWorkingCopyMeansFalse) {
    {
        cleaner c;  // project file missing: nothing is created
        EXPECT_FALSE(c.execute(0, (dir / "absent.pmp").string().c_str()));
        EXPECT_EQ(c.get_clean_proj(), nullptr);
        EXPECT_EQ(std::string(c.get_proj_dir()), "");
        EXPECT_EQ(std::string(c.get_orig_proj()), (dir / "absent.pmp").string());
        c.rm_clean_files();
        EXPECT_TRUE(filesIn(dir).empty());
    }
    {
        cleaner c;  // a file stands where the result folder should be
        write_file(dir / "p.pmp", "[Profile]\n");
        write_file(dir / "p.res", "a file\n");
        EXPECT_FALSE(c.execute(0, (dir / "p.pmp").string().c_str()));
        EXPECT_EQ(c.get_clean_proj(), nullptr);
        c.rm_clean_files();
        EXPECT_EQ(read_file(dir / "p.res"), "a file\n");
        EXPECT_EQ(read_file(dir / "p.pmp"), "[Profile]\n");
    }
    {
        cleaner c;  // a folder is no project file
        fs::create_directories(dir / "folder.pmp");
        EXPECT_FALSE(c.execute(0, (dir / "folder.pmp").string().c_str()));
        EXPECT_FALSE(c.execute(0, ((dir / "folder.pmp").string() + "/").c_str()));
        EXPECT_FALSE(fs::exists(dir / "folder.res"));
    }
    {
        cleaner c;
        EXPECT_FALSE(c.execute(0, nullptr));
        EXPECT_EQ(c.get_clean_proj(), nullptr);
        EXPECT_EQ(c.get_orig_proj(), nullptr);
    }
}

TEST_F(CleanerTest, UnusedFileKindsDoNothing) {
    cleaner c;
    EXPECT_FALSE(c.clean_matrix_file(0));
    EXPECT_FALSE(c.clean_pop_file(0));
    EXPECT_FALSE(c.clean_proj_file(0));
    EXPECT_FALSE(c.clean_haplo_file(3));
}

}  // namespace
}  // namespace quintle
