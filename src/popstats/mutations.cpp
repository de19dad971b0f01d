#include <cmath>

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
        for (int i = 0; i < nsites; ++i) seq[i] = static_cast<int>(4.0 * ran3(seed));
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
        int& state = seq[site];
        switch (model) {
            case STEPWISE_MUT:
                if (Structured && bounded) {
                    if (state == min_mic) {
                        ++state;
                        break;
                    }
                    if (state == max_mic) {
                        --state;
                        break;
                    }
                }
                state += ran3(seed) < 0.5 ? -1 : 1;
                break;
            case TWO_STATE_MUT:
                state = state == 0 ? 1 : 0;
                break;
            case DNA_MUT:
                state = mutate_base(state, ts, seed);
                break;
            case NEW_ALLELE_MUT:
                state = static_cast<int>(hit);
                break;
        }
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
    TNode* root = tree.root();
    if (root == nullptr || tree.node_capacity() < 2 * tree.num_genes - 1) {
        numSimMutations = 0;
        return 1;
    }
    MY_TArrayAsVector<long>& hits = TNode::hits;
    if (hits.count != 0 && hits.count != nsites) {
        E.error(WARNING, "PopGenetics::sprinkle_mutations()", 177);
        numSimMutations = 0;
        return 1;
    }
    // Every count starts again at 0 (also those a tree of another sample may
    // have left behind).
    ensure_hits(nsites);
    for (long i = 0; i < hits.count; ++i) hits[i] = 0;

    if (a != 0.0) {
        if (TNode::mut_rates.num_rates > 0) {
            TNode::mut_rates.get_new_rates(nsites, a, rate, p);
        } else {
            TNode::mut_rates.build(nsites, a, rate, p);
        }
    }
    long seed = 1;
    numSimMutations = root->add_mutations(mu, &seed, 0, nsites, model, a, ts);
    return 1;
}

}  // namespace quintle
