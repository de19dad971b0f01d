// The single polymorphism of a two-state or DNA locus in the structured
// simulations: a branch drawn by its length among those whose share of the
// leaves below reaches a minimum, then the states written from the root
// down. The candidate lists are class-wide and refilled for each genealogy
// by the caller; they point into the node array and own nothing.

#include <algorithm>
#include <vector>

#include "core/random.h"
#include "popstats/TNode.h"
#include "popstats/TTree.h"

namespace quintle {

namespace {

double uniform_draw() {
    long seed = 1;
    return ran3(&seed);
}

// Gives the node a sequence of site + 1 sites holding `state` at `site`.
void write_state(TNode& node, int site, int state) {
    const int length = site + 1;
    if (!node.sequence) {
        node.sequence = std::make_unique<myVectInt>(length);
    } else if (node.sequence->length != length) {
        node.sequence->resize(length);
    }
    node.num_sites = length;
    if (node.sequence->length == length) (*node.sequence)[site] = state;
}

// The subtree below `node`, whose own state is written: its left subtrees
// by recursion, its right spine in a loop.
void write_below(TNode* node, int site, TNode const* chosen, int state, int derived) {
    while (node->left != nullptr || node->right != nullptr) {
        const bool leftChosen = node->left == chosen;
        if (node->left != nullptr) {
            const int s = leftChosen ? 1 : state;
            write_state(*node->left, site, s);
            write_below(node->left, site, chosen, s, derived);
        }
        if (node->right == nullptr) return;
        state = node->right == chosen ? 1 : (leftChosen ? derived : state);
        write_state(*node->right, site, state);
        node = node->right;
    }
}

}  // namespace

int TNode::new_Add_SNP_Mutation(int const& site, TNode*& chosen, int state, int derived) {
    if (site < 0) return 1;
    write_state(*this, site, state);
    write_below(this, site, chosen, state, derived);
    return 1;
}

void TTree::getListofMatchingNodesNoRec(TNode* from, MY_TIArrayAsVector<TNode>& list,
                                        MY_TArrayAsVector<double>& weights, double& sum, double const& minFreq) {
    sum = 0.0;
    if (from == nullptr || num_genes < 1) return;
    const long first = weights.count;
    const double n = num_genes;
    // Preorder: a node, then its left subtree, then its right one.
    std::vector<TNode*>& pending = walk_;
    pending.clear();
    pending.push_back(from);
    while (!pending.empty()) {
        TNode* v = pending.back();
        pending.pop_back();
        if (v->num_desc / n >= minFreq) {
            const double w = v->ancestor != nullptr ? v->ancestor->time - v->time : 0.0;
            list.Add(v);
            weights.Add(w);
            sum += w;
        }
        if (v->right != nullptr) pending.push_back(v->right);
        if (v->left != nullptr) pending.push_back(v->left);
    }
    if (sum != 0.0) {
        for (long i = first; i < weights.count; ++i) weights[i] /= sum;
    }
}

TNode* TTree::getRootNodeForMutation(int, double const& minFreq) {
    if (matchingNodes.count == 0) {
        matchingNodes.owns = false;
        const long room = 2L * std::max(num_genes, 0) - 1;
        if (room > 0 && matchingNodes.capacity < room) matchingNodes.Reallocate(static_cast<int>(room));
        if (room > 0 && nodeWeights.capacity < room) nodeWeights.Reallocate(static_cast<int>(room));
        nodeWeights.count = 0;
        double sum = 0.0;
        getListofMatchingNodesNoRec(root(), matchingNodes, nodeWeights, sum, minFreq);
    }
    const double u = uniform_draw();
    double running = 0.0;
    for (long i = 0; i < matchingNodes.count && i < nodeWeights.count; ++i) {
        running += nodeWeights[i];
        if (running >= u) return matchingNodes[i];
    }
    return nullptr;
}

}  // namespace quintle
