#pragma once

// Minimum spanning network over the OTUs (haplotypes) of a square distance
// matrix: the minimum spanning tree chosen by Prim's method, kept both as
// step lists and as a binary tree of nodes, and per OTU the alternative
// links of exactly the same length that could replace a tree link and so
// extend the tree into a network. The tree prints as a NEXUS trees block.
//
// Trees may be as deep as there are OTUs: every walk over them (search,
// flag reset, printing, destruction) is iterative.

#include <ostream>
#include <vector>

#include "core/RectMat.h"
#include "data/Population.h"

namespace quintle {

class Haplo_DB;

// The label of OTU k: the id of the k-th haplotype definition, or of the
// definition of a sample's k-th haplotype; empty when there is none.
my_string const& otu_label(Haplo_DB const& labels, int k);
my_string const& otu_label(PHaploDefList const& labels, int k);

// A node of the spanning tree. A node has no child or two: its left child
// carries the same OTU (down to that OTU's one leaf), its right child the
// OTU attached at this node by a link of length `linkLength`.
class TListElem {
public:
    TListElem* parent = nullptr;  // not owned; null for the root
    TListElem* left = nullptr;    // owned
    TListElem* right = nullptr;   // owned
    int OTU = 0;
    double linkLength = 0.0;
    // Visit flags of the path search, one per direction.
    bool parentVisited = false;
    bool leftVisited = false;
    bool rightVisited = false;

    TListElem(TListElem* parent, int OTU);
    // Deletes both subtrees.
    ~TListElem();
    TListElem(TListElem const&) = delete;
    TListElem& operator=(TListElem const&) = delete;

    // Attaches newOTU to the leaf of parentOTU, searched from this node (the
    // node itself, its left subtree, then its right subtree): the leaf gets
    // a left child for parentOTU and a right child for newOTU, and stores
    // `length`. `done` becomes true once attached; it stays as it was when
    // no node below carries parentOTU.
    void AddSon(int parentOTU, int newOTU, double length, bool& done);

    // From the first node (in the order of AddSon) that carries a or b,
    // unless `started` is already set: sets it and searches the tree path to
    // the other OTU; `equal` becomes true when a link on that search path
    // has length d exactly. Needs clear visit flags.
    void CheckGivenLinkLength(int a, int b, double d, bool& started, bool& equal);

    // Depth-first search over the tree's edges (left, right, then up, each
    // direction of a node taken once) for a node carrying `target`. Once it
    // is found, `reached` is set and `equal` set when a node of the search
    // path, other than the target's, has link length d exactly. True when
    // this node carries the target.
    bool FindSecondOTU(int target, double d, bool& reached, bool& equal);

    // Clears the visit flags of this node and all below it.
    void ResetAllFlags();

    // The tree below this node in Newick form, OTUs named by the ids of the
    // haplotype definitions, lengths in the stream's number format; the
    // root ends it with ";\n".
    void print_tree_structure(std::ostream& os, Haplo_DB const& labels) const;
    void print_tree_structure(std::ostream& os, PHaploDefList const& labels) const;

    // FindSecondOTU with scratch space the caller may reuse between
    // searches: the stack of the nodes whose search is under way (so that
    // the deepest tree needs no deep recursion), and every node entered,
    // appended to `touched` (the only ones whose flags the search set).
    struct SearchScratch {
        std::vector<TListElem*> stack;
        std::vector<TListElem*> touched;
    };
    bool find_second(int target, double d, bool& reached, bool& equal, SearchScratch& scratch);
};

class TMinSpaNet {
public:
    // Step k = 0 .. n-2 of the tree: the OTU already in the tree (-1 when no
    // finite distance joined the new OTU to the tree), the OTU added at that
    // step and the length of their link.
    std::vector<int> parentOTU;
    std::vector<int> newOTU;
    std::vector<double> linkLength;
    // Per OTU, the OTUs joined to it by an alternative link, in list order.
    std::vector<std::vector<int>> alternativeLinks;
    // Not owned; d(i, j) is read at (max(i, j), min(i, j)).
    RectMat* distances = nullptr;
    // The spanning tree; null before MakeNetwork and for an empty matrix.
    TListElem* root = nullptr;

    explicit TMinSpaNet(RectMat* m) : distances(m) {}
    ~TMinSpaNet();
    TMinSpaNet(TMinSpaNet const&) = delete;
    TMinSpaNet& operator=(TMinSpaNet const&) = delete;

    // Number of OTUs: the smaller dimension of the matrix.
    int otu_count() const;
    double distance(int i, int j) const;

    // Builds the tree, the step lists and the alternative links (again, on
    // a second call). Always 1.
    int MakeNetwork();

    // The tree as a NEXUS trees block named after `name` without its blanks.
    void printMST(std::ostream& os, char* name, Haplo_DB const& labels) const;
    void printMST(std::ostream& os, char* name, PHaploDefList const& labels) const;

    // A plain table of the tree links with OTUs numbered from 1.
    void PrintNetwork(std::ostream& os) const;

private:
    void build_tree();
    void prune_alternatives();
};

}  // namespace quintle
