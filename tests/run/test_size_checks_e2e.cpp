// Counts, sizes and values that no analysis can hold: the real program on
// the small projects of tests/data/hardening ends the project with an error
// named in the log, exit status 0 and the earlier lines of the statistics
// file untouched, and stays within 4 GB of address space while doing so.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/scratch.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

using scratch::read_file;
using scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR) / "hardening";

// The sanitizer's shadow memory needs more address space than the limit.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool limit_address_space = false;
#else
constexpr bool limit_address_space = true;
#endif

bool has(std::string const& text, std::string const& part) { return text.find(part) != std::string::npos; }

struct Case {
    char const* name;
    char const* project;
    char const* settings;  // after the section line
    char const* ssdefs;
    std::vector<char const*> logged;
};

std::vector<Case> const refused = {
    {"haplotype copies over the project beyond an int", "count_overflow_haplotypes.pmp", "TaskNumber=1\n",
     "POP_LEVEL\nALL_K\n",
     {"\tSample \"b\": the copies of haplotype \"h1\" in the project pass 2147483647.",
      "from function \"Population::New_read_gametic_data() (sample \"b\")\" : unable to read haplotype frequency"}},
    {"genotype copies beyond an int", "count_overflow_genotypes.pmp", "TaskNumber=1\n", "POP_LEVEL\nALL_K\n",
     {"\tSample \"g\" takes the gene copies of the project beyond 2147483647.",
      "from function \"Samples::NewRead() (sample \"g\")\" : unable to read genotype frequency"}},
    {"negative given distance", "negative_distance.pmp",
     "TaskNumber=1024\nComputeDistanceMatrixAMOVA=0\nComputePairwiseFST=1\nNumPermutationsFST=10\n",
     "POP_LEVEL\nPAIRWISE_FST\n",
     {"\tBad distance (\"-1\") at row 2, column 1 on line 14:", ": error while reading distance matrix\n"}},
    {"matrix size beyond memory", "huge_matrix_size.pmp", "TaskNumber=1024\nComputeDistanceMatrixAMOVA=0\n",
     "POP_LEVEL\nPAIRWISE_FST\n",
     {"\tA distance matrix has at most 32768 rows.", ": invalid value assigned to \"MatrixSize\"\n"}},
    {"transition weight with Fu's Fs", "two_groups.pmp", "TaskNumber=16384\nTransitionWeight=1e40\nNumSimulFuTest=10\n",
     "POP_LEVEL\nALL_FUFS\n",
     {"\tValue 1e+40 of setting \"TransitionWeight\" is outside the range its use can hold: between 0 and 1000.",
      "settings_in_range() (TransitionWeight=1e+40)\" : invalid value assigned to keyword\n"}},
    {"negative gamma shape", "two_groups.pmp", "TaskNumber=2\nGammaAValue=-2\n", "POP_LEVEL\nALL_PI\n",
     {"settings_in_range() (GammaAValue=-2)\" : invalid value assigned to keyword\n"}},
    {"Tajima's test on 10^8 gene copies", "tajima_huge_sample.pmp", "TaskNumber=64\nNumSimulFuTest=10\n",
     "POP_LEVEL\nALL_TAJIMAD\n",
     {"\tSample \"big\" holds 100000000 gene copies: the coalescent simulations",
      "samples_fit_analyses() (sample \"big\")\" : too many alleles, or too large sample \n"}},
    {"pooled group beyond the simulations", "pooled_groups.pmp", "TaskNumber=64\nNumSimulFuTest=10\n",
     "GROUP_LEVEL\nALL_TAJIMAD\n",
     {"\tSample \"Group1\" holds 1200000 gene copies: the coalescent simulations"}},
    {"AMOVA permutations", "two_groups.pmp", "TaskNumber=512\nHaplAMOVA=1\nNumPermutationsAMOVA=2147483648\n",
     "POP_LEVEL\nGLOBAL_FSTAT\n",
     {"\tValue 2147483648 of setting \"NumPermutationsAMOVA\" is outside the range its use can hold: between 0 "
      "and 10000000."}},
    {"pairwise permutations beyond 64 bits", "two_groups.pmp",
     "TaskNumber=1024\nComputePairwiseFST=1\nNumPermutationsFST=9999999999999999999999\n",
     "POP_LEVEL\nPAIRWISE_FST\n", {"settings_in_range() (NumPermutationsFST=9223372036854775807)\""}},
    {"one haplotype with 10^9 copies and the AMOVA", "haploid_many_copies.pmp",
     "TaskNumber=512\nHaplAMOVA=1\nNumPermutationsAMOVA=10\n", "POP_LEVEL\nGLOBAL_FSTAT\n",
     {"\tSample \"many\" holds 1000000000 gene copies: the vectors of gene copies of the pairwise tests can hold at "
      "most 134217728.",
      "samples_fit_analyses() (sample \"many\")\" : too many alleles, or too large sample \n"}},
    {"one haplotype with 10^9 copies and its frequency spectrum", "haploid_many_copies.pmp",
     "TaskNumber=1\nComputePopSFS=1\n", "POP_LEVEL\nALL_K\n",
     {"\tSample \"many\" holds 1000000000 gene copies: the site frequency spectra can hold at most 89478484."}},
    {"one haplotype with 10^9 copies and the expansion fits", "haploid_many_copies.pmp",
     "TaskNumber=4\nMismatchDemogExp=1\nNumBootExpDem=10\n", "POP_LEVEL\nALL_K\n",
     {"\tSample \"many\" holds 1000000000 gene copies: the coalescent simulations of the expansion fits can hold "
      "at most 1048576."}},
    {"three samples of 10^8 copies and the AMOVA", "three_large_samples.pmp",
     "TaskNumber=512\nHaplAMOVA=1\nNumPermutationsAMOVA=10\n", "POP_LEVEL\nGLOBAL_FSTAT\n",
     {"\tThe samples of the project hold 300000000 gene copies: the vector of gene copies of the AMOVA can hold at "
      "most 268435456.",
      "samples_fit_analyses() (all samples)\" : too many alleles, or too large sample \n"}},
    {"Tajima's test on 2 x 10^6 RFLP copies", "rflp_many_copies.pmp", "TaskNumber=64\nNumSimulFuTest=10\n",
     "POP_LEVEL\nALL_TAJIMAD\n",
     {"\tSample \"rflp\" holds 2000000 gene copies: the coalescent simulations of the neutrality tests"}},
    // (50000 + 1) (1788 + 1) cells of 12 bytes stay within 1 GiB, one more not.
    {"joint spectrum of two samples of 50000 copies", "joint_spectrum.pmp", "TaskNumber=1\nComputeJointSFS=1\n",
     "POP_LEVEL\nALL_K\n",
     {"\tSample \"b\" holds 50000 gene copies: the joint frequency spectra with sample \"a\" can hold at most 1788."}},
    {"linkage test on 2 x 10^7 unphased copies", "unphased_many_copies.pmp", "TaskNumber=16\nMarkovChainStepsLD=10\n",
     "POP_LEVEL\nALL_K\n",
     {"\tSample \"unphased\" holds 20000002 gene copies: the individuals laid out for the linkage test and the "
      "phasing can hold at most 8388608."}},
    {"a folder of spectra per bootstrap replicate", "two_groups.pmp", "TaskNumber=1\nComputePopSFS=1\nNumBootSFS=40000\n",
     "POP_LEVEL\nALL_K\n",
     {"\tValue 40000 of setting \"NumBootSFS\" is outside the range its use can hold: at most 10000."}},
    {"EM starts of the linkage test at 2^63", "two_groups.pmp",
     "TaskNumber=16\nInitialCondEMLD=9223372036854775808\nInitialConditionsEM=2147483648\n", "POP_LEVEL\nALL_K\n",
     {"settings_in_range() (InitialCondEMLD=2147483647)\"", "settings_in_range() (InitialConditionsEM=2147483647)\""}},
    {"EM threshold that cannot be reached", "two_groups.pmp", "TaskNumber=8\nEpsilonValue=-1e-7\n",
     "POP_LEVEL\nALL_K\n",
     {"\tValue -1e-07 of setting \"EpsilonValue\" is outside the range its use can hold: a finite number of at "
      "least 0."}},
    {"diploid individual with 10^8 copies and the AMOVA", "diploid_many_copies.pmp",
     "TaskNumber=512\nHaplAMOVA=1\nNumPermutationsAMOVA=10\n", "POP_LEVEL\nGLOBAL_FSTAT\n",
     {"\tSample \"many\" holds 200000000 gene copies: the list of gene copies of the AMOVA and pairwise tests can "
      "hold at most 16777216."}},
};

class SizeChecks : public ::testing::Test {
protected:
    void prepare(Case const& c) {
        fs::copy_file(data_dir / c.project, work / "p.pmp", fs::copy_options::overwrite_existing);
        write_file(work / "pml_run.pms", std::string("[Setting for Calculations]\nXMLOutput=0\n") + c.settings);
        write_file(work / "ssdefs.txt", c.ssdefs);
        write_file(work / "stats.txt", earlier);
        fs::remove_all(work / "p.res");
    }

    // Exit status of the program appending to the statistics file.
    int run() {
        std::string command = "cd '" + work.string() + "' && QUINTLE_SEED=7 '" + QUINTLE_BINARY +
                              "' p.pmp stats.txt 1 0 > console.txt 2>&1";
        if (limit_address_space) command = "sh -c \"ulimit -v 4000000; " + command + "\"";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string log() const { return read_file(work / "p.res" / "Pellomar_log.txt"); }

    std::string const earlier = "K_1\tK_2\t\n2\t2\t\n";
    scratch::Dir dir{"quintle_size_checks"};
    fs::path work = dir.path();
};

TEST_F(SizeChecks, WhatNoAnalysisCanHoldFailsTheProjectCleanly) {
    for (Case const& c : refused) {
        SCOPED_TRACE(c.name);
        prepare(c);
        ASSERT_EQ(run(), 0) << read_file(work / "console.txt");
        std::string const text = log();
        std::string const end = "Error during run of p.pmp\n";
        ASSERT_GE(text.size(), end.size()) << text;
        EXPECT_EQ(text.substr(text.size() - end.size()), end) << text;
        for (char const* part : c.logged) EXPECT_TRUE(has(text, part)) << part << "\n" << text;
        EXPECT_EQ(read_file(work / "stats.txt"), earlier);
    }
}

// Theta(k) of the largest sample is computed, and at once: the expected
// number of alleles past a million terms is a closed form.
TEST_F(SizeChecks, ThetaKOfTheLargestSampleIsComputed) {
    prepare({"theta(k)", "theta_k_largest_sample.pmp", "TaskNumber=3\nComputeTheta=4\n", "POP_LEVEL\nALL_K\n", {}});
    ASSERT_EQ(run(), 0);
    EXPECT_TRUE(has(log(), "Successful run of p.pmp\n")) << log();
    EXPECT_TRUE(has(read_file(work / "p.res" / "p.htm"), "Theta(k) :     0.04547"));
    EXPECT_EQ(read_file(work / "stats.txt"), earlier + "2\t\n");
}

// A valid but large MatrixSize costs memory only as far as the data fill
// the matrices: a given matrix of 16384 rows (1 GiB of distances) and a
// Mantel section of three such matrices, each with two rows of data, stay
// far below the gigabytes the sizes announce. The peak memory of the run
// is taken from the system (wait4); the address space is not limited, as
// the untouched matrices still reserve theirs.
TEST_F(SizeChecks, LargeMatrixSizesCostOnlyWhatTheDataFill) {
    struct Large {
        char const* project;
        char const* logged;
    };
    Large const cases[] = {
        {"large_matrix_size.pmp", "\tUnable to read label #3 on line 15. Aborting reading Distance Matrix\n"},
        {"large_mantel_size.pmp",
         "\tInsufficient number of labels defined in YMatrixLabels section (6 instead of 16384)."},
    };
    for (Large const& c : cases) {
        SCOPED_TRACE(c.project);
        prepare({c.project, c.project, "TaskNumber=1024\nComputeDistanceMatrixAMOVA=0\n", "POP_LEVEL\nALL_K\n", {}});
        std::string const binary = QUINTLE_BINARY;
        pid_t const child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int const out = ::open("/dev/null", O_WRONLY);
            if (out < 0 || ::chdir(work.c_str()) != 0) ::_exit(126);
            ::dup2(out, 1);
            ::dup2(out, 2);
            ::setenv("QUINTLE_SEED", "7", 1);
            ::execl(binary.c_str(), binary.c_str(), "p.pmp", "stats.txt", "1", "0", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        struct rusage usage {};
        ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_LT(usage.ru_maxrss, 256L * 1024) << "peak memory in KiB";
        std::string const text = log();
        EXPECT_TRUE(has(text, c.logged)) << text;
        EXPECT_TRUE(has(text, "Error during run of p.pmp\n")) << text;
        EXPECT_EQ(read_file(work / "stats.txt"), earlier);
    }
}

}  // namespace
}  // namespace quintle
