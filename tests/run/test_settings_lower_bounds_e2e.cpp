// Counts below what their use means, refused before any analysis as the
// other settings out of range are, and the individual level asked for on
// haploid data: the real program on the small DNA project of
// tests/data/hardening.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/scratch.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

using scratch::read_file;
using scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR) / "hardening";

bool has(std::string const& text, std::string const& part) { return text.find(part) != std::string::npos; }

std::size_t count(std::string const& text, std::string const& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

class LowerBounds : public ::testing::Test {
protected:
    void prepare(std::string const& settings, std::string const& ssdefs, std::string const& stats) {
        fs::copy_file(data_dir / "two_groups.pmp", work / "p.pmp", fs::copy_options::overwrite_existing);
        // The first line naming a key wins: the defaults fill in the rest.
        write_file(work / "pml_run.pms", "[Setting for Calculations]\nXMLOutput=0\n" + settings +
                                             read_file(fs::path(QUINTLE_TEST_DATA_DIR) / "run" / "settings_default.pms"));
        write_file(work / "ssdefs.txt", ssdefs);
        write_file(work / "stats.txt", stats);
        fs::remove_all(work / "p.res");
    }

    // Exit status of the program; `mode`: the append flag and header mode.
    int run(char const* mode) {
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=7 '" + QUINTLE_BINARY +
                                    "' p.pmp stats.txt " + mode + " > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string log() const { return read_file(work / "p.res" / "Pellomar_log.txt"); }
    std::string stats() const { return read_file(work / "stats.txt"); }

    std::string const earlier = "K_1\tK_2\t\n2\t2\t\n";
    scratch::Dir dir{"quintle_lower_bounds"};
    fs::path work = dir.path();
};

TEST_F(LowerBounds, CountsBelowTheirMeaningFailTheProject) {
    struct Case {
        char const* name;
        char const* settings;
        char const* ssdefs;
        char const* logged;
    } const cases[] = {
        // The scan shares theta out among its demes.
        {"no deme", "TaskNumber=1\nDetectSelectedLoci=1\nNumberOfDemesForFDist2=0\nNumberOfSimsForFDist2=10\n",
         "POP_LEVEL\nALL_K\n",
         "\tValue 0 of setting \"NumberOfDemesForFDist2\" is outside the range its use can hold: between 1 and "
         "1000000. Aborting the run of this project.\n"},
        {"negative demes", "TaskNumber=1\nDetectSelectedLoci=1\nNumberOfDemesForFDist2=-5\nNumberOfSimsForFDist2=10\n",
         "POP_LEVEL\nALL_K\n",
         "from function \"settings_in_range() (NumberOfDemesForFDist2=-5)\" : invalid value assigned to keyword\n"},
        {"negative simulations",
         "TaskNumber=1\nDetectSelectedLoci=1\nNumberOfDemesForFDist2=20\nNumberOfSimsForFDist2=-100\n",
         "POP_LEVEL\nALL_K\n",
         "\tValue -100 of setting \"NumberOfSimsForFDist2\" is outside the range its use can hold: between 0 and "
         "10000000. Aborting the run of this project.\n"},
        {"negative AMOVA permutations", "TaskNumber=512\nHaplAMOVA=1\nNumPermutationsAMOVA=-1\n",
         "POP_LEVEL\nGLOBAL_FSTAT\n",
         "\tValue -1 of setting \"NumPermutationsAMOVA\" is outside the range its use can hold: between 0 and "
         "10000000. Aborting the run of this project.\n"},
    };
    std::string const end = "Error during run of p.pmp\n";
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        // Appended to, the statistics file keeps its earlier lines only.
        prepare(c.settings, c.ssdefs, earlier);
        ASSERT_EQ(run("1 0"), 0) << read_file(work / "console.txt");
        std::string const text = log();
        EXPECT_TRUE(has(text, c.logged)) << text;
        ASSERT_GE(text.size(), end.size()) << text;
        EXPECT_EQ(text.substr(text.size() - end.size()), end) << text;
        EXPECT_EQ(stats(), earlier);
        EXPECT_TRUE(has(read_file(work / "console.txt"), "quintle: error during run of p.pmp"));

        // Rewritten, it is left empty, as every failed project leaves it.
        prepare(c.settings, c.ssdefs, earlier);
        ASSERT_EQ(run("0 1"), 0);
        EXPECT_EQ(stats(), "");
    }
}

// The AMOVA of the project, worked out apart (a short Python script of the
// formulas of 1992, "Analysis of molecular variance inferred from metric
// distances among DNA haplotypes", over the pairwise differences of its four
// haplotypes): the group pass's two pooled samples
// give FST 0.52164948 (253/485), the population pass FST 28/53 = 0.52830189,
// FCT 27/53 = 0.50943396 and FSC 1/26 = 0.03846154.
std::string const amova_line = "gr_FST\tFST\tFCT\tFSC\t\n0.521649\t0.528302\t0.509434\t0.0384615\t\n";

// 0 is a count these settings can take: no permutation test.
TEST_F(LowerBounds, ZeroPermutationsRunWithoutTest) {
    prepare("TaskNumber=512\nHaplAMOVA=1\nNumPermutationsAMOVA=0\n", "GROUP_LEVEL\nPOP_LEVEL\nGLOBAL_FSTAT\n", "");
    ASSERT_EQ(run("0 1"), 0);
    EXPECT_TRUE(has(log(), "Successful run of p.pmp\n")) << log();
    EXPECT_FALSE(has(read_file(work / "p.res" / "p.htm"), "Significance tests"));
    EXPECT_EQ(stats(), amova_line);
}

// The individual level asked for on haplotypes: one warning in the log per
// project, however many passes, and the results of a run without it.
TEST_F(LowerBounds, IndividualLevelOnHaploidDataIsWarnedAboutOnce) {
    std::string const settings = "TaskNumber=512\nHaplAMOVA=1\nNumPermutationsAMOVA=200\n";
    std::string const ssdefs = "GROUP_LEVEL\nPOP_LEVEL\nGLOBAL_FSTAT\n";
    prepare("IncludeIndividualLevel=0\n" + settings, ssdefs, "");
    write_file(work / "glbstreams.txt", "flags\n_AMOVA_RES_\n");
    ASSERT_EQ(run("0 1"), 0);
    std::string const amova_without = read_file(work / "amovares.sum");
    EXPECT_FALSE(has(log(), "individual level")) << log();
    EXPECT_EQ(stats(), amova_line);

    prepare("IncludeIndividualLevel=1\n" + settings, ssdefs, "");
    fs::remove(work / "amovares.sum");
    ASSERT_EQ(run("0 1"), 0);
    std::string const text = log();
    EXPECT_TRUE(has(text, "Successful run of p.pmp\n")) << text;
    EXPECT_EQ(count(text, "individual level"), 1u) << text;
    EXPECT_EQ(count(text, "WARNING: the individual level (IncludeIndividualLevel=1) needs diploid genotypes; the data "
                          "of this project are haploid and are analysed without it\n"),
              1u)
        << text;
    // Same seed, same permutations: the same values and P values.
    EXPECT_EQ(stats(), amova_line);
    EXPECT_FALSE(amova_without.empty());
    EXPECT_EQ(read_file(work / "amovares.sum"), amova_without);
}


// A settings file without the substitution weights reads both as 0, and
// every substitution counts for nothing: S is 0 in each sample although
// each holds one polymorphic site (a transition in a, a transversion in b
// and in c). The values stay as the reading gives them, and one warning
// names the two keys, also when only the standard indices are asked (they
// count S too). One weight above 0 (the transversions' here: S is 0, 1, 1),
// or no analysis that compares sequences (TaskNumber=8), and
// nothing is said.
TEST_F(LowerBounds, SequencesWithoutSubstitutionWeightsAreWarnedAbout) {
    std::string const warning = "TransitionWeight and TranversionWeight are both 0";
    struct Case {
        char const* settings;
        std::size_t warnings;
        char const* line;  // the statistics line; empty: not looked at
    } const cases[] = {{"TaskNumber=17987\n", 1, "S_1\tS_2\tS_3\t\n0\t0\t0\t\n"},
                       {"TaskNumber=17987\nTranversionWeight=1\n", 0, "S_1\tS_2\tS_3\t\n0\t1\t1\t\n"},
                       {"TaskNumber=1\n", 1, "S_1\tS_2\tS_3\t\n0\t0\t0\t\n"},
                       {"TaskNumber=8\n", 0, ""}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.settings);
        prepare("", "POP_LEVEL\nALL_S\n", "");
        write_file(work / "pml_run.pms", std::string("[Setting for Calculations]\n") + c.settings);
        ASSERT_EQ(run("0 1"), 0);
        EXPECT_TRUE(has(log(), "Successful run of p.pmp\n")) << log();
        EXPECT_EQ(count(log(), "WARNING: " + warning), c.warnings) << log();
        EXPECT_EQ(count(read_file(work / "console.txt"), "quintle: " + warning), c.warnings);
        if (*c.line != '\0') {
            EXPECT_EQ(stats(), c.line);
        }
    }
}

}  // namespace
}  // namespace quintle
