// The likelihood-ratio test of linkage disequilibrium between every pair of
// loci of an unphased diploid sample: haplotype frequencies estimated by EM
// against linkage equilibrium, judged against permuted (or, for recessive
// data, resampled) copies of the data; its section of the result file and
// its block of the linked-loci histogram file.

#include <cfloat>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/Errors.h"
#include "core/TriMat.h"
#include "core/numerics.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "data/TPhenDB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaploDB.h"
#include "haplo/em_kernel.h"
#include "haplo/ld_pair_test.h"
#include "haplo/two_locus_em.h"
#include "run/settings.h"

namespace quintle {

namespace {

// Log-likelihoods under disequilibrium and under equilibrium of one copy
// of the pair's data.
struct PairFit {
    double lnLD = 0.0;
    double lnLE = 0.0;
};

// Where the copies of a pair come from: the observed data first, then one
// permuted or resampled copy per call of next.
class PairCopies {
public:
    virtual ~PairCopies() = default;
    virtual PairFit observed() = 0;
    virtual PairFit next(long& seed) = 0;
    virtual int degrees_of_freedom() const = 0;
    // Copies whose individuals did not come out as their counts give them.
    long changed() const { return changed_; }

protected:
    long changed_ = 0;
};

// The phenotype-base road: restricted copies, exploded and permuted, each
// fitted by the estimator into a haplotype base emptied after use.
class PermutedBases : public PairCopies {
public:
    PermutedBases(Population& pop, int* loci, TPhenDB const& phenotypes, settings& s, int maxIterations, double epsilon)
        : pop_(pop), loci_(loci), phenotypes_(phenotypes), s_(s), maxIterations_(maxIterations), epsilon_(epsilon) {}

    PairFit observed() override {
        restricted_.create_temp_PhenDB(loci_, phenotypes_);
        PairFit const fit = fit_and_empty();
        return fit;
    }
    PairFit next(long& seed) override {
        restricted_.create_temp_PhenDB(loci_, phenotypes_);
        if (!restricted_.explode_base(false)) ++changed_;
        loci_[0] = 1;
        restricted_.permute_alleles(loci_, seed);
        loci_[0] = 2;
        return fit_and_empty();
    }
    int degrees_of_freedom() const override { return df_; }

protected:
    PairFit fit_and_empty() {
        PairFit fit;
        int nDistinct = 0;
        double f = 0.0;
        fit.lnLD = pop_.calc_ML_hapl_freq_hill95_LD(restricted_, haplotypes_, s_, nDistinct, 0, f, nullptr, nullptr, 0,
                                                    s_.InitialCondEMLD, maxIterations_, epsilon_);
        fit.lnLE = restricted_.link_equil_ln_likelihood();
        df_ = restricted_.get_num_of_deg_freed();
        individuals_ = restricted_.nb_individuals();
        restricted_.flush();
        haplotypes_.cleanDB(2.0);
        return fit;
    }

    Population& pop_;
    int* loci_;
    TPhenDB const& phenotypes_;
    settings& s_;
    int maxIterations_;
    double epsilon_;
    TPhenDB restricted_;
    TPopHaploDB haplotypes_;
    int df_ = 1;
    int individuals_ = 0;
};

// The recessive-data road: copies resampled under equilibrium from the
// single-locus estimates of the two loci.
class ResampledBases : public PermutedBases {
public:
    using PermutedBases::PermutedBases;

    PairFit observed() override {
        PairFit const fit = PermutedBases::observed();
        n_ = individuals_;
        for (auto [position, base] : {std::pair{1, &locusA_}, std::pair{2, &locusB_}}) {
            int const single[2] = {1, loci_[position]};
            TPhenDB one;
            one.create_temp_PhenDB(single, phenotypes_);
            int nDistinct = 0;
            double f = 0.0;
            pop_.calc_ML_hapl_freq_hill95_LD(one, *base, s_, nDistinct, 0, f, nullptr, nullptr, 0, s_.InitialCondEMLD,
                                             maxIterations_, epsilon_);
        }
        return fit;
    }
    PairFit next(long& seed) override {
        restricted_.resample(n_, locusA_, locusB_, seed, pop_.alleleDB);
        haplotypes_.cleanDB(2.0);
        restricted_.convert_freq_to_real();
        return fit_and_empty();
    }
    ~ResampledBases() override {
        locusA_.empty();
        locusB_.empty();
    }

private:
    int n_ = 0;
    TPopHaploDB locusA_;
    TPopHaploDB locusB_;
};

// The allele-number road of the permutation test.
class PermutedNumbers : public PairCopies {
public:
    PermutedNumbers(TwoLocusData& data, settings& s, int maxIterations, double epsilon) : data_(data), s_(s) {
        o_.starts = s.InitialCondEMLD;
        o_.maxIterations = maxIterations;
        o_.epsilon = epsilon;
    }
    PairFit observed() override {
        data_.observed(problem_);
        return fit();
    }
    PairFit next(long& seed) override {
        data_.permuted(seed, problem_);
        if (data_.individuals_changed()) ++changed_;
        return fit();
    }
    int degrees_of_freedom() const override { return data_.degrees_of_freedom(); }

private:
    PairFit fit() {
        PairFit f;
        if (s_.stopFlag != 0) {
            f.lnLD = kStoppedLikelihood;
        } else {
            EmOutcome const r = run_em(problem_, o_, work_, s_);
            f.lnLD = r.stopped ? kStoppedLikelihood : r.bestLnL;
        }
        f.lnLE = data_.equilibrium_ln_likelihood();
        return f;
    }

    TwoLocusData& data_;
    settings& s_;
    EmSettings o_;
    EmProblem problem_;
    EmWork work_;
};

bool polymorphic(Population const& pop, int locus) {
    return locus >= 0 && locus < static_cast<int>(pop.polymorphicLocus.size()) &&
           pop.polymorphicLocus[static_cast<std::size_t>(locus)] != 0;
}

// The observed statistic and nBlocks blocks of nPerm / nBlocks + 1 copies;
// P is the mean of the blocks' shares of copies at least as extreme.
void block_test(PairCopies& copies, settings& s, long permutations, bool failedCounts, LdPairOutcome& o) {
    PairFit const obs = copies.observed();
    o.lnLD = obs.lnLD;
    o.lnLE = obs.lnLE;
    double const S0 = -2.0 * (obs.lnLD - obs.lnLE);
    o.chiSquare = std::fabs(S0);
    o.df = copies.degrees_of_freedom();

    long const nBlocks = permutations >= 1 ? static_cast<long>(std::sqrt(static_cast<double>(permutations))) : 0;
    if (nBlocks < 1) {
        // No permutation asked for: nothing to judge the statistic by.
        o.p = 1.0;
        o.sd = 0.0;
        o.done = 0;
        o.result = 1.0;
        return;
    }
    long const blockSize = permutations / nBlocks + 1;
    std::vector<double> blocks(static_cast<std::size_t>(nBlocks) + 2, 0.0);
    long seed = 1;  // continues the running stream
    long complete = 0, inBlock = 0, greater = 0, equal = 0;
    while (complete < nBlocks) {
        if (s.stopFlag != 0) {
            o.done = 0;
            o.stopped = true;
            o.result = kStoppedLikelihood;
            return;
        }
        ++o.done;
        ++inBlock;
        PairFit const fit = copies.next(seed);
        double const S = -2.0 * (fit.lnLD - fit.lnLE);
        if (failedCounts && (std::fabs(fit.lnLD) >= FLT_MAX || std::fabs(fit.lnLE) >= FLT_MAX))
            ++greater;
        else if (S0 > S)
            ++greater;
        else if (std::fabs(S - S0) < 1e-10)
            ++equal;
        if (inBlock == blockSize) {
            blocks[static_cast<std::size_t>(complete++)] =
                static_cast<double>(greater + equal) / static_cast<double>(blockSize);
            inBlock = greater = equal = 0;
        }
    }
    double sum = 0.0;
    for (long b = 0; b < nBlocks; ++b) sum += blocks[static_cast<std::size_t>(b)];
    o.p = sum / static_cast<double>(nBlocks);
    o.sd = 0.0;
    if (nBlocks >= 2) {
        double sq = 0.0;
        for (long b = 0; b < nBlocks; ++b) {
            double const d = blocks[static_cast<std::size_t>(b)] - o.p;
            sq += d * d;
        }
        o.sd = std::sqrt(sq / (static_cast<double>(nBlocks - 1) * static_cast<double>(nBlocks)));
    }
    o.result = o.p;
}

// The outcome of a pair that is not tested: P 1, no permutation.
LdPairOutcome skipped_pair() {
    LdPairOutcome o;
    o.skipped = true;
    return o;
}

}  // namespace

LdPairOutcome ld_permutation_pair(Population& pop, int* loci, TPhenDB const& phenotypes, settings& s,
                                  long permutations, int maxIterations, double epsilon, LdRoad road) {
    if (loci[0] != 2) {
        E.error(ERROR, "Population::calc_link_dis_prob()", Msg::m118_invalid_selected_locus_count);
        LdPairOutcome o;
        o.result = 0.0;
        return o;
    }
    // A monomorphic locus, or no EM start to fit the pair with.
    if (!polymorphic(pop, loci[1]) || !polymorphic(pop, loci[2]) || s.InitialCondEMLD < 1)
        return skipped_pair();

    pop.update_allele_freq();
    LdPairOutcome o;
    TwoLocusData data;
    if (road == LdRoad::automatic && pop.recessiveAllelesEM == 0 &&
        data.prepare(phenotypes, loci[1], loci[2], pop.SampleSize, s.EMCheckPhenRedundancy != 0)) {
        o.compactRoad = true;
        PermutedNumbers copies(data, s, maxIterations, epsilon);
        block_test(copies, s, permutations, false, o);
        report_changed_individuals(copies.changed());
    } else {
        PermutedBases copies(pop, loci, phenotypes, s, maxIterations, epsilon);
        block_test(copies, s, permutations, false, o);
        report_changed_individuals(copies.changed());
    }
    pop.degreesOfFreedom = o.df;
    return o;
}

LdPairOutcome ld_resampling_pair(Population& pop, int* loci, TPhenDB const& phenotypes, settings& s,
                                 long permutations, int maxIterations, double epsilon) {
    if (loci[0] != 2) {
        E.error(ERROR, "Population::calc_link_dis_recess()", Msg::m118_invalid_selected_locus_count);
        LdPairOutcome o;
        o.result = 0.0;
        return o;
    }
    // Recessive data hide alleles: only a pair of two monomorphic loci is
    // left out.
    if ((!polymorphic(pop, loci[1]) && !polymorphic(pop, loci[2])) || s.InitialCondEMLD < 1)
        return skipped_pair();

    pop.update_allele_freq();
    LdPairOutcome o;
    {
        ResampledBases copies(pop, loci, phenotypes, s, maxIterations, epsilon);
        block_test(copies, s, permutations, true, o);
    }
    pop.degreesOfFreedom = o.df;
    return o;
}

double Population::calc_link_dis_prob(int* loci, TPhenDB const& phenotypes, settings& s, long& done,
                                      double& chiSquare, double& lnLD, double& lnLE, int const&,
                                      long const& permutations, int const& maxIterations, double const& epsilon) {
    LdPairOutcome const o = ld_permutation_pair(*this, loci, phenotypes, s, permutations, maxIterations, epsilon);
    done = o.done;
    lnLD = o.lnLD;
    lnLE = o.lnLE;
    if (!o.skipped) chiSquare = o.chiSquare;
    return o.result;
}

double Population::calc_link_dis_recess(int* loci, TPhenDB const& phenotypes, settings& s, long& done,
                                        double& chiSquare, double& lnLD, double& lnLE, int const&,
                                        long const& permutations, int const& maxIterations, double const& epsilon) {
    LdPairOutcome const o = ld_resampling_pair(*this, loci, phenotypes, s, permutations, maxIterations, epsilon);
    done = o.done;
    lnLD = o.lnLD;
    lnLE = o.lnLE;
    if (!o.skipped) chiSquare = o.chiSquare;
    return o.result;
}

// ---------------------------------------------------------------------------
// Allele frequencies and the histogram file

void Population::update_allele_freq() {
    if (alleleDB == nullptr) return;
    bool const haplotypic = profile.GenotypicData == 0 || profile.GameticPhase != 0;
    if (haplotypic ? haplotypes.count == 0 : phenotypes.size() == 0) {
        E.error(ERROR, "Population::update_allele_freq()", Msg::m158_allele_frequencies_sum_zero);
        return;
    }
    std::vector<std::pair<TAllele*, double>> totals;
    auto add = [&totals](TAllele* a, double c) {
        if (a == nullptr) return;
        for (auto& t : totals) {
            if (t.first == a) {
                t.second += c;
                return;
            }
        }
        totals.emplace_back(a, c);
    };
    for (long l = 0; l < alleleDB->loci.count; ++l) {
        totals.clear();
        if (haplotypic) {
            for (long e = 0; e < haplotypes.count; ++e) {
                PHaploDef const* entry = haplotypes.data[e];
                if (entry == nullptr || entry->haplotype == nullptr || l >= entry->haplotype->alleles.count) continue;
                add(entry->haplotype->alleles.data[l], entry->count);
            }
        } else {
            for (long i = 0; i < phenotypes.size(); ++i) {
                TPhenotype const* p = phenotypes[i];
                for (TPopHaplotype const* h : {p->pseudo1.get(), p->pseudo2.get()})
                    if (h != nullptr && l < h->alleles.count) add(h->alleles.data[l], p->count);
            }
        }
        double sum = 0.0;
        for (auto const& t : totals) sum += t.second;
        if (!(sum > 0.0)) {
            if (!haplotypic) continue;
            E.error(ERROR, "Population::update_allele_freq()", Msg::m158_allele_frequencies_sum_zero);
            return;
        }
        for (auto const& t : totals) t.first->weight = t.second / sum;
    }
}

int Population::make_xl_file(char const* fileName, int nLoci, int const* linked) {
    std::ofstream f(fileName, std::ios::out | std::ios::app);
    if (!f.is_open()) return 0;
    f << "Histogram for population : " << name << "\n\n";
    f << "Loci \t  Number of linked loci\t Polymorphic Locus" << "\n";
    for (int k = 0; k < nLoci; ++k) f << k << "\t" << linked[k] << "\t" << (polymorphic(*this, k) ? "1" : "0") << "\n";
    f << "\n\n";
    return 0;
}

// ---------------------------------------------------------------------------
// The test of every pair and its section

namespace {

void write_heading(std::ostream& out, settings const& s, long permutations) {
    out << std::fixed << std::setprecision(5) << std::showpoint << std::right;
    out << "\n\n"
        << "Test of linkage disequilibrium for all pairs of loci:\n"
        << std::string(53, '-') << "\n\n\n"
        << (s.RecessiveAllelesEM != 0 ? "Resampling test using the EM algorithm (recessive data)"
                                      : "Permutation test using the EM algorithm")
        << "\nNumber of permutations               : " << permutations
        << "\nNumber of initial conditions for EM  : " << s.InitialCondEMLD << "\n\n";
}

void write_pair_block(std::ostream& out, int j, int i, LdPairOutcome const& o) {
    std::string const blanks(10, ' ');
    out << "Pair(" << j << ", " << i << ")\n"
        << blanks << "LnLHood LD : " << std::setw(10) << o.lnLD << blanks << "LnLHood LE : " << std::setw(10) << o.lnLE
        << "\n"
        << blanks << "Exact P= " << std::setw(8) << o.p << "  +-  " << std::setw(8) << o.sd << " (" << o.done
        << " permutations done)   ";
}

// A pair left untested has no statistic: 0 with P 1 and no degree of
// freedom, rather than the previous pair's values.
void write_chi_square_line(std::ostream& out, LdPairOutcome const& o) {
    bool const none = o.skipped || o.df < 1;
    float const p = none ? 1.0f : Prob_of_chi_sq(static_cast<float>(o.df), static_cast<float>(o.chiSquare));
    out << "  Chi-square test value=" << std::setw(8) << (o.skipped ? 0.0 : o.chiSquare) << " (P = " << std::setw(8)
        << p << ",  " << (o.skipped ? 0 : o.df) << " d.f." << ")\n";
}

void write_histogram(std::ostream& out, int nLoci, std::vector<int> const& linked) {
    std::string const rule(69, '-');
    out << "\n"
        << "\nHistogram of the number of linked loci per locus\n"
        << "\n"
        << rule << "\n"
        << "Locus: ";
    for (int k = 0; k < nLoci; ++k) out << std::setw(5) << k;
    out << "\n" << rule << "\n" << std::string(7, ' ');
    for (int k = 0; k < nLoci; ++k) out << std::setw(5) << linked[static_cast<std::size_t>(k)];
    out << "\n" << rule << "\n" << "\n";
}

}  // namespace

void Population::calc_all_link_dis(std::fstream& out, TPhenDB const& phenotypes, settings& s, int const&,
                                   long const& permutations, int const& maxIterations, double const& epsilon) {
    int const nLoci = phenotypes.num_loci();
    TriMat pValues;
    std::vector<int> linked, order;
    try {
        pValues = TriMat(nLoci);
        linked.assign(static_cast<std::size_t>(nLoci) + 1, 0);
        order.assign(static_cast<std::size_t>(nLoci) + 1, 0);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "Population::calc_all_link_des(", Msg::m0_not_enough_memory);
        return;
    }
    for (int k = 0; k < nLoci; ++k) order[static_cast<std::size_t>(k)] = k;

    write_heading(out, s, permutations);
    if (nLoci == 1) out << "\nThe permutation test is not possible with only 1 locus" << "\n";
    for (int i = 0; i < nLoci; ++i) {
        for (int j = 0; j < i; ++j) {
            int loci[3] = {2, j, i};
            LdPairOutcome const o =
                s.RecessiveAllelesEM != 0
                    ? ld_resampling_pair(*this, loci, phenotypes, s, permutations, maxIterations, epsilon)
                    : ld_permutation_pair(*this, loci, phenotypes, s, permutations, maxIterations, epsilon);
            // A pair stopped before its end counts as not linked.
            double const P = o.stopped ? 1.0 : o.p;
            pValues(i, j) = P;
            if (s.MakeExactTestLD != 0) write_pair_block(out, j, i, o);
            write_chi_square_line(out, o);
            if (P < s.SignificanceLevelLD) {
                ++linked[static_cast<std::size_t>(i)];
                ++linked[static_cast<std::size_t>(j)];
            }
        }
    }
    write_histogram(out, nLoci, linked);
    if (s.PrintFlagHistogramLD != 0) make_xl_file(s.LDHistoFileName.c_str(), nLoci, linked.data());
    if (s.PrintFlagHistogramLD != 3) s.PrintFlagHistogramLD = 2;
    s.print_diseq_table(pValues, nLoci, order.data());
}

}  // namespace quintle
