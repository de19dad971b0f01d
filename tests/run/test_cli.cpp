// End-to-end tests of the program's command line: the real binary is run in a
// fresh working directory and its standard output, exit status and files are
// checked.

#include <gtest/gtest.h>

#include "core/scratch.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The usage text, line by line (each line ends with a line end). Trailing
// blanks of lines 14 and 22 are part of the text.
std::string expected_usage() {
    std::vector<std::string> const lines = {
        "",
        "                        QUINTLE ver 3.5.2.1 (30.04.15)",
        "                        =================================",
        "",
        "  QUINTLE is a modified version of Pellomar for computing summary statistics",
        "  listed in the file named \"ssdefs.txt\", and reporting them in an output file.",
        "",
        "  Usage:",
        "     quintle <project file name> <sum. stat. output file>",
        "                <[int] append output file> <[int] write header>",
        "                | run_silent",
        "",
        "",
        "  The parameter <project file name> needs to be put within quotes if ",
        "  it contains whitepaces",
        "",
        "  The parameter <[int] append output file> controls if the output file needs",
        "  to be overwritten (0) or appended (1).",
        "  A value of 0 will reset the output file.",
        "  Default value is 1.",
        "",
        "  The parameter <[int] write header> controls if a header with ",
        "  the names of the sum. stats. needs to be written",
        "    Possible values:",
        "      0: no, only computed summary statistics will be output",
        "      1: yes, header and statistics will be output",
        "      2, yes, only header will be output",
        "    Default value is 0.",
        "",
        "  run_silent: if present on the command line, quintle will not output",
        "              computation progress in the console",
        "",
        "  Examples (replace quintle by your executable version):",
        "    ./quintle_32bit test.pmp outSS.txt 0 1",
        "       This will analyse the file 'test.pmp' and and write the summary",
        "       statistics in the file outSS.txt, which will be reset, and which will",
        "        beginwith a header line with the names of the summary statistics",
        "",
        "    quintle test1.pmp outSS.txt 1 0",
        "       This will append summary statistics computed on the file test1.pmp",
        "       to the same output file outSS.txt, without writing a header line",
        "",
        "    quintle test2.pmp outSS.txt 1 1",
        "       This will append summary statistics computed on the file test2.pmp",
        "       to the same output file outSS.txt, but this time including a",
        "        header line, with the names of the summary stats",
        "",
    };
    std::string text;
    for (std::string const& line : lines) text += line + "\n";
    return text;
}

constexpr char silent_line[] = "Running quintle in silent mode ...\n";

// A small readable project and a settings file for it.
constexpr char project_text[] =
    "[Profile]\n"
    "    Title=\"cli test\"\n"
    "    NbSamples=1\n"
    "    DataType=DNA\n"
    "    GenotypicData=0\n"
    "    LocusSeparator=NONE\n"
    "[Data]\n"
    "    [[Samples]]\n"
    "        SampleName=\"one\"\n"
    "        SampleSize=2\n"
    "        SampleData= {\n"
    "            h1 1 ACGT\n"
    "            h2 1 ACGA\n"
    "        }\n";
constexpr char settings_text[] = "[Setting for Calculations]\nTaskNumber=1\nXMLOutput=1\n";

std::string shell_quote(std::string const& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

using quintle::scratch::read_file;
using quintle::scratch::write_file;

struct RunResult {
    int status = -1;
    std::string output;  // standard output and error together
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        root_ = fs::temp_directory_path() /
                ("quintle_cli_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        fs::remove_all(root_);
        work_ = root_ / "work";
        fs::create_directories(work_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // Shell command that runs the program in `dir` with `args`; `seed` set
    // gives QUINTLE_SEED, otherwise the variable is removed.
    std::string command(fs::path const& dir, std::vector<std::string> const& args,
                        std::string const& seed, fs::path const& capture) const {
        std::string cmd = "cd " + shell_quote(dir.string()) + " && env -u QUINTLE_SEED ";
        if (!seed.empty()) cmd += "QUINTLE_SEED=" + shell_quote(seed) + " ";
        cmd += shell_quote(QUINTLE_BINARY);
        for (std::string const& a : args) cmd += " " + shell_quote(a);
        cmd += " > " + shell_quote(capture.string()) + " 2>&1";
        return cmd;
    }

    RunResult run_in(fs::path const& dir, std::vector<std::string> const& args,
                     std::string const& seed = "") const {
        fs::path const capture = root_ / "captured_output.txt";
        int const raw = std::system(command(dir, args, seed, capture).c_str());
        RunResult result;
        result.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
        result.output = read_file(capture);
        fs::remove(capture);
        return result;
    }

    RunResult run(std::vector<std::string> const& args, std::string const& seed = "") const {
        return run_in(work_, args, seed);
    }

    // Files whose name begins with "pml_run_" (the run files of processes).
    static std::vector<std::string> run_files_in(fs::path const& dir) {
        std::vector<std::string> names;
        for (auto const& entry : fs::directory_iterator(dir)) {
            std::string const name = entry.path().filename().string();
            if (name.rfind("pml_run_", 0) == 0) names.push_back(name);
        }
        return names;
    }

    void make_runnable_project(fs::path const& dir, std::string const& name = "p.pmp") const {
        write_file(dir / name, project_text);
        write_file(dir / "pml_run.pms", settings_text);
        write_file(dir / "ssdefs.txt", "POP_LEVEL\nMEAN_H\n");
    }

    std::string canonical_work() const { return fs::canonical(work_).string(); }

    fs::path root_;
    fs::path work_;
};

// ---------------------------------------------------------------- usage text

TEST_F(CliTest, NoArgumentsPrintsUsageAndTouchesNothing) {
    RunResult const r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, expected_usage());
    EXPECT_TRUE(fs::is_empty(work_)) << "no statistics file, run file or marker file";
}

TEST_F(CliTest, HelpInAnyCaseStopsBeforeAnyWork) {
    make_runnable_project(work_);
    for (std::string const help : {"-help", "-HELP", "-HeLp"}) {
        RunResult const r = run({"p.pmp", "stats.txt", help});
        EXPECT_EQ(r.status, 0) << help;
        EXPECT_EQ(r.output, expected_usage()) << help;
        EXPECT_FALSE(fs::exists(work_ / "stats.txt")) << help;
        EXPECT_FALSE(fs::exists(work_ / "p.res")) << help;
        EXPECT_TRUE(run_files_in(work_).empty()) << help;
    }
}

TEST_F(CliTest, HelpInsideTheProjectFileNameStopsToo) {
    make_runnable_project(work_, "my-Help.pmp");
    RunResult const r = run({"my-Help.pmp", "stats.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, expected_usage());
    EXPECT_FALSE(fs::exists(work_ / "my-Help.res"));
    EXPECT_FALSE(fs::exists(work_ / "stats.txt"));
}

TEST_F(CliTest, SilentKeywordWinsOverHelpInTheSameArgument) {
    make_runnable_project(work_);
    RunResult const r = run({"p.pmp", "stats.txt", "1", "0", "x-Help+Run_Silent"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, silent_line);
    EXPECT_TRUE(fs::exists(work_ / "p.res" / "Pellomar_log.txt"));
    EXPECT_TRUE(fs::exists(work_ / "stats.txt"));
}

// ---------------------------------------------------------------- run_silent

TEST_F(CliTest, RunSilentInSecondPositionBecomesTheStatisticsFile) {
    make_runnable_project(work_);
    RunResult const r = run({"p.pmp", "run_silent"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, silent_line);
    EXPECT_TRUE(fs::exists(work_ / "run_silent"));
    EXPECT_TRUE(run_files_in(work_).empty());
}

TEST_F(CliTest, RunSilentInThirdPositionTruncatesTheStatisticsFile) {
    make_runnable_project(work_);
    write_file(work_ / "stats.txt", "line of an earlier run\n");
    RunResult const r = run({"p.pmp", "stats.txt", "RUN_SILENT"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, silent_line);
    // Append 0: the earlier line is gone, only this run's value line remains.
    std::string const text = read_file(work_ / "stats.txt");
    EXPECT_EQ(text.find("earlier"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
}

TEST_F(CliTest, RunSilentInFourthPositionKeepsAppending) {
    make_runnable_project(work_);
    write_file(work_ / "stats.txt", "line of an earlier run\n");
    RunResult const r = run({"p.pmp", "stats.txt", "1", "Run_Silent"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, silent_line);
    // Append 1: the earlier line stays first, this run's value line follows.
    std::string const text = read_file(work_ / "stats.txt");
    EXPECT_EQ(text.rfind("line of an earlier run\n", 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

// ------------------------------------------------------ append flag and mode

TEST_F(CliTest, AppendValueIsTruncatedTowardZero) {
    make_runnable_project(work_);
    struct Case {
        char const* append;
        bool keeps;
    };
    for (Case const c : {Case{"2.9", true}, Case{"-1", true}, Case{"1", true},
                         Case{"0.5", false}, Case{"-0.9", false}, Case{"0", false}}) {
        write_file(work_ / "stats.txt", "earlier\n");
        RunResult const r = run({"p.pmp", "stats.txt", c.append, "0"});
        EXPECT_EQ(r.status, 0) << c.append;
        EXPECT_EQ(r.output, "") << c.append;
        // Header mode 0 adds one value line; the flag decides whether the
        // earlier line survives.
        std::string const text = read_file(work_ / "stats.txt");
        EXPECT_EQ(text.rfind("earlier\n", 0) == 0, c.keeps) << c.append;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), c.keeps ? 2 : 1) << c.append;
    }
}

TEST_F(CliTest, UnknownHeaderModeStillOpensTheStatisticsFile) {
    make_runnable_project(work_);
    write_file(work_ / "stats.txt", "earlier\n");
    EXPECT_EQ(run({"p.pmp", "stats.txt", "0", "3"}).status, 0);
    EXPECT_EQ(read_file(work_ / "stats.txt"), "") << "append 0 empties it, mode 3 writes nothing";

    EXPECT_EQ(run({"p.pmp", "new.txt", "1", "3"}).status, 0);
    EXPECT_TRUE(fs::exists(work_ / "new.txt"));
}

TEST_F(CliTest, OnlyTheProjectPathWritesNoStatisticsFile) {
    make_runnable_project(work_);
    RunResult const r = run({"p.pmp"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
    EXPECT_TRUE(fs::exists(work_ / "p.res" / "Pellomar_log.txt"));
    // Only the inputs, the result folder and the seed file remain.
    std::vector<std::string> names;
    for (auto const& e : fs::directory_iterator(work_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"p.pmp", "p.res", "pml_run.pms", "randseed.txt",
                                               "ssdefs.txt"}));
}

// ------------------------------------------------------------ project loop

TEST_F(CliTest, SuccessfulRunWritesTheExpectedLog) {
    make_runnable_project(work_);
    RunResult const r = run({"p.pmp", "stats.txt", "0", "1"}, "7");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
    // The project run adds its own lines between the driver's.
    std::string const head =
        "Log file path: p.res/Pellomar_log.txt\n"
        "Core Program Directory: " + canonical_work() + "/\n"
        "Random generator initialized with seed=-7\n"
        "Reading project profile section...\n"
        "done !\n"
        "Opening next project...\n"
        "p.pmp\n";
    std::string const tail = "Successful run of p.pmp\n";
    std::string const log = read_file(work_ / "p.res" / "Pellomar_log.txt");
    ASSERT_GE(log.size(), head.size() + tail.size()) << log;
    EXPECT_EQ(log.substr(0, head.size()), head);
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
    EXPECT_TRUE(fs::exists(work_ / "stats.txt"));
    EXPECT_FALSE(fs::exists(work_ / "pml_pro.txt"));
    EXPECT_FALSE(fs::exists(work_ / "randseed.txt")) << "a given seed writes no seed file";
    EXPECT_TRUE(run_files_in(work_).empty());
}

TEST_F(CliTest, MissingProjectLeavesErrorInTheMarkerFile) {
    write_file(work_ / "pml_run.pms", settings_text);
    RunResult const r = run({"absent.pmp", "stats.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(read_file(work_ / "pml_pro.txt"), "error\n");
    EXPECT_FALSE(fs::exists(work_ / "absent.res"));
    EXPECT_TRUE(fs::exists(work_ / "stats.txt")) << "the statistics file is still written";
    EXPECT_TRUE(run_files_in(work_).empty());
}

TEST_F(CliTest, MissingSettingsFileIsLoggedAndNothingElse) {
    make_runnable_project(work_);
    fs::remove(work_ / "pml_run.pms");
    RunResult const r = run({"p.pmp", "stats.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
    std::string const dir = canonical_work() + "/";
    std::string const expected = "Log file path: p.res/Pellomar_log.txt\n"
                                 "Core Program Directory: " + dir + "\n"
                                 "Core Routine did not find its settings in:\n"
                                 "    " + dir + "pml_run.pms\n";
    EXPECT_EQ(read_file(work_ / "p.res" / "Pellomar_log.txt"), expected);
    EXPECT_FALSE(fs::exists(work_ / "pml_pro.txt"));
    EXPECT_TRUE(run_files_in(work_).empty());
}

TEST_F(CliTest, BatchFilesKeepTheirLinesWhenTheRunFails) {
    make_runnable_project(work_);
    fs::remove(work_ / "pml_run.pms");
    write_file(work_ / "glbstreams.txt", "batch flags\n_TAJIMA_\n");
    EXPECT_EQ(run({"p.pmp", "stats.txt"}).status, 0);
    std::string const text = read_file(work_ / "tajima.sum");
    EXPECT_NE(text.find("Pellomar batch run summary file"), std::string::npos) << text;
}

TEST_F(CliTest, RelativePathsWithDotComponentsReachTheProject) {
    fs::create_directories(root_ / "data");
    make_runnable_project(work_);
    write_file(root_ / "data" / "run1.pmp", project_text);
    EXPECT_EQ(run({"../data/run1.pmp", "stats.txt"}).status, 0);
    std::string const log = read_file(root_ / "data" / "run1.res" / "Pellomar_log.txt");
    EXPECT_NE(log.find("Successful run of ../data/run1.pmp\n"), std::string::npos) << log;

    fs::create_directories(work_ / "sub");
    write_file(work_ / "sub" / "q.pmp", project_text);
    EXPECT_EQ(run({"./sub/././q.pmp", "stats.txt"}).status, 0);
    std::string const log2 = read_file(work_ / "sub" / "q.res" / "Pellomar_log.txt");
    EXPECT_NE(log2.find("Opening next project...\n./sub/q.pmp\n"), std::string::npos) << log2;
    EXPECT_FALSE(fs::exists(work_ / "pml_pro.txt"));
}

TEST_F(CliTest, LongDirectoriesAndProjectPathsAreAnalysed) {
    // A working directory and a project path well beyond 400 characters.
    fs::path deep = root_;
    for (int i = 0; i < 6; ++i) deep /= std::string(90, static_cast<char>('a' + i));
    fs::create_directories(deep);
    make_runnable_project(deep);
    std::string const project = std::string(120, 'p') + "/" + std::string(150, 'q') + "/" +
                                std::string(140, 'r') + ".pmp";
    fs::create_directories((deep / project).parent_path());
    write_file(deep / project, project_text);
    ASSERT_GT(fs::canonical(deep).string().size(), 500u);
    ASSERT_GT(project.size(), 400u);

    RunResult const r = run_in(deep, {project, "stats.txt"}, "11");
    EXPECT_EQ(r.status, 0);
    fs::path const log = deep / (project.substr(0, project.size() - 4) + ".res") / "Pellomar_log.txt";
    std::string const text = read_file(log);
    EXPECT_NE(text.find("Core Program Directory: " + fs::canonical(deep).string() + "/\n"),
              std::string::npos);
    EXPECT_NE(text.find("Successful run of " + project + "\n"), std::string::npos) << text;
    EXPECT_TRUE(run_files_in(deep).empty());
}

// ----------------------------------------------------------------- seeding

TEST_F(CliTest, SameSeedGivesTheSameLogAndOutput) {
    make_runnable_project(work_);
    write_file(work_ / "ssdefs.txt", "POP_LEVEL\nALL_H MEAN_H ALL_S\n");
    RunResult const first = run({"p.pmp", "stats1.txt", "0", "1"}, "4242");
    std::string const log1 = read_file(work_ / "p.res" / "Pellomar_log.txt");
    RunResult const second = run({"p.pmp", "stats2.txt", "0", "1"}, "4242");
    std::string const log2 = read_file(work_ / "p.res" / "Pellomar_log.txt");
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(second.status, 0);
    std::string const seed_line = "\nRandom generator initialized with seed=-4242\n";
    EXPECT_NE(log1.find(seed_line), std::string::npos) << log1;
    EXPECT_NE(log2.find(seed_line), std::string::npos) << log2;
    EXPECT_EQ(log1.find("lidum"), std::string::npos);
    EXPECT_EQ(read_file(work_ / "stats1.txt"), read_file(work_ / "stats2.txt"));
}

TEST_F(CliTest, SeedOutsideItsRangeFallsBackToTheClock) {
    make_runnable_project(work_);
    for (std::string const seed : {"0", "161803399", "-3", "12abc"}) {
        fs::remove(work_ / "randseed.txt");
        EXPECT_EQ(run({"p.pmp", "stats.txt"}, seed).status, 0) << seed;
        std::string const log = read_file(work_ / "p.res" / "Pellomar_log.txt");
        EXPECT_NE(log.find("\nRandom number generator initialized with lidum="), std::string::npos)
            << seed;
        EXPECT_EQ(log.find("Random generator initialized with seed="), std::string::npos) << seed;
        EXPECT_TRUE(fs::exists(work_ / "randseed.txt")) << seed;
    }
    EXPECT_EQ(run({"p.pmp", "stats.txt"}, "161803398").status, 0);
    EXPECT_NE(read_file(work_ / "p.res" / "Pellomar_log.txt")
                  .find("Random generator initialized with seed=-161803398\n"),
              std::string::npos);
}

// -------------------------------------------------------- parallel processes

TEST_F(CliTest, ProcessesInSeparateDirectoriesDoNotMeet) {
    std::vector<fs::path> dirs;
    for (int i = 0; i < 4; ++i) {
        dirs.push_back(root_ / ("job" + std::to_string(i)));
        fs::create_directories(dirs.back());
        make_runnable_project(dirs.back());
    }
    // One of them without settings: its failure must stay its own.
    fs::remove(dirs[3] / "pml_run.pms");

    std::string cmd = "(";
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        cmd += command(dirs[i], {"p.pmp", "stats.txt", "0", "1"}, std::to_string(i + 1),
                       dirs[i] / "out.txt") +
               " & ";
    }
    cmd += "wait)";
    ASSERT_EQ(std::system(cmd.c_str()), 0);

    for (std::size_t i = 0; i < dirs.size(); ++i) {
        std::string const log = read_file(dirs[i] / "p.res" / "Pellomar_log.txt");
        EXPECT_NE(log.find("Core Program Directory: " + fs::canonical(dirs[i]).string() + "/\n"),
                  std::string::npos)
            << log;
        if (i < 3) {
            EXPECT_NE(log.find("seed=-" + std::to_string(i + 1) + "\n"), std::string::npos) << log;
            EXPECT_NE(log.find("Successful run of p.pmp\n"), std::string::npos) << log;
        } else {
            EXPECT_NE(log.find("Core Routine did not find its settings in:\n"), std::string::npos);
        }
        EXPECT_TRUE(fs::exists(dirs[i] / "stats.txt"));
        EXPECT_FALSE(fs::exists(dirs[i] / "pml_pro.txt"));
        EXPECT_TRUE(run_files_in(dirs[i]).empty());
    }
}

}  // namespace
