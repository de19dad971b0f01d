// The frame the DNA and RFLP drivers share, where their rows make them
// differ in more than words: the sites and the deletion weight of Tajima's
// D, and the batch line of a Fu's Fs test refused for a single allele.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "datatypes/PopulDNA.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/dna_driver_fixture.h"
#include "datatypes/rflp_fixture.h"
#include "datatypes/sequence_sections.h"
#include "popstats/tajima.h"
#include "run/glbobj.h"
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
