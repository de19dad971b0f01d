#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/HaploDef.h"
#include "datatypes/PopulDNA.h"
#include "popstats/log_capture.h"
#include "run/settings.h"

using namespace quintle;
using quintle::testing_support::LogCapture;

namespace {

// A DNA sample over haplotype definitions that the fixture owns.
struct DnaSample {
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

}  // namespace

TEST(DnaCompare, NucleotideClassesOfListedPairs) {
    PopulDNA p;
    struct Case {
        char a, b;
        int cls;
    };
    Case const cases[] = {
        {'A', '-', 3}, {'0', '1', 4}, {'0', 'A', 0}, {'a', 'g', 0}, {'-', 'A', 3}, {'-', 'N', 3},
        {'0', '-', 3}, {'-', '0', 0}, {'-', '?', 0}, {'?', 'A', 0}, {'A', '?', 0}, {'A', 'X', 0},
        {'Z', 'A', 0}, {'N', '-', 3}, {'A', 'A', 0},
    };
    for (auto const& c : cases) EXPECT_EQ(p.compare_nucleotides(c.a, c.b), c.cls) << c.a << "/" << c.b;
}

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
        PopGenetics::globalSubstPolymSites.count = 0;
        ASSERT_EQ(d.pop.evaluate_polymorphism(s), 1);

        EXPECT_STREQ(d.pop.arbitraryHaplotype.data.c_str(), "ACGTAC--TGNCA");
        EXPECT_STREQ(d.pop.arbitraryHaplotype.id.c_str(), "Arbitrary reference haplotype");
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
        EXPECT_EQ(d.pop.missingFreqPerSite[1], 0.0);
        ASSERT_EQ(PopGenetics::globalSubstPolymSites.count, 13);
        std::vector<int> flagged;
        for (int s = 0; s < 13; ++s) {
            if (PopGenetics::globalSubstPolymSites[s]) flagged.push_back(s);
        }
        EXPECT_EQ(flagged, e.wTs > 0 ? std::vector<int>({0, 2, 3, 9, 12}) : std::vector<int>({2, 3, 9, 12}));
    }
    PopGenetics::globalSubstPolymSites.count = 0;
}

TEST(DnaCompare, GlobalSubstitutionFlagsKeepEarlierSamplesAndIgnoreSimulated) {
    auto& global = PopGenetics::globalSubstPolymSites;
    for (bool simulated : {false, true}) {
        SCOPED_TRACE(simulated);
        global.count = 0;
        // An earlier sample had a substitution at its site 1 only.
        global.Add(false);
        global.Add(true);
        DnaSample d({{"AAAAAAAA", 1}, {"GAAACAAA", 1}});
        d.pop.simulatedSample = simulated;
        settings s;
        ASSERT_EQ(d.pop.evaluate_polymorphism(s), 1);
        EXPECT_EQ(d.pop.numSubstitutionSites, 2);
        std::vector<bool> flags;
        for (long k = 0; k < global.count; ++k) flags.push_back(global[k]);
        std::vector<bool> const expected =
            simulated ? std::vector<bool>{false, true}
                      : std::vector<bool>{true, true, false, false, true, false, false, false};
        EXPECT_EQ(flags, expected);
    }
    global.count = 0;
}

TEST(DnaCompare, ReferenceTakesFirstInformativeOrLastCharacter) {
    // Site 0: first non-missing character, even an ambiguity code, once some
    // haplotype is informative; site 1: only codes and missing -> the last.
    DnaSample d({{"?N", 1}, {"YN", 1}, {"CR", 1}, {"T?", 1}});
    ASSERT_EQ(d.pop.build_arbitrary_haplotype(), 1);
    EXPECT_STREQ(d.pop.arbitraryHaplotype.data.c_str(), "Y?");
    // Built once: a later call keeps it.
    d.defs[1]->data = "AA";
    ASSERT_EQ(d.pop.build_arbitrary_haplotype(), 1);
    EXPECT_STREQ(d.pop.arbitraryHaplotype.data.c_str(), "Y?");

    PopulDNA empty;
    EXPECT_EQ(empty.build_arbitrary_haplotype(), 0);
    EXPECT_EQ(empty.compare_DNA_sequences(), 0);
}

TEST(DnaCompare, CheckDataWarnings) {
    LogCapture log;
    DnaSample ok({{"ACGT", 2}, {"ACGA", 1}});
    EXPECT_EQ(ok.pop.check_data(), 1);

    DnaSample sizes({{"ACGT", 2}, {"ACGA", 1}});
    sizes.pop.SampleSize = 7;
    sizes.pop.NbHaplotypeEntries = 5;
    EXPECT_EQ(sizes.pop.check_data(), 0);
    EXPECT_EQ(sizes.pop.SampleSize, 3.0);
    EXPECT_EQ(sizes.pop.NbHaplotypeEntries, 5);

    DnaSample unset({{"ACGT", 2}, {"ACGA", 1}});
    unset.pop.SampleSize = 0;
    unset.pop.NbHaplotypeEntries = 0;
    EXPECT_EQ(unset.pop.check_data(), 1);
    EXPECT_EQ(unset.pop.SampleSize, 3.0);
    EXPECT_EQ(unset.pop.NbHaplotypeEntries, 2);

    DnaSample lengths({{"ACGT", 1}, {"ACG", 1}});
    EXPECT_EQ(lengths.pop.check_data(), 0);

    std::string const text = log.text();
    EXPECT_NE(text.find("sum of haplotype frequencies do not Add up to specified number"), std::string::npos);
    EXPECT_NE(text.find("number of haplotypes does not correspond to initial value"), std::string::npos);
    EXPECT_NE(text.find("DNA sequences have different lengths"), std::string::npos);
    EXPECT_NE(text.find("\"PopulDNA::check_data()\""), std::string::npos);
}

// Sequences of unequal length: the missing end of a shorter sequence is
// missing data, whichever haplotype is the shorter one.
TEST(DnaCompare, ShorterSequencesReadAsMissingData) {
    for (bool shortFirst : {false, true}) {
        std::vector<std::pair<std::string, int>> seqs{{"ACGTA", 1}, {"ACG", 1}};
        if (shortFirst) std::swap(seqs[0], seqs[1]);
        DnaSample d(seqs);
        settings s;
        s.AllowedLevelOfMissingData = 0.6;
        PopGenetics::globalSubstPolymSites.count = 0;
        ASSERT_EQ(d.pop.evaluate_polymorphism(s), 1);
        EXPECT_STREQ(d.pop.arbitraryHaplotype.data.c_str(), "ACGTA");
        ASSERT_EQ(d.pop.missingFreqPerSite.size(), 5u);
        EXPECT_DOUBLE_EQ(d.pop.missingFreqPerSite[3], 0.5);
        EXPECT_DOUBLE_EQ(d.pop.missingFreqPerSite[4], 0.5);
        EXPECT_EQ(d.pop.numUsableSites, 5);
        EXPECT_EQ(d.pop.numPolymorphicSites, 0);

        s.AllowedLevelOfMissingData = 0.0;
        d.pop.evaluate_polymorphism(s);
        EXPECT_EQ(d.pop.numUsableSites, 3);
    }
    PopGenetics::globalSubstPolymSites.count = 0;
}
