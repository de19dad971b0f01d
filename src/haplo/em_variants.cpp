// Variants of the haplotype-frequency EM that no analysis calls: the model
// of linkage equilibrium with an inbreeding coefficient, the model whose
// coefficient solves the homozygote equation, and the plain EM over the
// phenotype base's own E- and M-steps.

#include <algorithm>
#include <cmath>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/Errors.h"
#include "core/random.h"
#include "data/Population.h"
#include "data/TAlleleDB.h"
#include "data/TPhenDB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaploDB.h"
#include "data/TPopHaplotype.h"
#include "haplo/em_bases.h"
#include "run/settings.h"

namespace quintle {

namespace {

// Every allele of the allele base in locus order, with its observed count,
// previous frequency and identity-by-descent correction.
struct AlleleCounts {
    std::vector<TAllele*> alleles;
    std::unordered_map<TAllele const*, std::size_t> position;
    std::vector<double> count, previous, correction;

    explicit AlleleCounts(TAlleleDB& db) {
        for (long l = 0; l < db.loci.count; ++l) {
            TLocus const* locus = db.loci.data[l];
            if (locus == nullptr) continue;
            for (long a = 0; a < locus->alleles.count; ++a) {
                if (TAllele* al = locus->alleles.data[a]) {
                    position.emplace(al, alleles.size());
                    alleles.push_back(al);
                }
            }
        }
        count.assign(alleles.size(), 0.0);
        previous.assign(alleles.size(), 0.0);
        correction.assign(alleles.size(), 0.0);
    }

    void add(TPopHaplotype const* h, double c) {
        if (h == nullptr) return;
        for (long l = 0; l < h->alleles.count; ++l) {
            auto it = position.find(h->alleles.data[l]);
            if (it != position.end()) count[it->second] += c;
        }
    }
    void correct(TPopHaplotype const* h, double share) {
        for (long l = 0; l < h->alleles.count; ++l) {
            auto it = position.find(h->alleles.data[l]);
            if (it != position.end()) correction[it->second] += share;
        }
    }
    // Frequencies := (count - correction) / total; the summed change, or -1
    // when the total is not positive.
    double update(double total) {
        if (!(total > 0.0)) return -1.0;
        double change = 0.0;
        for (std::size_t i = 0; i < alleles.size(); ++i) {
            double const updated = (count[i] - correction[i]) / total;
            alleles[i]->expFreq = updated;
            change += std::fabs(updated - previous[i]);
            previous[i] = updated;
            correction[i] = 0.0;
        }
        return change;
    }
};

double product_of_frequencies(TPopHaplotype const* h) {
    double p = 1.0;
    for (long l = 0; l < h->alleles.count; ++l) p *= h->alleles.data[l] != nullptr ? h->alleles.data[l]->expFreq : 0.0;
    return p;
}

TPopHaplotype const* first_haplotype(TPhenotype const* p) {
    return p->genotypes.count > 0 ? p->genotypes.data[0]->hapl1 : p->pseudo1.get();
}

// Probability of a phenotype under linkage equilibrium with coefficient F.
double equilibrium_probability(TPhenotype const* p, double F) {
    if (p->homozygous != 0) {
        double const P = product_of_frequencies(first_haplotype(p));
        return (1.0 - F) * P * P + F * P;
    }
    double prob = 1.0;
    if (p->pseudo1 && p->pseudo2) {
        long const n = std::min(p->pseudo1->alleles.count, p->pseudo2->alleles.count);
        for (long l = 0; l < n; ++l) {
            TAllele const* a = p->pseudo1->alleles.data[l];
            TAllele const* b = p->pseudo2->alleles.data[l];
            prob *= (a != nullptr ? a->expFreq : 0.0) * (b != nullptr ? b->expFreq : 0.0);
            if (a != b) prob *= 2.0;
        }
    }
    return (1.0 - F) * prob;
}

bool new_maximum(std::vector<double>& maxima, double lk, double tolerance) {
    for (double m : maxima)
        if (std::fabs(m - lk) < tolerance) return false;
    maxima.push_back(lk);
    return true;
}

// The linkage-equilibrium estimator shared by both public forms.
double equilibrium_em(Population& pop, TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s, int& nDistinct,
                      int inbreeding, double& f, TPopHaploDB* previous, int const* previousMask, int compact,
                      int initialConditions, int maxIterations, double epsilon) {
    if (s.stopFlag != 0) return kStoppedLikelihood;
    nDistinct = 0;
    if (initialConditions < 1 || pop.alleleDB == nullptr) return kNoLikelihood;
    if (!prepare_resolutions(pop, phenotypes, haplotypes, s, previous, previousMask, compact)) return kNoLikelihood;

    AlleleCounts counts(*pop.alleleDB);
    for (long i = 0; i < phenotypes.size(); ++i) {
        TPhenotype const* p = phenotypes[i];
        counts.add(p->pseudo1.get(), p->count);
        counts.add(p->pseudo2.get(), p->count);
    }
    double const G = pop.SampleSize;
    int const N = phenotypes.nb_individuals();
    bool const estimate = inbreeding != 0 && f == 0.0;
    long const K = haplotypes.haplotypes.count;
    std::vector<double> best(static_cast<std::size_t>(K), 0.0);
    std::vector<double> maxima;
    double bestLk = kNoLikelihood;
    double bestF = kNoLikelihood;
    bool haveBest = false;

    for (int start = 0; start < initialConditions; ++start) {
        pop.alleleDB->assign_rand_exp_freq();
        for (std::size_t a = 0; a < counts.alleles.size(); ++a) {
            counts.previous[a] = counts.alleles[a]->expFreq;
            counts.correction[a] = 0.0;
        }
        double F = 0.0;
        if (estimate) {
            long seed = 1;
            F = ran3(&seed) / 3.0;
        } else if (inbreeding != 0) {
            F = f;
        }
        for (int it = 0; it < maxIterations; ++it) {
            double S = 0.0;
            if (inbreeding != 0) {
                for (long i = 0; i < phenotypes.size(); ++i) {
                    TPhenotype const* p = phenotypes[i];
                    if (p->homozygous == 0) continue;
                    TPopHaplotype const* h = first_haplotype(p);
                    double const pf = product_of_frequencies(h);
                    double const share = p->count * F / (pf * (1.0 - F) + F);
                    counts.correct(h, share);
                    S += share;
                }
                if (estimate && N > 0) F = S / N;
            }
            if (counts.update(G - S) < epsilon) break;
        }
        haplotypes.comp_link_equil_hapl_freq();
        for (long i = 0; i < phenotypes.size(); ++i) phenotypes[i]->probability = equilibrium_probability(phenotypes[i], F);
        double const lk = phenotypes.calc_ln_likelihood();
        if (!haveBest || lk > bestLk) {
            haveBest = true;
            bestLk = lk;
            bestF = F;
            for (long k = 0; k < K; ++k) best[static_cast<std::size_t>(k)] = haplotypes.haplotypes.data[k]->frequency;
        }
        new_maximum(maxima, lk, 1e-6);
        phenotypes.auxValue = F;
    }
    for (long k = 0; k < K; ++k) haplotypes.haplotypes.data[k]->frequency = best[static_cast<std::size_t>(k)];
    phenotypes.auxValue = bestF;
    nDistinct = static_cast<int>(maxima.size());
    if (estimate) f = bestF;
    return bestLk;
}

// Solves sum over haplotypes of n_h / (p_h + F (1 - p_h)) = N for F by the
// secant method, n_h the individuals homozygous for haplotype h.
class HomozygoteSolver : public InbreedingSolver {
public:
    HomozygoteSolver(std::vector<int> homozygotes, int individuals)
        : homozygotes_(std::move(homozygotes)), N_(individuals) {}

    double next(double F, std::vector<double> const& freq, double smallestStart) override {
        double const m = smallestStart;
        double const lowest = m < 1.0 ? -m / (1.0 - m) : -kNoLikelihood;
        auto admissible = [lowest](double x) { return x < lowest ? lowest + 0.001 : x; };
        auto sum = [&](double x) {
            double total = 0.0;
            for (std::size_t k = 0; k < homozygotes_.size(); ++k) {
                if (homozygotes_[k] == 0) continue;
                double const p = freq[k];
                total += homozygotes_[k] / (p + x * (1.0 - p));
            }
            return total;
        };
        double x0 = admissible(F);
        double s0 = sum(x0);
        double x1 = admissible(s0 >= N_ ? x0 + 0.5 : x0 - 0.5);
        double s1 = sum(x1);
        for (int step = 0; step < 100; ++step) {
            if (s1 == s0) return F;
            double const x2 = admissible(x1 - (s1 - N_) * (x1 - x0) / (s1 - s0));
            double const s2 = sum(x2);
            if (std::fabs(s2 - N_) < 1e-5) return x2;
            if (std::fabs(x0 - x2) > std::fabs(x1 - x2)) {
                x0 = x2;
                s0 = s2;
            } else {
                x1 = x2;
                s1 = s2;
            }
        }
        return F;
    }

private:
    std::vector<int> homozygotes_;
    int N_;
};

double loci_progress(TPopHaploDB const& haplotypes) {
    long const n = haplotypes.haplotypes.count > 0 ? haplotypes.haplotypes.data[0]->alleles.count : 0;
    return std::exp(static_cast<double>(n));
}

}  // namespace

double Population::calc_ML_hapl_freq_hill95_LE(TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s,
                                               int& nDistinct, int const& inbreeding, double& f,
                                               TPopHaploDB* previous, int* previousMask, int const& compact,
                                               int const& initialConditions, int const& maxIterations,
                                               double const& epsilon) {
    return equilibrium_em(*this, phenotypes, haplotypes, s, nDistinct, inbreeding, f, previous, previousMask, compact,
                          initialConditions, maxIterations, epsilon);
}

double Population::calc_ML_hapl_freq_HWD_LE(TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s,
                                            int& nDistinct, int const& inbreeding, double& f, int const& compact,
                                            int const& initialConditions, int const& maxIterations,
                                            double const& epsilon) {
    return equilibrium_em(*this, phenotypes, haplotypes, s, nDistinct, inbreeding, f, nullptr, nullptr, compact,
                          initialConditions, maxIterations, epsilon);
}

double Population::calc_ML_hapl_freq_HWD_LD(TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s,
                                            int& nDistinct, int const& inbreeding, double& f, int const& compact,
                                            int const& initialConditions, int const& maxIterations,
                                            double const& epsilon) {
    if (s.stopFlag != 0) return kStoppedLikelihood;
    nDistinct = 0;
    if (initialConditions < 1) return kNoLikelihood;
    if (!prepare_resolutions(*this, phenotypes, haplotypes, s, nullptr, nullptr, compact)) return kNoLikelihood;

    EmProblem problem;
    if (!make_em_problem(phenotypes, haplotypes, SampleSize, problem)) return kNoLikelihood;
    // Individuals homozygous for each haplotype.
    haplotypes.reset_homo_count();
    std::vector<int> homozygotes(static_cast<std::size_t>(problem.numHaplotypes), 0);
    for (int q = 0; q < problem.num_phenotypes(); ++q) {
        int const g = problem.firstGenotype[static_cast<std::size_t>(q)];
        if (problem.homozygous[static_cast<std::size_t>(q)] == 0 || g == problem.firstGenotype[static_cast<std::size_t>(q) + 1])
            continue;
        int const h = problem.hapl1[static_cast<std::size_t>(g)];
        homozygotes[static_cast<std::size_t>(h)] += truncate_count(problem.count[static_cast<std::size_t>(q)]);
    }
    for (long k = 0; k < haplotypes.haplotypes.count; ++k)
        haplotypes.haplotypes.data[k]->homoCount = homozygotes[static_cast<std::size_t>(k)];

    HomozygoteSolver solver(homozygotes, problem.individuals);
    EmSettings o;
    o.starts = initialConditions;
    o.maxIterations = maxIterations;
    o.epsilon = epsilon;
    o.inbreeding = inbreeding != 0;
    o.f = inbreeding != 0 ? f : 0.0;
    o.progressPerStart = loci_progress(haplotypes);
    o.solver = &solver;
    EmWork work;
    EmOutcome const r = run_em(problem, o, work, s);
    store_em_results(r, work, phenotypes, haplotypes);
    if (r.stopped) return kStoppedLikelihood;
    nDistinct = r.nDistinct;
    if (o.inbreeding && f == 0.0) f = r.bestF;
    return r.bestLnL;
}

double Population::calc_ML_hapl_freq(TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s, int& nDistinct,
                                     int const& compact, int const& initialConditions, int const& maxIterations) {
    if (s.stopFlag != 0) return kStoppedLikelihood;
    nDistinct = 0;
    if (initialConditions < 1) return kNoLikelihood;
    phenotypes.build_all_genotypes(haplotypes, alleleDB, recessiveAllelesEM);
    if (compact != 0) haplotypes.compact(alleleDB, separatorChar);

    long const K = haplotypes.haplotypes.count;
    std::vector<double> bestFreq(static_cast<std::size_t>(K), 0.0);
    std::vector<double> bestPrev(static_cast<std::size_t>(K), 0.0);
    std::vector<double> maxima;
    double bestLk = kNoLikelihood;
    bool haveBest = false;
    bool lastBelowBest = false;
    double const G = SampleSize;
    double const progress = loci_progress(haplotypes);
    for (int start = 0; start < initialConditions; ++start) {
        haplotypes.assign_rand_init_freq(1000);
        // A start after one that stayed below the best gets a short run.
        int const cap = lastBelowBest ? std::min(maxIterations, 202) : maxIterations;
        for (int it = 0; it < cap; ++it) {
            phenotypes.update_genotypes();
            phenotypes.update_hapl_freq(haplotypes);
            for (long k = 0; k < K; ++k) haplotypes.haplotypes.data[k]->frequency /= G;
            if (haplotypes.convergence(s.EpsilonValue)) break;
        }
        double const lk = phenotypes.calc_ln_likelihood();
        lastBelowBest = haveBest && lk < bestLk;
        if (!haveBest || lk > bestLk) {
            haveBest = true;
            bestLk = lk;
            for (long k = 0; k < K; ++k) {
                bestFreq[static_cast<std::size_t>(k)] = haplotypes.haplotypes.data[k]->frequency;
                bestPrev[static_cast<std::size_t>(k)] = haplotypes.haplotypes.data[k]->prevFrequency;
            }
        }
        new_maximum(maxima, lk, 0.001);
        settings::global_work_done += progress;
        settings::print_message();
        if (s.stopFlag != 0) return kStoppedLikelihood;
    }
    for (long k = 0; k < K; ++k) {
        haplotypes.haplotypes.data[k]->frequency = bestFreq[static_cast<std::size_t>(k)];
        haplotypes.haplotypes.data[k]->prevFrequency = bestPrev[static_cast<std::size_t>(k)];
    }
    nDistinct = static_cast<int>(maxima.size());
    return bestLk;
}

void Population::get_profile_lHood(TPopHaplotype const&, int const&, TPhenDB const&, TPopHaploDB&,
                                   MY_TArrayAsVector<double>) {}

}  // namespace quintle
