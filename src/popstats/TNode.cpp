#include "popstats/TNode.h"

#include <algorithm>
#include <iostream>
#include <new>

#include "core/Errors.h"

namespace quintle {

// --- myVectInt ---------------------------------------------------------------

myVectInt::myVectInt(int const& size) {
    if (size <= 0) return;
    try {
        data.reset(new int[static_cast<std::size_t>(size)]);
        length = size;
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "myIntVect::myIntVect(const int& size) {", Msg::m0_not_enough_memory);
    }
}

bool myVectInt::resize(int size) {
    if (size == length) return true;
    data.reset();
    length = 0;
    if (size <= 0) return true;
    try {
        data.reset(new int[static_cast<std::size_t>(size)]);
        length = size;
    } catch (std::bad_alloc const&) {
        return false;
    }
    return true;
}

myVectInt& myVectInt::operator=(myVectInt const& other) {
    if (this == &other) return *this;
    if (!resize(other.length)) {
        E.error(MEMORY, "myVectInt& myVectInt::operator=()", Msg::m0_not_enough_memory);
        return *this;
    }
    if (length > 0) std::copy(other.data.get(), other.data.get() + length, data.get());
    return *this;
}

bool operator==(myVectInt const& a, myVectInt const& b) {
    if (a.length != b.length) return false;
    if (a.length == 0) return true;
    return std::equal(a.data.get(), a.data.get() + a.length, b.data.get());
}

// --- TNode -----------------------------------------------------------------------

TNode::TNode() : node_id(++node_count) {}

namespace {

// A deep copy of a list, or null (after a MEMORY report) when it cannot be had.
std::unique_ptr<MY_TArrayAsVector<long>> copy_list(MY_TArrayAsVector<long> const* from) {
    if (from == nullptr) return nullptr;
    try {
        return std::make_unique<MY_TArrayAsVector<long>>(*from);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "TNode::operator=()", Msg::m0_not_enough_memory);
        return nullptr;
    }
}

}  // namespace

TNode& TNode::operator=(TNode const& other) {
    if (this == &other) return *this;
    time = other.time;
    left = other.left;
    right = other.right;
    ancestor = other.ancestor;
    num_desc = other.num_desc;
    num_left_desc = other.num_left_desc;
    num_right_desc = other.num_right_desc;
    node_id = other.node_id;
    num_sites = other.num_sites;
    num_mut = other.num_mut;
    is_distinct = other.is_distinct;
    hapl_count = other.hapl_count;
    pop_index = other.pop_index;
    left_desc = copy_list(other.left_desc.get());
    right_desc = copy_list(other.right_desc.get());
    sequence.reset();
    if (other.sequence) {
        try {
            auto copy = std::make_unique<myVectInt>(0);
            if (copy->resize(other.sequence->length)) {
                *copy = *other.sequence;
                sequence = std::move(copy);
            } else {
                E.error(MEMORY, "TNode::operator=()", Msg::m0_not_enough_memory);
            }
        } catch (std::bad_alloc const&) {
            E.error(MEMORY, "TNode::operator=()", Msg::m0_not_enough_memory);
        }
    }
    return *this;
}

int TNode::count_desc() {
    num_left_desc = 0;
    num_right_desc = 0;
    if (left == nullptr && right == nullptr) return 1;
    if (left != nullptr) num_left_desc = left->count_desc();
    if (right != nullptr) num_right_desc = right->count_desc();
    num_desc = num_left_desc + num_right_desc;
    return num_desc;
}

int TNode::compute_moments_of_pairwise_divergence(double& s1, double& s2) {
    // The right spine is walked in a loop, the left subtrees by recursion.
    for (TNode* node = this; node != nullptr && node->left != nullptr; node = node->right) {
        const double t = node->time;
        const double pairs = static_cast<double>(node->num_left_desc) * node->num_right_desc;
        s1 += 2.0 * t * pairs;
        s2 += 4.0 * t * t * pairs;
        node->left->compute_moments_of_pairwise_divergence(s1, s2);
    }
    return 1;
}

namespace {

// Makes the list when missing (two slots, growth step 10), else empties it.
bool ready_list(std::unique_ptr<MY_TArrayAsVector<long>>& list) {
    if (list) {
        list->count = 0;
        list->auxCount = 0;
        return true;
    }
    try {
        list = std::make_unique<MY_TArrayAsVector<long>>(1, 10);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "TNode:: build_list_of_descendent_nodes()", Msg::m0_not_enough_memory);
        return false;
    }
    return true;
}

void append_list(MY_TArrayAsVector<long>& to, MY_TArrayAsVector<long> const* from) {
    if (from == nullptr) return;
    for (long i = 0; i < from->count; ++i) to.Add((*from)[i]);
}

}  // namespace

int TNode::build_lists_of_descendent_nodes() {
    if (!ready_list(left_desc) || !ready_list(right_desc)) return 0;
    if (left != nullptr) {
        if (!left->build_lists_of_descendent_nodes()) return 0;
        append_list(*left_desc, left->left_desc.get());
        append_list(*left_desc, left->right_desc.get());
    } else {
        left_desc->Add(node_id);
    }
    if (right != nullptr) {
        if (!right->build_lists_of_descendent_nodes()) return 0;
        append_list(*right_desc, right->left_desc.get());
        append_list(*right_desc, right->right_desc.get());
    }
    return 1;
}

int TNode::print_info(std::ostream&) {
    std::cin.get();
    return 0;
}

std::ostream& operator<<(std::ostream& os, TNode const& node) {
    if (!(node.time > 0.0)) {
        os << "\nTip node No " << node.node_id << "\n-----------" << std::endl;
    } else {
        os << "\nInternal node No " << node.node_id << "\n----------------"
           << "\nTime since present       : " << node.time
           << "\nNo. of left descendents  : " << node.num_left_desc
           << "\nNo. of right descendents : " << node.num_right_desc << std::endl;
    }
    return os;
}

}  // namespace quintle
