// The haplotype-frequency report of an unphased diploid sample: the EM on
// all loci at once or window by window along random locus orders (the
// zipper), the bootstrap standard deviations, and the two-locus and
// single-locus reports.

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <memory>
#include <numeric>
#include <ostream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/References.h"
#include "core/random.h"
#include "data/TPhenDB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaploDB.h"
#include "haplo/em_kernel.h"
#include "popstats/PopGenetics.h"
#include "run/settings.h"

namespace quintle {

namespace {

std::string const stars(61, '*');

// What every EM run of one report shares: the inbreeding switch, the
// coefficient (estimated by the first run when it starts at 0.0, then held
// by the later ones) and the compaction switch.
struct EmCall {
    int inbreeding;
    double F;
    int compact;
};

bool stop_requested(settings& s, char const* text) {
    settings::message = text;
    settings::print_message();
    return s.stopFlag != 0;
}

// The bases of one zipper step.
struct StepBases {
    TPhenDB phenotypes;
    TPopHaploDB haplotypes;
};

// The best locus order of a zipper run: its last step's bases (the
// genotype records point into those haplotypes), its count of maxima, its
// locus mask and its order.
struct ZipperResult {
    std::unique_ptr<StepBases> bases;
    double lnLikelihood = kNoLikelihood;
    int nDistinct = 0;
    std::vector<int> mask;
    std::vector<int> order;
};

// Fisher-Yates from the end: entry j changes place with entry int(j u).
void shuffle_order(std::vector<int>& order) {
    long seed = 1;
    for (int j = static_cast<int>(order.size()) - 1; j >= 1; --j) {
        int const k = static_cast<int>(j * ran3(&seed));
        std::swap(order[static_cast<std::size_t>(j)], order[static_cast<std::size_t>(k)]);
    }
}

// One locus order: the first window, then W loci more per step, each step
// keeping only the resolutions that the previous step's haplotypes allow.
void run_order(PopGenetics& p, settings& s, EmCall& call, int W, int maskSize, std::vector<int> const& order,
               ZipperResult& best) {
    int const L = static_cast<int>(order.size());
    int const T = L / W - 1;
    std::vector<int> mask(static_cast<std::size_t>(maskSize), 0);
    std::vector<int> previousMask(static_cast<std::size_t>(maskSize), 0);
    auto A = std::make_unique<StepBases>();
    auto B = std::make_unique<StepBases>();

    for (int i = 0; i < W; ++i) {
        mask[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])] = 1;
        previousMask[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])] = 1;
    }
    A->phenotypes.build_sub_PhenDB(mask.data(), p.phenotypes);
    call.compact = 0;
    int nDistinct = 0;
    double lnL = p.calc_ML_hapl_freq_hill95_LD(A->phenotypes, A->haplotypes, s, nDistinct, call.inbreeding, call.F,
                                               nullptr, nullptr, call.compact, s.InitialConditionsEM,
                                               s.MaximumNumOfIterationsEM, s.EpsilonValue);
    for (int w = 0; w < T; ++w) {
        for (int i = 0; i < W; ++i) {
            int const pos = (w + 1) * W + i;
            if (pos < L) ++mask[static_cast<std::size_t>(order[static_cast<std::size_t>(pos)])];
        }
        B->phenotypes.build_sub_PhenDB(mask.data(), p.phenotypes);
        call.compact = 0;
        lnL = p.calc_ML_hapl_freq_hill95_LD(B->phenotypes, B->haplotypes, s, nDistinct, call.inbreeding, call.F,
                                            &A->haplotypes, previousMask.data(), call.compact, s.InitialConditionsEM,
                                            s.MaximumNumOfIterationsEM, s.EpsilonValue);
        for (int i = 0; i < W; ++i) {
            int const pos = (w + 1) * W + i;
            if (pos < L) ++previousMask[static_cast<std::size_t>(order[static_cast<std::size_t>(pos)])];
        }
        A->phenotypes = B->phenotypes;
        A->haplotypes = B->haplotypes;
    }
    // The first order sets the result; a later one replaces it only when
    // strictly better. The bases move: their phenotypes point into them.
    if (!best.bases || lnL > best.lnLikelihood) {
        best.bases = T == 0 ? std::move(A) : std::move(B);
        best.lnLikelihood = lnL;
        best.nDistinct = nDistinct;
        best.mask = mask;
        best.order = order;
    }
}

void write_zipper_report(PopGenetics& p, settings& s, std::ostream& out, ZipperResult& r, int W, int orders) {
    out << "\n----------------------------------\n"
        << "Zipper version of the EM algorithm\n"
        << "----------------------------------\n";
    out << "No. of gene copies in sample                : " << p.SampleSize << "\n";
    out << "No. of random initial conditions for EM     : " << s.InitialConditionsEM << "\n";
    out << "No. of different maximum likelihoods found  : " << r.nDistinct << "\n";
    out << "Epsilon value for stopping iterations       : " << std::scientific << s.EpsilonValue << "\n";
    out << "\nWindow size for zipper EM                   : " << W << "\n";
    out << "Number or loci order                        : " << orders << "\n";
    out << "Loci within window                          : ";
    for (int locus : r.order)
        if (r.mask[static_cast<std::size_t>(locus)] != 0) out << locus + 1 << " ";
    out << "\n";
    out << "LogLhood  : " << std::fixed << std::setprecision(10) << r.lnLikelihood << "\n";
    if (s.EMEstimateInbreedingCoeff != 0)
        out << "Inbreeding coefficient                      : " << r.bases->phenotypes.auxValue << "\n";
    *_AOS_ << "\t\tdone." << std::endl;
    r.bases->haplotypes.print(out, 1, s.FrequencyThreshold);
    out << "\n//------------------------------------------------------\n\n";
    r.bases->phenotypes.printGenotypeFrequencies(out, s.FrequencyThreshold);
}

// The EM window by window along one or more locus orders.
void zipper_run(PopGenetics& p, settings& s, std::ostream& out, EmCall& call, int L) {
    if (L < 1) return;  // no locus, nothing to add window by window
    // Outside [1, L] the window would divide by zero or read past the order.
    int const W = std::clamp(s.EMWinSize, 1, L);
    bool const shuffled = s.EMNumZipRandOrders > 0;  // a negative count is none
    int const orders = shuffled ? s.EMNumZipRandOrders : 1;

    p.phenotypes.explode_base();
    *_AOS_ << "\t\tComputing ML haplotype frequencies using the EM algorithm...\n";
    int const maskSize = std::max(L, p.alleleDB != nullptr ? static_cast<int>(p.alleleDB->loci.count) : 0);
    ZipperResult best;
    std::vector<int> order(static_cast<std::size_t>(L));
    for (int k = 0; k < orders; ++k) {
        std::iota(order.begin(), order.end(), 0);
        if (shuffled) shuffle_order(order);
        run_order(p, s, call, W, maskSize, order, best);
    }
    if (s.PrintSampleAnchor != 0 && best.bases) write_zipper_report(p, s, out, best, W, orders);
}

// The EM on all loci at once into the sample's own bases, with its report.
// -1000 when the stop flag ended it at one of its two progress points.
int conventional_run(PopGenetics& p, settings& s, std::fstream& out, EmCall& call) {
    int nDistinct = 0;
    double const lnL = p.calc_ML_hapl_freq_hill95_LD(p.phenotypes, p.haploFreqs, s, nDistinct, call.inbreeding, call.F,
                                                     nullptr, nullptr, call.compact, s.InitialConditionsEM,
                                                     s.MaximumNumOfIterationsEM, s.EpsilonValue);
    if (s.PrintSampleAnchor != 0) {
        out << "\n-------------------------------------\n"
            << "Conventional EM algorithm  (one pass)\n"
            << "-------------------------------------\n";
        out << "No. of gene copies in sample                : " << p.SampleSize << "\n";
        out << "No. of random initial conditions for EM     : " << s.InitialConditionsEM << "\n";
        out << "No. of different maximum likelihoods found  : " << nDistinct << "\n";
        out << "Epsilon value for stopping iterations       : " << std::scientific << s.EpsilonValue << "\n";
        out << "LogLHood  : " << std::fixed << std::setprecision(10) << lnL << "\n\n";
        References(out, my_string("EM_haplotypes_1995"));
        out << "\n";
        if (s.EMEstimateInbreedingCoeff != 0)
            out << "Inbreeding coefficient                      : " << p.phenotypes.auxValue << "\n";
        *_AOS_ << "\t\tdone." << std::endl;
    }

    int const replicates = s.NumBootstrapReplicatesEM;
    if (replicates == 0) {
        out << "Standard deviations not computed " << "\n";
    } else {
        out << "No. of bootstraps for generating s.d.'s      : " << replicates << "\n";
        if (stop_requested(s, "Computing ML hapl. freq. standard deviations ...")) return -1000;
        *_AOS_ << "\t\tComputing ML haplotype frequencies standard deviations ...\n";
        p.calc_sd_hapl_freq(p.phenotypes, p.haploFreqs, s, s.InitialConditionsEM, replicates,
                            s.MaximumNumOfIterationsEM, 1e-7);
        *_AOS_ << "\t\tdone !" << std::endl;
    }
    p.haploFreqs.print(out, 1, s.FrequencyThreshold);
    p.phenotypes.printGenotypeFrequencies(out, s.FrequencyThreshold);

    if (s.ComputeAllSubHaplotypesEM != 0) {
        if (stop_requested(s, "Computing bi-locus haplotype ML frequencies ...")) return -1000;
        out << " \n \n" << stars << " \n\nBi-locus ML haplotype frequencies : \n\n"
            << "(" << replicates << " bootstrap replicates)" << "\n";
        *_AOS_ << "\t\tAnalyzing all pairs of loci...\n";
        p.calc_all_pairs(out, p.phenotypes, s, s.InitialConditionsEM, replicates, s.MaximumNumOfIterationsEM,
                         s.EpsilonValue);
        *_AOS_ << "\t\tdone !" << std::endl;
    }
    return 1;
}

void single_locus_reports(PopGenetics& p, settings& s, std::fstream& out) {
    out << " \n \n" << stars << " \n\nAllele frequencies : \n\n"
        << "(" << s.NumBootstrapReplicatesEM << " bootstrap replicates)\n";
    *_AOS_ << "\t\tAnalyzing all loci...\n";
    p.calc_all_sites(out, p.phenotypes, s, s.InitialConditionsEM, s.NumBootstrapReplicatesEM,
                     s.MaximumNumOfIterationsEM, s.EpsilonValue);
    *_AOS_ << "\t\tdone !" << std::endl;
}

}  // namespace

int PopGenetics::comp_gam_phase_EM(settings& s) {
    std::fstream none;  // without a result file the report goes nowhere
    std::fstream& out = s.ResultFile != nullptr ? *s.ResultFile : none;
    int const L = phenotypes.num_loci();
    EmCall call{s.EMEstimateInbreedingCoeff, s.EMInbreedingFixedVal, s.CompactHaplotypeDataBaseEM};

    if (s.EMUseZipper == 1) {
        if (s.ComputeAllHaplotypesEM != 0) zipper_run(*this, s, out, call, L);
        if (s.ComputeAllAllelesEM == 0) return 1;
    }
    if (s.ComputeAllHaplotypesEM != 0 && conventional_run(*this, s, out, call) == -1000) return -1000;
    if (s.ComputeAllAllelesEM != 0) single_locus_reports(*this, s, out);
    return 1;
}

// ---------------------------------------------------------------------------
// Sub-haplotype reports

void Population::calc_all_pairs(std::fstream& out, TPhenDB const& phenotypes, settings& s,
                                int const& initialConditions, int const& replicates, int const& maxIterations,
                                double const& epsilon) {
    int const L = phenotypes.num_loci();
    for (int i = 1; i < L; ++i) {
        for (int j = 0; j < i; ++j) {
            int const loci[3] = {2, j, i};
            calc_subset_hapl_freq(out, loci, phenotypes, s, initialConditions, replicates, maxIterations, epsilon);
        }
    }
}

void Population::calc_all_sites(std::fstream& out, TPhenDB const& phenotypes, settings& s,
                                int const& initialConditions, int const& replicates, int const& maxIterations,
                                double const& epsilon) {
    int const L = phenotypes.num_loci();
    for (int k = 0; k < L; ++k) {
        int const loci[2] = {1, k};
        calc_subset_hapl_freq(out, loci, phenotypes, s, initialConditions, replicates, maxIterations, epsilon);
    }
}

void Population::calc_subset_hapl_freq(std::fstream& out, int const* loci, TPhenDB const& phenotypes, settings& s,
                                       int const& initialConditions, int const& replicates,
                                       int const& maxIterations, double const& epsilon) {
    TPhenDB subset;
    subset.create_temp_PhenDB(loci, phenotypes);
    TPopHaploDB haplotypes;
    int nDistinct = 0;
    double f = 0.0;
    double const lnL = calc_ML_hapl_freq_hill95_LD(subset, haplotypes, s, nDistinct, 0, f, nullptr, nullptr, 0,
                                                   initialConditions, maxIterations, epsilon);
    calc_sd_hapl_freq(subset, haplotypes, s, initialConditions, replicates, maxIterations, 1e-7);

    out << "Allele frequencies for ";
    if (loci[0] == 1)
        out << "the locus " << loci[1] + 1 << "\n--------------------------------\n";
    else
        out << "the pair of loci( " << loci[1] + 1 << " , " << loci[2] + 1 << " )\n"
            << "---------------------------------------\n";
    out << "\nNo. of gene copies in sample                : " << truncate_count(SampleSize) << "\n";
    out << "No. of random initial conditions for EM     : " << initialConditions << "\n";
    if (replicates == 0)
        out << "No bootstrap confidence interval estimation" << std::endl;
    else
        out << "No. of bootstrap replicates                 : " << replicates << std::endl;
    out << "No. of different maximum likelihoods found  : " << nDistinct << "\n";
    out << "Epsilon value for stopping iterations       : " << std::scientific << s.EpsilonValue << "\n";
    out << "Logarithm of the sample maximum-likelihood  : " << std::fixed << lnL << "\n";
    haplotypes.print(out, 1, s.FrequencyThreshold);
    out << "\n\n";
    haplotypes.cleanDB(2.0);
    haplotypes.empty();
}

}  // namespace quintle
