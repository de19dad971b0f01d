#include "popstats/TListNode.h"

#include <new>

#include "core/Errors.h"

namespace quintle {

namespace {

void point_at(TNode** list, int n, TNode* nodes) {
    for (int i = 0; i < n; ++i) {
        list[i] = nodes + i;
        nodes[i].time = 0.0;
        nodes[i].left = nullptr;
        nodes[i].right = nullptr;
    }
}

}  // namespace

TListNode::TListNode(int n, TNode* nodes) {
    if (nodes == nullptr || n <= 0) return;
    try {
        list.reset(new TNode*[static_cast<std::size_t>(n)]);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "TListNode::TListNode(const int size, TNode * tree)", Msg::m0_not_enough_memory);
        return;
    }
    size = capacity = n;
    point_at(list.get(), n, nodes);
}

int TListNode::allocate_list(int n) {
    list.reset();
    size = capacity = 0;
    if (n <= 0) return 1;
    try {
        list.reset(new TNode*[static_cast<std::size_t>(n)]());
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "TListNode::allocate_list", Msg::m0_not_enough_memory);
        return 0;
    }
    capacity = n;
    return 1;
}

int TListNode::fill(int n, TNode* nodes) {
    if (n > capacity && !allocate_list(n)) return 0;
    size = n < 0 ? 0 : n;
    if (nodes != nullptr) point_at(list.get(), size, nodes);
    return 1;
}

}  // namespace quintle
