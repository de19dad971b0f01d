// The comparisons of pairs of samples, end to end: the real program on the
// small projects of tests/data/pairwise, with a fixed seed for the
// permutation tests, and the project loop run in-process where the state
// left between two projects matters.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/scratch.h"
#include "core/public.h"
#include "mantel/Mantel.h"
#include "project/Project.h"
#include "run/pmlestart.h"
#include "sumstat/TSumStat.h"

namespace fs = std::filesystem;

namespace {

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR) / "pairwise";

using quintle::scratch::read_file;
using quintle::scratch::write_file;

std::vector<std::string> split(std::string const& line, char sep) {
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, sep)) out.push_back(field);
    return out;
}

class PairwiseRun : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        base = fs::temp_directory_path() /
               ("quintle_pairwise_e2e_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        fs::remove_all(base);
        fs::create_directories(base);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(base, ec);
    }

    // A fresh working directory holding the project, the settings (each
    // "key=value" of `changes` replacing the key's line, or added) and the
    // statistics list.
    fs::path prepare(std::string const& name, char const* project, std::vector<std::string> const& changes,
                     std::string const& ssdefs) {
        fs::path const work = base / name;
        fs::create_directories(work);
        fs::copy_file(data_dir / project, work / "p.pmp");
        std::string settings = read_file(data_dir / "pairwise.pms");
        for (std::string const& change : changes) {
            std::string const key = "\n" + change.substr(0, change.find('=') + 1);
            std::size_t const at = settings.find(key);
            if (at == std::string::npos) {
                settings += change + "\n";
            } else {
                std::size_t const end = settings.find('\n', at + 1);
                settings.replace(at + 1, end - at - 1, change);
            }
        }
        write_file(work / "pml_run.pms", settings);
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

    fs::path base;
};

TEST_F(PairwiseRun, DnaPairsReachTheLineAndReproduceWithTheSeed) {
    std::string const ssdefs = "POP_LEVEL\nPAIRWISE_FST\nPAIRWISE_PI\n";
    fs::path const first = prepare("first", "dna3.pmp", {}, ssdefs);
    fs::path const second = prepare("second", "dna3.pmp", {}, ssdefs);
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
    fs::path const work = prepare("msat", "msat3.pmp",
                                  {"ComputeDeltaMuSqr=1", "ComputePairwiseFST=0", "PrintMissIntermatchs=0"},
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

// The Mantel section of one project is not there for the next one of the
// same run, which has none.
TEST_F(PairwiseRun, MantelSectionIsForgottenBeforeTheNextProject) {
    std::string const samples =
        "[Profile]\n NbSamples=3\n DataType=DNA\n GenotypicData=0\n LocusSeparator=NONE\n"
        "[Data]\n [[Samples]]\n"
        " SampleName=\"a\"\n SampleSize=2\n SampleData={\n h1 2 ACGT\n }\n"
        " SampleName=\"b\"\n SampleSize=2\n SampleData={\n h2 2 ACGA\n }\n"
        " SampleName=\"c\"\n SampleSize=2\n SampleData={\n h3 2 TCGA\n }\n";
    write_file(base / "with.pmp", samples +
                               "[[Mantel]]\nMatrixSize=3\nMatrixNumber=2\nYMatrix=\"fst\"\n"
                               "YMatrixLabels={ a b c }\nDistMatMantel={\n0\n1 0\n2 3 0\n}\n"
                               "UsedYMatrixLabels={ a b c }\n");
    write_file(base / "without.pmp", samples);
    write_file(base / "pml_run.pms", "[Setting for Calculations]\nTaskNumber=1\nXMLOutput=0\n");

    quintle::SumStat.resetComputationFlags();
    auto drive = [&](std::vector<std::string> const& projects) {
        std::string const prefix = base.string() + "/";
        std::string text = prefix + "\nuse_interf_settings\n";
        for (std::string const& p : projects) text += prefix + p + "\n0\n0\n";
        text += "end\n";
        write_file(prefix + quintle::getPmlRunString().c_str(), text);
        std::string directory = prefix;
        quintle::pmlestart(directory.data());
    };
    ::setenv("QUINTLE_SEED", "5", 1);
    drive({"with.pmp"});
    ASSERT_NE(quintle::PPP, nullptr);
    EXPECT_EQ(quintle::PPP->mantel.MatrixSize, 3) << "the section was read";
    drive({"with.pmp", "without.pmp"});
    EXPECT_EQ(quintle::PPP->mantel.MatrixSize, 0);
    EXPECT_TRUE(quintle::PPP->mantel.YMatrixLabels.empty());
    quintle::release_run_globals();
    ::unsetenv("QUINTLE_SEED");
}

}  // namespace
