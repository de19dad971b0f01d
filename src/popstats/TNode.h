#pragma once

// One node of a simulated genealogy, and its sequence of site states.
// Nodes live in the node array of a TTree; the links between them are plain
// pointers into that array.

#include <memory>
#include <ostream>
#include <vector>

#include "core/MY_TArrayAsVector.h"
#include "popstats/GammaRates.h"
#include "popstats/mutations.h"

namespace quintle {

// A node's state at every site, one int per site.
class myVectInt {
public:
    std::unique_ptr<int[]> data;  // owned; null when length is 0
    int length = 0;

    // An array of `size` entries, not initialised. When it cannot be had a
    // MEMORY report is made and the vector stays empty.
    explicit myVectInt(int const& size);
    myVectInt(myVectInt const&) = delete;
    // Copies the entries, reallocating only when the lengths differ (to no
    // array for an empty source).
    myVectInt& operator=(myVectInt const& other);

    // Resizes without keeping the entries; no allocation when the length is
    // already right. False (empty vector) when the storage cannot be had.
    bool resize(int size);

    int& operator[](int i) { return data[i]; }
    int operator[](int i) const { return data[i]; }
};

// Same length and equal entries.
bool operator==(myVectInt const& a, myVectInt const& b);

class TNode {
public:
    // --- class-wide simulation state ---------------------------------------
    // Running node number; every constructed node takes the next one.
    static inline int node_count = 0;
    // Mutations dropped on the current tree.
    static inline long _tot_mut = 0;
    // Per-site mutation counts of the current simulated tree (one slot,
    // growth step 100).
    static inline MY_TArrayAsVector<long> hits{0, 100};
    // Relative mutation rate of every site.
    static inline GammaRates mut_rates{};
    // Bounds of the bounded stepwise walk; nothing changes them.
    static inline int min_mic = 0;
    static inline int max_mic = 0;

    // --- the node ----------------------------------------------------------
    double time = 0.0;  // back from the present; 0 for the leaves
    TNode* left = nullptr;
    TNode* right = nullptr;
    std::vector<unsigned char> snp_sites{1};  // SNP marker bytes; one byte 1
    TNode* ancestor = nullptr;                // null at the root
    // Numbers of the leaves below the left and the right child; null until
    // built.
    std::unique_ptr<MY_TArrayAsVector<long>> left_desc;
    std::unique_ptr<MY_TArrayAsVector<long>> right_desc;
    int num_desc = 0;                   // leaves below an internal node
    std::unique_ptr<myVectInt> sequence;  // null until a mutation pass
    int num_sites = 0;                  // length the sequence was given
    long num_mut = 0;                   // mutations on the branch above
    int node_id = 0;
    int pop_index = 0;                  // sample of a leaf (structured runs)
    bool is_distinct = true;            // first leaf of its sequence
    int hapl_count = 1;                 // copies of this leaf's sequence
    int num_left_desc = 0;
    int num_right_desc = 0;

    TNode();
    TNode(TNode const&) = delete;
    // Copies the fields and links and makes deep copies of the descendant
    // lists and of the sequence.
    TNode& operator=(TNode const& other);

    // Leaf count below the node, storing the counts of its children.
    int count_desc();
    // Adds, for every internal node of the subtree, 2 t l r to s1 and
    // 4 t^2 l r to s2 (t its time, l and r the leaf counts of count_desc).
    int compute_moments_of_pairwise_divergence(double& s1, double& s2);
    // Fills left_desc and right_desc for the whole subtree; 0 after an
    // allocation failure.
    int build_lists_of_descendent_nodes();
    // Writes nothing and waits for one character of standard input.
    int print_info(std::ostream& os);

    // Gives the node its sequence, applies nmut mutations for the branch
    // above it, then handles its children; returns the number of mutations
    // dropped on all branches below the node (mutations.cpp).
    long add_mutations(double const& mu, long* seed, long nmut, int const& nsites, Mut_Type const& model,
                       double const& a, double const& ts);
    // The form of the structured simulations: free site picks, a rate pick
    // running down from the last site, and an optionally bounded stepwise
    // walk. `step` is not used: every stepwise mutation is a single step.
    long add_mutations(double const& mu, long* seed, long nmut, int const& nsites, Mut_Type const& model,
                       double const& a, double const& ts, int bounded, double step);

    // The single polymorphism of a structured locus, written from this node
    // down (snp_placement.cpp): `state` here, 1 on the chosen node and
    // below it, `derived` on the right sibling of a chosen left child and
    // below it, the parent's state everywhere else. Every node reached gets
    // a sequence of site + 1 sites. Returns 1.
    int new_Add_SNP_Mutation(int const& site, TNode*& chosen, int state, int derived);

private:
    template <bool Structured>
    long drop_mutations(double const& mu, long* seed, long nmut, int nsites, Mut_Type model, double a,
                        double ts, int bounded);
    bool take_parent_state(int nsites, Mut_Type model, long* seed);
};

// Tip: "\nTip node No " id and a rule; internal node: id, time and the two
// leaf counts. Flushed.
std::ostream& operator<<(std::ostream& os, TNode const& node);

}  // namespace quintle
