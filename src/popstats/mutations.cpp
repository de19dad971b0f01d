#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

#include "core/Errors.h"
#include "core/random.h"
#include "popstats/PopGenetics.h"
#include "popstats/TNode.h"
#include "popstats/TTree.h"

namespace quintle {

namespace {

// Gives the class-wide hit counts at least nsites entries (new ones 0).
void ensure_hits(int nsites) {
    MY_TArrayAsVector<long>& hits = TNode::hits;
    if (hits.count >= nsites) return;
    if (hits.capacity < nsites) hits.Resize(nsites);
    for (long i = hits.count; i < nsites; ++i) hits[i] = 0;
    hits.count = nsites;
}

// A random base (0..3) for each of the root's sites, one draw per site. A
// negative seed reseeds the stream at the first draw, as ran3 does.
void draw_root_bases(int* states, int nsites, long* seed) {
    if (nsites <= 0) return;
    int first = 0;
    if (*seed < 0) states[first++] = static_cast<int>(4.0 * ran3(seed));
    ran3_bases(states + first, nsites - first);
}

// The site hit by one mutation; draw() gives the stream's next uniform.
template <bool Structured, class Draw>
int pick_site(int nsites, double a, Draw& draw) {
    GammaRates const& r = TNode::mut_rates;
    const int rated = r.num_rates < nsites ? r.num_rates : nsites;
    if (std::fabs(a) < 1e-7) {
        // Without rate heterogeneity the plain form fills fresh sites first
        // (infinite sites) and draws only once they are used up.
        if (!Structured && TNode::_tot_mut < nsites) return static_cast<int>(TNode::_tot_mut);
        return static_cast<int>(nsites * draw());
    }
    const double u = draw();
    double sum = 0.0;
    if (Structured) {
        for (int i = rated - 1; i >= 0; --i) {
            sum += r.rates[i];
            if (sum > u) return i;
        }
        return 0;
    }
    for (int i = 0; i < rated; ++i) {
        sum += r.rates[i];
        if (sum > u) return i;
    }
    return nsites - 1;
}

// One DNA mutation: a transition with probability ts, else one of the two
// transversions. Bases 0 A, 1 G, 2 C, 3 T: A-G and C-T are the transition
// pairs. Other states stay as they are.
template <class Draw>
int mutate_base(int state, double ts, Draw& draw) {
    const bool base = state >= 0 && state <= 3;
    if (draw() < ts) return base ? (state ^ 1) : state;
    const double u = draw();
    if (!base) return state;
    if (state <= 1) return u < 0.5 ? 2 : 3;
    return u < 0.5 ? 0 : 1;
}

// A state after one mutation, `hit` being the site's hit count with it.
template <bool Structured, class Draw>
int mutated_state(int state, long hit, Mut_Type model, double ts, int bounded, Draw& draw) {
    switch (model) {
        case STEPWISE_MUT:
            if (Structured && bounded) {
                if (state == TNode::min_mic) return state + 1;
                if (state == TNode::max_mic) return state - 1;
            }
            return state + (draw() < 0.5 ? -1 : 1);
        case TWO_STATE_MUT:
            return state == 0 ? 1 : 0;
        case DNA_MUT:
            return mutate_base(state, ts, draw);
        case NEW_ALLELE_MUT:
            return static_cast<int>(hit);
    }
    return state;
}

// What a pass from the root of a built tree does before its first draw:
// every hit count starts again at 0 (also those a tree of another sample
// may have left behind) and the rate scheme is drawn. Null, with nothing
// done, when the tree is not there or the hit table belongs to another
// number of sites.
TNode* start_pass(TTree& tree, int nsites, double a, double rate, double p) {
    TNode* root = tree.root();
    if (root == nullptr || tree.node_capacity() < 2 * tree.num_genes - 1) return nullptr;
    MY_TArrayAsVector<long>& hits = TNode::hits;
    if (hits.count != 0 && hits.count != nsites) {
        E.error(WARNING, "PopGenetics::sprinkle_mutations()", Msg::m177_bad_hits_size);
        return nullptr;
    }
    ensure_hits(nsites);
    if (hits.count > 0) std::fill_n(hits.data, hits.count, 0L);

    if (a != 0.0) {
        if (TNode::mut_rates.num_rates > 0) {
            TNode::mut_rates.get_new_rates(nsites, a, rate, p);
        } else {
            TNode::mut_rates.build(nsites, a, rate, p);
        }
    }
    return root;
}

}  // namespace

bool TNode::take_parent_state(int nsites, Mut_Type model, long* seed) {
    num_sites = nsites;
    if (!sequence) {
        sequence = std::make_unique<myVectInt>(nsites);
        if (sequence->length != nsites && nsites > 0) {
            sequence.reset();
            return false;
        }
    } else if (!sequence->resize(nsites)) {
        E.error(MEMORY, "myIntVect::myIntVect(const int& size) {", Msg::m0_not_enough_memory);
        sequence.reset();
        return false;
    }
    myVectInt& seq = *sequence;
    if (ancestor != nullptr && ancestor->sequence) {
        seq = *ancestor->sequence;
    } else if (model == DNA_MUT) {
        draw_root_bases(seq.data.get(), nsites, seed);
    } else {
        for (int i = 0; i < nsites; ++i) seq[i] = 0;
    }
    return seq.length == nsites;
}

template <bool Structured>
long TNode::drop_mutations(double const& mu, long* seed, long nmut, int nsites, Mut_Type model, double a,
                           double ts, int bounded) {
    if (!take_parent_state(nsites, model, seed)) return 0;
    num_mut = nmut;
    if (nmut > 0 && nsites > 0) ensure_hits(nsites);
    myVectInt& seq = *sequence;
    auto draw = [seed] { return ran3(seed); };
    for (long m = 0; m < nmut; ++m) {
        if (nsites <= 0) {
            // No site can carry it; it still counts.
            ++_tot_mut;
            continue;
        }
        const int site = pick_site<Structured>(nsites, a, draw);
        const long hit = ++hits[site];
        seq[site] = mutated_state<Structured>(seq[site], hit, model, ts, bounded, draw);
        ++_tot_mut;
    }
    long total = 0;
    for (TNode* child : {left, right}) {
        if (child == nullptr) continue;
        const float mean = static_cast<float>((time - child->time) * mu);
        const long k = poidev(mean, seed);
        total += k + child->drop_mutations<Structured>(mu, seed, k, nsites, model, a, ts, bounded);
    }
    return total;
}

long TNode::add_mutations(double const& mu, long* seed, long nmut, int const& nsites, Mut_Type const& model,
                          double const& a, double const& ts) {
    return drop_mutations<false>(mu, seed, nmut, nsites, model, a, ts, 0);
}

long TNode::add_mutations(double const& mu, long* seed, long nmut, int const& nsites, Mut_Type const& model,
                          double const& a, double const& ts, int bounded, double /*step*/) {
    return drop_mutations<true>(mu, seed, nmut, nsites, model, a, ts, bounded);
}

int PopGenetics::sprinkle_mutations(double const& mu, int const& nsites, Mut_Type const& model, double const& a,
                                    double const& rate, double const& p, double const& ts) {
    TNode* root = start_pass(tree, nsites, a, rate, p);
    if (root == nullptr) {
        numSimMutations = 0;
        return 1;
    }
    long seed = 1;
    numSimMutations = root->add_mutations(mu, &seed, 0, nsites, model, a, ts);
    return 1;
}

// --- states at the hit sites only ------------------------------------------

namespace {

// A Poisson deviate of mean 12 or more, drawn from the stream itself.
long large_poisson(float mean, Ran3Cursor& cursor) {
    cursor.sync();
    long seed = 1;
    const long n = poidev(mean, &seed);
    cursor.resume();
    return n;
}

template <class Draw>
long large_poisson(float mean, Draw&) {
    long seed = 1;
    return poidev(mean, &seed);
}

}  // namespace

// The buffers keep their storage: each pass writes what it reads.
void HitSiteStates::clear() {
    numSites_ = 0;
    numLeaves_ = 0;
    singleHits_ = false;
    sequencesFound_ = false;
    singleHitSequences_ = 0;
    sites_.clear();
    events_.clear();
    eventNode_.clear();
    order_.clear();
}

long HitSiteStates::sprinkle(TTree& tree, double mu, int nsites, Mut_Type model, double a, double rate, double p,
                             double ts) {
    clear();
    TNode* root = start_pass(tree, nsites, a, rate, p);
    if (root == nullptr) return 0;
    if (nsites < 0) {
        // The full form fails to give the root a sequence and stops there.
        root->num_sites = nsites;
        root->sequence.reset();
        return 0;
    }
    long seed = 1;
    try {
        numSites_ = nsites;
        base_ = tree.nodes.get();
        const auto nodes = static_cast<std::size_t>(tree.node_capacity());
        // Every node of the tree gets its range when the mutations drop.
        if (eventBegin_.size() < nodes) {
            eventBegin_.resize(nodes);
            eventEnd_.resize(nodes);
            below_.resize(nodes);
            open_.resize(nodes);
            parent_.resize(nodes);
        }

        // The root's states, drawn as the full form draws them.
        if (root_.size() < static_cast<std::size_t>(nsites)) root_.resize(static_cast<std::size_t>(nsites));
        if (model == DNA_MUT) {
            draw_root_bases(root_.data(), nsites, &seed);
        } else {
            std::fill_n(root_.begin(), nsites, 0);
        }
        numLeaves_ = std::max(tree.num_genes, 0);
        singleHitSequences_ = 0;
        const long total = drop(root, mu, model, a, ts);
        const auto k = static_cast<std::size_t>(root - base_);
        if (open_[k] != 0) ++singleHitSequences_;

        for (Mutation const& e : events_) sites_.push_back(e.site);
        // Without rate heterogeneity the sites come in ascending order.
        if (!std::is_sorted(sites_.begin(), sites_.end())) std::sort(sites_.begin(), sites_.end());
        sites_.erase(std::unique(sites_.begin(), sites_.end()), sites_.end());
        singleHits_ = below_[k] == numLeaves_ && sites_.size() == events_.size();
        base_ = nullptr;
        return total;
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "HitSiteStates::sprinkle()", Msg::m0_not_enough_memory);
        clear();
        base_ = nullptr;
        return 0;
    }
}

// The second walk, over the hit sites only: the states along each path and
// the distinct sequences of the leaves. Once per pass.
void HitSiteStates::find_sequences() {
    if (sequencesFound_ || numSites_ < 1) return;
    try {
        const std::size_t width = sites_.size();
        if (slot_.size() < root_.size()) slot_.resize(root_.size(), -1);
        row_.resize(width);
        for (std::size_t k = 0; k < width; ++k) {
            slot_[sites_[k]] = static_cast<int>(k);
            row_[k] = root_[sites_[k]];
        }
        std::uint64_t hash = 0;
        for (std::size_t k = 0; k < width; ++k) hash ^= state_key(k, row_[k]);
        const auto leaves = static_cast<std::size_t>(numLeaves_);
        std::size_t slots = 16;
        while (slots < 2 * leaves) slots *= 2;
        table_.assign(slots, -1);
        leafRaw_.assign(leaves, -1);
        rows_.clear();
        rawHash_.clear();
        rawCount_.clear();
        fill_rows(hash);
        // Leaves the pass did not reach (a tree not joined up) keep the
        // root's states: row_ holds them again after the walk.
        for (std::size_t i = 0; i < leaves; ++i) {
            if (leafRaw_[i] < 0) leafRaw_[i] = add_leaf(row_.data(), hash);
        }
        number_sequences();
        for (int site : sites_) slot_[site] = -1;
        sequencesFound_ = true;
    } catch (std::bad_alloc const&) {
        // As when the pass itself fails: no states.
        E.error(MEMORY, "HitSiteStates::sprinkle()", Msg::m0_not_enough_memory);
        clear();
    }
}

// Key of one state at one hit site; a row's hash is the exclusive or of the
// keys of its states, kept up to date as the states change along a path.
std::uint64_t HitSiteStates::state_key(std::size_t slot, int state) {
    std::uint64_t h = (static_cast<std::uint64_t>(slot) << 32 | static_cast<std::uint32_t>(state)) + 0x9e3779b97f4a7c15ULL;
    h = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9ULL;
    h = (h ^ (h >> 27)) * 0x94d049bb133111ebULL;
    return h ^ (h >> 31);
}

// The nodes reached from the root in the full form's order (a node, then
// its left subtree, then its right one), with each one's parent, leaf count
// and open part (the node itself when a leaf).
void HitSiteStates::list_nodes(TNode* root) {
    if (list_built_nodes(root)) return;
    preorder_.clear();
    stack_.clear();
    stack_.push_back(static_cast<int>(root - base_));
    parent_[static_cast<std::size_t>(stack_.back())] = -1;
    while (!stack_.empty()) {
        const int k = stack_.back();
        stack_.pop_back();
        preorder_.push_back(k);
        TNode const& node = base_[k];
        const auto ku = static_cast<std::size_t>(k);
        below_[ku] = k < numLeaves_ ? 1 : 0;
        open_[ku] = static_cast<unsigned char>(below_[ku]);
        for (TNode const* child : {node.right, node.left}) {
            if (child == nullptr) continue;
            const int c = static_cast<int>(child - base_);
            parent_[static_cast<std::size_t>(c)] = k;
            stack_.push_back(c);
        }
    }
}

// The same without a walk for a genealogy as the builders make it: leaves
// 0..n-1 without children, then each internal node after its two children,
// the root last. The subtree sizes, from the leaves up, place every node;
// false, with nothing listed, for any other shape.
bool HitSiteStates::list_built_nodes(TNode* root) {
    const int n = numLeaves_;
    const int top = 2 * n - 2;
    TNode const* base = base_;
    if (n < 1 || root != base + top) return false;
    int* parent = parent_.data();
    int* size = below_.data();  // subtree sizes first, leaf counts below
    for (int k = 0; k <= top; ++k) parent[k] = -2;
    for (int k = 0; k < n; ++k) {
        if (base[k].left != nullptr || base[k].right != nullptr) return false;
        size[k] = 1;
    }
    for (int k = n; k <= top; ++k) {
        TNode const* l = base[k].left;
        TNode const* r = base[k].right;
        if (l == nullptr || r == nullptr || l == r) return false;
        const auto li = l - base;
        const auto ri = r - base;
        if (li < 0 || li >= k || ri < 0 || ri >= k || parent[li] != -2 || parent[ri] != -2) return false;
        parent[li] = parent[ri] = k;
        size[k] = 1 + size[li] + size[ri];
    }
    parent[top] = -1;
    preorder_.resize(static_cast<std::size_t>(top) + 1);
    stack_.resize(static_cast<std::size_t>(top) + 1);
    int* order = preorder_.data();
    int* position = stack_.data();
    position[top] = 0;
    for (int k = top; k >= n; --k) {
        const auto li = base[k].left - base;
        const auto ri = base[k].right - base;
        position[li] = position[k] + 1;
        position[ri] = position[k] + 1 + size[li];
    }
    unsigned char* open = open_.data();
    for (int k = 0; k <= top; ++k) {
        order[position[k]] = k;
        size[k] = k < n ? 1 : 0;
        open[k] = static_cast<unsigned char>(size[k]);
    }
    return true;
}

// The state of the current path at a site hit before in this pass: that
// left by the last mutation there on the node's branch so far, else on the
// nearest ancestor's branch, else the root's.
int HitSiteStates::path_state(int node, int site) const {
    std::size_t end = events_.size();
    for (int k = node; k >= 0; k = parent_[static_cast<std::size_t>(k)]) {
        const auto ku = static_cast<std::size_t>(k);
        for (std::size_t e = end; e > eventBegin_[ku]; --e) {
            if (events_[e - 1].site == site) return events_[e - 1].after;
        }
        if (parent_[ku] >= 0) end = eventEnd_[static_cast<std::size_t>(parent_[ku])];
    }
    return root_[static_cast<std::size_t>(site)];
}

// The nmut mutations of the branch above node k, nmut > 0. A site's first
// hit of the pass finds the root's state.
template <class Draw>
void HitSiteStates::mutate(int k, long nmut, Draw& draw, Mut_Type model, double a, double ts) {
    const auto ku = static_cast<std::size_t>(k);
    eventBegin_[ku] = events_.size();
    if (numSites_ > 0) ensure_hits(numSites_);
    for (long m = 0; m < nmut; ++m) {
        if (numSites_ <= 0) {
            ++TNode::_tot_mut;
            continue;
        }
        const int site = pick_site<false>(numSites_, a, draw);
        const long hit = ++TNode::hits[site];
        const int before = hit == 1 ? root_[static_cast<std::size_t>(site)] : path_state(k, site);
        const int after = mutated_state<false>(before, hit, model, ts, 0, draw);
        events_.push_back(Mutation{site, before, after, 0});
        eventNode_.push_back(k);
        ++TNode::_tot_mut;
    }
    eventEnd_[ku] = events_.size();
}

// Poisson count of the branch above each listed node but the root, then
// its mutations; the total.
template <class Draw>
long HitSiteStates::draw_branches(Draw& draw, Mut_Type model, double a, double ts) {
    int const* order = preorder_.data();
    random_detail::ExpNegThreshold* thresholds = thresholds_.data();
    long* counts = counts_.data();
    long total = 0;
    for (std::size_t i = 1; i < preorder_.size(); ++i) {
        random_detail::ExpNegThreshold& g = thresholds[i];
        long n = 0;
        if (g.mean() < 12.0f) [[likely]] {
            n = poidev_small(g, draw);
        } else {
            n = large_poisson(g.mean(), draw);
        }
        counts[i] = n;
        total += n;
        if (n > 0) mutate(order[i], n, draw, model, a, ts);
    }
    return total;
}

// The full form's recursion (TNode::drop_mutations) node by node in its
// order: a node's own mutations, then its left subtree (after the Poisson
// draw of the branch), then its right one. Then, from the leaves up, each
// node's leaf count and whether its open part (reached without crossing a
// branch with mutations) holds a leaf: every branch with mutations that
// closes such a part gives one more distinct sequence when each mutation
// has its own site.
long HitSiteStates::drop(TNode* root, double mu, Mut_Type model, double a, double ts) {
    list_nodes(root);
    // The branches' Poisson thresholds depend on the genealogy alone: all are
    // ready before the first draw.
    const std::size_t count = preorder_.size();
    if (thresholds_.size() < count) thresholds_.resize(count);
    int const* order = preorder_.data();
    int const* parent = parent_.data();
    TNode* base = base_;
    random_detail::ExpNegThreshold* thresholds = thresholds_.data();
    for (std::size_t i = 1; i < count; ++i) {
        const double length = base[parent[order[i]]].time - base[order[i]].time;
        thresholds[i] = random_detail::ExpNegThreshold(static_cast<float>(length * mu));
    }

    // The draws: a Poisson count per branch, then its mutations. A branch
    // without mutations has no events.
    std::size_t* begin = eventBegin_.data();
    std::size_t* end = eventEnd_.data();
    for (std::size_t i = 0; i < count; ++i) begin[order[i]] = end[order[i]] = 0;
    if (counts_.size() < count) counts_.resize(count);
    long* counts = counts_.data();
    counts[0] = 0;
    long total = 0;
    if (Ran3Cursor::usable()) {
        Ran3Cursor draw;
        total = draw_branches(draw, model, a, ts);
    } else {
        auto draw = [] {
            long seed = 1;
            return ran3(&seed);
        };
        total = draw_branches(draw, model, a, ts);
    }
    // What the full form leaves in every node it reaches.
    for (std::size_t i = 0; i < count; ++i) {
        TNode& node = base[order[i]];
        node.num_sites = numSites_;
        node.sequence.reset();
        node.num_mut = counts[i];
    }

    // Without branches on whether a branch has mutations: that is a coin
    // toss for the processor.
    int* below = below_.data();
    unsigned char* open = open_.data();
    int closed = 0;
    for (std::size_t i = count; i-- > 1;) {
        const auto k = static_cast<std::size_t>(order[i]);
        const auto up = static_cast<std::size_t>(parent[k]);
        const int mutated = end[k] > begin[k] ? 1 : 0;
        below[up] += below[k];
        open[up] |= static_cast<unsigned char>(open[k] & (mutated ^ 1));
        closed += open[k] & mutated;
    }
    singleHitSequences_ += closed;
    Mutation* events = events_.data();
    int const* node = eventNode_.data();
    for (std::size_t e = 0; e < events_.size(); ++e) events[e].carriers = below[node[e]];
    return total;
}

// Replays the mutation pass over the hit sites only, node by node: the
// changes of the branches off the current path undone, the node's own made
// (a leaf's row is then complete). The hash follows the row.
void HitSiteStates::fill_rows(std::uint64_t hash) {
    Mutation const* events = events_.data();
    int const* slot = slot_.data();
    int* row = row_.data();
    stack_.clear();
    for (int step : preorder_) {
        const auto k = static_cast<std::size_t>(step);
        while (!stack_.empty() && stack_.back() != parent_[k]) {
            const auto off = static_cast<std::size_t>(stack_.back());
            for (std::size_t e = eventEnd_[off]; e > eventBegin_[off]; --e) {
                const auto at = static_cast<std::size_t>(slot[events[e - 1].site]);
                hash ^= state_key(at, row[at]) ^ state_key(at, events[e - 1].before);
                row[at] = events[e - 1].before;
            }
            stack_.pop_back();
        }
        for (std::size_t e = eventBegin_[k]; e < eventEnd_[k]; ++e) {
            const auto at = static_cast<std::size_t>(slot[events[e].site]);
            hash ^= state_key(at, row[at]) ^ state_key(at, events[e].after);
            row[at] = events[e].after;
        }
        if (k < static_cast<std::size_t>(numLeaves_)) leafRaw_[k] = add_leaf(row, hash);
        stack_.push_back(step);
    }
    // Back to the root's states.
    while (!stack_.empty()) {
        const auto off = static_cast<std::size_t>(stack_.back());
        for (std::size_t e = eventEnd_[off]; e > eventBegin_[off]; --e) {
            const auto at = static_cast<std::size_t>(slot[events[e - 1].site]);
            row[at] = events[e - 1].before;
        }
        stack_.pop_back();
    }
}

// The sequence of a leaf whose states at the hit sites are row: a known
// one (same hash, same states) gets one more leaf, else a new one.
int HitSiteStates::add_leaf(int const* row, std::uint64_t hash) {
    const std::size_t width = sites_.size();
    const std::size_t mask = table_.size() - 1;
    for (std::size_t pos = static_cast<std::size_t>(hash) & mask;; pos = (pos + 1) & mask) {
        const int c = table_[pos];
        if (c < 0) {
            const auto raw = static_cast<int>(rawCount_.size());
            table_[pos] = raw;
            rows_.insert(rows_.end(), row, row + width);
            rawHash_.push_back(hash);
            rawCount_.push_back(1);
            return raw;
        }
        const auto cc = static_cast<std::size_t>(c);
        if (rawHash_[cc] == hash && std::equal(row, row + width, rows_.begin() + static_cast<std::ptrdiff_t>(cc * width))) {
            ++rawCount_[cc];
            return c;
        }
    }
}

// Numbers the sequences in the order of their first leaf.
void HitSiteStates::number_sequences() {
    order_.clear();
    rank_.assign(rawCount_.size(), -1);
    for (int i = 0; i < numLeaves_; ++i) {
        const auto raw = static_cast<std::size_t>(leafRaw_[static_cast<std::size_t>(i)]);
        if (rank_[raw] >= 0) continue;
        rank_[raw] = static_cast<int>(order_.size());
        order_.push_back(static_cast<int>(raw));
    }
}

int HitSiteStates::state(int leaf, int site) {
    auto const it = std::lower_bound(sites_.begin(), sites_.end(), site);
    if (it != sites_.end() && *it == site) return leaf_states(leaf)[it - sites_.begin()];
    return root_[static_cast<std::size_t>(site)];
}

}  // namespace quintle
