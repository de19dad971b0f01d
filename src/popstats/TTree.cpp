#include "popstats/TTree.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <new>
#include <string>

#include "core/Errors.h"
#include "core/random.h"

namespace quintle {

namespace {

// Every draw of the simulations continues the run's single stream.
double uniform_draw() {
    long seed = 1;
    return ran3(&seed);
}

}  // namespace

TTree::TTree() { matchingNodes.owns = false; }

TTree::TTree(int size) {
    matchingNodes.owns = false;
    num_genes = num_lineages = size;
    if (size <= 0) return;
    try {
        nodes.reset(new TNode[2 * static_cast<std::size_t>(size)]);
        num_nodes_ = 2 * size;
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "TTree::TTree(int size)", Msg::m0_not_enough_memory);
    }
}

int TTree::allocate_tree(int const& n) {
    nodes.reset();
    num_nodes_ = 0;
    num_genes = num_lineages = n;
    if (n < 1) return 0;
    try {
        nodes.reset(new TNode[2 * static_cast<std::size_t>(n) - 1]);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "TTree::allocate_tree(const int& n)", Msg::m0_not_enough_memory);
        return 0;
    }
    num_nodes_ = 2 * n - 1;
    return 1;
}

// Joins two of the k active lineages (the first among k, the second among
// the k-1 left) under `node` at time t, which replaces them in the list;
// uniform() gives the stream's next draw.
template <class Uniform>
void TTree::join(TNode* node, TListNode& lineages, int k, double t, Uniform& uniform) {
    node->time = t;
    const int a = static_cast<int>(k * uniform());
    node->left = lineages[a];
    lineages[a]->ancestor = node;
    lineages[a] = lineages[k - 1];
    const int b = static_cast<int>((k - 1) * uniform());
    node->right = lineages[b];
    lineages[b]->ancestor = node;
    lineages[b] = node;
}

// All waiting times first, then the pairings.
template <class Uniform>
void TTree::coalesce(Uniform& uniform) {
    const int n = num_genes;
    double t = 0.0;
    for (int k = n; k >= 2; --k) {
        t -= 2.0 * std::log(1.0 - uniform()) / (static_cast<double>(k) * (k - 1));
        nodes[n + (n - k)].time = t;
    }
    for (int k = n; k >= 2; --k) {
        TNode* node = &nodes[n + (n - k)];
        join(node, active_, k, node->time, uniform);
    }
}

int TTree::build_tree() {
    const int n = num_genes;
    if (n < 2 || num_nodes_ < 2 * n - 1) return 1;
    if (!active_.fill(n, nodes.get())) return 1;
    if (Ran3Cursor::usable()) {
        Ran3Cursor draw;
        coalesce(draw);
    } else {
        auto draw = uniform_draw;
        coalesce(draw);
    }
    nodes[2 * n - 2].ancestor = nullptr;
    return 1;
}

int TTree::build_tree_range_exp(double const& T, double const& M) {
    const int n = num_genes;
    if (n < 2 || num_nodes_ < 2 * n - 1) return 1;
    if (!active_.fill(n, nodes.get()) || !dispersed_.fill(n, nodes.get())) return 1;
    TListNode& A = active_;
    auto uniform = uniform_draw;
    TListNode& B = dispersed_;
    double t = 0.0;
    int c = 0;  // coalescences done
    int k = n;  // lineages that can coalesce
    int d = 0;  // dispersed lineages
    while (k + d > 1) {
        if (t >= T) {
            // After the expansion: the ordinary coalescent.
            t -= std::log(1.0 - uniform()) / (static_cast<double>(k) * (k - 1) / 2.0);
            join(&nodes[n + c], A, k, t, uniform);
            ++c;
            --k;
            continue;
        }
        double s = T;
        if (k > 0) s = t - std::log(1.0 - uniform()) / (k * ((k - 1) / 2.0 + M));
        if (s >= T) {
            // The expansion: every dispersed lineage comes back.
            t = T;
            for (int i = 0; i < d; ++i) A[k + i] = B[i];
            k += d;
            d = 0;
            continue;
        }
        if (2.0 * M / (k - 1 + 2.0 * M) > uniform()) {
            const int j = static_cast<int>(k * uniform());
            B[d] = A[j];
            A[j] = A[k - 1];
            ++d;
            --k;
            t = s;
            if (k + d < 2) break;
        } else {
            join(&nodes[n + c], A, k, s, uniform);
            ++c;
            --k;
            t = s;
        }
    }
    nodes[2 * n - 2].ancestor = nullptr;
    return 1;
}

int TTree::bottleneck(double T, double f) {
    const int n = num_genes;
    for (int i = n; i <= 2 * n - 2 && i < num_nodes_; ++i) {
        if (nodes[i].time > T) nodes[i].time = (nodes[i].time - T) * f + T;
    }
    return 1;
}

int TTree::scale_to_num_generations(long const& g) {
    const int n = num_genes;
    const double factor = static_cast<double>(g);
    for (int i = n; i <= 2 * n - 2 && i < num_nodes_; ++i) nodes[i].time *= factor;
    return 1;
}

int TTree::compute_moments_of_coalescence_times() {
    const int n = num_genes;
    const double P = static_cast<double>(n) * (n - 1) / 2.0;
    if (P == 0.0 || num_nodes_ < 2 * n - 1) return 0;
    TNode& top = nodes[2 * n - 2];
    top.count_desc();
    double s1 = 0.0;
    double s2 = 0.0;
    top.compute_moments_of_pairwise_divergence(s1, s2);
    mean_coal_time = 0.5 * s1 / P;
    if (P > 1.0) sd_coal_time = 0.5 * std::sqrt((s2 - s1 * s1 / P) / (P - 1.0));
    return 1;
}

int TTree::compute_hapl_freq() { return compute_hapl_freq(0, num_genes); }

namespace {

constexpr std::uint64_t kHashSeed = 1469598103934665603ULL;

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

// FNV-1a over the states at the given sites (all sites when `sites` is
// null), then a final mix so that the low bits used as slot index depend on
// every state.
std::uint64_t sequence_hash(myVectInt const& s, std::vector<int> const* sites) {
    std::uint64_t h = kHashSeed ^ static_cast<std::uint32_t>(s.length);
    if (sites != nullptr) {
        for (int site : *sites) {
            h ^= static_cast<std::uint32_t>(s.data[site]);
            h *= 1099511628211ULL;
        }
    } else {
        for (int i = 0; i < s.length; ++i) {
            h ^= static_cast<std::uint32_t>(s.data[i]);
            h *= 1099511628211ULL;
        }
    }
    return mix(h);
}

}  // namespace

// Each leaf goes to the first earlier leaf with the same states, found
// through an open-addressing table: the same result as comparing every later
// leaf with every earlier one.
template <class Has, class Hash, class Same>
void TTree::mark_copies(TNode* leaf, int count, Has has, Hash hash, Same same) {
    std::size_t slots = 16;
    while (slots < 2 * static_cast<std::size_t>(count)) slots *= 2;
    const std::size_t mask = slots - 1;
    if (hash_slots_.size() < slots) hash_slots_.resize(slots);
    if (seq_hash_.size() < static_cast<std::size_t>(count)) seq_hash_.resize(count);
    std::fill(hash_slots_.begin(), hash_slots_.begin() + static_cast<long>(slots), -1);

    for (int j = 0; j < count; ++j) {
        if (!has(j)) continue;
        const std::uint64_t h = hash(j);
        seq_hash_[j] = h;
        std::size_t pos = static_cast<std::size_t>(h) & mask;
        for (;;) {
            const int i = hash_slots_[pos];
            if (i < 0) {
                hash_slots_[pos] = j;
                break;
            }
            if (seq_hash_[i] == h && same(i, j)) {
                leaf[j].is_distinct = false;
                leaf[i].hapl_count += leaf[j].hapl_count;
                break;
            }
            pos = (pos + 1) & mask;
        }
    }
}

int TTree::compute_hapl_freq(int first, int count) {
    if (first < 0) {
        count += first;
        first = 0;
    }
    if (count > num_genes - first) count = num_genes - first;
    if (count <= 0 || num_nodes_ < first + count) return 1;

    TNode* leaf = &nodes[first];
    for (int i = 0; i < count; ++i) {
        leaf[i].is_distinct = true;
        leaf[i].hapl_count = 1;
    }

    // Sites at which some leaf of the reference length differs from the
    // reference leaf. Everywhere else these leaves agree, so they are hashed
    // and compared at the varying sites only (in a simulated sample, the few
    // sites that mutated).
    myVectInt const* ref = nullptr;
    for (int i = 0; i < count && ref == nullptr; ++i) {
        if (leaf[i].sequence) ref = leaf[i].sequence.get();
    }
    if (ref == nullptr) return 1;
    const int L = ref->length;
    site_differs_.assign(static_cast<std::size_t>(L), 0);
    for (int i = 0; i < count; ++i) {
        if (!leaf[i].sequence || leaf[i].sequence->length != L) continue;
        int const* a = leaf[i].sequence->data.get();
        int const* r = ref->data.get();
        unsigned char* d = site_differs_.data();
        for (int s = 0; s < L; ++s) d[s] |= static_cast<unsigned char>(a[s] != r[s]);
    }
    varying_sites_.clear();
    for (int s = 0; s < L; ++s) {
        if (site_differs_[s]) varying_sites_.push_back(s);
    }

    auto same = [&](myVectInt const& x, myVectInt const& y) {
        if (x.length != y.length) return false;
        if (x.length != L) return x == y;
        for (int s : varying_sites_) {
            if (x.data[s] != y.data[s]) return false;
        }
        return true;
    };

    mark_copies(
        leaf, count, [&](int j) { return leaf[j].sequence != nullptr; },
        [&](int j) {
            myVectInt const& seq = *leaf[j].sequence;
            return sequence_hash(seq, seq.length == L ? &varying_sites_ : nullptr);
        },
        [&](int i, int j) { return same(*leaf[i].sequence, *leaf[j].sequence); });
    return 1;
}

void TTree::print_sequences(std::ostream& os, Mut_Type const& model) {
    if (num_nodes_ < 1 || nodes[0].num_sites == 0) {
        os << "\n";
        return;
    }
    compute_hapl_freq();
    static constexpr char kBases[] = {'A', 'G', 'C', 'T'};
    for (int i = 0; i < num_genes; ++i) {
        TNode const& leaf = nodes[i];
        if (!leaf.is_distinct) continue;
        os << std::setw(5) << (i + 1) << " " << std::setw(5) << leaf.hapl_count;
        if (!leaf.sequence) continue;
        os << " ";
        myVectInt const& seq = *leaf.sequence;
        if (model == DNA_MUT) {
            std::string text(static_cast<std::size_t>(leaf.num_sites), 'A');
            for (int s = 0; s < leaf.num_sites && s < seq.length; ++s) {
                const int state = seq[s];
                if (state >= 0 && state <= 3) text[s] = kBases[state];
            }
            os << text << "\n";
        } else {
            for (int s = 0; s < seq.length; ++s) os << seq[s] << " ";
            os << "\n";
        }
    }
    os << "\n";
}

double TTree::total_length() { return 0.0; }

void TTree::print_nodes(std::ostream&, double, double) { std::cin.get(); }

}  // namespace quintle
