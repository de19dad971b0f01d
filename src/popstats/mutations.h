#pragma once

// Mutation models of the coalescent simulations. The states of a site are
// ints held in each node's sequence; the models differ in the root state and
// in what one mutation does to a state:
//   STEPWISE_MUT     repeat number: root 0, one step down or up
//   TWO_STATE_MUT    restriction site: root 0, 0 becomes 1, anything else 0
//   DNA_MUT          nucleotides 0 A, 1 G, 2 C, 3 T: random root base, then
//                    a transition or one of the two transversions
//   NEW_ALLELE_MUT   root 0, every hit makes the site's hit count the state
//
// The routines that drop mutations on a genealogy are TNode::add_mutations
// (both forms), PopGenetics::sprinkle_mutations and HitSiteStates::sprinkle;
// they live in mutations.cpp.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/random.h"

namespace quintle {

enum Mut_Type : int { STEPWISE_MUT = 0, TWO_STATE_MUT = 1, DNA_MUT = 2, NEW_ALLELE_MUT = 3 };

class TNode;
class TTree;

// A simulated sample kept where its leaves can differ: the root's state at
// every site and each leaf's states at the sites that mutations hit. At
// every other site all leaves hold the root state, so these are the whole
// sample, without a full sequence per node. The buffers are reused from
// pass to pass.
class HitSiteStates {
public:
    // One mutation of the pass: the site it hit, the state it found there
    // and the one it left, and the number of leaves below its branch.
    struct Mutation {
        int site;
        int before;
        int after;
        int carriers;
    };

    // Drops mutations on the genealogy of `tree` exactly as
    // PopGenetics::sprinkle_mutations does: the same draws in the same order,
    // the same hit counts, mutation total, rate scheme and messages, and the
    // same num_mut and num_sites in every node. The nodes keep no sequence
    // (any earlier one is released). Returns the number of mutations
    // dropped; 0 with no states when the tree or the hit table does not fit.
    long sprinkle(TTree& tree, double mu, int nsites, Mut_Type model, double a, double rate, double p, double ts);

    int num_sites() const { return numSites_; }
    // Leaves with states: the tree's num_genes after a pass, else 0.
    int num_leaves() const { return numLeaves_; }
    // State of every site at the root.
    std::span<int const> root_states() const { return {root_.data(), static_cast<std::size_t>(numSites_)}; }
    // Sites hit by at least one mutation, ascending.
    std::vector<int> const& hit_sites() const { return sites_; }
    // The pass's mutations in the order they were dropped.
    std::span<Mutation const> mutations() const { return events_; }

    // True when the walk reached every leaf and no two mutations hit the
    // same site: a hit site then holds its mutation's `after` in the
    // carriers and `before` in the other leaves, and two leaves carry the
    // same sequence when no branch between them has a mutation that changed
    // its site's state.
    bool single_hits() const { return singleHits_; }
    // The distinct leaf sequences of a single-hit pass whose every mutation
    // changed its site's state.
    int single_hit_sequences() const { return singleHitSequences_; }

    // The distinct sequences of the leaves, numbered in the order of their
    // first leaf: their number, the sequence of leaf i, the number of leaves
    // of sequence c, and its states at hit_sites().
    // They are found by a second walk over the hit sites, on the first call
    // after the pass (find_sequences), so that a pass whose single hits
    // settle its statistics goes without it.
    void find_sequences();
    int num_sequences() {
        find_sequences();
        return static_cast<int>(order_.size());
    }
    int sequence_of(int leaf) {
        find_sequences();
        return rank_[static_cast<std::size_t>(leafRaw_[static_cast<std::size_t>(leaf)])];
    }
    int copies(int c) {
        find_sequences();
        return rawCount_[static_cast<std::size_t>(order_[static_cast<std::size_t>(c)])];
    }
    int const* sequence_states(int c) {
        find_sequences();
        return rows_.data() + static_cast<std::size_t>(order_[static_cast<std::size_t>(c)]) * sites_.size();
    }
    // Leaf i's states at hit_sites().
    int const* leaf_states(int i) { return sequence_states(sequence_of(i)); }
    // Leaf i's state at any site.
    int state(int leaf, int site);

private:
    void clear();
    void list_nodes(TNode* root);
    bool list_built_nodes(TNode* root);
    long drop(TNode* root, double mu, Mut_Type model, double a, double ts);
    template <class Draw>
    long draw_branches(Draw& draw, Mut_Type model, double a, double ts);
    template <class Draw>
    void mutate(int k, long nmut, Draw& draw, Mut_Type model, double a, double ts);
    int path_state(int node, int site) const;
    void fill_rows(std::uint64_t hash);
    int add_leaf(int const* row, std::uint64_t hash);
    void number_sequences();
    static std::uint64_t state_key(std::size_t slot, int state);

    TNode* base_ = nullptr;  // the tree's node array during a pass
    int numSites_ = 0;
    int numLeaves_ = 0;
    bool singleHits_ = false;
    bool sequencesFound_ = false;
    int singleHitSequences_ = 0;
    std::vector<int> root_;  // its first numSites_ entries
    std::vector<int> sites_;
    // The distinct leaf sequences in the order the walk meets them: their
    // states (rows of sites_.size()), hashes and leaf counts; each leaf's
    // one; an open-addressing table of them by hash.
    std::vector<int> rows_;
    std::vector<std::uint64_t> rawHash_;
    std::vector<int> rawCount_;
    std::vector<int> leafRaw_;
    std::vector<int> table_;
    // The same sequences in the order of their first leaf.
    std::vector<int> order_;
    std::vector<int> rank_;
    // Mutations in the order they were dropped; node k's are
    // events_[eventBegin_[k], eventEnd_[k]).
    std::vector<Mutation> events_;
    std::vector<int> eventNode_;  // the node of each
    std::vector<std::size_t> eventBegin_;
    std::vector<std::size_t> eventEnd_;
    // The nodes reached from the root in the order of the pass, and each
    // node's parent (-1 for the root).
    std::vector<int> preorder_;
    std::vector<int> parent_;
    std::vector<random_detail::ExpNegThreshold> thresholds_;  // of the branch above each of them
    std::vector<long> counts_;  // mutations on the branch above each of them
    // Per node, after the pass: the leaves below it, and whether the part of
    // its subtree reached without crossing a branch with mutations holds a
    // leaf.
    std::vector<int> below_;
    std::vector<unsigned char> open_;
    // Nodes still to list, or their places in the list; the current path
    // of fill_rows.
    std::vector<int> stack_;
    std::vector<int> slot_;  // index in sites_ of a hit site, -1 elsewhere
    std::vector<int> row_;   // states at the hit sites along the current path
};

}  // namespace quintle
