#pragma once

// One pass of Amova::CalcPairDist over every pair of samples of the sample
// set: pairwise FST with its permutation test (pairwise_fst.cpp), mean
// pairwise differences, (delta mu) squared and the tables derived from FST
// (pairwise_differences.cpp), and divergence times with unequal sizes
// (divergence_times.cpp). The pass owns all its working storage; the
// samples are borrowed.

#include <ctime>
#include <ostream>
#include <string>
#include <vector>

#include "amova/Amova.h"
#include "amova/pairwise_copy_table.h"
#include "amova/pairwise_kernels.h"
#include "amova/ssd.h"
#include "core/RectMat.h"
#include "core/TriMat.h"

namespace quintle {

class Population;
class settings;

// Writes the gene copies of a, then of b, into v: the distance-matrix index
// of each entry's haplotype as many times as its count, from the haplotype
// list of a sample whose own profile says haplotypic data, else from its
// gamete list. v must hold int(size of a) + int(size of b) entries. Each
// sample's counts must add up to its size, a whole number, and each index
// must fit the sample's permutation vectors; otherwise ERROR from
// "fill_bipop_vector()" (2: counts and size differ, 1: index out of range)
// and Amova::AmovaFatalError, with v left as it was.
void fill_bipop_vector(Population* a, Population* b, int* v);

// Gene copies of a sample of the given size: its whole-number size, or -1
// when the size is negative, not whole or too large to lay out.
long pair_gene_copies(double size);

// Helpers of the report shared by its three parts: a rule of n characters,
// and an XML section tag opened or closed (followed by a line end) when the
// result file is XML.
std::string pairwise_rule(char c, int n);
void pairwise_open_tag(std::ostream& out, char const* name);
void pairwise_close_tag(std::ostream& out, char const* name);

class PairwisePass {
public:
    explicit PairwisePass(Amova& engine);
    PairwisePass(PairwisePass const&) = delete;
    PairwisePass& operator=(PairwisePass const&) = delete;

    // The whole call. Throws Amova::AmovaFatalError (a sample that cannot
    // be laid out, storage that cannot be had).
    void run();

private:
    // --- pairwise_fst.cpp ------------------------------------------------------
    void create_matrices();
    void build_samples_by_id();
    // false: the call must return at once (message 72, stop request).
    bool compare_pairs();
    bool compare_pair(int i, int j);
    void fill_caches(int k);
    bool test_pair(int i, int j);
    void log_timing() const;
    // The pass's pairwise lists of the statistics line, from the matrices
    // once every pair is compared; the report only prints.
    void store_statistics() const;
    void print_report_opening(std::ostream& out) const;
    void print_fst_sections(std::ostream& out);
    double within_div(Population* p);
    double between(Population const* a, Population const* b) const;

    // --- pairwise_differences.cpp ------------------------------------------------
    void prepare_delta_mu(int k);
    void compute_delta_mu(int i, int j);
    void print_differences(std::ostream& out);
    void print_delta_mu(std::ostream& out, int w);
    void print_coancestry(std::ostream& out, int w);
    void print_slatkin(std::ostream& out, int w);
    // The log line after the report, then end_of_call.
    void finish_report();
    // A line end, the Mantel tests when asked for.
    void end_of_call();

    // --- divergence_times.cpp ------------------------------------------------------
    struct DivergenceCounts {
        long success = 0;
        long tau = 0;
        long k = 0;
        long theta0 = 0;
    };
    void estimate_divergence(int i, int j);
    void permuted_divergence(int i, int j, double pixA, double pixB, double pixy, DivergenceCounts& counts);
    void divergence_p_values(int i, int j, DivergenceCounts const& counts);
    void print_divergence(std::ostream& out, int w);
    void print_divergence_estimates(std::ostream& out, int w, TriMat const& m, bool tauTable) const;
    void print_divergence_p_values(std::ostream& out, int w, TriMat const& m) const;

    // Restores the engine's sample array and frees the samples' permutation
    // vectors on every way out of the call.
    class SampleArrayScope {
    public:
        SampleArrayScope(Amova& engine, std::vector<Population*> const& byId);
        ~SampleArrayScope();
        SampleArrayScope(SampleArrayScope const&) = delete;
        SampleArrayScope& operator=(SampleArrayScope const&) = delete;

    private:
        Amova& engine_;
        std::vector<Population*> saved_;
    };

    Amova& engine_;
    quintle::settings& s_;
    int n_ = 0;
    PairPermutationPlan plan_;
    bool test_ = false;
    std::clock_t start_ = 0;
    // The pair being compared: its coefficients and observed Va.
    PairCoefficients pair_k_;
    double pair_va_ = 0.0;

    std::vector<Population*> by_id_;
    TriMat fst_, va_, fst_p_, fst_sd_;
    RectMat diffs_{0, 0};  // PiXY above, PiX on, corrected below the diagonal
    TriMat pixy_p_, corr_p_;
    TriMat delta_mu_;
    TriMat tau_, k_, theta0_, not_converged_, tau_p_, k_p_, theta0_p_;

    std::vector<double> within_cache_, raw_cache_, pix_cache_;
    std::vector<int> v_;
    std::vector<double> blocks_;
    FlatDistances flat_;
    int n_haplotypes_ = 0;  // rows of the distance matrix
    // The pair under test over its distinct haplotypes, when flat_ holds
    // their distances.
    PairCopyTable table_;
};

}  // namespace quintle
