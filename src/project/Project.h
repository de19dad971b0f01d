#pragma once

// One project file together with everything read from it and everything
// needed to analyse it. The run driver builds a single Project for the whole
// run and reuses it for every project of the run file: `run` reads one
// project, analyses it and frees its data again with `clean`.

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "amova/amova_results.h"
#include "core/my_string.h"
#include "data/Haplo_DB.h"
#include "data/TAlleleDB.h"
#include "mantel/Mantel.h"
#include "project/DistMat.h"
#include "project/pass_results.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"

namespace quintle {

class Samples;
class Structure;
class PopGenetics;
class cleaner;
enum Mut_Type : int;

class Project : public ProfileSettings {
public:
    // The project's haplotype list ("[[HaplotypeDefinition]]").
    Haplo_DB haplotypes;
    // The distance matrix given in the project file.
    DistMat distance_matrix;
    // The current sample set and genetic structure. The group pass puts
    // pooled copies in their place for its duration; the structure's groups
    // borrow the set's samples, so the set must outlive the structure's use.
    std::unique_ptr<Samples> samples;
    std::unique_ptr<Structure> structure;
    // The Mantel section.
    Mantel mantel;
    // The project-wide allele database shared by all samples.
    TAlleleDB allele_db;
    // Temporary sample of the project-level distance computation, while it exists.
    std::unique_ptr<PopGenetics> dist_pop;
    // Process clock when the current run started, and the last run's length.
    std::int64_t start_clock = 0;
    std::int64_t elapsed_ms = 0;
    // The allele vectors of the haplotype definitions exist.
    int vectors_built = 0;
    // The per-locus allele tables of haplotypic data (the first sample's
    // blanks, the definitions' allele vectors) are due but not yet built:
    // build_allele_tables builds them when an analysis first needs them.
    bool allele_tables_due = false;
    // While the run prepares its own analyses: build_allele_tables may give
    // the rows shared character alleles instead of catalogue records when
    // those analyses read nothing else (never for the translator's export).
    bool character_rows_allowed = false;
    // For the translator's export, which writes individuals and analyses
    // none: open() keeps a run of identical consecutive individuals as one
    // phenotype with their names and counts (Samples::Read).
    bool group_identical_runs = false;
    // The phenotypes have been turned into pseudo-haplotypes.
    int phen_converted = 0;
    // Runs made by this object.
    int run_number = 0;
    // Nonzero: the project writer also writes the back-up of the input data.
    int write_backup = 0;
    // 1: the project may be run. The run driver sets it before each run.
    int ready = 0;
    // The analysis settings of this project.
    settings options;
    // Result record of the project's AMOVA.
    amova_results amova_res;
    // The results of the pass now running that the statistics line takes;
    // started afresh by each pass, given to the statistics record at its end.
    PassResults pass_results;

    Project();
    ~Project();
    Project(Project const&) = delete;
    Project& operator=(Project const&) = delete;

    my_string const& title() const { return Title; }

    // Runs the project named by settings::input_file: working copy, result
    // frame, reading, feasibility checks, then the group pass and the
    // population pass that the statistics list (or the settings) ask for,
    // each followed by its statistics lines. 1 when the project was
    // analysed, 0 when it was not ready, could not be opened or read, or a
    // scheduled task proved impossible.
    int run();

    // Adapts the scheduled tasks and a few settings to the data just read,
    // links the samples to the allele database, builds the allele vectors
    // and pseudo-haplotypes the analyses need and checks the data. Dropped
    // tasks are noted in the log. 0 when the run must stop.
    int make_run_possible();
    // Builds the allele tables that make_run_possible left due (nothing when
    // none are): the first sample's blanks, then the allele vectors of the
    // haplotype definitions.
    void build_allele_tables();

    // 1 when the structure can carry an AMOVA; otherwise 0 after a WARNING
    // for each defect (no sample, no group, one sample per group).
    int IsAmovaStructure();

    // --- genetic-structure analyses of a pass --------------------------
    // Fills `pooled` with one sample per group of `structure` (the group's
    // samples joined) and `flat` with a single group holding them.
    void poolSamplesInGroups(Samples const& source, Structure const& structure, Samples& pooled,
                             Structure& flat);
    // AMOVA, pairwise distances, differentiation and Mantel tests of the
    // current samples and structure, as the task bits ask.
    void GenStructCalculations(std::fstream* result);
    // Finds identical haplotype definitions and, when asked, merges them
    // within the samples; 1 on success.
    int eliminate_redond_haplodef();
    // Scan for loci under selection from FST and heterozygosity. False
    // when the settings leave it no null distribution to test against (no
    // simulation asked for, none read): the project fails. Every other
    // refusal is a note in the log and the result file, and true.
    bool detectSelectedLociFromFSTHetComparison(bool hierarchical);

    // MICROSAT data: only a log note; no repeat-length detection is made.
    void convertMicrosatToNumberOfRepeats();

    // --- result-file frame (the names must be set in `options`) -----------
    // The frame-set page and the tree page; the argument is not used.
    void New_print_html_frames_output(bool unused);
    // Opening and closing text of the result file, HTML or XML.
    void New_print_html_results_header(bool xml);
    void New_print_html_results_footer(bool unused, bool xml);
    // An older, HTML-only form of the same three writers.
    void print_html_frames_output();
    void print_html_results_header();
    void print_html_results_footer();
    // The menu script needs no head of its own: both write nothing.
    void print_js_header() {}
    void New_print_js_header(bool /*unused*/) {}

    // Reads the project file named by settings::input_file into this
    // project: 1 when it was read and every required part was found.
    // What was read before a failure stays in the members.
    int newOpen();

    // ResultFileName (".htm"), BackupFileName (".bac") and ProjectFolder
    // from settings::input_file.
    void build_res_bac_names();

    // The older, token-based reader of the project named by
    // settings::input_file, for the format translator's export: the profile,
    // then at most four sub-sections of "[Data]" in any order (the structure
    // and Mantel ones after some samples), the file read as it stands (no
    // working copy). Relative EXTERN names of sample data, haplotype list
    // and matrix start in options.ResultFolder, those of Mantel matrices in
    // options.ProjectFolder. Profile fields the file leaves out keep their
    // values: start from a fresh or cleaned project. 1 when read; 0 after
    // the report, what was read kept in the project.
    int open();

    // Explores the project named by settings::input_file without analysing
    // it: "groups.txt" and "samples.txt" in the current folder, and, when
    // the project could be read, the profile as key lines in
    // exeDirectory + "pml_pro.txt". 0 when it cannot be read.
    int explore(char* exeDirectory);

    // Frees the project's data; the object is empty and reusable afterwards.
    void clean();

    // Writes "error" and a line end into PellomarExeDirectory + "pml_pro.txt".
    static void print_error_message();

    // The format translator records here each temporary file it writes in
    // the working directory; `clean` deletes those files, and only those.
    static void translator_made(std::string const& path);

    // State of one newOpen read, shared by the line loop and the keyword
    // handlers: the stream, the line counter, the current line (cut at its
    // first "#") with its upper-case copy, and the seen-flags that the end
    // checks test. Both line buffers are reused from line to line.
    struct ReadState {
        std::ifstream in;
        int lineNo = 0;
        my_string line;
        my_string upper;
        // [Profile] keywords.
        bool profile = false, nbSamples = false, dataType = false, genotypicData = false,
             locusSeparator = false, gameticPhase = false, recessiveAllele = false,
             missingData = false;
        // [Data] and its sub-sections.
        bool data = false, haploDefinition = false, haploListRead = false, distanceMatrix = false,
             matrixSize = false, matrixDataRead = false, samplesRead = false, structureRead = false,
             mantelRead = false;
        // A MatrixSize of this read has sized the matrix and its labels.
        bool matrixSized = false;
        // Set by the samples reader.
        bool sampleName = false, sampleSize = false, sampleData = false;
        // Set by the structure reader.
        bool structureName = false, nbGroups = false, individualLevel = false, group = false;
        // Set by the Mantel reader, in its argument order.
        bool mantelMatrixSize = false, mantelYMatrix = false, mantelMatrixNumber = false,
             mantelYMatrixLabels = false, mantelDistMat = false, mantelUsedYMatrixLabels = false;
    };

    // Handlers of the project-file reader's keyword chain. Each works on the
    // current line of the read; 0 ends the read at once, 1 goes on.
    int read_Title(ReadState& st);
    int read_NbSamples(ReadState& st);
    int read_DataType(ReadState& st);
    int read_GenotypicData(ReadState& st);
    int read_LocusSeparator(ReadState& st);
    int read_GameticPhase(ReadState& st);
    int read_RecessiveData(ReadState& st);
    int read_RecessiveAllele(ReadState& st);
    int read_MissingData(ReadState& st);
    int read_Frequency(ReadState& st);
    int read_CompDistMatrix(ReadState& st);
    int read_FrequencyThreshold(ReadState& st);
    int read_EpsilonValue(ReadState& st);
    int read_Data(ReadState& st);
    int read_HaplotypeDefinition(ReadState& st);
    int read_HaplListName(ReadState& st);
    int read_HaplList(ReadState& st);
    int read_DistanceMatrix(ReadState& st);
    int read_MatrixName(ReadState& st);
    int read_MatrixSize(ReadState& st);
    int read_LabelPosition(ReadState& st);
    int read_MatrixData(ReadState& st);
    int read_Samples(ReadState& st);

private:
    // One sub-section of the older reader, by its place in SubSections.
    int open_sub_section(std::ifstream& in, int which);
    // The sub-section tests made on every line after the keyword chain.
    int read_sub_sections(ReadState& st);
    // The checks made when the line loop ends; true when a required part is missing.
    bool end_checks_fail(ReadState const& st);
    // Opens the external file named on the current line into `ext`; 0 after
    // the failure's messages.
    int open_external(ReadState& st, std::ifstream& ext, char const* valueName, my_string& name);

    // --- steps of run (project_run.cpp) ------------------------------------
    // false, after its message, when no project is ready or the input
    // cannot be read.
    bool can_run();
    // Points the input and the result names at the cleaned working copy in
    // the result folder and starts the run's clock. False when the cleaner
    // refused a file (a device, a pipe, an endless line): the run must stop.
    bool make_working_copy(cleaner& working_copy);
    // Opens the result file (in XML append mode before the closing root
    // element of earlier runs) as the settings' result stream and the log's echo.
    std::unique_ptr<std::fstream> open_result_file();
    void close_result_file(std::unique_ptr<std::fstream>& result);
    // Footer, closing and working-copy removal of a run that stops; 0.
    int abandon_run(std::unique_ptr<std::fstream>& result, cleaner& working_copy);
    // The file names and stamps of the result frame.
    void name_result_frame(std::string const& date);
    // Frame pages, menu script and the head of the result file.
    void write_frame_start(std::ostream& out);
    void write_run_heading(std::ostream& out, std::string const& date);
    // Reads the project; false after its log line.
    bool read_project();
    // Upper-cased sequences, the separator removed where it cannot stay,
    // the project's profile and the settings in the result file.
    void print_project_information(std::ostream& out);
    // The feasibility checks and the work estimate; false when a scheduled
    // task is impossible.
    bool prepare_analyses(std::ostream& out);
    // The group pass and the population pass that are asked for; false when
    // the population pass failed.
    bool run_passes();
    // Frees the data and writes the end-of-run lines to the log and `out`.
    void end_run(std::ostream& out, char kept_separator, cleaner& working_copy);

    // One analysis pass over the current sample set (the tasks of a pass,
    // in their order); `folder` names its menu folder and `banner` opens its
    // section. `kept` is the project's own structure in the group pass.
    void run_pass_tasks(char const* folder, std::string const& banner, Structure* kept);
    // The group pass on samples pooled by group.
    void run_group_pass(settings const& checked);
    // The population pass, with the scan for loci under selection; false,
    // and no statistics added, when the scan failed.
    bool run_population_pass();
    // The statistics lines of a finished pass: the statistics record filled
    // from pass_results, then the pass's header (first project) and values.
    void output_pass_statistics();

    static inline std::vector<std::string> translator_files_;

public:
    // --- project-level AMOVA, haplotype distance matrices and project-file
    // writers (project_amova.cpp, project_writers.cpp) ---------------------
    // Runs one AMOVA (and the pairwise comparisons the settings ask for) on
    // the given data: links the haplotypes to the distances, numbers the
    // samples for the engine (grouped ones first, in structure order) and
    // builds the engine. 1 when the engine ran to its end; 0 when the
    // structure, the list or the matrix did not allow it or the engine gave
    // up (each after its message).
    int AMOVA(DistMat& dm, Haplo_DB& hl, Samples& s, Structure& st, TAlleleDB& adb, amova_results* res);
    // Numbers the samples of `s` for the AMOVA engine (their amovaIndex,
    // which becomes their id): the members of the structure's groups
    // first, in group and member order, each at its first place, then the
    // others in set order.
    static void number_amova_samples(Samples& s, Structure& st);
    // Computes the distances between the definitions of the project's list
    // (or of `hl`) with the given method into distance_matrix, through a
    // temporary sample of the project's data type. The four settings it
    // changes for the computation are back on every way out. 1 when the
    // matrix was computed; 0 after ERROR 136, distance_matrix unchanged.
    int calc_dist_matrix(int const& method, double const& gamma);
    // The same as if the data were of that type (the search for identical
    // definitions compares standard-data distances whatever the samples').
    int calc_dist_matrix(int const& method, double const& gamma, TDataType type);
    int calc_dist_matrix(Haplo_DB& hl, int const& method, double const& gamma);
    // The AMOVA distance matrix with its haplotype list and, when asked,
    // its minimum spanning network, into the result file.
    void print_distance_matrix();
    // Back-up of the input data into the settings' BackupFileName when
    // write_backup is set; 1 unless the file cannot be opened (ERROR 133).
    int write();
    // Creates (or empties) the file `path`; nothing is written.
    void create_pmp_example(char* path);
    // Writes `options` into the settings file beside the project
    // (settings::input_file with ".pms" for its extension).
    void save_associated_set();
    // --- end of project-level AMOVA, distance matrices and writers --------

    // --- genetic-structure driver helpers (src/structure/) -----------------
    // Allele vectors of every haplotype definition of the project's list,
    // alleles registered in `db` (the driver's second conversion step on its
    // own, for the format translator's export).
    void build_all_vectors(TAlleleDB& db);
    // AMOVA repeated for each polymorphic locus on its own; writes its
    // section to `out`.
    void LocusByLocusAMOVA(std::fstream* out);

    // --- simulated samples of the selection scan (simulated_samples.cpp) ----
    // One locus simulated under an island model of nDemes demes at the
    // target FST into the current sample set (one sample per template
    // sample, of its name and size; haplotypes registered in the project's
    // list, alleles in its database), the current structure's members
    // pointed at the same-named simulated samples. Returns the number of
    // mutations placed, or -1 when no genealogy could be built or the
    // reading of its leaves stopped (after a line in the log).
    int simulateSample(double const& theta, int const& nSites, Mut_Type const& model, double const& gammaShape,
                       double const& rate1, double const& rate2, double const& transitionProb, int const& bounded,
                       double const& targetFST, Samples* templ, Structure* templStructure, int nDemes, bool diploid);
    // The same under the hierarchical island model of nGroups groups of
    // nDemesPerGroup demes at the two target fixation indices.
    int simulateSample(double const& theta, int const& nSites, Mut_Type const& model, double const& gammaShape,
                       double const& rate1, double const& rate2, double const& transitionProb, int const& bounded,
                       double const& target1, double const& target2, Samples* templ, Structure* templStructure,
                       int nDemesPerGroup, int nGroups, bool diploid);
    // meanSampleHet and meanGroupHet of every locus of allele_db over the
    // members of the structure's groups, and every allele's group
    // frequencies.
    void computeMeanHeterozygosityOverSamplesInStructure(Samples const& s, Structure const& st);
    // Visits the groups and computes nothing; nothing calls it.
    void computeAverageGeneDiversityBetweensamples();
    // --- end of genetic-structure driver helpers ---------------------------
};

// Path of the frame-set page and of the log of a project file:
// folder + base + ".res/" + base + "_main.htm", and folder + base + ".res/"
// + "Pellomar_log.txt"; the base is cut at its first ".pmp".
my_string buildPellomarResultFileName(my_string const& project);
my_string buildPellomarLogFileName(my_string const& project);
// Removes the text up to and including the last '/' (unless that '/' is the
// first character).
void removePath(my_string& name);

// Token helpers of the older reader's style: the next blank-separated token,
// lower-cased (true while the stream is good), and the next integer (-1 when
// none can be read).
bool read_directive_my_string(std::istream& is, std::string& directive);
long read_directive_value(std::istream& is);

// Length of a run as "<h>h <m>m <s>s <ms> ms".
std::string computing_time_text(std::int64_t ms);

}  // namespace quintle
