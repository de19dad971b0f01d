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

#include "core/random.h"
#include "data/HaploDef.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/dna_replicate_statistics.h"
#include "popstats/TNode.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"
#include "support/process_state.h"

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
    pop.locusSeparator = c.separator;
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

// Replicates whose mutations each hit a site of their own take their
// statistics from the mutations and the genealogy: the same census, the
// same doubles and the same number of distinct sequences as the rows of the
// replicate give, over sample sizes, rates, rate heterogeneity and weights;
// replicates with a site hit twice are told apart.
TEST(DnaReplicateStatistics, SingleHitFormAgreesWithTheRows) {
    test::HitsGuard hits;
    long seed = -20261207;
    initialize_ran3(seed);
    struct Shape {
        int genes;
        int sites;
        double mu;
        double gamma;
    };
    Shape const shapes[] = {{50, 1000, 2.1, 0.0}, {2, 10, 1.0, 0.0}, {13, 300, 6.0, 0.0},
                            {30, 40, 4.0, 0.0},   {20, 200, 3.0, 0.4}, {8, 6, 2.0, 0.0}};
    DistanceWeights const weights[] = {{0.0, 1.0, 1.0}, {1.0, 1.0, 1.0}, {0.0, 2.0, 1.0},
                                       {0.0, 0.0, 3.0}, {0.0, 1.0, 0.0}, {1.0, -2.0, 5.0}};
    DnaReplicateWork work;
    CompactAlignment rows;
    HitSiteStates states;
    int single = 0;
    int repeated = 0;
    for (Shape const& shape : shapes) {
        PopulDNA pop;
        pop.SampleSize = shape.genes;
        pop.tree.allocate_tree(shape.genes);
        TNode::hits.count = 0;
        TNode::mut_rates = GammaRates{};
        for (int r = 0; r < 150; ++r) {
            pop.fast_build_tree();
            states.sprinkle(pop.tree, shape.mu, shape.sites, DNA_MUT, shape.gamma, 1.0, 1.0, 0.33);
            int const copies = states.num_leaves();
            bool const singleHits = states.single_hits();
            int const sequences = states.single_hit_sequences();
            ASSERT_TRUE(read_hit_site_alignment(pop.tree, states, DNA_MUT, rows));
            if (!singleHits) {
                ++repeated;
                ASSERT_LT(states.hit_sites().size(), states.mutations().size());
                continue;
            }
            ++single;
            ASSERT_EQ(sequences, rows.rows()) << "replicate " << r;
            for (int w = 0; w < 6; ++w) {
                DnaReplicateSettings in;
                double const levels[] = {0.05, 0.0, -1.0};
                in.allowedMissingLevel = levels[r % 3];
                in.sampleSize = r % 5 == 0 ? copies + 3.0 : copies;
                in.censusWeights = w == 5 ? weights[2] : DistanceWeights{};
                in.distanceWeights = weights[w];
                SCOPED_TRACE(::testing::Message() << shape.genes << "x" << shape.sites << " replicate " << r
                                                  << " weights " << w);
                ASSERT_TRUE(single_hit_statistics_apply(states.mutations(), copies, in));
                DnaReplicateStatistics const fast =
                    single_hit_statistics(states.mutations(), copies, shape.sites, in);
                DnaReplicateStatistics const full = dna_replicate_statistics(rows, in, work);
                ASSERT_EQ(fast.census, full.census);
                ASSERT_TRUE(same_bits(fast.diversity.meanPairwiseDiff, full.diversity.meanPairwiseDiff));
                ASSERT_TRUE(same_bits(fast.diversity.meanPairwiseDiffSd, full.diversity.meanPairwiseDiffSd));
                ASSERT_TRUE(same_bits(fast.diversity.piPerSite, full.diversity.piPerSite));
                ASSERT_TRUE(same_bits(fast.diversity.piPerSiteSd, full.diversity.piPerSiteSd));
            }
        }
    }
    EXPECT_GT(single, 500);
    EXPECT_GT(repeated, 50);
}

// The single-hit form leaves to the rows what it cannot give alike:
// fractional weights (the pair by pair form), a missing-data character or
// separator that is a base, weights beyond the exact integer range.
TEST(DnaReplicateStatistics, SingleHitFormRefusesWhatTheRowsMustDo) {
    std::vector<HitSiteStates::Mutation> const mutations = {{0, 0, 1, 3}, {5, 2, 0, 1}};
    DnaReplicateSettings in;
    in.sampleSize = 10.0;
    in.distanceWeights = DistanceWeights{0.0, 1.0, 1.0};
    EXPECT_TRUE(single_hit_statistics_apply(mutations, 10, in));
    DnaReplicateSettings fractional = in;
    fractional.distanceWeights.transversion = 0.5;
    EXPECT_FALSE(single_hit_statistics_apply(mutations, 10, fractional));
    DnaReplicateSettings missingBase = in;
    missingBase.missing = 'C';
    EXPECT_FALSE(single_hit_statistics_apply(mutations, 10, missingBase));
    DnaReplicateSettings separatorBase = in;
    separatorBase.separator = 'T';
    EXPECT_FALSE(single_hit_statistics_apply(mutations, 10, separatorBase));
    DnaReplicateSettings huge = in;
    huge.distanceWeights.transition = 4194304.0;
    EXPECT_FALSE(single_hit_statistics_apply(mutations, 10, huge));
    EXPECT_FALSE(single_hit_statistics_apply(mutations, 0, in));
    // By hand: A->G on 3 of 10 copies (a transition), C->A on 1 (a
    // transversion): 3 x 7 + 1 x 9 = 30 differences over 45 pairs.
    DnaReplicateStatistics const r = single_hit_statistics(mutations, 10, 100, in);
    EXPECT_EQ(r.census.transitionSites, 1);
    EXPECT_EQ(r.census.transversionSites, 1);
    EXPECT_EQ(r.census.substitutionSites, 2);
    EXPECT_EQ(r.census.usableSites, 100);
    EXPECT_EQ(r.census.validSites, 100);
    EXPECT_EQ(r.diversity.meanPairwiseDiff, 30.0 / 45.0);
}

}  // namespace
