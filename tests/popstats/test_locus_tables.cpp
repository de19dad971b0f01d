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
    g.make_records();
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

}  // namespace
}  // namespace quintle

namespace quintle {
namespace {

// The global table keeps one-character alleles flat; a longer name met in
// the middle of a locus turns them into records, and the copies after it
// still count: A 2 + 3, "B12" 1, C 1, in the order met.
TEST(LocusTablesHaploid, ALongerNameInTheMiddleOfALocusKeepsEveryCopy) {
    PopGenetics::globalAllelicDB.destroy();
    {
        SampleBuilder b(STANDARD, 1);
        b.entry({"A"}, 2, "h1");
        b.entry({"B12"}, 1, "h2");
        b.entry({"A"}, 3, "h3");
        b.entry({"C"}, 1, "h4");
        PopGenetics& p = b.sample;
        p.numLoci = 1;
        std::ostringstream os;
        p.OutputAllelelNumberAndHetPerLocusHapl(os, settings(), true, true, true);
        EXPECT_EQ(p.locusGeneCopies[0], 7);
        EXPECT_EQ(p.locusNumAlleles[0], 3);
        EXPECT_EQ(global_weight(0, "A"), 5.0);
        EXPECT_EQ(global_weight(0, "B12"), 1.0);
        EXPECT_EQ(global_weight(0, "C"), 1.0);
        TLocus const* locus = PopGenetics::globalAllelicDB.loci.data[0];
        ASSERT_EQ(locus->alleles.count, 3);
        EXPECT_EQ(std::string(locus->alleles.data[1]->name.c_str()), "B12");
    }
    PopGenetics::globalAllelicDB.destroy();
}

}  // namespace
}  // namespace quintle
