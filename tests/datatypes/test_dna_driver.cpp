// The DNA driver end to end: its whole result text and batch lines against
// recorded texts, and the steps of its sections against values worked out
// by hand.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/random.h"
#include "datatypes/dna_driver_fixture.h"
#include "datatypes/dna_sections.h"
#include "popstats/PopGenetics.h"

using namespace quintle;
using namespace quintle::testing_support;

namespace {

// Five sequences of ten sites: the first twice, each other one differs from
// it at one site (a transversion at site 10, a transition at site 1, a
// transversion at site 3). S = 3; the 10 pairs differ 0 (1 pair), 1 (6
// pairs) or 2 (3 pairs): pi = 12 / 10. C 14, T 11, A 15 and G 10 of the 50
// nucleotides.
std::vector<std::pair<std::string, int>> worked_sample() {
    return {{"ACGTACGTAC", 2}, {"ACGTACGTAA", 1}, {"GCGTACGTAC", 1}, {"ACTTACGTAC", 1}};
}

// Two different gene copies: every test that needs a repeated haplotype
// refuses, and Tajima's variance is 0.
std::vector<std::pair<std::string, int>> two_copies() { return {{"ACGTACGTAC", 1}, {"ACGTACGTAA", 1}}; }

constexpr std::int64_t kEverySection = 1 | 2 | 4 | 64 | 128 | 256 | 16384;

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

struct DriverTexts {
    std::string result;
    std::string batch;
};

DriverTexts run_every_section(bool xml) {
    MarkupOutput markup(xml);
    DnaSample worked("pop1", worked_sample());
    DnaSample pair("pair", two_copies());
    DriverRun run(kEverySection);
    DnaBatchFiles batch(run.dir());
    run.s.ComputeTheta = 15;
    run.s.NumSimulFuTest = 20;
    run.s.NumIterationsNeutralityTests = 20;
    run.s.MismatchDemogExp = 1;
    run.s.MismatchSpatialExp = 1;
    run.s.MismatchSpatialExpNumParams = 2;
    run.s.NumBootExpDem = 5;
    initialize_ran3(-5);
    worked.pop.test_methods(run.s);
    pair.pop.test_methods(run.s);
    return {run.result(), batch.text()};
}

double a1(int n) {
    double sum = 0.0;
    for (int i = 1; i < n; ++i) sum += 1.0 / i;
    return sum;
}

}  // namespace

TEST(DnaDriver, EverySectionMatchesItsRecordedText) {
    const DriverTexts html = run_every_section(false);
    expect_recorded("dna_driver.htm.txt", html.result);
    expect_recorded("dna_driver_batch.txt", html.batch);
    expect_recorded("dna_driver.xml.txt", run_every_section(true).result);
}

TEST(DnaSections, StandardDiversityStep) {
    DnaSample d("pop1", worked_sample());
    DriverRun run(1);
    SampleDriverState st(d.pop.NbHaplotypeEntries);
    const StandardDiversityResult r = standard_diversity_step(d.pop, run.s, st, {true, false, 0.05, true});

    EXPECT_TRUE(st.dataChecked && st.polymorphismEvaluated);
    EXPECT_EQ(r.sampleSize, 5);
    EXPECT_EQ(r.numLoci, 10);
    EXPECT_EQ(r.numPolymorphicSites, 3);
    // sum p^2 = (4 + 1 + 1 + 1) / 25; H = 5/4 (1 - 0.28) = 0.9. Its s.d. (Nei
    // 1987, eq. 8.12): sum p^3 = 0.088, V = 2/20 (2 x 3 (0.088 - 0.0784) +
    // 0.28 - 0.0784) = 0.02592.
    EXPECT_NEAR(r.sumSquaredFreq, 0.28, 1e-12);
    EXPECT_NEAR(r.geneDiversity, 0.9, 1e-12);
    EXPECT_NEAR(r.geneDiversitySd, std::sqrt(0.02592), 1e-12);
    EXPECT_NEAR(r.batchGeneDiversity, 0.9, 1e-12);
    EXPECT_EQ(d.pop.geneDiversity, r.geneDiversity);
}

TEST(DnaSections, MolecularDiversityStepSetsTheSampleAndItsResult) {
    DnaSample d("pop1", worked_sample());
    DriverRun run(2);
    SampleDriverState st(d.pop.NbHaplotypeEntries);
    MolecularDiversityArgs a;
    a.computeTheta = 1 | 2 | 8;
    const MolecularDiversityResult r = dna_molecular_diversity_step(d.pop, run.s, st, a);

    EXPECT_EQ(r.census.transitions, 1);
    EXPECT_EQ(r.census.transversions, 2);
    EXPECT_EQ(r.census.substitutionSites, 3);
    EXPECT_EQ(r.census.usableSites, 10);
    EXPECT_NEAR(r.nuclFreq[0], 0.28, 1e-12);  // C
    EXPECT_NEAR(r.nuclFreq[1], 0.22, 1e-12);  // T
    EXPECT_NEAR(r.nuclFreq[2], 0.30, 1e-12);  // A
    EXPECT_NEAR(r.nuclFreq[3], 0.20, 1e-12);  // G
    ASSERT_TRUE(r.distances);
    EXPECT_NEAR(r.meanPairwiseDiff, 1.2, 1e-12);
    // s.d. of pi (Tajima 1983): (3 n (n + 1) pi + 2 (n^2 + n + 3) pi^2) /
    // (11 n^2 - 7 n + 6) = 203.04 / 246.
    EXPECT_NEAR(r.meanPairwiseDiffSd, std::sqrt(203.04 / 246.0), 1e-12);
    EXPECT_NEAR(r.piPerSite, 0.12, 1e-12);
    EXPECT_TRUE(r.theta.hom && r.theta.s && r.theta.pi);
    EXPECT_EQ(r.theta.k, ThetaResult::K::not_run);
    EXPECT_NEAR(r.theta.thetaS, 3.0 / a1(5), 1e-12);
    EXPECT_NEAR(r.theta.thetaPi, 1.2, 1e-12);
    EXPECT_EQ(d.pop.thetaS, r.theta.thetaS);
    EXPECT_EQ(d.pop.meanPairwiseDiff, r.meanPairwiseDiff);
    ASSERT_TRUE(d.pop.distMat);
}

TEST(DnaSections, StepsLeaveTheirDistanceSettingsInTheSample) {
    struct Case {
        char const* what;
        int method;
        double gamma;
        SequenceWeights weights;
    };
    for (Case c : {Case{"molecular", 2, 0.5, {0.5, 2.0, 3.0}}, Case{"mismatch", 6, 0.25, {0.0, 1.5, 1.0}}}) {
        DnaSample d("pop1", worked_sample());
        DriverRun run(2 | 4);
        SampleDriverState st(d.pop.NbHaplotypeEntries);
        if (std::string(c.what) == "molecular") {
            MolecularDiversityArgs a;
            a.distances = {c.method, c.gamma, c.weights};
            dna_molecular_diversity_step(d.pop, run.s, st, a);
        } else {
            sequence_mismatch_step(d.pop, run.s, st, {c.method, c.gamma, c.weights});
        }
        EXPECT_EQ(d.pop.distanceMethod, c.method) << c.what;
        EXPECT_EQ(d.pop.gammaA, c.gamma) << c.what;
        EXPECT_EQ(d.pop.deletionWeight, c.weights.deletion) << c.what;
        EXPECT_EQ(d.pop.transitionWeight, c.weights.transition) << c.what;
        EXPECT_EQ(d.pop.transversionWeight, c.weights.transversion) << c.what;
        EXPECT_TRUE(d.pop.distMat) << c.what;
    }
}

TEST(DnaSections, MismatchStepCountsPairsByDistance) {
    DnaSample d("pop1", worked_sample());
    DriverRun run(4);
    SampleDriverState st(d.pop.NbHaplotypeEntries);
    const MismatchSectionResult r = sequence_mismatch_step(d.pop, run.s, st, {});

    ASSERT_GE(r.observed.size(), 3u);
    EXPECT_EQ(r.observed[0], 1);
    EXPECT_EQ(r.observed[1], 6);
    EXPECT_EQ(r.observed[2], 3);
    EXPECT_EQ(r.maxPairwiseDistance, 2);
    // Mean 12/10; variance (6 + 12 - 144/10) / 9.
    EXPECT_NEAR(r.mean, 1.2, 1e-12);
    EXPECT_NEAR(r.variance, 0.4, 1e-12);
    EXPECT_EQ(r.mean, d.pop.mismatchMean);
}

TEST(DnaSections, ThetaStepWhenEveryCopyDiffers) {
    DnaSample d("pair", two_copies());
    DriverRun run(2);
    SampleDriverState st(d.pop.NbHaplotypeEntries);
    MolecularDiversityArgs a;
    a.computeTheta = 15;
    const ThetaResult r = dna_molecular_diversity_step(d.pop, run.s, st, a).theta;
    EXPECT_TRUE(r.allDifferent);
    EXPECT_FALSE(r.hom);
    EXPECT_EQ(r.k, ThetaResult::K::not_run);
    // S = 1 among 2 copies: theta(S) = 1 / a1 = 1; pi = 1.
    EXPECT_TRUE(r.s && r.pi);
    EXPECT_NEAR(r.thetaS, 1.0, 1e-12);
    EXPECT_NEAR(r.thetaPi, 1.0, 1e-12);
}
