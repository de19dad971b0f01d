// The coalescent of samples spread over demes linked by migration: a finite
// island model of D demes, or a hierarchical island model of g groups of d
// demes, for the scan for loci under selection.
//
// Time runs back in units of N = 1000 generations. Each event is a
// coalescence in a deme (rate k(k-1)/2 for its k lineages) or a migration
// (rate m N per lineage); the draws follow a fixed order, so that a seed
// fixes the genealogy. The lineage lists of the occupied demes point into
// the node array and are kept by list position, so that those in use stay
// together; nothing is allocated per event, and the storage is reused from
// locus to locus. Lineage number r of the occupied demes (in list order) is
// found through their lineage counts by position (lineage_counts.h).

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

// The shared stream drawn number by number (when no cursor can hold it).
struct StreamDraw {
    double operator()() const { return uniform_draw(); }
};

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
    deme_lineages.assign(size, 0);
    occupied_demes.assign(size, -1);
    occupied_at_.assign(size, -1);
    listed_nodes_.resize(size);
    for (auto& list : listed_nodes_) list.clear();
    counts_.resize(size);
    num_occupied = 0;
    total_coal_rate = 0.0;
}

void TTree::empty_demes() {
    for (std::size_t e = 0; e < deme_lineages.size(); ++e) {
        listed_nodes_[e].clear();
        deme_lineages[e] = 0;
        occupied_demes[e] = -1;
        occupied_at_[e] = -1;
    }
    counts_.clear();
    num_occupied = 0;
    total_coal_rate = 0.0;
}

void TTree::cleanDemes() { empty_demes(); }

// Room in every position's list for a sample and a few migrants, so that
// the events of later loci seldom allocate; a few migrants only when many
// demes would make that room large.
void TTree::reserve_lists(int largest) {
    constexpr std::size_t kBudget = std::size_t{1} << 22;  // pointers
    auto room = static_cast<std::size_t>(largest) + 8;
    if (room * listed_nodes_.size() > kBudget) room = 8;
    for (auto& list : listed_nodes_)
        if (list.capacity() < room) list.reserve(room);
}

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
    int largest = 0;
    for (int i = 0; i < count; ++i) {
        genes += genes_of(s.Populations[i]);
        largest = std::max(largest, genes_of(s.Populations[i]));
    }
    reserve_lists(largest);
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
        std::vector<TNode*>& list = listed_nodes_[static_cast<std::size_t>(i)];
        for (int c = 0; c < k; ++c) list.push_back(&nodes[leaf++]);
        total_coal_rate += pair_rate(k);
        counts_.add(i, k);
        pool_[static_cast<std::size_t>(j)] = pool_[static_cast<std::size_t>(P - 1)];
        --P;
    }
}

int TTree::createInitialNodes(Structure const& st, int d, int g) {
    demes_per_group = d;
    const int groups = st.Groups ? st.NbGroups : 0;
    int count = 0;
    int genes = 0;
    int largest = 0;
    for (int q = 0; q < groups; ++q) {
        const int members = st.GroupSizes[q];
        if (members > d) return 0;
        count += members;
        for (int j = 0; j < members; ++j) {
            genes += genes_of(member_at(st, q, j));
            largest = std::max(largest, genes_of(member_at(st, q, j)));
        }
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
    reserve_lists(largest);
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
            std::vector<TNode*>& list = listed_nodes_[static_cast<std::size_t>(position)];
            for (int c = 0; c < k; ++c) {
                nodes[leaf].pop_index = q;
                list.push_back(&nodes[leaf++]);
            }
            total_coal_rate += pair_rate(k);
            counts_.add(position, k);
            ++position;
        }
    }
    return 1;
}

// --- events -------------------------------------------------------------------

int TTree::coalescing_position(double u) const {
    const double target = u * total_coal_rate;
    // The first deme at which the running sum reaches the target, among
    // those that can coalesce: a deme with fewer than two lineages adds
    // nothing and is passed over even when the sum stands on the target.
    int position = -1;
    int last = -1;
    double sum = 0.0;
    for (int p = 0; p < num_occupied; ++p) {
        const int k = counts_.at(p);
        if (k < 2) continue;
        sum += pair_rate(k);
        last = p;
        if (sum >= target) {
            position = p;
            break;
        }
    }
    return position < 0 ? last : position;
}

void TTree::coalesce_at(int position, double t, double u1, double u2) {
    const auto e = static_cast<std::size_t>(occupied_demes[static_cast<std::size_t>(position)]);
    std::vector<TNode*>& list = listed_nodes_[static_cast<std::size_t>(position)];
    const int k = deme_lineages[e];
    TNode* node = &nodes[2 * num_genes - num_lineages];
    node->time = t;
    const int a = static_cast<int>(k * u1);
    node->left = list[static_cast<std::size_t>(a)];
    node->left->ancestor = node;
    list[static_cast<std::size_t>(a)] = list[static_cast<std::size_t>(k - 1)];
    const int b = static_cast<int>((k - 1) * u2);
    node->right = list[static_cast<std::size_t>(b)];
    node->right->ancestor = node;
    list[static_cast<std::size_t>(b)] = node;
    list.pop_back();

    --num_lineages;
    deme_lineages[e] = k - 1;
    total_coal_rate += pair_rate(k - 1) - pair_rate(k);
    total_mig_rate = num_lineages * mig_rate * deme_size;
    counts_.add(position, -1);
}

// The state a migration reads and writes, held in locals (and registers)
// while the event loop runs: the members would be reloaded at every store.
struct TTree::MigrationState {
    double coal;  // total_coal_rate
    int lineages;
    int occupied;
    int demes;
    int demesPerGroup;
    int groups;
    double stay;  // m1 / (m1 + m2): the share of moves within the group
    int* count;   // deme_lineages
    int* list;    // occupied_demes
    int* at;
    LineageCounts* counts;
    std::vector<TNode*>* nodes;  // by list position
    std::vector<std::vector<int>> const* groupDemes;
};

TTree::MigrationState TTree::migration_state(double stay) {
    return MigrationState{total_coal_rate,
                          num_lineages,
                          num_occupied,
                          static_cast<int>(num_demes),
                          demes_per_group,
                          num_groups,
                          stay,
                          deme_lineages.data(),
                          occupied_demes.data(),
                          occupied_at_.data(),
                          &counts_,
                          listed_nodes_.data(),
                          &group_demes};
}

void TTree::keep_state(MigrationState const& st) {
    total_coal_rate = st.coal;
    num_lineages = st.lineages;
    num_occupied = st.occupied;
}

// One migration: lineage number int(U L) of the occupied demes in list
// order leaves its deme (entry r, replaced by the deme's last one) for
// another deme, drawn in the whole island or, in two levels, within its
// group or in another group. False when there is no such lineage.
template <class Uniform>
bool TTree::migrate(MigrationState& st, bool twoLevels, Uniform& uniform) {
    const double u1 = twoLevels ? uniform() : 0.0;
    int r = 0;
    const int p = st.counts->find(static_cast<int>(uniform() * st.lineages), st.occupied, r);
    if (p < 0 || p >= st.occupied) return false;

    const int source = st.list[p];
    TNode* migrant = st.nodes[p][static_cast<std::size_t>(r)];
    int destination = source;
    if (!twoLevels) {
        while (destination == source) destination = static_cast<int>(uniform() * st.demes);
    } else {
        const int d = st.demesPerGroup;
        const int q = source / d;
        const int place = source % d;
        if (st.stay > u1) {
            int j = place;
            while (j == place) j = static_cast<int>(uniform() * d);
            destination = (*st.groupDemes)[static_cast<std::size_t>(q)][static_cast<std::size_t>(j)];
        } else {
            int group = q;
            while (group == q) group = static_cast<int>(uniform() * st.groups);
            const int j = static_cast<int>(uniform() * d);
            destination = (*st.groupDemes)[static_cast<std::size_t>(group)][static_cast<std::size_t>(j)];
            migrant->pop_index = group;
        }
    }

    const int last = st.occupied - 1;
    if (st.counts->all_single(st.occupied) && st.at[destination] < 0) {
        // Every listed deme holds one lineage and the destination none (the
        // common case once the lineages have scattered): the last deme
        // takes the source's place and the destination the last place,
        // every list keeping its one entry; no count changes.
        const int moved = st.list[last];
        st.list[p] = moved;
        st.at[moved] = p;
        st.at[source] = -1;  // after: the source may be the last deme itself
        st.nodes[p][0] = st.nodes[last][0];
        st.list[last] = destination;
        st.at[destination] = last;
        st.nodes[last][0] = migrant;
        st.count[source] = 0;
        st.count[destination] = 1;
        return true;
    }

    std::vector<TNode*>& from = st.nodes[p];
    from[static_cast<std::size_t>(r)] = from.back();
    from.pop_back();
    const int kFrom = st.count[source]--;
    // An emptied source leaves the list, the last entry (with its lineages)
    // taking its place; `stale` is then what the last position still counts.
    int stale = 0;
    if (kFrom == 1) {
        // Written for p == last too (the source then stands in for itself,
        // its count 1): which of the two it is, is a coin toss when few
        // demes are listed.
        const int moved = st.list[last];
        stale = st.counts->at(last);
        st.counts->add(p, stale - 1);
        st.list[p] = moved;
        st.at[moved] = p;
        st.nodes[p].swap(st.nodes[last]);
        st.list[last] = -1;
        st.at[source] = -1;
        --st.occupied;
    } else {
        st.counts->add(p, -1);
    }
    const int kTo = st.count[destination]++;
    // A deme already listed (a sample of size 0 keeps its place) is not
    // listed twice.
    int q = st.at[destination];
    if (q < 0) {
        q = st.occupied++;
        st.list[q] = destination;
        st.at[destination] = q;
    }
    st.nodes[q].push_back(migrant);
    if (kFrom != 1) {
        st.counts->add(q, 1);
    } else if (q == last) {
        if (stale != 1) st.counts->add(last, 1 - stale);
    } else {
        st.counts->add(last, -stale);
        st.counts->add(q, 1);
    }

    // The source loses kFrom - 1 pairs, the destination gains kTo.
    st.coal += kTo - (kFrom - 1);
    return true;
}

void TTree::coalesceWithinAPop(double const& t) {
    if (num_lineages < 2) return;
    const int position = coalescing_position(uniform_draw());
    if (position < 0) return;
    const double u1 = uniform_draw();
    const double u2 = uniform_draw();
    coalesce_at(position, t, u1, u2);
}

void TTree::sendMigrant() {
    if (num_demes < 2.0 || num_lineages < 1) return;
    MigrationState st = migration_state(0.0);
    auto uniform = uniform_draw;
    migrate(st, false, uniform);
    keep_state(st);
}

void TTree::sendMigrant2Levels(int d, int g, double m1, double m2) {
    if (m1 + m2 == 0.0) return;
    // Both moves need somewhere else to go.
    if ((m1 > 0.0 && d < 2) || (m2 > 0.0 && g < 2) || num_lineages < 1) return;
    if (group_demes.size() < static_cast<std::size_t>(g) || d != demes_per_group) return;
    MigrationState st = migration_state(m1 / (m1 + m2));
    st.groups = g;
    auto uniform = uniform_draw;
    migrate(st, true, uniform);
    keep_state(st);
}

template <class Uniform>
int TTree::run_events(bool twoLevels, double m1, double m2) {
    // The draws' state stays local (and in registers): nothing the loop
    // stores can touch it.
    Uniform uniform;
    MigrationState st = migration_state(twoLevels ? m1 / (m1 + m2) : 0.0);
    double mig = total_mig_rate;
    long events = 0;
    double t = 0.0;
    while (st.lineages >= 2) {
        const double R = st.coal + mig;
        if (!(R > 0.0)) break;
        ++events;
        t -= std::log(1.0 - uniform()) / R;
        if (st.coal > R * uniform()) {
            keep_state(st);
            const int position = coalescing_position(uniform());
            if (position >= 0) {
                const double u1 = uniform();
                const double u2 = uniform();
                coalesce_at(position, t, u1, u2);
            }
            st.coal = total_coal_rate;
            st.lineages = num_lineages;
            mig = total_mig_rate;
            continue;
        }
        if (!migrate(st, twoLevels, uniform)) break;
    }
    keep_state(st);
    num_events = events;
    if (num_genes >= 1) nodes[2 * num_genes - 2].ancestor = nullptr;
    return 1;
}

// --- builders -------------------------------------------------------------------

int TTree::build_tree_struct_pop(Samples& s, double const& /*theta*/, double const& FST, int D) {
    deme_size = kDemeSize;
    num_events = 0;
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
    if (Ran3Cursor::usable()) return run_events<Ran3Cursor>(false, 0.0, 0.0);
    return run_events<StreamDraw>(false, 0.0, 0.0);
}

int TTree::build_tree_struct_pop(Samples& /*s*/, Structure const& st, double const& /*theta*/, double const& FST,
                                 double const& FCT, int d, int g) {
    deme_size = kDemeSize;
    num_events = 0;
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
    if (Ran3Cursor::usable()) return run_events<Ran3Cursor>(true, m1, m2);
    return run_events<StreamDraw>(true, m1, m2);
}

}  // namespace quintle
