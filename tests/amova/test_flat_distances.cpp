// The block of distances the AMOVA sums read, copied out of the project's
// matrix: from a matrix held by classes of alike haplotypes (one class per
// distinct text) it holds one row and column per class, and its sums are
// those read from the matrix itself.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "amova/ssd.h"
#include "core/TriMat.h"
#include "data/Population.h"

namespace quintle {
namespace {

bool same(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// A sample holding the given haplotype indexes with their counts.
void fill(Population& p, int range, std::vector<std::pair<int, double>> const& present) {
    p.hapl_count.assign(static_cast<std::size_t>(range), 0.0);
    p.VectorOfExistingHaplotypes.clear();
    double size = 0.0;
    for (auto const& [h, n] : present) {
        p.hapl_count[static_cast<std::size_t>(h)] = n;
        p.VectorOfExistingHaplotypes.push_back(h);
        size += n;
    }
    p.nb_existing = static_cast<int>(present.size());
    p.perm_vector_size = range;
    p.SampleSize = size;
}

// Eight haplotypes of three texts: classes {0, 3, 6}, {1, 4, 7}, {2, 5}.
// Distances between classes with fractions (their order counts), 0 between
// two haplotypes of one text (-0 for one class, as Kimura's distance gives
// it) and 0 for each haplotype with itself.
TEST(FlatDistances, ClassModeBlockHoldsOneRowPerClassAndSumsAlike) {
    TriMat m;
    ASSERT_TRUE(m.make_classed({0, 1, 2, 0, 1, 2, 0, 1}, 3));
    m.between(1, 0) = 0.3;
    m.between(2, 0) = 1.7;
    m.between(2, 1) = 0.1;
    m.between(1, 1) = -0.0;
    Population a, b;
    fill(a, 8, {{0, 2}, {3, 1}, {4, 5}, {7, 1}, {2, 3}});
    fill(b, 8, {{1, 1}, {6, 4}, {5, 2}});
    std::vector<int> const used = {0, 3, 4, 7, 2, 1, 6, 5};

    FlatDistances flat;
    // Three classes: a block of 9 values, within a bound of 9 that a block
    // per haplotype (64) would pass.
    ASSERT_TRUE(flat.build(m, 8, used.data(), used.size(), 9));
    for (int h : used)
        for (int g : used) EXPECT_EQ(flat(h, g), m(h, g)) << h << " " << g;
    EXPECT_TRUE(same(raw_within_sum(a, flat), raw_within_sum(a, m)));
    EXPECT_TRUE(same(raw_within_sum(b, flat), raw_within_sum(b, m)));
    EXPECT_TRUE(same(raw_between_sum(a, b, flat), raw_between_sum(a, b, m)));

    // Two haplotypes of one text at a distance other than a haplotype's own:
    // one cell cannot serve both, so a block per haplotype, here too large.
    m.between(2, 2) = 0.5;
    EXPECT_FALSE(flat.build(m, 8, used.data(), used.size(), 9));
    ASSERT_TRUE(flat.build(m, 8, used.data(), used.size()));
    EXPECT_EQ(flat(2, 5), 0.5);
    EXPECT_EQ(flat(5, 5), 0.0);
    EXPECT_TRUE(same(raw_within_sum(a, flat), raw_within_sum(a, m)));
}

}  // namespace
}  // namespace quintle
