#include "run/settings.h"

#include <climits>
#include <iterator>
#include <ostream>
#include <string_view>

#include "core/Errors.h"
#include "core/public.h"
#include "core/xml.h"
#include "run/private_profile.h"

namespace quintle {

bool silentPellomar = false;

namespace {

// How the text of a key becomes its field.
enum class Conv {
    Long32,          // my_atol, kept within int range
    Atoi32,          // my_atoi
    Long64,          // my_atol
    Double,          // my_atof
    Flag,            // true for any non-zero my_atol value
    DoubleFromLong,  // my_atol, stored as a double
    Text             // copied as it stands
};

struct KeySpec {
    std::string_view name;
    Conv conv;
    int settings::*i32 = nullptr;
    std::int64_t settings::*i64 = nullptr;
    double settings::*f64 = nullptr;
    bool settings::*flag = nullptr;
    my_string settings::*text = nullptr;
};

constexpr KeySpec L32(std::string_view n, int settings::*f) { return {n, Conv::Long32, f}; }
constexpr KeySpec A32(std::string_view n, int settings::*f) { return {n, Conv::Atoi32, f}; }
constexpr KeySpec L64(std::string_view n, std::int64_t settings::*f) {
    return {n, Conv::Long64, nullptr, f};
}
constexpr KeySpec DBL(std::string_view n, double settings::*f) {
    return {n, Conv::Double, nullptr, nullptr, f};
}
constexpr KeySpec DFL(std::string_view n, double settings::*f) {
    return {n, Conv::DoubleFromLong, nullptr, nullptr, f};
}
constexpr KeySpec FLG(std::string_view n, bool settings::*f) {
    return {n, Conv::Flag, nullptr, nullptr, nullptr, f};
}
constexpr KeySpec TXT(std::string_view n, my_string settings::*f) {
    return {n, Conv::Text, nullptr, nullptr, nullptr, nullptr, f};
}

using S = settings;

// Reading order matters: a key also matches the lines of the longer keys
// that contain it, so a settings file lists each shorter key first.
constexpr KeySpec key_table[] = {
    L64("TaskNumber", &S::TaskNumber),
    L32("XMLOutput", &S::XMLOutput),
    L32("pmlecore64", &S::pmlecore64),
    DBL("DeletionWeight", &S::DeletionWeight),
    DBL("TransitionWeight", &S::TransitionWeight),
    DBL("TranversionWeight", &S::TranversionWeight),
    L32("ComputeSumStatsWithinGroups", &S::ComputeSumStatsWithinGroups),
    L32("InferHaplotypeDefinitionFromDistanceMatrix", &S::InferHaplotypeDefinitionFromDistanceMatrix),
    L32("EliminateRedondHaplodefs", &S::EliminateRedondHaplodefs),
    DBL("AllowedLevelOfMissingData", &S::AllowedLevelOfMissingData),
    L32("GameticPhaseIsKnown", &S::GameticPhaseIsKnown),
    L32("HardyWeinbergTestType", &S::HardyWeinbergTestType),
    L32("MakeHWExactTest", &S::MakeHWExactTest),
    L64("MarkovChainStepsHW", &S::MarkovChainStepsHW),
    L64("MarkovChainDememorisationStepsHW", &S::MarkovChainDememorisationStepsHW),
    DBL("PrecisionOnPValueHW", &S::PrecisionOnPValueHW),
    L32("SignificanceLevelHW", &S::SignificanceLevelHW),
    L32("TypeOfTestHW", &S::TypeOfTestHW),
    L32("LinkageDisequilibriumTestType", &S::LinkageDisequilibriumTestType),
    L32("MakeExactTestLD", &S::MakeExactTestLD),
    L64("MarkovChainStepsLD", &S::MarkovChainStepsLD),
    L64("MarkovChainDememorisationStepsLD", &S::MarkovChainDememorisationStepsLD),
    DBL("PrecisionOnPValueLD", &S::PrecisionOnPValueLD),
    DBL("SignificanceLevelLD", &S::SignificanceLevelLD),
    L32("PrintFlagHistogramLD", &S::PrintFlagHistogramLD),
    L32("InitialCondEMLD", &S::InitialCondEMLD),
    L32("ComputeDvalues", &S::ComputeDvalues),
    L32("ComputeStandardDiversityIndices", &S::ComputeStandardDiversityIndices),
    FLG("ComputeAllAlleleFreqs", &S::ComputeAllAlleleFreqs),
    FLG("ComputeMissDataFreq", &S::ComputeMissDataFreq),
    L32("DistanceMethod", &S::DistanceMethod),
    DBL("GammaAValue", &S::GammaAValue),
    A32("PrintHaplDistMat", &S::PrintHaplDistMat),
    L32("ComputeTheta", &S::ComputeTheta),
    A32("PrintPopDistMat", &S::PrintPopDistMat),
    L32("ComputePopSFS", &S::ComputePopSFS),
    L32("ComputeJointSFS", &S::ComputeJointSFS),
    L32("ComputeMultiSFS", &S::ComputeMultiSFS),
    L32("NumBootSFS", &S::NumBootSFS),
    L32("MismatchDistanceMethod", &S::MismatchDistanceMethod),
    FLG("MismatchDemogExp", &S::MismatchDemogExp),
    FLG("MismatchSpatialExp", &S::MismatchSpatialExp),
    L32("MismatchSpatialExpNumParams", &S::MismatchSpatialExpNumParams),
    DBL("MismatchGammaAValue", &S::MismatchGammaAValue),
    L32("NumBootExpDem", &S::NumBootExpDem),
    L32("InitialConditionsEM", &S::InitialConditionsEM),
    L32("MaximumNumOfIterationsEM", &S::MaximumNumOfIterationsEM),
    A32("RecessiveAllelesEM", &S::RecessiveAllelesEM),
    L32("CompactHaplotypeDataBaseEM", &S::CompactHaplotypeDataBaseEM),
    L32("NumBootstrapReplicatesEM", &S::NumBootstrapReplicatesEM),
    L32("NumInitCondBootstrapEM", &S::NumInitCondBootstrapEM),
    L32("ComputeAllSubHaplotypesEM", &S::ComputeAllSubHaplotypesEM),
    L32("ComputeAllHaplotypesEM", &S::ComputeAllHaplotypesEM),
    L32("ComputeAllAllelesEM", &S::ComputeAllAllelesEM),
    DBL("EpsilonValue", &S::EpsilonValue),
    DBL("FrequencyThreshold", &S::FrequencyThreshold),
    L32("ComputeConventionalFST", &S::ComputeConventionalFST),
    L32("IncludeIndividualLevel", &S::IncludeIndividualLevel),
    L32("HaplAMOVA", &S::HaplAMOVA),
    L32("LocByLocAMOVA", &S::LocByLocAMOVA),
    L32("PopSpecificFST", &S::PopSpecificFST),
    L32("PopSpecificFIS", &S::PopSpecificFIS),
    L32("ComputeDistanceMatrixAMOVA", &S::ComputeDistanceMatrixAMOVA),
    L32("DistanceMethodAMOVA", &S::DistanceMethodAMOVA),
    DBL("GammaAValueAMOVA", &S::GammaAValueAMOVA),
    L32("PrintDistanceMatrix", &S::PrintDistanceMatrix),
    L32("TestSignificancePairewiseFST", &S::TestSignificancePairewiseFST),
    L64("NumPermutationsFST", &S::NumPermutationsFST),
    L32("ComputePairwiseFST", &S::ComputePairwiseFST),
    L32("ComputeDeltaMuSqr", &S::ComputeDeltaMuSqr),
    DBL("FSTSignifLevel", &S::FSTSignifLevel),
    L32("TestSignificanceAMOVA", &S::TestSignificanceAMOVA),
    L64("NumPermutationsAMOVA", &S::NumPermutationsAMOVA),
    L64("NumPermutPopDiff", &S::NumPermutPopDiff),
    L64("NumDememoPopDiff", &S::NumDememoPopDiff),
    DFL("PrecProbPopDiff", &S::PrecProbPopDiff),
    L32("PrintHistoPopDiff", &S::PrintHistoPopDiff),
    DBL("SignLevelPopDiff", &S::SignLevelPopDiff),
    L32("DetectSelectedLoci", &S::DetectSelectedLoci),
    L32("UseHierarchicalIslandModel", &S::UseHierarchicalIslandModel),
    L32("NumberOfGroupsForFDist2", &S::NumberOfGroupsForFDist2),
    L32("NumberOfDemesForFDist2", &S::NumberOfDemesForFDist2),
    L32("NumberOfSimsForFDist2", &S::NumberOfSimsForFDist2),
    L32("UseSimFileForFDist2", &S::UseSimFileForFDist2),
    TXT("SimFileNameForFDist2", &S::SimFileNameForFDist2),
    DBL("TargetHetLowBound", &S::TargetHetLowBound),
    DBL("TargetHetHighBound", &S::TargetHetHighBound),
    DBL("MinDafFreq", &S::MinDafFreq),
    L32("IterativeProcForFDist2", &S::IterativeProcForFDist2),
    L32("EwensWattersonHomozygosityTest", &S::EwensWattersonHomozygosityTest),
    L32("NumIterationsNeutralityTests", &S::NumIterationsNeutralityTests),
    L32("NumSimulFuTest", &S::NumSimulFuTest),
    L64("NumPermMantel", &S::NumPermMantel),
    L32("IsFontKnown", &S::IsFontKnown),
    L32("NbFrontSegments", &S::NbFrontSegments),
    DBL("SegmentLength", &S::SegmentLength),
    L32("NumOfGroups", &S::NumOfGroups),
    L32("DiffusionMode", &S::DiffusionMode),
    L32("NbFrontPerm", &S::NbFrontPerm),
    L32("PrintFstVals", &S::PrintFstVals),
    L32("PrintConcestryCoeff", &S::PrintConcestryCoeff),
    L32("PrintSlatkinsDist", &S::PrintSlatkinsDist),
    L32("PrintMissIntermatchs", &S::PrintMissIntermatchs),
    L32("UnequalPopSizeDiv", &S::UnequalPopSizeDiv),
    L32("PrintMinSpannNetworkPop", &S::PrintMinSpannNetworkPop),
    L32("PrintMinSpannNetworkGlob", &S::PrintMinSpannNetworkGlob),
    L32("KeepNullDistrib", &S::KeepNullDistrib),
    // Optional keys from here on.
    L32("EMEstimHaplFreqs", &S::ComputeAllHaplotypesEM),
    L32("EMEstimateInbreedingCoeff", &S::EMEstimateInbreedingCoeff),
    DBL("EMInbreedingFixedVal", &S::EMInbreedingFixedVal),
    L32("EMUseZipper", &S::EMUseZipper),
    L32("EMWinSize", &S::EMWinSize),
    L32("EMLociRandOrder", &S::EMLociRandOrder),
    L32("EMInbreedingEachLocus", &S::EMInbreedingEachLocus),
    L32("EMCheckPhenRedundancy", &S::EMCheckPhenRedundancy),
    L32("EMCompGamPhaseForAllInitConds", &S::EMCompGamPhaseForAllInitConds),
    L32("EMNumZipRandOrders", &S::EMNumZipRandOrders),
    L32("GibbsInferGamPhase", &S::GibbsInferGamPhase),
    L32("GibbsBurnIn", &S::GibbsBurnIn),
    L32("GibbsSamplingInterval", &S::GibbsSamplingInterval),
    L32("GibbsNumSamples", &S::GibbsNumSamples),
    DBL("GibbsAlphaInitValue", &S::GibbsAlphaInitValue),
    DBL("GibbsEpsilonValue", &S::GibbsEpsilonValue),
    DBL("GibbsGamma", &S::GibbsGamma),
    L32("GibbsHetSiteInfluenceZone", &S::GibbsHetSiteInfluenceZone),
    DBL("GibbsPercentageOfRecSteps", &S::GibbsPercentageOfRecSteps),
    L32("GibbsOutputGamPhase", &S::GibbsOutputGamPhase),
};

constexpr std::size_t key_count = std::size(key_table);
constexpr std::size_t first_optional_key = 107;
static_assert(key_count == 127);
static_assert(key_table[first_optional_key].name == "EMEstimHaplFreqs");
static_assert(key_table[first_optional_key - 1].name == "KeepNullDistrib");

// Values are looked up inside the first 100 characters of a line; the name of
// the simulation file may reach 400.
constexpr int value_window = 100;
constexpr int text_value_window = 400;

// Line ends and blanks after a value are not part of it.
void trim_value_end(std::string& value) {
    std::size_t end = value.size();
    while (end > 0) {
        char const c = value[end - 1];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
        --end;
    }
    value.resize(end);
}

// A 32-bit field holds the nearest int to a value out of its range.
int to_int(long value) {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

void store(settings& s, KeySpec const& k, char const* text) {
    switch (k.conv) {
        case Conv::Long32: s.*(k.i32) = to_int(my_atol(text)); break;
        case Conv::Atoi32: s.*(k.i32) = my_atoi(text); break;
        case Conv::Long64: s.*(k.i64) = my_atol(text); break;
        case Conv::Double: s.*(k.f64) = my_atof(text); break;
        case Conv::Flag: s.*(k.flag) = my_atol(text) != 0; break;
        case Conv::DoubleFromLong: s.*(k.f64) = static_cast<double>(my_atol(text)); break;
        case Conv::Text: s.*(k.text) = text; break;
    }
}

// Text up to, not including, the last '.' of the last path component; the
// whole text when that component has no '.'.
std::string without_extension(std::string const& path) {
    std::size_t const dot = path.find_last_of('.');
    if (dot == std::string::npos) return path;
    std::size_t const sep = path.find_last_of("/\\");
    if (sep != std::string::npos && sep > dot) return path;
    return path.substr(0, dot);
}

}  // namespace

settings::settings() { reset_initial_values(); }

settings::settings(settings const& other) : settings() { *this = other; }

settings& settings::operator=(settings const& other) {
    if (this == &other) return *this;
    // Not taken over: the phase files, which belong to the record that
    // opened them, and GraphicsFolder.
    stopFlag = other.stopFlag;
    ResultFile = other.ResultFile;
    GenotypicData = other.GenotypicData;
    GameticPhase = other.GameticPhase;
    EstimateHaplotypes = other.EstimateHaplotypes;
    PrintSampleAnchor = other.PrintSampleAnchor;
    RunFileFlag = other.RunFileFlag;
    quietMode = other.quietMode;
    LDPValue = other.LDPValue;
    HWPValue = other.HWPValue;
    project_allele_db = other.project_allele_db;
    current_samples = other.current_samples;
    current_structure = other.current_structure;
    current_dist_mat = other.current_dist_mat;
    current_haplotypes = other.current_haplotypes;
    current_allele_db = other.current_allele_db;

    SettingsFileName = other.SettingsFileName;
    ResultFolder = other.ResultFolder;
    ResultFileName = other.ResultFileName;
    res_file_copy = other.res_file_copy;
    ResultBaseName = other.ResultBaseName;
    BackupFileName = other.BackupFileName;
    ProjectFolder = other.ProjectFolder;
    MenuTreeFileName = other.MenuTreeFileName;
    MenuScriptFileName = other.MenuScriptFileName;
    MainPageFileName = other.MainPageFileName;
    exe_dir = other.exe_dir;
    style_file = other.style_file;
    menu_lib_file = other.menu_lib_file;
    time_stamp = other.time_stamp;
    AnchorPrefix = other.AnchorPrefix;
    SigmHistoFileNames = other.SigmHistoFileNames;
    LDHistoFileName = other.LDHistoFileName;

    for (KeySpec const& k : key_table) {
        switch (k.conv) {
            case Conv::Long32:
            case Conv::Atoi32: this->*(k.i32) = other.*(k.i32); break;
            case Conv::Long64: this->*(k.i64) = other.*(k.i64); break;
            case Conv::Double:
            case Conv::DoubleFromLong: this->*(k.f64) = other.*(k.f64); break;
            case Conv::Flag: this->*(k.flag) = other.*(k.flag); break;
            case Conv::Text: this->*(k.text) = other.*(k.text); break;
        }
    }
    return *this;
}

void settings::reset_initial_values() {
    stopFlag = 0;
    ResultFile = nullptr;
    EstimateHaplotypes = 1;
    PrintSampleAnchor = 1;
    RunFileFlag = 1;
    quietMode = false;
    LDPValue = 1.0;
    HWPValue = 1.0;
    project_allele_db = nullptr;
    current_samples = nullptr;
    current_structure = nullptr;
    current_dist_mat = nullptr;
    current_haplotypes = nullptr;
    current_allele_db = nullptr;

    // MenuTreeFileName, MenuScriptFileName, MainPageFileName and
    // GraphicsFolder are left to the name builders.
    SettingsFileName = "";
    ResultFolder = "";
    ResultFileName = "";
    res_file_copy = "";
    ResultBaseName = "";
    BackupFileName = "";
    ProjectFolder = "";
    exe_dir = "";
    style_file = "";
    menu_lib_file = "";
    time_stamp = "";
    AnchorPrefix = "";
    for (my_string& name : SigmHistoFileNames) name = "";
    LDHistoFileName = "ld_dis.xl";

    TaskNumber = 0;
    XMLOutput = 1;
    pmlecore64 = 1;
    DeletionWeight = 1.0;
    TransitionWeight = 1.0;
    TranversionWeight = 1.0;
    ComputeSumStatsWithinGroups = 0;
    InferHaplotypeDefinitionFromDistanceMatrix = 0;
    EliminateRedondHaplodefs = 0;
    AllowedLevelOfMissingData = 0.05;
    GameticPhaseIsKnown = 0;
    HardyWeinbergTestType = 0;
    MakeHWExactTest = 0;
    MarkovChainStepsHW = 1000000;
    MarkovChainDememorisationStepsHW = 100000;
    PrecisionOnPValueHW = 0.0;
    SignificanceLevelHW = 2;
    TypeOfTestHW = 0;
    LinkageDisequilibriumTestType = 0;
    MakeExactTestLD = 0;
    // Unphased genotypes are tested by permutation, which needs fewer steps.
    MarkovChainStepsLD = (GenotypicData == 0 || GameticPhase != 0) ? 100000 : 1000;
    MarkovChainDememorisationStepsLD = 1000;
    PrecisionOnPValueLD = 0.0;
    SignificanceLevelLD = 0.05;
    PrintFlagHistogramLD = 0;
    InitialCondEMLD = 2;
    ComputeDvalues = 0;
    ComputeStandardDiversityIndices = 0;
    ComputeAllAlleleFreqs = false;
    ComputeMissDataFreq = false;
    DistanceMethod = 0;
    GammaAValue = 0.0;
    PrintHaplDistMat = 0;
    ComputeTheta = 0;
    PrintPopDistMat = 0;
    ComputePopSFS = 0;
    ComputeJointSFS = 0;
    ComputeMultiSFS = 0;
    NumBootSFS = 0;
    MismatchDistanceMethod = 0;
    MismatchDemogExp = false;
    MismatchSpatialExp = false;
    MismatchSpatialExpNumParams = 0;
    MismatchGammaAValue = 0.0;
    NumBootExpDem = 100;
    InitialConditionsEM = 50;
    MaximumNumOfIterationsEM = 1000;
    RecessiveAllelesEM = 0;
    CompactHaplotypeDataBaseEM = 0;
    NumBootstrapReplicatesEM = 0;
    NumInitCondBootstrapEM = 10;
    ComputeAllSubHaplotypesEM = 0;
    ComputeAllHaplotypesEM = 0;
    ComputeAllAllelesEM = 0;
    EpsilonValue = 1e-7;
    FrequencyThreshold = 1e-5;
    ComputeConventionalFST = 0;
    IncludeIndividualLevel = 0;
    HaplAMOVA = 0;
    LocByLocAMOVA = 0;
    PopSpecificFST = 0;
    PopSpecificFIS = 0;
    ComputeDistanceMatrixAMOVA = 1;
    DistanceMethodAMOVA = 0;
    GammaAValueAMOVA = 0.0;
    PrintDistanceMatrix = 0;
    TestSignificancePairewiseFST = 0;
    NumPermutationsFST = 100;
    ComputePairwiseFST = 0;
    ComputeDeltaMuSqr = 0;
    FSTSignifLevel = 0.05;
    TestSignificanceAMOVA = 0;
    NumPermutationsAMOVA = 1000;
    NumPermutPopDiff = 100000;
    NumDememoPopDiff = 10000;
    PrecProbPopDiff = 0.0;
    PrintHistoPopDiff = 1;
    SignLevelPopDiff = 0.05;
    DetectSelectedLoci = 0;
    UseHierarchicalIslandModel = 0;
    NumberOfGroupsForFDist2 = 10;
    NumberOfDemesForFDist2 = 100;
    NumberOfSimsForFDist2 = 20000;
    UseSimFileForFDist2 = 0;
    SimFileNameForFDist2 = "";
    TargetHetLowBound = 0.0;
    TargetHetHighBound = 1.0;
    MinDafFreq = 0.0;
    IterativeProcForFDist2 = 0;
    EwensWattersonHomozygosityTest = 0;
    NumIterationsNeutralityTests = 1000;
    NumSimulFuTest = 1000;
    NumPermMantel = 1000;
    IsFontKnown = 0;
    NbFrontSegments = 0;
    SegmentLength = 0.0;
    NumOfGroups = 1;
    DiffusionMode = 2;
    NbFrontPerm = 0;
    PrintFstVals = 0;
    PrintConcestryCoeff = 0;
    PrintSlatkinsDist = 0;
    PrintMissIntermatchs = 0;
    UnequalPopSizeDiv = 0;
    PrintMinSpannNetworkPop = 0;
    PrintMinSpannNetworkGlob = 0;
    KeepNullDistrib = 0;
    EMEstimateInbreedingCoeff = 0;
    EMInbreedingFixedVal = 0.0;
    EMUseZipper = 0;
    EMWinSize = 1;
    EMLociRandOrder = 0;
    EMInbreedingEachLocus = 0;
    EMCheckPhenRedundancy = 0;
    EMCompGamPhaseForAllInitConds = 0;
    EMNumZipRandOrders = 0;
    GibbsInferGamPhase = 0;
    GibbsBurnIn = 100000;
    GibbsSamplingInterval = 500;
    GibbsNumSamples = 2000;
    GibbsAlphaInitValue = 0.01;
    GibbsEpsilonValue = 0.01;
    GibbsGamma = 0.0;
    GibbsHetSiteInfluenceZone = 5;
    GibbsPercentageOfRecSteps = 0.0;
    GibbsOutputGamPhase = 0;
}

void settings::read_settings(my_string const& fileName) {
    PrivateProfile const profile(fileName.c_str());
    std::string value;
    for (std::size_t i = 0; i < key_count; ++i) {
        KeySpec const& k = key_table[i];
        int const window = k.conv == Conv::Text ? text_value_window : value_window;
        bool const found = profile.lookup(k.name, window, value);
        if (i >= first_optional_key && !found) continue;
        trim_value_end(value);
        store(*this, k, value.c_str());
        // The older name of the same switch: a value given under it counts
        // for both.
        if (k.name == "PrintPopDistMat" && !value.empty()) PrintHaplDistMat = PrintPopDistMat;
    }
    EstimateHaplotypes =
        (ComputeAllAllelesEM != 0 || ComputeAllHaplotypesEM != 0 || GibbsInferGamPhase != 0) ? 1 : 0;
}

void settings::build_sigm_histo_f_name() {
    static constexpr char const* suffixes[4] = {".va", ".vb", ".vc", ".vd"};
    std::string const base = without_extension(ResultFileName.c_str());
    for (std::size_t i = 0; i < SigmHistoFileNames.size(); ++i)
        SigmHistoFileNames[i] = (base + suffixes[i]).c_str();
}

void settings::buildFilenamesFromCurrentProjectName(char const* projectPath) {
    std::string const path = projectPath != nullptr ? projectPath : "";
    std::size_t const sep = path.find_last_of("/\\");
    std::string const folder = sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
    std::string const file = sep == std::string::npos ? path : path.substr(sep + 1);
    std::string const base = without_extension(file);
    std::string const result_folder = folder + base + ".res/";
    std::string const result_base = result_folder + base;
    std::string const result_file = result_base + (xmlOutput ? ".xml" : ".htm");

    ResultFolder = result_folder.c_str();
    input_file = (result_folder + file).c_str();
    ProjectFolder = folder.c_str();
    ResultFileName = result_file.c_str();
    res_file_copy = result_file.c_str();
    ResultBaseName = result_base.c_str();
    MenuTreeFileName = (result_base + "_tree.htm").c_str();
    MenuScriptFileName = (result_base + ".js").c_str();
    MainPageFileName = (result_base + "_main.htm").c_str();
    GraphicsFolder = (result_folder + "Graphics/").c_str();
}

std::string settings::progress_line() {
    std::string line;
    if (global_work_to_do > 0.0) {
        double const percent = global_work_done * 100.0 / global_work_to_do;
        int shown = 100;
        if (percent < 0.0)
            shown = 0;
        else if (percent < 100.0)
            shown = static_cast<int>(percent);
        line = std::to_string(shown) + "% : ";
    }
    line += message.c_str();
    return line;
}

void settings::print_message() {
    if (silentPellomar) return;
    // A console run shows no progress: the line is formed and dropped.
    [[maybe_unused]] std::string const line = progress_line();
}

void settings::print_info(char const* text) {
    *_AOS_ << (text != nullptr ? text : "") << std::endl;
}

}  // namespace quintle
