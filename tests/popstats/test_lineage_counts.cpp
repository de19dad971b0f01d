// The lineage counts of the structured coalescent: lineage number r of the
// listed positions found as a walk from the first position would find it,
// after any sequence of changes, with and without positions that hold no
// lineage or more than one, over one run of 64 positions and over many.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "popstats/lineage_counts.h"

namespace quintle {
namespace {

// Position and place of lineage r by a plain walk; -1 past the last one.
int walk(std::vector<int> const& k, int listed, int r, int& offset) {
    for (int p = 0; p < listed; ++p) {
        if (r < k[static_cast<std::size_t>(p)]) {
            offset = r;
            return p;
        }
        r -= k[static_cast<std::size_t>(p)];
    }
    return -1;
}

void expect_like_walk(LineageCounts const& counts, std::vector<int> const& k, int listed, char const* when) {
    int total = 0;
    bool single = true;
    for (int p = 0; p < listed; ++p) {
        total += k[static_cast<std::size_t>(p)];
        single = single && k[static_cast<std::size_t>(p)] == 1;
    }
    EXPECT_EQ(counts.all_single(listed), single) << when;
    for (int r = 0; r <= total; ++r) {
        int expectedOffset = -1;
        int offset = -1;
        const int expected = walk(k, listed, r, expectedOffset);
        const int found = counts.find(r, listed, offset);
        ASSERT_EQ(found, expected) << when << ": lineage " << r << " of " << total;
        if (expected >= 0) {
            ASSERT_EQ(offset, expectedOffset) << when << ": lineage " << r;
        }
    }
}

TEST(LineageCounts, FindsTheLineageAPlainWalkFinds) {
    for (int positions : {5, 64, 200, 700}) {
        std::mt19937 rng(static_cast<unsigned>(positions));
        LineageCounts counts;
        counts.resize(static_cast<std::size_t>(positions));
        std::vector<int> k(static_cast<std::size_t>(positions), 0);
        int listed = 0;
        // Lists grow and shrink at their end, as the occupied demes do;
        // counts move up and down by arbitrary amounts, zeros included.
        for (int step = 0; step < 3000; ++step) {
            const int action = static_cast<int>(rng() % 4);
            if (action == 0 && listed < positions) {
                const int c = static_cast<int>(rng() % 3);
                counts.add(listed, c);
                k[static_cast<std::size_t>(listed++)] = c;
            } else if (action == 1 && listed > 0) {
                --listed;
                counts.add(listed, -k[static_cast<std::size_t>(listed)]);
                k[static_cast<std::size_t>(listed)] = 0;
            } else if (listed > 0) {
                const int p = static_cast<int>(rng() % static_cast<unsigned>(listed));
                const int delta = action == 2 ? 1 : (k[static_cast<std::size_t>(p)] > 0 ? -1 : 0);
                counts.add(p, delta);
                k[static_cast<std::size_t>(p)] += delta;
                EXPECT_EQ(counts.at(p), k[static_cast<std::size_t>(p)]);
            }
            if (step % 97 == 0) expect_like_walk(counts, k, listed, "random changes");
        }
        expect_like_walk(counts, k, listed, "after the changes");

        // Every listed position at one lineage: lineage r is at position r.
        counts.clear();
        std::fill(k.begin(), k.end(), 0);
        listed = positions;
        for (int p = 0; p < listed; ++p) {
            counts.add(p, 1);
            k[static_cast<std::size_t>(p)] = 1;
        }
        expect_like_walk(counts, k, listed, "all single");
        // One of them at two, then one at none: no longer all single.
        counts.add(listed / 2, 1);
        ++k[static_cast<std::size_t>(listed / 2)];
        expect_like_walk(counts, k, listed, "one pair");
        counts.add(listed - 1, -1);
        --k[static_cast<std::size_t>(listed - 1)];
        expect_like_walk(counts, k, listed, "one pair, one empty");
    }
}

}  // namespace
}  // namespace quintle
