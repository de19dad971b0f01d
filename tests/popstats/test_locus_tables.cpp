// Per-locus allele tables of diploid and haploid samples, worked by hand.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <sstream>
#include <string>

#include "popstats/PopGenetics.h"
#include "popstats/sample_builder.h"
#include "run/settings.h"

namespace quintle {
namespace {

using testing_support::SampleBuilder;

const std::string kNarrow = "-------------------------------------------------\n";
const std::string kWide = "---------------------------------------------------------------------\n";

// Weight of the named allele at a locus of the project-wide allele base;
// -1 when absent.
double global_weight(int locus, char const* name) {
    TAlleleDB& g = PopGenetics::globalAllelicDB;
    if (locus >= g.loci.count) return -1.0;
    TAllele* a = g.loci.data[locus]->find_allele_by_name(my_string(name));
    return a != nullptr ? a->weight : -1.0;
}

// Three loci, three classes of individuals. Locus 1: (a,b) x3, (a,a) x1,
// both copies missing x2; locus 2: (c,c) x3, (c,d) x1, one missing and d x2;
// locus 3 fixed for e. Worked by hand:
//   locus 1: n = 8, a 5, b 3; Ho = 3/4; He = (1 - 34/64) * 8/7
//   locus 2: n = 10, c 7, d 3; Ho = 1/4 (the half-missing individuals are
//            not among those scored); He = (1 - 58/100) * 10/9
//   locus 3: n = 12, one allele, He = 0
struct DiploidCase {
    const char* what;
    TDataType type;
    const char* a; const char* b; const char* c; const char* d; const char* e; const char* miss;
};

const double kHe1 = (1.0 - 34.0 / 64.0) * 8.0 / 7.0;
const double kHe2 = (1.0 - 58.0 / 100.0) * 10.0 / 9.0;

TEST(LocusTablesDiploid, CountsHeterozygositiesMeansAndTable) {
    // For DNA the ambiguity code N is missing and '-' an ordinary allele.
    const DiploidCase cases[] = {
        {"standard", STANDARD, "A", "B", "C", "D", "E", "?"},
        {"dna", DNA, "A", "C", "G", "-", "T", "N"},
    };
    for (auto const& k : cases) {
        SCOPED_TRACE(k.what);
        SampleBuilder b(k.type, 3);
        b.individual({k.a, k.c, k.e}, {k.b, k.c, k.e}, 3.0);
        b.individual({k.a, k.c, k.e}, {k.a, k.d, k.e}, 1.0);
        b.individual({k.miss, k.miss, k.e}, {k.miss, k.d, k.e}, 2.9);  // count used truncated: 2
        PopGenetics& p = b.sample;
        p.numLoci = 3;
        p.polymorphicLocus = {1, 1, 0};
        std::ostringstream os;
        p.OutputAllelelNumberAndHetPerLocusDipl(p.phenotypes, os, settings(), true, true, true);

        ASSERT_EQ(p.locusGeneCopies.count, 3);
        EXPECT_EQ(p.locusGeneCopies[0], 8);
        EXPECT_EQ(p.locusGeneCopies[1], 10);
        EXPECT_EQ(p.locusGeneCopies[2], 12);
        EXPECT_EQ(p.locusNumAlleles[0], 2);
        EXPECT_EQ(p.locusNumAlleles[1], 2);
        EXPECT_EQ(p.locusNumAlleles[2], 1);
        EXPECT_DOUBLE_EQ(p.locusObsHet[0], 0.75);
        EXPECT_DOUBLE_EQ(p.locusObsHet[1], 0.25);
        EXPECT_DOUBLE_EQ(p.locusObsHet[2], 0.0);
        EXPECT_NEAR(p.locusExpHet[0], kHe1, 1e-14);
        EXPECT_NEAR(p.locusExpHet[1], kHe2, 1e-14);
        EXPECT_EQ(p.locusExpHet[2], 0.0);
        EXPECT_EQ(p.locusAllelicRange.count, 0);  // no size columns outside microsatellites

        // Missing copies enter the project-wide base with weight 0.
        EXPECT_EQ(global_weight(0, k.a), 5.0);
        EXPECT_EQ(global_weight(0, k.b), 3.0);
        EXPECT_EQ(global_weight(0, k.miss), 0.0);
        EXPECT_EQ(global_weight(1, k.d), 3.0);

        EXPECT_DOUBLE_EQ(p.meanGeneCopies, 10.0);
        EXPECT_NEAR(p.meanGeneCopiesSd, 2.0, 1e-12);  // 8, 10, 12
        if (k.type == DNA) {
            // DNA: over the two polymorphic loci only.
            EXPECT_NEAR(p.meanHet, (kHe1 + kHe2) / 2, 1e-14);
            EXPECT_NEAR(p.meanHetSd, std::fabs(kHe1 - kHe2) / std::sqrt(2.0), 1e-12);
            EXPECT_DOUBLE_EQ(p.meanNumAlleles, 2.0);
            EXPECT_EQ(p.meanNumAllelesSd, 0.0);
        } else {
            // Others: over all three loci (2, 2, 1 alleles: s.d. sqrt(1/3)).
            EXPECT_NEAR(p.meanHet, (kHe1 + kHe2) / 3, 1e-14);
            EXPECT_NEAR(p.meanHetSd, 0.2914146951774768, 1e-12);
            EXPECT_NEAR(p.meanNumAlleles, 5.0 / 3.0, 1e-14);
            EXPECT_NEAR(p.meanNumAllelesSd, std::sqrt(1.0 / 3.0), 1e-12);
        }

        // Printed means and s.d. are over the polymorphic loci: copies 8 and
        // 10 (s.d. sqrt 2), Ho 0.75 and 0.25 (s.d. sqrt 0.125).
        const std::string expected = "\n\nResults are only shown for polymorphic loci\n" + kNarrow +
                                     "           Num.\n"
                                     "           gene     Num.        Obs.      Exp.\n"
                                     "Locus#    copies   alleles      Het.       Het\n" +
                                     kNarrow +
                                     "     1         8         2   0.75000   0.53571\n"
                                     "     2        10         2   0.25000   0.46667\n" +
                                     kNarrow +
                                     "  Mean     9.000     2.000   0.50000   0.50119\n"
                                     "  s.d.     1.414     0.000   0.35355   0.04882\n" +
                                     kNarrow + "\n";
        EXPECT_EQ(os.str(), expected);
    }
}

TEST(LocusTablesDiploid, MicrosatelliteSizeColumns) {
    // Sizes 100, 104 and 102 twice: range 4, G-W 3/5; Ho 1/2, He 10/16 * 4/3.
    // The second locus has no valid copy (see the haploid test for its values).
    SampleBuilder b(MICROSAT, 2);
    b.individual({"100", "?"}, {"104", "?"}, 1.0);
    b.individual({"102", "?"}, {"102", "?"}, 1.0);
    PopGenetics& p = b.sample;
    p.numLoci = 2;
    p.polymorphicLocus = {1, 0};
    std::ostringstream os;
    p.OutputAllelelNumberAndHetPerLocusDipl(p.phenotypes, os, settings(), true, false, true);
    EXPECT_DOUBLE_EQ(p.locusMeanAlleleSize[0], 102.0);
    EXPECT_EQ(p.locusAllelicRange[1], 0);
    // One polymorphic locus: the means are its values, the s.d. 0.
    EXPECT_DOUBLE_EQ(p.meanGW, 0.6);
    EXPECT_EQ(p.meanGWSd, 0.0);
    const std::string rows = "     1         4         3   0.50000   0.83333         4     0.60000\n" + kWide +
                             "  Mean     4.000     3.000   0.50000   0.83333     4.000     0.60000\n"
                             "  s.d.     0.000     0.000   0.00000   0.00000     0.000     0.00000\n";
    EXPECT_NE(os.str().find(rows), std::string::npos) << os.str();
}

TEST(LocusTablesDiploid, AlleleFrequenciesWithAndWithoutMissingState) {
    for (bool countMissing : {false, true}) {
        SCOPED_TRACE(countMissing);
        SampleBuilder b(STANDARD, 2);
        b.individual({"A", "?"}, {"B", "?"}, 2.0);
        b.individual({"A", "?"}, {"?", "?"}, 1.0);
        b.db.create_pop_freq_vector(2);
        PopGenetics& p = b.sample;
        p.id = 1;
        p.numLoci = 2;
        settings s;
        s.ComputeMissDataFreq = countMissing;
        p.computeAlleFreqDipl(p.phenotypes, s);

        TAllele* a = b.allele(0, "A");
        TAllele* q0 = b.allele(0, "?");
        TAllele* q1 = b.allele(1, "?");
        ASSERT_EQ(p.locusGeneCopies.count, 2);
        if (countMissing) {
            // Locus 1: A 3, B 2, ? 1 of 6; locus 2: only ?, frequency 1.
            EXPECT_EQ(p.locusGeneCopies[0], 6);
            EXPECT_EQ(p.locusNumAlleles[0], 3);
            EXPECT_DOUBLE_EQ(a->popFreq[1], 0.5);
            EXPECT_DOUBLE_EQ(q0->popFreq[1], 1.0 / 6.0);
            EXPECT_EQ(p.locusGeneCopies[1], 6);
            EXPECT_EQ(p.locusNumAlleles[1], 1);
            EXPECT_DOUBLE_EQ(q1->popFreq[1], 1.0);
            EXPECT_EQ(global_weight(1, "?"), 6.0);
        } else {
            EXPECT_EQ(p.locusGeneCopies[0], 5);
            EXPECT_EQ(p.locusNumAlleles[0], 2);
            EXPECT_DOUBLE_EQ(a->popFreq[1], 0.6);
            EXPECT_EQ(q0->popFreq[1], 0.0);
            EXPECT_EQ(p.locusGeneCopies[1], 0);
            EXPECT_EQ(p.locusNumAlleles[1], 0);
            EXPECT_EQ(global_weight(1, "?"), 0.0);
        }
        EXPECT_EQ(a->popFreq[0], 0.0);  // another sample's slot
    }
}

TEST(LocusTablesHaploid, AlleleFrequenciesWithAndWithoutMissingState) {
    for (bool countMissing : {false, true}) {
        SCOPED_TRACE(countMissing);
        SampleBuilder b(STANDARD, 2);
        b.entry({"A", "?"}, 2);
        b.entry({"B", "?"}, 1);
        b.entry({"?", "?"}, 1);
        b.db.create_pop_freq_vector(1);
        PopGenetics& p = b.sample;
        p.id = 0;
        settings s;
        s.ComputeMissDataFreq = countMissing;
        p.computeAlleFreqHapl(s);

        ASSERT_EQ(p.locusGeneCopies.count, 2);
        ASSERT_EQ(p.locusNumAlleles.count, 2);
        TAllele* a = b.allele(0, "A");
        TAllele* q1 = b.allele(1, "?");
        if (countMissing) {
            // Locus 1: A 2, B 1, ? 1 of 4; locus 2: only ?, 4 copies.
            EXPECT_EQ(p.locusGeneCopies[0], 4);
            EXPECT_EQ(p.locusNumAlleles[0], 3);
            EXPECT_DOUBLE_EQ(a->popFreq[0], 0.5);
            EXPECT_EQ(p.locusGeneCopies[1], 4);
            EXPECT_EQ(p.locusNumAlleles[1], 1);
            EXPECT_DOUBLE_EQ(q1->popFreq[0], 1.0);
            EXPECT_EQ(global_weight(1, "?"), 4.0);
        } else {
            EXPECT_EQ(p.locusGeneCopies[0], 3);
            EXPECT_EQ(p.locusNumAlleles[0], 2);
            EXPECT_DOUBLE_EQ(a->popFreq[0], 2.0 / 3.0);
            EXPECT_EQ(p.locusGeneCopies[1], 0);
            EXPECT_EQ(p.locusNumAlleles[1], 0);
            EXPECT_EQ(global_weight(1, "?"), 0.0);
        }
        EXPECT_EQ(global_weight(0, "A"), 2.0);
    }
}

// Haploid microsatellites, three loci: 100 x2 and 104 x2; all missing;
// "12.6" (size 13) x2 and 15 x2.
TEST(LocusTablesHaploid, MicrosatelliteTableAndMeans) {
    SampleBuilder b(MICROSAT, 3);
    b.entry({"100", "?", "12.6"}, 2);
    b.entry({"104", "?", "15"}, 2);
    b.db.create_pop_freq_vector(1);
    PopGenetics& p = b.sample;
    p.id = 0;
    p.polymorphicLocus = {1, 0, 1};
    std::ostringstream os;
    p.OutputAllelelNumberAndHetPerLocusHapl(os, settings(), false, false, false);

    EXPECT_EQ(p.numLoci, 3);  // taken from the first haplotype
    EXPECT_EQ(p.locusObsHet.count, 0);
    const int copies[] = {4, 0, 4}, alleles[] = {2, 0, 2}, range[] = {4, 0, 2};
    const int minSize[] = {100, INT_MAX, 13}, maxSize[] = {104, -INT_MAX, 15};
    const double het[] = {2.0 / 3.0, 0.0, 2.0 / 3.0}, gw[] = {0.4, 0.0, 2.0 / 3.0}, mean[] = {102.0, 0.0, 14.0};
    for (int l = 0; l < 3; ++l) {
        SCOPED_TRACE(l);
        EXPECT_EQ(p.locusGeneCopies[l], copies[l]);
        EXPECT_EQ(p.locusNumAlleles[l], alleles[l]);
        EXPECT_NEAR(p.locusExpHet[l], het[l], 1e-15);
        EXPECT_EQ(p.locusAllelicRange[l], range[l]);
        EXPECT_NEAR(p.locusGarzaWilliamson[l], gw[l], 1e-15);
        EXPECT_EQ(p.locusMinAlleleSize[l], minSize[l]);
        EXPECT_EQ(p.locusMaxAlleleSize[l], maxSize[l]);
        EXPECT_NEAR(p.locusMeanAlleleSize[l], mean[l], 1e-12);
    }
    EXPECT_DOUBLE_EQ(b.allele(0, "100")->popFreq[0], 0.5);
    EXPECT_EQ(global_weight(0, "104"), 2.0);
    EXPECT_EQ(global_weight(1, "?"), 0.0);

    // Stored: heterozygosity, alleles and copies over all loci; range and
    // G-W over the polymorphic ones.
    EXPECT_NEAR(p.meanHet, 4.0 / 9.0, 1e-15);
    EXPECT_NEAR(p.meanNumAlleles, 4.0 / 3.0, 1e-15);
    EXPECT_NEAR(p.meanGeneCopies, 8.0 / 3.0, 1e-15);
    EXPECT_NEAR(p.meanGeneCopiesSd, std::sqrt(16.0 / 3.0), 1e-12);  // 4, 0, 4
    EXPECT_DOUBLE_EQ(p.meanAllelicRange, 3.0);
    EXPECT_NEAR(p.meanAllelicRangeSd, std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(p.meanGW, (0.4 + 2.0 / 3.0) / 2, 1e-15);
    EXPECT_NEAR(p.meanGWSd, (2.0 / 3.0 - 0.4) / std::sqrt(2.0), 1e-12);

    const std::string expected = "\n\nResults are only shown for polymorphic loci\n" + kWide +
                                 "           Num.\n"
                                 "           gene     Num.        Exp.   Allelic        G-W\n"
                                 "Locus#    copies   alleles       Het     range       stat.\n" +
                                 kWide +
                                 "     1         4         2   0.66667         4     0.40000\n"
                                 "     3         4         2   0.66667         2     0.66667\n" +
                                 kWide +
                                 "  Mean     4.000     2.000   0.66667     3.000     0.53333\n"
                                 "  s.d.     0.000     0.000   0.00000     1.414     0.18856\n" +
                                 kWide + "\n";
    EXPECT_EQ(os.str(), expected);
}

TEST(LocusTablesHaploid, NoneOrOnePolymorphicLocus) {
    // Locus 1 fixed for A (3 copies); locus 2: B x2, C x1, He = (1 - 5/9) * 3/2 = 2/3.
    struct Case {
        std::vector<int> flags;
        double meanHet, meanHetSd, meanNumAlleles, meanGeneCopies;
        std::string tail;
    };
    const Case cases[] = {
        // None flagged: sums over no locus, the first locus's allele count,
        // no mean rows.
        {{0, 0}, 0.0, 0.0, 1.0, 0.0, kNarrow + kNarrow + "\n"},
        // One flagged: means over both loci; printed s.d. all 0.
        {{0, 1}, 1.0 / 3.0, std::sqrt(2.0 / 9.0), 1.5, 3.0,
         "     2         3         2   0.66667\n" + kNarrow + "  Mean     3.000     2.000   0.66667\n" +
             "  s.d.     0.000     0.000   0.00000\n" + kNarrow + "\n"},
    };
    for (auto const& k : cases) {
        SampleBuilder b(STANDARD, 2);
        b.entry({"A", "B"}, 2);
        b.entry({"A", "C"}, 1);
        PopGenetics& p = b.sample;
        p.polymorphicLocus = k.flags;
        std::ostringstream os;
        p.OutputAllelelNumberAndHetPerLocusHapl(os, settings(), true, true, true);
        EXPECT_NEAR(p.meanHet, k.meanHet, 1e-15);
        EXPECT_NEAR(p.meanHetSd, k.meanHetSd, 1e-12);
        EXPECT_DOUBLE_EQ(p.meanNumAlleles, k.meanNumAlleles);
        EXPECT_DOUBLE_EQ(p.meanGeneCopies, k.meanGeneCopies);
        const std::string out = os.str();
        ASSERT_GE(out.size(), k.tail.size());
        EXPECT_EQ(out.substr(out.size() - k.tail.size()), k.tail);
    }
}

TEST(MeanAlleleSizes, FromIndividualsOrFromHaplotypes) {
    {
        // Individuals weigh by their untruncated count; "12.6" has size 13.
        SampleBuilder b(MICROSAT, 2);
        b.individual({"12.6", "?"}, {"10", "?"}, 2.5);
        b.individual({"?", "?"}, {"20", "?"}, 1.0);
        PopGenetics& p = b.sample;
        p.numLoci = 2;
        p.computeMeanAlleleSizes();
        ASSERT_EQ(p.locusMeanAlleleSize.count, 2);
        EXPECT_NEAR(p.locusMeanAlleleSize[0], (13 * 2.5 + 10 * 2.5 + 20) / 6.0, 1e-12);
        EXPECT_EQ(p.locusMeanAlleleSize[1], 0.0);  // every copy missing
    }
    {
        // No individuals: the haplotype entries, entries of count 0 skipped.
        SampleBuilder b(MICROSAT, 1);
        b.entry({"100"}, 2);
        b.entry({"104"}, 2);
        b.entry({"?"}, 5);
        b.entry({"300"}, 0);
        PopGenetics& p = b.sample;
        p.computeMeanAlleleSizes();
        ASSERT_EQ(p.locusMeanAlleleSize.count, 1);
        EXPECT_DOUBLE_EQ(p.locusMeanAlleleSize[0], 102.0);
    }
}

}  // namespace
}  // namespace quintle
