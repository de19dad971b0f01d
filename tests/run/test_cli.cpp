// The program's command line end to end: the real binary in a fresh working
// directory, its console output, exit status and files.

#include <gtest/gtest.h>

#include "core/scratch.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using quintle::scratch::read_file;
using quintle::scratch::write_file;

// The usage text; lines 14 and 22 end with a blank.
constexpr char expected_usage[] =
    "\n                        QUINTLE ver 3.5.2.1 (30.04.15)\n"
    "                        =================================\n\n"
    "  QUINTLE is a modified version of Pellomar for computing summary statistics\n"
    "  listed in the file named \"ssdefs.txt\", and reporting them in an output file.\n\n  Usage:\n"
    "     quintle <project file name> <sum. stat. output file>\n"
    "                <[int] append output file> <[int] write header>\n                | run_silent\n\n\n"
    "  The parameter <project file name> needs to be put within quotes if \n  it contains whitepaces\n\n"
    "  The parameter <[int] append output file> controls if the output file needs\n"
    "  to be overwritten (0) or appended (1).\n  A value of 0 will reset the output file.\n  Default value is 1.\n\n"
    "  The parameter <[int] write header> controls if a header with \n"
    "  the names of the sum. stats. needs to be written\n    Possible values:\n"
    "      0: no, only computed summary statistics will be output\n"
    "      1: yes, header and statistics will be output\n      2, yes, only header will be output\n"
    "    Default value is 0.\n\n  run_silent: if present on the command line, quintle will not output\n"
    "              computation progress in the console\n\n  Examples (replace quintle by your executable version):\n"
    "    ./quintle_32bit test.pmp outSS.txt 0 1\n"
    "       This will analyse the file 'test.pmp' and and write the summary\n"
    "       statistics in the file outSS.txt, which will be reset, and which will\n"
    "        beginwith a header line with the names of the summary statistics\n\n"
    "    quintle test1.pmp outSS.txt 1 0\n       This will append summary statistics computed on the file test1.pmp\n"
    "       to the same output file outSS.txt, without writing a header line\n\n    quintle test2.pmp outSS.txt 1 1\n"
    "       This will append summary statistics computed on the file test2.pmp\n"
    "       to the same output file outSS.txt, but this time including a\n"
    "        header line, with the names of the summary stats\n\n";

constexpr char silent_line[] = "Running quintle in silent mode ...\n";
constexpr char project_text[] =
    "[Profile]\n Title=\"cli\"\n NbSamples=1\n DataType=DNA\n GenotypicData=0\n LocusSeparator=NONE\n"
    "[Data]\n [[Samples]]\n SampleName=\"one\"\n SampleSize=2\n SampleData= {\n h1 1 ACGT\n h2 1 ACGA\n }\n";
constexpr char settings_text[] =
    "[Setting for Calculations]\nTaskNumber=1\nXMLOutput=1\nTransitionWeight=1\nTranversionWeight=1\n";

std::string quote(std::string const& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class CliTest : public ::testing::Test {
protected:
    // Shell command running the program in `dir`; without `seed`, QUINTLE_SEED is removed.
    static std::string command(fs::path const& dir, std::vector<std::string> const& args, std::string const& seed,
                               fs::path const& capture) {
        std::string cmd = "cd " + quote(dir.string()) + " && env -u QUINTLE_SEED ";
        if (!seed.empty()) cmd += "QUINTLE_SEED=" + quote(seed) + " ";
        cmd += quote(QUINTLE_BINARY);
        for (std::string const& a : args) cmd += " " + quote(a);
        return cmd + " > " + quote(capture.string()) + " 2>&1";
    }

    // Exit status (-1 if abnormal) and console output of a run in `dir`.
    std::pair<int, std::string> run_in(fs::path const& dir, std::vector<std::string> const& args,
                                       std::string const& seed = "") const {
        fs::path const capture = root_ / "console.txt";
        int const raw = std::system(command(dir, args, seed, capture).c_str());
        std::string out = read_file(capture);
        fs::remove(capture);
        return {raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out};
    }
    std::pair<int, std::string> run(std::vector<std::string> const& args, std::string const& seed = "") const {
        return run_in(work_, args, seed);
    }

    static void make_project(fs::path const& dir, std::string const& name = "p.pmp") {
        write_file(dir / name, project_text);
        write_file(dir / "pml_run.pms", settings_text);
        write_file(dir / "ssdefs.txt", "POP_LEVEL\nMEAN_H\n");
    }

    // No process leaves its run file ("pml_run_...") behind.
    static bool no_run_files(fs::path const& dir) {
        for (auto const& e : fs::directory_iterator(dir))
            if (e.path().filename().string().rfind("pml_run_", 0) == 0) return false;
        return true;
    }

    std::string log(fs::path const& res = "p.res") const { return read_file(work_ / res / "Pellomar_log.txt"); }

    void SetUp() override { fs::create_directories(work_); }

    quintle::scratch::Dir root_{"quintle_cli"};
    fs::path work_ = root_ / "work";
};

TEST_F(CliTest, UsageForNoArgumentsAndForHelpAnywhere) {
    EXPECT_EQ(run({}), std::make_pair(0, std::string(expected_usage)));
    EXPECT_TRUE(fs::is_empty(work_)) << "no statistics file, run file or marker file";

    make_project(work_);
    make_project(work_, "my-Help.pmp");
    for (auto const& args : std::vector<std::vector<std::string>>{{"p.pmp", "stats.txt", "-HeLp"},
                                                                  {"my-Help.pmp", "stats.txt"}}) {
        EXPECT_EQ(run(args), std::make_pair(0, std::string(expected_usage))) << args[0];
        EXPECT_FALSE(fs::exists(work_ / "stats.txt") || fs::exists(work_ / "p.res") || fs::exists(work_ / "my-Help.res"));
    }
    // The silent keyword wins over help in the same argument.
    EXPECT_EQ(run({"p.pmp", "stats.txt", "1", "0", "x-Help+Run_Silent"}), std::make_pair(0, std::string(silent_line)));
    EXPECT_TRUE(fs::exists(work_ / "stats.txt"));
}

TEST_F(CliTest, RunSilentInEachPositionAndTheAppendFlag) {
    make_project(work_);
    EXPECT_EQ(run({"p.pmp", "run_silent"}), std::make_pair(0, std::string(silent_line)));
    EXPECT_TRUE(fs::exists(work_ / "run_silent")) << "second position names the statistics file";

    struct Case {
        std::vector<std::string> args;
        std::string console;
        bool keeps;  // the earlier line survives
    };
    // The append value is truncated toward zero; header mode 0 adds one value line.
    std::vector<Case> const cases = {
        {{"p.pmp", "stats.txt", "RUN_SILENT"}, silent_line, false},
        {{"p.pmp", "stats.txt", "1", "Run_Silent"}, silent_line, true},
        {{"p.pmp", "stats.txt", "2.9", "0"}, "", true},
        {{"p.pmp", "stats.txt", "0.5", "0"}, "", false},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.args[2]);
        write_file(work_ / "stats.txt", "earlier\n");
        EXPECT_EQ(run(c.args), std::make_pair(0, c.console));
        std::string const text = read_file(work_ / "stats.txt");
        EXPECT_EQ(text.rfind("earlier\n", 0) == 0, c.keeps);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), c.keeps ? 2 : 1);
    }
    EXPECT_TRUE(no_run_files(work_));
}

TEST_F(CliTest, SeededRunLogsItsSeedAndRepeatsItsOutput) {
    make_project(work_);
    write_file(work_ / "ssdefs.txt", "POP_LEVEL\nALL_H MEAN_H ALL_S\n");
    EXPECT_EQ(run({"p.pmp", "stats1.txt", "0", "1"}, "4242"), std::make_pair(0, std::string()));
    std::string const head = "Log file path: p.res/Pellomar_log.txt\nCore Program Directory: " + fs::canonical(work_).string() +
                             "/\nRandom generator initialized with seed=-4242\n"
                             "Reading project profile section...\ndone !\nOpening next project...\np.pmp\n";
    std::string const first = log();
    EXPECT_EQ(first.substr(0, head.size()), head);
    EXPECT_EQ(first.substr(first.size() - 24), "Successful run of p.pmp\n");
    EXPECT_EQ(run({"p.pmp", "stats2.txt", "0", "1"}, "4242").first, 0);
    EXPECT_EQ(read_file(work_ / "stats1.txt"), read_file(work_ / "stats2.txt"));
    EXPECT_FALSE(fs::exists(work_ / "randseed.txt")) << "a given seed writes no seed file";
    EXPECT_FALSE(fs::exists(work_ / "pml_pro.txt"));
}

// A seed that is not a whole number from 1 to 161803398 cannot repeat the
// run: the run goes on with a clock seed and says so in the log and on
// standard error.
TEST_F(CliTest, UnusableSeedIsToldAndTheRunGoesOn) {
    make_project(work_);
    for (std::string const seed : {"abc", "0", "161803399", "12x", "-5"}) {
        SCOPED_TRACE(seed);
        auto const [status, console] = run({"p.pmp", "stats.txt", "0", "1"}, seed);
        std::string const told = "QUINTLE_SEED=\"" + seed +
                                 "\" is not a whole number from 1 to 161803398: the random generator is seeded "
                                 "from the clock\n";
        EXPECT_EQ(status, 0);
        EXPECT_EQ(console, "quintle: " + told);
        std::string const text = log();
        EXPECT_NE(text.find("WARNING: " + told + "Random number generator initialized with lidum="), std::string::npos)
            << text;
        EXPECT_NE(text.find("Successful run of p.pmp"), std::string::npos);
    }
    EXPECT_EQ(run({"p.pmp", "stats.txt", "0", "1"}, "161803398"), std::make_pair(0, std::string()));
}

// Without a statistics list (or one that asks for no level) the run writes
// its result file but no line: a pipeline is told so, and the call still
// succeeds, as a call made only for the result file expects.
TEST_F(CliTest, NoStatisticsLevelIsToldAndAddsNoLine) {
    make_project(work_);
    std::string const told = "the statistics list \"ssdefs.txt\" is missing or asks for neither POP_LEVEL nor "
                             "GROUP_LEVEL: no analysis runs and no statistics line is added\n";
    for (std::string const list : {"", "MEAN_H ALL_S\n"}) {
        SCOPED_TRACE(list.empty() ? "missing" : "no level");
        fs::remove(work_ / "ssdefs.txt");
        if (!list.empty()) write_file(work_ / "ssdefs.txt", list);
        fs::remove(work_ / "stats.txt");
        EXPECT_EQ(run({"p.pmp", "stats.txt", "0", "1"}, "4242"), std::make_pair(0, "quintle: " + told));
        EXPECT_EQ(read_file(work_ / "stats.txt"), "");
        std::string const text = log();
        EXPECT_NE(text.find("WARNING: " + told), std::string::npos) << text;
        EXPECT_NE(text.find("Successful run of p.pmp"), std::string::npos);
    }
    write_file(work_ / "ssdefs.txt", "POP_LEVEL\nMEAN_H\n");
    EXPECT_EQ(run({"p.pmp", "stats.txt", "0", "1"}, "4242"), std::make_pair(0, std::string()));
    EXPECT_EQ(log().find("WARNING"), std::string::npos);
}

TEST_F(CliTest, MissingProjectOrSettingsFail) {
    write_file(work_ / "pml_run.pms", settings_text);
    EXPECT_EQ(run({"absent.pmp", "stats.txt"}),
              std::make_pair(0, std::string("quintle: error during run of absent.pmp; cannot read the project file: "
                                            "No such file or directory\n")));
    EXPECT_EQ(read_file(work_ / "pml_pro.txt"), "error\n");
    EXPECT_FALSE(fs::exists(work_ / "absent.res"));
    EXPECT_TRUE(fs::exists(work_ / "stats.txt")) << "the statistics file is still written";
    fs::remove(work_ / "pml_pro.txt");

    // Without settings: the log says where they were looked for, and the
    // batch files opened before keep their lines (closed on the failure exit).
    make_project(work_);
    fs::remove(work_ / "pml_run.pms");
    write_file(work_ / "glbstreams.txt", "batch flags\n_TAJIMA_\n");
    std::string const dir = fs::canonical(work_).string() + "/";
    EXPECT_EQ(run({"p.pmp", "stats.txt"}),
              std::make_pair(0, "quintle: error during run of p.pmp; cannot read the settings file " + dir +
                                    "pml_run.pms: No such file or directory; see p.res/Pellomar_log.txt\n"));
    EXPECT_EQ(log(), "Log file path: p.res/Pellomar_log.txt\nCore Program Directory: " + dir +
                         "\nCore Routine did not find its settings in:\n    " + dir +
                         "pml_run.pms\nError during run of p.pmp\n");
    EXPECT_FALSE(fs::exists(work_ / "pml_pro.txt"));
    EXPECT_NE(read_file(work_ / "tajima.sum").find("Pellomar batch run summary file"), std::string::npos);
    EXPECT_TRUE(no_run_files(work_));
}

TEST_F(CliTest, DotComponentsAndParentFoldersReachTheProject) {
    make_project(work_);
    fs::create_directories(root_ / "data");
    write_file(root_ / "data" / "run1.pmp", project_text);
    EXPECT_EQ(run({"../data/run1.pmp", "stats.txt"}).first, 0);
    EXPECT_NE(read_file(root_ / "data" / "run1.res" / "Pellomar_log.txt").find("Successful run of ../data/run1.pmp\n"),
              std::string::npos);

    fs::create_directories(work_ / "sub");
    write_file(work_ / "sub" / "q.pmp", project_text);
    EXPECT_EQ(run({"./sub/././q.pmp", "stats.txt"}).first, 0);
    EXPECT_NE(log("sub/q.res").find("Opening next project...\n./sub/q.pmp\n"), std::string::npos);
}

TEST_F(CliTest, LongDirectoriesAndProjectPathsAreAnalysed) {
    fs::path deep = root_.path();
    for (int i = 0; i < 6; ++i) deep /= std::string(90, static_cast<char>('a' + i));
    fs::create_directories(deep);
    make_project(deep);
    std::string const project = std::string(120, 'p') + "/" + std::string(150, 'q') + "/" + std::string(140, 'r') + ".pmp";
    fs::create_directories((deep / project).parent_path());
    write_file(deep / project, project_text);
    ASSERT_GT(fs::canonical(deep).string().size(), 500u);

    EXPECT_EQ(run_in(deep, {project, "stats.txt"}, "11").first, 0);
    std::string const text =
        read_file(deep / (project.substr(0, project.size() - 4) + ".res") / "Pellomar_log.txt");
    EXPECT_NE(text.find("Core Program Directory: " + fs::canonical(deep).string() + "/\n"), std::string::npos);
    EXPECT_NE(text.find("Successful run of " + project + "\n"), std::string::npos) << text;
}

TEST_F(CliTest, ProcessesInSeparateDirectoriesDoNotMeet) {
    std::vector<fs::path> dirs;
    std::string cmd = "(";
    for (int i = 0; i < 4; ++i) {
        dirs.push_back(root_ / ("job" + std::to_string(i)));
        fs::create_directories(dirs.back());
        make_project(dirs.back());
        cmd += command(dirs[i], {"p.pmp", "stats.txt", "0", "1"}, std::to_string(i + 1), dirs[i] / "out.txt") + " & ";
    }
    fs::remove(dirs[3] / "pml_run.pms");  // its failure must stay its own
    ASSERT_EQ(std::system((cmd + "wait)").c_str()), 0);

    for (std::size_t i = 0; i < dirs.size(); ++i) {
        std::string const text = read_file(dirs[i] / "p.res" / "Pellomar_log.txt");
        EXPECT_NE(text.find("Core Program Directory: " + fs::canonical(dirs[i]).string() + "/\n"), std::string::npos);
        if (i < 3) { EXPECT_NE(text.find("seed=-" + std::to_string(i + 1) + "\n"), std::string::npos) << text; }
        EXPECT_NE(text.find(i < 3 ? "Successful run of p.pmp\n" : "Core Routine did not find its settings in:\n"),
                  std::string::npos) << text;
        EXPECT_TRUE(fs::exists(dirs[i] / "stats.txt"));
        EXPECT_TRUE(no_run_files(dirs[i]));
    }
}

}  // namespace
