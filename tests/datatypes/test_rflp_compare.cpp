// The RFLP sample's own operations: checks, reference haplotype, site
// classification, pair distances, distance matrix and molecular diversity,
// on samples worked out by hand.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "datatypes/rflp_fixture.h"
#include "datatypes/rflp_pair_counts.h"
#include "popstats/mismatch.h"

using namespace quintle;
using namespace quintle::testing_support;

namespace {

// The sample's matrix with the method and weight given, after the site
// classification with the same weight.
void matrix_of(RflpSample& r, settings& s, int method, double deletionWeight) {
    r.pop.deletionWeight = deletionWeight;
    r.pop.check_data();
    r.pop.evaluate_polymorphism(s);
    r.pop.distanceMethod = method;
    ASSERT_EQ(r.pop.compute_distance_matrix(nullptr, &s, 0), 1);
}

}  // namespace

// The pair '0', '1', '-', '1' (first, so the reference) and '0', '1', '1',
// '1': with deletions counting, the third site is deletion-polymorphic and
// the pair differs at one of four sites; without, that site is not usable
// and the pair does not differ at the three others.
TEST(RflpCompare, WorkedPairByDeletionWeight) {
    struct Case {
        double weight;
        int method;
        int usable, indelSites, compared;
        double distance, variance;
    };
    const Case cases[] = {
        {1.0, 1, 4, 1, 4, 0.25, 0.25 * 0.75 / 4},  // proportion, p(1 - p) / C
        {1.0, 0, 4, 1, 4, 1.0, 0.75 * 0.25 * 4},   // number, (1 - p) p C
        {0.0, 1, 3, 0, 3, 0.0, 0.0},
        {0.0, 0, 3, 0, 3, 0.0, 0.0},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(::testing::Message() << "weight " << c.weight << " method " << c.method);
        RflpSample r("pair", {{"01-1", 1}, {"0111", 1}});
        RflpRun run(0);
        matrix_of(r, run.s, c.method, c.weight);
        EXPECT_EQ(r.pop.numUsableSites, c.usable);
        EXPECT_EQ(r.pop.numIndelSites, c.indelSites);
        EXPECT_EQ(r.pop.numPolymorphicSites, c.indelSites);
        EXPECT_EQ(r.pop.numSubstitutionSites, 0);
        EXPECT_EQ(r.pop.numValidSites, 4);
        EXPECT_EQ(r.pop.numComparedSites, c.compared);
        RectMat const& m = *r.pop.distMat;
        EXPECT_DOUBLE_EQ(m(1, 0), c.distance);
        EXPECT_DOUBLE_EQ(m(0, 1), std::sqrt(c.variance));
        EXPECT_EQ(m(0, 0), 0.0);
        EXPECT_EQ(m(1, 1), 0.0);
        // The pair operation on the texts themselves agrees.
        const int ok = c.method == 1 ? r.pop.p_diff("01-1", "0111") : r.pop.diff_no_weight("01-1", "0111");
        EXPECT_EQ(ok, 1);
        EXPECT_DOUBLE_EQ(r.pop.pairDistance, c.distance);
        EXPECT_DOUBLE_EQ(r.pop.pairDistanceVar, c.variance);
    }
}

// Sites 1-6 of d1 (twice) 01-011, d2 011011, d3 0100?1, d4 11-010 against
// the reference d1: site 1 and 6 substitutions, site 3 a deletion
// polymorphism, site 5 missing in one copy of five (0.2, above 5 %). The
// pairs over the usable sites 1, 2, 3, 4, 6 differ by d1-d2 1, d1-d3 1,
// d1-d4 2, d2-d3 1, d2-d4 3, d3-d4 3: with the counts 15 differences over
// 10 pairs, pi 1.5. Without deletions counting, the pairs with a '-'
// against a state lose that site: 0, 0, 2, 1, 2, 2, that is 9 / 10.
TEST(RflpCompare, DeletionsAndMissingDataByHand) {
    for (double weight : {1.0, 0.0}) {
        SCOPED_TRACE(weight);
        RflpSample r("gaps", {{"01-011", 2}, {"011011", 1}, {"0100?1", 1}, {"11-010", 1}});
        RflpRun run(0);
        run.s.AllowedLevelOfMissingData = 0.05;
        // Classified with deletions counting, as the driver's first section does.
        matrix_of(r, run.s, 0, 1.0);
        EXPECT_EQ(r.pop.numUsableSites, 5);
        EXPECT_EQ(r.pop.numSubstitutionSites, 2);
        EXPECT_EQ(r.pop.numIndelSites, 1);
        EXPECT_EQ(r.pop.numPolymorphicSites, 3);
        EXPECT_EQ(r.pop.usableSite, (std::vector<int>{1, 1, 1, 1, 0, 1}));
        EXPECT_EQ(r.pop.polymorphicLocus, (std::vector<int>{1, 0, 1, 0, 0, 1}));
        EXPECT_DOUBLE_EQ(r.pop.missingFreqPerSite[4], 0.2);
        EXPECT_EQ(PopGenetics::globalSubstPolymSites.count, 6);

        r.pop.deletionWeight = weight;
        ASSERT_EQ(r.pop.compute_distance_matrix(nullptr, &run.s, 0), 1);
        ASSERT_EQ(r.pop.compute_molecular_diversity(run.s), 1);
        EXPECT_DOUBLE_EQ(r.pop.meanPairwiseDiff, weight > 0 ? 1.5 : 0.9);
        EXPECT_DOUBLE_EQ(r.pop.piPerSite, r.pop.meanPairwiseDiff / 5);
        EXPECT_EQ(r.pop.maxPairwiseDistance, weight > 0 ? 3 : 2);

        // Proportions scaled back to sites give the same differences.
        r.pop.distanceMethod = 1;
        ASSERT_EQ(r.pop.compute_distance_matrix(nullptr, &run.s, 1), 1);
        EXPECT_DOUBLE_EQ((*r.pop.distMat)(3, 1), weight > 0 ? 3.0 : 2.0);
        ASSERT_EQ(r.pop.compute_distance_matrix(nullptr, &run.s, 0), 1);
        ASSERT_EQ(r.pop.compute_molecular_diversity(run.s), 1);
        EXPECT_NEAR(r.pop.meanPairwiseDiff, weight > 0 ? 1.5 : 0.9, 1e-12);
    }
}

// The reference is the first haplotype with each missing site taken from
// the first later haplotype that has one there.
TEST(RflpCompare, ReferenceFillsMissingSites) {
    RflpSample r("ref", {{"?1??", 1}, {"?0-?", 1}, {"01??", 1}});
    RflpRun run(0);
    run.s.AllowedLevelOfMissingData = 1.0;
    ASSERT_EQ(r.pop.evaluate_polymorphism(run.s), 1);
    EXPECT_EQ(std::string(r.pop.arbitraryHaplotype.data.c_str()), "01-?");
    // The reference's deletion that no haplotype answers with a site state
    // is not a site; all missing at the last site: not usable whatever the
    // allowed level.
    EXPECT_EQ(r.pop.usableSite, (std::vector<int>{1, 1, 0, 0}));
    EXPECT_EQ(r.pop.numUsableSites, 2);
    EXPECT_EQ(r.pop.missingFreqPerSite, (std::vector<double>{2.0 / 3, 0.0, 2.0 / 3, 1.0}));
}

TEST(RflpCompare, CheckDataWarnings) {
    {
        RflpSample r("sum", {{"01", 5}, {"11", 7}});
        RflpRun run(0);
        r.pop.SampleSize = 10;
        EXPECT_EQ(r.pop.check_data(), 0);
        EXPECT_EQ(r.pop.SampleSize, 12);
        EXPECT_EQ(occurrences(run.log(), "\"PopulRFLP::check_data()\""), 1);
    }
    {
        RflpSample r("count", {{"01", 5}, {"11", 7}});
        RflpRun run(0);
        r.pop.NbHaplotypeEntries = 5;
        EXPECT_EQ(r.pop.check_data(), 0);
        EXPECT_EQ(r.pop.NbHaplotypeEntries, 5);
        EXPECT_EQ(occurrences(run.log(), "\"PopulRFLP::check_data\""), 1);
    }
}

// Every site with too much missing data: no pair can be compared. The
// matrix is discarded (maximum 0); the molecular diversity then computes it
// again (a second error 136) and reports it missing; so does the printed
// matrix. The mismatch distribution has nothing to count at maximum 0.
TEST(RflpCompare, EveryUnusableSiteLeavesNoMatrix) {
    RflpSample r("gaps", {{"0?", 1}, {"?1", 1}});
    RflpRun run(0);
    run.s.AllowedLevelOfMissingData = 0.05;
    r.pop.check_data();
    r.pop.evaluate_polymorphism(run.s);
    ASSERT_EQ(r.pop.numUsableSites, 0);
    r.pop.distMat = std::make_unique<RectMat>(2, 2);
    r.pop.maxPairwiseDistance = 7;

    EXPECT_EQ(r.pop.compute_distance_matrix(nullptr, &run.s, 0), 0);
    EXPECT_FALSE(r.pop.distMat);
    EXPECT_EQ(r.pop.maxPairwiseDistance, 0);
    const std::string error136 = "from function \"PopulRFLP::compute_distance_matrix(ofstream)\" : distance matrix could not be computed";
    EXPECT_EQ(occurrences(run.log(), error136), 1);

    EXPECT_EQ(r.pop.compute_molecular_diversity(run.s), 1);
    EXPECT_EQ(occurrences(run.log(), error136), 2);
    EXPECT_EQ(occurrences(run.log(),
                          "from function \"PopulRFLP::compute_molecular_diversity()\" : distance matrix does not exist"),
              1);
    EXPECT_EQ(r.pop.meanPairwiseDiff, 0.0);

    std::ostringstream printed;
    r.pop.print_out_dist_mat(&printed, run.s);
    EXPECT_EQ(occurrences(run.log(), "distance matrix does not exist"), 2);

    mismatch_distribution_step(r.pop);
    EXPECT_TRUE(r.pop.mismatchObs.empty());
    EXPECT_EQ(r.pop.mismatchMean, 0.0);
}

// One haplotype: a 1 x 1 matrix and pi 0, with no pair compared (so no
// error even without a usable site).
TEST(RflpCompare, SingleHaplotype) {
    RflpSample r("one", {{"0?", 3}});
    RflpRun run(0);
    run.s.AllowedLevelOfMissingData = 0.0;
    r.pop.check_data();
    r.pop.evaluate_polymorphism(run.s);
    ASSERT_EQ(r.pop.compute_distance_matrix(nullptr, &run.s, 0), 1);
    ASSERT_TRUE(r.pop.distMat);
    EXPECT_EQ(r.pop.distMat->nRows, 1);
    ASSERT_EQ(r.pop.compute_molecular_diversity(run.s), 1);
    EXPECT_EQ(r.pop.meanPairwiseDiff, 0.0);
    EXPECT_EQ(occurrences(run.log(), "ERROR"), 0);
}

// A matrix left for another list (another size) is made again for the list
// as it is, never read or written out of its range.
TEST(RflpCompare, MatrixFollowsTheList) {
    RflpSample r("grow", {{"0000", 1}, {"0011", 1}, {"1111", 1}});
    RflpRun run(0);
    r.pop.check_data();
    r.pop.evaluate_polymorphism(run.s);
    for (int stale : {2, 5}) {
        r.pop.distMat = std::make_unique<RectMat>(stale, stale);
        ASSERT_EQ(r.pop.compute_distance_matrix(nullptr, &run.s, 0), 1);
        ASSERT_EQ(r.pop.distMat->nRows, 3);
        EXPECT_EQ((*r.pop.distMat)(2, 0), 4.0);
        EXPECT_EQ((*r.pop.distMat)(2, 1), 2.0);
        EXPECT_EQ(r.pop.maxPairwiseDistance, 4);
    }
}

// Texts of unequal length: reported, and read as missing data past their
// end (never past it in memory).
TEST(RflpCompare, ShorterTextsReadAsMissing) {
    RflpSample r("short", {{"0101", 1}, {"01", 1}, {"0111", 1}});
    RflpRun run(0);
    run.s.AllowedLevelOfMissingData = 0.5;
    EXPECT_EQ(r.pop.check_data(), 0);
    EXPECT_EQ(occurrences(run.log(), "RFLP haplotypes have different length"), 1);
    r.pop.evaluate_polymorphism(run.s);
    // One copy of three missing at sites 3 and 4.
    EXPECT_EQ(r.pop.numUsableSites, 4);
    EXPECT_EQ(r.pop.numSubstitutionSites, 1);
    ASSERT_EQ(r.pop.compute_distance_matrix(nullptr, &run.s, 0), 1);
    EXPECT_EQ((*r.pop.distMat)(1, 0), 0.0);
    EXPECT_EQ((*r.pop.distMat)(2, 1), 0.0);
    EXPECT_EQ((*r.pop.distMat)(2, 0), 1.0);
    EXPECT_EQ(r.pop.diff_no_weight("01", "0111"), 1);
    EXPECT_EQ(r.pop.numComparedSites, 4);
    EXPECT_EQ(r.pop.numDifferences, 0);

    // A shorter first text gives the number of sites.
    RflpSample first("first", {{"01", 1}, {"0111", 1}});
    first.pop.evaluate_polymorphism(run.s);
    EXPECT_EQ(first.pop.numValidSites, 2);
}

// Two haplotypes of 100000 copies each, one site apart: the count product
// 10^10 passes 32 bits. pi = 2 c^2 / (2c (2c - 1)) = c / (2c - 1).
TEST(RflpCompare, LargeCountsDoNotWrap) {
    RflpSample r("large", {{"01", 100000}, {"00", 100000}});
    RflpRun run(0);
    EXPECT_EQ(r.pop.check_data(), 1);
    r.pop.evaluate_polymorphism(run.s);
    ASSERT_EQ(r.pop.compute_distance_matrix(nullptr, &run.s, 0), 1);
    ASSERT_EQ(r.pop.compute_molecular_diversity(run.s), 1);
    EXPECT_DOUBLE_EQ(r.pop.meanPairwiseDiff, 100000.0 / 199999.0);
}

// The run-wide substitution flags grow with a longer sample and keep what
// earlier samples set; a simulated replicate leaves them alone.
TEST(RflpCompare, RunWideSitesGrowAndIgnoreReplicates) {
    RflpRun run(0);
    auto const& global = PopGenetics::globalSubstPolymSites;
    auto flagged = [&global] {
        std::vector<int> sites;
        for (int k = 0; k < global.count; ++k)
            if (global[k]) sites.push_back(k);
        return sites;
    };
    RflpSample a("short", {{"0100", 1}, {"0110", 1}});
    a.pop.evaluate_polymorphism(run.s);
    EXPECT_EQ(global.count, 4);
    EXPECT_EQ(flagged(), (std::vector<int>{2}));

    RflpSample b("long", {{"00000000", 1}, {"00000010", 1}});
    b.pop.evaluate_polymorphism(run.s);
    EXPECT_EQ(global.count, 8);
    EXPECT_EQ(flagged(), (std::vector<int>{2, 6}));

    RflpSample replicate("sim", {{"0000000000", 1}, {"1000000001", 1}});
    replicate.pop.simulatedSample = true;
    replicate.pop.evaluate_polymorphism(run.s);
    EXPECT_EQ(replicate.pop.numSubstitutionSites, 2);
    EXPECT_EQ(global.count, 8);
    EXPECT_EQ(flagged(), (std::vector<int>{2, 6}));
}

// The pair counts on bit planes (and, with many states, character by
// character) against a plain count over the sites, for texts of random
// states, repeated texts, texts shorter than the sites and both deletion
// rules.
TEST(RflpPairCounts, AgainstAPlainCount) {
    std::uint32_t state = 12345;
    auto next = [&state](std::uint32_t m) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % m;
    };
    for (std::string alphabet : {"01-?", "01", "01-?abcdefg"}) {
        std::vector<std::string> texts;
        for (int i = 0; i < 12; ++i) {
            std::string t(150 - (i == 3 ? 40 : 0), '0');
            for (char& c : t) c = alphabet[next(static_cast<std::uint32_t>(alphabet.size()))];
            texts.push_back(t);
        }
        texts.push_back(texts[2]);  // a repeat
        std::vector<int> sites;
        for (int s = 0; s < 150; s += 1 + static_cast<int>(next(3))) sites.push_back(s);
        std::vector<std::string_view> views(texts.begin(), texts.end());
        for (bool deletions : {true, false}) {
            RflpTexts rows;
            rows.build(views, sites, '?', deletions);
            EXPECT_EQ(rows.num_distinct(), 12);
            EXPECT_EQ(rows.distinct_of(12), rows.distinct_of(2));
            for (int a = 0; a < 13; ++a) {
                for (int b = 0; b < a; ++b) {
                    int plain = 0;
                    for (int s : sites) {
                        auto at = [s](std::string const& t) { return s < static_cast<int>(t.size()) ? t[s] : '?'; };
                        char const x = at(texts[a]), y = at(texts[b]);
                        plain += x != y && x != '?' && y != '?' && (deletions || (x != '-' && y != '-')) ? 1 : 0;
                    }
                    EXPECT_EQ(rows.differences(rows.distinct_of(a), rows.distinct_of(b)), plain)
                        << alphabet << " " << a << " " << b << " " << deletions;
                }
            }
        }
    }
}
