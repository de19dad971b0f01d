#pragma once

// The distinct sequences of a sample as rows of one character per site, with
// their numbers of copies: what the statistics of a simulated replicate read
// when its sites are taken from the sparse mutation pass (HitSiteStates).
// The buffers are kept from one replicate to the next.

#include <cstddef>
#include <vector>

#include "popstats/mutations.h"

namespace quintle {

class TTree;

struct CompactAlignment {
    int width = 0;            // characters per row
    std::vector<char> cells;  // the rows, one after the other
    std::vector<int> counts;  // copies of each row
    long omittedSites = 0;    // further sites, the same base in every copy, left out of the rows

    int rows() const { return static_cast<int>(counts.size()); }
    char const* row(int i) const { return cells.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(width); }
    char at(int i, int site) const { return row(i)[site]; }

    // Empties the rows (keeping the storage) for rows of w characters.
    void clear(int w);
    // Appends a row of `count` copies and returns its characters to fill.
    char* add_row(int count);
};

// Character of a site state under a one-character mutation model: DNA_MUT
// reads 0 A, 1 G, 2 C, 3 T (any other state A); TWO_STATE_MUT reads '1' for
// state 1 and '0' otherwise.
inline char site_character(Mut_Type model, int state) {
    if (model == TWO_STATE_MUT) return state == 1 ? '1' : '0';
    static constexpr char kBases[] = {'A', 'G', 'C', 'T'};
    return state >= 0 && state <= 3 ? kBases[state] : 'A';
}

// The replicate left by states.sprinkle on `tree` (its sequences found here
// when they are not yet): one row per distinct leaf sequence in the order of
// their first leaves, with the number of leaves carrying it, the hit sites
// as columns, and the other sites as omitted ones. When no site was hit,
// the rows hold site 0 alone. The leaves' haplotype marks are left alone.
// False, with no rows, when the pass left no states for the tree's leaves or
// the model has no one-character form (stepwise, new-allele).
bool read_hit_site_alignment(TTree& tree, HitSiteStates& states, Mut_Type model, CompactAlignment& out);

}  // namespace quintle
