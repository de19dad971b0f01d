#pragma once

// The sample set of a project: its samples in file order, each an object of
// the data-type class the project's data type selects, reached through the
// Population base. A sample's position in the set is its index everywhere
// else (structures, distance matrices between samples, result tables).
//
// The set owns its samples: whoever hands one over with Populations.Add
// must not delete it; clean, the destructor and the section reader delete
// them through the virtual destructor of Population.

#include <fstream>
#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "core/MY_TIArrayAsVector.h"
#include "core/my_string.h"
#include "data/Population.h"
#include "popstats/TTree.h"
#include "project/DistMat.h"
#include "project/pass_results.h"
#include "run/ProfileSettings.h"

namespace quintle {

class Haplo_DB;
class Structure;
class TAlleleDB;
class TLocus;
class settings;

class Samples : public ProfileSettings {
public:
    MY_TIArrayAsVector<Population> Populations{20, 20};  // owning, file order
    // Distinct haplotypes of the set (set by the haplotype-class writer and
    // the summary statistics; copied into derived sets).
    int NbHaplotypes = 0;
    // True only for the pooled set of the group pass.
    bool GroupLevel = false;
    // Coalescent tree of the selection scan's simulations.
    TTree Tree;
    // Mutations placed on Tree by the last simulation.
    long NbMutations = 0;
    // Geographic distances between the samples, row k for sample k.
    DistMat GeoDistances;
    // The data type and locus separator of the set and of each of its
    // samples, as its analyses see them (the profile reader's class-wide
    // fields are read only where the set is built). Set together by
    // set_data_context.
    TDataType dataType = DataTypeDefault;
    char locusSeparator = 0;

    Samples() = default;
    ~Samples();
    // A set is never copied: its samples and tree are owned.
    Samples(Samples const&) = delete;
    Samples& operator=(Samples const&) = delete;

    // Deletes every sample and empties the set (capacity kept); when Tree
    // has been allocated, also empties the shared per-site hit counts. The
    // profile part, NbHaplotypes, GroupLevel and NbMutations stay.
    void clean();

    // Reads the "[[Samples]]" section of a project file, from the line after
    // its header up to a structure or Mantel header or the end of the file.
    // lineNo counts every project-file line read; line receives the last
    // line read (the header that ended the section, if any). The flags are
    // set when a SampleName, SampleSize or accepted SampleData line is met.
    // 1 when the section was read, 0 when a block could not be (after the
    // messages); the samples read before a failure stay in the set.
    int NewReadSamples(std::ifstream& in, ProfileSettings& profile, Haplo_DB& haplotypes, int& lineNo,
                       my_string& line, bool& nameSeen, bool& sizeSeen, bool& dataSeen);

    // --- the older, token-based reader (legacy_samples_reader.cpp) --------
    // Reads NbSamples samples of the "[[Samples]]" sub-section, each a
    // SampleName, then keywords up to its SampleData. Profile keywords
    // inside a sample change the set's profile part from the next sample on
    // (DataType and LocusSeparator at once, being class-wide). Duplicate
    // names get digits appended. 1 when read; 0 after the report, the
    // samples read so far kept. With groupRuns, a run of identical
    // consecutive individuals of genotypic data becomes one phenotype that
    // keeps their names and counts (TPhenotype::absorb).
    int Read(std::ifstream& in, ProfileSettings& profile, Haplo_DB& haplotypes, bool groupRuns = false);
    // Path of an external sample-data file for the older reader: a name with
    // a path separator as it is, else the run's result folder followed by
    // the name.
    std::string build_ext_name(char const* name) const;

    // --- the project explorer (project_explorer.cpp) ----------------------
    // Writes "samples.txt" in the current folder: profile.NbSamples, then
    // the names (lower-cased) of the first NbSamples lines after the stream
    // position that hold "samplename" in any case. 0, after a WARNING, when
    // the input ends before all were found.
    int explore(std::istream& in, ProfileSettings& profile);

    // --- classes of identical haplotypes (haplotype_classes.cpp) ----------
    // Definitions at distance exactly 0.0 in `d` (read at their
    // distance-matrix indexes) form classes, each opened by the first
    // definition of the list not yet placed; writes the list by class and
    // the absolute and relative class frequencies of every sample, and sets
    // NbHaplotypes to the number of classes. ERROR 135 and nothing written
    // when `d` is not in constant mode and its dimension is not the list's
    // length.
    void print_out_haplo_cl(std::fstream* out, DistMat const& d, Haplo_DB* list);
    // Within every sample, an entry takes the count of each later entry of
    // the same class key (classes[index], one key per distance-matrix index)
    // at distance 0.0, which is then removed; the definitions' counts move
    // the same way (unless both entries name one definition).
    // NbHaplotypeEntriesRead keeps the number of entries before, and
    // NbHaplotypeEntries receives the number after. The stream and the list
    // are not used. Returns the number of samples.
    int IdentifyIdenticalHaplotypes(std::fstream* out, DistMat const& d, Haplo_DB* list, int* classes);

    // --- geographic distances between samples (geo_distances.cpp) ---------
    // CoordY is the latitude and CoordX the longitude, in degrees, or plane
    // coordinates on a grid. Nothing in the program sets them yet.
    // Scales both coordinates of every sample into [0, 1] over ranges that
    // include 0; logs "name CoordY CoordX" per sample.
    void normalize_coord();
    // (value - min) / (max - min); 0 over a zero range.
    double normalize_data(double value, double min, double max);
    // Great-circle distances on a sphere of radius 6371.03 km into
    // GeoDistances, written to "dgeo.txt" in the current folder.
    void calc_geo_dist();
    // City-block distances |dx| + |dy| into GeoDistances and "dgeo.txt".
    void calc_geo_dist_on_grid();
    // 1 when the line through points 1 and 2 crosses the line through
    // points 3 and 4 inside the box spanned by points 3 and 4.
    int intersect(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4);
    // Placeholders with nothing to read.
    void read_geo_dist() {}
    void read_gen_dist() {}

    // --- data checks and normalisation (sample_checks.cpp) ---------------
    // 1 when every sample has data with the same number of loci; removes
    // haplotypes and individuals made of missing data only. 0 after the
    // first failing check's ERROR.
    int verify_data();
    // DNA data only: allele texts to upper case.
    void convert_dna_upper();
    // DNA and RFLP data with a separator: tabs and blanks removed from the
    // allele texts. The set's separator (and the class-wide one) ends up
    // cleared unless a sample without data stopped the operation.
    void rm_separators();

    // Gives the set and every sample in it this data type and separator.
    // The section readers end with it, from the profile as they leave it.
    void set_data_context(TDataType type, char separator);

    // --- one Population operation applied to every sample, in order -------
    void phen_to_gam(Haplo_DB* haplotypes, ProfileSettings* profile, settings* run);
    void build_all_vectors(char const& separator);
    void init_all_pointers(TAlleleDB* alleles);
    // Restarts the progress counters, adds every sample's work estimate and
    // the set-level work of the selected analyses.
    void evaluate_work(settings& run);
    void h_pop_db_to_gam(Haplo_DB& haplotypes);

    // --- one-locus copies for the locus-by-locus AMOVA (one_locus_sets.cpp)
    // Fills this fresh set with one-locus copies of the samples of `source`
    // that are members of `structure` (in the source's order), and the
    // fresh list `oneLocusHaplos` with one definition per allele met at
    // `locus` (0-based): "h0", "h1", ... in order of first appearance, the
    // definition's distance-matrix index its position and its count the
    // gene copies carrying it. Missing alleles are left out (at the
    // individual level, the whole individual). 0 when a sample does not
    // reach the locus or keeps no gene copy there (after its messages); the
    // copies made so far stay in the set.
    int build_one_loci_sample(int locus, Samples* source, Structure* structure, Haplo_DB* oneLocusHaplos);

    // --- per-sample analysis loop and the summary section's frame
    // (compute_stuff.cpp, summary_frame.cpp) -------------------------------
    // One analysis pass over the set: prepares the LD histogram file and,
    // with GibbsOutputGamPhase, the phase files; runs every sample's
    // test_methods with a timing line in the log; writes the summary section;
    // shrinks the shared B table through the first sample. Returns 1.
    // Leaves the pass's within-sample results for the statistics line in
    // summary_line and linkage_line.
    int compute_stuff(class Project* project, settings& s);
    // The across-sample summary section of the result file (banner, the
    // standard diversity tables, then the tables of the block above), its
    // values for the statistics line in summary_line. Writes nothing when no
    // within-sample task is asked for or the set is empty.
    void WriteSummaryStatistics(class Project* project, settings& s);
    // The last compute_stuff's summary values, and the linkage values of
    // its last sample that has them.
    SummaryLine summary_line;
    std::optional<LinkageLine> linkage_line;
    // Writes the anchor "<time stamp>_[gr_]comp_sum_<key>" into the result
    // file and appends a menu document entry linking to it.
    void print_computation_anchor(int level, settings& s, my_string const& key, my_string const& title);
    // --- end of the analysis loop and summary frame block ----------------

    // --- within-sample summary: microsatellite, molecular-diversity,
    // neutrality-test and mismatch tables (summary_molecular.cpp,
    // summary_neutrality.cpp, private_sites.cpp) ---------------------------
    // Pieces of WriteSummaryStatistics, called in this order; w is the
    // section's column width. Each tests its own gate (data type, task bits)
    // and writes nothing when it is closed.

    // "Allelic size range", "Garza-Williamson index" and "Garza-Williamson
    // modified index" (MICROSAT data only), right after "Number of alleles".
    // totNumAlleles holds that table's total number of alleles per locus;
    // its length is the number of locus rows.
    void WriteMicrosatSummaryTables(settings& s, int w, std::span<double const> totNumAlleles);
    // End of the standard block: allele frequencies recomputed with missing
    // data when asked, then the allele-frequency files and the spectra.
    void AlleleFrequencyHandOff(settings& s);
    // "Molecular diversity indexes" (task bit 2, not for MICROSAT/STANDARD).
    void WriteMolecularDiversityTable(settings& s, int w);
    // "Neutrality tests" and "Mismatch analysis": the end of the section.
    void WriteNeutralityAndMismatchTables(settings& s, int w);

    // Allele-frequency tables of the sample set (allele_frequency_files.cpp):
    // "PopNames.txt" and "AllFreqLocus_<l>.txt" in the result folder,
    // "AllAlleleFreqs.txt" beside the project file. Sorts the alleles of the
    // global list by name.
    void computeAndOutputAlleFreqPerPop(settings& s);
    // Site frequency spectra of the sample set and their bootstrap
    // replicates (site_frequency_spectra.cpp), as the settings ask; draws
    // from the shared generator for each replicate.
    void computeAndOutputSFS(settings& s);
    // DNA projects: every sample's numPrivateSubstSites, the substitution
    // sites at which it alone is polymorphic. The settings are not read.
    void computeNumPrivateSubstSitesPerPop(settings& s);
    // --- end of the within-sample summary tables block -------------------

    // --- simulated samples of the selection scan (simulated_samples.cpp) ----
    // Places the mutations of one locus on Tree: for the two-state and DNA
    // models a single polymorphism on a branch drawn by length among those
    // above a share of at least MinDafFreq of the leaves (state 2 for every
    // copy when none qualifies); for the stepwise and new-allele models a
    // Poisson number per branch at rate mu per unit of length. Returns
    // NbMutations, the number placed (0 after WARNING 177 when the hit table
    // has another number of sites).
    long& sprinkle_mutations(double const& mu, int const& nSites, Mut_Type const& model, double const& gammaShape,
                             double const& rate1, double const& rate2, double const& transitionProb,
                             int const& bounded);
    // Appends one simulated sample per template sample (in set order; in
    // the second form the members of the structure's groups, group by
    // group), read from Tree's leaves: the template's name and size, the
    // locus as text of the project's data type, haploid copies merged into
    // haplotypes registered in `haplotypes` by identifier, or consecutive
    // copies paired into individuals. 1 when every sample was read; 0 when
    // the reading stopped at an error (the samples read before stay).
    int readPopDataFromSims(Samples const& templ, Haplo_DB& haplotypes, TAlleleDB* alleles, Mut_Type const& model,
                            bool diploid);
    int readPopDataFromSims(Samples const& templ, Structure const& st, Haplo_DB& haplotypes, TAlleleDB* alleles,
                            Mut_Type const& model, bool diploid);
    // Appends locus `locusIndex` of every gene copy of `source` to the same
    // copy of this set's samples, as text of individuals of two gametes;
    // the first call copies the samples. nLoci reserves room for the texts.
    void addLocus(Samples const& source, int locusIndex, int nLoci, bool diploid);
    // FST of an AMOVA of this set over the project's structure, the
    // distances between the given haplotypes computed with the settings'
    // method. Nothing calls it.
    double minimalAMOVA(Haplo_DB& haplotypes, class Project& project);

private:
    // Pieces of Read: one sample's keywords, its SampleData block, and the
    // profile keywords a sample may carry (false: not one of them).
    int read_one_sample(std::ifstream& is, Population& sample, Haplo_DB& haplotypes, bool groupRuns);
    int read_sample_data(std::ifstream& is, Population& sample, Haplo_DB& haplotypes, bool groupRuns);
    bool read_sample_profile_keyword(std::istream& is, my_string const& key, bool& read);
    // Writes "dgeo.txt" from GeoDistances.
    void write_geo_distances() const;
};

// Gives the set the profile reader's data type and separator as they stand
// when it goes out of scope: the section readers' way out, whichever return
// they take.
struct ContextOnExit {
    Samples& set;
    explicit ContextOnExit(Samples& s) : set(s) {}
    ContextOnExit(ContextOnExit const&) = delete;
    ContextOnExit& operator=(ContextOnExit const&) = delete;
    ~ContextOnExit() { set.set_data_context(ProfileSettings::DataType, ProfileSettings::LocusSeparator); }
};

// The "[[Samples]]" block of a project file: header, every sample's block,
// two blank lines.
std::ostream& operator<<(std::ostream& os, Samples& s);

// Writes the sample in project-file form to the std::ostream passed as os.
// Leaves right adjustment and fixed notation with precision 2 set.
void Print(Population& p, void* os);
// Writes the sample's name to the std::ostream passed as os.
void PrintName(Population& p, void* os);
// n dashes (none for n < 1), then a newline.
void printLine(std::ostream& os, int n);
// Unbiased gene diversity of one locus from its alleles' weights; 0.0 for a
// locus without alleles or a total weight of 1 or less.
double computeHeterozygosity(TLocus* locus, char unused);

}  // namespace quintle
