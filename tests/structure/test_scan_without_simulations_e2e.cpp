// The scan for loci under selection with NumberOfSimsForFDist2=0: without a
// simulation file to read and outside export mode it has nothing to set the
// loci against, and the project fails; with a file that gives pairs, or in
// export mode, 0 simulations is a setting like any other. The real program
// on the DNA project tests/data/selection/scan.txt (twenty loci).

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/scratch.h"

namespace fs = std::filesystem;

namespace {

using quintle::scratch::read_file;
using quintle::scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR);

bool has(std::string const& text, std::string const& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> lines_of(std::string const& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::string const earlier = "K_1\tK_2\t\n2\t2\t\n";

class ScanWithoutSimulations : public ::testing::Test {
protected:
    // A working folder with the project as p.pmp, the scan's settings after
    // `extra` (the first line naming a key wins), both passes in the
    // statistics list and earlier lines in the statistics file.
    fs::path prepare(std::string const& name, std::string const& extra) {
        fs::path const work = base / name;
        fs::create_directories(work);
        fs::copy_file(data_dir / "selection" / "scan.txt", work / "p.pmp");
        write_file(work / "pml_run.pms", extra +
                                             "DetectSelectedLoci=1\nNumberOfSimsForFDist2=0\nNumberOfDemesForFDist2=20\n"
                                             "TaskNumber=513\nHaplAMOVA=1\nNumPermutationsAMOVA=20\nXMLOutput=0\n" +
                                             read_file(data_dir / "run" / "settings_default.pms"));
        write_file(work / "ssdefs.txt", "GROUP_LEVEL\nPOP_LEVEL\nALL_K\nGLOBAL_FSTAT\n");
        write_file(work / "stats.txt", earlier);
        return work;
    }
    static int run(fs::path const& work) {
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=17 timeout 300 '" + QUINTLE_BINARY +
                                    "' p.pmp stats.txt 1 1 > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string log(fs::path const& work) { return read_file(work / "p.res" / "Pellomar_log.txt"); }
    static std::string result(fs::path const& work) { return read_file(work / "p.res" / "p.htm"); }
    static bool failed(fs::path const& work) {
        std::string const text = log(work);
        std::string const end = "Error during run of p.pmp\n";
        return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
    }

    quintle::scratch::Dir base{"quintle_scan_without_sims"};
};

TEST_F(ScanWithoutSimulations, NothingToTestAgainstFailsTheProject) {
    fs::path const work = prepare("none", "");
    ASSERT_EQ(run(work), 0);
    std::string const why =
        "\tNo coalescent simulation is asked for (NumberOfSimsForFDist2=0) and no simulation file is named "
        "(UseSimFileForFDist2, SimFileNameForFDist2): the scan for loci under selection has no null distribution to "
        "test against and cannot be performed.\n";
    EXPECT_TRUE(has(log(work), why)) << log(work);
    EXPECT_TRUE(has(result(work), why));
    EXPECT_TRUE(failed(work)) << log(work);
    EXPECT_TRUE(has(read_file(work / "console.txt"), "quintle: error during run of p.pmp"));
    // No table and no file of the scan; nor any line, not even the group
    // pass's, which ran before the scan.
    EXPECT_FALSE(has(result(work), "FST P-value"));
    for (char const* file : {"fdist2_ObsOut.txt", "fdist2_simOut.txt", "p_sim1.pmp"})
        EXPECT_FALSE(fs::exists(work / "p.res" / file)) << file;
    EXPECT_EQ(read_file(work / "stats.txt"), earlier);

    // A simulation file named that gives no pair (its header only): the
    // scan would simulate, and simulates nothing.
    fs::path const empty = prepare("empty", "UseSimFileForFDist2=1\nSimFileNameForFDist2=pairs.txt\n");
    write_file(empty / "pairs.txt", "FST\tTarget Het.\tMeanHetBP\n");
    ASSERT_EQ(run(empty), 0);
    EXPECT_TRUE(has(log(empty), "\tNo coalescent simulation is asked for (NumberOfSimsForFDist2=0) and the simulation "
                                "file \"pairs.txt\" gives no pair of FST and heterozygosity: the scan for loci under "
                                "selection has no null distribution to test against and cannot be performed.\n"))
        << log(empty);
    EXPECT_TRUE(failed(empty));
    EXPECT_FALSE(fs::exists(empty / "p.res" / "fdist2_ObsOut.txt"));
    EXPECT_EQ(read_file(empty / "stats.txt"), earlier);
}

TEST_F(ScanWithoutSimulations, SimulationFileOrExportModeNeedNone) {
    // Pairs over the heterozygosities of the loci, FST between 0.01 and 0.1.
    fs::path const work = prepare("file", "UseSimFileForFDist2=1\nSimFileNameForFDist2=pairs.txt\n");
    std::ostringstream pairs;
    pairs << "FST\tTarget Het.\tMeanHetBP\n";
    for (int i = 0; i < 600; ++i) pairs << 0.01 + 0.09 * (i % 10) / 9.0 << "\tNA\t" << 0.05 + 0.45 * i / 599.0 << "\n";
    write_file(work / "pairs.txt", pairs.str());
    ASSERT_EQ(run(work), 0);
    EXPECT_TRUE(has(log(work), "Successful run of p.pmp\n")) << log(work);
    EXPECT_TRUE(has(result(work), "No. of coalescent simulations performed:        0\n"));
    std::vector<std::string> const rows = lines_of(read_file(work / "p.res" / "fdist2_ObsOut.txt"));
    EXPECT_EQ(rows.size(), 21u);
    // Both passes' line follows the earlier ones: the pooled sample's number
    // of haplotypes, then the ten samples' and the FST.
    std::vector<std::string> const stats = lines_of(read_file(work / "stats.txt"));
    ASSERT_EQ(stats.size(), 4u);
    EXPECT_EQ(stats[2].rfind("gr_K_1\tK_1\tK_2\t", 0), 0u) << stats[2];
    EXPECT_TRUE(has(stats[2], "K_10\tFST\t")) << stats[2];

    // Export mode: the parameter file gives the loci per data set, and no
    // P value follows.
    fs::path const exported = prepare("export", "");
    write_file(exported / "simParamFile.txt",
               "export\nfiles\n1\nloci\n12\ngroups\n1\ndemes\n20\nwithin\n0.05\namong\n0.0\n");
    ASSERT_EQ(run(exported), 0);
    EXPECT_TRUE(has(log(exported), "Successful run of p.pmp\n")) << log(exported);
    EXPECT_FALSE(fs::exists(exported / "p.res" / "fdist2_ObsOut.txt"));
    std::string const data = read_file(exported / "p.res" / "p_sim1.pmp");
    EXPECT_TRUE(has(data, "SampleName=\"pop10\"")) << data;
}

}  // namespace
