// The RFLP driver end to end: its whole result text, log and batch lines
// against recorded texts, and the settings each section gives the sample's
// distances.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "core/random.h"
#include "datatypes/rflp_fixture.h"
#include "datatypes/rflp_sections.h"
#include "datatypes/sequence_sections.h"

using namespace quintle;
using namespace quintle::testing_support;

namespace {

std::vector<std::pair<std::string, int>> worked_sample() {
    return {{"0101100", 2}, {"0111100", 1}, {"1101000", 1}, {"1101001", 1}, {"0100100", 1}};
}

std::vector<std::pair<std::string, int>> deletion_sample() {
    return {{"01-011", 2}, {"011011", 1}, {"0100?1", 1}, {"11-010", 1}};
}

std::string recorded_path(std::string const& name) {
    return std::string(QUINTLE_TEST_DATA_DIR) + "/datatypes/" + name;
}

// Recorded texts change only in a commit that says why; setting
// QUINTLE_RECORD_TEXTS rewrites them.
void expect_recorded(std::string const& name, std::string const& actual) {
    if (std::getenv("QUINTLE_RECORD_TEXTS") != nullptr) std::ofstream(recorded_path(name), std::ios::binary) << actual;
    const std::string expected = read_file(recorded_path(name));
    ASSERT_FALSE(expected.empty()) << recorded_path(name);
    EXPECT_EQ(actual, expected) << name;
}

// The working directory for the life of the object (the ".dis" files go
// there).
class WorkingDirectory {
public:
    explicit WorkingDirectory(std::filesystem::path const& dir) : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~WorkingDirectory() { std::filesystem::current_path(saved_); }
    WorkingDirectory(WorkingDirectory const&) = delete;
    WorkingDirectory& operator=(WorkingDirectory const&) = delete;

private:
    std::filesystem::path saved_;
};

}  // namespace

// Four samples through every section: the worked sample, one with a
// deletion polymorphism and missing data, a single haplotype (the refusals
// and the one-row mismatch table) and one whose every site has too much
// missing data (no matrix).
TEST(RflpDriver, EverySectionMatchesItsRecordedText) {
    RflpSample worked("worked", worked_sample());
    RflpSample gaps("gaps", deletion_sample());
    RflpSample one("one", {{"0101101", 4}});
    RflpSample unusable("unusable", {{"0?", 1}, {"?1", 1}});
    RflpRun run(1 | 2 | 4 | 8 | 16 | 64 | 128 | 256 | 2048 | 16384);
    DnaBatchFiles batch(run.dir());
    run.s.ComputeTheta = 15;
    run.s.AllowedLevelOfMissingData = 0.05;
    run.s.NumSimulFuTest = 20;
    run.s.NumIterationsNeutralityTests = 20;
    run.s.MarkovChainStepsLD = 200;
    run.s.MismatchDemogExp = 1;
    run.s.MismatchSpatialExp = 1;
    run.s.MismatchSpatialExpNumParams = 2;
    run.s.NumBootExpDem = 5;
    run.s.PrintHaplDistMat = 1;
    initialize_ran3(-5);
    for (RflpSample* r : {&worked, &gaps, &one, &unusable}) r->pop.test_methods(run.s);

    expect_recorded("rflp_driver.htm.txt", run.result());
    expect_recorded("rflp_driver_batch.txt", batch.text());
    expect_recorded("rflp_driver_log.txt", std::regex_replace(run.log(), std::regex("[0-9]+ ms"), "N ms"));
}

// The deletion weight of the molecular diversity is the setting truncated
// to a whole number whose low 32 bits are read unsigned; the mismatch
// distribution takes the setting itself.
TEST(RflpDriver, MolecularDiversityTruncatesTheDeletionWeight) {
    struct Case {
        double setting, truncated;
    };
    const Case cases[] = {{0.5, 0.0},          {1.7, 1.0},
                          {-0.5, 0.0},         {-1.0, 4294967295.0},
                          {4294967297.0, 1.0}, {std::numeric_limits<double>::quiet_NaN(), 0.0},
                          {1e300, 0.0}};
    for (Case const& c : cases) EXPECT_EQ(truncated_deletion_weight(c.setting), c.truncated) << c.setting;

    RflpSample r("gaps", deletion_sample());
    RflpRun run(2 | 4);
    run.s.DeletionWeight = 0.5;
    run.s.AllowedLevelOfMissingData = 0.05;
    SampleDriverState st(r.pop.NbHaplotypeEntries);
    RflpMolecularDiversityArgs a;
    a.deletionWeight = run.s.DeletionWeight;
    const RflpMolecularDiversityResult m = rflp_molecular_diversity_step(r.pop, run.s, st, a);
    // Classified with the sample's weight (1), so the deletion site stays;
    // its differences do not count at weight 0: pi 9 / 10.
    EXPECT_EQ(m.usableSites, 5);
    EXPECT_EQ(m.indelSites, 1);
    EXPECT_DOUBLE_EQ(m.meanPairwiseDiff, 0.9);
    const MismatchSectionResult mm = sequence_mismatch_step(r.pop, run.s, st, {1, 0.0, {run.s.DeletionWeight}});
    EXPECT_DOUBLE_EQ(mm.mean, 1.5);
    EXPECT_EQ(mm.maxPairwiseDistance, 3);  // proportions scaled back to sites
    EXPECT_EQ(r.pop.deletionWeight, 0.5);
}

// Task 2048 leaves the AMOVA matrix: numbers of differing sites for method
// 0, proportions scaled to sites otherwise; with conventional FST, the 0/1
// matrix of distinct haplotypes and its ".dis" file.
TEST(RflpDriver, DistanceMatrixForTheAmova) {
    for (int method : {0, 1}) {
        RflpSample r("gaps", deletion_sample());
        RflpRun run(2048);
        run.s.DistanceMethodAMOVA = method;
        r.pop.test_methods(run.s);
        ASSERT_TRUE(r.pop.distMat) << method;
        EXPECT_DOUBLE_EQ((*r.pop.distMat)(3, 1), 3.0) << method;
        EXPECT_DOUBLE_EQ((*r.pop.distMat)(2, 1), 1.0) << method;
        EXPECT_EQ(r.pop.distanceMethod, method);
    }
    RflpSample r("conventional", worked_sample());
    RflpRun run(2048);
    run.s.ComputeConventionalFST = 1;
    {
        WorkingDirectory here(run.dir());
        r.pop.test_methods(run.s);
    }
    ASSERT_TRUE(r.pop.distMat);
    EXPECT_EQ((*r.pop.distMat)(4, 0), 1.0);
    const std::string dis = read_file(run.dir() / (std::string(r.pop.get_small_name().c_str()) + ".dis"));
    EXPECT_EQ(std::count(dis.begin(), dis.end(), '\n'), 5) << dis;
}
