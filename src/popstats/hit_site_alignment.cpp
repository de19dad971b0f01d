#include "popstats/hit_site_alignment.h"

#include "popstats/TTree.h"

namespace quintle {

void CompactAlignment::clear(int w) {
    width = w;
    cells.clear();
    counts.clear();
    omittedSites = 0;
}

char* CompactAlignment::add_row(int count) {
    counts.push_back(count);
    cells.resize(cells.size() + static_cast<std::size_t>(width));
    return cells.data() + (cells.size() - static_cast<std::size_t>(width));
}

bool read_hit_site_alignment(TTree& tree, HitSiteStates& states, Mut_Type model, CompactAlignment& out) {
    states.find_sequences();  // a failure leaves no states
    const int n = tree.num_genes;
    const auto hits = static_cast<int>(states.hit_sites().size());
    out.clear(hits > 0 ? hits : 1);
    if (model != DNA_MUT && model != TWO_STATE_MUT) return false;
    if (n < 1 || tree.node_capacity() < n || states.num_leaves() < n || states.num_sites() < 1) return false;
    out.omittedSites = states.num_sites() - out.width;
    for (int c = 0; c < states.num_sequences(); ++c) {
        char* row = out.add_row(states.copies(c));
        if (hits > 0) {
            int const* s = states.sequence_states(c);
            for (int k = 0; k < hits; ++k) row[k] = site_character(model, s[k]);
        } else {
            row[0] = site_character(model, states.root_states()[0]);
        }
    }
    return true;
}

}  // namespace quintle
