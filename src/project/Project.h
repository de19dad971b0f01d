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

#include "core/my_string.h"
#include "data/Haplo_DB.h"
#include "data/TAlleleDB.h"
#include "mantel/Mantel.h"
#include "project/DistMat.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"

namespace quintle {

class Samples;
class Structure;
class PopGenetics;

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

    Project();
    ~Project();
    Project(Project const&) = delete;
    Project& operator=(Project const&) = delete;

    my_string const& title() const { return Title; }

    // Runs the project named by settings::input_file: 1 when it was run,
    // 0 when it was not ready or could not be opened or read.
    int run();

    // Reads the project file named by settings::input_file into this
    // project: 1 when it was read and every required part was found.
    // What was read before a failure stays in the members.
    int newOpen();

    // ResultFileName (".htm"), BackupFileName (".bac") and ProjectFolder
    // from settings::input_file.
    void build_res_bac_names();

    // Scans the project named by settings::input_file without analysing it;
    // 0 when it cannot be read.
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
    // The sub-section tests made on every line after the keyword chain.
    int read_sub_sections(ReadState& st);
    // The checks made when the line loop ends; true when a required part is missing.
    bool end_checks_fail(ReadState const& st);
    // Opens the external file named on the current line into `ext`; 0 after
    // the failure's messages.
    int open_external(ReadState& st, std::ifstream& ext, char const* valueName, my_string& name);

    static inline std::vector<std::string> translator_files_;
};

}  // namespace quintle
