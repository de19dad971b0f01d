#pragma once

// The statistics part of one sample: every within-sample result the
// analysis drivers compute, the sample's distance matrix between its
// haplotypes, a coalescent tree for simulations, and the virtual slots
// through which the data-type classes specialise checking, distances and
// polymorphism evaluation.
//
// A result that was not computed holds -1.0, except Tajima's D, Fu's Fs and
// the expansion-fit results, which start at 0.0; the result writers test
// for these start values.

#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

#include "core/MY_TArrayAsVector.h"
#include "core/RectMat.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "data/TAlleleDB.h"
#include "haplo/TGenotSample.h"
#include "popstats/AHaplFreq.h"
#include "popstats/BnumMat.h"
#include "popstats/TTree.h"
#include "popstats/fu_fs.h"
#include "popstats/gene_diversity.h"
#include "project/pass_results.h"

namespace quintle {

class settings;
class TriMat;

class PopGenetics : public Population {
public:
    // --- class-wide objects, built before main in this order ---------------
    // The B table of normalised Stirling numbers shared by the whole run and
    // its ready flag (the same objects as shared_B_num_mat/_exist).
    static inline BnumMat& BMat = shared_B_num_mat();
    static inline int& _B_num_exist = shared_B_num_exist();
    // The allele database shared by every sample of the project being run.
    // Emptied when a project starts and never destroyed: the end of the
    // process gives its memory back at once, where taking apart one locus
    // object per site, allele after allele, cost about a millisecond a run.
    static inline TAlleleDB& globalAllelicDB = *new TAlleleDB(0);
    // One flag per site: true where some sample has a substitution there.
    static inline MY_TArrayAsVector<bool> globalSubstPolymSites{0, 100};

    // --- results -----------------------------------------------------------
    int numPolymorphicSites = 0;
    double tajimaD = 0.0;
    double tajimaP = -1.0;
    double fuFs = 0.0;
    double fuFsP = -1.0;
    double sumSquaredFreq = 0.0;
    double thetaK = -1.0;
    double thetaKLow = -1.0;
    double thetaKHigh = -1.0;
    double thetaS = -1.0;
    double thetaSsd = -1.0;
    double thetaHom = -1.0;
    double thetaHomSd = -1.0;
    double thetaPi = -1.0;
    double thetaPiSd = -1.0;
    int computeSlatkinTest = 1;  // nothing changes it
    double homozygosity = -1.0;
    double geneDiversity = -1.0;
    double geneDiversitySd = 0.0;
    double slatkinExactP = -1.0;
    double ewObservedF = -1.0;
    double ewExpectedF = -1.0;
    double ewProbF = -1.0;
    double chakrabortyP = -1.0;
    double slatkinObsStat = 0.0;

    // Reference haplotype built by build_arbitrary_haplotype (DNA, RFLP).
    HaploDef arbitraryHaplotype;
    std::vector<double> missingFreqPerSite;  // one per site; empty = none
    double allowedMissingLevel = 0.0;
    std::vector<int> usableSite;             // one per site; empty = none
    int numUsableSites = 0;
    int numLoci = 0;                         // 0 = not yet known
    int maxPairwiseDistance = 0;
    int lastExpMismatchClass = 0;
    std::unique_ptr<RectMat> distMat;        // between distinct haplotypes
    TTree tree;
    std::int64_t numSimMutations = 0;
    double meanPairwiseDiff = 0.0;
    double meanPairwiseDiffSd = 0.0;
    std::unique_ptr<TGenotSample> genotSample;

    // Mismatch moments, moment estimates and goodness of fit. They start at
    // 0 so that a mismatch computation that stops early leaves defined values.
    double mismatchMean = 0.0;
    double mismatchVar = 0.0;
    double mismatchTheta0 = 0.0;
    double mismatchTau = 0.0;
    double mismatchRaggedness = 0.0;
    double mismatchChi2 = 0.0;
    double mismatchChi2P = 0.0;
    int mismatchChi2Df = 0;
    // 2 x maxPairwiseDistance + 1 classes. 64-bit: a class receives products
    // of two haplotype counts, which pass 2^31 in large frequency samples.
    std::vector<std::int64_t> mismatchObs;
    std::vector<double> mismatchExp;  // same length

    // Per-locus table, one entry per locus (one slot, growth step 10 each).
    MY_TArrayAsVector<int> locusGeneCopies{0, 10};
    MY_TArrayAsVector<int> locusNumAlleles{0, 10};
    MY_TArrayAsVector<double> locusObsHet{0, 10};
    MY_TArrayAsVector<double> locusExpHet{0, 10};
    MY_TArrayAsVector<int> locusAllelicRange{0, 10};
    MY_TArrayAsVector<double> locusGarzaWilliamson{0, 10};
    MY_TArrayAsVector<double> locusModifiedGW{0, 10};  // reserved; no statistic fills it
    MY_TArrayAsVector<int> locusMinAlleleSize{0, 10};
    MY_TArrayAsVector<int> locusMaxAlleleSize{0, 10};
    MY_TArrayAsVector<double> locusMeanAlleleSize{0, 10};

    // Per-locus summaries.
    double meanHet = 0.0;
    double meanHetSd = 0.0;
    double meanAllelicRange = 0.0;
    double meanAllelicRangeSd = 0.0;
    double meanGW = 0.0;
    double meanGWSd = 0.0;
    double meanModifiedGW = 0.0;    // filled by the summary tables
    double meanModifiedGWSd = 0.0;  // filled by the summary tables
    double meanNumAlleles = 0.0;
    double meanNumAllelesSd = 0.0;
    double meanGeneCopies = 0.0;
    double meanGeneCopiesSd = 0.0;

    double expNumAlleles = 0.0;
    double probKOrMoreAlleles = -1.0;

    // Sudden-expansion fit; quantiles at 2.5 %, 5 %, 95 % and 97.5 %.
    double demTau = 0.0;
    double demTheta0 = 0.0;
    double demTheta1 = 0.0;
    double demSSD = 0.0;
    double demSSDP = 0.0;
    double demRaggedness = 0.0;
    double demRaggednessP = 0.0;
    double demTauQuantiles[4] = {};
    double demTheta0Quantiles[4] = {};
    double demTheta1Quantiles[4] = {};

    // Spatial-expansion fit; same quantile levels.
    double spaTau = 0.0;
    double spaTheta = 0.0;
    double spaM = 0.0;
    double spaSSD = 0.0;
    double spaSSDP = 0.0;
    double spaRaggedness = 0.0;
    double spaRaggednessP = 0.0;
    double spaTauQuantiles[4] = {};
    double spaThetaQuantiles[4] = {};
    double spaMQuantiles[4] = {};

    // Substitution sites at which only this sample is polymorphic (set by
    // the summary writer).
    int numPrivateSubstSites = 0;

    // --- construction ----------------------------------------------------
    PopGenetics();
    // Copies everything; the copy gets a tree and genotype sample of its own
    // (empty), never the source's.
    PopGenetics(PopGenetics const& other);
    // Copies the Population part, the results, the per-site arrays, the
    // mismatch arrays and the distance matrix; the arbitrary haplotype, the
    // tree, the genotype sample, the mismatch moments, the per-locus table
    // and summaries and the fit results keep this object's values.
    PopGenetics& operator=(PopGenetics const& other);
    // Virtual slots in this order after Population's: check_data,
    // compute_distance_matrix, evaluate_polymorphism.
    ~PopGenetics() override;

    // Empties the Population part and sets every member above to its start
    // value, releasing the per-site arrays, the distance matrix, the genotype
    // sample and the mismatch arrays.
    void initialize();

    void test_methods(settings& s) override;
    // Shrinks the class-wide B table to 5 x 5.
    void clean_bnum() override;
    virtual int check_data();
    virtual int compute_distance_matrix(std::fstream* out, settings* s, int scale);
    virtual int evaluate_polymorphism(settings const& s);

    // --- diversity indices and theta estimators ----------------------------
    // Over the sample's haplotype list (n = SampleSize, k = NbHaplotypeEntries).
    double* calc_sample_homozygosity();
    double* calc_F();
    double* calc_sample_sd_heterozygosity();
    double* calc_theta_Hom();
    // Over a frequency list (k = number of records).
    double calc_theta_Hom(AHaplFreqList const& list);
    void calc_F(AHaplFreqList const& list);
    double calc_sample_homozygosity(AHaplFreqList const& list);

    double* theta_S(int const& n, int const& S);
    double* theta_pi(double const& pi);
    double k_est(double const& theta, int const& n);
    double* theta_k(int const& n, int const& k, double const& alpha);
    static double proba_exactly_k(int const& k, int const& n, double const& theta);
    static long double proba_less_than_k(int const& k, int const& n, double const& theta);
    // Builds the first B table unless it is ready; 1 ready, 0 failed.
    static int get_B_num_mat();

    // --- Tajima's D and Fu's Fs --------------------------------------------
    // Tajima's D into the member tajimaD (which holds the name, hence calc_).
    double* calc_tajimaD(int const& n, double const& pi, double const& S);
    double* fast_tajimaD(int const& n, double const& pi, double const& S);
    // Only FuFsOutcome::finite is a finite log-odds; not_computed leaves Fs
    // untouched.
    FuFsOutcome Fu_Fs(double const& theta, int const& k, double& Fs, bool report, int* refusal = nullptr);
    static double Tajima_D_density(double const& alpha, double const& beta, double const& Dmin,
                                   double const& Dmax, double const& D);

    // --- coalescent simulations (simulate_sample.cpp, mutations.cpp) -------
    // The sample's `tree` must have been allocated for int(SampleSize) genes.
    // Each wrapper rebuilds it as its model says and returns 1.
    int simulate_sample(double const& mu, int const& nsites, Mut_Type const& model, double const& a,
                        double const& rate, double const& p, double const& ts);
    int fast_build_tree();
    int build_tree_fast_one_pop(double const& T, double const& f, long const& g);
    int simulate_sample_exp(double const& mu, int const& nsites, Mut_Type const& model, double const& a,
                            double const& rate, double const& p, double const& ts, double const& T,
                            double const& f, long const& g);
    int build_tree_fast_range_exp(double const& T, double const& M, long const& g);
    int simulate_range_exp(double const& mu, int const& nsites, Mut_Type const& model, double const& a,
                           double const& rate, double const& p, double const& ts, double const& T,
                           double const& M, long const& g);
    // Drops mutations on `tree` (mu per unit of tree time, nsites sites, the
    // rate scheme a, rate, p and the transition probability ts) and keeps
    // their total in numSimMutations.
    int sprinkle_mutations(double const& mu, int const& nsites, Mut_Type const& model, double const& a,
                           double const& rate, double const& p, double const& ts);
    // Turns the leaves of a simulated tree into haplotype definitions in db
    // and this sample's haplotype list; 1, or 0 when the counts do not add up
    // to the sample size.
    int read_simulated_sample(TTree& tree, Haplo_DB& db, Mut_Type const& model);
    // Set by read_simulated_sample: the sample is a simulated replicate, and
    // its site comparison must leave the project-wide globalSubstPolymSites
    // alone (a replicate's sites say nothing about the real samples).
    bool simulatedSample = false;
    // --- end of coalescent simulations ---------------------------------------

    // --- haplotype frequencies and redundancy checks (haplotype_frequencies.cpp)
    // Flags the polymorphic loci of unphased genotypes (alleles compared by
    // name). 1 done, 0 after a memory report.
    int compare_phenotypes();
    // Flags the polymorphic and the usable loci of the haplotype list and
    // stores the missing-data fraction of every locus. 1 done, 0 for an empty
    // list or after a memory report.
    int compare_haplotypes();
    // Pools the entries that d puts at distance 0 into classes (in order of
    // first appearance) and appends one record per class to `classes`. 1 when
    // the pooled counts add up to SampleSize.
    int check_hapl_freqs(RectMat const& d, AHaplFreqList& classes);
    // Merges, inside the haplotype list, the entries at distance 0 of an
    // earlier entry. 1 done, 0 when d does not match the list.
    int check_hapl_redond(RectMat const& d);
    // Haplotype frequency table and, with ComputeAllAllelesEM, the allele
    // frequencies of every locus (result file and allele-frequency batch file).
    void calc_hapl_dat_hapl_freq(settings& s);

    // --- per-locus allele tables (locus_tables.cpp) ----------------------------
    // Diploid samples, from the sample's own phenotypes (the first argument
    // is not read). b1 || b2 switches on the size columns of microsatellite
    // data and the dashed rules; `print` writes the table.
    void OutputAllelelNumberAndHetPerLocusDipl(TPhenDB& ph, std::ostream& os, settings const& s, bool b1,
                                               bool b2, bool print);
    void computeAlleFreqDipl(TPhenDB& ph, settings const& s);
    // Haploid samples, from the haplotype list; the table is always written
    // (the flags are not read).
    void OutputAllelelNumberAndHetPerLocusHapl(std::ostream& os, settings const& s, bool b1, bool b2, bool b3);
    void computeAlleFreqHapl(settings const& s);
    // Count-weighted mean allele size of every locus into locusMeanAlleleSize.
    void computeMeanAlleleSizes();
    // --- end of the haplotype-frequency and per-locus table members ----------

    // --- Ewens-Watterson and Chakraborty tests (ewens_watterson.cpp,
    // chakraborty.cpp) and the mismatch distribution (mismatch.cpp) ---------
    // Ewens-Watterson homozygosity test with Slatkin's exact test on the
    // allele counts of `list`; writes the report to os and the batch line.
    void EW_neutrality_tests(settings& s, std::ostream& os, AHaplFreqList const& list);
    // One random configuration with as many alleles as `accum` has records:
    // adds it rank by rank into accum, counts it against obsF and the
    // observed Slatkin statistic, and returns its F (also left in ewObservedF).
    // spectrum is a work array of at least SampleSize + 1 ints.
    double compute_rand_frequencies_and_F(AHaplFreqList& accum, double const& obsF, double& countLE,
                                          std::vector<int>& spectrum, double& slatkinCountLE);
    // A random count for the first of k alleles among n genes, also stored
    // (count, count squared) in rec.
    int get_first_rand_freq(AHaplFreq& rec, int const& k, int const& n);
    // Table of the mean frequencies of the random configurations, by rank.
    void print_exp_freq(std::ostream& os, AHaplFreqList const& accum);
    // Chakraborty's test on the sample's own haplotypes, or on a list in
    // which haplotypes without real differences were merged.
    void Chakraborty_neutr_test(std::ostream& os);
    void Chakraborty_neutr_test(std::ostream& os, AHaplFreqList const& list);
    // Mismatch distribution of the distance matrix with its moments,
    // moment estimates, expected counts and chi-square test.
    int compute_mm_distr(std::fstream& out, settings& s);
    // --- end of the neutrality-test and mismatch block ----------------------

    // --- linkage disequilibrium on phased data (defined in src/haplo/) -------
    // A pair request is three ints: 2, the first locus, the second locus.
    // Building a table writes its numbers of alleles k1, k2 into the first
    // two; the tests put the request back as it was.
    // Every pair of polymorphic loci: the exact test (MakeExactTestLD) with
    // its significance table and histogram, then D, D' and r2 of each pair
    // and the sample's linkage values (linkage_line; none without two
    // polymorphic loci).
    void calc_all_gam_des(std::fstream& out, long steps, settings& s);
    // The linkage values of the statistics line from the last call of
    // calc_all_gam_des; the pass takes those of its last sample that has them.
    std::optional<LinkageLine> linkage_line;
    // Builds contTable ((k1+2) x (k2+2)) from the haplotype list. 1 built;
    // 0 with fewer than two alleles at a locus (contTableMonomorphic) or
    // after an error.
    int make_all_table(int* pair);
    // The alleles of locus pair[1] (rows) crossed with the combinations of
    // alleles at every other locus (columns). No analysis uses it.
    int make_all_table4(int* pair);
    // The short chain (up to 100000 steps) and the long one (batches of
    // 20000; it enlarges `steps` for the sample's later pairs). P, -1000 when
    // stopped; the s.d. of P in `sd` (0 when no chain runs, untouched when
    // stopped). The settings are only read.
    double calc_gam_des_prob2(int* pair, long& steps, settings& s, long& stepsDone);
    double calc_gam_des_prob2(int* pair, long& steps, settings& s, long& stepsDone, double& sd);
    double calc_gam_des_prob3(int* pair, long& steps, settings& s, long& stepsDone);
    double calc_gam_des_prob3(int* pair, long& steps, settings& s, long& stepsDone, double& sd);
    // The short chain over the table of make_all_table4. Unused.
    double calc_gam_des_prob4(int* pair, long& steps, settings& s, long& stepsDone);
    // One chain step on contTable (k1, k2 in pair[0], pair[1]); the ratio
    // of the move made, 1.0 if none.
    double swap_in_table(int* pair, long& seed);
    // Tables of one pair into s.ResultFile; adds the pair's |D'| and r2 to
    // the two sums and its adjacent and flanking values to linkage_line. The
    // flanking pair is (firstLocus, lastLocus). Returns 1.
    int calc_d_sd_values(int* pair, settings& s, double& dprimeSum, double& r2Sum, int firstLocus, int lastLocus);
    // Linked loci per polymorphic locus by minor-allele class: result
    // stream, histogram file, batch file.
    void print_ld_histo(int n, int* loci, TriMat& pvalues, settings& s, std::fstream& out);
    // Count of the second most frequent allele of each listed locus.
    void init_all_min_allele(int const& n, int* loci, int* minorCounts);
    // --- end of linkage disequilibrium on phased data ------------------------

    // --- haplotype frequencies of unphased genotypes (defined in src/haplo/)
    // The EM report of the sample: zipper or conventional run, bootstrap,
    // two-locus and single-locus reports. 1 done, -1000 when the stop flag
    // was found set.
    int comp_gam_phase_EM(settings& s);
    // Flags (into `flags`, one per locus, released afterwards) the loci
    // linked with more than `threshold` of the loci; no caller.
    void select_loci_in_LD(settings& s, double significance, double threshold, std::unique_ptr<int[]> flags);
    // --- end of the unphased haplotype-frequency block ----------------------

    // --- phasing of unphased diploid data (defined in src/haplo/) -----------
    // The Vosk sampler on the sample's individuals, its report and phase
    // files; the phasing sample stays in genotSample. 1, or 0 when the stop
    // flag ended it (nothing written then).
    int comp_gam_phase_Gibbs(settings& s);
    // --- end of the phasing block -------------------------------------------

    // --- sample distance outputs (sample_distance_matrices.cpp) -------------
    // Replaces distMat by the distances of conventional FST (distinct
    // haplotypes at distance 1; microsatellite and standard data: 1 when some
    // usable locus carries two different alleles, neither missing) and writes
    // its rows to `out` (the ".dis" file) unless that stream has failed.
    // Frequency data get a 2 x 2 constant matrix and write nothing. 1 on
    // success, 0 for an empty list, a stop request or a memory failure.
    int compute_dist_mat_for_conventional_FST(std::ostream& out, settings* s);
    // The inter-haplotypic distance matrix (PrintHaplDistMat), the list of
    // haplotypes and the minimum spanning tree (PrintMinSpannNetworkPop) into
    // the result stream; the list alone, after ERROR 122, when distMat is
    // missing or smaller than the list.
    void print_out_dist_mat(std::ostream* out, settings& s);
    // --- end of the sample distance outputs -----------------------------------

private:
    void reset_results();
    void copy_results_from(PopGenetics const& other);
    void copy_owned_arrays_from(PopGenetics const& other);
    std::vector<double> haplotype_counts() const;
    DiversityFields diversity_fields();
};

}  // namespace quintle
