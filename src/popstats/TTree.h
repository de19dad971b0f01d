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
//
// The structured builders (structured_coalescent.cpp) run the coalescent in
// demes linked by migration: a finite island model of D demes, or g groups
// of d demes each. Their deme storage lives in the tree and is reused from
// locus to locus; snp_placement.cpp places the single polymorphism of a
// two-state or DNA locus on such a tree.

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

#include "core/MY_TArrayAsVector.h"
#include "core/MY_TIArrayAsVector.h"
#include "popstats/TListNode.h"
#include "popstats/TNode.h"
#include "popstats/lineage_counts.h"
#include "popstats/mutations.h"

namespace quintle {

class Samples;
class Structure;

// Layout of the demes: 0 an island model of d demes; 1 a square of d x d
// demes, which no builder uses.
enum migrationModel : int { ISLAND_DEMES = 0, SQUARE_DEMES = 1 };

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

    // --- structured simulations (structured_coalescent.cpp) ----------------
    // Time runs back in units of deme_size generations: a pair of lineages
    // in one deme coalesces at rate 1, a lineage migrates at rate
    // mig_rate * deme_size.
    double deme_size = 0.0;    // N, genes of a deme (1000)
    double num_demes = 0.0;    // D
    double num_samples = 0.0;  // samples placed in demes
    double mig_rate = 0.0;     // m per gene and generation (m1 + m2 in groups)
    // Per deme: its number of lineages.
    std::vector<int> deme_lineages;
    // The demes holding lineages (or a sample of size 0), in list order;
    // -1 in the unused entries.
    std::vector<int> occupied_demes;
    int num_occupied = 0;
    double total_coal_rate = 0.0;  // sum of k(k-1)/2 over the demes
    double total_mig_rate = 0.0;   // lineages * mig_rate * deme_size
    int num_groups = 1;
    int demes_per_group = 0;
    long num_events = 0;  // coalescences and migrations of the last build
    // Deme e = q d + j is place j of group q.
    std::vector<std::vector<int>> group_demes;

    // Deme storage for the model: nothing when d is 0.
    void createDemes(migrationModel model, int const& d);
    // g groups of d demes.
    void createDemes(migrationModel model, int d, int g);
    // The leaves of the samples, in set order, each sample in a deme of its
    // own drawn among the D demes (D raised to s + 20 when the s samples
    // outnumber them).
    void createInitialNodes(Samples& s);
    // The leaves of the structure's samples, group by group, each sample in
    // a deme of its own within its group's demes. 0, with no deme filled,
    // when the structure has more groups than g or a group more samples
    // than d (a sample would find no free deme).
    int createInitialNodes(Structure const& st, int d, int g);
    // Finite island model of D demes at the given FST; theta is not read.
    // 1 when built; 0 when there is no deme or FST lies outside ]0, 1[,
    // after a line in the log.
    int build_tree_struct_pop(Samples& s, double const& theta, double const& FST, int D);
    // Hierarchical island model of g groups of d demes at the given FST and
    // FCT. 0 when a migration rate falls outside ]0, 1[ or the structure
    // does not fit the demes.
    int build_tree_struct_pop(Samples& s, Structure const& st, double const& theta, double const& FST,
                              double const& FCT, int d, int g);
    // One event each.
    void coalesceWithinAPop(double const& t);
    void sendMigrant();
    void sendMigrant2Levels(int d, int g, double m1, double m2);
    // Every deme empty; their storage stays.
    void cleanDemes();

    // --- SNP placement (snp_placement.cpp) ---------------------------------
    // The branch above which the locus's single polymorphism goes: drawn
    // among the candidates of matchingNodes (listed on first use: nodes
    // whose share of the leaves below is at least minFreq) by their branch
    // lengths. Null when nothing is drawn. The int is not read.
    TNode* getRootNodeForMutation(int, double const& minFreq);
    // Lists the candidates below `from` in preorder with their weights
    // (branch lengths, normalised to sum 1 when their sum is not 0).
    void getListofMatchingNodesNoRec(TNode* from, MY_TIArrayAsVector<TNode>& list,
                                     MY_TArrayAsVector<double>& weights, double& sum, double const& minFreq);

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

    // --- structured simulations --------------------------------------------
    // Nodes for n leaves: the array is reused, links and times cleared, when
    // it already has that size.
    int prepare_nodes(int n);
    void size_demes(int D);
    void empty_demes();
    void reserve_lists(int largest);
    // The event loop, drawing through a Uniform of its own.
    template <class Uniform>
    int run_events(bool twoLevels, double m1, double m2);
    // A coalescence: the list position of its deme drawn from u (-1 when
    // no deme holds a pair), then, at time t, the deme's two lineages drawn
    // from u1 and u2.
    int coalescing_position(double u) const;
    void coalesce_at(int position, double t, double u1, double u2);
    struct MigrationState;
    MigrationState migration_state(double stay);
    void keep_state(MigrationState const& st);
    template <class Uniform>
    bool migrate(MigrationState& st, bool twoLevels, Uniform& uniform);
    // The lineages of the deme at each position of the occupied list
    // (pointers into the node array), moved with the deme when it changes
    // place: the lists in use stay together at the head, whatever demes
    // they belong to.
    std::vector<std::vector<TNode*>> listed_nodes_;
    LineageCounts counts_;          // lineages of the occupied list by position
    std::vector<int> occupied_at_;  // position of each deme in occupied_demes, -1
    std::vector<int> pool_;         // free demes while the samples are placed
    std::vector<TNode*> walk_;      // nodes still to visit while candidates are listed
};

}  // namespace quintle
