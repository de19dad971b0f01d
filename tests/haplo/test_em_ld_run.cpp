// The real program on unphased diploid DNA: the haplotype-frequency report
// (task bit 8 with ComputeAllHaplotypesEM) and the linkage test (bit 16) in
// every sample's section, and the histogram file of the pass.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "core/scratch.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

std::size_t occurrences(std::string const& text, std::string const& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

TEST(EmAndLinkageRun, DiploidDnaProject) {
    scratch::Dir dir("quintle_em_ld_run");
    fs::path const data(QUINTLE_TEST_DATA_DIR);
    fs::copy_file(data / "compare" / "dna_diploid.pmp", dir / "p.pmp");
    std::string settings = scratch::read_file(data / "compare" / "all_tasks" / "pml_run.pms");
    settings = std::regex_replace(settings, std::regex("\nTaskNumber=[0-9]+"), "\nTaskNumber=25");
    settings = std::regex_replace(settings, std::regex("\nComputeAllHaplotypesEM=0"), "\nComputeAllHaplotypesEM=1");
    settings = std::regex_replace(settings, std::regex("\nPrintFlagHistogramLD=0"), "\nPrintFlagHistogramLD=1");
    scratch::write_file(dir / "pml_run.pms", settings);
    scratch::write_file(dir / "ssdefs.txt", "POP_LEVEL\nALL_K\n");
    std::string const command =
        "cd '" + dir.path().string() + "' && QUINTLE_SEED=11 '" + QUINTLE_BINARY + "' p.pmp stats.txt 0 1 > out.txt 2>&1";
    int const status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    std::string const log = scratch::read_file(dir / "p.res" / "Pellomar_log.txt");
    EXPECT_NE(log.find("Successful run of"), std::string::npos) << log;
    std::string const result = scratch::read_file(dir / "p.res" / "p.xml");
    // Three samples, each with both sections.
    EXPECT_EQ(occurrences(result, "Conventional EM algorithm  (one pass)\n"), 3u);
    EXPECT_EQ(occurrences(result, "Maximum-likelihood frequencies of genotypes"), 3u);
    EXPECT_EQ(occurrences(result, "Test of linkage disequilibrium for all pairs of loci:\n"), 3u);
    EXPECT_EQ(occurrences(result, "Histogram of the number of linked loci per locus"), 3u);
    EXPECT_EQ(occurrences(scratch::read_file(dir / "p.res" / "ld_dis.xl"), "Histogram for population : "), 3u);
    EXPECT_EQ(occurrences(log, "\tTesting linkage disequilibrium (phenotypic data)...\n"), 3u);
}

}  // namespace
}  // namespace quintle
