// Variants of the linkage-disequilibrium test on unphased genotypes that no
// analysis calls: the test whose fits carry an inbreeding coefficient (its
// parameters read from "HapFreqPar.txt"), and the test of every pair in one
// pass without output, which flags the loci linked with many others.

#include <cmath>
#include <fstream>
#include <iomanip>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/TriMat.h"
#include "core/numerics.h"
#include "data/Population.h"
#include "data/TPhenDB.h"
#include "data/TPopHaploDB.h"
#include "haplo/em_kernel.h"
#include "popstats/PopGenetics.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace quintle {

namespace {

bool polymorphic(Population const& pop, int locus) {
    return locus >= 0 && locus < static_cast<int>(pop.polymorphicLocus.size()) &&
           pop.polymorphicLocus[static_cast<std::size_t>(locus)] != 0;
}

// The parameters of the test with inbreeding, the arguments unless
// "HapFreqPar.txt" gives them.
struct InbreedingTestParameters {
    int inbreeding = 0;
    double keepLDCoefficient = 0.0;
    int starts;
    int compact = 0;
    int maxIterations;
    double epsilon;
    long permutations;
};

// Eight values, one at the start of each line; reading stops at the first
// one that is absent or malformed, the later ones keeping their defaults.
void read_parameter_file(InbreedingTestParameters& p) {
    std::ifstream in("HapFreqPar.txt");
    if (!in.is_open()) return;
    auto rest_of_line = [&in] {
        std::string ignored;
        std::getline(in, ignored);
    };
    int unused = 0;
    if (!(in >> p.inbreeding)) return;
    rest_of_line();
    if (!(in >> p.keepLDCoefficient)) return;
    rest_of_line();
    if (!(in >> p.starts)) return;
    rest_of_line();
    if (!(in >> p.compact)) return;
    rest_of_line();
    if (!(in >> p.maxIterations)) return;
    rest_of_line();
    if (!(in >> unused)) return;
    rest_of_line();
    if (!(in >> p.epsilon)) return;
    rest_of_line();
    in >> p.permutations;
}

// One observed or permuted copy fitted under both hypotheses.
struct Fits {
    double lnLD = 0.0, fLD = 0.0, lnLE = 0.0, fLE = 0.0;
};

Fits fit_both(Population& pop, TPhenDB const& copy, settings& s, InbreedingTestParameters const& p, int inbreeding) {
    Fits r;
    TPhenDB ld(copy), le(copy);
    TPopHaploDB hLD, hLE;
    int nDistinct = 0;
    r.lnLD = pop.calc_ML_hapl_freq_hill95_LD(ld, hLD, s, nDistinct, inbreeding, r.fLD, nullptr, nullptr, p.compact,
                                             p.starts, p.maxIterations, p.epsilon);
    r.fLE = p.keepLDCoefficient != 0.0 ? r.fLD : 0.0;
    r.lnLE = pop.calc_ML_hapl_freq_hill95_LE(le, hLE, s, nDistinct, inbreeding, r.fLE, nullptr, nullptr, 0, 1,
                                             p.maxIterations, p.epsilon);
    return r;
}

float chi_square_p(int df, double chi) {
    return df < 1 ? 1.0f : Prob_of_chi_sq(static_cast<float>(df), static_cast<float>(chi));
}

void write_fits(std::ostream& os, Fits const& f, double chi, int df) {
    os << f.lnLD << "\t" << f.fLD << "\t" << f.lnLE << "\t" << f.fLE << "\t" << chi << "\t" << df << "\t"
       << chi_square_p(df, chi) << "\t";
}

}  // namespace

double Population::calc_link_dis_prob_fast(int* loci, TPhenDB const& phenotypes, settings& s, long& done,
                                           double& chiSquare, double& lnLD, double& lnLE, int const& initialConditions,
                                           long const& permutations, int const& maxIterations, double const& epsilon,
                                           int const& inbreeding, double const& keepLDCoefficient, int const& compact) {
    double sd = 0.0;
    return calc_link_dis_prob_fast(loci, phenotypes, s, done, chiSquare, lnLD, lnLE, initialConditions, permutations,
                                   maxIterations, epsilon, inbreeding, keepLDCoefficient, compact, sd);
}

double Population::calc_link_dis_prob_fast(int* loci, TPhenDB const& phenotypes, settings& s, long& done,
                                           double& chiSquare, double& lnLD, double& lnLE, int const& initialConditions,
                                           long const& permutations, int const& maxIterations, double const& epsilon,
                                           int const& inbreeding, double const& keepLDCoefficient, int const& compact,
                                           double& sd) {
    done = 0;
    if (loci[0] != 2) {
        E.error(ERROR, "Population::calc_link_dis_prob_fast()", Msg::m118_invalid_selected_locus_count);
        return 0.0;
    }
    if (!polymorphic(*this, loci[1]) || !polymorphic(*this, loci[2]) || initialConditions < 1) {
        sd = 0.0;
        lnLD = lnLE = 0.0;
        return 1.0;
    }
    InbreedingTestParameters const p{inbreeding, keepLDCoefficient, initialConditions, compact, maxIterations,
                                     epsilon, permutations};
    update_allele_freq();
    TPhenDB copy;
    copy.create_temp_PhenDB(loci, phenotypes);
    Fits const observed = fit_both(*this, copy, s, p, inbreeding);
    lnLD = observed.lnLD;
    lnLE = observed.lnLE;
    double const S0 = -2.0 * (observed.lnLD - observed.lnLE);
    degreesOfFreedom = copy.get_num_of_deg_freed();
    chiSquare = std::fabs(S0);
    Fits plain;
    if (inbreeding != 0) {
        plain = fit_both(*this, copy, s, p, 0);
        chiSquare = std::fabs(-2.0 * (plain.lnLD - plain.lnLE));
    }

    long const nBlocks = permutations >= 1 ? static_cast<long>(std::sqrt(static_cast<double>(permutations))) : 0;
    long const blockSize = nBlocks == 0 ? 1 : permutations / nBlocks + 1;
    std::vector<double> blocks(static_cast<std::size_t>(nBlocks) + 2, 0.0);
    long seed = 1;
    long complete = 0, inBlock = 0, greater = 0, equal = 0;
    long changed = 0;  // copies whose individuals did not come out as counted: said once
    while (complete < nBlocks) {
        if (s.stopFlag != 0) {
            done = 0;
            return kStoppedLikelihood;
        }
        ++done;
        ++inBlock;
        copy.create_temp_PhenDB(loci, phenotypes);
        if (!copy.explode_base(false)) ++changed;
        loci[0] = 1;
        copy.permute_alleles(loci, seed);
        loci[0] = 2;
        Fits const f = fit_both(*this, copy, s, p, inbreeding);
        double const S = -2.0 * (f.lnLD - f.lnLE);
        if (S0 > S)
            ++greater;
        else if (std::fabs(S - S0) < 1e-10)
            ++equal;
        if (inBlock == blockSize) {
            blocks[static_cast<std::size_t>(complete++)] = static_cast<double>(greater + equal) / blockSize;
            inBlock = greater = equal = 0;
        }
    }
    report_changed_individuals(changed);
    // Without permutations there is nothing to judge the statistic by.
    double P = 1.0;
    sd = 0.0;
    if (nBlocks > 0) {
        double sum = 0.0;
        for (long b = 0; b < nBlocks; ++b) sum += blocks[static_cast<std::size_t>(b)];
        P = sum / nBlocks;
        double sq = 0.0;
        for (long b = 0; b < nBlocks; ++b) sq += (blocks[static_cast<std::size_t>(b)] - P) * (blocks[static_cast<std::size_t>(b)] - P);
        if (nBlocks >= 2) sd = std::sqrt(sq / (static_cast<double>(nBlocks - 1) * nBlocks));
    }

    if (_LINKAGE_DISEQUILIBRIUM_ != 0 && ofs_link_dis_pro_inbreeding != nullptr) {
        std::ostream& row = *ofs_link_dis_pro_inbreeding;
        row << '"' << settings::input_file << "\"\t\"" << name << "\"\t" << inbreeding << "\t";
        write_fits(row, observed, std::fabs(S0), degreesOfFreedom);
        if (inbreeding != 0) {
            row << 0 << "\t";
            write_fits(row, plain, chiSquare, degreesOfFreedom);
        }
        row << P << "\t" << permutations << "\n";
    }
    return P;
}

void Population::calc_all_link_dis_fast(std::fstream& out, TPhenDB const& phenotypes, settings& s,
                                        int const& initialConditions, long const& permutations,
                                        int const& maxIterations, double const& epsilon) {
    InbreedingTestParameters p{0, 0.0, initialConditions, 0, maxIterations, epsilon, permutations};
    read_parameter_file(p);
    int const nLoci = phenotypes.num_loci();
    std::vector<int> linked(static_cast<std::size_t>(nLoci) + 1, 0);
    out << std::fixed << std::setprecision(5) << std::showpoint << std::right;
    double sd = s.PrecisionOnPValueLD;
    for (int i = 0; i < nLoci; ++i) {
        for (int j = 0; j < i; ++j) {
            if (s.RecessiveAllelesEM != 0) {
                out << "\nThe linkage disequilibrium test with inbreeding is not possible with recessive data";
                continue;
            }
            int loci[3] = {2, j, i};
            long done = 0;
            double chi = 0.0, lnLD = 0.0, lnLE = 0.0;
            // A stopped pair shows the s.d. of the pair before it (the
            // precision setting for the first).
            double const P = calc_link_dis_prob_fast(loci, phenotypes, s, done, chi, lnLD, lnLE, p.starts,
                                                     p.permutations, p.maxIterations, p.epsilon, p.inbreeding,
                                                     p.keepLDCoefficient, p.compact, sd);
            out << "Pair(" << j << ", " << i << ") : Exact P= " << std::setw(8) << P << "  +-  " << std::setw(8)
                << sd << " (" << done << " permutations done)   ";
            out << "  Chi-square test value=" << std::setw(8) << chi << " (P = " << std::setw(8)
                << chi_square_p(degreesOfFreedom, chi) << ",  " << degreesOfFreedom << " d.f." << ")\n";
            // A pair stopped before its end counts as not linked.
            if (P >= 0.0 && P < s.SignificanceLevelLD) {
                ++linked[static_cast<std::size_t>(i)];
                ++linked[static_cast<std::size_t>(j)];
            }
        }
    }
}

double Population::calc_pairwise_LD(int* loci, TPhenDB const& phenotypes, settings& s, long& done, double&,
                                    double& lnLD, double& lnLE, int const& initialConditions,
                                    long const& permutations, int const& maxIterations, double const& epsilon) {
    done = 0;
    if (loci[0] != 2) {
        E.error(ERROR, "Population::calc_pairwise_LD()", Msg::m118_invalid_selected_locus_count);
        return 0.0;
    }
    if (!polymorphic(*this, loci[1]) || !polymorphic(*this, loci[2]) || initialConditions < 1) {
        lnLD = lnLE = 0.0;
        return 1.0;
    }
    update_allele_freq();
    TPhenDB copy;
    TPopHaploDB haplotypes;
    int nDistinct = 0;
    auto fit = [&](double& ld, double& le) {
        double f = 0.0;
        ld = calc_ML_hapl_freq_hill95_LD(copy, haplotypes, s, nDistinct, 0, f, nullptr, nullptr, 0, initialConditions,
                                         maxIterations, epsilon);
        le = copy.link_equil_ln_likelihood();
        copy.flush();
        haplotypes.cleanDB(2.0);
    };
    copy.create_temp_PhenDB(loci, phenotypes);
    fit(lnLD, lnLE);
    if (s.stopFlag != 0) return kStoppedLikelihood;
    double const S0 = -2.0 * (lnLD - lnLE);
    long seed = 1;
    long counted = 0;
    for (long k = 0; k < permutations; ++k) {
        copy.create_temp_PhenDB(loci, phenotypes);
        loci[0] = 1;
        copy.permute_alleles(loci, seed);
        loci[0] = 2;
        double ld = 0.0, le = 0.0;
        fit(ld, le);
        ++done;
        double const S = -2.0 * (ld - le);
        if (S0 > S || std::fabs(S - S0) < 1e-10) ++counted;
    }
    // Without permutations there is nothing to judge the statistic by.
    return permutations > 0 ? static_cast<double>(counted) / static_cast<double>(permutations) : 1.0;
}

void Population::calc_all_pairwise_LDs(TPhenDB const& phenotypes, settings& s, int* flags,
                                       double const& significance, double const& threshold,
                                       int const& initialConditions, long const& permutations,
                                       int const& maxIterations, double const& epsilon) {
    int const nLoci = phenotypes.num_loci();
    TriMat pValues;
    std::vector<int> linked;
    try {
        pValues = TriMat(nLoci);
        linked.assign(static_cast<std::size_t>(nLoci) + 1, 0);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "Population::calc_all_link_des(", Msg::m0_not_enough_memory);
        return;
    }
    for (int k = 0; k < nLoci; ++k) flags[k] = 0;
    for (int i = 0; i < nLoci; ++i) {
        for (int j = 0; j < i; ++j) {
            if (!polymorphic(*this, i) || !polymorphic(*this, j)) continue;
            int loci[3] = {2, j, i};
            long done = 0;
            double chi = 0.0, lnLD = 0.0, lnLE = 0.0;
            double const result =
                s.RecessiveAllelesEM != 0
                    ? calc_link_dis_recess(loci, phenotypes, s, done, chi, lnLD, lnLE, initialConditions,
                                           permutations, maxIterations, epsilon)
                    : calc_pairwise_LD(loci, phenotypes, s, done, chi, lnLD, lnLE, initialConditions, permutations,
                                       maxIterations, epsilon);
            // A stopped pair (-1000) counts as P = 1.
            double const P = result < 0.0 ? 1.0 : result;
            pValues(i, j) = P;
            if (P < significance) {
                ++linked[static_cast<std::size_t>(i)];
                ++linked[static_cast<std::size_t>(j)];
            }
        }
    }
    // A locus is flagged when its share of linked partners exceeds the
    // threshold, the share taken as a real number.
    for (int k = 0; k < nLoci; ++k)
        flags[k] = static_cast<double>(linked[static_cast<std::size_t>(k)]) / nLoci > threshold ? 1 : 0;
}

void PopGenetics::select_loci_in_LD(settings& s, double significance, double threshold, std::unique_ptr<int[]> flags) {
    evaluate_polymorphism(s);
    *_AOS_ << "\t\tTesting linkage disequilibrium (phenotypic data)...\n";
    calc_all_pairwise_LDs(phenotypes, s, flags.get(), significance, threshold, 2, 1000, 500, s.EpsilonValue);
    *_AOS_ << "\t\tdone !" << std::endl;
}

}  // namespace quintle
