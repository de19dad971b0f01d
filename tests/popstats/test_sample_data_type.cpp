// A sample's analyses read the data type the sample carries, not the one the
// profile reader read last: samples of different types side by side in one
// process, the reader's class-wide type set to one that has no table at all.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "popstats/PopGenetics.h"
#include "popstats/sample_builder.h"
#include "run/settings.h"
#include "support/process_state.h"

namespace quintle {
namespace {

using testing_support::SampleBuilder;

// The individuals of the hand-worked diploid case of test_locus_tables.cpp
// with the allele names of each type: locus 1 a x5, b x3; locus 2 c x7,
// d x3; locus 3 fixed; two individuals with missing copies.
void three_loci(SampleBuilder& b, char const* const (&n)[6]) {
    b.individual({n[0], n[2], n[4]}, {n[1], n[2], n[4]}, 3.0);
    b.individual({n[0], n[2], n[4]}, {n[0], n[3], n[4]}, 1.0);
    b.individual({n[5], n[5], n[4]}, {n[5], n[3], n[4]}, 2.0);
    b.sample.numLoci = 3;
    b.sample.polymorphicLocus = {1, 1, 0};
}

TEST(SampleDataType, LocusTableOfEachSampleFollowsItsOwnType) {
    SampleBuilder dna(DNA, 3);
    SampleBuilder standard(STANDARD, 3);
    SampleBuilder microsat(MICROSAT, 3);
    three_loci(dna, {"A", "C", "G", "-", "T", "N"});
    three_loci(standard, {"A", "B", "C", "D", "E", "?"});
    three_loci(microsat, {"10", "12", "20", "22", "30", "?"});
    // Read from the class-wide field, frequency data would give no table.
    test::ProfileGuard reader(FREQUENCY, '\0');

    std::ostringstream os;
    for (SampleBuilder* b : {&dna, &standard, &microsat})
        b->sample.OutputAllelelNumberAndHetPerLocusDipl(b->sample.phenotypes, os, settings(), true, true, false);

    for (SampleBuilder* b : {&dna, &standard, &microsat}) {
        PopGenetics const& p = b->sample;
        ASSERT_EQ(p.locusGeneCopies.count, 3);
        EXPECT_EQ(p.locusGeneCopies[0], 8);
        EXPECT_EQ(p.locusGeneCopies[1], 10);
        EXPECT_EQ(p.locusGeneCopies[2], 12);
    }
    // DNA means are over the two polymorphic loci (2 and 2 alleles), the
    // others over all three (2, 2, 1).
    EXPECT_DOUBLE_EQ(dna.sample.meanNumAlleles, 2.0);
    EXPECT_NEAR(standard.sample.meanNumAlleles, 5.0 / 3.0, 1e-14);
    EXPECT_NEAR(microsat.sample.meanNumAlleles, 5.0 / 3.0, 1e-14);
    // Allele sizes are kept for microsatellites only: 10..12, 20..22, 30.
    EXPECT_EQ(dna.sample.locusAllelicRange.count, 0);
    EXPECT_EQ(standard.sample.locusAllelicRange.count, 0);
    ASSERT_EQ(microsat.sample.locusMinAlleleSize.count, 3);
    EXPECT_EQ(microsat.sample.locusMinAlleleSize[0], 10);
    EXPECT_EQ(microsat.sample.locusMaxAlleleSize[0], 12);
    EXPECT_EQ(microsat.sample.locusMinAlleleSize[1], 20);
    EXPECT_EQ(microsat.sample.locusMaxAlleleSize[1], 22);
    EXPECT_EQ(microsat.sample.locusMinAlleleSize[2], 30);
    EXPECT_EQ(microsat.sample.locusMaxAlleleSize[2], 30);
}

// Frequency data have no allele table: a sample of that type gives none,
// whatever type the reader holds.
TEST(SampleDataType, FrequencySampleHasNoLocusTable) {
    SampleBuilder b(STANDARD, 3);
    three_loci(b, {"A", "B", "C", "D", "E", "?"});
    b.sample.dataType = FREQUENCY;
    test::ProfileGuard reader(STANDARD, ' ');
    std::ostringstream os;
    b.sample.OutputAllelelNumberAndHetPerLocusDipl(b.sample.phenotypes, os, settings(), false, false, true);
    EXPECT_EQ(b.sample.locusGeneCopies.count, 0);
    EXPECT_EQ(os.str(), "");
}

}  // namespace
}  // namespace quintle
