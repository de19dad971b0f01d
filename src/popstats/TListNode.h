#pragma once

// Work list of node pointers used while a genealogy is built: the active
// lineages, kept in the first `size` entries and removed by swapping with
// the last one.

#include <memory>

#include "popstats/TNode.h"

namespace quintle {

class TListNode {
public:
    int size = 0;                    // entries in use
    std::unique_ptr<TNode*[]> list;  // owned array of pointers
    int capacity = 0;                // entries allocated

    TListNode() = default;
    // With nodes: `size` entries, entry i pointing to node i, whose time is
    // set to 0 and whose children are cleared. Without nodes: an empty list.
    TListNode(int size, TNode* nodes);
    TListNode(TListNode const&) = delete;
    TListNode& operator=(TListNode const&) = delete;

    // Replaces the array by n new slots; 1, or 0 when they cannot be had.
    int allocate_list(int n);

    // As the constructor with nodes, reusing the slots when there are
    // enough, so that trees rebuilt over and over allocate nothing.
    // 1, or 0 when the slots cannot be had.
    int fill(int n, TNode* nodes);

    TNode*& operator[](int i) { return list[i]; }
};

}  // namespace quintle
