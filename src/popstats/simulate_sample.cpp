// Simulated samples: the wrappers that build a genealogy for the sample's
// size, rescale it and drop mutations on it, and the reader that turns the
// leaves of a simulated tree into a sample's haplotype list.

#include <string>

#include "core/Errors.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "popstats/PopGenetics.h"
#include "popstats/TTree.h"

namespace quintle {

namespace {

void reset_counters() {
    TNode::node_count = 0;
    TNode::_tot_mut = 0;
}

// The tree gets the sample's n genes. Callers allocate it for n before their
// series; a tree too small for n is allocated here rather than overrun.
void size_tree(TTree& tree, double sampleSize) {
    const int n = static_cast<int>(sampleSize);
    if (n >= 1 && tree.node_capacity() < 2 * n - 1) tree.allocate_tree(n);
    tree.num_genes = n;
}

// Allele text of a leaf: one character per site for the two-state and DNA
// models, the concatenated decimal texts of state + 32 otherwise.
void allele_text(myVectInt const& seq, int sites, Mut_Type model, std::string& text) {
    static constexpr char kBases[] = {'A', 'G', 'C', 'T'};
    const int L = sites < seq.length ? sites : seq.length;
    text.clear();
    if (model == TWO_STATE_MUT || model == DNA_MUT) {
        text.resize(static_cast<std::size_t>(L < 0 ? 0 : L));
        for (int s = 0; s < L; ++s) {
            const int state = seq[s];
            if (model == TWO_STATE_MUT) {
                text[s] = state == 1 ? '1' : '0';
            } else {
                text[s] = state >= 0 && state <= 3 ? kBases[state] : 'A';
            }
        }
        return;
    }
    for (int s = 0; s < L; ++s) text += std::to_string(seq[s] + 32);
}

}  // namespace

int PopGenetics::simulate_sample(double const& mu, int const& nsites, Mut_Type const& model, double const& a,
                                 double const& rate, double const& p, double const& ts) {
    reset_counters();
    size_tree(tree, SampleSize);
    tree.build_tree();
    reset_counters();
    sprinkle_mutations(mu, nsites, model, a, rate, p, ts);
    return 1;
}

int PopGenetics::fast_build_tree() {
    reset_counters();
    size_tree(tree, SampleSize);
    tree.build_tree();
    reset_counters();
    return 1;
}

int PopGenetics::build_tree_fast_one_pop(double const& T, double const& f, long const& g) {
    reset_counters();
    size_tree(tree, SampleSize);
    tree.build_tree();
    tree.bottleneck(T, f);
    tree.scale_to_num_generations(g);
    return 1;
}

int PopGenetics::simulate_sample_exp(double const& mu, int const& nsites, Mut_Type const& model, double const& a,
                                     double const& rate, double const& p, double const& ts, double const& T,
                                     double const& f, long const& g) {
    build_tree_fast_one_pop(T, f, g);
    sprinkle_mutations(mu, nsites, model, a, rate, p, ts);
    return 1;
}

int PopGenetics::build_tree_fast_range_exp(double const& T, double const& M, long const& g) {
    reset_counters();
    size_tree(tree, SampleSize);
    tree.build_tree_range_exp(T, M);
    tree.scale_to_num_generations(g);
    return 1;
}

int PopGenetics::simulate_range_exp(double const& mu, int const& nsites, Mut_Type const& model, double const& a,
                                    double const& rate, double const& p, double const& ts, double const& T,
                                    double const& M, long const& g) {
    build_tree_fast_range_exp(T, M, g);
    sprinkle_mutations(mu, nsites, model, a, rate, p, ts);
    return 1;
}

int PopGenetics::read_simulated_sample(TTree& sim, Haplo_DB& db, Mut_Type const& model) {
    simulatedSample = true;
    const int n = sim.num_genes;
    if (n < 1 || sim.node_capacity() < n) return 1;
    const int sites = sim.nodes[0].num_sites;
    if (sites == 0) return 1;
    sim.compute_hapl_freq();
    NbHaplotypeEntries = 0;
    SampleSize = n;

    // In the usual fresh list the definition just appended is the first with
    // its id; a list that already held definitions is searched.
    const bool freshList = db.haplotypes.count == 0;
    std::string text;
    long total = 0;
    for (int i = 0; i < n; ++i) {
        TNode const& leaf = sim.nodes[i];
        if (!leaf.is_distinct || !leaf.sequence) continue;
        allele_text(*leaf.sequence, sites, model, text);
        my_string id;
        id = i + 1;
        auto* def = new HaploDef(id);
        def->count = leaf.hapl_count;
        def->data = text.c_str();
        db.haplotypes.Add(def);
        HaploDef* stored = freshList ? def : db.find_by_id(id);
        haplotypes.Add(new PHaploDef{stored, leaf.hapl_count});
        ++NbHaplotypeEntries;
        total += leaf.hapl_count;
    }
    if (static_cast<double>(total) != SampleSize) {
        E.error(ERROR, "PopGenetics::read_simulated sample()", Msg::m147_bad_haplotypic_data);
        return 0;
    }
    return 1;
}

}  // namespace quintle
