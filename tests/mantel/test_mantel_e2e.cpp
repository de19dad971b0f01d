// The Mantel test and the project-wide spanning network end to end: the
// real program on the small projects of tests/data/mantel.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/scratch.h"
#include "mantel_fixture.h"

namespace fs = std::filesystem;

namespace {

using quintle::mantel_testing::value_after;
using quintle::scratch::read_file;
using quintle::scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR);

class MantelRun : public ::testing::Test {
protected:
    // A working folder with the project and the pairwise settings, `extra`
    // lines first (the first line naming a key wins).
    fs::path prepare(std::string const& name, char const* project, std::string const& extra) {
        fs::path const work = base / name;
        fs::create_directories(work);
        fs::copy_file(data_dir / "mantel" / project, work / "p.pmp");
        write_file(work / "pml_run.pms", extra + read_file(data_dir / "pairwise" / "pairwise.pms"));
        write_file(work / "ssdefs.txt", "POP_LEVEL\nPAIRWISE_FST\n");
        return work;
    }

    static int run(fs::path const& work, std::string const& seed) {
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=" + seed + " '" + QUINTLE_BINARY +
                                    "' p.pmp stats.txt 0 1 > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The result file from `from` up to the end of the run.
    static std::string section(fs::path const& work, std::string const& from) {
        std::string const text = read_file(work / "p.res" / "p.htm");
        std::size_t const at = text.find(from);
        std::size_t const to = text.find("END OF RUN", at);
        if (at == std::string::npos || to == std::string::npos) return {};
        return text.substr(at, to - at);
    }

    quintle::scratch::Dir base{"quintle_mantel_e2e"};
};

TEST_F(MantelRun, SimpleTestOnPairwiseFst) {
    // Pairwise FST (1024) and the Mantel test (65536) of six DNA samples
    // against their distances along a transect.
    std::string const settings = "TaskNumber=66560\nNumPermMantel=10000\n";
    fs::path const first = prepare("first", "dna6_fst.pmp", settings);
    fs::path const second = prepare("second", "dna6_fst.pmp", settings);
    ASSERT_EQ(run(first, "11"), 0);
    ASSERT_EQ(run(second, "11"), 0);
    std::string const text = section(first, "== MATRIX CORRELATION ANALYSIS (MANTEL TESTS)");
    ASSERT_FALSE(text.empty()) << read_file(first / "p.res" / "p.htm");
    EXPECT_EQ(text, section(second, "== MATRIX CORRELATION ANALYSIS (MANTEL TESTS)")) << "same seed, same section";
    EXPECT_NE(read_file(first / "p.res" / "Pellomar_log.txt").find("Starting 10000 permutations ..."),
              std::string::npos);

    // The matrices in the order of UsedYMatrixLabels, Y with the pairwise
    // FSTs as printed (5 decimals):
    EXPECT_NE(text.find("Labels of population samples={\n   \"north\"\n   \"ridge\"\n   \"valley\"\n   \"coast\"\n"
                        "   \"delta\"\n   \"south\"\n}\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  X1={\n   0.00000 12.00000 25.00000 31.00000 47.00000 60.00000 \n"), std::string::npos);
    EXPECT_NE(text.find("  Y (fst)={\n   0.00000 0.10390 0.11590 0.62134 0.33333 0.66577 \n"
                        "   0.10390 0.00000 -0.09443 0.24396 0.04267 0.45773 \n"),
              std::string::npos)
        << text;

    // R on those printed lower triangles (y, x as vectors; Y, X as dist):
    //   mean(y) 0.26409800, sum((y - mean(y))^2) 0.74136849, mean(x) 27.4,
    //   sum((x - mean(x))^2) 3347.6, cor(y, x) 0.64716897,
    //   coef(lm(y ~ x))[2] 0.00963092, summary(lm(y ~ x))$r.squared 0.41882767
    //   vegan::mantel(Y, X) enumerates all 720 arrangements: signif 0.011111
    //   (8 of 720 at least as large, the observed one included).
    // The program works on the unrounded FSTs: the printed Y values are off
    // by up to 5e-6 each, which bounds the differences below.
    auto near = [&](char const* label, double expected, double tolerance) {
        EXPECT_NEAR(value_after(text, label), expected, tolerance) << label;
    };
    near("Mean value Y                       : ", 0.26409800, 5.5e-6);
    near("Sums of squares Y                  : ", 0.74136849, 2e-5);
    near("Mean value  X1                     : ", 27.4, 5e-7);
    near("Sums of squares X1                 : ", 3347.6, 5e-7);
    near("Correlation coefficient (rY1)    : ", 0.64716897, 1e-5);
    near("Regression coefficient (bY1)     : ", 0.00963092, 1e-6);
    near("Determination of Y by X1(%)      : ", 0.41882767, 1e-5);
    double const exact = 8.0 / 720.0;
    near("P(rY1 rand >= rY1 obs)            : ", exact, 3.0 * std::sqrt(exact * (1.0 - exact) / 10000));
    EXPECT_NE(text.find("Significance testing (10000 permutations for Mantel test)"), std::string::npos);
}

TEST_F(MantelRun, UnknownLabelLeavesTheRunGoing) {
    fs::path const work = prepare("unknown", "dna6_fst.pmp", "TaskNumber=66560\n");
    std::string project = read_file(work / "p.pmp");
    // The section's labels name "South", the sample is "south".
    std::size_t at = project.find("[[Mantel]]");
    ASSERT_NE(at, std::string::npos);
    while ((at = project.find("\"south\"", at)) != std::string::npos) project.replace(at, 7, "\"South\"");
    write_file(work / "p.pmp", project);
    ASSERT_EQ(run(work, "3"), 0);
    std::string const result = read_file(work / "p.res" / "p.htm");
    EXPECT_NE(result.find("  Error while checking matrices, Label(s) not found\n"), std::string::npos);
    EXPECT_EQ(result.find("MANTEL TESTS"), std::string::npos);
    EXPECT_NE(read_file(work / "p.res" / "Pellomar_log.txt").find("Successful run of"), std::string::npos);
    EXPECT_EQ(read_file(work / "stats.txt").find("FST_2_1"), 0u);
}

TEST_F(MantelRun, ProjectWideSpanningNetwork) {
    fs::path const work = prepare("network", "square4.pmp", "PrintMinSpannNetworkGlob=1\n");
    ASSERT_EQ(run(work, "5"), 0);
    std::string const text = section(work, "MINIMUM SPANNING TREE between");
    std::string const eq67(67, '=');
    std::string const expected_links =
        "   OTU 1     OTU 2    Connection length\n"
        "   =====     =====    =================\n"
        "      ha        hb                   1\n"
        "      hb        hc                   1\n"
        "      ha        hd                   1\n";
    EXPECT_NE(text.find(expected_links), std::string::npos) << text;
    EXPECT_NE(text.find("#NEXUS\nbegin trees;  [NEXUS Treefile section generated by Pellomar]\n"
                        "tree MST_AMOVA_MST = [&amp;U] ((ha:0, hd:1):0, (hb:0, hc:1):1);\nend;\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(eq67 + "\n\n     OTUList of alternative links\n     ============================\nhchd (1) \n"),
              std::string::npos)
        << text;
}

TEST_F(MantelRun, SpanningTreeOfEachSample) {
    // Molecular diversity (task 2) prints each sample's matrix and, with
    // PrintMinSpannNetworkPop, its own tree. Sample "first": ha AAGT,
    // hb ACGT, hc CCGT (ha-hb 1, hb-hc 1, ha-hc 2); sample "second": hc,
    // hd CAGT, ha (hc-hd 1, hd-ha 1, hc-ha 2). Worked by hand.
    fs::path const work = prepare("sample_network", "square4.pmp", "TaskNumber=3\nPrintMinSpannNetworkPop=1\n");
    ASSERT_EQ(run(work, "5"), 0);
    std::string const text = read_file(work / "p.res" / "p.htm");
    std::string const links = "   OTU 1     OTU 2    Connection length\n   =====     =====    =================\n";
    EXPECT_NE(text.find(links + "      ha        hb             1.00000\n      hb        hc             1.00000\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(links + "      hc        hd             1.00000\n      hd        ha             1.00000\n"),
              std::string::npos);
    EXPECT_NE(text.find("tree first_MST = [&amp;U] (ha:0, (hb:0, hc:1.00000):1.00000);\nend;\n"), std::string::npos);
    EXPECT_NE(text.find("tree second_MST = [&amp;U] (hc:0, (hd:0, ha:1.00000):1.00000);\nend;\n"), std::string::npos);
    std::size_t count = 0;
    for (std::size_t at = text.find("MINIMUM SPANNING TREE between        3 OTUs"); at != std::string::npos;
         at = text.find("MINIMUM SPANNING TREE between", at + 1))
        ++count;
    EXPECT_EQ(count, 2u) << "one tree per sample, no project-wide one";
}

}  // namespace
