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

// The site hit by one mutation.
template <bool Structured>
int pick_site(int nsites, double a, long* seed) {
    GammaRates const& r = TNode::mut_rates;
    const int rated = r.num_rates < nsites ? r.num_rates : nsites;
    if (std::fabs(a) < 1e-7) {
        // Without rate heterogeneity the plain form fills fresh sites first
        // (infinite sites) and draws only once they are used up.
        if (!Structured && TNode::_tot_mut < nsites) return static_cast<int>(TNode::_tot_mut);
        return static_cast<int>(nsites * ran3(seed));
    }
    const double u = ran3(seed);
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
int mutate_base(int state, double ts, long* seed) {
    const bool base = state >= 0 && state <= 3;
    if (ran3(seed) < ts) return base ? (state ^ 1) : state;
    const double u = ran3(seed);
    if (!base) return state;
    if (state <= 1) return u < 0.5 ? 2 : 3;
    return u < 0.5 ? 0 : 1;
}

// A state after one mutation, `hit` being the site's hit count with it.
template <bool Structured>
int mutated_state(int state, long hit, Mut_Type model, double ts, int bounded, long* seed) {
    switch (model) {
        case STEPWISE_MUT:
            if (Structured && bounded) {
                if (state == TNode::min_mic) return state + 1;
                if (state == TNode::max_mic) return state - 1;
            }
            return state + (ran3(seed) < 0.5 ? -1 : 1);
        case TWO_STATE_MUT:
            return state == 0 ? 1 : 0;
        case DNA_MUT:
            return mutate_base(state, ts, seed);
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
        E.error(WARNING, "PopGenetics::sprinkle_mutations()", 177);
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
        E.error(MEMORY, "myIntVect::myIntVect(const int& size) {", 0);
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
    for (long m = 0; m < nmut; ++m) {
        if (nsites <= 0) {
            // No site can carry it; it still counts.
            ++_tot_mut;
            continue;
        }
        const int site = pick_site<Structured>(nsites, a, seed);
        const long hit = ++hits[site];
        seq[site] = mutated_state<Structured>(seq[site], hit, model, ts, bounded, seed);
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

// The buffers keep their storage: each pass writes what it reads.
void HitSiteStates::clear() {
    numSites_ = 0;
    numLeaves_ = 0;
    singleHits_ = false;
    sequencesFound_ = false;
    singleHitSequences_ = 0;
    sites_.clear();
    events_.clear();
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
        }

        // The root's states, drawn as the full form draws them; they are also
        // the working states of the current path while mutations drop.
        if (root_.size() < static_cast<std::size_t>(nsites)) root_.resize(static_cast<std::size_t>(nsites));
        if (model == DNA_MUT) {
            draw_root_bases(root_.data(), nsites, &seed);
        } else {
            std::fill_n(root_.begin(), nsites, 0);
        }
        numLeaves_ = std::max(tree.num_genes, 0);
        tour_.clear();
        singleHitSequences_ = 0;
        const long total = drop(root, mu, &seed, model, a, ts);
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
        E.error(MEMORY, "HitSiteStates::sprinkle()", 0);
        clear();
        base_ = nullptr;
        return 0;
    }
}

// The second walk, over the hit sites only: the states along each path and
// the distinct sequences of the leaves.
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
        E.error(MEMORY, "HitSiteStates::sprinkle()", 0);
        order_.clear();
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

// The full form's recursion (TNode::drop_mutations) as a loop over an
// explicit stack, in the same order: a node's own mutations, then its left
// subtree (after the Poisson draw of the branch), then its right one.
long HitSiteStates::drop(TNode* root, double mu, long* seed, Mut_Type model, double a, double ts) {
    long total = 0;
    enter(root, 0, seed, model, a, ts);
    stack_.clear();
    stack_.push_back(Frame{root, 0});
    while (!stack_.empty()) {
        Frame& top = stack_.back();
        if (top.next == 2) {
            leave(top.node);
            stack_.pop_back();
            continue;
        }
        TNode* parent = top.node;
        TNode* child = top.next == 0 ? parent->left : parent->right;
        ++top.next;
        if (child == nullptr) continue;
        const float mean = static_cast<float>((parent->time - child->time) * mu);
        const long n = poidev(mean, seed);
        total += n;
        enter(child, n, seed, model, a, ts);
        stack_.push_back(Frame{child, 0});
    }
    return total;
}

// The nmut mutations of the branch above the node, on the states of the
// current path held in root_; the node joins the walk of fill_rows when it
// is a leaf or changes a state.
void HitSiteStates::enter(TNode* node, long nmut, long* seed, Mut_Type model, double a, double ts) {
    node->num_sites = numSites_;
    node->sequence.reset();
    node->num_mut = nmut;
    if (nmut > 0 && numSites_ > 0) ensure_hits(numSites_);
    const auto k = static_cast<std::size_t>(node - base_);
    eventBegin_[k] = events_.size();
    for (long m = 0; m < nmut; ++m) {
        if (numSites_ <= 0) {
            ++TNode::_tot_mut;
            continue;
        }
        const int site = pick_site<false>(numSites_, a, seed);
        const long hit = ++TNode::hits[site];
        int& state = root_[static_cast<std::size_t>(site)];
        const int before = state;
        state = mutated_state<false>(state, hit, model, ts, 0, seed);
        events_.push_back(Mutation{site, before, state, 0});
        ++TNode::_tot_mut;
    }
    eventEnd_[k] = events_.size();
    if (eventEnd_[k] > eventBegin_[k] || k < static_cast<std::size_t>(numLeaves_))
        tour_.push_back(static_cast<int>(k));
}

// Whether the branch above a node left by the walk carries mutations.
bool HitSiteStates::mutated(TNode const* node) const {
    const auto k = static_cast<std::size_t>(node - base_);
    return eventEnd_[k] > eventBegin_[k];
}

// On the way back up: the node's leaf count and whether its open part holds
// a leaf (from its children's), its mutations' carriers, and its mutations
// undone. A branch with mutations closes a part with a leaf: one more
// distinct sequence when each mutation has its own site.
void HitSiteStates::leave(TNode* node) {
    const auto k = static_cast<std::size_t>(node - base_);
    int below = k < static_cast<std::size_t>(numLeaves_) ? 1 : 0;
    bool open = below != 0;
    for (TNode const* child : {node->left, node->right}) {
        if (child == nullptr) continue;
        const auto c = static_cast<std::size_t>(child - base_);
        below += below_[c];
        open = open || (open_[c] != 0 && !mutated(child));
    }
    below_[k] = below;
    open_[k] = open ? 1 : 0;
    if (eventEnd_[k] == eventBegin_[k]) return;
    if (open) ++singleHitSequences_;
    for (std::size_t e = eventEnd_[k]; e > eventBegin_[k]; --e) {
        Mutation& ev = events_[e - 1];
        ev.carriers = below;
        root_[static_cast<std::size_t>(ev.site)] = ev.before;
    }
    tour_.push_back(~static_cast<int>(k));
}

// Replays the walk of the mutation pass over the hit sites only: a node's
// changes on the way down (a leaf's row is then complete), undone on the
// way back up. The hash follows the row.
void HitSiteStates::fill_rows(std::uint64_t hash) {
    Mutation const* events = events_.data();
    int const* slot = slot_.data();
    int* row = row_.data();
    for (int step : tour_) {
        if (step >= 0) {
            const auto k = static_cast<std::size_t>(step);
            for (std::size_t e = eventBegin_[k]; e < eventEnd_[k]; ++e) {
                const auto at = static_cast<std::size_t>(slot[events[e].site]);
                hash ^= state_key(at, row[at]) ^ state_key(at, events[e].after);
                row[at] = events[e].after;
            }
            if (k < static_cast<std::size_t>(numLeaves_)) leafRaw_[k] = add_leaf(row, hash);
        } else {
            const auto k = static_cast<std::size_t>(~step);
            for (std::size_t e = eventEnd_[k]; e > eventBegin_[k]; --e) {
                const auto at = static_cast<std::size_t>(slot[events[e - 1].site]);
                hash ^= state_key(at, row[at]) ^ state_key(at, events[e - 1].before);
                row[at] = events[e - 1].before;
            }
        }
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
    firstLeaf_.clear();
    rank_.assign(rawCount_.size(), -1);
    for (int i = 0; i < numLeaves_; ++i) {
        const auto raw = static_cast<std::size_t>(leafRaw_[static_cast<std::size_t>(i)]);
        if (rank_[raw] >= 0) continue;
        rank_[raw] = static_cast<int>(order_.size());
        order_.push_back(static_cast<int>(raw));
        firstLeaf_.push_back(i);
    }
}

int HitSiteStates::state(int leaf, int site) const {
    auto const it = std::lower_bound(sites_.begin(), sites_.end(), site);
    if (it != sites_.end() && *it == site) return leaf_states(leaf)[it - sites_.begin()];
    return root_[static_cast<std::size_t>(site)];
}

}  // namespace quintle
