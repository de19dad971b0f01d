#pragma once

// The engine of one analysis of molecular variance. One object is built
// over one sample set and one genetic structure, and its constructor does
// the whole job: it lays the gene copies of the samples out in one flat
// vector of haplotype indexes, writes the report header, chooses the
// hierarchical design that fits the data and the structure, runs it,
// releases the samples' working vectors, runs the pairwise comparisons of
// samples and frees its storage. The caller only constructs and destroys
// it; Amova::AmovaFatalError leaving the constructor means the analysis was
// abandoned after its message was logged.
//
// A design computes into an AmovaDesignResult (sums of squares, variance
// components, fixation indices, the permutation tests with their P
// values); the engine then stores that result in its record, hands its
// indices to the statistics line and prints it (amova/design_print.h), and
// writes the batch line from it after the design.

#include <ostream>
#include <vector>

#include "amova/design_result.h"
#include "amova/ssd.h"
#include "core/Errors.h"
#include "core/MY_TArrayAsVector.h"
#include "core/TriMat.h"
#include "core/my_string.h"
#include "run/ProfileSettings.h"

namespace quintle {

class settings;
class Structure;
class Samples;
class DistMat;
class Haplo_DB;
class TAlleleDB;
class Mantel;
class Population;
class amova_results;
class FloatsAndPops;
class TPhenotype;
struct AmovaLine;
struct FixationIndices;

// Where the individuals stand in the haplotype index vector once some
// individual holds a lone gene copy (in a one-locus copy of an unphased
// sample, the individual's other allele missing at that locus). Units are
// listed in vector order, so each sample's, and each group's, form one run.
// Empty when every individual holds two copies: copies 2k and 2k+1 are
// then individual k.
struct IndividualUnits {
    std::vector<int> pairs;  // first position of every two-copy individual
    std::vector<int> lones;  // position of every lone copy
    // Per group, in structure order: its runs of `pairs` and `lones`, and
    // where those of its first member end.
    struct GroupRuns {
        int pairs_begin = 0, pairs_end = 0, pairs_first_end = 0;
        int lones_begin = 0, lones_end = 0, lones_first_end = 0;
    };
    std::vector<GroupRuns> groups;
    bool empty() const { return lones.empty(); }
};

class Amova {
public:
    // Thrown, after its message has been logged, when the analysis cannot go on.
    class AmovaFatalError {};

    // --- results of the design ---------------------------------------------
    // Sums of squared differences by level.
    double SSDAG = 0.0;  // among groups
    double SSDAP = 0.0;  // among samples (within groups)
    double SSDWP = 0.0;  // within samples
    double SSDWI = 0.0;  // within individuals
    double SSDT = 0.0;   // total of the design
    int df[4]{};          // degrees of freedom per source, in table order
    double MSD[4]{};      // sum of squares / d.f. per source
    double n_coeff[3]{};  // n coefficients of the variance components
    double Va = 0.0, Vb = 0.0, Vc = 0.0, Vd = 0.0;
    double V_total = 0.0;
    double FIS = 0.0, FIT = 0.0, FCT = 0.0, FSC = 0.0, FST = 0.0;

    // --- what the analysis works on (none owned) -----------------------------
    quintle::settings* settings = nullptr;
    Structure* structure = nullptr;
    Samples* samples = nullptr;
    DistMat* dist_mat = nullptr;
    Haplo_DB* haplo_db = nullptr;
    TAlleleDB* allele_db = nullptr;
    Mantel* mantel = nullptr;
    // The data type of the samples analysed (standard data without a set).
    TDataType data_type() const;

    // --- working state -------------------------------------------------------
    int design_code = 0;  // 0 (none) or 2..10
    int indiv_level = 0;  // copy of IncludeIndividualLevel
    long nb_perm = 0;     // permutations; a design raises it to whole blocks
    my_string date_string;
    double total_size = 0.0;  // gene copies of all samples of the structure
    double N = 0.0;           // units of the analysis: copies, or individuals
    std::vector<double> group_size;  // gene copies per group
    std::vector<double> SSDWG;       // per group: raw within-group sum / size
    double total_SSD = 0.0;          // raw sum over all pairs of gene copies
    TriMat SSDP;                     // raw sums per pair of samples, by id
    TriMat SSDG;                     // raw sums per pair of groups
    std::vector<std::vector<Population*>> group_pops;  // members per group
    std::vector<Population*> pops_by_id;                // samples by id
    // Haplotype index of every gene copy, samples in id order, the two
    // copies of an individual adjacent; P + total_size + 1 entries.
    std::vector<int> HaplotypeIndexVector;
    // The individuals of the vector when some of them hold a lone copy;
    // the permutations of individuals then move pairs among pairs and lone
    // copies among lone copies.
    IndividualUnits individual_units;
    // Per-sample arrays (P entries): sample-specific FST, then the two that
    // the individual-level designs use (FIS, and a spare).
    std::vector<double> pop_FST;
    std::vector<double> pop_FIS;
    std::vector<double> pop_spare;
    int print_results = 0;  // nonzero: write the report sections
    int per_locus = 0;      // kept; no step consults it
    amova_results* results = nullptr;  // not owned
    // The result of the last design run, also when it gave up or was
    // abandoned part of the way.
    AmovaDesignResult design;
    // The distances between the haplotypes present, copied out of dist_mat
    // once the vector is loaded; not ready when the block would be too large.
    FlatDistances flat_dist;
    // Where the pass's statistics line gets this analysis's results (not
    // owned): the indices of a design that prints its results, the pairwise
    // lists. None: the analysis feeds no line (the selection scan's, one
    // locus of the locus-by-locus AMOVA).
    AmovaLine* line = nullptr;

    // Runs the whole analysis. Throws AmovaFatalError.
    Amova(quintle::settings& s, Structure* st, Samples* sa, DistMat* dm, Haplo_DB* hdb, TAlleleDB* adb,
          Mantel* m, int print, int per_locus, amova_results* res, AmovaLine* line = nullptr);
    ~Amova();
    Amova(Amova const&) = delete;
    Amova& operator=(Amova const&) = delete;

    // Hands a design's result on: stores it in the record, gives its global
    // fixation indices to the statistics line (when the engine prints its
    // results; run order: a later design's index replaces an earlier
    // one's) and prints it on the result file.
    void publish_design(AmovaDesignResult const& r);

    // Sizes the working state for the structure, creates the samples'
    // permutation vectors and loads the haplotype index vector. Throws
    // AmovaFatalError when the structure does not number its samples
    // 0..P-1 in structure order, has an empty group, or a sample's list
    // does not match its size.
    void initialize();
    // Frees the working storage; safe to call twice.
    void clean();

    // The design for the data kind and the structure's shape: A genotypic
    // data, B gametic phase, I individual level, R recessive alleles, H
    // conventional FST, G groups, P1 samples in the first group. 0: none.
    static int choose_design_code(int A, int B, int I, int R, int H, int G, int P1);
    // The result type a design code stores in the record (0 for code 0).
    static int result_type(int code);

    // 1 when every sample of the structure has at least one gene copy and,
    // with `individuals`, an even number of them; else ERROR 2 from
    // `design` and 0. The designs call it before taking any sum; the
    // engine calls it before running a design.
    int check_sample_sizes(my_string const& design, int individuals);

    // --- haplotype index and permutation vectors (permutation_vectors.cpp) -
    // Checks every sample's list against its size and the distance matrix,
    // fills the vector from the lists and distributes it. Throws
    // AmovaFatalError after its message when a list does not fit.
    void load_HaplotypeIndexVector();
    // Every sample recounts itself from its stretch of the vector.
    void distribute_HaplotypeIndexVector();
    // Fills individual_units from the samples' gene-copy lists and their
    // lone copies (Population::loneCopies); a copy that has no partner left
    // in its sample is a lone copy too. Leaves it empty when every sample
    // holds pairs only.
    void build_individual_units();
    // Each group receives its run of pops_by_id (group 0 the first members).
    void distribute_populations();

    // --- sums of squared differences (ssd.cpp) -------------------------------
    // The sample's sums with the engine's distances (same values as the
    // Population operations of the same names).
    double* sample_SSDWP(Population* p);
    double* sample_SSDWP_div_freq(Population* p);
    double sample_SSDAP(Population const* a, Population const* b);
    double* compute_SSDWI();
    void compute_SSDP();
    void compute_total_SSD();
    double* compute_SSDWP();
    double* compute_SSDAP();
    double* compute_SSDAG();
    void compute_SSDG_SSDAG();

    // --- permutation procedures (permutations.cpp) ---------------------------
    void PPAG();    // samples among groups
    void PHAPAG();  // gene copies among all samples
    void PHAPWG();  // gene copies among the samples of each group
    void PHAIWP();  // gene copies among the individuals of each sample
    // Individuals among the samples of each group / among all samples;
    // with lone copies, two-copy individuals among themselves, then lone
    // copies among themselves (a sample keeps its count of each).
    void PIAPWG();
    void PIAPAG();
    void permute_genes(int last, int start, int stop);
    void permute_indiv(int last, int start, int stop);

    // --- the phenotype road (phenotype_road.cpp); no design takes it ------------
    // One entry per individual: each phenotype of each sample (samples in
    // pops_by_id order) as many times as its count, rounded up. Not owned.
    std::vector<TPhenotype*> phen_vector;
    // Refills phen_vector; a sample whose counts do not make half its size
    // gets a line in the log.
    void Load_Phen_Vector();
    void PPAPWG();  // phenotypes among the samples of each group
    void PPAPAG();  // phenotypes among all samples
    // The shuffle on phen_vector, every position within the vector.
    void permute_phenotypes(int last, int start, int stop);
    // Standard data only: the samples' haplotypes estimated again by EM
    // from their phenotypes into haplo_db (each definition's row its place
    // in the list), the distances between them into dist_mat, and the
    // samples' permutation vectors resized. The settings it changes are
    // back on every way out. ERROR 136 when no distance can be computed.
    void Calc_new_EM_haplo();

    // --- per-permutation records of the among-group tests (FloatsAndPops.cpp)
    // One line: the sample numbers of each group in brackets, two tabs and
    // the record's value.
    void print_p(FloatsAndPops& record, std::ostream* out);

    // --- the frame every design shares (design_skeleton.cpp) -----------------
    // "List of populations:" and one line per sample of the structure, line i
    // naming the sample whose id is i - 1 (the numbers print_p writes).
    void print_popvect(std::ostream* out);

    // One variance component tested by permutation.
    struct ComponentTest {
        // First P line up to its value: "Va and FST : P(rand. value > obs. value)  = ".
        char const* label;
        char const* name;   // "Va": its histogram column and observed-value line
        bool smaller;       // counts values below the observed one (lowest level)
        double observed;
        int file;           // null-value file 0..3 (".va" .. ".vd"); file 0 lists the samples
        char const* title;  // "Results : Va\n", the title inside that file
        void (Amova::*prepare)();     // before the first permutation, or null
        void (Amova::*shuffle)();     // one of the permutation procedures
        bool moves_samples;           // shuffle rearranges pops_by_id (then the groups are refilled)
        double (Amova::*statistic)();  // the component recomputed after the shuffle
        int list;                      // the record's values list of the component (1..4)
        AmovaIndex index;              // the index whose P value the test gives
        // Kind of the report of a missing null-value file name (its message
        // is 4 + file).
        ErrorType missing_kind = WARNING;
        // Run after the statistic of every permutation, or null (the
        // population-specific FIS counters).
        void (Amova::*after)() = nullptr;
    };
    struct TestFrame {
        char const* design;     // reporting function, e.g. "Amova::AMOVA_1G_P_H()"
        char const* histogram;  // reporting function of a failed histogram allocation
        ErrorType guard_kind;   // report of too many elements to permute
        int guard_message;      // negative: the design gives up without a report
        double progress;        // work units per 100 permutations
        ComponentTest* tests;   // in the order they run
        int count;
        int batch[4];           // test whose P fills each P column of the batch line; -1: 0
        int columns[4];         // tests in histogram column order
        int column_count;
        // The test after which the batch line's second half is written;
        // -1: after the last.
        int batch_after = -1;
        // Reporting function of the guard when it differs from `design`.
        char const* guard_reporter = nullptr;
    };
    // Raises nb_perm to whole blocks and runs the tests one after the other
    // into r.tests: null values, P values with their s.d., the histogram
    // counts, the null-value files. A negative count counts as none.
    // Returns 1 at its end (also with no permutation), 0 when it gave up.
    int run_permutation_tests(TestFrame const& frame, AmovaDesignResult& r);

    // Marks an AMOVA sub-section of the result file with an anchor named
    // from the settings' anchor prefix, "_amova_" and `section`, and adds it
    // under `title` at `level` to the menu script (amova_results.cpp).
    static void print_amova_anchor(int level, quintle::settings& s, my_string const& section,
                                   my_string const& title);

    // --- designs ------------------------------------------------------------
    // Each computes into `design` and publishes it (publish_design), also
    // when AmovaFatalError leaves it; returns 1 when it ran to its end, 0
    // when it gave up.
    int AMOVA_1G_1P_I();
    int AMOVA_1G_P_H();
    int AMOVA_1G_P_I();
    int AMOVA_G_P_H();
    int AMOVA_G_P_I();
    int AMOVA_1G_P_IH();
    int AMOVA_G_P_IH();
    int AMOVA_1G_P_RIH();
    int AMOVA_G_P_RIH();

    // Pairwise comparisons of the samples of the sample set.
    void CalcPairDist();

    // --- population-specific FIS of the individual-level designs
    // (fis_per_population.cpp) --------------------------------------------------
    // FIS of one sample from its within-individual sum (SSDWI) and its
    // SSDWP_divN: the among-individual component over the sum of both
    // components; -9.99999 (not computed) when that sum is exactly 0.
    static double population_FIS(Population const& p);
    // Every sample's FIS into pop_FIS (by id), when PopSpecificFIS is on.
    void compute_pop_FIS();
    // After a permutation: each sample whose permuted FIS is defined and not
    // below its observed one counts one more in pop_spare.
    void count_pop_FIS();
    void clear_pop_FIS_counts();
    // Counts to P values (divided by nb_perm).
    void pop_FIS_counts_to_p();

private:
    // Runs `compute` into `design` (reset first) and publishes the result,
    // also when AmovaFatalError leaves `compute`. Returns 1 when `compute`
    // returned true.
    int run_design_step(int code, bool (Amova::*compute)(AmovaDesignResult&));
    // Shared bodies of the designs that differ only in their shuffles.
    // `individuals`: every sample must hold two copies per individual (the
    // designs with an individual level).
    bool one_group_design(AmovaDesignResult& r, char const* name, void (Amova::*shuffle)(), int individuals);
    bool group_design(AmovaDesignResult& r, char const* name, void (Amova::*among_all)(),
                      void (Amova::*within_groups)(), int individuals);
    bool design_1G_P_H(AmovaDesignResult& r);
    bool design_1G_P_IH(AmovaDesignResult& r);
    bool design_G_P_H(AmovaDesignResult& r);
    bool design_G_P_IH(AmovaDesignResult& r);
    bool design_1G_1P_I(AmovaDesignResult& r);
    bool design_1G_P_I(AmovaDesignResult& r);
    bool design_G_P_I(AmovaDesignResult& r);
    // The engine's components, sums and indices into r (table of `rows`
    // rows), the sample names and the structure order, the values the
    // permutation tests start from; r.computed becomes true.
    void snapshot_components(AmovaDesignResult& r, int rows, int total_df);
    // After the tests of an individual-level design: the population-specific
    // FIS P values into r.
    void finish_pop_FIS(AmovaDesignResult& r);
    // Statistics recomputed after each permutation.
    double permuted_Va_one_group();
    double permuted_Vc_groups();
    double permuted_Vb_groups();
    double permuted_Va_groups();
    // Half the distance between the two copies at positions 2k, 2k+1 of
    // the haplotype index vector, summed over the pairs below total_size.
    double copy_pair_sum();
    // The statistics of the individual-level designs.
    double permuted_Va_1G_1P_I();
    double permuted_Vb_1G_P_I();
    double permuted_Va_1G_P_I();
    double permuted_Vc_1G_P_I();
    double permuted_Vd_G_P_I();
    double permuted_Vc_G_P_I();
    double permuted_Vb_G_P_I();
    double permuted_Va_G_P_I();
    // Va of the current grouping of the samples (group designs, test among
    // groups): `units` the total the coefficients divide by, `total` the
    // total sum of squares, `within` the sum within samples, `lowest` the
    // sum of the level below the samples with its d.f.
    // Preparations of the tests of design G_P_I: the log line of the test
    // among individuals; the pair sums of the test among groups.
    void load_for_individual_test();
    void load_for_groups_test();
    double grouping_Va(double units, double total, double within, double lowest, int dfLowest);
    // Observed sums the permutation statistics of the individual-level
    // designs hold fixed.
    double observed_total_ = 0.0;   // raw sum over all pairs of copies
    double observed_within_ = 0.0;  // sum over samples of SSDWP / size
    double observed_SSDWI_ = 0.0;   // within-individual sum

    // --- steps of run_permutation_tests (design_skeleton.cpp) -------------
    // The counts of one call and the working storage of its tests.
    struct TestRun;
    // The storage of every test; false after a MEMORY report.
    bool allocate_tests(TestFrame const& f, TestRun& job, AmovaDesignResult& r);
    // Test t: its permutations, null values and file, P value and histogram
    // counts into `out`. False when the design must give up.
    bool run_component_test(TestFrame const& f, int t, TestRun& job, AmovaTestOutcome& out);
    // The permutation loop of test t; false on a stop request or a failure.
    bool permute_component(TestFrame const& f, int t, TestRun& job, AmovaTestOutcome& out);
    void write_null_file(ComponentTest const& c, int t, TestRun& job, my_string const& fileName, long ms);

    void run();
    void write_report_header();
    void run_design();
    // The batch line of the engine's design, when the AMOVA batch file is on.
    void write_batch_line();
    void release_permutation_vectors();
    // The diagnostic lines of a haplotype index outside the distance matrix.
    void log_abnormal_index(Population const& p, long copy, int index) const;
};

// Writes x to the stream `out` with sign, ten decimals and zero fill to 13
// characters, then a line end: the form of the null-value files.
void print_PML_DOUBLE(double const& x, std::ostream* out);

}  // namespace quintle
