#pragma once

// Coalescent genealogy: the node array of a simulated tree and the
// class-wide per-site mutation counts. Only what a sample object needs to
// hold a tree is here so far; the building and mutation routines join later.

#include <cstddef>
#include <memory>
#include <new>

#include "core/MY_TArrayAsVector.h"

namespace quintle {

class TNode {
public:
    // Running node number; every constructed node takes the next one.
    static inline int node_count = 0;
    // Mutations dropped on the current tree.
    static inline long _tot_mut = 0;
    // Per-site mutation counts of the current simulated tree (one slot,
    // growth step 100).
    static inline MY_TArrayAsVector<long> hits{0, 100};

    double time = 0.0;
    TNode* left = nullptr;
    TNode* right = nullptr;
    TNode* ancestor = nullptr;
    int num_desc = 0;
    int num_sites = 0;
    long num_mut = 0;
    int node_id = ++node_count;
    int pop_index = 0;
    bool is_distinct = true;
    int hapl_count = 1;

    TNode() = default;
    // Links point into the tree that holds the node: a copy would share them.
    TNode(TNode const&) = delete;
    TNode& operator=(TNode const&) = delete;
};

class TTree {
public:
    int num_genes = 0;
    std::unique_ptr<TNode[]> nodes;  // leaves 0..n-1, internal nodes n..2n-2
    int owns_node_array = 1;
    double mean_coal_time = 0.0;
    double sd_coal_time = 0.0;
    int num_lineages = 0;

    TTree() = default;
    TTree(TTree const&) = delete;
    TTree& operator=(TTree const&) = delete;

    // Frees any previous nodes and makes 2n-1 fresh ones for n genes;
    // 1, or 0 when they cannot be had.
    int allocate_tree(int const& n) {
        nodes.reset();
        num_genes = n;
        num_lineages = n;
        if (n < 1) return 0;
        try {
            nodes = std::make_unique<TNode[]>(static_cast<std::size_t>(2 * n - 1));
        } catch (std::bad_alloc const&) {
            return 0;
        }
        return 1;
    }

    bool allocated() const { return nodes != nullptr; }
};

// A tree that builds itself under the standard coalescent.
class TGenealogy : public TTree {};

}  // namespace quintle
