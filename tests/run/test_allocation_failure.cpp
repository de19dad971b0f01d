// An allocation that fails anywhere in a project ends that project the way a
// failed one ends ("Error during run of" in the log, no half statistics
// line), never the process, and never with a wrong line. The failure is
// injected: this test program replaces the global allocation functions, and
// a countdown makes the n-th allocation after it is armed throw
// std::bad_alloc, once.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "core/public.h"
#include "core/scratch.h"
#include "core/xml.h"
#include "run/pmlestart.h"
#include "run/settings.h"
#include "sumstat/TSumStat.h"
#include "support/process_state.h"

namespace {

// -1: allocations never fail; n >= 0: the allocation after n more fails.
long allocations_left = -1;
// Allocations counted since the countdown was last armed.
long allocations_seen = 0;

void* allocate(std::size_t n) {
    ++allocations_seen;
    if (allocations_left >= 0 && allocations_left-- == 0) throw std::bad_alloc();
    if (void* p = std::malloc(n != 0 ? n : 1)) return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace quintle {
namespace {

namespace fs = std::filesystem;
using scratch::read_file;
using scratch::write_file;

struct Case {
    char const* name;
    char const* project;
    char const* settings;
    bool group_level;
};

// DNA in two groups: diversity, molecular diversity, Tajima, AMOVA,
// pairwise FST and Fu's Fs with few simulations, also on pooled groups.
constexpr Case dna_case{
    "dna",
    "[Profile]\n Title=\"t\"\n NbSamples=3\n DataType=DNA\n GenotypicData=0\n LocusSeparator=NONE\n"
    "[Data]\n [[Samples]]\n SampleName=\"a\"\n SampleSize=4\n SampleData={\n h1 3 ACGTTGCAAG\n h2 1 ACGTTGCGAG\n }\n"
    " SampleName=\"b\"\n SampleSize=3\n SampleData={\n h1 1\n h3 2 ACGATGCAAG\n }\n"
    " SampleName=\"c\"\n SampleSize=2\n SampleData={\n h3 1\n h4 1 TCGATGCAAG\n }\n"
    " [[Structure]]\n StructureName=\"s\"\n NbGroups=2\n Group={\n \"a\"\n }\n Group={\n \"b\"\n \"c\"\n }\n",
    "[Setting for Calculations]\nTaskNumber=17987\nXMLOutput=1\nNumSimulFuTest=5\nNumPermutationsAMOVA=5\n"
    "NumPermutationsFST=5\nComputePairwiseFST=1\nPrintFstVals=1\nHaplAMOVA=1\nComputeDistanceMatrixAMOVA=1\n"
    "NumIterationsNeutralityTests=5\n",
    true};

// Unphased microsatellite genotypes: the genotype readers and conversions.
constexpr Case genotype_case{
    "microsat genotypes",
    "[Profile]\n NbSamples=2\n DataType=MICROSAT\n GenotypicData=1\n GameticPhase=0\n LocusSeparator=WHITESPACE\n"
    " MissingData='?'\n[Data]\n [[Samples]]\n SampleName=\"A\"\n SampleSize=2\n SampleData={\n"
    " a1 1 120 134\n 122 134\n a2 1 120 130\n 124 136\n }\n SampleName=\"B\"\n SampleSize=1\n SampleData={\n"
    " b1 1 118 130\n 118 132\n }\n [[Structure]]\n StructureName=\"s\"\n NbGroups=1\n Group={\n \"A\"\n \"B\"\n }\n",
    "[Setting for Calculations]\nTaskNumber=1539\nXMLOutput=0\nNumPermutationsAMOVA=5\nNumPermutationsFST=5\n"
    "ComputePairwiseFST=1\nPrintFstVals=1\nComputeDistanceMatrixAMOVA=1\nDistanceMethodAMOVA=0\n",
    false};

class AllocationFailure : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        ::setenv("QUINTLE_SEED", "5", 1);
        write_file(dir / "t.pmp", GetParam().project);
        write_file(dir / "pml_run.pms", GetParam().settings);
    }
    void TearDown() override {
        allocations_left = -1;
        release_run_globals();
        ::unsetenv("QUINTLE_SEED");
    }

private:
    test::LogGuard log_{"quintle_alloc_fail_log"};
    test::ProfileGuard profile_;
    test::SumStatGuard sumStat_;
    test::AllelicDBGuard projectAlleles_;
    test::HitsGuard hits_;
    test::Saved<bool> xml_{xmlOutput};
    test::Saved<my_string> input_{settings::input_file};

protected:

    // One run of the project with allocation `fail_at` (counted from the
    // driver's start) failing, -1 for none. The statistics line it built, or
    // "escaped" when the failure left the driver.
    std::string run(long fail_at) {
        SumStat.resetComputationFlags();
        SumStat.computing = SumStat.POP_LEVEL = SumStat.ALL_K = SumStat.ALL_H = SumStat.GLOBAL_FSTAT = true;
        SumStat.PAIRWISE_FST = true;
        SumStat.GROUP_LEVEL = GetParam().group_level;
        std::string const prefix = dir.path().string() + "/";
        write_file(prefix + getPmlRunString().c_str(), prefix + "\nuse_interf_settings\n" + prefix + "t.pmp\n0\n0\nend\n");
        std::string directory = prefix;
        fs::remove_all(dir / "t.res");
        allocations_seen = 0;
        allocations_left = fail_at;
        bool escaped = false;
        try {
            pmlestart(directory.data());
        } catch (...) {
            escaped = true;
        }
        allocations_left = -1;
        return escaped ? "escaped" : SumStat.statsLine;
    }

    scratch::Dir dir{"quintle_alloc_fail"};
};

TEST_P(AllocationFailure, EndsTheProjectCleanlyWherever) {
    std::string const full = run(-1);
    std::string const log_path = (dir / "t.res" / "Pellomar_log.txt").string();
    ASSERT_NE(read_file(log_path).find("Successful run of "), std::string::npos) << read_file(log_path);
    ASSERT_FALSE(full.empty());
    long const total = allocations_seen;

    int failed = 0;
    int points = 0;
    // About 150 failure points spread over the whole run (every one of them
    // passes as well; it only takes longer).
    long const step = std::max(1L, total / 150);
    for (long at = 0; at < total; at += step, ++points) {
        SCOPED_TRACE(at);
        std::string const line = run(at);
        if (line == "escaped" || !fs::exists(log_path)) {
            // The driver's own set-up failed (reading the run file, say): no
            // project started, so there is no log and no line; the program's
            // entry reports it.
            EXPECT_TRUE(line == "escaped" || line.empty()) << line;
            continue;
        }
        // The run file was read on past the project's own lines, whatever
        // ended it: its integer lines are never taken for another project.
        EXPECT_NE(proj_file, "0");
        std::string const log = read_file(log_path);
        bool const ok = log.find("Successful run of ") != std::string::npos;
        bool const error = log.find("Error during run of ") != std::string::npos;
        ASSERT_NE(ok, error) << log;
        if (error) {
            ++failed;
            EXPECT_EQ(line, "") << "a failed project adds no line, not even half a one";
        } else {
            EXPECT_EQ(line, full) << "a run that succeeds has its whole line";
        }
    }
    EXPECT_GT(failed, points / 2);
}

INSTANTIATE_TEST_SUITE_P(Projects, AllocationFailure, ::testing::Values(dna_case, genotype_case),
                         [](auto const& info) { return info.index == 0 ? "Dna" : "MicrosatGenotypes"; });

}  // namespace
}  // namespace quintle
