// The frame the DNA and RFLP drivers share: on equivalent data the two give
// the same numbers, and where their rows make them differ in more than
// words they do: the sites and the deletion weight of Tajima's D, and the
// batch line of a Fu's Fs test refused for a single allele. (Their whole
// texts are held by the recorded runs of test_dna_driver and
// test_rflp_driver.)

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "datatypes/PopulDNA.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/dna_driver_fixture.h"
#include "datatypes/rflp_fixture.h"
#include "datatypes/sequence_sections.h"
#include "core/random.h"
#include "popstats/tajima.h"
#include "run/glbobj.h"
#include "run/task_bits.h"
#include "support/process_state.h"

using namespace quintle;
using namespace quintle::testing_support;

namespace {

double tajima_d(int n, double pi, double S) {
    double D = 0.0;
    double P = 0.0;
    tajimaD(n, pi, S, D, P);
    return D;
}

}  // namespace

// Five copies: two of the first haplotype, one with a deletion at site 3,
// two with a substitution at site 5. Of the 10 pairs, 6 differ at the
// substitution and 4 at the deletion. With every run weight 1, DNA leaves
// deletions out of D (pi 0.6 over S = 1); RFLP counts them in pi (1.0) and
// takes D over both polymorphic sites (S = 2). Both print S = 1 and take
// theta(S) from it.
TEST(SequenceDriver, TajimaTakesEachTypesSitesAndDeletionWeight) {
    const TajimaArgs args{{1.0, 1.0, 1.0}, 0};
    {
        DnaSample d("dna", {{"ACGTA", 2}, {"AC-TA", 1}, {"ACGTC", 2}});
        DriverRun run(64);
        SampleDriverState st(d.pop.NbHaplotypeEntries);
        const TajimaResult t = sequence_tajima_step(d.pop, run.s, st, args);
        EXPECT_EQ(t.segregatingSites, 1);
        EXPECT_DOUBLE_EQ(t.meanPairwiseDiff, 0.6);
        EXPECT_DOUBLE_EQ(t.D, tajima_d(5, 0.6, 1.0));
        EXPECT_EQ(d.pop.deletionWeight, 0.0);
    }
    {
        RflpSample r("rflp", {{"01011", 2}, {"01-11", 1}, {"01010", 2}});
        RflpRun run(64);
        SampleDriverState st(r.pop.NbHaplotypeEntries);
        const TajimaResult t = sequence_tajima_step(r.pop, run.s, st, args);
        EXPECT_EQ(t.segregatingSites, 1);
        EXPECT_DOUBLE_EQ(t.meanPairwiseDiff, 1.0);
        EXPECT_DOUBLE_EQ(t.D, tajima_d(5, 1.0, 2.0));
        EXPECT_EQ(r.pop.deletionWeight, 1.0);
    }
}

// A sample of one allele: both drivers print the refusal, only the DNA
// driver ends a Fu's Fs batch line for it.
TEST(SequenceDriver, OneAlleleFuBatchLineIsTheDnaDriversOnly) {
    std::ostringstream batch;
    test::Saved<int> flag(_FU_FS_, 1);
    test::Saved<std::ostream*> stream(ofs_fu_fs, &batch);
    constexpr char refusal[] = "Fu's Fs test cannot be computed if only one allele in sample\n";
    {
        DnaSample d("dna", {{"ACGT", 6}});
        DriverRun run(0x4000);
        d.pop.test_methods(run.s);
        EXPECT_NE(run.result().find(refusal), std::string::npos);
        EXPECT_EQ(batch.str(), "\n");
    }
    batch.str("");
    {
        RflpSample r("rflp", {{"0101", 6}});
        RflpRun run(0x4000);
        r.pop.test_methods(run.s);
        EXPECT_NE(run.result().find(refusal), std::string::npos);
        EXPECT_EQ(batch.str(), "");
    }
}

// The same eight gene copies as DNA over A and G and as RFLP over 0 and 1
// (A = 0, G = 1), no deletions and no missing data: the one frame must give
// both samples the same numbers in every section it runs. Worked by hand:
//   h1 AGAGAA x3, h2 AGGGAA x2, h3 GGAGAG x1, h4 AGAAAA x2; sites 1, 3, 4
//   and 6 polymorphic; d12 = 1, d13 = 2, d14 = 1, d23 = 3, d24 = 2, d34 = 3.
//   Pairs of copies (28): 5 within haplotypes at 0; at 1: 3*2 + 3*2 = 12; at
//   2: 3*1 + 2*2 = 7; at 3: 2*1 + 1*2 = 4. pi = (12 + 14 + 12)/28 = 19/14.
//   Gene diversity 8/7 (1 - (9 + 4 + 1 + 4)/64) = 23/28.
//   theta(S) = 4/a1 and Tajima's D for n = 8, S = 4, pi = 19/14, from
//   Tajima's formulas in a separate calculation (/usr/bin/python3:
//   a1 = sum(1/i, i<8), a2 = sum(1/i^2, i<8), b1 = 9/21, b2 = 150/504,
//   c1 = b1 - 1/a1, c2 = b2 - 10/(8 a1) + a2/a1^2, e1 = c1/a1,
//   e2 = c2/(a1^2 + a2), D = (pi - S/a1)/sqrt(e1 S + e2 S (S - 1))):
//   1.5426997245179066 and -0.5247373503351177.
TEST(SequenceDriver, EquivalentDnaAndRflpSamplesGiveTheSameNumbers) {
    DnaSample d("same", {{"AGAGAA", 3}, {"AGGGAA", 2}, {"GGAGAG", 1}, {"AGAAAA", 2}});
    RflpSample r("same", {{"010100", 3}, {"011100", 2}, {"110101", 1}, {"010000", 2}});
    constexpr std::int64_t tasks = task_standard_diversity | task_molecular_diversity | task_mismatch |
                                   task_tajima | task_ewens_watterson | task_chakraborty | task_fu_fs;
    std::string dnaResult;
    std::string rflpResult;
    auto settle = [](settings& s) {
        s.ComputeTheta = 15;
        s.NumIterationsNeutralityTests = 50;
        // No replicates: nothing draws before the Ewens-Watterson test,
        // whose simulations then start from the same seed for both.
        s.NumSimulFuTest = 0;
        initialize_ran3(-7);
    };
    {
        DriverRun run(tasks);
        settle(run.s);
        d.pop.test_methods(run.s);
        dnaResult = run.result();
    }
    {
        RflpRun run(tasks);
        settle(run.s);
        r.pop.test_methods(run.s);
        rflpResult = run.result();
    }
    PopGenetics const& a = d.pop;
    PopGenetics const& b = r.pop;

    EXPECT_NEAR(a.geneDiversity, 23.0 / 28.0, 1e-12);
    EXPECT_NEAR(a.meanPairwiseDiff, 19.0 / 14.0, 1e-12);
    EXPECT_EQ(a.numPolymorphicSites, 4);
    EXPECT_NEAR(a.thetaS, 1.5426997245179066, 1e-12);
    EXPECT_NEAR(a.tajimaD, -0.5247373503351177, 1e-12);
    ASSERT_GE(a.mismatchObs.size(), 4U);
    EXPECT_EQ(std::vector<std::int64_t>(a.mismatchObs.begin(), a.mismatchObs.begin() + 4),
              (std::vector<std::int64_t>{5, 12, 7, 4}));

    // Each later test has run (its fields left their "not computed" -1).
    EXPECT_GT(a.ewObservedF, 0.0);
    EXPECT_GT(a.ewExpectedF, 0.0);
    EXPECT_GE(a.chakrabortyP, 0.0);
    EXPECT_GT(a.thetaK, 0.0);
    EXPECT_NE(a.fuFs, 0.0);

    EXPECT_EQ(a.mismatchObs, b.mismatchObs);
    EXPECT_DOUBLE_EQ(a.geneDiversity, b.geneDiversity);
    EXPECT_DOUBLE_EQ(a.geneDiversitySd, b.geneDiversitySd);
    EXPECT_DOUBLE_EQ(a.meanPairwiseDiff, b.meanPairwiseDiff);
    EXPECT_DOUBLE_EQ(a.meanPairwiseDiffSd, b.meanPairwiseDiffSd);
    EXPECT_EQ(a.numPolymorphicSites, b.numPolymorphicSites);
    EXPECT_DOUBLE_EQ(a.thetaS, b.thetaS);
    EXPECT_DOUBLE_EQ(a.thetaSsd, b.thetaSsd);
    EXPECT_DOUBLE_EQ(a.thetaPi, b.thetaPi);
    EXPECT_DOUBLE_EQ(a.thetaK, b.thetaK);
    EXPECT_DOUBLE_EQ(a.thetaHom, b.thetaHom);
    EXPECT_DOUBLE_EQ(a.mismatchMean, b.mismatchMean);
    EXPECT_DOUBLE_EQ(a.mismatchVar, b.mismatchVar);
    EXPECT_DOUBLE_EQ(a.mismatchTau, b.mismatchTau);
    EXPECT_DOUBLE_EQ(a.tajimaD, b.tajimaD);
    EXPECT_DOUBLE_EQ(a.fuFs, b.fuFs);
    EXPECT_DOUBLE_EQ(a.ewObservedF, b.ewObservedF);
    EXPECT_DOUBLE_EQ(a.ewExpectedF, b.ewExpectedF);
    EXPECT_DOUBLE_EQ(a.chakrabortyP, b.chakrabortyP);
    EXPECT_DOUBLE_EQ(a.ewProbF, b.ewProbF);
    EXPECT_DOUBLE_EQ(a.tajimaP, b.tajimaP);

    // Each in its own words.
    EXPECT_NE(dnaResult.find("No. of sites with substitutions (S)   :        4\n"), std::string::npos);
    EXPECT_NE(rflpResult.find("No. of segregating sites (S)          :        4\n"), std::string::npos);
    EXPECT_NE(dnaResult.find("Pairwise difference (no Gamma correction, indels not taken into account)"),
              std::string::npos);
    EXPECT_EQ(rflpResult.find("indels not taken into account"), std::string::npos);
}
