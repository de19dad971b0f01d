#pragma once

// The haplotype texts of an RFLP sample read at its usable sites, each
// distinct text once, and the number of sites at which two of them differ:
// two states differ when neither is missing data and, unless deletions
// count, neither is a deletion ('-'). Texts over a few states are held as
// bit planes and compared 64 sites at a time.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quintle {

// Two states of one site differ.
inline bool rflp_states_differ(char a, char b, char missing, bool deletions) {
    return a != b && a != missing && b != missing && (deletions || (a != '-' && b != '-'));
}

class RflpTexts {
public:
    // texts[i] read at the sites listed in `sites` (ascending); a site past
    // a text's end reads as missing data.
    void build(std::vector<std::string_view> const& texts, std::vector<int> const& sites, char missing,
               bool deletions);

    int num_entries() const { return static_cast<int>(distinctOf_.size()); }
    int num_distinct() const { return static_cast<int>(rows_.size()); }
    // The distinct text of entry i, numbered in order of first appearance.
    int distinct_of(int entry) const { return distinctOf_[static_cast<std::size_t>(entry)]; }
    // Sites at which distinct texts a and b differ.
    int differences(int a, int b) const;

private:
    void build_planes();

    char missing_ = '?';
    bool deletions_ = true;
    std::vector<int> distinctOf_;
    std::vector<std::string> rows_;  // the distinct texts at the sites
    // Bit planes: per distinct text, `words_` words of the sites where it is
    // comparable (not missing, and not a deletion unless those count), then
    // those of each state in `states_`.
    bool planes_ = false;
    std::size_t words_ = 0;
    std::vector<char> states_;
    std::vector<std::uint64_t> bits_;
};

}  // namespace quintle
