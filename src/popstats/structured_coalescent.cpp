// The coalescent of samples spread over demes linked by migration: a finite
// island model of D demes, or a hierarchical island model of g groups of d
// demes, for the scan for loci under selection.
//
// Time runs back in units of N = 1000 generations. Each event is a
// coalescence in a deme (rate k(k-1)/2 for its k lineages) or a migration
// (rate m N per lineage); the draws follow a fixed order, so that a seed
// fixes the genealogy. The demes' lineage lists point into the node array;
// nothing is allocated per event, and the storage is reused from locus to
// locus. Lineage number r of the occupied demes (in list order) is found
// through a Fenwick tree of their lineage counts, in log time.

#include <algorithm>
#include <cmath>

#include "core/Errors.h"
#include "core/random.h"
#include "popstats/TTree.h"
#include "project/Samples.h"
#include "project/Structure.h"

namespace quintle {

namespace {

constexpr double kDemeSize = 1000.0;

double uniform_draw() {
    long seed = 1;
    return ran3(&seed);
}

// Coalescence rate of a deme with k lineages; exact in a double.
double pair_rate(int k) { return 0.5 * static_cast<double>(k) * (k - 1); }

// Gene copies of a sample as the builders place them.
int genes_of(Population const* p) {
    if (p == nullptr || !(p->SampleSize > 0.0)) return 0;
    return static_cast<int>(p->SampleSize);
}

// Member j of group q, or null when the group's list has no such entry.
Population const* member_at(Structure const& st, int q, int j) {
    PopulationGroup const& group = st.Groups[q];
    return j >= 0 && j < group.count ? group.data[j] : nullptr;
}

// What every build starts from: node numbers, mutation total and hit table
// as for a fresh tree.
void reset_tree_counters() {
    TNode::node_count = 0;
    TNode::_tot_mut = 0;
    TNode::hits.count = 0;
}

}  // namespace

int TTree::prepare_nodes(int n) {
    if (n < 1 || !nodes || num_nodes_ != 2 * n - 1) return allocate_tree(n);
    num_genes = num_lineages = n;
    for (int i = 0; i < num_nodes_; ++i) {
        TNode& v = nodes[i];
        v.time = 0.0;
        v.left = v.right = v.ancestor = nullptr;
        v.left_desc.reset();
        v.right_desc.reset();
        v.num_desc = v.num_left_desc = v.num_right_desc = 0;
        v.num_sites = 0;  // the sequence buffer stays for the next pass
        v.num_mut = 0;
        v.pop_index = 0;
        v.is_distinct = true;
        v.hapl_count = 1;
        v.node_id = ++TNode::node_count;
    }
    return 1;
}

void TTree::size_demes(int D) {
    const auto size = static_cast<std::size_t>(std::max(D, 0));
    num_demes = static_cast<double>(size);
    deme_nodes.resize(size);
    for (auto& list : deme_nodes) list.clear();
    deme_lineages.assign(size, 0);
    deme_coal_rates.assign(size, 0.0);
    occupied_demes.assign(size, -1);
    occupied_at_.assign(size, -1);
    count_tree_.assign(size + 1, 0);
    count_tree_top_ = size == 0 ? 0 : 1;
    while (static_cast<std::size_t>(count_tree_top_) * 2 <= size) count_tree_top_ *= 2;
    num_occupied = 0;
    total_coal_rate = 0.0;
}

void TTree::empty_demes() {
    for (std::size_t e = 0; e < deme_lineages.size(); ++e) {
        deme_nodes[e].clear();
        deme_lineages[e] = 0;
        deme_coal_rates[e] = 0.0;
        occupied_demes[e] = -1;
        occupied_at_[e] = -1;
    }
    std::fill(count_tree_.begin(), count_tree_.end(), 0);
    num_occupied = 0;
    total_coal_rate = 0.0;
}

void TTree::cleanDemes() { empty_demes(); }

void TTree::createDemes(migrationModel model, int const& d) {
    if (d == 0) return;
    long long D = 0;
    if (model == ISLAND_DEMES) D = d;
    if (model == SQUARE_DEMES) D = static_cast<long long>(d) * d;
    group_demes.clear();
    size_demes(D > 0 && D <= 0x7fffffffLL ? static_cast<int>(D) : 0);
}

void TTree::createDemes(migrationModel /*model*/, int d, int g) {
    demes_per_group = d;
    if (d == 0) return;
    const long long D = static_cast<long long>(d) * g;
    const bool fits = d > 0 && g > 0 && D <= 0x7fffffffLL;
    size_demes(fits ? static_cast<int>(D) : 0);
    group_demes.assign(fits ? static_cast<std::size_t>(g) : 0, {});
    for (std::size_t q = 0; q < group_demes.size(); ++q) {
        group_demes[q].resize(static_cast<std::size_t>(d));
        for (int j = 0; j < d; ++j) group_demes[q][static_cast<std::size_t>(j)] = static_cast<int>(q) * d + j;
    }
}

// --- the occupied demes' lineage counts ---------------------------------------

void TTree::count_add(int position, int delta) {
    const int size = static_cast<int>(count_tree_.size()) - 1;
    for (int i = position + 1; i <= size; i += i & -i) count_tree_[static_cast<std::size_t>(i)] += delta;
}

int TTree::find_lineage(int r, int& offset) const {
    const int size = static_cast<int>(count_tree_.size()) - 1;
    int pos = 0;
    for (int step = count_tree_top_; step > 0; step >>= 1) {
        const int next = pos + step;
        if (next <= size && count_tree_[static_cast<std::size_t>(next)] <= r) {
            pos = next;
            r -= count_tree_[static_cast<std::size_t>(next)];
        }
    }
    offset = r;
    return pos;
}

// --- initial nodes ----------------------------------------------------------------

void TTree::createInitialNodes(Samples& s) {
    const int count = static_cast<int>(s.Populations.count);
    num_samples = count;
    int D = static_cast<int>(num_demes);
    if (count > D) D = count + 20;
    if (deme_lineages.size() != static_cast<std::size_t>(std::max(D, 0)) || !group_demes.empty()) {
        createDemes(ISLAND_DEMES, D);
    } else {
        empty_demes();
    }
    num_demes = D;

    pool_.resize(deme_lineages.size());
    for (std::size_t e = 0; e < pool_.size(); ++e) pool_[e] = static_cast<int>(e);
    int genes = 0;
    for (int i = 0; i < count; ++i) genes += genes_of(s.Populations[i]);
    prepare_nodes(genes);
    total_coal_rate = 0.0;
    if (pool_.size() < static_cast<std::size_t>(count)) return;  // no demes to place them in

    num_occupied = count;
    int leaf = 0;
    auto P = static_cast<int>(pool_.size());
    for (int i = 0; i < count; ++i) {
        const int j = static_cast<int>(P * uniform_draw());
        const int deme = pool_[static_cast<std::size_t>(j)];
        const auto e = static_cast<std::size_t>(deme);
        occupied_demes[static_cast<std::size_t>(i)] = deme;
        occupied_at_[e] = i;
        const int k = genes_of(s.Populations[i]);
        deme_lineages[e] = k;
        for (int c = 0; c < k; ++c) deme_nodes[e].push_back(&nodes[leaf++]);
        deme_coal_rates[e] = pair_rate(k);
        total_coal_rate += deme_coal_rates[e];
        count_add(i, k);
        pool_[static_cast<std::size_t>(j)] = pool_[static_cast<std::size_t>(P - 1)];
        --P;
    }
}

int TTree::createInitialNodes(Structure const& st, int d, int g) {
    demes_per_group = d;
    const int groups = st.Groups ? st.NbGroups : 0;
    int count = 0;
    int genes = 0;
    for (int q = 0; q < groups; ++q) {
        const int members = st.GroupSizes[q];
        if (members > d) return 0;
        count += members;
        for (int j = 0; j < members; ++j) genes += genes_of(member_at(st, q, j));
    }
    if (d < 1 || g < 1 || groups > g) return 0;
    num_samples = count;
    if (deme_lineages.size() != static_cast<std::size_t>(d) * static_cast<std::size_t>(g) ||
        group_demes.size() != static_cast<std::size_t>(g) || group_demes[0].size() != static_cast<std::size_t>(d)) {
        createDemes(ISLAND_DEMES, d, g);
    } else {
        empty_demes();
    }
    if (group_demes.size() != static_cast<std::size_t>(g)) return 0;
    prepare_nodes(genes);
    total_coal_rate = 0.0;

    num_occupied = count;
    pool_.resize(static_cast<std::size_t>(d));
    int position = 0;
    int leaf = 0;
    for (int q = 0; q < groups; ++q) {
        for (int j = 0; j < d; ++j) pool_[static_cast<std::size_t>(j)] = j;
        int P = d;
        for (int member = 0; member < st.GroupSizes[q]; ++member) {
            const int pick = static_cast<int>(P * uniform_draw());
            const int place = pool_[static_cast<std::size_t>(pick)];
            pool_[static_cast<std::size_t>(pick)] = pool_[static_cast<std::size_t>(P - 1)];
            --P;
            const int deme = group_demes[static_cast<std::size_t>(q)][static_cast<std::size_t>(place)];
            const auto e = static_cast<std::size_t>(deme);
            occupied_demes[static_cast<std::size_t>(position)] = deme;
            occupied_at_[e] = position;
            const int k = genes_of(member_at(st, q, member));
            deme_lineages[e] = k;
            for (int c = 0; c < k; ++c) {
                nodes[leaf].pop_index = q;
                deme_nodes[e].push_back(&nodes[leaf++]);
            }
            deme_coal_rates[e] = pair_rate(k);
            total_coal_rate += deme_coal_rates[e];
            count_add(position, k);
            ++position;
        }
    }
    return 1;
}

// --- events -------------------------------------------------------------------

template <class Uniform>
void TTree::coalesce_in_deme(double t, Uniform& uniform) {
    const double target = uniform() * total_coal_rate;
    // The first deme at which the running sum reaches the target, among
    // those that can coalesce: a deme with fewer than two lineages adds
    // nothing and is passed over even when the sum stands on the target.
    int deme = -1;
    int last = -1;
    double sum = 0.0;
    for (int p = 0; p < num_occupied; ++p) {
        const int e = occupied_demes[static_cast<std::size_t>(p)];
        if (deme_lineages[static_cast<std::size_t>(e)] < 2) continue;
        sum += deme_coal_rates[static_cast<std::size_t>(e)];
        last = e;
        if (sum >= target) {
            deme = e;
            break;
        }
    }
    if (deme < 0) deme = last;
    if (deme < 0) return;

    const auto e = static_cast<std::size_t>(deme);
    std::vector<TNode*>& list = deme_nodes[e];
    const int k = deme_lineages[e];
    TNode* node = &nodes[2 * num_genes - num_lineages];
    node->time = t;
    const int a = static_cast<int>(k * uniform());
    node->left = list[static_cast<std::size_t>(a)];
    node->left->ancestor = node;
    list[static_cast<std::size_t>(a)] = list[static_cast<std::size_t>(k - 1)];
    const int b = static_cast<int>((k - 1) * uniform());
    node->right = list[static_cast<std::size_t>(b)];
    node->right->ancestor = node;
    list[static_cast<std::size_t>(b)] = node;
    list.pop_back();

    --num_lineages;
    deme_lineages[e] = k - 1;
    const double rate = pair_rate(k - 1);
    total_coal_rate += rate - deme_coal_rates[e];
    deme_coal_rates[e] = rate;
    total_mig_rate = num_lineages * mig_rate * deme_size;
    count_add(occupied_at_[e], -1);
}

template <class Uniform>
TNode* TTree::take_migrant(int& source, Uniform& uniform) {
    const int r = static_cast<int>(uniform() * num_lineages);
    int offset = 0;
    const int position = find_lineage(r, offset);
    if (position >= num_occupied) return nullptr;
    source = occupied_demes[static_cast<std::size_t>(position)];
    const auto e = static_cast<std::size_t>(source);
    std::vector<TNode*>& list = deme_nodes[e];
    TNode* migrant = list[static_cast<std::size_t>(offset)];
    list[static_cast<std::size_t>(offset)] = list.back();
    list.pop_back();
    --deme_lineages[e];
    count_add(position, -1);
    return migrant;
}

void TTree::settle_migrant(TNode* migrant, int source, int destination) {
    const auto from = static_cast<std::size_t>(source);
    const auto to = static_cast<std::size_t>(destination);
    if (deme_lineages[from] == 0) {
        // The emptied source leaves the list; the last entry takes its place.
        const int p = occupied_at_[from];
        const int last = num_occupied - 1;
        const int moved = occupied_demes[static_cast<std::size_t>(last)];
        if (p != last) {
            const int c = deme_lineages[static_cast<std::size_t>(moved)];
            count_add(p, c);
            count_add(last, -c);
            occupied_demes[static_cast<std::size_t>(p)] = moved;
            occupied_at_[static_cast<std::size_t>(moved)] = p;
        }
        occupied_demes[static_cast<std::size_t>(last)] = -1;
        occupied_at_[from] = -1;
        --num_occupied;
    }
    deme_nodes[to].push_back(migrant);
    ++deme_lineages[to];
    // A deme already listed (a sample of size 0 keeps its place) is not
    // listed twice.
    if (occupied_at_[to] < 0) {
        occupied_demes[static_cast<std::size_t>(num_occupied)] = destination;
        occupied_at_[to] = num_occupied++;
    }
    count_add(occupied_at_[to], 1);

    total_coal_rate -= deme_coal_rates[from] + deme_coal_rates[to];
    deme_coal_rates[from] = pair_rate(deme_lineages[from]);
    deme_coal_rates[to] = pair_rate(deme_lineages[to]);
    total_coal_rate += deme_coal_rates[from] + deme_coal_rates[to];
}

void TTree::coalesceWithinAPop(double const& t) {
    if (num_lineages < 2) return;
    auto uniform = uniform_draw;
    coalesce_in_deme(t, uniform);
}

void TTree::sendMigrant() {
    const int D = static_cast<int>(num_demes);
    if (D < 2 || num_lineages < 1) return;
    int source = -1;
    auto uniform = uniform_draw;
    TNode* migrant = take_migrant(source, uniform);
    if (migrant == nullptr) return;
    int destination = source;
    while (destination == source) destination = static_cast<int>(uniform() * D);
    settle_migrant(migrant, source, destination);
}

namespace {

// The two-level destination of a migrant leaving deme `source`, and its new
// group (-1 when it stays in its own).
template <class Uniform>
int two_level_destination(std::vector<std::vector<int>> const& groupDemes, int source, int d, int g, double stay,
                          double u1, int& newGroup, Uniform& uniform) {
    const int q = source / d;
    const int place = source % d;
    newGroup = -1;
    if (stay > u1) {
        int j = place;
        while (j == place) j = static_cast<int>(uniform() * d);
        return groupDemes[static_cast<std::size_t>(q)][static_cast<std::size_t>(j)];
    }
    int group = q;
    while (group == q) group = static_cast<int>(uniform() * g);
    const int j = static_cast<int>(uniform() * d);
    newGroup = group;
    return groupDemes[static_cast<std::size_t>(group)][static_cast<std::size_t>(j)];
}

}  // namespace

void TTree::sendMigrant2Levels(int d, int g, double m1, double m2) {
    if (m1 + m2 == 0.0) return;
    // Both moves need somewhere else to go.
    if ((m1 > 0.0 && d < 2) || (m2 > 0.0 && g < 2) || num_lineages < 1) return;
    if (group_demes.size() < static_cast<std::size_t>(g) || d != demes_per_group) return;
    auto uniform = uniform_draw;
    const double u1 = uniform();
    int source = -1;
    TNode* migrant = take_migrant(source, uniform);
    if (migrant == nullptr) return;
    int group = -1;
    const int destination = two_level_destination(group_demes, source, d, g, m1 / (m1 + m2), u1, group, uniform);
    if (group >= 0) migrant->pop_index = group;
    settle_migrant(migrant, source, destination);
}

template <class Uniform>
int TTree::run_events(bool twoLevels, double m1, double m2, Uniform& uniform) {
    const int D = static_cast<int>(num_demes);
    const int d = demes_per_group;
    const int g = num_groups;
    const double stay = twoLevels ? m1 / (m1 + m2) : 0.0;
    double t = 0.0;
    while (num_lineages >= 2) {
        const double R = total_coal_rate + total_mig_rate;
        if (!(R > 0.0)) break;
        t -= std::log(1.0 - uniform()) / R;
        if (total_coal_rate > R * uniform()) {
            coalesce_in_deme(t, uniform);
            continue;
        }
        if (!twoLevels) {
            int source = -1;
            TNode* migrant = take_migrant(source, uniform);
            if (migrant == nullptr) break;
            int destination = source;
            while (destination == source) destination = static_cast<int>(uniform() * D);
            settle_migrant(migrant, source, destination);
        } else {
            const double u1 = uniform();
            int source = -1;
            TNode* migrant = take_migrant(source, uniform);
            if (migrant == nullptr) break;
            int group = -1;
            const int destination = two_level_destination(group_demes, source, d, g, stay, u1, group, uniform);
            if (group >= 0) migrant->pop_index = group;
            settle_migrant(migrant, source, destination);
        }
    }
    if (num_genes >= 1) nodes[2 * num_genes - 2].ancestor = nullptr;
    return 1;
}

// --- builders -------------------------------------------------------------------

int TTree::build_tree_struct_pop(Samples& s, double const& /*theta*/, double const& FST, int D) {
    deme_size = kDemeSize;
    num_demes = D;
    reset_tree_counters();
    createInitialNodes(s);
    // Outside ]0, 1[ the migration rate would be 0 or negative.
    if (num_demes <= 0.0 || !(FST > 0.0 && FST < 1.0)) {
        *_AOS_ << "\tTTree::build_tree_struct_pop(): unable to build Tree\n";
        return 0;
    }
    const double demes = num_demes;
    mig_rate = (demes - 1.0) * (1.0 / FST - 1.0) / (2.0 * deme_size * demes);
    total_mig_rate = num_lineages * mig_rate * deme_size;
    if (Ran3Cursor::usable()) {
        Ran3Cursor draw;
        return run_events(false, 0.0, 0.0, draw);
    }
    auto draw = uniform_draw;
    return run_events(false, 0.0, 0.0, draw);
}

int TTree::build_tree_struct_pop(Samples& /*s*/, Structure const& st, double const& /*theta*/, double const& FST,
                                 double const& FCT, int d, int g) {
    deme_size = kDemeSize;
    reset_tree_counters();
    if (createInitialNodes(st, d, g) == 0) return 0;
    num_groups = g;
    const double FSC = 1.0 - (1.0 - FST) / (1.0 - FCT);
    double m1 = 0.0;
    if (FCT != 1.0 && d != 0 && FSC != 0.0) m1 = (d - 1) * (1.0 / FSC - 1.0) / (2.0 * d * deme_size);
    const double m2 = (g - 1) * (1.0 - FCT) * FSC * m1 / ((d - 1) * FCT * g);
    mig_rate = m1 + m2;
    if (!(m1 > 0.0 && m1 < 1.0 && m2 > 0.0 && m2 < 1.0)) return 0;
    total_mig_rate = num_lineages * mig_rate * deme_size;
    if (Ran3Cursor::usable()) {
        Ran3Cursor draw;
        return run_events(true, m1, m2, draw);
    }
    auto draw = uniform_draw;
    return run_events(true, m1, m2, draw);
}

}  // namespace quintle
