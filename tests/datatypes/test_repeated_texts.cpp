// Samples whose list repeats texts (a line per gene copy, as simulators
// write them): the distance matrix is held by classes of alike rows, one
// value per pair of distinct texts, and must read, element by element, as
// the pair operations give it entry after entry; the count-weighted sums
// formed by classes must be the very doubles of the entry-by-entry sums.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/RectMat.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/PopulMicrosat.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/PopulStandard.h"
#include "datatypes/allele_data.h"
#include "datatypes/allele_fixture.h"
#include "datatypes/class_pair_sum.h"
#include "datatypes/dna_driver_fixture.h"
#include "datatypes/microsat_distances.h"
#include "datatypes/rflp_fixture.h"
#include "datatypes/standard_distances.h"

namespace quintle {
namespace {

using testing_support::AlleleRun;
using testing_support::DnaSample;
using testing_support::RflpRun;
using testing_support::RflpSample;
using Microsat = testing_support::AlleleSample<PopulMicrosat>;
using Standard = testing_support::AlleleSample<PopulStandard>;

bool same(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// `entries` list entries drawn from `texts`, each with a count of 1 to 3;
// every text appears at least once, the first ones first.
std::vector<std::pair<std::string, int>> repeated(std::vector<std::string> const& texts, int entries,
                                                  unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::pair<std::string, int>> list;
    for (int i = 0; i < entries; ++i) {
        std::size_t const t = static_cast<std::size_t>(i) < texts.size() ? static_cast<std::size_t>(i)
                                                                          : rng() % texts.size();
        list.emplace_back(texts[t], 1 + static_cast<int>(rng() % 3));
    }
    return list;
}

// The entry-by-entry sum over pairs i > j of count_i count_j d(i, j), in
// the order and with the terms of the DNA molecular diversity.
double entry_sum(PHaploDefList const& list, RectMat const& d) {
    double S = 0.0;
    for (int i = 1; i < list.count; ++i)
        for (int j = 0; j < i; ++j)
            S += static_cast<double>(list.data[i]->count) * static_cast<double>(list.data[j]->count) * d(i, j);
    return S;
}

// The same matrix written out in full.
RectMat expanded(RectMat const& d) {
    RectMat full(d.nRows, d.nCols);
    for (int i = 0; i < d.nRows; ++i)
        for (int j = 0; j < d.nCols; ++j) full(i, j) = d(i, j);
    return full;
}

// RFLP sites with deletions and missing data, 60 entries of 5 texts: the
// matrix by classes against the pair operation entry after entry, under
// both methods, with and without scaling and deletions; the last pair's
// values, the maximum, and the molecular diversity formed by classes.
TEST(RepeatedTexts, RflpMatrixByClassesReadsAsThePairOperations) {
    std::vector<std::string> const texts = {"0110100?10", "0110101010", "1-10100010", "0110100010", "0010110011"};
    auto const list = repeated(texts, 60, 3);
    for (int method : {0, 1}) {
        for (int scale : {0, 1}) {
            for (double deletion : {0.0, 1.0}) {
                SCOPED_TRACE(testing::Message() << "method " << method << " scale " << scale << " deletion "
                                                << deletion);
                RflpRun run(2);
                RflpSample got("r", list);
                RflpSample ref("r", list);
                for (RflpSample* x : {&got, &ref}) {
                    x->pop.deletionWeight = deletion;
                    x->pop.distanceMethod = method;
                    ASSERT_EQ(x->pop.evaluate_polymorphism(run.s), 1);
                }
                ASSERT_EQ(got.pop.compute_distance_matrix(nullptr, &run.s, scale), 1);
                RectMat const& d = *got.pop.distMat;
                ASSERT_TRUE(d.classed());
                EXPECT_LE(d.num_classes(), 5);  // texts alike at the usable sites are one
                double const f = (scale != 0 && method == 1) ? ref.pop.numUsableSites : 1.0;
                int maximum = 0;
                for (int i = 0; i < 60; ++i) {
                    EXPECT_EQ(d(i, i), 0.0);
                    for (int j = 0; j < i; ++j) {
                        char const* a = ref.definitions[static_cast<std::size_t>(i)]->data.c_str();
                        char const* b = ref.definitions[static_cast<std::size_t>(j)]->data.c_str();
                        ASSERT_EQ(method == 1 ? ref.pop.p_diff(a, b) : ref.pop.diff_no_weight(a, b), 1);
                        double const dist = ref.pop.pairDistance * f;
                        if (dist > maximum) maximum = static_cast<int>(dist);
                        ASSERT_TRUE(same(d(i, j), dist)) << i << " " << j;
                        ASSERT_TRUE(same(d(j, i), std::sqrt(ref.pop.pairDistanceVar) * f)) << i << " " << j;
                    }
                }
                EXPECT_EQ(got.pop.maxPairwiseDistance, maximum);
                EXPECT_EQ(got.pop.numDifferences, ref.pop.numDifferences);
                EXPECT_TRUE(same(got.pop.pairDistance, ref.pop.pairDistance));
                EXPECT_TRUE(same(got.pop.pairDistanceVar, ref.pop.pairDistanceVar));

                RflpSample plain("r", list);  // the same sums over a plain matrix
                ASSERT_EQ(got.pop.compute_molecular_diversity(run.s), 1);
                plain.pop.distanceMethod = method;
                plain.pop.distMat = std::make_unique<RectMat>(expanded(d));
                plain.pop.numUsableSites = got.pop.numUsableSites;
                ASSERT_EQ(plain.pop.compute_molecular_diversity(run.s), 1);
                EXPECT_TRUE(same(got.pop.meanPairwiseDiff, plain.pop.meanPairwiseDiff));
                EXPECT_TRUE(same(got.pop.piPerSite, plain.pop.piPerSite));
            }
        }
    }
}

// Microsatellite sizes (with a missing allele) and standard alleles: 40
// entries of 4 allele lists, under both microsatellite distances.
TEST(RepeatedTexts, AlleleMatricesByClassesReadAsThePairs) {
    std::vector<std::string> const sizes = {"120 134 210", "122 ? 212", "120 134 214", "98 136 210"};
    auto const list = repeated(sizes, 40, 5);
    for (int method : {0, 1}) {
        SCOPED_TRACE(method);
        AlleleRun run(MICROSAT, 2);
        Microsat m("m", list);
        m.pop.microsatDistanceMethod = method;
        m.pop.compute_distance_matrix(nullptr, &run.s, 0);
        ASSERT_TRUE(m.pop.distMat);
        RectMat const& d = *m.pop.distMat;
        ASSERT_TRUE(d.classed());
        EXPECT_EQ(d.num_classes(), 4);
        MicrosatSizeRows const rows = read_microsat_sizes(list_entries(m.pop.haplotypes), {0, 1, 2}, '?');
        for (int i = 0; i < 40; ++i)
            for (int j = 0; j < i; ++j) {
                double want = 0.0;
                ASSERT_EQ(microsat_pair_distance(rows, i, j, method, want), MicrosatPairStatus::ok);
                ASSERT_TRUE(same(d(i, j), want)) << i << " " << j;
                ASSERT_EQ(d(j, i), 0.0);
            }
        ASSERT_EQ(m.pop.compute_molecular_diversity(run.s), 1);
        Microsat plain("m", list);
        plain.pop.microsatDistanceMethod = method;
        plain.pop.distMat = std::make_unique<RectMat>(expanded(d));
        plain.pop.numUsableSites = m.pop.numUsableSites;
        ASSERT_EQ(plain.pop.compute_molecular_diversity(run.s), 1);
        EXPECT_TRUE(same(m.pop.meanPairwiseDiff, plain.pop.meanPairwiseDiff));
    }

    AlleleRun run(STANDARD, 2);
    Standard st("s", repeated({"a b c", "a ? c", "b b c", "a b d", "c c c"}, 50, 9));
    ASSERT_EQ(st.pop.compute_distance_matrix(nullptr, &run.s, 0), 1);
    RectMat const& d = *st.pop.distMat;
    ASSERT_TRUE(d.classed());
    StandardAlleleRows const rows = read_standard_alleles(list_entries(st.pop.haplotypes), {0, 1, 2}, '?');
    for (int i = 0; i < 50; ++i)
        for (int j = 0; j < i; ++j) ASSERT_EQ(d(i, j), standard_pair_distance(rows, i, j)) << i << " " << j;
}

// Where the rows cannot be taken by classes, or a pair is refused, the
// matrix is what the plain form gives: a size equal to the missing marker
// that is not missing data makes pairs depend on their order (plain
// matrix); a size that is not a number refuses the matrix whatever the
// form, with one report.
TEST(RepeatedTexts, AlleleRowsThatCannotBeClassed) {
    {
        AlleleRun run(MICROSAT, 2);
        Microsat m("m", {{"-99999 10", 1}, {"12 10", 1}, {"12 10", 2}, {"-99999 10", 1}});
        m.pop.microsatDistanceMethod = 0;
        m.pop.compute_distance_matrix(nullptr, &run.s, 0);
        ASSERT_TRUE(m.pop.distMat);
        EXPECT_FALSE(m.pop.distMat->classed());
        // A later row of the marker's size is not compared where it has it;
        // an earlier one is.
        EXPECT_EQ((*m.pop.distMat)(1, 0), 1.0);
        EXPECT_EQ((*m.pop.distMat)(3, 1), 0.0);
        EXPECT_EQ((*m.pop.distMat)(3, 0), 0.0);
    }
    AlleleRun run(MICROSAT, 2);
    Microsat m("m", {{"12 10", 1}, {"1e999 10", 1}, {"12 10", 2}, {"1e999 10", 1}});
    m.pop.compute_distance_matrix(nullptr, &run.s, 0);
    EXPECT_FALSE(m.pop.distMat);
    EXPECT_EQ(m.pop.maxPairwiseDistance, 0);
    EXPECT_EQ(testing_support::reports(run.log()),
              (std::vector<std::string>{"ERROR PopulMicrosat::compute_distance_matrix() : microsatellite allele "
                                        "not coded as an integer value"}));
}

// A DNA sample of 3,000 entries over four texts holds one value per pair of
// texts and triangle (2 x 10) and one diagonal value per text: a bound that
// does not depend on the machine. Its mean number of pairwise differences,
// worked out from the texts: 100 + 100 + 300 + 600 + 600 + 600 copies,
// texts at 1, 2 and 3 differences from the first and 1 from each other
// (second and third: 3), the pairs weighted by their copies.
TEST(RepeatedTexts, ManyEntriesHoldOneValuePerPairOfTexts) {
    std::vector<std::string> const texts = {"AAAAAAAAAA", "CAAAAAAAAA", "CCAAAAAAAA", "AAAAAAAGGG"};
    std::vector<std::pair<std::string, int>> list;
    for (int i = 0; i < 3000; ++i) list.emplace_back(texts[static_cast<std::size_t>(i % 4)], 1);
    testing_support::DriverRun run(2);
    DnaSample sample("big", list);
    ASSERT_EQ(sample.pop.evaluate_polymorphism(run.s), 1);
    ASSERT_EQ(sample.pop.compute_distance_matrix(nullptr, &run.s, 0), 1);
    RectMat const& d = *sample.pop.distMat;
    ASSERT_TRUE(d.classed());
    EXPECT_EQ(d.stored_values(), 2u * 10u + 4u);
    ASSERT_EQ(sample.pop.compute_molecular_diversity(run.s), 1);
    // Copies per text 750; differences between texts: (0,1) 1, (0,2) 2,
    // (0,3) 3, (1,2) 1, (1,3) 4, (2,3) 5.
    double const pairs = 750.0 * 750.0 * (1 + 2 + 3 + 1 + 4 + 5);
    EXPECT_DOUBLE_EQ(sample.pop.meanPairwiseDiff, pairs / (3000.0 * 2999.0 / 2.0));
    EXPECT_TRUE(same(sample.pop.meanPairwiseDiff, entry_sum(sample.pop.haplotypes, d) / (3000.0 * 2999.0 / 2.0)));
}

// The sum by classes is given only when it is exact, and is then the entry
// sum's double; otherwise the caller sums entry by entry.
TEST(RepeatedTexts, ClassPairSumOnlyWhenExact) {
    DnaSample sample("s", {{"A", 3}, {"C", 2}, {"A", 4}, {"G", 1}, {"C", 5}});
    PHaploDefList const& list = sample.pop.haplotypes;
    RectMat d(0, 0);
    ASSERT_TRUE(d.make_classed({0, 1, 0, 2, 1}, 3));
    d.below(1, 0) = 2.0;
    d.below(2, 0) = 3.0;
    d.below(2, 1) = 1.0;
    d.below(0, 0) = -0.0;  // identical texts under Kimura's distance
    d.below(1, 1) = 0.0;
    d.above(1, 0) = 0.5;  // never read by the sum
    auto const exact = exact_class_pair_sum(list, d);
    ASSERT_TRUE(exact);
    // By hand: A(7) C(7) G(1): 7*7*2 + 7*1*3 + 7*1*1 = 126.
    EXPECT_TRUE(same(*exact, 126.0));
    EXPECT_TRUE(same(*exact, entry_sum(list, d)));

    d.below(2, 1) = 0.1;  // a corrected distance: its order counts
    EXPECT_FALSE(exact_class_pair_sum(list, d));
    d.below(2, 1) = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(exact_class_pair_sum(list, d));
    d.below(2, 1) = 1.0;
    list.data[3]->count = 1 << 27;  // the sum would pass 2^52
    EXPECT_FALSE(exact_class_pair_sum(list, d));
    list.data[3]->count = 1;
    EXPECT_FALSE(exact_class_pair_sum(list, expanded(d)));  // a plain matrix
    RectMat few(0, 0);
    ASSERT_TRUE(few.make_classed({0, 1}, 2));  // fewer rows than entries
    EXPECT_FALSE(exact_class_pair_sum(list, few));
}

}  // namespace
}  // namespace quintle
