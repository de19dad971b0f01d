#pragma once

// Lineage counts of the occupied demes of a structured genealogy, by their
// position in the list of occupied demes, with what it takes to find
// lineage number r of the list (the lineages of the demes one after the
// other, in list order) without walking every deme: sums by blocks of 8
// positions and by runs of 64, and the number of positions that hold
// exactly one lineage. When every listed deme holds one lineage (most of
// the time once the lineages have scattered over many demes), lineage r is
// at position r; otherwise a walk over the runs, the blocks of one run and
// the positions of one block finds it.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace quintle {

class LineageCounts {
public:
    // Room for the given number of positions, every count 0.
    void resize(std::size_t positions) {
        const std::size_t runs = (positions + 63) / 64;
        position_.assign(runs * 64, 0);
        block_.assign(runs * 8, 0);
        run_.assign(runs, 0);
        singles_ = 0;
    }
    // Every count 0; the room stays.
    void clear() {
        std::fill(position_.begin(), position_.end(), 0);
        std::fill(block_.begin(), block_.end(), 0);
        std::fill(run_.begin(), run_.end(), 0);
        singles_ = 0;
    }
    void add(int p, int delta) {
        int& k = position_[static_cast<std::size_t>(p)];
        singles_ -= k == 1 ? 1 : 0;
        k += delta;
        singles_ += k == 1 ? 1 : 0;
        block_[static_cast<std::size_t>(p) >> 3] += delta;
        run_[static_cast<std::size_t>(p) >> 6] += delta;
    }
    int at(int p) const { return position_[static_cast<std::size_t>(p)]; }
    // Whether each of the first `listed` positions holds exactly one
    // lineage (every later position counting 0).
    bool all_single(int listed) const { return singles_ == listed; }

    // The position holding lineage number r (counted from 0) of the first
    // `listed` positions, every later position counting 0, and r's place
    // among that position's lineages; -1 when there are not so many
    // lineages.
    int find(int r, int listed, int& offset) const {
        if (all_single(listed)) {
            offset = 0;
            return r < listed ? r : -1;
        }
        int const* run = run_.data();
        const int runs = static_cast<int>(run_.size());
        int q = 0;
        while (q < runs && r >= run[q]) r -= run[q++];
        if (q == runs) return -1;
        const int b = q * 8 + below(block_.data() + q * 8, r);
        const int p = b * 8 + below(position_.data() + b * 8, r);
        offset = r;
        return p;
    }

private:
    // How many of the 8 counts from `eight` are wholly below r, counted
    // from the first (r then becomes the place of the lineage in the next
    // one). The sum must exceed r. Without a branch: the place of r is as
    // good as random, and a loop that stops there is mispredicted.
    static int below(int const* eight, int& r) {
        int prefix[9];
        prefix[0] = 0;
        for (int i = 0; i < 8; ++i) prefix[i + 1] = prefix[i] + eight[i];
        // prefix[8] > r: the count is at most 7, found in three halvings.
        int count = static_cast<int>(prefix[4] <= r) * 4;
        count += static_cast<int>(prefix[count + 2] <= r) * 2;
        count += static_cast<int>(prefix[count + 1] <= r);
        r -= prefix[count];
        return count;
    }

    std::vector<int> position_;
    std::vector<int> block_;
    std::vector<int> run_;
    int singles_ = 0;  // positions holding exactly one lineage
};

}  // namespace quintle
