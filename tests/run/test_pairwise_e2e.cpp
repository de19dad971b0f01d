// The comparisons of pairs of samples end to end: the real program on the
// small projects of tests/data/pairwise, with a fixed seed for the
// permutation tests.

#include <gtest/gtest.h>

#include "core/scratch.h"

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using quintle::scratch::read_file;
using quintle::scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR) / "pairwise";

std::vector<std::string> split(std::string const& line, char sep) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, sep);) out.push_back(field);
    return out;
}

class PairwiseRun : public ::testing::Test {
protected:
    // A working directory holding the project, the settings with `extra`
    // lines put first (the first line naming a key wins) and the statistics list.
    fs::path prepare(std::string const& name, char const* project, std::string const& extra,
                     std::string const& ssdefs) {
        fs::path const work = base / name;
        fs::create_directories(work);
        fs::copy_file(data_dir / project, work / "p.pmp");
        write_file(work / "pml_run.pms", extra + read_file(data_dir / "pairwise.pms"));
        write_file(work / "ssdefs.txt", ssdefs);
        return work;
    }

    static int run(fs::path const& work, std::string const& seed) {
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=" + seed + " '" + QUINTLE_BINARY +
                                    "' p.pmp stats.txt 0 1 > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The pairwise section of the result file.
    static std::string section(fs::path const& work) {
        std::string const text = read_file(work / "p.res" / "p.htm");
        std::size_t const from = text.find("== Comparisons of pairs of population samples");
        std::size_t const to = text.find("END OF RUN", from);
        if (from == std::string::npos || to == std::string::npos) return {};
        return text.substr(from, to - from);
    }

    quintle::scratch::Dir base{"quintle_pairwise_e2e"};
};

// The statistics line of a four-sample project with PAIRWISE_FST selected
// is the same, column for column and value for value, whatever the print
// options of the pairwise report and of the tables beside it say; with all
// of them off (PrintFstVals is off by default) the FST columns are there.
TEST_F(PairwiseRun, FstColumnsDoNotDependOnPrintOptions) {
    std::string const ssdefs = "POP_LEVEL\nPAIRWISE_FST\n";
    // Every print option off; a variant's lines go first and win. The exact
    // test of differentiation is on for its histogram flag.
    std::string const off =
        "TaskNumber=9216\nNumPermutPopDiff=1000\nNumDememoPopDiff=100\nPrintMissIntermatchs=0\n"
        "PrintFstVals=0\nPrintConcestryCoeff=0\nPrintSlatkinsDist=0\nPrintHistoPopDiff=0\n"
        "PrintDistanceMatrix=0\nPrintMinSpannNetworkGlob=0\n";
    // What each option adds to the result file, to show that it was read.
    std::string const fstTable = "Population pairwise FSTs";
    std::string const coancestry = "Matrix of coancestry coefficients";
    std::string const slatkin = "Matrix of Slatkin linearized FSTs";
    std::string const distances = "Matrix of Euclidian square distances used";
    std::string const network = "MINIMUM SPANNING NETWORK";
    std::vector<std::string> const markers = {fstTable, coancestry, slatkin, distances, network};

    fs::path const plain = prepare("off", "dna4_one_site.pmp", off, ssdefs);
    ASSERT_EQ(run(plain, "11"), 0);
    std::string const line = read_file(plain / "stats.txt");
    std::string const plainText = read_file(plain / "p.res" / "p.htm");
    for (std::string const& m : markers) EXPECT_EQ(plainText.find(m), std::string::npos) << m;

    std::vector<std::string> const lines = split(line, '\n');
    ASSERT_EQ(lines.size(), 2u) << line;
    EXPECT_EQ(lines[0], "FST_2_1\tFST_3_1\tFST_3_2\tFST_4_1\tFST_4_2\tFST_4_3\t");
    std::vector<std::string> const values = split(lines[1], '\t');
    ASSERT_EQ(values.size(), 6u) << lines[1];
    // Samples (copies with T, with C): one (4, 1), two (2, 4), three (0, 4),
    // four (3, 4); distances 0 or 1. FST = Va / (Va + Vb) of the two-sample
    // AMOVA, as fractions by hand (Vb = SSD within / (N - 2), Va = (SSD
    // among - Vb) / nc); ade4::amova on each pair gives the same values to
    // 15 digits (0.216326530612245, 0.720279720279720, 0.111111111111111,
    // 0.093317633205770, -0.160621761658031, 0.222222222222222).
    double const expected[] = {53.0 / 245, 103.0 / 143, 1.0 / 9, 317.0 / 3397, -31.0 / 193, 2.0 / 9};
    for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(std::stod(values[k]), expected[k], 5e-6 * std::abs(expected[k])) << lines[0] << k;

    struct Variant {
        char const* name;
        std::string lines;
        std::vector<std::string> shows;
    };
    Variant const variants[] = {
        {"fst", "PrintFstVals=1\n", {fstTable}},
        {"coancestry", "PrintConcestryCoeff=1\n", {}},
        {"coancestry_fst", "PrintConcestryCoeff=1\nPrintFstVals=1\n", {fstTable, coancestry}},
        {"slatkin", "PrintSlatkinsDist=1\n", {}},
        {"slatkin_fst", "PrintSlatkinsDist=1\nPrintFstVals=1\n", {fstTable, slatkin}},
        {"histogram", "PrintHistoPopDiff=1\n", {}},
        {"distances", "PrintDistanceMatrix=1\n", {distances}},
        {"network", "PrintMinSpannNetworkGlob=1\n", {network}},
        {"all",
         "PrintFstVals=1\nPrintConcestryCoeff=1\nPrintSlatkinsDist=1\nPrintHistoPopDiff=1\n"
         "PrintDistanceMatrix=1\nPrintMinSpannNetworkGlob=1\n",
         markers},
    };
    for (Variant const& v : variants) {
        SCOPED_TRACE(v.name);
        fs::path const work = prepare(v.name, "dna4_one_site.pmp", v.lines + off, ssdefs);
        ASSERT_EQ(run(work, "11"), 0);
        EXPECT_EQ(read_file(work / "stats.txt"), line);
        std::string const text = read_file(work / "p.res" / "p.htm");
        for (std::string const& m : v.shows) EXPECT_NE(text.find(m), std::string::npos) << m;
    }
}

TEST_F(PairwiseRun, DnaPairsReachTheLineAndReproduceWithTheSeed) {
    std::string const ssdefs = "POP_LEVEL\nPAIRWISE_FST\nPAIRWISE_PI\n";
    fs::path const first = prepare("first", "dna3.pmp", "", ssdefs);
    fs::path const second = prepare("second", "dna3.pmp", "", ssdefs);
    ASSERT_EQ(run(first, "7"), 0);
    ASSERT_EQ(run(second, "7"), 0);

    std::string const stats = read_file(first / "stats.txt");
    EXPECT_EQ(stats, read_file(second / "stats.txt"));
    std::string const text = section(first);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text, section(second)) << "same seed, same section and P values";
    EXPECT_NE(text.find("Number of permutations : 110\n"), std::string::npos);

    std::vector<std::string> const lines = split(stats, '\n');
    ASSERT_EQ(lines.size(), 2u) << stats;
    EXPECT_EQ(lines[0], "FST_2_1\tFST_3_1\tFST_3_2\tPI_2_1\tPI_3_1\tPI_3_2\t");
    std::vector<std::string> const values = split(lines[1], '\t');
    ASSERT_EQ(values.size(), 6u);

    // Exact values from the sequences of dna3.pmp (differing sites between
    // copies), worked out as fractions: FST from the mean squares of the
    // two-sample AMOVA, PI as the mean difference between the samples.
    double const expected[] = {1338.0 / 2815, 1549.0 / 2373, 287.0 / 767, 73.0 / 42, 13.0 / 4, 7.0 / 4};
    for (int k = 0; k < 6; ++k) EXPECT_NEAR(std::stod(values[k]), expected[k], 1e-5 * expected[k]) << k;
}

TEST_F(PairwiseRun, DeltaMuSquaredOfMicrosatelliteSamples) {
    // Pairwise FST not computed: its column holds zeros. Without the
    // pairwise-difference table the (delta mu) squared table is 10 wide.
    fs::path const work = prepare("msat", "msat3.pmp", "ComputeDeltaMuSqr=1\nComputePairwiseFST=0\nPrintMissIntermatchs=0\n",
                                  "POP_LEVEL\nPAIRWISE_FST\nPAIRWISE_DMUSQR\n");
    ASSERT_EQ(run(work, "3"), 0);
    std::vector<std::string> const lines = split(read_file(work / "stats.txt"), '\n');
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "FST_2_1\tFST_3_1\tFST_3_2\tDMUSQ_2_1\tDMUSQ_3_1\tDMUSQ_3_2\t");
    // Mean sizes: m1 (121, 134.5, 201), m2 (120, 131, 202), m3 (124, none, 212).
    // 2_1: (1 + 12.25 + 1) / 3; 3_1: (9 + 121) / 2; 3_2: (16 + 100) / 2.
    EXPECT_EQ(lines[1], "0\t0\t0\t4.75\t65\t58\t");
    std::string const text = section(work);
    EXPECT_NE(text.find("\n\n" + std::string(31, ' ') + "1" + std::string(14, ' ') + "2" + std::string(14, ' ') +
                        "3\n" + std::string(16, ' ') + "1        0.00000\n" + std::string(16, ' ') +
                        "2        4.75000        0.00000\n"),
              std::string::npos)
        << text;
}

}  // namespace
