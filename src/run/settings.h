#pragma once

// The analysis settings of a run: which analyses to compute (the task bits of
// TaskNumber), the parameters of each, and the names of a project run's
// output files. One record lives in the project object; read_settings fills
// it from the settings file and every analysis reads the fields it needs.
//
// Other names under which some analyses know these fields:
//   stopFlag          stop_flag, stopRequest
//   ResultFile        result_stream, resultFile, resultStream
//   GenotypicData     genotypic_data
//   GameticPhase      gametic_phase
//   PrintSampleAnchor the report flag, the sample-header switch
//   EstimateHaplotypes the haplotype-estimation switch
//   RunFileFlag       append_results, run_file_flag
//   project_allele_db allele_db, alleleDB
//   LDPValue, HWPValue the LD and HW P-value fields
//   SettingsFileName  settings_file
//   ResultFolder      proj_dir (the result folder, ending with '/')
//   ResultFileName    res_file, result_file
//   res_file_copy     the second result-file name
//   BackupFileName    bac_file
//   ProjectFolder     proj_folder, project_dir (folder of the project file)
//   MenuTreeFileName  tree_file
//   MenuScriptFileName menu_file
//   MainPageFileName  main_file
//   LDHistoFileName   ld_dist_file, the LD histogram file name
//   ResultBaseName    the result base name
//   time_stamp        the run's start time, used by the result-file frame's anchors

#include <array>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "core/my_string.h"
#include "run/ProfileSettings.h"

namespace quintle {

class TAlleleDB;
class Samples;
class Structure;
class DistMat;
class Haplo_DB;
class TriMat;  // for the printouts below

// True when the program runs silently (command-line argument RUN_SILENT).
extern bool silentPellomar;

class settings {
public:
    // Every field starts at its default through reset_initial_values.

    // --- fields that no key sets ---------------------------------------
    // Nonzero asks the run loop and every long analysis to stop.
    int stopFlag{};
    // The open result file of the current project (not owned).
    std::fstream* ResultFile{};
    // The menu script of the current project run while the run holds it in
    // memory (not owned; see RunMenuScript), else null.
    std::ostream* MenuScript{};
    // Copies of the project profile's flags, made by the project run.
    int GenotypicData{};
    int GameticPhase{};
    // 1 when haplotype frequencies are to be estimated (set by read_settings).
    int EstimateHaplotypes{};
    // Nonzero: analyses write each sample's anchor and heading.
    int PrintSampleAnchor{};
    // Nonzero: project output files are appended to instead of rewritten.
    int RunFileFlag{};
    // Set only by the scan for loci under selection, for its duration.
    bool quietMode{};
    // P values handed back by the LD and HW tests to their drivers.
    double LDPValue{};
    double HWPValue{};
    // The project's allele database and the data of the analysis in
    // progress (none owned).
    TAlleleDB* project_allele_db{};
    Samples* current_samples{};
    Structure* current_structure{};
    DistMat* current_dist_mat{};
    Haplo_DB* current_haplotypes{};
    TAlleleDB* current_allele_db{};

    // Names of files and folders of the current project.
    my_string SettingsFileName;
    my_string ResultFolder;
    my_string ResultFileName;
    my_string res_file_copy;
    my_string ResultBaseName;
    my_string BackupFileName;
    my_string ProjectFolder;
    my_string MenuTreeFileName;
    my_string MenuScriptFileName;
    my_string MainPageFileName;
    my_string GraphicsFolder;
    my_string exe_dir;
    my_string style_file;
    my_string menu_lib_file;
    my_string time_stamp;
    // Prefix of every anchor written by the entry writers; nothing sets it,
    // so anchor names are their suffix alone.
    my_string AnchorPrefix;
    // AMOVA null-distribution files (".va" to ".vd"), see build_sigm_histo_f_name.
    std::array<my_string, 4> SigmHistoFileNames;
    my_string LDHistoFileName;

    // Phase files of the Vosk phasing output: names and streams, entry 0 the
    // best phases, entry k the k-th sampled phases. Filled by the
    // summary-statistics pass; the record owns them.
    std::vector<my_string> GibbsPhaseFileNames;
    std::vector<std::ofstream> GibbsPhaseStreams;
    // Window size of the Vosk phasing: shown in its report, used by no
    // computation; no key sets it (0).
    int GibbsWindowSize{};

    // --- keys of the settings file ---------------------------------------
    // Each is one row of the key table (settings_keys.cpp), which gives its
    // default, its conversion and its place in the written file. A field
    // that no key sets belongs above, with its default in
    // reset_initial_values and its copy in operator=.
    // Task bits: 1 standard indices, 2 molecular diversity, 4 mismatch
    // distribution, 8 haplotype frequencies, 16 linkage disequilibrium,
    // 32 Hardy-Weinberg, 64 Tajima, 128 Ewens-Watterson, 256 Chakraborty,
    // 512 AMOVA, 1024 pairwise FST, 2048 pairwise genetic distances,
    // 4096 AMOVA permutation preparation, 8192 exact test of differentiation,
    // 16384 Fu's Fs, 32768 genotype assignment, 65536 Mantel test.
    std::int64_t TaskNumber{};
    int XMLOutput{};
    int pmlecore64{};
    double DeletionWeight{};
    double TransitionWeight{};
    double TranversionWeight{};
    int ComputeSumStatsWithinGroups{};
    int InferHaplotypeDefinitionFromDistanceMatrix{};
    int EliminateRedondHaplodefs{};
    double AllowedLevelOfMissingData{};
    int GameticPhaseIsKnown{};
    int HardyWeinbergTestType{};
    int MakeHWExactTest{};
    std::int64_t MarkovChainStepsHW{};
    std::int64_t MarkovChainDememorisationStepsHW{};
    double PrecisionOnPValueHW{};
    int SignificanceLevelHW{};
    int TypeOfTestHW{};
    int LinkageDisequilibriumTestType{};
    int MakeExactTestLD{};
    std::int64_t MarkovChainStepsLD{};
    std::int64_t MarkovChainDememorisationStepsLD{};
    double PrecisionOnPValueLD{};
    double SignificanceLevelLD{};
    int PrintFlagHistogramLD{};
    int InitialCondEMLD{};
    int ComputeDvalues{};
    int ComputeStandardDiversityIndices{};
    bool ComputeAllAlleleFreqs{};
    bool ComputeMissDataFreq{};
    // DNA: DIFF 0, JUKES_CANTOR 1, KIMURA_2P 2, P_DIST 3, TAJIMA_NEI 4,
    // TAMURA 5, TAMURA_NEI 6; microsatellites: COUNT_DIFF 0 (FST),
    // MICRO_SQR_DIFF 1 (RST); standard data: 0; RFLP: RFLP_DIFF 0, RFLP_P_DIST 1.
    int DistanceMethod{};
    double GammaAValue{};
    int PrintHaplDistMat{};
    int ComputeTheta{};  // +1 Theta(Hom), +2 Theta(S), +4 Theta(k), +8 Theta(pi)
    int PrintPopDistMat{};
    int ComputePopSFS{};
    int ComputeJointSFS{};
    int ComputeMultiSFS{};
    int NumBootSFS{};
    int MismatchDistanceMethod{};
    bool MismatchDemogExp{};
    bool MismatchSpatialExp{};
    int MismatchSpatialExpNumParams{};
    double MismatchGammaAValue{};
    int NumBootExpDem{};
    int InitialConditionsEM{};
    int MaximumNumOfIterationsEM{};
    int RecessiveAllelesEM{};
    int CompactHaplotypeDataBaseEM{};
    int NumBootstrapReplicatesEM{};
    int NumInitCondBootstrapEM{};
    int ComputeAllSubHaplotypesEM{};
    int ComputeAllHaplotypesEM{};  // also key EMEstimHaplFreqs
    int ComputeAllAllelesEM{};
    double EpsilonValue{};
    double FrequencyThreshold{};
    int ComputeConventionalFST{};
    int IncludeIndividualLevel{};
    int HaplAMOVA{};
    int LocByLocAMOVA{};
    int PopSpecificFST{};
    int PopSpecificFIS{};
    int ComputeDistanceMatrixAMOVA{};
    int DistanceMethodAMOVA{};  // codes as DistanceMethod
    double GammaAValueAMOVA{};
    int PrintDistanceMatrix{};
    int TestSignificancePairewiseFST{};
    std::int64_t NumPermutationsFST{};
    int ComputePairwiseFST{};
    int ComputeDeltaMuSqr{};
    double FSTSignifLevel{};
    int TestSignificanceAMOVA{};
    std::int64_t NumPermutationsAMOVA{};
    std::int64_t NumPermutPopDiff{};
    std::int64_t NumDememoPopDiff{};
    double PrecProbPopDiff{};  // read as an integer
    int PrintHistoPopDiff{};
    double SignLevelPopDiff{};
    int DetectSelectedLoci{};
    int UseHierarchicalIslandModel{};
    int NumberOfGroupsForFDist2{};
    int NumberOfDemesForFDist2{};
    int NumberOfSimsForFDist2{};
    int UseSimFileForFDist2{};
    my_string SimFileNameForFDist2;
    double TargetHetLowBound{};
    double TargetHetHighBound{};
    double MinDafFreq{};
    int IterativeProcForFDist2{};
    int EwensWattersonHomozygosityTest{};
    int NumIterationsNeutralityTests{};
    int NumSimulFuTest{};
    std::int64_t NumPermMantel{};
    int IsFontKnown{};
    int NbFrontSegments{};
    double SegmentLength{};
    int NumOfGroups{};
    int DiffusionMode{};
    int NbFrontPerm{};
    int PrintFstVals{};
    int PrintConcestryCoeff{};
    int PrintSlatkinsDist{};
    int PrintMissIntermatchs{};
    int UnequalPopSizeDiv{};
    int PrintMinSpannNetworkPop{};
    int PrintMinSpannNetworkGlob{};
    int KeepNullDistrib{};
    // Optional keys: absent from a settings file, they keep their values.
    int EMEstimateInbreedingCoeff{};
    double EMInbreedingFixedVal{};
    int EMUseZipper{};
    int EMWinSize{};
    int EMLociRandOrder{};
    int EMInbreedingEachLocus{};
    int EMCheckPhenRedundancy{};
    int EMCompGamPhaseForAllInitConds{};
    int EMNumZipRandOrders{};
    int GibbsInferGamPhase{};
    int GibbsBurnIn{};
    int GibbsSamplingInterval{};
    int GibbsNumSamples{};
    double GibbsAlphaInitValue{};
    double GibbsEpsilonValue{};
    double GibbsGamma{};
    int GibbsHetSiteInfluenceZone{};
    double GibbsPercentageOfRecSteps{};
    int GibbsOutputGamPhase{};

    // --- run-wide state -----------------------------------------------
    // Path of the project file being analysed. It outlives every record:
    // readers and batch writers use it between projects too.
    static inline my_string input_file;
    // Progress reporting: work planned and done, and the current message.
    static inline double global_work_to_do = 0.0;
    static inline double global_work_done = 0.0;
    static inline my_string message;
    // Projects finished in this run.
    static inline int num_proj_done = 0;
    // List file of the Vosk phasing output.
    static inline my_string gibbs_BatchFilename{"none"};

    settings();
    // A copy takes what operator= takes; the phase files stay with the original.
    settings(settings const& other);
    ~settings() = default;

    // Copies every value and name but GraphicsFolder; the phase files are
    // not taken over.
    settings& operator=(settings const& other);

    // Gives every field its default.
    void reset_initial_values();

    // Reads all keys from the settings file, which is read once. An absent
    // key takes 0, an absent optional key (EMEstimHaplFreqs and the keys
    // from EMEstimateInbreedingCoeff on) keeps its value.
    void read_settings(my_string const& fileName);

    // Names the four AMOVA null-distribution files after ResultFileName,
    // with the extensions ".va", ".vb", ".vc" and ".vd".
    void build_sigm_histo_f_name();

    // Builds the result folder and every result name from a project path;
    // input_file becomes the project's copy inside the result folder.
    void buildFilenamesFromCurrentProjectName(char const* projectPath);

    // Progress hook of the long analyses. A console run shows no progress:
    // it forms no line and writes nothing.
    static void print_message();
    // The progress line: "<percent>% : <message>", or the message alone
    // while no work is planned.
    static std::string progress_line();

    // Writes the text and a line end to the log stream and flushes it.
    static void print_info(char const* text);

    // --- printouts (settings_print.cpp) ---------------------------------
    // None of them changes the record.

    // Writes the whole settings file, the counterpart of read_settings: a
    // banner, "[Setting for Calculations]" and every key with its comment
    // lines. A file that cannot be created is silently skipped.
    void print_settings(my_string const& fileName) const;
    // One key line: key, "=", value, line end; flushes. Returns 0.
    static int aWritePrivateProfileString(char const* key, char const* value, std::ostream& out);
    // The readable block "Settings used for Calculations" of a result file,
    // its distance methods named for data of that type. The first form
    // takes the type of the project read last (the profile reader's).
    void print_pretty_settings(std::ostream& out) const;
    void print_pretty_settings(std::ostream& out, TDataType type) const;
    // Name of a distance method for data of that type and a line end, or
    // nothing at all for a code without a name.
    void print_distance_method(std::ostream& out, int code, TDataType type) const;
    // Table of significant linkage disequilibrium between the loci, written
    // to ResultFile; `matrix` is indexed by positions in `locusIds`.
    // Returns 1.
    int print_diseq_table(TriMat const& matrix, int nLoci, int const* locusIds) const;
};

}  // namespace quintle
