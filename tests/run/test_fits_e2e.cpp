// The expansion fits and the conventional-FST distances end to end: the
// real program on small projects with a fixed seed.

#include <gtest/gtest.h>

#include "core/scratch.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using quintle::scratch::read_file;
using quintle::scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR);

std::vector<std::string> lines_of(std::string const& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

class FitsRun : public ::testing::Test {
protected:
    // A working directory with the project, the example settings with
    // `extra` lines first (the first line naming a key wins), the statistics
    // list and the batch flags.
    fs::path prepare(std::string const& name, fs::path const& project, std::string const& extra) {
        fs::path const work = base / name;
        fs::create_directories(work);
        fs::copy_file(project, work / "p.pmp");
        write_file(work / "pml_run.pms", extra + read_file(fs::path(QUINTLE_TEST_DATA_DIR).parent_path().parent_path() /
                                                          "examples" / "pml_run.pms"));
        write_file(work / "ssdefs.txt", "POP_LEVEL\nALL_K\nGLOBAL_FSTAT\n");
        write_file(work / "glbstreams.txt", "flags\n_MISMATCH_\n");
        return work;
    }

    static int run(fs::path const& work) {
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=19 '" + QUINTLE_BINARY +
                                    "' p.pmp stats.txt 0 1 run_silent > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The analyses of the result file, without the run's time stamps.
    static std::string result(fs::path const& work) {
        static std::regex const stamp(R"(\d\d/\d\d/\d\d at \d\d:\d\d:\d\d|\d\d_\d\d_\d\dat\d\d_\d\d_\d\d|\d+ ms)");
        std::string const text = read_file(work / "p.res" / "p.xml");
        std::size_t const from = text.find("== ANALYSES AT THE INTRA-POPULATION LEVEL");
        return std::regex_replace(from == std::string::npos ? text : text.substr(from), stamp, "@");
    }

    quintle::scratch::Dir base{"quintle_fits_e2e"};
};

std::string const kFits =
    "TaskNumber=5\nMismatchDemogExp=1\nMismatchSpatialExp=1\nMismatchSpatialExpNumParams=2\nNumBootExpDem=20\n"
    "XMLOutput=1\n";

TEST_F(FitsRun, BothFitsReachEveryOutputAndRepeatWithTheSeed) {
    fs::path const first = prepare("first", data_dir / "fits" / "fits.pmp", kFits);
    fs::path const second = prepare("second", data_dir / "fits" / "fits.pmp", kFits);
    ASSERT_EQ(run(first), 0);
    ASSERT_EQ(run(second), 0);
    std::string const text = result(first);
    EXPECT_EQ(text, result(second));
    for (char const* f : {"stats.txt", "mismatch.sum", "mismatch_sp3.sum", "mismatch_sp4.sum", "glob_res.xl"})
        EXPECT_EQ(read_file(first / f), read_file(second / f)) << f;
    EXPECT_NE(read_file(first / "p.res" / "Pellomar_log.txt").find("Successful run of"), std::string::npos);

    // Per sample: the sudden fit with its bootstrap, the four-parameter
    // spatial fit, then the three-parameter one with its bootstrap.
    for (std::string const pop : {"Pop1", "Pop2"}) {
        std::size_t const at = text.find("<mismatchDemogExp pop=\"" + pop + "\"");
        ASSERT_NE(at, std::string::npos) << pop;
        EXPECT_NE(text.find("<mismatchDemogExpCI_0.010000 pop=\"" + pop + "\"", at), std::string::npos);
        std::size_t const four =
            text.find("Parameters of the spatial expansion assuming different deme size before (theta0)", at);
        std::size_t const three = text.find("Parameters of the spatial expansion assuming constant deme size", at);
        ASSERT_NE(four, std::string::npos);
        ASSERT_NE(three, std::string::npos);
        EXPECT_LT(four, three);
        EXPECT_NE(text.find("<mismatchSpatialExpCI_0.100000 pop=\"" + pop + "\"", three), std::string::npos);
    }
    EXPECT_EQ(text.find("not available"), std::string::npos);

    // The summary table carries both fits.
    std::size_t const summary = text.find("Demographic expansion\n---------------------\n");
    ASSERT_NE(summary, std::string::npos);
    EXPECT_NE(text.find("\nSpatial expansion\n-----------------\n", summary), std::string::npos);
    EXPECT_NE(text.find("      Model (SSD) p-value ", summary), std::string::npos);
    EXPECT_NE(text.find("                M qt 2.5% ", summary), std::string::npos);

    // Batch lines: head, method, gamma, mean, variance, the fitted values
    // (3 sudden, 4 spatial), then the observed counts; the four-parameter
    // file gets one ended line per sample.
    std::vector<std::string> const sudden = lines_of(read_file(first / "mismatch.sum"));
    std::vector<std::string> const spatial = lines_of(read_file(first / "mismatch_sp3.sum"));
    std::vector<std::string> const four = lines_of(read_file(first / "mismatch_sp4.sum"));
    ASSERT_GE(sudden.size(), 2u);
    ASSERT_EQ(four.size(), sudden.size());
    for (std::size_t k = sudden.size() - 2; k < sudden.size(); ++k) {
        EXPECT_TRUE(sudden[k].starts_with("\"p.res/p.pmp\"\t\"Pop")) << sudden[k];
        EXPECT_EQ(four[k], sudden[k].substr(0, sudden[k].find(" inf\t") + 5));
        std::vector<std::string> a, b;
        for (std::string const* line : {&sudden[k], &spatial[k]}) {
            std::vector<std::string>& fields = line == &sudden[k] ? a : b;
            std::istringstream in(*line);
            for (std::string f; std::getline(in, f, '\t');) fields.push_back(f);
        }
        // 4 head fields, mean and variance, then 3 or 4 fitted values.
        ASSERT_GT(a.size(), 9u);
        EXPECT_EQ(b.size(), a.size() + 1);
        EXPECT_EQ(std::vector<std::string>(a.begin() + 9, a.end()), std::vector<std::string>(b.begin() + 10, b.end()));
        EXPECT_NE(a[7], "0");
    }
    EXPECT_TRUE(read_file(first / "glob_res.xl").starts_with("Data file\tTau\tC.I. Tau\t"));
}

// Conventional FST: every pair of distinct haplotypes at distance 1. The
// AMOVA of tests/data/run/dna_groups.pmp (a | b, c) on those distances,
// against ade4::amova(samples, as.dist(1 - diag(4)), structures) (R package
// ade4 1.7-22, Debian r-cran-ade4): Phi-samples-total 0.328859060402685,
// Phi-g-total 0.427293064876957, Phi-samples-g -0.171875.
TEST_F(FitsRun, ConventionalFstAmovaAndDistanceFiles) {
    std::string const settings = "TaskNumber=2560\nComputeConventionalFST=1\n";
    fs::path const work = prepare("fst", data_dir / "run" / "dna_groups.pmp", settings);
    // A folder in the way of one ".dis" file: its name is logged, the rest
    // goes on.
    fs::create_directories(work / "b.dis");
    ASSERT_EQ(run(work), 0);
    std::vector<std::string> const stats = lines_of(read_file(work / "stats.txt"));
    ASSERT_EQ(stats.size(), 2u);
    EXPECT_EQ(stats[0], "FST\tFCT\tFSC\t");
    std::istringstream values(stats[1]);
    std::vector<double> v;
    for (std::string f; std::getline(values, f, '\t');) v.push_back(std::stod(f));
    ASSERT_EQ(v.size(), 3u);
    EXPECT_NEAR(v[0], 0.328859060402685, 1e-6);
    EXPECT_NEAR(v[1], 0.427293064876957, 1e-6);
    EXPECT_NEAR(v[2], -0.171875, 1e-6);

    // Sample a: h1 (3 copies) and h2.
    EXPECT_EQ(read_file(work / "a.dis"), "          0.0000\n  1.0000        \n");
    EXPECT_EQ(read_file(work / "c.dis"), "          0.0000\n  1.0000        \n");
    EXPECT_NE(read_file(work / "p.res" / "Pellomar_log.txt").find("Unable to open the distance file b.dis"),
              std::string::npos);
}

}  // namespace
