// The project-file reader: reads a project file line by line, recognises
// keywords and section headers by containment on an upper-case copy of each
// line, fills the profile, the haplotype list and the given distance matrix,
// and hands the samples, structure and Mantel sections to their own readers.

#include <ctime>
#include <istream>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string>

#include "core/Errors.h"
#include "core/checked_int.h"
#include "core/input_files.h"
#include "core/parsing.h"
#include "core/timing.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/extern_names.h"

namespace quintle {

namespace {

constexpr char const* reader_name = "Project::newOpen()";
// Lines read at most, the sub-section readers' lines included.
constexpr int max_lines = 499999;

std::ostream& line_message(int lineNo) {
    return *_AOS_ << "\tProject file, Line #" << lineNo;
}

void remake_upper(Project::ReadState& st) {
    st.upper = st.line;
    st.upper.to_upper();
}

// The keyword chain: the first entry whose text the upper-case line holds
// (and whose `unless` text it does not hold) decides the line. The order
// matters: a keyword holding an earlier one is told apart by `unless`.
struct Keyword {
    char const* found;
    char const* unless;
    int (Project::*handler)(Project::ReadState&);
};

constexpr Keyword keyword_chain[] = {
    {"TITLE", nullptr, &Project::read_Title},
    {"NBSAMPLES", nullptr, &Project::read_NbSamples},
    {"DATATYPE", nullptr, &Project::read_DataType},
    {"GENOTYPICDATA", nullptr, &Project::read_GenotypicData},
    {"LOCUSSEPARATOR", nullptr, &Project::read_LocusSeparator},
    {"GAMETICPHASE", nullptr, &Project::read_GameticPhase},
    {"RECESSIVEDATA", nullptr, &Project::read_RecessiveData},
    {"RECESSIVEALLELE", nullptr, &Project::read_RecessiveAllele},
    {"MISSINGDATA", nullptr, &Project::read_MissingData},
    {"FREQUENCY", "FREQUENCYTHRESHOLD", &Project::read_Frequency},
    {"COMPDISTMATRIX", nullptr, &Project::read_CompDistMatrix},
    {"FREQUENCYTHRESHOLD", nullptr, &Project::read_FrequencyThreshold},
    {"EPSILONVALUE", nullptr, &Project::read_EpsilonValue},
    {"[DATA]", nullptr, &Project::read_Data},
    {"HAPLOTYPEDEFINITION", nullptr, &Project::read_HaplotypeDefinition},
    {"HAPLLISTNAME", nullptr, &Project::read_HaplListName},
    {"HAPLLIST", "USEDHAPLLIST", &Project::read_HaplList},
    {"DISTANCEMATRIX", nullptr, &Project::read_DistanceMatrix},
    {"MATRIXNAME", nullptr, &Project::read_MatrixName},
    {"MATRIXSIZE", nullptr, &Project::read_MatrixSize},
    {"LABELPOSITION", nullptr, &Project::read_LabelPosition},
    {"MATRIXDATA", nullptr, &Project::read_MatrixData},
    {"[SAMPLES]", nullptr, &Project::read_Samples},
};

}  // namespace

int Project::newOpen() {
    ReadState st;
    open_input_file(st.in, settings::input_file.c_str());
    if (!st.in.is_open()) {
        E.error(WARNING, reader_name, Msg::m126_cannot_open_project_file);
        return 0;
    }
    std::clock_t const start = std::clock();
    *_AOS_ << "Reading input file ..." << std::endl;

    // A handler closes the stream when no further line may be read.
    while (st.in.is_open() && !st.in.fail()) {
        if (++st.lineNo > max_lines) break;
        st.line.read_line(st.in);
        if (st.line.length() == 0) continue;
        remake_upper(st);
        clearLineAfterPoundSign(st.line);
        clearLineAfterPoundSign(st.upper);

        if (st.upper.contains("[PROFILE]")) st.profile = true;
        for (Keyword const& k : keyword_chain) {
            if (!st.upper.contains(k.found)) continue;
            if (k.unless != nullptr && st.upper.contains(k.unless)) continue;
            if ((this->*k.handler)(st) == 0) return 0;
            break;
        }
        if (read_sub_sections(st) == 0) return 0;
    }

    bool const failed = end_checks_fail(st);
    *_AOS_ << "done ! (" << elapsed_ms_since(start) << " ms)" << std::endl;
    if (failed) {
        E.error(ERROR, reader_name, Msg::m203_missing_required_keywords);
        return 0;
    }
    return 1;
}

int Project::read_sub_sections(ReadState& st) {
    if (st.upper.contains("[STRUCTURE]")) {
        if (!st.samplesRead) {
            *_AOS_ << "[STRUCTURE] section defined before the [SAMPLES] section. Aborting reading project"
                   << std::endl;
            E.error(ERROR, "Project::open()", Msg::m172_structure_without_samples);
            return 0;
        }
        if (samples->Populations.count == 0) {
            *_AOS_ << "No samples were defined before the [STRUCTURE] section. Aborting reading project"
                   << std::endl;
            E.error(ERROR, "Project::open()", Msg::m172_structure_without_samples);
            return 0;
        }
        std::clock_t const start = std::clock();
        *_AOS_ << "\tReading genetic structure ..." << std::endl;
        if (structure->NewReadStructure(st.in, *this, *samples, st.lineNo, st.line, st.structureName,
                                        st.nbGroups, st.individualLevel, st.group) == 0) {
            return 0;
        }
        *_AOS_ << "\tdone reading genetic structure! (" << elapsed_ms_since(start) << " ms)" << "\n";
        st.structureRead = true;
        remake_upper(st);
    }
    if (st.upper.contains("[MANTEL]")) {
        if (!st.samplesRead) {
            *_AOS_ << "[MANTEL] section defined before the [SAMPLES] section. Aborting reading project"
                   << std::endl;
            E.error(ERROR, "Project::open()", Msg::m196_mantel_without_samples);
            return 0;
        }
        if (samples->Populations.count == 0) {
            *_AOS_ << "No samples were defined before the [MANTEL] section. Aborting reading project"
                   << std::endl;
            E.error(ERROR, "Project::open()", Msg::m196_mantel_without_samples);
            return 0;
        }
        std::clock_t const start = std::clock();
        *_AOS_ << "\tReading mantel section ..." << std::endl;
        if (mantel.NewOpenMantel(st.in, *this, st.lineNo, st.line, st.mantelMatrixSize,
                                 st.mantelYMatrix, st.mantelMatrixNumber, st.mantelYMatrixLabels,
                                 st.mantelDistMat, st.mantelUsedYMatrixLabels) == 0) {
            return 0;
        }
        *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)" << "\n";
        st.mantelRead = true;
    }
    return 1;
}

bool Project::end_checks_fail(ReadState const& st) {
    std::ostream& log = *_AOS_;
    bool failed = false;
    auto missing = [&](bool condition, char const* message, bool required) {
        if (!condition) return;
        log << message << std::endl;
        if (required) failed = true;
    };
    bool const frequencyData = DataType == FREQUENCY;

    missing(!st.profile, "\t[PROFILE] section not defined. Check your project file.\n", true);
    missing(!st.nbSamples,
            "\tKeyword \"NbSamples\" not found. Undefined number of samples to read. Check your "
            "project file.\n",
            true);
    missing(!st.dataType,
            "\tKeyword \"DataType\" not found. Undefined data type. Check your project file.\n", true);
    missing(!st.genotypicData,
            "\tKeyword \"GenotypicData\" not found. Undefined data type. Check your project file.\n",
            true);
    missing(!st.locusSeparator && !frequencyData,
            "\tKeyword \"LocusSeparator\" not found. Check your project file.\n", true);
    missing(!st.gameticPhase && GenotypicData != 0,
            "\tKeyword \"GameticPhase\" not found. Undefined gametic phase for genotypic data. Check "
            "your project file.\n",
            true);
    if (!st.recessiveAllele && RecessiveData != 0) {
        log << "\tKeyword \"RecessiveAllele\" not found. Undefined recessive allele for recessive data. "
            << "\t\tUsing default value (" << RecessiveAllele << "). Check your project file.\n"
            << std::endl;
    }
    if (!st.missingData && !frequencyData) {
        log << "\tKeyword \"MissingData\" not found. Using default value (\"" << MissingData
            << "\"). Check your project file.\n"
            << std::endl;
    }
    missing(!st.data, "\t[DATA] section not defined. Check your project file.\n", true);
    missing(st.haploDefinition && !st.haploListRead,
            "\tKeyword \"HaplList\" not found in Haplotype section. Haplotype list not found. Check "
            "your project file.\n",
            true);
    missing(st.distanceMatrix && !st.matrixSize,
            "\tKeyword \"MatrixSize\" not found in Distance Matrix section.Check your project file.\n",
            true);
    missing(st.distanceMatrix && !st.matrixDataRead,
            "\tKeyword \"MatrixData\" not found in Distance Matrix section. Distance matrix is "
            "undefined. Check your project file.\n",
            true);
    missing(!st.samplesRead,
            "\tSection \"Samples\" not found in project. At least one sample needs to be defined. "
            "Check your project file.\n",
            true);
    if (st.samplesRead && !st.sampleSize) {
        log << "\tKeyword \"SampleSize\" not found in Samples section. Sample size is undefined.\n"
            << (GenotypicData != 0 ? "\t\tUsing sum of genotype frequencies. Check your project file.\n"
                                   : "\t\tUsing sum of haplotype frequencies. Check your project file.\n")
            << std::endl;
    }
    missing(st.samplesRead && !st.sampleData,
            "\tKeyword \"SampleData\" not found in Samples section. Sample data is undefined. Check "
            "your project file.\n",
            true);
    missing(st.structureRead && !st.nbGroups,
            "\tKeyword \"NbGroups\" not found in Structure section. Unknown number of groups to read. "
            "Check your project file.\n",
            true);
    missing(st.structureRead && !st.group,
            "\tKeyword \"Group\" not found in Structure section. No groups definition could be read. "
            "Check your project file.\n",
            true);
    missing(st.mantelRead && !st.mantelMatrixSize,
            "\tKeyword \"MatrixSize\" not found in Mantel section. Undefined size of matrices to be "
            "read. Check your project file.\n",
            true);
    missing(st.mantelRead && !st.mantelMatrixNumber,
            "\tKeyword \"MatrixNumber\" not found in Mantel section. Undefined number of matrices to "
            "be read. Check your project file.\n",
            true);
    missing(st.mantelRead && !st.mantelYMatrixLabels,
            "\tKeyword \"YMatrixLabels\" not found in Mantel section. Undefined matrix labels. Check "
            "your project file.\n",
            true);
    missing(st.mantelRead && !st.mantelDistMat,
            "\tKeyword \"DistMatMantel\" not found in Mantel section. Undefined matrix data. Check "
            "your project file.\n",
            true);
    missing(st.mantelRead && !st.mantelUsedYMatrixLabels,
            "\tKeyword \"UsedYMatrixLabels\" not found in Mantel section. Undefined matrix labels to "
            "be used for Mantel test. Check your project file.\n",
            true);
    return failed;
}

// ------------------------------------------------------------ [Data] part

int Project::read_Data(ReadState& st) {
    st.data = true;
    return 1;
}

int Project::read_HaplotypeDefinition(ReadState& st) {
    if (!st.data) {
        line_message(st.lineNo) << " : HaplotypeDefinition keyword declared before the beginning of "
                                   "the 'Data' section..."
                                << std::endl;
    }
    static_cast<ProfileSettings&>(haplotypes) = static_cast<ProfileSettings const&>(*this);
    haplotypes.haplotypes.Flush();
    st.haploDefinition = true;
    return 1;
}

int Project::read_HaplListName(ReadState& st) {
    if (!st.haploDefinition) {
        line_message(st.lineNo) << " : HaplListName keyword declared before the beginning of the "
                                   "'HaplotypeDefinition' section..."
                                << std::endl;
    }
    if (checkForPresenceOfEqualSign(st.line, "HaplListName", st.lineNo) == 0) return 1;
    my_string value;
    if (getQuotedString(st.line, value, "HaplListName", st.lineNo)) {
        haplotypes.name = value;
    } else {
        st.in.close();
        E.error(WARNING, reader_name, Msg::m34_bad_hapl_list_name);
        haplotypes.name = "";
    }
    return 1;
}

int Project::open_external(ReadState& st, std::ifstream& ext, char const* valueName, my_string& name) {
    if (!getQuotedString(st.line, name, valueName, st.lineNo) || name.length() == 0) {
        // No file to read from: the data would be missing altogether.
        *_AOS_ << "\tWarning: No external file name given on line " << st.lineNo
               << ". Aborting reading project" << std::endl;
        E.error(ERROR, reader_name, Msg::m200_cannot_read_extern_dist_mat);
        return 0;
    }
    open_input_file(ext, extern_file_path(name.c_str(), &options, ExternBase::ProjectFolder));
    if (!ext.is_open()) {
        *_AOS_ << "\tWarning: External file \"" << name << "\" listed on line " << st.lineNo
               << " cannot be open. Check that it exists. Aborting reading project" << std::endl;
        E.error(ERROR, reader_name, Msg::m200_cannot_read_extern_dist_mat);
        return 0;
    }
    return 1;
}

int Project::read_HaplList(ReadState& st) {
    if (!st.haploDefinition) {
        line_message(st.lineNo) << " : HaplList keyword declared before the beginning of the "
                                   "'HaplotypeDefinition' section...\n"
                                << "\t Stopping reading input file!" << std::endl;
        return 0;
    }
    std::clock_t const start = std::clock();
    *_AOS_ << "Reading Haplotype List ..." << std::endl;

    bool const external = st.line.contains("EXTERN") != 0;
    std::ifstream ext;
    if (external) {
        my_string name;
        if (open_external(st, ext, "Extern haplotype list", name) == 0) return 0;
        *_AOS_ << "\tReading haplotype list in external file \"" << name << "\"" << std::endl;
    }
    int counter = external ? 0 : st.lineNo;
    std::istream& source = external ? static_cast<std::istream&>(ext) : st.in;
    if (!haplotypes.NewReadHaplotypeList(source, *this, external, counter)) return 0;
    if (!external) st.lineNo = counter;

    *_AOS_ << "done ! (" << elapsed_ms_since(start) << " ms)" << std::endl;
    st.haploListRead = true;
    return 1;
}

int Project::read_DistanceMatrix(ReadState& st) {
    static_cast<ProfileSettings&>(distance_matrix) = static_cast<ProfileSettings const&>(*this);
    st.distanceMatrix = true;
    if (!st.data) {
        line_message(st.lineNo) << " : DistanceMatrix keyword declared before the beginning of the "
                                   "'Data' section..., "
                                << "aborting project reading!" << std::endl;
        return 0;
    }
    return 1;
}

int Project::read_MatrixName(ReadState& st) {
    if (checkForPresenceOfEqualSign(st.line, "MatrixName", st.lineNo) == 0) return 1;
    my_string value;
    if (getQuotedString(st.line, value, "MatrixName", st.lineNo)) {
        distance_matrix.MatrixName = value;
    } else {
        st.in.close();
        *_AOS_ << "\tWarning: Unable to read MatrixName on line " << st.lineNo << std::endl;
        E.error(WARNING, reader_name, Msg::m24_bad_dist_mat);
        distance_matrix.MatrixName = "undefined";
    }
    return 1;
}

int Project::read_MatrixSize(ReadState& st) {
    st.matrixSize = true;
    if (checkForPresenceOfEqualSign(st.line, "MatrixSize", st.lineNo) == 0) return 1;
    double number = 0.0;
    if (!getValue(st.line, number, "MatrixSize", st.lineNo)) {
        st.in.close();
        *_AOS_ << "\tWarning: Unable to read MatrixSize on line " << st.lineNo
               << ". Aborting project reading." << std::endl;
        E.error(ERROR, reader_name, Msg::m15_invalid_matrix_size);
        return 0;
    }
    // Not above 0 (NaN included), or too large for any matrix in memory.
    int size = 0;
    if (!(number > 0.0) || !checked_int(number, size) || size > TriMat::max_read_dim) {
        *_AOS_ << "\tBad size (" << number << ") for distance matrix \"" << distance_matrix.MatrixName
               << "\". Check size (" << number << ") reported on line " << st.lineNo << std::endl;
        if (number > TriMat::max_read_dim)
            *_AOS_ << "\tA distance matrix has at most " << TriMat::max_read_dim << " rows." << std::endl;
        E.error(ERROR, reader_name, Msg::m15_invalid_matrix_size);
        return 0;
    }
    bool sized = false;
    try {
        distance_matrix.initializeMatrixAndArrays(size);
        sized = distance_matrix.dim == size;
    } catch (std::bad_alloc const&) {
    } catch (std::length_error const&) {
    }
    if (!sized) {
        *_AOS_ << "\tUnable to allocate memory for distance matrix \"" << distance_matrix.MatrixName
               << "\". Required size (" << number << ") reported on line " << st.lineNo
               << " is probably too big..." << std::endl;
        E.error(MEMORY, reader_name, Msg::m0_not_enough_memory);
        return 0;  // reached only while no log is open
    }
    st.matrixSized = true;
    return 1;
}

int Project::read_LabelPosition(ReadState& st) {
    if (checkForPresenceOfEqualSign(st.line, "LabelPosition", st.lineNo) == 0) return 1;
    if (st.upper.contains("LINE")) {
        distance_matrix.LabelPosition = 0;
    } else if (st.upper.contains("COLUMN")) {
        distance_matrix.LabelPosition = 1;
    } else {
        *_AOS_ << "\tInvalid keyword for LabelPosition on line" << st.lineNo
               << ". Aborting reading project." << std::endl;
        E.error(ERROR, reader_name, Msg::m16_invalid_label_position);
        return 0;
    }
    return 1;
}

int Project::read_MatrixData(ReadState& st) {
    // The body is read into the matrix and labels that MatrixSize made;
    // without them there is nothing sound to read into.
    if (!st.matrixSized) {
        *_AOS_ << "\tNo valid \"MatrixSize\" defined before \"MatrixData\" on line " << st.lineNo
               << ". Aborting reading project." << std::endl;
        E.error(ERROR, reader_name, Msg::m14_no_matrix_size);
        return 0;
    }
    bool const external = st.line.contains("EXTERN") != 0;
    std::ifstream ext;
    if (external) {
        my_string name;
        if (open_external(st, ext, "Extern Distance Matrix ", name) == 0) return 0;
        *_AOS_ << "\tReading Distance Matrix in external file \"" << name << "\"" << std::endl;
        E.error(WARNING, reader_name, Msg::m17_reading_extern_dist_mat);
    }
    std::clock_t const start = std::clock();
    *_AOS_ << "\tReading distance matrix ..." << std::endl;
    int counter = external ? 0 : st.lineNo;
    std::istream& source = external ? static_cast<std::istream&>(ext) : st.in;
    if (distance_matrix.ReadDistanceMatrix(source, external, counter) == 0) {
        *_AOS_ << "\t\tProblems in reading DistanceMatrix section... aborting reading  project file.\n"
               << std::endl;
        return 0;
    }
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n" << "\n";
    if (!external) st.lineNo = counter;
    st.matrixDataRead = true;
    return 1;
}

int Project::read_Samples(ReadState& st) {
    std::clock_t const start = std::clock();
    *_AOS_ << "\tReading Samples section ..." << std::endl;
    if (samples->NewReadSamples(st.in, *this, haplotypes, st.lineNo, st.line, st.sampleName,
                                st.sampleSize, st.sampleData) == 0) {
        *_AOS_ << "\tProblems in reading Samples section... aborting reading  project file.\n"
               << std::endl;
        return 0;
    }
    remake_upper(st);
    *_AOS_ << "\tdone reading Samples section! (" << elapsed_ms_since(start) << " ms)" << "\n";
    st.samplesRead = true;
    return 1;
}

}  // namespace quintle
