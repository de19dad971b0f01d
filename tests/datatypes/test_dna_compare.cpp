#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/HaploDef.h"
#include "datatypes/PopulDNA.h"
#include "run/settings.h"
#include "support/process_state.h"

using namespace quintle;

namespace {

// A DNA sample over haplotype definitions that the fixture owns; the
// project-wide site flags its census fills are put back afterwards.
struct DnaSample {
    test::AllelicDBGuard projectSites;
    std::vector<std::unique_ptr<HaploDef>> defs;
    PopulDNA pop;

    explicit DnaSample(std::vector<std::pair<std::string, int>> const& seqs, char missing = '?') {
        pop.profile.MissingData = missing;
        double total = 0;
        for (auto const& [text, count] : seqs) {
            auto def = std::make_unique<HaploDef>(my_string("h"));
            def->data = text.c_str();
            pop.haplotypes.Add(new PHaploDef{def.get(), count});
            defs.push_back(std::move(def));
            total += count;
        }
        pop.SampleSize = total;
        pop.NbHaplotypeEntries = static_cast<int>(seqs.size());
    }
};

// Sets of the nucleotide letters, written out independently of the code
// under test.
std::string expand(char c) {
    switch (c) {
        case 'R': return "AG";
        case 'Y': return "CT";
        case 'M': return "AC";
        case 'K': return "GT";
        case 'S': return "CG";
        case 'W': return "AT";
        case 'H': return "ACT";
        case 'B': return "CGT";
        case 'V': return "ACG";
        case 'D': return "AGT";
        case 'N': return "ACGT";
        default: return std::string(1, c);
    }
}

bool purine(char c) { return c == 'A' || c == 'G'; }

int expected_letter_class(char a, char b) {
    std::string const sa = expand(a), sb = expand(b);
    bool ts = false, tv = false;
    for (char x : sa) {
        for (char y : sb) {
            if (x == y) return 0;  // compatible
            if (purine(x) == purine(y))
                ts = true;
            else
                tv = true;
        }
    }
    return ts && tv ? 4 : (ts ? 1 : 2);
}

// Sampling variance of pi for n sequences (Tajima 1983), theta taken as pi.
double tajima83_var(double pi, double n) {
    return (n + 1) / (3 * (n - 1)) * pi + 2 * (n * n + n + 3) / (9 * n * (n - 1)) * pi * pi;
}

}  // namespace

TEST(DnaCompare, NucleotideClassesOfAllLetterPairsFollowTheirSets) {
    PopulDNA p;
    std::string const letters = "ACGTRYMKSWHBVDN";
    for (char a : letters) {
        for (char b : letters) {
            if (a == b) continue;
            EXPECT_EQ(p.compare_nucleotides(a, b), expected_letter_class(a, b)) << a << "/" << b;
        }
    }
}

// Worked by hand, site by site (n = 5; allowed missing level 0.25):
//   site  0 A/G transition            7 all '-' : reference gap, no indel
//         1 monomorphic               8 2 of 5 missing: unusable
//         2 G with T and C: two       9 G against M: ambiguous, 1 missing
//           transversion characters  10 only N and missing: reference N
//         3 T against R: transversion 11 2 of 5 missing: unusable
//         4 indel                    12 A/G transition and A/C transversion
//         5 C against Y: compatible
//         6 reference '-' with an A: indel
TEST(DnaCompare, SiteCensusOfACraftedAlignment) {
    struct Expected {
        double wTs, wTv;
        int transitionSites, transitions, transversionSites, transversions, substitutionSites, substitutions,
            indelSites, indels, polymorphic;
        std::vector<int> polymorphicLocus;
    };
    Expected const table[] = {
        {1.0, 1.0, 2, 3, 3, 3, 5, 7, 2, 2, 7, {1, 0, 1, 1, 1, 0, 1, 0, 0, 1, 0, 0, 1}},
        {0.0, 1.0, 0, 0, 3, 3, 4, 4, 2, 2, 6, {0, 0, 1, 1, 1, 0, 1, 0, 0, 1, 0, 0, 1}},
    };
    for (auto const& e : table) {
        DnaSample d({{"ACGTAC--TGN?A", 2}, {"GCTTACA-?G?CG", 1}, {"ACCRAY--T?NTC", 1}, {"ACGT-C--?MNCA", 1}});
        settings s;
        s.AllowedLevelOfMissingData = 0.25;
        d.pop.transitionWeight = e.wTs;
        d.pop.transversionWeight = e.wTv;
        ASSERT_EQ(d.pop.evaluate_polymorphism(s), 1);

        EXPECT_STREQ(d.pop.arbitraryHaplotype.data.c_str(), "ACGTAC--TGNCA");
        EXPECT_EQ(d.pop.numTransitionSites, e.transitionSites);
        EXPECT_EQ(d.pop.numTransitions, e.transitions);
        EXPECT_EQ(d.pop.numTransversionSites, e.transversionSites);
        EXPECT_EQ(d.pop.numTransversions, e.transversions);
        EXPECT_EQ(d.pop.numSubstitutionSites, e.substitutionSites);
        EXPECT_EQ(d.pop.numSubstitutions, e.substitutions);
        EXPECT_EQ(d.pop.numIndelSites, e.indelSites);
        EXPECT_EQ(d.pop.numIndels, e.indels);
        EXPECT_EQ(d.pop.numPolymorphicSites, e.polymorphic);
        EXPECT_EQ(d.pop.numUsableSites, 10);
        EXPECT_EQ(d.pop.numValidSites, 12);
        EXPECT_EQ(d.pop.usableSite, (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1, 0, 1}));
        EXPECT_EQ(d.pop.polymorphicLocus, e.polymorphicLocus);
        EXPECT_EQ(d.pop.transversionAtSite[2], 2);
        EXPECT_EQ(d.pop.transversionAtSite[3], 1);
        EXPECT_DOUBLE_EQ(d.pop.missingFreqPerSite[8], 0.4);
        EXPECT_DOUBLE_EQ(d.pop.missingFreqPerSite[9], 0.2);
        EXPECT_DOUBLE_EQ(d.pop.missingFreqPerSite[11], 0.4);
        ASSERT_EQ(PopGenetics::globalSubstPolymSites.count, 13);
        std::vector<int> flagged;
        for (int s = 0; s < 13; ++s) {
            if (PopGenetics::globalSubstPolymSites[s]) flagged.push_back(s);
        }
        EXPECT_EQ(flagged, e.wTs > 0 ? std::vector<int>({0, 2, 3, 9, 12}) : std::vector<int>({2, 3, 9, 12}));
    }
}

TEST(DnaDiversity, NucleotideCompositionOverAllSites) {
    // "ACGT-" twice and "AAGA?" once: A 2 + 3, C 2, G 2 + 1, T 2, that is
    // 12 nucleotides among 15 characters, brought to a sum of 1.
    DnaSample d({{"ACGT-", 2}, {"AAGA?", 1}});
    ASSERT_EQ(d.pop.comp_nucl_freq(), 1);
    EXPECT_DOUBLE_EQ(d.pop.nuclFreq[0], 2.0 / 12);  // C
    EXPECT_DOUBLE_EQ(d.pop.nuclFreq[1], 2.0 / 12);  // T
    EXPECT_DOUBLE_EQ(d.pop.nuclFreq[2], 5.0 / 12);  // A
    EXPECT_DOUBLE_EQ(d.pop.nuclFreq[3], 3.0 / 12);  // G
    EXPECT_DOUBLE_EQ(d.pop.gcContent, 5.0 / 12);

    // No nucleotide at all: four zeros, never 0/0.
    DnaSample none({{"--??", 1}});
    ASSERT_EQ(none.pop.comp_nucl_freq(), 1);
    for (double f : none.pop.nuclFreq) EXPECT_EQ(f, 0.0);
    EXPECT_EQ(none.pop.gcContent, 0.0);
}

TEST(DnaDiversity, NucleotideCompositionOfLongTexts) {
    // Runs of one letter longer than 255 x 16 (a byte counter per lane would
    // wrap), lengths that are no multiple of 16, and bytes that are no
    // nucleotide (lower case, N, gaps): only A, C, G and T count.
    std::string const first = std::string(5000, 'A') + std::string(7, 'c') + std::string(1234, 'C') + "GGG" +
                              std::string(4097, 'T') + std::string(9, 'N') + "a-";
    // 2,000 times ACGT then one T: 2,000 of A, C and G, 2,001 of T.
    std::string second;
    for (int i = 0; i < 2000; ++i) second += "ACGT";
    second += "T";
    DnaSample d({{first, 1}, {second, 3}});
    ASSERT_EQ(d.pop.comp_nucl_freq(), 1);
    // A 5000 + 3 x 2000, C 1234 + 6000, G 3 + 6000, T 4097 + 6003.
    double const total = 11000.0 + 7234.0 + 6003.0 + 10100.0;
    EXPECT_DOUBLE_EQ(d.pop.nuclFreq[0], 7234.0 / total);   // C
    EXPECT_DOUBLE_EQ(d.pop.nuclFreq[1], 10100.0 / total);  // T
    EXPECT_DOUBLE_EQ(d.pop.nuclFreq[2], 11000.0 / total);  // A
    EXPECT_DOUBLE_EQ(d.pop.nuclFreq[3], 6003.0 / total);   // G
}

// Three haplotypes (counts 3, 2, 1) over 10 sites, distances 1, 2 and 2:
// S = 3x2x1 + 3x1x2 + 2x1x2 = 16 over 15 pairs, so pi = 16/15.
TEST(DnaDiversity, MeanPairwiseDifferencesAndNucleotideDiversity) {
    DnaSample d({{"AAAAAAAAAA", 3}, {"AAAAAAAAAG", 2}, {"AAAAAAAACC", 1}});
    settings s;
    ASSERT_EQ(d.pop.evaluate_polymorphism(s), 1);
    ASSERT_EQ(d.pop.compute_molecular_diversity(s), 1);

    double const n = 6, L = 10, pi = 16.0 / 15.0;
    EXPECT_DOUBLE_EQ(d.pop.meanPairwiseDiff, pi);
    // (3 n (n + 1) pi + 2 (n^2 + n + 3) pi^2) / (11 n^2 - 7 n + 6) = 236.8 / 360.
    EXPECT_NEAR(d.pop.meanPairwiseDiffSd, std::sqrt(236.8 / 360.0), 1e-12);
    EXPECT_DOUBLE_EQ(d.pop.piPerSite, pi / L);
    // Per site: Tajima's variance of pi divided by L^2 (0.0087703704 by hand).
    EXPECT_NEAR(d.pop.piPerSiteSd, std::sqrt(tajima83_var(pi, n) / (L * L)), 1e-12);
}
