#include <gtest/gtest.h>

#include <cmath>
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

struct DnaSample {
    std::vector<std::unique_ptr<HaploDef>> defs;
    PopulDNA pop;

    explicit DnaSample(std::vector<std::pair<std::string, int>> const& seqs) {
        pop.profile.MissingData = '?';
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

// Sampling variance of pi for n sequences (Tajima 1983), theta taken as pi.
double tajima83_var(double pi, double n) {
    return (n + 1) / (3 * (n - 1)) * pi + 2 * (n * n + n + 3) / (9 * n * (n - 1)) * pi * pi;
}

}  // namespace

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

    // Computed once per sample.
    d.defs[0]->data = "TTTTT";
    ASSERT_EQ(d.pop.comp_nucl_freq(), 1);
    EXPECT_DOUBLE_EQ(d.pop.nuclFreq[2], 5.0 / 12);

    // No nucleotide at all: four zeros, never 0/0.
    DnaSample none({{"--??", 1}});
    ASSERT_EQ(none.pop.comp_nucl_freq(), 1);
    for (double f : none.pop.nuclFreq) EXPECT_EQ(f, 0.0);
    EXPECT_EQ(none.pop.gcContent, 0.0);

    LogCapture log;
    PopulDNA empty;
    EXPECT_EQ(empty.comp_nucl_freq(), 0);
    EXPECT_NE(log.text().find("\"PopulDNA::comp_nucl_freq()\" : haplotype list is empty"), std::string::npos);
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
    EXPECT_NEAR(d.pop.piPerSiteSd * d.pop.piPerSiteSd, 0.0087703704, 1e-10);
}

TEST(DnaDiversity, CorrectedDistancesAreScaledToSites) {
    // Jukes and Cantor: per-site distances times the 10 usable sites.
    DnaSample d({{"AAAAAAAAAA", 2}, {"AAAAAAAAGG", 2}});
    settings s;
    ASSERT_EQ(d.pop.evaluate_polymorphism(s), 1);
    d.pop.distanceMethod = 1;
    ASSERT_EQ(d.pop.compute_distance_matrix(nullptr, &s, 0), 1);
    ASSERT_EQ(d.pop.compute_molecular_diversity(s), 1);
    double const jc = -0.75 * std::log(1 - 4.0 / 3.0 * 0.2);
    // 4 of the 6 pairs differ.
    EXPECT_NEAR(d.pop.meanPairwiseDiff, 4 * jc * 10 / 6, 1e-12);
    EXPECT_NEAR(d.pop.piPerSite, 4 * jc / 6, 1e-12);
}

TEST(DnaDiversity, MatrixIsBuiltWhenAbsentWithTheSettingsWeights) {
    DnaSample d({{"AAAAAAAAAA", 1}, {"AAAAAAAAGC", 1}});
    settings s;
    s.DeletionWeight = 1.0;
    s.TransitionWeight = 0.0;  // only the A/C transversion counts
    s.TranversionWeight = 1.0;
    ASSERT_EQ(d.pop.evaluate_polymorphism(s), 1);
    ASSERT_FALSE(d.pop.distMat);
    ASSERT_EQ(d.pop.compute_molecular_diversity(s), 1);
    EXPECT_EQ(d.pop.transitionWeight, 0.0);
    EXPECT_DOUBLE_EQ(d.pop.meanPairwiseDiff, 1.0);
}

TEST(DnaDiversity, OneGeneCopyHasNoDiversity) {
    DnaSample d({{"ACGTACGT", 1}});
    settings s;
    ASSERT_EQ(d.pop.evaluate_polymorphism(s), 1);
    d.pop.meanPairwiseDiff = d.pop.meanPairwiseDiffSd = d.pop.piPerSite = d.pop.piPerSiteSd = 9.0;
    ASSERT_EQ(d.pop.compute_molecular_diversity(s), 1);
    EXPECT_EQ(d.pop.meanPairwiseDiff, 0.0);
    EXPECT_EQ(d.pop.meanPairwiseDiffSd, 0.0);
    EXPECT_EQ(d.pop.piPerSite, 0.0);
    EXPECT_EQ(d.pop.piPerSiteSd, 0.0);
}

TEST(DnaDiversity, FailedMatrixStopsTheComputation) {
    LogCapture log;
    DnaSample d({{"AAAA", 1}, {"ACGT", 1}});  // too divergent for Jukes and Cantor
    settings s;
    ASSERT_EQ(d.pop.evaluate_polymorphism(s), 1);
    d.pop.distanceMethod = 1;
    d.pop.meanPairwiseDiff = -1.0;
    EXPECT_EQ(d.pop.compute_molecular_diversity(s), 0);
    EXPECT_EQ(d.pop.meanPairwiseDiff, -1.0);
    EXPECT_NE(log.text().find("\"PopulDNA::compute_molecular_diversity()\" : distance matrix could not be computed"),
              std::string::npos);
}
