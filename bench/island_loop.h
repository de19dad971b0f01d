#pragma once

// The reference of the selection scan's genealogy timing: a minimal event
// loop of the finite island model, written for speed alone. D demes of
// N = 1000 genes, time in units of N generations: a pair of lineages in one
// deme coalesces at rate 1, a lineage migrates at rate M = m N to one of the
// other demes. Samples start in distinct random demes. It keeps what a
// genealogy needs (parent and time of each node) and nothing else: a flat
// list of the lineages for an O(1) migrant, per-deme member lists, and the
// list of demes holding a pair for the coalescences. Uniforms come from the
// program's own generator, so that both loops pay the same per draw.

#include <cmath>
#include <vector>

#include "core/random.h"

namespace bench {

class IslandLoop {
public:
    // Samples of the given gene-copy counts, D demes, migration rate M per
    // lineage (M = (D - 1)(1/F - 1) / (2 D) for a target F).
    IslandLoop(std::vector<int> const& sizes, int demes, double M) : sizes_(sizes), D_(demes), M_(M) {
        for (int k : sizes) n_ += k;
        parent_.resize(static_cast<std::size_t>(2 * n_));
        time_.resize(static_cast<std::size_t>(2 * n_));
        demeOf_.resize(static_cast<std::size_t>(2 * n_));
        slot_.resize(static_cast<std::size_t>(2 * n_));
        flatAt_.resize(static_cast<std::size_t>(2 * n_));
        members_.resize(static_cast<std::size_t>(D_));
        pairedAt_.assign(static_cast<std::size_t>(D_), -1);
        pool_.resize(static_cast<std::size_t>(D_));
    }

    // One genealogy; returns the number of events.
    long build() {
        quintle::Ran3Cursor u;
        flat_.clear();
        paired_.clear();
        for (int d = 0; d < D_; ++d) {
            members_[static_cast<std::size_t>(d)].clear();
            pairedAt_[static_cast<std::size_t>(d)] = -1;
            pool_[static_cast<std::size_t>(d)] = d;
        }
        double pairs = 0.0;
        int node = 0;
        int P = D_;
        for (int k : sizes_) {
            const int j = static_cast<int>(P * u());
            const int d = pool_[static_cast<std::size_t>(j)];
            pool_[static_cast<std::size_t>(j)] = pool_[static_cast<std::size_t>(--P)];
            for (int c = 0; c < k; ++c) enter(node++, d);
            pairs += pair_rate(k);
            if (k >= 2) mark_paired(d);
        }
        int L = n_;
        double t = 0.0;
        long events = 0;
        while (L >= 2) {
            const double R = pairs + L * M_;
            t -= std::log(1.0 - u()) / R;
            ++events;
            if (pairs > R * u()) {
                // The deme by its pairs, then two of its lineages.
                double target = u() * pairs;
                int d = paired_.back();
                for (int e : paired_) {
                    target -= pair_rate(size(e));
                    if (target <= 0.0) {
                        d = e;
                        break;
                    }
                }
                std::vector<int>& m = members_[static_cast<std::size_t>(d)];
                const int k = static_cast<int>(m.size());
                const int a = m[static_cast<std::size_t>(static_cast<int>(k * u()))];
                leave(a);
                const int b = m[static_cast<std::size_t>(static_cast<int>((k - 1) * u()))];
                leave(b);
                parent_[static_cast<std::size_t>(a)] = parent_[static_cast<std::size_t>(b)] = node;
                time_[static_cast<std::size_t>(node)] = t;
                enter(node++, d);
                pairs -= k - 1;
                if (k - 1 < 2) unmark_paired(d);
                --L;
            } else {
                const int v = flat_[static_cast<std::size_t>(static_cast<int>(u() * L))];
                const int from = demeOf_[static_cast<std::size_t>(v)];
                int to = from;
                while (to == from) to = static_cast<int>(u() * D_);
                const int kFrom = size(from);
                const int kTo = size(to);
                leave(v);
                enter(v, to);
                pairs += kTo - (kFrom - 1);
                if (kFrom - 1 < 2) unmark_paired(from);
                if (kTo + 1 >= 2) mark_paired(to);
            }
        }
        return events;
    }

private:
    static double pair_rate(int k) { return 0.5 * k * (k - 1); }
    int size(int d) const { return static_cast<int>(members_[static_cast<std::size_t>(d)].size()); }
    void enter(int v, int d) {
        std::vector<int>& m = members_[static_cast<std::size_t>(d)];
        demeOf_[static_cast<std::size_t>(v)] = d;
        slot_[static_cast<std::size_t>(v)] = static_cast<int>(m.size());
        m.push_back(v);
        flatAt_[static_cast<std::size_t>(v)] = static_cast<int>(flat_.size());
        flat_.push_back(v);
    }
    void leave(int v) {
        std::vector<int>& m = members_[static_cast<std::size_t>(demeOf_[static_cast<std::size_t>(v)])];
        const int s = slot_[static_cast<std::size_t>(v)];
        m[static_cast<std::size_t>(s)] = m.back();
        slot_[static_cast<std::size_t>(m[static_cast<std::size_t>(s)])] = s;
        m.pop_back();
        const int f = flatAt_[static_cast<std::size_t>(v)];
        flat_[static_cast<std::size_t>(f)] = flat_.back();
        flatAt_[static_cast<std::size_t>(flat_[static_cast<std::size_t>(f)])] = f;
        flat_.pop_back();
    }
    void mark_paired(int d) {
        if (pairedAt_[static_cast<std::size_t>(d)] >= 0) return;
        pairedAt_[static_cast<std::size_t>(d)] = static_cast<int>(paired_.size());
        paired_.push_back(d);
    }
    void unmark_paired(int d) {
        const int p = pairedAt_[static_cast<std::size_t>(d)];
        if (p < 0) return;
        paired_[static_cast<std::size_t>(p)] = paired_.back();
        pairedAt_[static_cast<std::size_t>(paired_[static_cast<std::size_t>(p)])] = p;
        paired_.pop_back();
        pairedAt_[static_cast<std::size_t>(d)] = -1;
    }

    std::vector<int> sizes_;
    int D_;
    double M_;
    int n_ = 0;
    std::vector<int> parent_;
    std::vector<double> time_;
    std::vector<int> demeOf_, slot_, flatAt_, flat_, paired_, pairedAt_, pool_;
    std::vector<std::vector<int>> members_;
};

}  // namespace bench
