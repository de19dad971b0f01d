// The run of projects: the real program on the small projects of
// tests/data/run (result folder, frame, result file, log, statistics file),
// and the run driver called in-process where the state left between two
// projects, or the settings after a run, are compared.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "core/scratch.h"
#include "core/xml.h"
#include "core/public.h"
#include "mantel/Mantel.h"
#include "project/Project.h"
#include "run/ProfileSettings.h"
#include "run/pmlestart.h"
#include "run/settings.h"
#include "sumstat/TSumStat.h"
#include "support/process_state.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

using scratch::read_file;
using scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR) / "run";

bool has(std::string const& text, std::string const& part) { return text.find(part) != std::string::npos; }

std::size_t occurrences(std::string const& text, std::string const& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

class WorkDir : public ::testing::Test {
protected:
    // Copies the project, writes the settings and the statistics list.
    void prepare(char const* project, std::string const& ssdefs, bool xml = false) {
        fs::copy_file(data_dir / project, work / "p.pmp");
        std::string settings_text = read_file(data_dir / "html.pms");
        if (xml) settings_text.replace(settings_text.find("XMLOutput=0"), 11, "XMLOutput=1");
        write_file(work / "pml_run.pms", settings_text);
        write_file(work / "ssdefs.txt", ssdefs);
    }

    // Exit status of the program run in the work directory with a fixed seed.
    int run(std::string const& arguments) {
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=7 '" + QUINTLE_BINARY + "' " +
                                    arguments + " > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string log(char const* res = "p.res") const { return read_file(work / res / "Pellomar_log.txt"); }

    scratch::Dir dir{"quintle_run_e2e"};
    fs::path work = dir.path();
};

TEST_F(WorkDir, PopulationLevelRunWritesItsFrameResultLogAndLine) {
    prepare("dna_groups.pmp", "POP_LEVEL\nALL_K\n");
    ASSERT_EQ(run("p.pmp stats.txt 0 1"), 0);

    fs::path const res = work / "p.res";
    EXPECT_FALSE(fs::exists(res / "p.pmp")) << "the working copy is removed";

    std::string const result = read_file(res / "p.htm");
    EXPECT_EQ(result.rfind("\n<html>\n<!--Pellomar results file-->\n", 0), 0u);
    EXPECT_EQ(result.substr(result.size() - 25), "\n</body>\n</PRE>\n</html>\n\n");
    EXPECT_TRUE(has(result, "\nProject information:\n--------------------\n\tNbSamples      =  3\n"
                            "\tDataType       =  DNA\n\tGenotypicData  =  0\n\n"));
    EXPECT_EQ(occurrences(result, "\n== ANALYSES AT THE INTRA-POPULATION LEVEL\n"), 1u);

    // Heading and ending carry the run number and one date; the time is split into units.
    std::regex const ending("\n/{68}\nEND OF RUN NUMBER 1 \\(\\d\\d/\\d\\d/\\d\\d at \\d\\d:\\d\\d:\\d\\d\\)"
                            "\nTotal computing time for this run : \\d+h \\d+m \\d+s \\d+ ms\n/{68}\n\n");
    EXPECT_TRUE(std::regex_search(
        result, std::regex("\n/{68}\nRUN NUMBER 1 \\(\\d\\d/\\d\\d/\\d\\d at \\d\\d:\\d\\d:\\d\\d\\)\n/{68}\n\n")));
    EXPECT_TRUE(std::regex_search(result, ending));
    std::string const text = log();
    EXPECT_TRUE(std::regex_search(text, ending)) << text;
    EXPECT_TRUE(has(text, "Successful run of p.pmp\n")) << text;

    // The menu script: root, log entry, run folder, then the pass's folder.
    std::string const menu = read_file(res / "p.js");
    EXPECT_TRUE(has(menu, "foldersTree = gFld(\"<i>PELLOMAR RESULTS (p.pmp)</i>\", \"\")\n"
                          "insDoc(foldersTree, gLnk(\"R\", \"Pellomar log file\", \"Pellomar_log.txt\"))\n"
                          "\taux1 = insFld(foldersTree, gFld(\"Run of "))
        << menu;
    EXPECT_TRUE(has(read_file(res / "p_main.htm"), "<FRAME SRC=\"p.htm\" name=\"basefrm\">"));
    // Each sample holds two distinct sequences.
    EXPECT_EQ(read_file(work / "stats.txt"), "K_1\tK_2\tK_3\t\n2\t2\t2\t\n");
}

TEST_F(WorkDir, XmlOutputGetsTheSameFrame) {
    prepare("dna_groups.pmp", "POP_LEVEL\nALL_K\n", true);
    ASSERT_EQ(run("p.pmp stats.txt 0 1"), 0);
    fs::path const res = work / "p.res";
    EXPECT_FALSE(fs::exists(res / "p.htm"));
    std::string const result = read_file(res / "p.xml");
    EXPECT_EQ(result.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<?xml-stylesheet type=\"text/xsl\" "
                           "href=\"file:///", 0), 0u);
    EXPECT_TRUE(has(result, "PellomarStyleSheet.xsl\"?>\n<!--Pellomar results file-->\n\n<Pellomar>\n\n<data>\n"));
    EXPECT_EQ(result.substr(result.size() - 23), "\n</data>\n\n</Pellomar>\n\n");
    EXPECT_TRUE(has(result, "</data> <run time=\""));
    EXPECT_TRUE(has(read_file(res / "p_main.htm"), "<FRAME SRC=\"p.xml\" name=\"basefrm\">"));
}

TEST_F(WorkDir, FailingProjectsAreLoggedAndTheStatisticsFileIsStillWritten) {
    for (char const* project : {"not_a_project.pmp", "bad_section.pmp"}) {
        SCOPED_TRACE(project);
        fs::remove_all(work);
        fs::create_directories(work);
        prepare(project, "POP_LEVEL\nALL_K\n");
        write_file(work / "stats.txt", "earlier\n");
        ASSERT_EQ(run("p.pmp stats.txt 0 1"), 0);
        EXPECT_TRUE(fs::exists(work / "stats.txt"));
        EXPECT_EQ(read_file(work / "stats.txt"), "") << "truncated, and no line for a failed project";
        EXPECT_TRUE(has(log(), "Error opening project... ")) << log();
        EXPECT_TRUE(has(log(), "Error during run of p.pmp\n")) << log();
        EXPECT_EQ(read_file(work / "pml_pro.txt"), "error\n");
        // The result file is closed with its footer all the same.
        std::string const result = read_file(work / "p.res" / "p.htm");
        EXPECT_TRUE(has(result, "\n</body>\n</PRE>\n</html>\n")) << result;
        EXPECT_FALSE(has(result, "Project information:"));
    }
}

// ------------------------------------------------ in-process run driver

// The driver on a run file written under the work folder, with the
// statistics list set as `main` sets it. The process-wide state a run sets
// is put back afterwards.
class InProcessRun : public WorkDir {
protected:
    void SetUp() override {
        ::setenv("QUINTLE_SEED", "11", 1);
        SumStat.computing = SumStat.POP_LEVEL = SumStat.ALL_K = true;
    }
    void TearDown() override {
        release_run_globals();
        ::unsetenv("QUINTLE_SEED");
    }

private:
    test::LogGuard log_{"quintle_in_process"};
    test::ProfileGuard profile_;
    test::SumStatGuard sumStat_;
    test::AllelicDBGuard projectAlleles_;
    test::HitsGuard hits_;
    test::Saved<bool> xml_{xmlOutput};
    test::Saved<my_string> input_{settings::input_file};

protected:

    // `head` is the run-file line after the directory line.
    void drive(std::vector<std::string> const& projects, std::string const& head = "use_interf_settings") {
        std::string text = prefix + "\n" + head + "\n";
        for (std::string const& p : projects) text += prefix + p + "\n0\n0\n";
        write_file(prefix + getPmlRunString().c_str(), text + "end\n");
        std::string directory = prefix;
        pmlestart(directory.data());
    }

    // Every key of the settings after the run, as a settings file.
    std::string settings_after() {
        fs::path const file = work / "after.pms";
        PPP->options.print_settings(my_string(file.string().c_str()));
        return read_file(file);
    }

    std::string const prefix = work.string() + "/";
};

constexpr char one_sample[] =
    "[Profile]\n NbSamples=1\n DataType=DNA\n GenotypicData=0\n LocusSeparator=NONE\n"
    "[Data]\n [[Samples]]\n SampleName=\"s\"\n SampleSize=1\n SampleData={\n h 1 AC\n }\n";

// The associated settings are checked for the project itself, not the one before.
TEST_F(InProcessRun, AssociatedSettingsAreCheckedForTheProjectItself) {
    write_file(work / "a.pmp", one_sample);
    write_file(work / "a.pms", "[Setting for Calculations]\nTaskNumber=2\n");
    write_file(work / "b.pmp", one_sample);
    drive({"a.pmp", "b.pmp"}, "use_ass_settings");
    EXPECT_TRUE(has(log("a.res"), "Successful run of " + prefix + "a.pmp\n"));
    EXPECT_EQ(log("b.res"), "Log file path: " + prefix + "b.res/Pellomar_log.txt\nCore Program Directory: " + prefix +
                                "\nThe Core Routine did not find the associated settings:\n    " + prefix + "b.pms\n" +
                                "Error during run of " + prefix + "b.pmp\n");
    EXPECT_EQ(settings::num_proj_done, 1);
}

// A project whose settings ask for tasks the data make impossible: a
// Hardy-Weinberg test on haplotypic data, an AMOVA without a structure and
// too few dememorisation steps. The group pass must not undo the checks.
TEST_F(InProcessRun, GroupPassLeavesTheCheckedSettingsToThePopulationPass) {
    write_file(work / "pml_run.pms",
               "[Setting for Calculations]\nTaskNumber=545\nXMLOutput=0\nHaplAMOVA=1\nComputeDistanceMatrixAMOVA=1\n"
               "MarkovChainDememorisationStepsLD=100\nMarkovChainDememorisationStepsHW=1000\nIncludeIndividualLevel=1\n");
    write_file(work / "u.pmp",
               "[Profile]\n Title=\"u\"\n NbSamples=2\n DataType=DNA\n GenotypicData=0\n LocusSeparator=NONE\n"
               "[Data]\n [[Samples]]\n SampleName=\"a\"\n SampleSize=2\n SampleData={\n h1 1 ACGT\n h2 1 ACGA\n }\n"
               " SampleName=\"b\"\n SampleSize=2\n SampleData={\n h1 1 ACGT\n h3 1 TCGT\n }\n");
    drive({"u.pmp"});
    std::string const population_only = settings_after();
    EXPECT_EQ(PPP->options.TaskNumber, 1) << "HW and AMOVA dropped";
    EXPECT_EQ(PPP->options.MarkovChainDememorisationStepsLD, 1000);
    EXPECT_EQ(PPP->options.IncludeIndividualLevel, 0);

    SumStat.GROUP_LEVEL = true;
    drive({"u.pmp"});
    EXPECT_EQ(settings_after(), population_only);
    std::string const text = log("u.res");
    EXPECT_TRUE(has(text, "Successful run of ")) << text;
    EXPECT_EQ(occurrences(text, "Hardy-Weinberg disequilibrium test is not possible"), 1u) << text;
    EXPECT_EQ(occurrences(text, "Too few steps for dememorization (100 )"), 1u) << text;
    EXPECT_EQ(occurrences(read_file(work / "u.res" / "u.htm"), "AMOVA task is skipped."), 1u);
}

// Neither a project's separator nor its Mantel section leaks into the next
// project: a sample name holding that character keeps it, and the Mantel
// record is empty.
TEST_F(InProcessRun, NextProjectStartsWithoutThePreviousSeparatorOrMantelSection) {
    write_file(work / "pml_run.pms", "[Setting for Calculations]\nTaskNumber=1\nXMLOutput=0\n");
    write_file(work / "first.pmp", "[Profile]\n Title=\"first\"\n NbSamples=1\n DataType=STANDARD\n LocusSeparator=','\n");
    std::string const second =
        "[Profile]\n Title=\"second\"\n NbSamples=1\n DataType=DNA\n GenotypicData=0\n LocusSeparator=NONE\n"
        "[Data]\n [[Samples]]\n SampleName=\"x,y\"\n SampleSize=1\n SampleData={\n h1 1 ACGT\n }\n";
    write_file(work / "second.pmp", second);
    write_file(work / "mantel.pmp", second + "[[Mantel]]\nMatrixSize=3\nMatrixNumber=2\nYMatrix=\"fst\"\n"
                                             "YMatrixLabels={ a b c }\nDistMatMantel={\n0\n1 0\n2 3 0\n}\n"
                                             "UsedYMatrixLabels={ a b c }\n");
    drive({"first.pmp", "second.pmp"});
    EXPECT_TRUE(has(log("first.res"), "Error during run of "));
    EXPECT_TRUE(has(log("second.res"), "Reading x,y ...")) << log("second.res");
    EXPECT_TRUE(has(log("second.res"), "Successful run of ")) << log("second.res");

    drive({"mantel.pmp"});
    ASSERT_NE(PPP, nullptr);
    EXPECT_EQ(PPP->mantel.MatrixSize, 3) << "the section was read";
    drive({"mantel.pmp", "second.pmp"});
    EXPECT_EQ(PPP->mantel.MatrixSize, 0);
    EXPECT_TRUE(PPP->mantel.YMatrixLabels.empty());
}

}  // namespace
}  // namespace quintle
