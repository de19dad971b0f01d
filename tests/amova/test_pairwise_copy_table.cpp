// The pair's copies held over its distinct haplotypes: after every shuffle
// its three sums are, to the bit, those of the two samples recounted from
// the shuffled copies (the kernels of ssd.h), whatever the distances (whole
// numbers, fractions, negative values, a matrix held by classes with -0),
// and for whole numbers also those summed pair of gene copies by pair; the
// shuffles draw as many numbers as the plain ones.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "amova/pairwise_copy_table.h"
#include "amova/pairwise_kernels.h"
#include "amova/ssd.h"
#include "core/TriMat.h"
#include "core/random.h"
#include "data/Population.h"

namespace quintle {
namespace {

bool same(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

void reseed(long seed) {
    long s = -seed;
    ran3(&s);
}
double next_draw() {
    long s = 1;
    return ran3(&s);
}

enum class Kind { SmallWhole, NegativeWhole, LargeWhole, TooLargeForWhole, Fractions, ClassesWhole, ClassesFractions };

struct Case {
    Kind kind;
    bool whole;  // the sums are expected in integers
};

// K haplotypes (indexes 0..K-1 of a matrix of `range` rows) with distances
// of the given kind.
TriMat make_matrix(Kind kind, int range, std::mt19937& gen) {
    TriMat m;
    if (kind == Kind::ClassesWhole || kind == Kind::ClassesFractions) {
        // Haplotypes of one text share a class: three texts.
        std::vector<int> classes;
        for (int h = 0; h < range; ++h) classes.push_back(h % 3);
        m.make_classed(classes, 3);
        bool const whole = kind == Kind::ClassesWhole;
        m.between(1, 0) = whole ? 3.0 : 0.3;
        m.between(2, 0) = whole ? 7.0 : 1.7;
        m.between(2, 1) = whole ? 2.0 : 0.1;
        m.between(1, 1) = -0.0;  // two haplotypes of one text, as Kimura's distance gives it
        return m;
    }
    m.create(range);
    std::uniform_int_distribution<int> small(0, 12);
    std::uniform_int_distribution<int> signedValue(-5, 20);
    std::uniform_real_distribution<double> real(0.0, 3.7);
    for (int i = 0; i < range; ++i) {
        for (int j = 0; j < i; ++j) {
            double x = 0.0;
            switch (kind) {
                case Kind::SmallWhole: x = small(gen); break;
                case Kind::NegativeWhole: x = signedValue(gen); break;
                case Kind::LargeWhole: x = 1e9 + small(gen) * 12345.0; break;
                case Kind::TooLargeForWhole: x = 1e14 + small(gen); break;
                default: x = real(gen); break;
            }
            m(i, j) = x;
        }
        // A haplotype's distance to itself need not be 0 in a given matrix.
        m(i, i) = kind == Kind::NegativeWhole ? 1.0 : (kind == Kind::Fractions ? 0.25 : 0.0);
    }
    return m;
}

std::vector<int> random_copies(int count, int first, int haplotypes, std::mt19937& gen) {
    std::uniform_int_distribution<int> h(first, first + haplotypes - 1);
    std::vector<int> v;
    // Runs of one haplotype, as the lists lay them out.
    while (static_cast<int>(v.size()) < count) v.insert(v.end(), std::min(1 + static_cast<int>(gen() % 4), count - static_cast<int>(v.size())), h(gen));
    return v;
}

double pairs_within(std::vector<int> const& v, long from, long to, TriMat const& m) {
    double sum = 0.0;
    for (long x = from; x < to; ++x)
        for (long y = x + 1; y < to; ++y) sum += m(v[x], v[y]);
    return sum;
}
double pairs_between(std::vector<int> const& v, long na, TriMat const& m) {
    double sum = 0.0;
    for (long x = 0; x < na; ++x)
        for (long y = na; y < static_cast<long>(v.size()); ++y) sum += m(v[x], v[y]);
    return sum;
}

TEST(PairCopyTable, SumsAreThoseOfTheRecountedSamplesAfterEveryShuffle) {
    Case const cases[] = {{Kind::SmallWhole, true},        {Kind::NegativeWhole, true}, {Kind::LargeWhole, true},
                          {Kind::TooLargeForWhole, false}, {Kind::Fractions, false},    {Kind::ClassesWhole, true},
                          {Kind::ClassesFractions, false}};
    int const range = 14;  // rows of the matrix; the pair uses some of them
    for (Case const& c : cases) {
        for (bool individuals : {false, true}) {
            for (unsigned seed : {1u, 2u, 3u}) {
                SCOPED_TRACE(std::to_string(static_cast<int>(c.kind)) + (individuals ? " individuals " : " copies ") +
                             std::to_string(seed));
                std::mt19937 gen(seed);
                TriMat const m = make_matrix(c.kind, range, gen);
                // Sizes: even for individuals; an odd first sample otherwise.
                long const na = individuals ? 12 : 13 + seed;
                long const nb = individuals ? 16 : 9 + 2 * seed;
                std::vector<int> v = random_copies(static_cast<int>(na), 2, 6, gen);
                std::vector<int> const b = random_copies(static_cast<int>(nb), 5, 7, gen);
                v.insert(v.end(), b.begin(), b.end());

                FlatDistances flat;
                ASSERT_TRUE(flat.build(m, range, v.data(), v.size()));
                ASSERT_TRUE(m.answers_within(range));

                // The distances read from the analysis's block, then from
                // the matrix itself; both on the same draws.
                long const permutations = 150;
                std::vector<PairCopyTable::Sums> sums, fromMatrix;
                double after = 0.0;
                for (bool block : {true, false}) {
                    PairCopyTable table;
                    ASSERT_TRUE(block ? table.load(v.data(), na, nb, range, flat)
                                      : table.load(v.data(), na, nb, range, m));
                    EXPECT_EQ(table.whole(), c.whole);
                    reseed(77 + seed);
                    for (long p = 0; p < permutations; ++p) {
                        if (individuals)
                            table.shuffle_individuals();
                        else
                            table.shuffle_copies();
                        (block ? sums : fromMatrix).push_back(table.sums());
                    }
                    if (block) after = next_draw();
                }

                // The same draws through the plain shuffle, the samples
                // recounted from the copies.
                Population pa, pb;
                pa.CreatePermutationVectors(range);
                pb.CreatePermutationVectors(range);
                pa.SampleSize = static_cast<double>(na);
                pb.SampleSize = static_cast<double>(nb);
                double const N = static_cast<double>(na + nb);
                reseed(77 + seed);
                for (long p = 0; p < permutations; ++p) {
                    if (individuals)
                        shuffle_pair_individuals(v.data(), static_cast<double>(na), N);
                    else
                        shuffle_pair_copies(v.data(), static_cast<double>(na), N);
                    pa.SetUpVectorsAfterPermutation(v.data());
                    pb.SetUpVectorsAfterPermutation(v.data() + na);
                    PairCopyTable::Sums const& s = sums[static_cast<std::size_t>(p)];
                    ASSERT_TRUE(same(s.withinA, raw_within_sum(pa, flat))) << p << " " << s.withinA;
                    ASSERT_TRUE(same(s.withinB, raw_within_sum(pb, flat))) << p << " " << s.withinB;
                    ASSERT_TRUE(same(s.between, raw_between_sum(pa, pb, flat))) << p << " " << s.between;
                    PairCopyTable::Sums const& t = fromMatrix[static_cast<std::size_t>(p)];
                    ASSERT_TRUE(same(t.withinA, raw_within_sum(pa, m))) << p;
                    ASSERT_TRUE(same(t.withinB, raw_within_sum(pb, m))) << p;
                    ASSERT_TRUE(same(t.between, raw_between_sum(pa, pb, m))) << p;
                    if (c.whole) {
                        // Whole numbers: the order of summation does not matter.
                        ASSERT_EQ(s.withinA, pairs_within(v, 0, na, m)) << p;
                        ASSERT_EQ(s.withinB, pairs_within(v, na, na + nb, m)) << p;
                        ASSERT_EQ(s.between, pairs_between(v, na, m)) << p;
                    } else {
                        double const scale = c.kind == Kind::TooLargeForWhole ? 1e14 : 1.0;
                        ASSERT_NEAR(s.withinA, pairs_within(v, 0, na, m), 1e-9 * scale * na * na) << p;
                        ASSERT_NEAR(s.between, pairs_between(v, na, m), 1e-9 * scale * na * nb) << p;
                    }
                }
                EXPECT_EQ(next_draw(), after) << "as many draws as the plain shuffle";
            }
        }
    }
}

// A matrix answers every index below its rows (or any in constant mode),
// those of its classes when held by classes.
TEST(PairCopyTable, MatrixTellsWhichRowsItAnswers) {
    TriMat plain(5);
    EXPECT_TRUE(plain.answers_within(5));
    EXPECT_FALSE(plain.answers_within(6));
    plain.constantMode = 1;
    EXPECT_TRUE(plain.answers_within(1000));
    TriMat classed;
    ASSERT_TRUE(classed.make_classed({0, 1, 0, 1}, 2));
    EXPECT_TRUE(classed.answers_within(4));
    EXPECT_FALSE(classed.answers_within(5));
    TriMat empty;
    EXPECT_TRUE(empty.answers_within(0));
    EXPECT_FALSE(empty.answers_within(1));
}

// The pair's haplotypes take local indexes in ascending matrix index,
// whatever the order of the copies; what a pair leaves behind does not
// reach the next one loaded into the same table.
TEST(PairCopyTable, LoadsPairAfterPairIntoOneTable) {
    std::mt19937 gen(9);
    TriMat const m = make_matrix(Kind::Fractions, 20, gen);
    std::vector<int> const first = {19, 3, 3, 7, 19, 12, 3};
    std::vector<int> const second = {4, 4, 0, 18, 4};
    std::vector<int> all = first;
    all.insert(all.end(), second.begin(), second.end());
    FlatDistances flat;
    ASSERT_TRUE(flat.build(m, 20, all.data(), all.size()));

    PairCopyTable table;
    ASSERT_TRUE(table.load(first.data(), 3, 4, 20, flat));
    EXPECT_EQ(table.haplotypes(), 4);
    // A pair of more distinct haplotypes than the table holds is refused.
    int const many = PairCopyTable::kMaxHaplotypes + 1;
    TriMat big(many);
    std::vector<int> distinct(static_cast<std::size_t>(many));
    for (int h = 0; h < many; ++h) distinct[static_cast<std::size_t>(h)] = many - 1 - h;
    EXPECT_FALSE(table.load(distinct.data(), many / 2, many - many / 2, many, big));
    EXPECT_EQ(table.haplotypes(), 0);
    ASSERT_TRUE(table.load(second.data(), 2, 3, 20, flat));
    EXPECT_EQ(table.haplotypes(), 3);
    // Copies {4, 4} and {0, 18, 4}: the fractions of the matrix, summed in
    // ascending matrix index.
    PairCopyTable::Sums const s = table.sums();
    EXPECT_TRUE(same(s.withinA, (2.0 - 1) * (2.0 * 0.5) * m(4, 4)));
    EXPECT_TRUE(same(s.withinB, 0.0 + 1.0 * 1.0 * m(0, 4) + 1.0 * 1.0 * m(0, 18) + 1.0 * 1.0 * m(4, 18)));
    EXPECT_TRUE(same(s.between, 0.0 + 2.0 * 1.0 * m(4, 0) + 2.0 * 1.0 * m(4, 4) + 2.0 * 1.0 * m(4, 18)));
}

}  // namespace
}  // namespace quintle
