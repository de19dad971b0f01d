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

// Start values: weight 1 + 1000 u per haplotype (1 when fixed), divided by
// their sum, as frequency and previous frequency.
void draw_start(EmProblem const& p, EmWork& w) {
    long seed = 1;  // continues the running stream
    int const K = p.numHaplotypes;
    bool const anyFixed = !p.fixedStart.empty();
    double sum = 0.0;
    for (int k = 0; k < K; ++k) {
        double const v = anyFixed && p.fixedStart[static_cast<std::size_t>(k)] != 0 ? 1.0 : 1.0 + 1000 * ran3(&seed);
        w.freq[static_cast<std::size_t>(k)] = v;
        sum += v;
    }
    double smallest = -kNoLikelihood;
    for (int k = 0; k < K; ++k) {
        w.freq[static_cast<std::size_t>(k)] /= sum;
        w.prev[static_cast<std::size_t>(k)] = w.freq[static_cast<std::size_t>(k)];
        smallest = std::min(smallest, w.freq[static_cast<std::size_t>(k)]);
    }
    w.smallestStart = smallest;
}

// One start's iterations; returns the number run. F is the start's
// coefficient (updated when estimated).
template <bool Inbreeding>
int iterate(EmProblem const& p, EmSettings const& o, bool estimate, double& F, EmWork& w) {
    int const P = p.num_phenotypes();
    int const K = p.numHaplotypes;
    double const G = p.geneCopies;
    double const* const count = p.count.data();
    char const* const homo = p.homozygous.data();
    int const* const first = p.firstGenotype.data();
    int const* const h1 = p.hapl1.data();
    int const* const h2 = p.hapl2.data();
    double* const freq = w.freq.data();
    double* const prev = w.prev.data();
    double* const acc = w.acc.data();
    double* const ibd = w.ibd.data();
    double* const gprob = w.gprob.data();
    double* const pprob = w.pprob.data();

    int it = 0;
    while (it < o.maxIterations) {
        ++it;
        double S = 0.0;
        if constexpr (Inbreeding) {
            // Identity-by-descent shares of the homozygotes, summed per
            // haplotype afresh at each step.
            std::fill(ibd, ibd + K, 0.0);
            for (int q = 0; q < P; ++q) {
                if (homo[q] == 0 || first[q] == first[q + 1]) continue;
                int const h = h1[first[q]];
                double const pf = freq[h];
                double const share = count[q] * F / (pf * (1.0 - F) + F);
                ibd[h] += share;
                S += share;
            }
            if (estimate) {
                if (o.solver != nullptr)
                    F = o.solver->next(F, w.freq, w.smallestStart);
                else if (p.individuals > 0)
                    F = S / p.individuals;
            }
        }

        // E-step.
        for (int q = 0; q < P; ++q) {
            int const g0 = first[q];
            int const g1 = first[q + 1];
            if (g0 == g1) {
                pprob[q] = 0.0;
                continue;
            }
            if (homo[q] != 0) {
                double const pf = freq[h2[g0]];
                double const v = Inbreeding ? (1.0 - F) * pf * pf + F * pf : pf * pf;
                gprob[g0] = v;
                pprob[q] = v;
                continue;
            }
            double sum = 0.0;
            for (int g = g0; g < g1; ++g) {
                double const pa = freq[h1[g]];
                double v;
                if (h1[g] == h2[g])
                    v = Inbreeding ? (1.0 - F) * pa * pa + F * pa : pa * pa;
                else
                    v = Inbreeding ? 2.0 * (1.0 - F) * pa * freq[h2[g]] : 2.0 * pa * freq[h2[g]];
                gprob[g] = v;
                sum += v;
            }
            pprob[q] = sum;
        }

        // M-step: expected gene counts.
        std::fill(acc, acc + K, 0.0);
        for (int q = 0; q < P; ++q) {
            int const g0 = first[q];
            int const g1 = first[q + 1];
            if (g0 == g1) continue;
            double const c = count[q];
            if (homo[q] != 0) {
                acc[h1[g0]] += 2.0 * c;
            } else if (g1 - g0 < 2) {
                if (h1[g0] == h2[g0]) {
                    acc[h1[g0]] += 2.0 * c;
                } else {
                    acc[h1[g0]] += c;
                    acc[h2[g0]] += c;
                }
            } else {
                double const P_ = pprob[q];
                if (!(P_ > 0.0)) continue;  // nothing to share out
                for (int g = g0; g < g1; ++g) {
                    double const share = c * gprob[g] / P_;
                    acc[h1[g]] += share;
                    acc[h2[g]] += share;
                }
            }
        }

        // Normalisation and convergence.
        double D = 0.0;
        double const denom = Inbreeding ? G - S : G;
        for (int k = 0; k < K; ++k) {
            double const nf = Inbreeding ? (acc[k] - ibd[k]) / denom : acc[k] / denom;
            D += std::fabs(nf - prev[k]);
            prev[k] = nf;
            freq[k] = nf;
        }
        if (D < o.epsilon) break;
    }
    return it;
}

}  // namespace

EmOutcome run_em(EmProblem const& p, EmSettings const& o, EmWork& w, settings& s) {
    EmOutcome out;
    auto const K = static_cast<std::size_t>(p.numHaplotypes);
    w.freq.assign(K, 0.0);
    w.prev.assign(K, 0.0);
    w.acc.assign(K, 0.0);
    w.ibd.assign(K, 0.0);
    w.best.assign(K, 0.0);
    w.gprob.assign(p.hapl1.size(), 0.0);
    w.pprob = p.startProb;
    w.maxima.clear();
    w.maxima.reserve(static_cast<std::size_t>(std::max(o.starts, 0)) + 1);

    bool const estimate = o.inbreeding && o.f == 0.0;
    bool haveBest = false;
    for (int start = 0; start < o.starts; ++start) {
        draw_start(p, w);
        double F = 0.0;
        if (estimate) {
            long seed = 1;
            F = ran3(&seed) / 3.0;
        } else if (o.inbreeding) {
            F = o.f;
        }
        out.lastIterations = o.inbreeding ? iterate<true>(p, o, estimate, F, w) : iterate<false>(p, o, estimate, F, w);

        double const lk = em_ln_likelihood(p, w.pprob);
        ++out.startsRun;
        // The first start sets the best; a later one replaces it only when
        // strictly better.
        if (!haveBest || lk > out.bestLnL) {
            haveBest = true;
            out.bestLnL = lk;
            out.bestF = F;
            std::copy(w.freq.begin(), w.freq.end(), w.best.begin());
        }
        bool const known = std::any_of(w.maxima.begin(), w.maxima.end(),
                                       [lk](double m) { return std::fabs(m - lk) < 1e-6; });
        if (!known) w.maxima.push_back(lk);
        out.lastLnL = lk;
        out.lastF = F;

        settings::global_work_done += o.progressPerStart;
        settings::print_message();
        if (s.stopFlag != 0) {
            out.stopped = true;
            return out;
        }
    }
    out.nDistinct = static_cast<int>(w.maxima.size());
    return out;
}

}  // namespace quintle
