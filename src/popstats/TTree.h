#pragma once

// A simulated genealogy of n sampled genes: its node array (leaves 0..n-1,
// internal nodes n..2n-2, the root last), the builders of the standard
// coalescent and of a range expansion, the bottleneck and time scaling of
// the demographic models, and the haplotype count of the leaves once
// mutations have been dropped on the tree.
//
// The node array is allocated once per analysis and rebuilt for every
// replicate: building overwrites times and links, a mutation pass overwrites
// the sequences, and no replicate allocates anything once the buffers exist.

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

#include "core/MY_TArrayAsVector.h"
#include "core/MY_TIArrayAsVector.h"
#include "popstats/TListNode.h"
#include "popstats/TNode.h"
#include "popstats/mutations.h"

namespace quintle {

class TTree {
public:
    // Candidate branches of a SNP placement and their weights, entry by
    // entry (structured simulations). Every tree constructor marks the list
    // as not owning: it points into node arrays.
    static inline MY_TIArrayAsVector<TNode> matchingNodes{1, 10};
    static inline MY_TArrayAsVector<double> nodeWeights{0, 10};

    int num_genes = 0;                // n, the sampled genes
    std::unique_ptr<TNode[]> nodes;   // leaves, then internal nodes
    int owns_node_array = 1;          // the nodes were allocated as an array
    double mean_coal_time = 0.0;      // of a random pair of leaves
    double sd_coal_time = 0.0;
    int num_lineages = 0;             // counted down by structured builds

    TTree();
    // Nodes for `size` genes: 2 * size of them.
    explicit TTree(int size);
    TTree(TTree const&) = delete;
    TTree& operator=(TTree const&) = delete;
    ~TTree() = default;

    // Frees any previous nodes and makes 2n-1 fresh ones; 1, or 0 when they
    // cannot be had (or n < 1: no genes, no nodes).
    int allocate_tree(int const& n);
    bool allocated() const { return nodes != nullptr; }
    // Number of nodes in the array.
    int node_capacity() const { return num_nodes_; }
    // The root once a tree of num_genes leaves is built (node 2n-2).
    TNode* root() { return num_genes >= 1 ? &nodes[2 * num_genes - 2] : nullptr; }

    // Standard coalescent on the first num_genes leaves (time unit 2N
    // generations). Returns 1.
    int build_tree();
    // Genealogy under a range expansion T time units ago with a dispersal
    // rate M per lineage. Returns 1.
    int build_tree_range_exp(double const& T, double const& M);
    // Stretches the part of the genealogy older than T by the factor f.
    int bottleneck(double T, double f);
    // Multiplies every internal node's time by g.
    int scale_to_num_generations(long const& g);
    // Mean and s.d. of the coalescence time of a random pair of leaves;
    // 0 when there is no pair.
    int compute_moments_of_coalescence_times();

    // Marks the first leaf of each distinct sequence and counts its copies,
    // over all leaves or over leaves first..first+count-1. Leaves without a
    // sequence stay distinct with a count of 1.
    int compute_hapl_freq();
    int compute_hapl_freq(int first, int count);

    // The distinct leaf sequences with their counts.
    void print_sequences(std::ostream& os, Mut_Type const& model);

    // Kept for the interface; they do nothing useful.
    double total_length();
    void print_nodes(std::ostream& os, double a, double b);

private:
    int num_nodes_ = 0;
    // Work lists and haplotype-count buffers, reused from tree to tree.
    TListNode active_;
    TListNode dispersed_;
    std::vector<std::uint64_t> seq_hash_;
    std::vector<int> hash_slots_;
    std::vector<unsigned char> site_differs_;
    std::vector<int> varying_sites_;

    template <class Uniform>
    void join(TNode* node, TListNode& lineages, int k, double t, Uniform& uniform);
    template <class Uniform>
    void coalesce(Uniform& uniform);
    // Sends each of `count` leaves to the first earlier one with the same
    // states; hash(j) and same(i, j) look at the leaves' states, has(j) says
    // whether leaf j has any.
    template <class Has, class Hash, class Same>
    void mark_copies(TNode* leaf, int count, Has has, Hash hash, Same same);
};

}  // namespace quintle
