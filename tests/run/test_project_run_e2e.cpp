// The run of one project, end to end: the real program on the small
// projects of tests/data/run in a fresh working directory (result folder,
// frame, result file, log, statistics file), and the project loop called
// in-process where two projects, or the settings after a run, are compared.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "core/scratch.h"
#include "core/Errors.h"
#include "core/public.h"
#include "project/Project.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"
#include "run/pmlestart.h"
#include "run/settings.h"
#include "sumstat/TSumStat.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR) / "run";

using quintle::scratch::read_file;
using quintle::scratch::write_file;

bool has(std::string const& text, std::string const& part) { return text.find(part) != std::string::npos; }

bool ends_with(std::string const& text, std::string const& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::size_t occurrences(std::string const& text, std::string const& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// The first line of a text, with its line end.
std::string first_line(std::string const& text) { return text.substr(0, text.find('\n') + 1); }

class WorkDir : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        work = fs::temp_directory_path() /
               ("quintle_run_e2e_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        fs::remove_all(work);
        fs::create_directories(work);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(work, ec);
    }

    // Copies the project, writes the settings and the statistics list.
    void prepare(char const* project, std::string const& ssdefs, bool xml = false) {
        fs::copy_file(data_dir / project, work / "p.pmp");
        std::string settings_text = read_file(data_dir / "html.pms");
        if (xml) settings_text.replace(settings_text.find("XMLOutput=0"), 11, "XMLOutput=1");
        write_file(work / "pml_run.pms", settings_text);
        write_file(work / "ssdefs.txt", ssdefs);
    }

    // Runs the program in the work directory with a fixed seed; its exit
    // status, or -1 when it did not end normally.
    int run(std::string const& arguments) {
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=7 '" + QUINTLE_BINARY + "' " +
                                    arguments + " > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string log() const { return read_file(work / "p.res" / "Pellomar_log.txt"); }

    fs::path work;
};

std::string const intra_population = "\n== ANALYSES AT THE INTRA-POPULATION LEVEL\n";
std::string const intra_group = "\n== ANALYSES AT THE INTRA-GROUP LEVEL\n";

TEST_F(WorkDir, PopulationLevelRunWritesItsFrameResultLogAndLine) {
    prepare("dna_groups.pmp", "POP_LEVEL\nALL_K\n");
    ASSERT_EQ(run("p.pmp stats.txt 0 1"), 0);

    fs::path const res = work / "p.res";
    for (char const* file : {"p.htm", "p_main.htm", "p_tree.htm", "p.js", "Pellomar_log.txt"})
        EXPECT_TRUE(fs::exists(res / file)) << file;
    EXPECT_FALSE(fs::exists(res / "p.pmp")) << "the working copy is removed";

    std::string const result = read_file(res / "p.htm");
    EXPECT_EQ(result.rfind("\n<html>\n<!--Pellomar results file-->\n", 0), 0u);
    EXPECT_TRUE(ends_with(result, "\n</body>\n</PRE>\n</html>\n\n"));
    EXPECT_TRUE(has(result, "\nProject information:\n--------------------\n\tNbSamples      =  3\n"
                            "\tDataType       =  DNA\n\tGenotypicData  =  0\n\n"));
    EXPECT_EQ(occurrences(result, intra_population), 1u);
    EXPECT_FALSE(has(result, intra_group));

    // The run heading and the end-of-run lines carry the same number and a
    // date between one pair of parentheses; the time is split into units.
    std::regex const heading("\n/{68}\nRUN NUMBER 1 \\(\\d\\d/\\d\\d/\\d\\d at \\d\\d:\\d\\d:\\d\\d\\)\n/{68}\n\n");
    std::regex const ending("\n/{68}\nEND OF RUN NUMBER 1 \\(\\d\\d/\\d\\d/\\d\\d at \\d\\d:\\d\\d:\\d\\d\\)"
                            "\nTotal computing time for this run : \\d+h \\d+m \\d+s \\d+ ms\n/{68}\n\n");
    EXPECT_TRUE(std::regex_search(result, heading));
    EXPECT_TRUE(std::regex_search(result, ending));
    std::string const text = log();
    EXPECT_TRUE(std::regex_search(text, ending)) << text;
    EXPECT_TRUE(has(text, "Successful run of p.pmp\n")) << text;
    for (char const* sample : {"a", "b", "c"}) EXPECT_TRUE(has(text, std::string("Population '") + sample + "'"));

    // The menu script: root, log entry, run folder, then the pass's folder.
    std::string const menu = read_file(res / "p.js");
    EXPECT_TRUE(has(menu, "foldersTree = gFld(\"<i>PELLOMAR RESULTS (p.pmp)</i>\", \"\")\n"
                          "insDoc(foldersTree, gLnk(\"R\", \"Pellomar log file\", \"Pellomar_log.txt\"))\n"
                          "\taux1 = insFld(foldersTree, gFld(\"Run of "))
        << menu;
    EXPECT_TRUE(has(menu, "\t\taux2 = insFld(aux1, gFld(\"Samples\", \"\"))\n")) << menu;
    EXPECT_TRUE(has(read_file(res / "p_main.htm"), "<FRAME SRC=\"p.htm\" name=\"basefrm\">"));

    // A header line and a value line of as many fields.
    std::string const stats = read_file(work / "stats.txt");
    EXPECT_EQ(first_line(stats), "K_1\tK_2\tK_3\t\n");
    EXPECT_EQ(occurrences(stats, "\n"), 2u) << stats;
    EXPECT_EQ(occurrences(stats, "\t"), 6u) << stats;
}

TEST_F(WorkDir, BothLevelsShareOneHeaderAndOneValueLineGroupsFirst) {
    prepare("dna_groups.pmp", "GROUP_LEVEL\nPOP_LEVEL\nALL_K\n");
    ASSERT_EQ(run("p.pmp stats.txt 0 1"), 0);

    std::string const stats = read_file(work / "stats.txt");
    EXPECT_EQ(first_line(stats), "gr_K_1\tgr_K_2\tK_1\tK_2\tK_3\t\n");
    EXPECT_EQ(occurrences(stats, "\n"), 2u) << stats;
    EXPECT_EQ(occurrences(stats, "\t"), 10u) << stats;

    // The group pass names its pooled samples and shows the project's own
    // structure under its banner, before the population pass.
    std::string const result = read_file(work / "p.res" / "p.htm");
    std::size_t const group_at = result.find(intra_group);
    std::size_t const population_at = result.find(intra_population);
    ASSERT_NE(group_at, std::string::npos);
    ASSERT_NE(population_at, std::string::npos);
    EXPECT_LT(group_at, population_at);
    EXPECT_NE(result.find("StructureName = \"a versus the rest\"", group_at), std::string::npos);
    std::string const text = log();
    EXPECT_LT(text.find("Population 'Group1'"), text.find("Population 'a'"));
    EXPECT_TRUE(has(text, "Population 'Group2'"));
    // The Hardy-Weinberg test is dropped once, for both passes.
    EXPECT_EQ(occurrences(text, "Hardy-Weinberg disequilibrium test is not possible on Haplotypic data"), 1u);
    EXPECT_TRUE(has(text, "Successful run of p.pmp\n"));
}

TEST_F(WorkDir, XmlOutputGetsTheSameFrame) {
    prepare("dna_groups.pmp", "POP_LEVEL\nALL_K\n", true);
    ASSERT_EQ(run("p.pmp stats.txt 0 1"), 0);
    fs::path const res = work / "p.res";
    EXPECT_FALSE(fs::exists(res / "p.htm"));
    std::string const result = read_file(res / "p.xml");
    EXPECT_EQ(result.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<?xml-stylesheet type=\"text/xsl\" "
                           "href=\"file:///",
                           0),
              0u);
    EXPECT_TRUE(has(result, "PellomarStyleSheet.xsl\"?>\n<!--Pellomar results file-->\n\n<Pellomar>\n\n<data>\n"));
    EXPECT_TRUE(ends_with(result, "\n</data>\n\n</Pellomar>\n\n"));
    EXPECT_TRUE(has(result, "</data> <run time=\""));
    EXPECT_TRUE(has(read_file(res / "p_main.htm"), "<FRAME SRC=\"p.xml\" name=\"basefrm\">"));
}

TEST_F(WorkDir, NeitherLevelRunsNoPassAndAddsNoLine) {
    prepare("dna_groups.pmp", "ALL_K\n");
    write_file(work / "stats.txt", "earlier\n");
    ASSERT_EQ(run("p.pmp stats.txt 1 1"), 0);
    EXPECT_EQ(read_file(work / "stats.txt"), "earlier\n");
    std::string const result = read_file(work / "p.res" / "p.htm");
    EXPECT_TRUE(has(result, "\nProject information:"));
    EXPECT_TRUE(has(result, "END OF RUN NUMBER 1 ("));
    EXPECT_FALSE(has(result, "ANALYSES AT THE"));
    std::string const text = log();
    EXPECT_FALSE(has(text, "Population '")) << text;
    EXPECT_TRUE(has(text, "Successful run of p.pmp\n")) << text;
}

TEST_F(WorkDir, FailingProjectsAreLoggedAndTheStatisticsFileIsStillWritten) {
    for (char const* project : {"not_a_project.pmp", "bad_section.pmp"}) {
        SCOPED_TRACE(project);
        TearDown();
        SetUp();
        prepare(project, "POP_LEVEL\nALL_K\n");
        write_file(work / "stats.txt", "earlier\n");
        ASSERT_EQ(run("p.pmp stats.txt 0 1"), 0);
        EXPECT_TRUE(fs::exists(work / "stats.txt"));
        EXPECT_EQ(read_file(work / "stats.txt"), "") << "truncated, and no line for a failed project";
        std::string const text = log();
        EXPECT_TRUE(has(text, "Error opening project... ")) << text;
        EXPECT_TRUE(has(text, "Error during run of p.pmp\n")) << text;
        EXPECT_EQ(read_file(work / "pml_pro.txt"), "error\n");
        // The result file is closed with its footer all the same.
        std::string const result = read_file(work / "p.res" / "p.htm");
        EXPECT_TRUE(has(result, "\n</body>\n</PRE>\n</html>\n")) << result;
        EXPECT_FALSE(has(result, "Project information:"));
    }
}

// ------------------------------------------------ in-process project loop

// The loop of the run driver on a run file written under the test folder,
// with the statistics list set as `main` sets it.
class InProcessRun : public WorkDir {
protected:
    void SetUp() override {
        WorkDir::SetUp();
        ::setenv("QUINTLE_SEED", "11", 1);
        SumStat.resetComputationFlags();
        SumStat.computing = true;
        SumStat.POP_LEVEL = true;
        SumStat.ALL_K = true;
    }
    void TearDown() override {
        release_run_globals();
        SumStat.resetComputationFlags();
        SumStat.computing = false;
        ::unsetenv("QUINTLE_SEED");
        ProfileSettings::LocusSeparator = 0;
        WorkDir::TearDown();
    }

    void drive(std::vector<std::string> const& projects) {
        std::string const prefix = work.string() + "/";
        std::string text = prefix + "\nuse_interf_settings\n";
        for (std::string const& p : projects) text += prefix + p + "\n0\n0\n";
        text += "end\n";
        write_file(prefix + getPmlRunString().c_str(), text);
        std::string directory = prefix;
        pmlestart(directory.data());
    }

    // Every key of the settings after the run, as a settings file.
    std::string settings_after() {
        fs::path const file = work / "after.pms";
        PPP->options.print_settings(my_string(file.string().c_str()));
        return read_file(file);
    }
};

// A project whose settings ask for tasks the data make impossible: a
// Hardy-Weinberg test on haplotypic data, an AMOVA without a structure and
// too few dememorisation steps.
constexpr char adapted_settings[] =
    "[Setting for Calculations]\nTaskNumber=545\nXMLOutput=0\nHaplAMOVA=1\nComputeDistanceMatrixAMOVA=1\n"
    "MarkovChainDememorisationStepsLD=100\nMarkovChainDememorisationStepsHW=1000\nIncludeIndividualLevel=1\n";
constexpr char ungrouped_project[] =
    "[Profile]\n Title=\"u\"\n NbSamples=2\n DataType=DNA\n GenotypicData=0\n LocusSeparator=NONE\n"
    "[Data]\n [[Samples]]\n"
    " SampleName=\"a\"\n SampleSize=2\n SampleData={\n h1 1 ACGT\n h2 1 ACGA\n }\n"
    " SampleName=\"b\"\n SampleSize=2\n SampleData={\n h1 1 ACGT\n h3 1 TCGT\n }\n";

TEST_F(InProcessRun, GroupPassLeavesTheCheckedSettingsToThePopulationPass) {
    write_file(work / "pml_run.pms", adapted_settings);
    write_file(work / "u.pmp", ungrouped_project);
    drive({"u.pmp"});
    std::string const population_only = settings_after();
    EXPECT_EQ(PPP->options.TaskNumber, 1) << "HW and AMOVA dropped";
    EXPECT_EQ(PPP->options.MarkovChainDememorisationStepsLD, 1000);
    EXPECT_EQ(PPP->options.IncludeIndividualLevel, 0);

    SumStat.resetComputationFlags();
    SumStat.GROUP_LEVEL = SumStat.POP_LEVEL = SumStat.ALL_K = true;
    drive({"u.pmp"});
    EXPECT_EQ(settings_after(), population_only);
    std::string const text = read_file(work / "u.res" / "Pellomar_log.txt");
    EXPECT_TRUE(has(text, "Successful run of ")) << text;
    EXPECT_EQ(occurrences(text, "Hardy-Weinberg disequilibrium test is not possible"), 1u) << text;
    EXPECT_EQ(occurrences(text, "Too few steps for dememorization (100 )"), 1u) << text;
    EXPECT_EQ(occurrences(read_file(work / "u.res" / "u.htm"), "AMOVA task is skipped."), 1u);
}

// The separator of a project does not leak into the working copy of the
// next one: a sample name holding that character keeps it.
TEST_F(InProcessRun, NextProjectIsCleanedWithoutThePreviousSeparator) {
    write_file(work / "pml_run.pms", "[Setting for Calculations]\nTaskNumber=1\nXMLOutput=0\n");
    write_file(work / "first.pmp", "[Profile]\n Title=\"first\"\n NbSamples=1\n DataType=STANDARD\n LocusSeparator=','\n");
    write_file(work / "second.pmp",
        "[Profile]\n Title=\"second\"\n NbSamples=1\n DataType=DNA\n GenotypicData=0\n LocusSeparator=NONE\n"
        "[Data]\n [[Samples]]\n SampleName=\"x,y\"\n SampleSize=1\n SampleData={\n h1 1 ACGT\n }\n");
    drive({"first.pmp", "second.pmp"});
    EXPECT_TRUE(has(read_file(work / "first.res" / "Pellomar_log.txt"), "Error during run of "));
    std::string const text = read_file(work / "second.res" / "Pellomar_log.txt");
    EXPECT_TRUE(has(text, "Reading x,y ...")) << text;
    EXPECT_TRUE(has(text, "Successful run of ")) << text;
}

TEST(ComputingTime, MillisecondsSplitIntoUnits) {
    EXPECT_EQ(computing_time_text(3725004), "1h 2m 5s 4 ms");
    EXPECT_EQ(computing_time_text(0), "0h 0m 0s 0 ms");
    EXPECT_EQ(computing_time_text(59999), "0h 0m 59s 999 ms");
    EXPECT_EQ(computing_time_text(90000000), "25h 0m 0s 0 ms");
}

}  // namespace
}  // namespace quintle
