// The multi-start EM estimator of haplotype frequencies from unphased
// diploid genotypes, the pruned phase enumeration of the window-by-window
// run, and the parametric bootstrap of the estimated frequencies.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/Errors.h"
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

char const* const kEstimatorName = "Population::calc_ML_hapl_freq_hill95_LD()";

// The recessive allele stands first in its locus; null when unknown.
TAllele* recessive_allele_of(TAlleleDB const* db, int locus) {
    if (db == nullptr || locus < 0 || locus >= db->loci.count || db->loci.data[locus] == nullptr) return nullptr;
    TLocus const* l = db->loci.data[locus];
    for (long i = 0; i < l->alleles.count; ++i)
        if (l->alleles.data[i] != nullptr) return l->alleles.data[i];
    return nullptr;
}

// probe := the alleles of w whose locus the mask selects, in order; each
// kept allele records its position in w, as a restriction would.
void restrict_to_mask(TPopHaplotype const& w, int const* mask, TPopHaplotype& probe) {
    probe.alleles.Flush();
    for (long k = 0; k < w.alleles.count; ++k) {
        TAllele* a = w.alleles.data[k];
        if (a == nullptr || a->locus < 0 || mask[a->locus] == 0) continue;
        a->sourcePos = static_cast<int>(k);
        probe.alleles.Add(a);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Pruned phase enumeration

int TPhenotype::build_compatible_genotypes(TPopHaploDB& previous, int const* previousMask, TPopHaploDB& store,
                                           TAlleleDB* db, int const& recessive, double const& minFrequency) {
    if (!pseudo1 || !pseudo2 || previousMask == nullptr) return 0;
    int const L = static_cast<int>(pseudo1->alleles.count);
    int const h = count_hetero_loci();
    homozygous = (recessive == 0 && h == 0) ? 1 : 0;
    bool const recessiveMode = recessive != 0 && h < L;
    // Beyond these the passes cannot be counted; the caller resolves the
    // phenotype without the filter, which reports it.
    if (h > max_hetero_loci || (recessiveMode && L > max_recessive_loci)) return 0;

    std::int64_t const passes = resolution_passes(recessiveMode, L, h);
    numResolutions = 0;

    int const common = static_cast<int>(std::min<long>(L, pseudo2->alleles.count));
    std::vector<int> hetPos;
    std::vector<int> bits;
    std::vector<TAllele*> recessiveAllele;
    std::unique_ptr<TPopHaplotype> w1, w2, probe1, probe2;
    try {
        for (int k = 0; k < L; ++k) {
            TAllele const* b = k < pseudo2->alleles.count ? pseudo2->alleles.data[k] : nullptr;
            if (pseudo1->alleles.data[k] != b) hetPos.push_back(k);
        }
        bits.assign(static_cast<std::size_t>(L), 0);
        if (recessiveMode) {
            recessiveAllele.assign(static_cast<std::size_t>(L), nullptr);
            for (int k = 0; k < common; ++k) {
                TAllele const* a = pseudo1->alleles.data[k];
                if (a != nullptr && a == pseudo2->alleles.data[k]) recessiveAllele[k] = recessive_allele_of(db, a->locus);
            }
        }
        w1 = std::make_unique<TPopHaplotype>(*pseudo1);
        w2 = std::make_unique<TPopHaplotype>(*pseudo2);
        probe1 = std::make_unique<TPopHaplotype>(*pseudo1);
        probe2 = std::make_unique<TPopHaplotype>(*pseudo2);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "TPhenotype::build_compatible_genotypes()", Msg::m0_not_enough_memory);
        return 0;
    }

    TAllele** const src1 = pseudo1->alleles.data;
    TAllele** const src2 = pseudo2->alleles.data;
    TAllele** const dst1 = w1->alleles.data;
    TAllele** const dst2 = w2->alleles.data;
    for (std::int64_t pass = 0; pass < passes; ++pass) {
        std::copy(src1, src1 + common, dst1);
        std::copy(src2, src2 + common, dst2);
        if (recessiveMode) {
            for (int k = 0; k < common; ++k) {
                if (bits[static_cast<std::size_t>(k)] == 0) continue;
                if (dst1[k] != dst2[k])
                    std::swap(dst1[k], dst2[k]);
                else if (recessiveAllele[static_cast<std::size_t>(k)] != nullptr &&
                         dst1[k] != recessiveAllele[static_cast<std::size_t>(k)])
                    dst2[k] = recessiveAllele[static_cast<std::size_t>(k)];
            }
        } else {
            for (int j = 1; j < h; ++j) {
                int const k = hetPos[static_cast<std::size_t>(j)];
                if (bits[static_cast<std::size_t>(j) - 1] != 0 && k < common) std::swap(dst1[k], dst2[k]);
            }
        }
        restrict_to_mask(*w1, previousMask, *probe1);
        restrict_to_mask(*w2, previousMask, *probe2);
        TPopHaplotype const* f1 = previous.find(*probe1);
        TPopHaplotype const* f2 = f1 != nullptr ? previous.find(*probe2) : nullptr;
        if (f1 != nullptr && f2 != nullptr && f1->frequency > minFrequency && f2->frequency > minFrequency) {
            TPopHaplotype* s1 = store.insert(*w1, 1.0);
            TPopHaplotype* s2 = store.insert(*w2, 1.0);
            if (s1 == nullptr || s2 == nullptr || !add_genotype(s1, s2)) return static_cast<int>(numResolutions);
        }
        if (pass + 1 < passes) binary_inc(bits.data(), L);
    }
    return static_cast<int>(numResolutions);
}

// ---------------------------------------------------------------------------
// Steps around the starts

bool prepare_resolutions(Population& pop, TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s,
                         TPopHaploDB* previous, int const* previousMask, int compact) {
    if (s.EMCheckPhenRedundancy != 0) phenotypes.check_pheno_redundancy();
    int const recessive = pop.recessiveAllelesEM;
    bool allResolved = true;
    for (long i = 0; i < phenotypes.size(); ++i) {
        TPhenotype* p = phenotypes[i];
        if (previous != nullptr) {
            p->build_compatible_genotypes(*previous, previousMask, haplotypes, pop.alleleDB, recessive, 0.0);
            if (p->genotypes.count == 0) {
                // No resolution agrees with the previous step: all of them.
                my_string where(kEstimatorName);
                where += " for phenotype ";
                where += p->name;
                E.error(WARNING, where, Msg::m117_zero_probability_phenotype);
                p->build_genotypes(haplotypes, pop.alleleDB, recessive, false);
            }
        } else {
            p->build_genotypes(haplotypes, pop.alleleDB, recessive, false);
        }
        if (p->genotypes.count == 0) allResolved = false;
    }
    if (compact != 0) {
        haplotypes.compact(pop.alleleDB, pop.separatorChar);
        haplotypes.rebuild_index();
    }
    return allResolved;
}

bool make_em_problem(TPhenDB const& phenotypes, TPopHaploDB const& haplotypes, double geneCopies, EmProblem& p) {
    p.clear();
    long const K = haplotypes.haplotypes.count;
    std::unordered_map<TPopHaplotype const*, int> number;
    number.reserve(static_cast<std::size_t>(K));
    p.numHaplotypes = static_cast<int>(K);
    bool anyFixed = false;
    for (long k = 0; k < K; ++k) {
        TPopHaplotype const* h = haplotypes.haplotypes.data[k];
        number.emplace(h, static_cast<int>(k));
        anyFixed = anyFixed || (h != nullptr && h->fixed != 0);
    }
    if (anyFixed) {
        p.fixedStart.assign(static_cast<std::size_t>(K), 0);
        for (long k = 0; k < K; ++k)
            p.fixedStart[static_cast<std::size_t>(k)] = haplotypes.haplotypes.data[k]->fixed != 0 ? 1 : 0;
    }
    for (long i = 0; i < phenotypes.size(); ++i) {
        TPhenotype const* ph = phenotypes[i];
        p.add_phenotype(ph->count, ph->probability, ph->homozygous != 0);
        for (long g = 0; g < ph->genotypes.count; ++g) {
            TGenotype const* gt = ph->genotypes.data[g];
            auto a = number.find(gt->hapl1);
            auto b = number.find(gt->hapl2);
            // A resolution built into another base cannot be scored here.
            if (a == number.end() || b == number.end()) return false;
            p.add_genotype(a->second, b->second);
        }
    }
    p.close();
    p.geneCopies = geneCopies;
    p.individuals = phenotypes.nb_individuals();
    return true;
}

void store_em_results(EmOutcome const& r, EmWork const& w, TPhenDB& phenotypes, TPopHaploDB& haplotypes) {
    if (r.startsRun == 0) return;
    std::vector<double> const& kept = r.stopped ? w.freq : w.best;
    for (long k = 0; k < haplotypes.haplotypes.count; ++k) {
        TPopHaplotype* h = haplotypes.haplotypes.data[k];
        h->frequency = kept[static_cast<std::size_t>(k)];
        h->prevFrequency = w.prev[static_cast<std::size_t>(k)];
        h->ibdShare = w.ibd[static_cast<std::size_t>(k)];
    }
    if (r.lastIterations > 0) {
        std::size_t g = 0;
        for (long i = 0; i < phenotypes.size(); ++i) {
            TPhenotype* ph = phenotypes[i];
            ph->probability = w.pprob[static_cast<std::size_t>(i)];
            for (long j = 0; j < ph->genotypes.count && g < w.gprob.size(); ++j, ++g) {
                TGenotype* gt = ph->genotypes.data[j];
                gt->probability = w.gprob[g];
                gt->share = ph->probability > 0.0 ? gt->probability / ph->probability : gt->share;
            }
        }
    }
    phenotypes.lnLikelihood = r.lastLnL;
    phenotypes.auxValue = r.stopped ? r.lastF : r.bestF;
}

// ---------------------------------------------------------------------------
// The estimator

double Population::calc_ML_hapl_freq_hill95_LD(TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s,
                                               int& nDistinct, int const& inbreeding, double& f,
                                               TPopHaploDB* previous, int* previousMask, int const& compact,
                                               int const& initialConditions, int const& maxIterations,
                                               double const& epsilon) {
    if (s.stopFlag != 0) return kStoppedLikelihood;
    // Without a start there is no estimate: the bases keep their values.
    if (initialConditions < 1) {
        nDistinct = 0;
        return kNoLikelihood;
    }
    bool const resolved = prepare_resolutions(*this, phenotypes, haplotypes, s, previous, previousMask, compact);
    if (!resolved) {
        nDistinct = 0;
        return kNoLikelihood;
    }

    EmProblem problem;
    EmWork work;
    EmOutcome r;
    try {
        if (!make_em_problem(phenotypes, haplotypes, SampleSize, problem)) {
            nDistinct = 0;
            return kNoLikelihood;
        }
        EmSettings o;
        o.starts = initialConditions;
        o.maxIterations = maxIterations;
        o.epsilon = epsilon;
        o.inbreeding = inbreeding != 0;
        o.f = inbreeding != 0 ? f : 0.0;
        r = run_em(problem, o, work, s);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, kEstimatorName, Msg::m0_not_enough_memory);
        return kNoLikelihood;
    }
    store_em_results(r, work, phenotypes, haplotypes);
    if (r.stopped) return kStoppedLikelihood;
    nDistinct = r.nDistinct;
    if (inbreeding != 0 && f == 0.0) f = r.bestF;
    return r.bestLnL;
}

// ---------------------------------------------------------------------------
// Parametric bootstrap

void Population::calc_sd_hapl_freq(TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s, int const&,
                                   int const& replicates, int const& maxIterations, double const& epsilon) {
    TPopHaploDB working(haplotypes);
    int const N = phenotypes.nb_individuals();
    // One replicate gives no spread: its sums must not stand in the s.d.
    // column afterwards, so the fields are put back.
    std::vector<std::pair<double, double>> kept;
    if (replicates < 2) {
        for (long k = 0; k < haplotypes.haplotypes.count; ++k)
            kept.emplace_back(haplotypes.haplotypes.data[k]->sd, haplotypes.haplotypes.data[k]->repSum);
    }
    double const everything = 2.0;
    for (int b = 0; b < replicates; ++b) {
        TPhenDB replicate(N, haplotypes);
        working.cleanDB(everything);
        replicate.convert_freq_to_real();
        int nDistinct = 0;
        double f = 0.0;
        calc_ML_hapl_freq_hill95_LD(replicate, working, s, nDistinct, 0, f, nullptr, nullptr, 0,
                                    s.NumInitCondBootstrapEM, maxIterations, epsilon);
        haplotypes.sums_hapl_frequencies(working, 1e-7);
    }
    haplotypes.calc_sd(replicates);
    for (std::size_t k = 0; k < kept.size(); ++k) {
        haplotypes.haplotypes.data[k]->sd = kept[k].first;
        haplotypes.haplotypes.data[k]->repSum = kept[k].second;
    }
    working.empty();
}

}  // namespace quintle
