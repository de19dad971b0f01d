// The run driver called in-process on run files written by the test, and the
// small conversions of the command line.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/scratch.h"
#include "core/public.h"
#include "project/Project.h"
#include "run/command_line.h"
#include "run/glbobj.h"
#include "run/pmlestart.h"
#include "run/settings.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

using quintle::scratch::read_file;
using quintle::scratch::write_file;

bool has(std::string const& text, std::string const& part) {
    return text.find(part) != std::string::npos;
}

constexpr char loop_project[] =
    "[Profile]\n NbSamples=1\n DataType=DNA\n GenotypicData=0\n LocusSeparator=NONE\n"
    "[Data]\n [[Samples]]\n SampleName=\"s\"\n SampleSize=1\n SampleData={\n h 1 AC\n }\n";
constexpr char loop_settings[] = "[Setting for Calculations]\nTaskNumber=1\nKeepNullDistrib=0\n";

// Each test gets its own program directory; the run file is placed under it
// and the driver is given that directory, so nothing is written to the
// test's working directory (the fixed seed keeps "randseed.txt" away too).
class RunLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        dir_ = fs::temp_directory_path() /
               ("quintle_loop_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        prefix_ = dir_.string() + "/";
        ::setenv("QUINTLE_SEED", "99", 1);
    }
    void TearDown() override {
        release_run_globals();
        ::unsetenv("QUINTLE_SEED");
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Writes the run file under the program directory and runs the driver.
    int drive(std::string const& runFileText) {
        write_file(prefix_ + getPmlRunString().c_str(), runFileText);
        std::string directory = prefix_;
        return pmlestart(directory.data());
    }

    std::string project(std::string const& name) const {
        write_file(dir_ / name, loop_project);
        return prefix_ + name;
    }

    std::string log_of(std::string const& projectStem) const {
        return read_file(dir_ / (projectStem + ".res") / "Pellomar_log.txt");
    }

    fs::path dir_;
    std::string prefix_;
};

TEST_F(RunLoopTest, EveryListedProjectRunsWithoutAnEndLine) {
    write_file(dir_ / "pml_run.pms", loop_settings);
    std::string const a = project("a.pmp");
    std::string const b = project("b.pmp");
    drive(prefix_ + "\nuse_interf_settings\n" + a + "\n0\n0\n" + b + "\n0\n0\n");
    EXPECT_TRUE(has(log_of("a"), "Successful run of " + a + "\n"));
    EXPECT_TRUE(has(log_of("b"), "Successful run of " + b + "\n"));
    EXPECT_EQ(settings::num_proj_done, 2);
}

TEST_F(RunLoopTest, UpperCaseEndStopsButMixedCaseIsAPath) {
    write_file(dir_ / "pml_run.pms", loop_settings);
    std::string const a = project("a.pmp");
    std::string const b = project("b.pmp");
    drive(prefix_ + "\nuse_interf_settings\n" + a + "\n0\n0\nEND\n" + b + "\n0\n0\nend\n");
    EXPECT_TRUE(has(log_of("a"), "Successful run of"));
    EXPECT_FALSE(fs::exists(dir_ / "b.res"));
    EXPECT_FALSE(fs::exists(dir_ / "pml_pro.txt"));

    drive(prefix_ + "\nuse_interf_settings\n" + a + "\n0\n0\nEnd\n0\n0\n" + b + "\n0\n0\nend\n");
    EXPECT_EQ(read_file(dir_ / "pml_pro.txt"), "error\n");
    EXPECT_FALSE(fs::exists(dir_ / "b.res")) << "a failed project ends the loop";
}

TEST_F(RunLoopTest, DirectoryLineGetsItsSeparator) {
    write_file(dir_ / "pml_run.pms", loop_settings);
    std::string const a = project("a.pmp");
    drive(dir_.string() + "\nuse_interf_settings\n" + a + "\n0\n0\nend\n");
    EXPECT_TRUE(has(log_of("a"), "Core Program Directory: " + prefix_ + "\n"));
    EXPECT_EQ(PellomarExeDirectory, prefix_);
    EXPECT_EQ(std::string(PPP->options.SettingsFileName.c_str()), prefix_ + "pml_run.pms");
}

TEST_F(RunLoopTest, RunFileIntegersOverrideTheSettings) {
    write_file(dir_ / "pml_run.pms", loop_settings);
    std::string const a = project("a.pmp");
    drive(prefix_ + "\nuse_interf_settings\n" + a + "\n1\n1\nend\n");
    ASSERT_NE(PPP, nullptr);
    EXPECT_EQ(PPP->options.RunFileFlag, 1);
    EXPECT_EQ(PPP->options.KeepNullDistrib, 1);
    EXPECT_EQ(PPP->options.TaskNumber, 1);
}

TEST_F(RunLoopTest, CarriageReturnsAreStrippedFromTheFirstProjectOnly) {
    write_file(dir_ / "pml_run.pms", loop_settings);
    std::string const a = project("a.pmp");
    drive(prefix_ + "\r\nuse_interf_settings\r\n" + a + "\r\n0\r\n0\r\nend\r\n");
    EXPECT_TRUE(has(log_of("a"), "Successful run of " + a + "\n"));
    EXPECT_EQ(read_file(dir_ / "pml_pro.txt"), "error\n") << "\"end\\r\" is taken as a path";
}

TEST_F(RunLoopTest, SpecialSettingsFileIsTheOneRead) {
    write_file(dir_ / "special.pms", "[Setting for Calculations]\nTaskNumber=64\n");
    std::string const a = project("a.pmp");
    drive(prefix_ + "\nuse_spe_settings\n" + prefix_ + "special.pms\n" + a + "\n0\n0\nend\n");
    EXPECT_TRUE(has(log_of("a"), "Successful run of"));
    EXPECT_EQ(PPP->options.TaskNumber, 64);
    EXPECT_EQ(std::string(PPP->options.SettingsFileName.c_str()), prefix_ + "special.pms");
}

TEST_F(RunLoopTest, AssociatedSettingsAreCheckedForTheProjectItself) {
    // No program-wide settings file: only the project's own one counts.
    std::string const a = project("a.pmp");
    write_file(dir_ / "a.pms", "[Setting for Calculations]\nTaskNumber=2\n");
    std::string const b = project("b.pmp");
    drive(prefix_ + "\nuse_ass_settings\n" + a + "\n0\n0\n" + b + "\n0\n0\nend\n");

    std::string const log_a = log_of("a");
    EXPECT_TRUE(has(log_a, "Successful run of " + a + "\n")) << log_a;
    EXPECT_FALSE(has(log_a, "did not find")) << log_a;

    std::string const expected_b = "Log file path: " + prefix_ + "b.res/Pellomar_log.txt\n" +
                                   "Core Program Directory: " + prefix_ + "\n" +
                                   "The Core Routine did not find the associated settings:\n" +
                                   "    " + prefix_ + "b.pms\n";
    EXPECT_EQ(log_of("b"), expected_b);
    EXPECT_EQ(settings::num_proj_done, 1);
}

TEST_F(RunLoopTest, ExploreModeToleratesAMissingSettingsFile) {
    std::string const a = project("a.pmp");
    drive(prefix_ + "\nexplore\n" + a + "\n0\n0\nend\n");
    std::string const log = log_of("a");
    std::size_t const start = log.find("Exploring  " + a + " ...\n");
    ASSERT_NE(start, std::string::npos) << log;
    EXPECT_NE(log.find("done!\n", start), std::string::npos) << log;
    EXPECT_FALSE(has(log, "Opening next project")) << log;
    EXPECT_FALSE(fs::exists(dir_ / "pml_pro.txt"));
}

TEST_F(RunLoopTest, FailureExitClosesTheBatchStreams) {
    // Batch files are written to the working directory.
    fs::path const before = fs::current_path();
    fs::current_path(dir_);
    write_file(dir_ / "glbstreams.txt", "flags\n_TAJIMA_\n");
    std::string const a = project("a.pmp");
    drive(prefix_ + "\nuse_interf_settings\n" + a + "\n0\n0\nend\n");  // no settings file
    fs::current_path(before);
    EXPECT_TRUE(has(log_of("a"), "Core Routine did not find its settings in:\n"));
    EXPECT_EQ(ofs_tajima, nullptr);
    EXPECT_TRUE(has(read_file(dir_ / "tajima.sum"), "Pellomar batch run summary file"));
}

TEST_F(RunLoopTest, LongRunFileLinesAreNotCut) {
    fs::path folder = dir_;
    for (int i = 0; i < 5; ++i) folder /= std::string(100, static_cast<char>('k' + i));
    fs::create_directories(folder);
    write_file(dir_ / "pml_run.pms", loop_settings);
    fs::path const relative = fs::relative(folder, dir_) / "long.pmp";
    std::string const a = project(relative.string());
    ASSERT_GT(a.size(), 500u);
    drive(prefix_ + "\nuse_interf_settings\n" + a + "\n0\n0\nend\n");
    std::string const log = read_file(folder / "long.res" / "Pellomar_log.txt");
    EXPECT_TRUE(has(log, "Successful run of " + a + "\n")) << log;
}

TEST_F(RunLoopTest, TranslateWithEqualFormatsWritesNothing) {
    write_file(dir_ / "in.pmp", loop_project);
    drive(prefix_ + "\ntranslate\nPellomar\nPellomar\n" + prefix_ + "in.pmp\n" + prefix_ +
          "out.pmp\n");
    EXPECT_FALSE(fs::exists(dir_ / "out.pmp"));
    EXPECT_FALSE(fs::exists(dir_ / "dum_pml.pmp"));
    EXPECT_TRUE(fs::exists(dir_ / "Pellomar_log.txt")) << "the log sits beside the input";
}

TEST_F(RunLoopTest, TranslateGoesThroughTheIntermediateProject) {
    write_file(dir_ / "in.pmp", loop_project);
    drive(prefix_ + "\ntranslate\nPellomar\nGenepop\n" + prefix_ + "in.pmp\n" + prefix_ +
          "out.txt\n");
    EXPECT_EQ(read_file(dir_ / "dum_pml.pmp"), loop_project);
    EXPECT_TRUE(fs::exists(dir_ / "out.txt"));
    std::string const log = read_file(dir_ / "Pellomar_log.txt");
    EXPECT_TRUE(has(log, "Log file path: " + prefix_ + "Pellomar_log.txt\n")) << log;
    EXPECT_TRUE(has(log, "Random generator initialized with seed=-99\n")) << log;
}

// ------------------------------------------------------------ create_log_dir

TEST_F(RunLoopTest, LogFolderOnlyForAReadableProject) {
    my_string folder("unchanged");
    std::string const missing = prefix_ + "none.pmp";
    EXPECT_EQ(create_log_dir(prefix_.c_str(), missing.c_str(), folder), 0);
    EXPECT_EQ(std::string(folder.c_str()), "unchanged");
    EXPECT_EQ(read_file(dir_ / "pml_pro.txt"), "error\n");
    EXPECT_FALSE(fs::exists(dir_ / "none.res"));

    std::string const a = project("x.y.pmp");
    EXPECT_EQ(create_log_dir(prefix_.c_str(), a.c_str(), folder), 1);
    EXPECT_EQ(std::string(folder.c_str()), prefix_ + "x.y.res/");
    EXPECT_TRUE(fs::is_directory(dir_ / "x.y.res"));
}

TEST_F(RunLoopTest, ResultNamesFollowTheInputFile) {
    Project p;
    settings::input_file = "data/run.1/proj.pmp";
    p.build_res_bac_names();
    EXPECT_EQ(std::string(p.options.ResultFileName.c_str()), "data/run.1/proj.htm");
    EXPECT_EQ(std::string(p.options.BackupFileName.c_str()), "data/run.1/proj.bac");
    EXPECT_EQ(std::string(p.options.ProjectFolder.c_str()), "data/run.1/");
}

TEST_F(RunLoopTest, ProjectThatIsNotReadyDoesNotRun) {
    Project p;
    settings::input_file = project("a.pmp").c_str();
    p.ready = 0;
    EXPECT_EQ(p.run(), 0);
    EXPECT_FALSE(fs::exists(dir_ / "a.res"));
    p.ready = 1;
    EXPECT_EQ(p.run(), 1);
    EXPECT_FALSE(fs::exists(dir_ / "a.res" / "a.pmp")) << "the working copy is removed again";
}

// --------------------------------------------------------- small conversions

TEST(CommandLineConversion, DotSlashComponentsAfterASeparatorGo) {
    EXPECT_EQ(drop_dot_slash_components("./run1.pmp"), "./run1.pmp");
    EXPECT_EQ(drop_dot_slash_components("data/./run1.pmp"), "data/run1.pmp");
    EXPECT_EQ(drop_dot_slash_components("a/././b.pmp"), "a/b.pmp");
    EXPECT_EQ(drop_dot_slash_components("../data/run1.pmp"), "../data/run1.pmp");
    EXPECT_EQ(drop_dot_slash_components("a/../b/./c.pmp"), "a/../b/c.pmp");
    EXPECT_EQ(drop_dot_slash_components("x./y.pmp"), "x./y.pmp");
    EXPECT_EQ(drop_dot_slash_components("dir/.hidden/p.pmp"), "dir/.hidden/p.pmp");
    EXPECT_EQ(drop_dot_slash_components("./././p.pmp"), "./p.pmp");
    EXPECT_EQ(drop_dot_slash_components("C:\\work\\./p.pmp"), "C:\\work\\p.pmp");
}

TEST(CommandLineConversion, NumbersAreTruncatedTowardZero) {
    EXPECT_EQ(numeric_argument("2.9", 1), 2);
    EXPECT_EQ(numeric_argument("-1", 1), -1);
    EXPECT_EQ(numeric_argument("0.5", 1), 0);
    EXPECT_EQ(numeric_argument("-2.7", 1), -2);
    EXPECT_EQ(numeric_argument("run_silent", 1), 0);
    EXPECT_EQ(numeric_argument("3", 0), 3);
    EXPECT_EQ(numeric_argument("1e30", 0), INT_MAX);
    EXPECT_EQ(numeric_argument("-1e30", 0), INT_MIN);
    EXPECT_EQ(numeric_argument("nan", 7), 7);
}

TEST(CommandLineConversion, SeedTextMustBeAnIntegerInRange) {
    EXPECT_EQ(seed_from_text("1"), -1);
    EXPECT_EQ(seed_from_text("4242"), -4242);
    EXPECT_EQ(seed_from_text("161803398"), -161803398);
    for (char const* bad : {"", "0", "-5", "161803399", "12a", " 5", "5 ", "+5", "1.5",
                            "99999999999999999999999"}) {
        EXPECT_EQ(seed_from_text(bad), 1) << bad;
    }
    EXPECT_EQ(seed_from_text(nullptr), 1);
}

TEST(CommandLineConversion, RunFileHasItsSixLines) {
    fs::path const before = fs::current_path();
    fs::path const dir = fs::temp_directory_path() /
                         ("quintle_runfile_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string const physical = fs::canonical(dir).string();
    fs::current_path(dir);
    make_pml_run_txt("a dir/p q.pmp");
    std::string const text = read_file(getPmlRunString().c_str());
    fs::current_path(before);
    fs::remove_all(dir);
    EXPECT_EQ(text, physical + "\nuse_interf_settings\na dir/p q.pmp\n0\n0\nend\n");
}

}  // namespace
}  // namespace quintle
