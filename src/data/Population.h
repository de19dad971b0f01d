#pragma once

// One sample of a project: its name and number, its own copy of the project
// profile, and its genetic data, either as a list of haplotype entries
// (haplotypic data) or as a set of unphased individuals (genotypic data).
// The within-sample statistics class and the data-type classes derive from
// it; the sample set owns the objects and deletes them through the virtual
// destructor.
//
// Other names under which some subsystems know these members:
//   name                    sampleName, the sample name
//   id                      sampleId, the sample id / index
//   SampleSize              sampleSize, the sample size
//   invSampleSize           the inverse of the sample size
//   haplotypes              haplotypeList, the haplotype list
//   geneCopies              the second haplotype list (one entry per gene copy)
//   currentHaplotypes       amova_list, the list that AMOVA reads
//   phenotypes              phenotypeDB, the phenotype base / list
//   haploFreqs              the haplotype-frequency base
//   nbEntries               the number of data entries
//   nbGeneCopies,           the "two integer gene-copy counts" of a one-locus
//   nbGeneCopiesKept        copy
//   NbHaplotypeEntries      numHaplotypes, the number of distinct haplotypes
//   NbHaplotypeEntriesRead  numOriginalHaplotypes, the number of haplotypes
//                           before identical ones were merged
//   fromPhenotypes          gametesBuilt
//   recessiveAllelesEM      recessiveData, the recessive-data flag
//   polymorphicLocus        the locus integers, the per-locus polymorphism flags
//   contTable               the working array (contingency table)
//   pooledGroupSample       the flag byte; isSample() is its negation
//   amovaIndex              the sample's number for the AMOVA engine, the
//                           AMOVA index
//   separatorChar           the separator character
//   degreesOfFreedom        the degrees-of-freedom field

#include <fstream>
#include <istream>
#include <ostream>
#include <vector>

#include "core/MY_TArrayAsVector.h"
#include "core/MY_TIArrayAsVector.h"
#include "core/my_string.h"
#include "data/TPhenDB.h"
#include "data/TPopHaploDB.h"
#include "run/ProfileSettings.h"

namespace quintle {

class DistMat;
class HaploDef;
class Haplo_DB;
class TAlleleDB;
class settings;

// One entry of a sample's haplotype list.
struct PHaploDef {
    HaploDef* haplotype = nullptr;  // in the project's Haplo_DB; not owned
    int count = 0;                  // gene copies of it in the sample
};

using PHaploDefList = MY_TIArrayAsVector<PHaploDef>;

class Population {
public:
    // --- the sample's own data ------------------------------------------------
    std::vector<int> polymorphicLocus;  // one int per locus
    ProfileSettings profile;            // own copy of the project profile
    // The project's data type and locus separator as the sample's analyses
    // see them: given by the sample set when it is built from the profile
    // (Samples::set_data_context), never read from the profile reader's
    // class-wide fields, so that samples of different types can coexist.
    TDataType dataType = DataTypeDefault;
    char locusSeparator = 0;
    my_string name;
    int id = -1;
    PHaploDefList haplotypes{10, 100};  // owns its records
    PHaploDefList geneCopies{10, 100};  // one record of count 1 per gene copy; owns them
    // Positions in geneCopies, ascending, of the copies whose individual
    // has no other copy there (a one-locus copy of an unphased individual
    // with one missing allele); empty when every individual holds two.
    std::vector<int> loneCopies;
    PHaploDefList* currentHaplotypes = &haplotypes;
    TPhenDB phenotypes;
    TAlleleDB* alleleDB = nullptr;      // not owned
    TPopHaploDB haploFreqs;

    // Permutation vectors of the AMOVA engine.
    std::vector<double> hapl_count;              // gene copies per haplotype index
    std::vector<int> VectorOfExistingHaplotypes; // indexes with a nonzero count
    int perm_vector_size = 0;                    // length of both
    int nb_existing = 0;                         // valid entries of VectorOfExistingHaplotypes

    int nbEntries = 0;
    double SampleSize = 0.0;
    double invSampleSize = 0.0;
    int fromPhenotypes = 0;
    int recessiveAllelesEM = 0;

    // --- working fields of other subsystems (zeroed by initialize, copied by
    // assignment) --------------------------------------------------------------
    my_string label;                           // second text; stays as built on initialize
    std::vector<std::vector<int>> contTable;   // rows of ints; empty when none
    int contTableMonomorphic = 0;
    bool pooledGroupSample = false;            // a pooled sample of the group pass
    int amovaIndex = 0;
    int NbHaplotypeEntries = 0;
    int NbHaplotypeEntriesRead = 0;
    int nbGeneCopies = 0;
    int nbGeneCopiesKept = 0;
    int degreesOfFreedom = 0;
    char separatorChar = 0;
    double CoordX = 0.0;
    double CoordY = 0.0;
    double SSDWP = 0.0;       // raw within-sample sum of squared differences
    double SSDWP_divN = 0.0;  // SSDWP / sample size
    double SSDWI = 0.0;       // within-individual sum

    // --- construction --------------------------------------------------------
    Population();
    Population(my_string const& name, int const& id, ProfileSettings& profile);
    explicit Population(my_string const& name);
    Population(Population const& other);
    // Virtual slots in this order: destructor, test_methods, clean_bnum.
    virtual ~Population();
    virtual void test_methods(settings& s);
    virtual void clean_bnum();

    // Releases what the sample holds, then copies the source's data; the
    // haplotype entries get their own records pointing to the same
    // definitions.
    Population& operator=(Population const& other);

    bool isSample() const { return !pooledGroupSample; }

    // Empties a freshly built sample (see the .cpp), then clean().
    void initialize();
    // Deletes the phenotypes, both entry lists' records, the estimated
    // haplotypes, the locus integers and the working array.
    void clean();
    void DeletePermutationVectors();

    // --- AMOVA working operations (defined in src/amova/) ---------------------
    // Frees any previous vectors and makes both n entries long, all 0.
    void CreatePermutationVectors(int const& n);
    // Recounts the sample from its stretch of gene copies (one haplotype
    // index per copy, SampleSize of them) and rebuilds the present list.
    // Relies on hapl_count being 0 outside the present list, which these
    // operations keep.
    void SetUpVectorsAfterPermutation(int const* stretch);
    // Rebuilds the present list from hapl_count alone.
    void SetUpVectorOfExistingHaplotypes();
    // Raw within-sample sum of distances over pairs of gene copies; also
    // sets SSDWP_divN. Returns &SSDWP.
    double* ComputeSSDWP(DistMat const& d);
    // ComputeSSDWP, then &SSDWP_divN.
    double* SSDWP_div_freq(DistMat const& d);
    // Raw sum of distances over the pairs formed by one copy of this sample
    // and one of `other`.
    double ComputeSSDAP(Population const* other, DistMat const& d) const;
    // --- end of AMOVA working operations --------------------------------------

    // Short name for file names: at most nine characters, never a path
    // separator.
    my_string get_small_name() const;

    // --- readers of a "SampleData" block: 1 on success, 0 on failure --------
    int New_read_gametic_data(std::ifstream& in, Haplo_DB& db, int external, int& line, my_string& buffer);
    int New_read_genotypic_data(std::ifstream& in, int external, int& line, my_string& buffer);
    // Older character-stream readers.
    int read_gametic_data(std::ifstream& in, Haplo_DB& db, int external);
    // groupRuns: see Samples::Read.
    int read_genotypic_data(std::ifstream& in, int external, bool groupRuns = false);

    // Cuts the text at its first '#' and removes trailing tabs and blanks;
    // returns the new length.
    static int rm_blanks_at_end(char* text);

    // --- conversions and checks (population_conversions.cpp) -----------------
    void phen_to_gam(Haplo_DB* db, ProfileSettings* ps, settings* s);
    void h_pop_db_to_gam(Haplo_DB* db, PHaploDefList* target);
    void haplotype_transf(Haplo_DB& db);
    Population& operator+=(Population const& other);
    int build_allele_vectors(char const& separator);
    void make_all_blanks(char const& separator);
    int check_phaplodef_redond();
    int print_out_redondant(Population* other, std::fstream* out, DistMat const& d);
    int evaluate_nb_loci();
    void evaluate_work(settings* s);
    void print_population_anchor(int level, settings& s, char* prefix);
    void compute_phenotype_heterozygosity(settings& s, TPhenDB const& unused);

    // --- Hardy-Weinberg exact test (defined in src/haplo/hw_exact.cpp) -------
    // A table selection is two ints: [1] the locus (-1: whole haplotypes),
    // [0] the number of alleles k of the table built for it (0: none).
    // The whole section of one sample: a row per locus and, for phased data,
    // the whole-haplotype test. The phenotypes give the number of loci.
    void make_all_hw(std::fstream& out, TPhenDB const& phenotypes, long const& steps, settings& s);
    // Builds contTable ((k+2) x (k+2), genotype {a, b} at row min, column
    // max) and sets contTableMonomorphic. 1 built or fewer than 2 alleles,
    // 0 after an error.
    int make_hw_table(int* sel);
    // One chain over the table: its P (1 when no chain runs, -1000 when
    // stopped), the s.d. of P in `sd` (0 when no chain runs, untouched when
    // stopped); `status` is set to 0 when the chain ends. The settings are
    // only read.
    double make_hw_test2(long const& steps, double& status, settings& s, long& stepsDone, int* sel);
    double make_hw_test2(long const& steps, double& status, settings& s, long& stepsDone, int* sel, double& sd);
    // The same in batches with early stop.
    double make_hw_test3(long const& steps, double& status, settings& s, long& stepsDone, int* sel);
    double make_hw_test3(long const& steps, double& status, settings& s, long& stepsDone, int* sel, double& sd);
    // One chain step on contTable; the ratio of the move made, 1.0 if none.
    double swap_in_table2(int* sel, long& seed);
    // Releases contTable.
    void clear_table(int* sel);
    void compute_locus_heterozygosity(int const& locus, double& observed, double& expected, long& genotypes);
    // Likelihood-ratio statistic of one locus into `statistic`; returns 0.
    // No analysis calls it.
    int make_hw_test1(TPhenDB const& phenotypes, double& statistic, settings& s, int* sel);
    // --- end of the Hardy-Weinberg exact test ----------------------------------

    // --- haplotype frequencies of unphased genotypes and the linkage test
    // on them (defined in src/haplo/) ------------------------------------------
    // Multi-start EM of the haplotype frequencies of `phenotypes` into
    // `haplotypes`: the largest log-likelihood over the starts, -1000 when
    // the stop flag ended the call, -3.4028234663852886e38 when no start
    // could run. nDistinct receives the number of different maxima; with
    // `inbreeding`, f is the fixed coefficient, or 0.0 to have it estimated
    // (then f receives the best start's estimate). A previous base with its
    // locus mask keeps only the resolutions it allows; `compact` drops the
    // monomorphic loci from the haplotypes.
    double calc_ML_hapl_freq_hill95_LD(TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s, int& nDistinct,
                                       int const& inbreeding, double& f, TPopHaploDB* previous, int* previousMask,
                                       int const& compact, int const& initialConditions, int const& maxIterations,
                                       double const& epsilon);
    // Parametric-bootstrap standard deviations of the frequencies held in
    // `haplotypes` (NumInitCondBootstrapEM starts per replicate; the
    // initialConditions argument is not used).
    void calc_sd_hapl_freq(TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s, int const& initialConditions,
                           int const& replicates, int const& maxIterations, double const& epsilon);
    // Variants of the estimator that no analysis calls: linkage equilibrium
    // with an inbreeding coefficient, the secant solution for the
    // coefficient, and the plain EM over stored genotypes.
    double calc_ML_hapl_freq_hill95_LE(TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s, int& nDistinct,
                                       int const& inbreeding, double& f, TPopHaploDB* previous, int* previousMask,
                                       int const& compact, int const& initialConditions, int const& maxIterations,
                                       double const& epsilon);
    double calc_ML_hapl_freq_HWD_LD(TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s, int& nDistinct,
                                    int const& inbreeding, double& f, int const& compact, int const& initialConditions,
                                    int const& maxIterations, double const& epsilon);
    double calc_ML_hapl_freq_HWD_LE(TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s, int& nDistinct,
                                    int const& inbreeding, double& f, int const& compact, int const& initialConditions,
                                    int const& maxIterations, double const& epsilon);
    double calc_ML_hapl_freq(TPhenDB& phenotypes, TPopHaploDB& haplotypes, settings& s, int& nDistinct,
                             int const& compact, int const& initialConditions, int const& maxIterations);
    // Does nothing.
    void get_profile_lHood(TPopHaplotype const& h, int const& locus, TPhenDB const& phenotypes, TPopHaploDB& haplotypes,
                           MY_TArrayAsVector<double> values);

    // Sub-haplotype reports: every pair of loci, every locus, or the loci of
    // the list (its first int the number of loci, then locus indices from 0).
    void calc_all_pairs(std::fstream& out, TPhenDB const& phenotypes, settings& s, int const& initialConditions,
                        int const& replicates, int const& maxIterations, double const& epsilon);
    void calc_all_sites(std::fstream& out, TPhenDB const& phenotypes, settings& s, int const& initialConditions,
                        int const& replicates, int const& maxIterations, double const& epsilon);
    void calc_subset_hapl_freq(std::fstream& out, int const* loci, TPhenDB const& phenotypes, settings& s,
                               int const& initialConditions, int const& replicates, int const& maxIterations,
                               double const& epsilon);

    // Likelihood-ratio test of linkage disequilibrium between every pair of
    // loci of unphased data, with its whole section of the result file.
    void calc_all_link_dis(std::fstream& out, TPhenDB const& phenotypes, settings& s, int const& initialConditions,
                           long const& permutations, int const& maxIterations, double const& epsilon);
    // One pair {2, j, i}: the P value (1 for a pair left untested), the
    // permutations done, the chi-square value and both log-likelihoods;
    // -1000 when stopped. The recessive form
    // resamples genotypes under equilibrium instead of permuting alleles.
    double calc_link_dis_prob(int* loci, TPhenDB const& phenotypes, settings& s, long& done, double& chiSquare,
                              double& lnLD, double& lnLE, int const& initialConditions, long const& permutations,
                              int const& maxIterations, double const& epsilon);
    double calc_link_dis_recess(int* loci, TPhenDB const& phenotypes, settings& s, long& done, double& chiSquare,
                                double& lnLD, double& lnLE, int const& initialConditions, long const& permutations,
                                int const& maxIterations, double const& epsilon);
    // Every allele's weight := its relative frequency in this sample.
    void update_allele_freq();
    // Appends the linked-loci histogram of this sample to the file; 0.
    int make_xl_file(char const* fileName, int nLoci, int const* linked);
    // Variants that no analysis calls: the test with an inbreeding
    // coefficient (parameters from "HapFreqPar.txt"; the s.d. of P in `sd`,
    // 0 without a test, untouched when stopped), and the test of every pair
    // without output.
    void calc_all_link_dis_fast(std::fstream& out, TPhenDB const& phenotypes, settings& s,
                                int const& initialConditions, long const& permutations, int const& maxIterations,
                                double const& epsilon);
    double calc_link_dis_prob_fast(int* loci, TPhenDB const& phenotypes, settings& s, long& done, double& chiSquare,
                                   double& lnLD, double& lnLE, int const& initialConditions, long const& permutations,
                                   int const& maxIterations, double const& epsilon, int const& inbreeding,
                                   double const& keepLDCoefficient, int const& compact);
    double calc_link_dis_prob_fast(int* loci, TPhenDB const& phenotypes, settings& s, long& done, double& chiSquare,
                                   double& lnLD, double& lnLE, int const& initialConditions, long const& permutations,
                                   int const& maxIterations, double const& epsilon, int const& inbreeding,
                                   double const& keepLDCoefficient, int const& compact, double& sd);
    void calc_all_pairwise_LDs(TPhenDB const& phenotypes, settings& s, int* flags, double const& significance,
                               double const& threshold, int const& initialConditions, long const& permutations,
                               int const& maxIterations, double const& epsilon);
    double calc_pairwise_LD(int* loci, TPhenDB const& phenotypes, settings& s, long& done, double& chiSquare,
                            double& lnLD, double& lnLE, int const& initialConditions, long const& permutations,
                            int const& maxIterations, double const& epsilon);
    // --- end of the haplotype-frequency and unphased linkage members ---------

private:
    void reset_permutation_vectors();
};

// target = source with every run of the delimiter reduced to one.
void rm_mult_delim(my_string const& source, my_string& target, char delimiter);

// Writes the sample block: name, size and the "SampleData" entries.
std::ostream& operator<<(std::ostream& os, Population const& p);

}  // namespace quintle
