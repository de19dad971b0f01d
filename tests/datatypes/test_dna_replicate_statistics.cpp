// The replicate statistics computed column by column from a compact
// alignment against the sample computations they stand for (site census,
// distance matrix of pairwise differences, molecular diversity), on random
// alignments with every kind of character the census and the distances
// treat apart. The two must agree to the bit.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "data/HaploDef.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/dna_replicate_statistics.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"

using namespace quintle;

namespace {

struct Case {
    int rows;
    int width;
    char missing;
    char separator;
    double level;       // allowed level of missing data
    long omitted;       // identical sites left out of the rows
    DistanceWeights census;
    DistanceWeights distance;
};

struct Full {
    DnaSiteCensus census;
    MolecularDiversity diversity;
};

// What the sample itself computes from the same rows.
Full full_path(CompactAlignment const& a, Case const& c) {
    std::vector<std::unique_ptr<HaploDef>> defs;
    PopulDNA pop;
    pop.simulatedSample = true;  // the project-wide flags stay as they are
    pop.profile.MissingData = c.missing;
    double total = 0.0;
    for (int i = 0; i < a.rows(); ++i) {
        auto def = std::make_unique<HaploDef>(my_string("h"));
        def->data = std::string(a.row(i), static_cast<std::size_t>(a.width)).c_str();
        pop.haplotypes.Add(new PHaploDef{def.get(), a.counts[static_cast<std::size_t>(i)]});
        defs.push_back(std::move(def));
        total += a.counts[static_cast<std::size_t>(i)];
    }
    pop.SampleSize = total;
    pop.NbHaplotypeEntries = a.rows();
    pop.omittedIdenticalSites = static_cast<int>(a.omittedSites);
    settings s;
    s.AllowedLevelOfMissingData = c.level;
    pop.deletionWeight = c.census.deletion;
    pop.transitionWeight = c.census.transition;
    pop.transversionWeight = c.census.transversion;
    pop.check_data();
    pop.evaluate_polymorphism(s);
    pop.deletionWeight = c.distance.deletion;
    pop.transitionWeight = c.distance.transition;
    pop.transversionWeight = c.distance.transversion;
    pop.compute_distance_matrix(nullptr, &s, 0);
    pop.compute_molecular_diversity(s);

    Full f;
    f.census = {pop.numTransitions, pop.numTransversions, pop.numSubstitutions, pop.numIndels,
                pop.numTransitionSites, pop.numTransversionSites, pop.numSubstitutionSites, pop.numIndelSites,
                pop.numValidSites, pop.numPolymorphicSites, pop.numUsableSites};
    f.diversity = {pop.meanPairwiseDiff, pop.meanPairwiseDiffSd, pop.piPerSite, pop.piPerSiteSd};
    return f;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Mostly bases with a few variable columns, sprinkled with the characters of
// `extra` (ambiguity codes, gaps, missing data, digits ...).
CompactAlignment random_alignment(std::mt19937& rng, Case const& c, std::string const& extra, double extraRate) {
    CompactAlignment a;
    a.clear(c.width);
    a.omittedSites = c.omitted;
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::string const bases = "ACGT";
    std::string reference(static_cast<std::size_t>(c.width), 'A');
    for (char& x : reference) x = bases[rng() % 4];
    for (int i = 0; i < c.rows; ++i) {
        char* row = a.add_row(1 + static_cast<int>(rng() % 4));
        for (int s = 0; s < c.width; ++s) {
            double const v = u(rng);
            if (!extra.empty() && v < extraRate)
                row[s] = extra[rng() % extra.size()];
            else if (v < extraRate + 0.25)
                row[s] = bases[rng() % 4];
            else
                row[s] = reference[static_cast<std::size_t>(s)];
        }
    }
    return a;
}

void expect_same(CompactAlignment const& a, Case const& c, DnaReplicateWork& work) {
    char const savedSeparator = ProfileSettings::LocusSeparator;
    ProfileSettings::LocusSeparator = c.separator;
    Full const full = full_path(a, c);
    double copies = 0.0;
    for (int n : a.counts) copies += n;
    DnaReplicateSettings in;
    in.missing = c.missing;
    in.separator = c.separator;
    in.allowedMissingLevel = c.level;
    in.sampleSize = copies;
    in.censusWeights = c.census;
    in.distanceWeights = c.distance;
    DnaReplicateStatistics const direct = dna_replicate_statistics(a, in, work);
    ProfileSettings::LocusSeparator = savedSeparator;

    EXPECT_EQ(direct.census, full.census);
    EXPECT_TRUE(same_bits(direct.diversity.meanPairwiseDiff, full.diversity.meanPairwiseDiff))
        << direct.diversity.meanPairwiseDiff << " / " << full.diversity.meanPairwiseDiff;
    EXPECT_TRUE(same_bits(direct.diversity.meanPairwiseDiffSd, full.diversity.meanPairwiseDiffSd));
    EXPECT_TRUE(same_bits(direct.diversity.piPerSite, full.diversity.piPerSite));
    EXPECT_TRUE(same_bits(direct.diversity.piPerSiteSd, full.diversity.piPerSiteSd));
}

TEST(DnaReplicateStatistics, SameAsTheSampleComputationsOnRandomAlignments) {
    std::mt19937 rng(20261206);
    double const weights[] = {0.0, 0.3, 1.0, 2.0};
    auto pick = [&] { return weights[rng() % 4]; };
    struct Kind {
        char const* name;
        char missing;
        char separator;
        std::string extra;
    };
    Kind const kinds[] = {
        {"bases", '?', 0, ""},
        {"ambiguity, gaps, missing", '?', 0, "RYMKSWHBVDN-?"},
        {"N as missing", 'N', 0, "RYN-"},
        {"gap as missing", '-', 0, "RY-?"},
        {"missing character a base", 'A', 0, "N-?"},
        {"digits beside gaps", '?', 0, "0123-?"},
        {"separator", '?', ' ', " -N"},
    };
    DnaReplicateWork work;  // reused, as from replicate to replicate
    int cases = 0;
    for (Kind const& kind : kinds) {
        for (int trial = 0; trial < 40; ++trial) {
            Case c;
            c.rows = 1 + static_cast<int>(rng() % 9);
            c.width = 1 + static_cast<int>(rng() % 40);
            c.missing = kind.missing;
            c.separator = kind.separator;
            double const levels[] = {0.0, 0.05, 0.3, 1.0, -1.0};
            c.level = levels[rng() % 5];
            c.omitted = rng() % 3 == 0 ? static_cast<long>(rng() % 500) : 0;
            c.census = trial % 3 == 0 ? DistanceWeights{} : DistanceWeights{pick(), pick(), pick()};
            c.distance = DistanceWeights{pick(), pick(), pick()};
            SCOPED_TRACE(::testing::Message() << kind.name << " trial " << trial << " rows " << c.rows << " width "
                                              << c.width << " level " << c.level << " weights D/Ts/Tv "
                                              << c.distance.deletion << "/" << c.distance.transition << "/"
                                              << c.distance.transversion);
            expect_same(random_alignment(rng, c, kind.extra, 0.15), c, work);
            ++cases;
        }
    }
    EXPECT_EQ(cases, 280);
}

// Weights beyond the exact integer form, and samples large enough for the
// sums to leave it, take the pair by pair form with the same result.
TEST(DnaReplicateStatistics, LargeWeightsAndCountsTakeThePairForm) {
    std::mt19937 rng(7);
    DnaReplicateWork work;
    for (double w : {4194304.0, 1e300, -2.0}) {
        Case c{6, 30, '?', 0, 0.05, 0, DistanceWeights{}, DistanceWeights{w, w, 1.0}};
        SCOPED_TRACE(w);
        expect_same(random_alignment(rng, c, "-R", 0.1), c, work);
    }
    // Odd counts whose products and sums pass 2^53: the matrix order rounds.
    Case c{5, 20, '?', 0, 0.05, 0, DistanceWeights{}, DistanceWeights{1.0, 1.0, 2.0}};
    int const big[] = {40000001, 39999997, 40000003, 39999991, 40000013};
    for (int trial = 0; trial < 10; ++trial) {
        CompactAlignment a = random_alignment(rng, c, "", 0.0);
        for (std::size_t i = 0; i < a.counts.size(); ++i) a.counts[i] = big[i];
        expect_same(a, c, work);
    }
}

// '0' against '-' is an indel, '-' against '0' is not: the pairs of such a
// column count in the order of the rows.
TEST(DnaReplicateStatistics, DigitsBesideGapsCountInRowOrder) {
    DnaReplicateWork work;
    CompactAlignment a;
    a.clear(2);
    char const* rows[] = {"AA", "-A", "0C", "-A", "0G"};
    for (char const* r : rows) std::memcpy(a.add_row(2), r, 2);
    Case c{5, 2, '?', 0, 0.5, 0, DistanceWeights{}, DistanceWeights{1.0, 1.0, 1.0}};
    expect_same(a, c, work);
    // By hand, two copies per row. Column 0 (reference A): the pairs (later,
    // earlier) -/A twice and 0/- three times are indels, 5 x 4 = 20, while
    // -/0 and 0/A count nothing. Column 1: A-G 6 x 2 = 12 transitions, A-C
    // 12 and C-G 4 transversions. pi = 48 / (10 x 9 / 2).
    DnaReplicateSettings in;
    in.allowedMissingLevel = 0.5;
    in.sampleSize = 10.0;
    DnaReplicateStatistics const r = dna_replicate_statistics(a, in, work);
    EXPECT_EQ(r.diversity.meanPairwiseDiff, 48.0 / 45.0);
    EXPECT_EQ(r.census.substitutionSites, 1);
    EXPECT_EQ(r.census.indelSites, 1);
    EXPECT_EQ(r.census.usableSites, 2);
}

}  // namespace
