#pragma once

// Aligned sequences at a sample's variable sites as bit planes: one bit per
// site in a plane for each of A, C, G, T, '-' and the missing-data
// character, 64 sites to a machine word. Every kind of site pair the
// distances count is a union of plane intersections of the two sequences,
// so a pair is counted a word at a time with popcount instead of site by
// site. A sequence holding any other character stays unpacked and is counted
// site by site.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "datatypes/dna_pair_counts.h"

namespace quintle {

class PackedSequences {
public:
    // Packs `rows` rows of `width` characters (row after row in `columns`).
    void build(char const* columns, int rows, std::size_t width, char missing);

    bool packed(int row) const { return packed_[static_cast<std::size_t>(row)] != 0; }

    // Adds to counts the site pairs of packed rows a and b, a's character
    // first in each pair.
    void add_counts(int a, int b, DnaPairCounts& counts) const;

private:
    static constexpr int kMaxValues = 6;

    // One kind of site pair: the pairs of values (bit a * kMaxValues + b)
    // that fall into it, and what one such site adds to the counts.
    struct Kind {
        std::uint64_t valuePairs = 0;
        DnaPairCounts adds;
    };

    void find_kinds(char missing);
    std::uint64_t const* row_words(int row) const {
        return bits_.data() + static_cast<std::size_t>(row) * words_ * static_cast<std::size_t>(numValues_);
    }

    int numValues_ = 0;
    std::array<char, kMaxValues> values_{};
    std::size_t words_ = 0;              // words per plane
    std::vector<std::uint64_t> bits_;    // per row, per word, one word per value
    std::vector<char> packed_;           // per row
    std::vector<std::uint8_t> used_;     // per row: the values it shows, one bit each
    std::vector<Kind> kinds_;
};

}  // namespace quintle
