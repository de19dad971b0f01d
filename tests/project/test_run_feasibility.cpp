// The checks between reading a project and analysing it: which scheduled
// tasks and settings the data make impossible, with their log notes, and
// when the run has to stop.

#include <gtest/gtest.h>

#include "project/project_test_support.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace fs = std::filesystem;

namespace quintle {
namespace {

using namespace test;

constexpr char dna_project[] =
    "[Profile]\n Title=\"dna\"\n NbSamples=2\n DataType=DNA\n GenotypicData=0\n LocusSeparator=NONE\n"
    "[Data]\n [[Samples]]\n"
    " SampleName=\"a\"\n SampleSize=3\n SampleData={\n h1 2 ACGT\n h2 1 ACGA\n }\n"
    " SampleName=\"b\"\n SampleSize=2\n SampleData={\n h1 1 ACGT\n h3 1 TCGT\n }\n";
constexpr char frequency_project[] =
    "[Profile]\n Title=\"freq\"\n NbSamples=2\n DataType=FREQUENCY\n GenotypicData=0\n Frequency=REL\n"
    "[Data]\n [[Samples]]\n"
    " SampleName=\"Early\"\n SampleSize=20\n SampleData={\n t1 0.25\n t2 0.75\n }\n"
    " SampleName=\"Late\"\n SampleSize=10\n SampleData={\n t2 0.5\n t3 0.5\n }\n";
constexpr char unphased_project[] =
    "[Profile]\n Title=\"geno\"\n NbSamples=1\n DataType=STANDARD\n GenotypicData=1\n GameticPhase=0\n"
    " LocusSeparator=NONE\n MissingData='?'\n"
    "[Data]\n [[Samples]]\n"
    " SampleName=\"f\"\n SampleSize=3\n SampleData={\n i1 2 AB\n CD\n i2 1 AA\n AB\n }\n";

class RunFeasibilityTest : public ProjectDirTest {
protected:
    // Reads the project text into `p` with the given settings changes
    // applied to its default settings (whose dememorisation steps are raised
    // out of the way unless a case sets them).
    void read(Project& p, std::string const& text, std::function<void(settings&)> const& adjust) {
        fs::path const file = dir / "p.pmp";
        std::ofstream(file, std::ios::binary) << text;
        settings::input_file = file.string().c_str();
        p.options.ProjectFolder = (dir.string() + "/").c_str();
        p.options.MarkovChainDememorisationStepsLD = 5000;
        p.options.MarkovChainDememorisationStepsHW = 5000;
        p.options.ComputeDistanceMatrixAMOVA = 0;
        adjust(p.options);
        p.RunSettings = &p.options;
        ASSERT_EQ(p.newOpen(), 1) << log();
    }
};

// True when every text occurs in the log, in the order given.
bool in_order(std::string const& log, std::vector<std::string> const& texts) {
    std::size_t at = 0;
    for (std::string const& t : texts) {
        at = log.find(t, at);
        if (at == std::string::npos) return false;
        at += t.size();
    }
    return true;
}

constexpr char hw_haplotypic[] = "     !!!Hardy-Weinberg disequilibrium test is not possible on Haplotypic data,\n"
                                 "        this task will be skipped.\n";
constexpr char assignment_note[] = "   !!!The computation of the likelihood of all individuals in each\n"
                                   "      population is only possible for Genotypic data \n"
                                   "      skipping the task...\n";
constexpr char no_matrix_note[] =
    "    !!!No matrix was specified in input file, Pellomar will compute it from the data\n";
constexpr char no_molecular_note[] =
    "   !!!No molecular information is available for testing genetic structure,\n"
    "      haplotype frequencies will be used, and conventional Fst will be computed\n";
constexpr char no_structure_note[] = "  An AMOVA analysis was selected and no Genetic structure\n"
                                     "  is defined, AMOVA task is skipped.\n";

TEST_F(RunFeasibilityTest, ImpossibleTasksAreDroppedWithTheirNotes) {
    struct Case {
        char const* name;
        std::string project;
        std::function<void(settings&)> adjust;
        std::int64_t tasksAfter;
        std::vector<std::string> notes;  // in log order
        std::function<void(settings const&)> check;
    };
    auto none = [](settings const&) {};
    Case const cases[] = {
        {"HW and assignment on haplotypic data", dna_project,
         [](settings& s) { s.TaskNumber = 0x20 | 0x8000 | 0x1; }, 0x1, {hw_haplotypic, assignment_note}, none},
        {"FREQUENCY data, AMOVA without a matrix", frequency_project,
         [](settings& s) { s.TaskNumber = 0x200; }, 0x200, {no_matrix_note, no_molecular_note},
         [](settings const& s) {
             EXPECT_EQ(s.ComputeDistanceMatrixAMOVA, 1);
             EXPECT_EQ(s.ComputeConventionalFST, 1);
         }},
        {"haplotype AMOVA without a structure", dna_project,
         [](settings& s) {
             s.TaskNumber = 0x200 | 0x400;
             s.HaplAMOVA = 1;
         },
         0x400, {no_matrix_note, "from function \"Project::IsAmovaStructure()\" : no samples have been defined",
                 "from function \"Project::IsAmovaStructure()\" : no group(s) have been defined",
                 no_structure_note},
         none},
        {"Mantel test on FST switches pairwise FST on", dna_project,
         [](settings& s) { s.TaskNumber = 0x10000; }, 0x10000 | 0x400, {}, none},
        {"HW test on recessive genotypic data", unphased_project,
         [](settings& s) {
             s.TaskNumber = 0x20;
             s.RecessiveAllelesEM = 1;
         },
         0x0,
         {"   !!!Hardy-Weinberg disequilibrium test is not possible with recessive data,\n"
          "      skipping task...\n"},
         none},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Project p;
        read(p, c.project, c.adjust);
        std::fstream result_stream((dir / "result.txt").string(), std::ios::out | std::ios::trunc);
        p.options.ResultFile = &result_stream;
        EXPECT_EQ(p.make_run_possible(), 1);
        result_stream.close();
        EXPECT_EQ(p.options.TaskNumber, c.tasksAfter);
        std::string const text = log();
        EXPECT_TRUE(in_order(text, c.notes)) << text;
        // Without notes to expect, no task note at all.
        if (c.notes.empty()) {
            EXPECT_EQ(text.find("!!!"), std::string::npos) << text;
        }
        // The AMOVA note also goes to the result file, and only that one.
        bool const amova_note = text.find(no_structure_note) != std::string::npos;
        EXPECT_EQ(slurp(dir / "result.txt"), amova_note ? std::string(no_structure_note) : std::string());
        c.check(p.options);
    }
}

TEST_F(RunFeasibilityTest, TooFewDememorisationStepsAreRaisedTo1000) {
    struct Case {
        std::int64_t ld, hw, ldAfter, hwAfter;
    };
    for (Case const c : {Case{499, 5000, 1000, 5000}, Case{500, 999, 500, 999}, Case{2000, 100, 2000, 1000}}) {
        SCOPED_TRACE(std::to_string(c.ld) + "/" + std::to_string(c.hw));
        TearDown();
        SetUp();
        Project p;
        read(p, dna_project, [&](settings& s) {
            s.MarkovChainDememorisationStepsLD = c.ld;
            s.MarkovChainDememorisationStepsHW = c.hw;
        });
        // No task asks for either test: the floor holds anyway.
        p.options.TaskNumber = 0;
        p.options.MarkovChainDememorisationStepsLD = c.ld;
        p.options.MarkovChainDememorisationStepsHW = c.hw;
        EXPECT_EQ(p.make_run_possible(), 1);
        EXPECT_EQ(p.options.MarkovChainDememorisationStepsLD, c.ldAfter);
        EXPECT_EQ(p.options.MarkovChainDememorisationStepsHW, c.hwAfter);
        std::string const text = log();
        std::string const ld_note = " Too few steps for dememorization (" + std::to_string(c.ld) +
                                    " ) in linkage disequilibrium test, setting it to 1000...\n";
        std::string const hw_note = " Too few steps for dememorization (" + std::to_string(c.hw) +
                                    " ) in Hardy-Weinberg disequilibrium test, setting it to 1000...\n";
        EXPECT_EQ(text.find(ld_note) != std::string::npos, c.ld < 500) << text;
        EXPECT_EQ(text.find(hw_note) != std::string::npos, c.hw < 500) << text;
    }
}

TEST_F(RunFeasibilityTest, NoSampleStopsBeforeAnyVectorIsBuilt) {
    Project p;
    p.options.TaskNumber = 0x1;
    EXPECT_EQ(p.make_run_possible(), 0);
    std::string const text = log();
    EXPECT_NE(text.find("[ERROR # 1] from function \"Project::make_run_possible()\" : no samples have been defined"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Building vectors"), std::string::npos) << text;
}

// One group of one sample passes; several groups of one sample each, or an
// empty structure, do not.
TEST_F(RunFeasibilityTest, AmovaStructureNeedsSamplesGroupsAndMoreSamplesThanGroups) {
    struct Case {
        int samplesInGroups, groups, usable;
        std::vector<int> messages;
    };
    for (Case const& c : {Case{1, 1, 1, {}}, Case{3, 3, 0, {125}}, Case{0, 0, 0, {123, 124, 125}},
                          Case{3, 2, 1, {}}, Case{0, 2, 0, {123}}}) {
        SCOPED_TRACE(std::to_string(c.samplesInGroups) + " in " + std::to_string(c.groups));
        TearDown();
        SetUp();
        Project p;
        p.structure->NbSamplesInGroups = c.samplesInGroups;
        p.structure->NbGroups = c.groups;
        EXPECT_EQ(p.IsAmovaStructure(), c.usable);
        std::string const text = log();
        std::vector<std::string> lines;
        for (int m : c.messages)
            lines.push_back("[WARNING # " + std::to_string(lines.size() + 1) +
                            "] from function \"Project::IsAmovaStructure()\" : " + Errors::message(m) + "\n");
        EXPECT_TRUE(in_order(text, lines)) << text;
        EXPECT_EQ(text.find("WARNING # " + std::to_string(c.messages.size() + 1)), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace quintle
