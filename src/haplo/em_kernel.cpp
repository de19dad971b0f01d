#include "haplo/em_kernel.h"

#include <algorithm>
#include <cmath>

#include "core/random.h"
#include "run/settings.h"

namespace quintle {

void EmProblem::clear() {
    numHaplotypes = 0;
    fixedStart.clear();
    count.clear();
    startProb.clear();
    homozygous.clear();
    firstGenotype.clear();
    hapl1.clear();
    hapl2.clear();
    geneCopies = 0.0;
    individuals = 0;
}

void EmProblem::add_phenotype(double c, double prob, bool homo) {
    count.push_back(c);
    startProb.push_back(prob);
    homozygous.push_back(homo ? 1 : 0);
    firstGenotype.push_back(static_cast<int>(hapl1.size()));
}

void EmProblem::add_genotype(int h1, int h2) {
    hapl1.push_back(h1);
    hapl2.push_back(h2);
}

void EmProblem::close() { firstGenotype.push_back(static_cast<int>(hapl1.size())); }

double em_ln_likelihood(EmProblem const& p, std::vector<double> const& pprob) {
    double lk = 0.0;
    int const n = p.num_phenotypes();
    for (int i = 0; i < n; ++i) {
        if (!(pprob[static_cast<std::size_t>(i)] > 0.0)) return kNoLikelihood;
        lk += p.count[static_cast<std::size_t>(i)] * std::log(pprob[static_cast<std::size_t>(i)]);
    }
    return lk;
}

namespace {

// Starts run side by side, one per lane of a vector of doubles: every lane
// does the same operations in the same order as a start run on its own, so
// the numbers are those of the starts run one after the other.
constexpr int kLanes = 2;
using Lanes = double __attribute__((vector_size(kLanes * sizeof(double))));

// What one start leaves: its frequencies, previous frequencies, shares and
// probabilities after its last iteration, its coefficient and iterations.
struct StartState {
    std::vector<double> freq, prev, ibd, gprob, pprob;
    double F = 0.0;
    double smallest = 0.0;
    int iterations = 0;
};

struct LaneArrays {
    std::vector<Lanes> freq, prev, acc, ibd, gprob, pprob;
};

// Start values of one start: weight 1 + 1000 u per haplotype (1 when
// fixed), divided by their sum, as frequency and previous frequency; then
// the coefficient.
void draw_start(EmProblem const& p, EmSettings const& o, bool estimate, StartState& st) {
    long seed = 1;  // continues the running stream
    auto const K = static_cast<std::size_t>(p.numHaplotypes);
    bool const anyFixed = !p.fixedStart.empty();
    st.freq.resize(K);
    double sum = 0.0;
    for (std::size_t k = 0; k < K; ++k) {
        double const v = anyFixed && p.fixedStart[k] != 0 ? 1.0 : 1.0 + 1000 * ran3(&seed);
        st.freq[k] = v;
        sum += v;
    }
    double smallest = -kNoLikelihood;
    for (std::size_t k = 0; k < K; ++k) {
        st.freq[k] /= sum;
        smallest = std::min(smallest, st.freq[k]);
    }
    st.prev = st.freq;
    st.smallest = smallest;
    st.F = 0.0;
    if (estimate)
        st.F = ran3(&seed) / 3.0;
    else if (o.inbreeding)
        st.F = o.f;
}

void keep_lane(LaneArrays const& a, int lane, double F, int iterations, StartState& st) {
    auto take = [lane](std::vector<Lanes> const& from, std::vector<double>& to) {
        to.resize(from.size());
        for (std::size_t i = 0; i < from.size(); ++i) to[i] = from[i][lane];
    };
    take(a.freq, st.freq);
    take(a.prev, st.prev);
    take(a.ibd, st.ibd);
    take(a.gprob, st.gprob);
    take(a.pprob, st.pprob);
    st.F = F;
    st.iterations = iterations;
}

// The problem's lists and the lanes' arrays, for the steps below.
struct Step {
    int P, K;
    double const* count;
    char const* homo;
    int const* first;
    int const* h1;
    int const* h2;
    Lanes* freq;
    Lanes* prev;
    Lanes* acc;
    Lanes* ibd;
    Lanes* gprob;
    Lanes* pprob;
};

// Identity-by-descent shares of the homozygotes with the coefficients F,
// summed per haplotype afresh; returns their total S.
Lanes ibd_step(Step const& t, Lanes const& F) {
    Lanes const one = Lanes{} + 1.0;
    Lanes S{};
    std::fill(t.ibd, t.ibd + t.K, Lanes{});
    for (int q = 0; q < t.P; ++q) {
        if (t.homo[q] == 0 || t.first[q] == t.first[q + 1]) continue;
        int const h = t.h1[t.first[q]];
        Lanes const pf = t.freq[h];
        Lanes const share = t.count[q] * F / (pf * (one - F) + F);
        t.ibd[h] += share;
        S += share;
    }
    return S;
}

// E-step and M-step, phenotype by phenotype: the probabilities of its
// resolutions from the current frequencies, then its expected gene counts,
// added in the order of a separate pass over the phenotypes.
template <bool Inbreeding>
void expectation_maximisation(Step const& t, Lanes const& F) {
    Lanes const zero{};
    Lanes const one = zero + 1.0;
    Lanes const two = zero + 2.0;
    std::fill(t.acc, t.acc + t.K, zero);
    for (int q = 0; q < t.P; ++q) {
        int const g0 = t.first[q];
        int const g1 = t.first[q + 1];
        if (g0 == g1) {
            t.pprob[q] = zero;
            continue;
        }
        double const c = t.count[q];
        if (t.homo[q] != 0) {
            Lanes const pf = t.freq[t.h2[g0]];
            Lanes const v = Inbreeding ? (one - F) * pf * pf + F * pf : pf * pf;
            t.gprob[g0] = v;
            t.pprob[q] = v;
            t.acc[t.h1[g0]] += 2.0 * c;
            continue;
        }
        Lanes sum = zero;
        for (int g = g0; g < g1; ++g) {
            Lanes const pa = t.freq[t.h1[g]];
            Lanes v;
            if (t.h1[g] == t.h2[g])
                v = Inbreeding ? (one - F) * pa * pa + F * pa : pa * pa;
            else
                v = Inbreeding ? two * (one - F) * pa * t.freq[t.h2[g]] : two * pa * t.freq[t.h2[g]];
            t.gprob[g] = v;
            sum += v;
        }
        t.pprob[q] = sum;
        if (g1 - g0 < 2) {
            if (t.h1[g0] == t.h2[g0]) {
                t.acc[t.h1[g0]] += 2.0 * c;
            } else {
                t.acc[t.h1[g0]] += c;
                t.acc[t.h2[g0]] += c;
            }
        } else {
            // A lane without probability has nothing to share out.
            Lanes const perUnit = sum > zero ? c / sum : zero;
            for (int g = g0; g < g1; ++g) {
                Lanes const share = t.gprob[g] * perUnit;
                t.acc[t.h1[g]] += share;
                t.acc[t.h2[g]] += share;
            }
        }
    }
}

// New frequencies from the expected counts; returns the summed change.
template <bool Inbreeding>
Lanes normalise(Step const& t, double geneCopies, Lanes const& S) {
    Lanes const zero{};
    Lanes D = zero;
    Lanes const denom = Inbreeding ? geneCopies - S : zero + geneCopies;
    for (int k = 0; k < t.K; ++k) {
        Lanes const nf = Inbreeding ? (t.acc[k] - t.ibd[k]) / denom : t.acc[k] / denom;
        Lanes const d = nf - t.prev[k];
        D += d < zero ? -d : d;
        t.prev[k] = nf;
        t.freq[k] = nf;
    }
    return D;
}

// Runs the starts of `lanes` lanes (their start values drawn into `st`)
// to convergence or the iteration cap; each lane's state is kept in `st`
// at the iteration that ends it.
template <bool Inbreeding>
void iterate_lanes(EmProblem const& p, EmSettings const& o, bool estimate, int lanes, LaneArrays& a,
                   StartState* st) {
    int const P = p.num_phenotypes();
    int const K = p.numHaplotypes;
    a.freq.assign(static_cast<std::size_t>(K), Lanes{});
    a.prev.assign(static_cast<std::size_t>(K), Lanes{});
    a.acc.assign(static_cast<std::size_t>(K), Lanes{});
    a.ibd.assign(static_cast<std::size_t>(K), Lanes{});
    a.gprob.assign(p.hapl1.size(), Lanes{});
    a.pprob.assign(static_cast<std::size_t>(P), Lanes{});
    Lanes F{};
    for (int l = 0; l < lanes; ++l) {
        for (int k = 0; k < K; ++k) {
            a.freq[static_cast<std::size_t>(k)][l] = st[l].freq[static_cast<std::size_t>(k)];
            a.prev[static_cast<std::size_t>(k)][l] = st[l].prev[static_cast<std::size_t>(k)];
        }
        F[l] = st[l].F;
    }
    for (int q = 0; q < P; ++q) a.pprob[static_cast<std::size_t>(q)] = Lanes{} + p.startProb[static_cast<std::size_t>(q)];
    if (o.maxIterations < 1) {
        for (int l = 0; l < lanes; ++l) keep_lane(a, l, F[l], 0, st[l]);
        return;
    }

    Step const t{P,          K,          p.count.data(), p.homozygous.data(), p.firstGenotype.data(),
                 p.hapl1.data(), p.hapl2.data(), a.freq.data(), a.prev.data(), a.acc.data(),
                 a.ibd.data(), a.gprob.data(), a.pprob.data()};
    bool active[kLanes] = {};
    for (int l = 0; l < lanes; ++l) active[l] = true;
    std::vector<double> laneFreq;
    for (int it = 1; it <= o.maxIterations; ++it) {
        Lanes S{};
        if constexpr (Inbreeding) {
            S = ibd_step(t, F);
            for (int l = 0; l < lanes && estimate; ++l) {
                if (!active[l]) continue;
                if (o.solver != nullptr) {
                    laneFreq.resize(static_cast<std::size_t>(K));
                    for (int k = 0; k < K; ++k) laneFreq[static_cast<std::size_t>(k)] = t.freq[k][l];
                    F[l] = o.solver->next(F[l], laneFreq, st[l].smallest);
                } else if (p.individuals > 0) {
                    F[l] = S[l] / p.individuals;
                }
            }
        }
        expectation_maximisation<Inbreeding>(t, F);
        Lanes const D = normalise<Inbreeding>(t, p.geneCopies, S);
        bool any = false;
        for (int l = 0; l < lanes; ++l) {
            if (!active[l]) continue;
            if (D[l] < o.epsilon || it == o.maxIterations) {
                keep_lane(a, l, F[l], it, st[l]);
                active[l] = false;
            }
            any = any || active[l];
        }
        if (!any) break;
    }
}

void take_state(StartState const& st, EmWork& w) {
    w.freq = st.freq;
    w.prev = st.prev;
    w.ibd = st.ibd;
    w.gprob = st.gprob;
    w.pprob = st.pprob;
}

}  // namespace

EmOutcome run_em(EmProblem const& p, EmSettings const& o, EmWork& w, settings& s) {
    EmOutcome out;
    auto const K = static_cast<std::size_t>(p.numHaplotypes);
    w.freq.assign(K, 0.0);
    w.prev.assign(K, 0.0);
    w.ibd.assign(K, 0.0);
    w.best.assign(K, 0.0);
    w.gprob.assign(p.hapl1.size(), 0.0);
    w.pprob = p.startProb;
    w.maxima.clear();
    w.maxima.reserve(static_cast<std::size_t>(std::max(o.starts, 0)) + 1);

    bool const estimate = o.inbreeding && o.f == 0.0;
    bool haveBest = false;
    StartState st[kLanes];
    LaneArrays lanesWork;
    for (int batch = 0; batch < o.starts; batch += kLanes) {
        int const lanes = std::min(kLanes, o.starts - batch);
        // Nothing else draws between starts, so drawing a batch's start
        // values together keeps the order of the stream.
        for (int l = 0; l < lanes; ++l) draw_start(p, o, estimate, st[l]);
        if (o.inbreeding)
            iterate_lanes<true>(p, o, estimate, lanes, lanesWork, st);
        else
            iterate_lanes<false>(p, o, estimate, lanes, lanesWork, st);

        for (int l = 0; l < lanes; ++l) {
            StartState const& r = st[l];
            double const lk = em_ln_likelihood(p, r.pprob);
            ++out.startsRun;
            // The first start sets the best; a later one replaces it only
            // when strictly better.
            if (!haveBest || lk > out.bestLnL) {
                haveBest = true;
                out.bestLnL = lk;
                out.bestF = r.F;
                std::copy(r.freq.begin(), r.freq.end(), w.best.begin());
            }
            bool const known = std::any_of(w.maxima.begin(), w.maxima.end(),
                                           [lk](double m) { return std::fabs(m - lk) < 1e-6; });
            if (!known) w.maxima.push_back(lk);
            out.lastLnL = lk;
            out.lastF = r.F;
            out.lastIterations = r.iterations;
            w.smallestStart = r.smallest;

            settings::global_work_done += o.progressPerStart;
            settings::print_message();
            bool const last = batch + l + 1 == o.starts;
            if (s.stopFlag != 0 || last) take_state(r, w);
            if (s.stopFlag != 0) {
                out.stopped = true;
                return out;
            }
        }
    }
    out.nDistinct = static_cast<int>(w.maxima.size());
    return out;
}

}  // namespace quintle
