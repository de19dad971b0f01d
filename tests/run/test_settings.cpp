#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

#include <chrono>
#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/xml.h"
#include "run/private_profile.h"
#include "run/settings.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

// Number texts are read by the program's own conversion, which reaches a
// decimal through a power of ten computed with exp(); compare doubles with a
// small relative tolerance.
void expectClose(double actual, double expected, char const* what) {
    double const tol = 1e-12 * std::max(1.0, std::fabs(expected));
    EXPECT_NEAR(actual, expected, tol) << what;
}
#define EXPECT_CLOSE(a, e) expectClose((a), (e), #a)

class TempDir {
public:
    TempDir() {
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = fs::temp_directory_path() /
                ("quintle_settings_" + std::to_string(::getpid()) + "_" + std::to_string(stamp));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    fs::path const& path() const { return path_; }
    std::string file(std::string const& name, std::string const& text) const {
        fs::path p = path_ / name;
        std::ofstream out(p, std::ios::binary);
        out << text;
        return p.string();
    }
    my_string pms(std::string const& name, std::string const& text) const {
        return my_string(file(name, text).c_str());
    }

private:
    fs::path path_;
};

std::string lines(std::vector<std::string> const& ls, char const* eol = "\n") {
    std::string text;
    for (auto const& l : ls) text += l + eol;
    return text;
}

// Keeps the run-wide statics of the class as a test found them.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedInput_ = settings::input_file.c_str();
        savedMessage_ = settings::message.c_str();
        savedToDo_ = settings::global_work_to_do;
        savedDone_ = settings::global_work_done;
        savedXml_ = xmlOutput;
        savedSilent_ = silentPellomar;
    }
    void TearDown() override {
        settings::input_file = savedInput_.c_str();
        settings::message = savedMessage_.c_str();
        settings::global_work_to_do = savedToDo_;
        settings::global_work_done = savedDone_;
        xmlOutput = savedXml_;
        silentPellomar = savedSilent_;
    }
    TempDir dir_;

private:
    std::string savedInput_, savedMessage_;
    double savedToDo_ = 0, savedDone_ = 0;
    bool savedXml_ = true, savedSilent_ = false;
};

// ---------------------------------------------------------------- defaults

TEST_F(SettingsTest, FreshRecordHoldsTheDefaultOfEveryKey) {
    settings s;
    EXPECT_EQ(s.TaskNumber, 0);
    EXPECT_EQ(s.XMLOutput, 1);
    EXPECT_EQ(s.pmlecore64, 1);
    EXPECT_EQ(s.DeletionWeight, 1.0);
    EXPECT_EQ(s.TransitionWeight, 1.0);
    EXPECT_EQ(s.TranversionWeight, 1.0);
    EXPECT_EQ(s.ComputeSumStatsWithinGroups, 0);
    EXPECT_EQ(s.InferHaplotypeDefinitionFromDistanceMatrix, 0);
    EXPECT_EQ(s.EliminateRedondHaplodefs, 0);
    EXPECT_EQ(s.AllowedLevelOfMissingData, 0.05);
    EXPECT_EQ(s.GameticPhaseIsKnown, 0);
    EXPECT_EQ(s.HardyWeinbergTestType, 0);
    EXPECT_EQ(s.MakeHWExactTest, 0);
    EXPECT_EQ(s.MarkovChainStepsHW, 1000000);
    EXPECT_EQ(s.MarkovChainDememorisationStepsHW, 100000);
    EXPECT_EQ(s.PrecisionOnPValueHW, 0.0);
    EXPECT_EQ(s.SignificanceLevelHW, 2);
    EXPECT_EQ(s.TypeOfTestHW, 0);
    EXPECT_EQ(s.LinkageDisequilibriumTestType, 0);
    EXPECT_EQ(s.MakeExactTestLD, 0);
    EXPECT_EQ(s.MarkovChainStepsLD, 100000);  // haploid until the project says otherwise
    EXPECT_EQ(s.MarkovChainDememorisationStepsLD, 1000);
    EXPECT_EQ(s.PrecisionOnPValueLD, 0.0);
    EXPECT_EQ(s.SignificanceLevelLD, 0.05);
    EXPECT_EQ(s.PrintFlagHistogramLD, 0);
    EXPECT_EQ(s.InitialCondEMLD, 2);
    EXPECT_EQ(s.ComputeDvalues, 0);
    EXPECT_EQ(s.ComputeStandardDiversityIndices, 0);
    EXPECT_FALSE(s.ComputeAllAlleleFreqs);
    EXPECT_FALSE(s.ComputeMissDataFreq);
    EXPECT_EQ(s.DistanceMethod, 0);
    EXPECT_EQ(s.GammaAValue, 0.0);
    EXPECT_EQ(s.PrintHaplDistMat, 0);
    EXPECT_EQ(s.ComputeTheta, 0);
    EXPECT_EQ(s.PrintPopDistMat, 0);
    EXPECT_EQ(s.ComputePopSFS, 0);
    EXPECT_EQ(s.ComputeJointSFS, 0);
    EXPECT_EQ(s.ComputeMultiSFS, 0);
    EXPECT_EQ(s.NumBootSFS, 0);
    EXPECT_EQ(s.MismatchDistanceMethod, 0);
    EXPECT_FALSE(s.MismatchDemogExp);
    EXPECT_FALSE(s.MismatchSpatialExp);
    EXPECT_EQ(s.MismatchSpatialExpNumParams, 0);
    EXPECT_EQ(s.MismatchGammaAValue, 0.0);
    EXPECT_EQ(s.NumBootExpDem, 100);
    EXPECT_EQ(s.InitialConditionsEM, 50);
    EXPECT_EQ(s.MaximumNumOfIterationsEM, 1000);
    EXPECT_EQ(s.RecessiveAllelesEM, 0);
    EXPECT_EQ(s.CompactHaplotypeDataBaseEM, 0);
    EXPECT_EQ(s.NumBootstrapReplicatesEM, 0);
    EXPECT_EQ(s.NumInitCondBootstrapEM, 10);
    EXPECT_EQ(s.ComputeAllSubHaplotypesEM, 0);
    EXPECT_EQ(s.ComputeAllHaplotypesEM, 0);
    EXPECT_EQ(s.ComputeAllAllelesEM, 0);
    EXPECT_EQ(s.EpsilonValue, 1e-7);
    EXPECT_EQ(s.FrequencyThreshold, 1e-5);
    EXPECT_EQ(s.ComputeConventionalFST, 0);
    EXPECT_EQ(s.IncludeIndividualLevel, 0);
    EXPECT_EQ(s.HaplAMOVA, 0);
    EXPECT_EQ(s.LocByLocAMOVA, 0);
    EXPECT_EQ(s.PopSpecificFST, 0);
    EXPECT_EQ(s.PopSpecificFIS, 0);
    EXPECT_EQ(s.ComputeDistanceMatrixAMOVA, 1);
    EXPECT_EQ(s.DistanceMethodAMOVA, 0);
    EXPECT_EQ(s.GammaAValueAMOVA, 0.0);
    EXPECT_EQ(s.PrintDistanceMatrix, 0);
    EXPECT_EQ(s.TestSignificancePairewiseFST, 0);
    EXPECT_EQ(s.NumPermutationsFST, 100);
    EXPECT_EQ(s.ComputePairwiseFST, 0);
    EXPECT_EQ(s.ComputeDeltaMuSqr, 0);
    EXPECT_EQ(s.FSTSignifLevel, 0.05);
    EXPECT_EQ(s.TestSignificanceAMOVA, 0);
    EXPECT_EQ(s.NumPermutationsAMOVA, 1000);
    EXPECT_EQ(s.NumPermutPopDiff, 100000);
    EXPECT_EQ(s.NumDememoPopDiff, 10000);
    EXPECT_EQ(s.PrecProbPopDiff, 0.0);
    EXPECT_EQ(s.PrintHistoPopDiff, 1);
    EXPECT_EQ(s.SignLevelPopDiff, 0.05);
    EXPECT_EQ(s.DetectSelectedLoci, 0);
    EXPECT_EQ(s.UseHierarchicalIslandModel, 0);
    EXPECT_EQ(s.NumberOfGroupsForFDist2, 10);
    EXPECT_EQ(s.NumberOfDemesForFDist2, 100);
    EXPECT_EQ(s.NumberOfSimsForFDist2, 20000);
    EXPECT_EQ(s.UseSimFileForFDist2, 0);
    EXPECT_STREQ(s.SimFileNameForFDist2.c_str(), "");
    EXPECT_EQ(s.TargetHetLowBound, 0.0);
    EXPECT_EQ(s.TargetHetHighBound, 1.0);
    EXPECT_EQ(s.MinDafFreq, 0.0);
    EXPECT_EQ(s.IterativeProcForFDist2, 0);
    EXPECT_EQ(s.EwensWattersonHomozygosityTest, 0);
    EXPECT_EQ(s.NumIterationsNeutralityTests, 1000);
    EXPECT_EQ(s.NumSimulFuTest, 1000);
    EXPECT_EQ(s.NumPermMantel, 1000);
    EXPECT_EQ(s.IsFontKnown, 0);
    EXPECT_EQ(s.NbFrontSegments, 0);
    EXPECT_EQ(s.SegmentLength, 0.0);
    EXPECT_EQ(s.NumOfGroups, 1);
    EXPECT_EQ(s.DiffusionMode, 2);
    EXPECT_EQ(s.NbFrontPerm, 0);
    EXPECT_EQ(s.PrintFstVals, 0);
    EXPECT_EQ(s.PrintConcestryCoeff, 0);
    EXPECT_EQ(s.PrintSlatkinsDist, 0);
    EXPECT_EQ(s.PrintMissIntermatchs, 0);
    EXPECT_EQ(s.UnequalPopSizeDiv, 0);
    EXPECT_EQ(s.PrintMinSpannNetworkPop, 0);
    EXPECT_EQ(s.PrintMinSpannNetworkGlob, 0);
    EXPECT_EQ(s.KeepNullDistrib, 0);
    EXPECT_EQ(s.EMEstimateInbreedingCoeff, 0);
    EXPECT_EQ(s.EMInbreedingFixedVal, 0.0);
    EXPECT_EQ(s.EMUseZipper, 0);
    EXPECT_EQ(s.EMWinSize, 1);
    EXPECT_EQ(s.EMLociRandOrder, 0);
    EXPECT_EQ(s.EMInbreedingEachLocus, 0);
    EXPECT_EQ(s.EMCheckPhenRedundancy, 0);
    EXPECT_EQ(s.EMCompGamPhaseForAllInitConds, 0);
    EXPECT_EQ(s.EMNumZipRandOrders, 0);
    EXPECT_EQ(s.GibbsInferGamPhase, 0);
    EXPECT_EQ(s.GibbsBurnIn, 100000);
    EXPECT_EQ(s.GibbsSamplingInterval, 500);
    EXPECT_EQ(s.GibbsNumSamples, 2000);
    EXPECT_EQ(s.GibbsAlphaInitValue, 0.01);
    EXPECT_EQ(s.GibbsEpsilonValue, 0.01);
    EXPECT_EQ(s.GibbsGamma, 0.0);
    EXPECT_EQ(s.GibbsHetSiteInfluenceZone, 5);
    EXPECT_EQ(s.GibbsPercentageOfRecSteps, 0.0);
    EXPECT_EQ(s.GibbsOutputGamPhase, 0);
}

TEST_F(SettingsTest, FreshRecordHoldsTheDefaultsOfFieldsWithoutKey) {
    settings s;
    EXPECT_EQ(s.stopFlag, 0);
    EXPECT_EQ(s.ResultFile, nullptr);
    EXPECT_EQ(s.EstimateHaplotypes, 1);
    EXPECT_EQ(s.PrintSampleAnchor, 1);
    EXPECT_EQ(s.RunFileFlag, 1);
    EXPECT_FALSE(s.quietMode);
    EXPECT_EQ(s.LDPValue, 1.0);
    EXPECT_EQ(s.HWPValue, 1.0);
    EXPECT_EQ(s.project_allele_db, nullptr);
    EXPECT_STREQ(s.LDHistoFileName.c_str(), "ld_dis.xl");
    EXPECT_STREQ(s.SettingsFileName.c_str(), "");
    EXPECT_STREQ(s.ResultFolder.c_str(), "");
    EXPECT_STREQ(s.ResultFileName.c_str(), "");
    EXPECT_STREQ(s.BackupFileName.c_str(), "");
    EXPECT_STREQ(s.ProjectFolder.c_str(), "");
    for (auto const& name : s.SigmHistoFileNames) EXPECT_STREQ(name.c_str(), "");
    EXPECT_TRUE(s.GibbsPhaseFileNames.empty());
    EXPECT_TRUE(s.GibbsPhaseStreams.empty());
}

TEST_F(SettingsTest, LinkageChainDefaultFollowsThePhaseOfTheData) {
    settings s;
    s.GenotypicData = 1;
    s.GameticPhase = 0;
    s.reset_initial_values();
    EXPECT_EQ(s.MarkovChainStepsLD, 1000);
    s.GameticPhase = 1;
    s.reset_initial_values();
    EXPECT_EQ(s.MarkovChainStepsLD, 100000);
    s.GenotypicData = 0;
    s.GameticPhase = 0;
    s.reset_initial_values();
    EXPECT_EQ(s.MarkovChainStepsLD, 100000);
}

TEST_F(SettingsTest, ResetKeepsTheProjectFlagsAndTheMenuNames) {
    settings s;
    s.GenotypicData = 1;
    s.GameticPhase = 1;
    s.MenuTreeFileName = "t_tree.htm";
    s.GraphicsFolder = "g/";
    s.ResultFileName = "r.xml";
    s.TaskNumber = 9;
    s.reset_initial_values();
    EXPECT_EQ(s.GenotypicData, 1);
    EXPECT_EQ(s.GameticPhase, 1);
    EXPECT_STREQ(s.MenuTreeFileName.c_str(), "t_tree.htm");
    EXPECT_STREQ(s.GraphicsFolder.c_str(), "g/");
    EXPECT_STREQ(s.ResultFileName.c_str(), "");
    EXPECT_EQ(s.TaskNumber, 0);
}

// ------------------------------------------------------- reading every key

// A complete settings file: every key with a value different from its
// default, between a banner, the section line, comments and blank lines.
// Shorter keys that are part of longer ones come before them.
std::vector<std::string> completeSettingsFile() {
    return {
        "",
        "             DO NOT EDIT THIS FILE BY HAND UNLESS YOU KNOW EXACTLY WHAT YOU",
        "[Setting for Calculations]",
        "",
        "#KEY \"TaskNumber\" sets which computations need to be performed",
        "TaskNumber=131071",
        "XMLOutput=0",
        "pmlecore64=0",
        "DeletionWeight=0.5",
        "TransitionWeight=2.25",
        "TranversionWeight=3.125",
        "ComputeSumStatsWithinGroups=1",
        "InferHaplotypeDefinitionFromDistanceMatrix=1",
        "EliminateRedondHaplodefs=1",
        "AllowedLevelOfMissingData=0.25",
        "GameticPhaseIsKnown=1",
        "HardyWeinbergTestType=1",
        "MakeHWExactTest=1",
        "MarkovChainStepsHW=5000000000",
        "MarkovChainDememorisationStepsHW=200000",
        "PrecisionOnPValueHW=0.001",
        "SignificanceLevelHW=3",
        "TypeOfTestHW=2",
        "LinkageDisequilibriumTestType=1",
        "MakeExactTestLD=1",
        "MarkovChainStepsLD=300000",
        "MarkovChainDememorisationStepsLD=4000",
        "PrecisionOnPValueLD=0.002",
        "SignificanceLevelLD=0.01",
        "PrintFlagHistogramLD=2",
        "InitialCondEMLD=7",
        "ComputeDvalues=1",
        "ComputeStandardDiversityIndices=1",
        "ComputeAllAlleleFreqs=1",
        "ComputeMissDataFreq=3",
        "#DistanceMethod controls the choice of the distance to be computed between haplotypes",
        "#DNA:      DIFF=0, JUKES_CANTOR=1, KIMURA_2P=2, P_DIST=3, TAJIMA_NEI=4, TAMURA=5, TAMURA_NEI=6",
        "DistanceMethod=4",
        "GammaAValue=0.75",
        "PrintHaplDistMat=0",
        "ComputeTheta=15",
        "PrintPopDistMat=1",
        "ComputePopSFS=1",
        "ComputeJointSFS=1",
        "ComputeMultiSFS=1",
        "NumBootSFS=25",
        "MismatchDistanceMethod=3",
        "MismatchDemogExp=1",
        "MismatchSpatialExp=1",
        "MismatchSpatialExpNumParams=3",
        "MismatchGammaAValue=1.5",
        "NumBootExpDem=250",
        "InitialConditionsEM=60",
        "MaximumNumOfIterationsEM=2500",
        "RecessiveAllelesEM=1",
        "CompactHaplotypeDataBaseEM=1",
        "NumBootstrapReplicatesEM=30",
        "NumInitCondBootstrapEM=11",
        "ComputeAllSubHaplotypesEM=1",
        "ComputeAllHaplotypesEM=0",
        "ComputeAllAllelesEM=1",
        "EpsilonValue=0.000002",
        "FrequencyThreshold=0.0001",
        "ComputeConventionalFST=1",
        "IncludeIndividualLevel=1",
        "HaplAMOVA=1",
        "LocByLocAMOVA=1",
        "PopSpecificFST=1",
        "PopSpecificFIS=1",
        "ComputeDistanceMatrixAMOVA=0",
        "DistanceMethodAMOVA=2",
        "GammaAValueAMOVA=0.3",
        "PrintDistanceMatrix=1",
        "TestSignificancePairewiseFST=1",
        "NumPermutationsFST=1023",
        "ComputePairwiseFST=1",
        "ComputeDeltaMuSqr=1",
        "FSTSignifLevel=0.02",
        "TestSignificanceAMOVA=1",
        "NumPermutationsAMOVA=16000",
        "NumPermutPopDiff=300000",
        "NumDememoPopDiff=30000",
        "PrecProbPopDiff=7",
        "PrintHistoPopDiff=0",
        "SignLevelPopDiff=0.03",
        "DetectSelectedLoci=1",
        "UseHierarchicalIslandModel=1",
        "NumberOfGroupsForFDist2=12",
        "NumberOfDemesForFDist2=120",
        "NumberOfSimsForFDist2=50000",
        "UseSimFileForFDist2=1",
        "SimFileNameForFDist2=sims/island model run.pmb",
        "TargetHetLowBound=0.1",
        "TargetHetHighBound=0.9",
        "MinDafFreq=0.05",
        "IterativeProcForFDist2=1",
        "EwensWattersonHomozygosityTest=1",
        "NumIterationsNeutralityTests=1500",
        "NumSimulFuTest=1600",
        "NumPermMantel=1700",
        "IsFontKnown=1",
        "NbFrontSegments=8",
        "SegmentLength=2.5",
        "NumOfGroups=4",
        "DiffusionMode=3",
        "NbFrontPerm=9",
        "PrintFstVals=1",
        "PrintConcestryCoeff=1",
        "PrintSlatkinsDist=1",
        "PrintMissIntermatchs=1",
        "UnequalPopSizeDiv=1",
        "PrintMinSpannNetworkPop=1",
        "PrintMinSpannNetworkGlob=1",
        "KeepNullDistrib=1",
        "EMEstimHaplFreqs=1",
        "EMEstimateInbreedingCoeff=1",
        "EMInbreedingFixedVal=0.125",
        "EMUseZipper=1",
        "EMWinSize=3",
        "EMLociRandOrder=1",
        "EMInbreedingEachLocus=1",
        "EMCheckPhenRedundancy=1",
        "EMCompGamPhaseForAllInitConds=1",
        "#EMNumZipRandOrders specifies how many random orders have to be considered assuming EMLociRandOrder=1",
        "EMNumZipRandOrders=6",
        "GibbsInferGamPhase=1",
        "GibbsBurnIn=5000",
        "GibbsSamplingInterval=50",
        "GibbsNumSamples=200",
        "GibbsAlphaInitValue=0.02",
        "GibbsEpsilonValue=0.03",
        "GibbsGamma=0.4",
        "GibbsHetSiteInfluenceZone=-1",
        "GibbsPercentageOfRecSteps=0.1",
        "GibbsOutputGamPhase=1",
    };
}

void expectCompleteSettings(settings const& s) {
    EXPECT_EQ(s.TaskNumber, 131071);
    EXPECT_EQ(s.XMLOutput, 0);
    EXPECT_EQ(s.pmlecore64, 0);
    EXPECT_CLOSE(s.DeletionWeight, 0.5);
    EXPECT_CLOSE(s.TransitionWeight, 2.25);
    EXPECT_CLOSE(s.TranversionWeight, 3.125);
    EXPECT_EQ(s.ComputeSumStatsWithinGroups, 1);
    EXPECT_EQ(s.InferHaplotypeDefinitionFromDistanceMatrix, 1);
    EXPECT_EQ(s.EliminateRedondHaplodefs, 1);
    EXPECT_CLOSE(s.AllowedLevelOfMissingData, 0.25);
    EXPECT_EQ(s.GameticPhaseIsKnown, 1);
    EXPECT_EQ(s.HardyWeinbergTestType, 1);
    EXPECT_EQ(s.MakeHWExactTest, 1);
    EXPECT_EQ(s.MarkovChainStepsHW, 5000000000LL);
    EXPECT_EQ(s.MarkovChainDememorisationStepsHW, 200000);
    EXPECT_CLOSE(s.PrecisionOnPValueHW, 0.001);
    EXPECT_EQ(s.SignificanceLevelHW, 3);
    EXPECT_EQ(s.TypeOfTestHW, 2);
    EXPECT_EQ(s.LinkageDisequilibriumTestType, 1);
    EXPECT_EQ(s.MakeExactTestLD, 1);
    EXPECT_EQ(s.MarkovChainStepsLD, 300000);
    EXPECT_EQ(s.MarkovChainDememorisationStepsLD, 4000);
    EXPECT_CLOSE(s.PrecisionOnPValueLD, 0.002);
    EXPECT_CLOSE(s.SignificanceLevelLD, 0.01);
    EXPECT_EQ(s.PrintFlagHistogramLD, 2);
    EXPECT_EQ(s.InitialCondEMLD, 7);
    EXPECT_EQ(s.ComputeDvalues, 1);
    EXPECT_EQ(s.ComputeStandardDiversityIndices, 1);
    EXPECT_TRUE(s.ComputeAllAlleleFreqs);
    EXPECT_TRUE(s.ComputeMissDataFreq);
    EXPECT_EQ(s.DistanceMethod, 4);
    EXPECT_CLOSE(s.GammaAValue, 0.75);
    EXPECT_EQ(s.PrintHaplDistMat, 1);  // taken over from PrintPopDistMat
    EXPECT_EQ(s.ComputeTheta, 15);
    EXPECT_EQ(s.PrintPopDistMat, 1);
    EXPECT_EQ(s.ComputePopSFS, 1);
    EXPECT_EQ(s.ComputeJointSFS, 1);
    EXPECT_EQ(s.ComputeMultiSFS, 1);
    EXPECT_EQ(s.NumBootSFS, 25);
    EXPECT_EQ(s.MismatchDistanceMethod, 3);
    EXPECT_TRUE(s.MismatchDemogExp);
    EXPECT_TRUE(s.MismatchSpatialExp);
    EXPECT_EQ(s.MismatchSpatialExpNumParams, 3);
    EXPECT_CLOSE(s.MismatchGammaAValue, 1.5);
    EXPECT_EQ(s.NumBootExpDem, 250);
    EXPECT_EQ(s.InitialConditionsEM, 60);
    EXPECT_EQ(s.MaximumNumOfIterationsEM, 2500);
    EXPECT_EQ(s.RecessiveAllelesEM, 1);
    EXPECT_EQ(s.CompactHaplotypeDataBaseEM, 1);
    EXPECT_EQ(s.NumBootstrapReplicatesEM, 30);
    EXPECT_EQ(s.NumInitCondBootstrapEM, 11);
    EXPECT_EQ(s.ComputeAllSubHaplotypesEM, 1);
    EXPECT_EQ(s.ComputeAllHaplotypesEM, 1);  // EMEstimHaplFreqs, read later, wins
    EXPECT_EQ(s.ComputeAllAllelesEM, 1);
    EXPECT_CLOSE(s.EpsilonValue, 2e-6);
    EXPECT_CLOSE(s.FrequencyThreshold, 1e-4);
    EXPECT_EQ(s.ComputeConventionalFST, 1);
    EXPECT_EQ(s.IncludeIndividualLevel, 1);
    EXPECT_EQ(s.HaplAMOVA, 1);
    EXPECT_EQ(s.LocByLocAMOVA, 1);
    EXPECT_EQ(s.PopSpecificFST, 1);
    EXPECT_EQ(s.PopSpecificFIS, 1);
    EXPECT_EQ(s.ComputeDistanceMatrixAMOVA, 0);
    EXPECT_EQ(s.DistanceMethodAMOVA, 2);
    EXPECT_CLOSE(s.GammaAValueAMOVA, 0.3);
    EXPECT_EQ(s.PrintDistanceMatrix, 1);
    EXPECT_EQ(s.TestSignificancePairewiseFST, 1);
    EXPECT_EQ(s.NumPermutationsFST, 1023);
    EXPECT_EQ(s.ComputePairwiseFST, 1);
    EXPECT_EQ(s.ComputeDeltaMuSqr, 1);
    EXPECT_CLOSE(s.FSTSignifLevel, 0.02);
    EXPECT_EQ(s.TestSignificanceAMOVA, 1);
    EXPECT_EQ(s.NumPermutationsAMOVA, 16000);
    EXPECT_EQ(s.NumPermutPopDiff, 300000);
    EXPECT_EQ(s.NumDememoPopDiff, 30000);
    EXPECT_EQ(s.PrecProbPopDiff, 7.0);
    EXPECT_EQ(s.PrintHistoPopDiff, 0);
    EXPECT_CLOSE(s.SignLevelPopDiff, 0.03);
    EXPECT_EQ(s.DetectSelectedLoci, 1);
    EXPECT_EQ(s.UseHierarchicalIslandModel, 1);
    EXPECT_EQ(s.NumberOfGroupsForFDist2, 12);
    EXPECT_EQ(s.NumberOfDemesForFDist2, 120);
    EXPECT_EQ(s.NumberOfSimsForFDist2, 50000);
    EXPECT_EQ(s.UseSimFileForFDist2, 1);
    EXPECT_STREQ(s.SimFileNameForFDist2.c_str(), "sims/island model run.pmb");
    EXPECT_CLOSE(s.TargetHetLowBound, 0.1);
    EXPECT_CLOSE(s.TargetHetHighBound, 0.9);
    EXPECT_CLOSE(s.MinDafFreq, 0.05);
    EXPECT_EQ(s.IterativeProcForFDist2, 1);
    EXPECT_EQ(s.EwensWattersonHomozygosityTest, 1);
    EXPECT_EQ(s.NumIterationsNeutralityTests, 1500);
    EXPECT_EQ(s.NumSimulFuTest, 1600);
    EXPECT_EQ(s.NumPermMantel, 1700);
    EXPECT_EQ(s.IsFontKnown, 1);
    EXPECT_EQ(s.NbFrontSegments, 8);
    EXPECT_CLOSE(s.SegmentLength, 2.5);
    EXPECT_EQ(s.NumOfGroups, 4);
    EXPECT_EQ(s.DiffusionMode, 3);
    EXPECT_EQ(s.NbFrontPerm, 9);
    EXPECT_EQ(s.PrintFstVals, 1);
    EXPECT_EQ(s.PrintConcestryCoeff, 1);
    EXPECT_EQ(s.PrintSlatkinsDist, 1);
    EXPECT_EQ(s.PrintMissIntermatchs, 1);
    EXPECT_EQ(s.UnequalPopSizeDiv, 1);
    EXPECT_EQ(s.PrintMinSpannNetworkPop, 1);
    EXPECT_EQ(s.PrintMinSpannNetworkGlob, 1);
    EXPECT_EQ(s.KeepNullDistrib, 1);
    EXPECT_EQ(s.EMEstimateInbreedingCoeff, 1);
    EXPECT_CLOSE(s.EMInbreedingFixedVal, 0.125);
    EXPECT_EQ(s.EMUseZipper, 1);
    EXPECT_EQ(s.EMWinSize, 3);
    EXPECT_EQ(s.EMLociRandOrder, 1);
    EXPECT_EQ(s.EMInbreedingEachLocus, 1);
    EXPECT_EQ(s.EMCheckPhenRedundancy, 1);
    EXPECT_EQ(s.EMCompGamPhaseForAllInitConds, 1);
    EXPECT_EQ(s.EMNumZipRandOrders, 6);
    EXPECT_EQ(s.GibbsInferGamPhase, 1);
    EXPECT_EQ(s.GibbsBurnIn, 5000);
    EXPECT_EQ(s.GibbsSamplingInterval, 50);
    EXPECT_EQ(s.GibbsNumSamples, 200);
    EXPECT_CLOSE(s.GibbsAlphaInitValue, 0.02);
    EXPECT_CLOSE(s.GibbsEpsilonValue, 0.03);
    EXPECT_CLOSE(s.GibbsGamma, 0.4);
    EXPECT_EQ(s.GibbsHetSiteInfluenceZone, -1);
    EXPECT_CLOSE(s.GibbsPercentageOfRecSteps, 0.1);
    EXPECT_EQ(s.GibbsOutputGamPhase, 1);
    EXPECT_EQ(s.EstimateHaplotypes, 1);
}

TEST_F(SettingsTest, EveryKeyIsReadIntoItsField) {
    settings s;
    s.read_settings(dir_.pms("pml_run.pms", lines(completeSettingsFile())));
    expectCompleteSettings(s);
}

TEST_F(SettingsTest, FileWithCarriageReturnLineEndsReadsTheSame) {
    settings s;
    s.read_settings(dir_.pms("crlf.pms", lines(completeSettingsFile(), "\r\n")));
    expectCompleteSettings(s);
}

TEST_F(SettingsTest, CarriageReturnDoesNotChangeADecimalValue) {
    // Read as text, "0.05" followed by CR has a three-character fraction.
    settings s;
    s.read_settings(dir_.pms("a.pms",
                              "AllowedLevelOfMissingData=0.05\r\nNumPermMantel=1000\r\n"
                              "SignificanceLevelLD=0.01 \t\r\n"));
    EXPECT_CLOSE(s.AllowedLevelOfMissingData, 0.05);
    EXPECT_EQ(s.NumPermMantel, 1000);
    EXPECT_CLOSE(s.SignificanceLevelLD, 0.01);
}

TEST_F(SettingsTest, EmptyValueBeforeCarriageReturnIsPassedOver) {
    settings s;
    s.read_settings(dir_.pms("a.pms", "TaskNumber=\r\nTaskNumber=3\r\n"));
    EXPECT_EQ(s.TaskNumber, 3);
}

TEST_F(SettingsTest, SimulationFileNameLosesOnlyTrailingBlanks) {
    settings s;
    s.read_settings(dir_.pms("a.pms", "SimFileNameForFDist2= my sims.txt \t\r\n"));
    EXPECT_STREQ(s.SimFileNameForFDist2.c_str(), " my sims.txt");
}

// ----------------------------------------------- single-key files and rules

TEST_F(SettingsTest, OnlyTaskNumberGivenZeroesTheOtherMandatoryKeys) {
    settings s;
    s.read_settings(dir_.pms("a.pms", "TaskNumber=17\n"));
    EXPECT_EQ(s.TaskNumber, 17);
    EXPECT_EQ(s.XMLOutput, 0);
    EXPECT_EQ(s.NumPermutationsAMOVA, 0);
    EXPECT_EQ(s.ComputeDistanceMatrixAMOVA, 0);
    EXPECT_EQ(s.AllowedLevelOfMissingData, 0.0);
    EXPECT_EQ(s.NumOfGroups, 0);
    EXPECT_FALSE(s.ComputeAllAlleleFreqs);
    EXPECT_STREQ(s.SimFileNameForFDist2.c_str(), "");
    // Optional keys keep their defaults.
    EXPECT_EQ(s.GibbsBurnIn, 100000);
    EXPECT_EQ(s.EMWinSize, 1);
    EXPECT_EQ(s.GibbsNumSamples, 2000);
    EXPECT_EQ(s.GibbsAlphaInitValue, 0.01);
    // Nothing asks for haplotype estimation any more.
    EXPECT_EQ(s.EstimateHaplotypes, 0);
    // Fields without a key are untouched.
    EXPECT_STREQ(s.LDHistoFileName.c_str(), "ld_dis.xl");
    EXPECT_EQ(s.RunFileFlag, 1);
}

TEST_F(SettingsTest, LineWithNothingAfterEqualSignIsPassedOver) {
    settings s;
    s.read_settings(dir_.pms("a.pms", "TaskNumber=\nTaskNumber=3\n"));
    EXPECT_EQ(s.TaskNumber, 3);
}

TEST_F(SettingsTest, EqualSignOutsideTheWindowIsPassedOver) {
    std::string const comment =
        "#EMNumZipRandOrders specifies how many random orders have to be considered assuming "
        "EMLociRandOrder=1";
    ASSERT_EQ(comment.find('='), 99u);
    settings s;
    s.read_settings(dir_.pms("a.pms", comment + "\nEMLociRandOrder=0\nEMNumZipRandOrders=4\n"));
    EXPECT_EQ(s.EMNumZipRandOrders, 4);
    EXPECT_EQ(s.EMLociRandOrder, 0);
}

TEST_F(SettingsTest, ShorterKeyMatchesTheLineOfALongerOneThatComesFirst) {
    settings s;
    s.read_settings(dir_.pms("a.pms", "MismatchDistanceMethod=2\nDistanceMethod=1\n"));
    EXPECT_EQ(s.DistanceMethod, 2);
    EXPECT_EQ(s.MismatchDistanceMethod, 2);

    s.read_settings(dir_.pms("b.pms", "GibbsEpsilonValue=0.5\nEpsilonValue=0.25\n"));
    EXPECT_CLOSE(s.EpsilonValue, 0.5);
    EXPECT_CLOSE(s.GibbsEpsilonValue, 0.5);

    s.read_settings(dir_.pms("c.pms", "MismatchSpatialExpNumParams=0\nMismatchSpatialExp=1\n"));
    EXPECT_FALSE(s.MismatchSpatialExp);
}

TEST_F(SettingsTest, KeysAreCaseSensitive) {
    settings s;
    s.read_settings(dir_.pms("a.pms", "tasknumber=5\nXMLOUTPUT=1\n"));
    EXPECT_EQ(s.TaskNumber, 0);
    EXPECT_EQ(s.XMLOutput, 0);
}

TEST_F(SettingsTest, PopulationDistanceMatrixSwitchAlsoSetsTheHaplotypeOne) {
    settings s;
    s.read_settings(dir_.pms("a.pms", "PrintHaplDistMat=0\nPrintPopDistMat=1\n"));
    EXPECT_EQ(s.PrintHaplDistMat, 1);
    EXPECT_EQ(s.PrintPopDistMat, 1);

    s.read_settings(dir_.pms("b.pms", "PrintHaplDistMat=1\n"));
    EXPECT_EQ(s.PrintHaplDistMat, 1);
    EXPECT_EQ(s.PrintPopDistMat, 0);

    s.read_settings(dir_.pms("c.pms", "PrintHaplDistMat=1\nPrintPopDistMat=0\n"));
    EXPECT_EQ(s.PrintHaplDistMat, 0);
    EXPECT_EQ(s.PrintPopDistMat, 0);
}

TEST_F(SettingsTest, OnlyTheFirst2000LinesAreSearched) {
    std::vector<std::string> ls(1999, "# filler");
    ls.push_back("NumSimulFuTest=77");  // line 2000
    ls.push_back("NumPermMantel=88");   // line 2001
    settings s;
    s.read_settings(dir_.pms("a.pms", lines(ls)));
    EXPECT_EQ(s.NumSimulFuTest, 77);
    EXPECT_EQ(s.NumPermMantel, 0);
}

TEST_F(SettingsTest, FlagsAndIntegerReadDouble) {
    settings s;
    s.read_settings(dir_.pms("a.pms",
                              "ComputeAllAlleleFreqs=5\nMismatchDemogExp=0\nPrecProbPopDiff=0.5\n"));
    EXPECT_TRUE(s.ComputeAllAlleleFreqs);
    EXPECT_FALSE(s.MismatchDemogExp);
    // Read as an integer: every non-digit is skipped.
    EXPECT_EQ(s.PrecProbPopDiff, 5.0);
}

TEST_F(SettingsTest, ValueBeyondThe32BitRangeIsHeldAtItsLimit) {
    settings s;
    s.read_settings(dir_.pms("a.pms", "NumSimulFuTest=99999999999\nNumBootSFS=-99999999999\n"
                                       "NumPermMantel=99999999999\n"));
    EXPECT_EQ(s.NumSimulFuTest, INT_MAX);
    EXPECT_EQ(s.NumBootSFS, INT_MIN);
    EXPECT_EQ(s.NumPermMantel, 99999999999LL);
}

TEST_F(SettingsTest, HaplotypeEstimationFollowsTheFourSwitches) {
    settings s;
    s.read_settings(dir_.pms("a.pms", "TaskNumber=8\n"));
    EXPECT_EQ(s.EstimateHaplotypes, 0);
    for (char const* key : {"ComputeAllAllelesEM", "ComputeAllHaplotypesEM", "EMEstimHaplFreqs",
                            "GibbsInferGamPhase"}) {
        settings t;
        t.read_settings(dir_.pms("b.pms", std::string(key) + "=1\n"));
        EXPECT_EQ(t.EstimateHaplotypes, 1) << key;
    }
}

TEST_F(SettingsTest, AbsentOptionalKeysKeepEarlierValues) {
    settings s;
    s.read_settings(dir_.pms("first.pms",
                              "TaskNumber=5\nEMWinSize=4\nGibbsBurnIn=7\nGibbsGamma=0.5\n"
                              "GibbsInferGamPhase=1\nEMEstimHaplFreqs=1\n"));
    EXPECT_EQ(s.EstimateHaplotypes, 1);
    s.read_settings(dir_.pms("second.pms", "XMLOutput=1\nEMWinSize=\n"));
    EXPECT_EQ(s.TaskNumber, 0);
    EXPECT_EQ(s.XMLOutput, 1);
    EXPECT_EQ(s.EMWinSize, 4);
    EXPECT_EQ(s.GibbsBurnIn, 7);
    EXPECT_CLOSE(s.GibbsGamma, 0.5);
    EXPECT_EQ(s.GibbsInferGamPhase, 1);
    // ComputeAllHaplotypesEM is mandatory: the second file zeroes it, and
    // EMEstimHaplFreqs, absent, does not bring it back.
    EXPECT_EQ(s.ComputeAllHaplotypesEM, 0);
    EXPECT_EQ(s.EstimateHaplotypes, 1);  // GibbsInferGamPhase still set
}

TEST_F(SettingsTest, MissingFileZeroesMandatoryKeysOnly) {
    settings s;
    s.GibbsNumSamples = 12;
    s.read_settings((dir_.path() / "absent.pms").string().c_str());
    EXPECT_EQ(s.XMLOutput, 0);
    EXPECT_EQ(s.NumPermutationsFST, 0);
    EXPECT_EQ(s.GibbsNumSamples, 12);
    EXPECT_EQ(s.EMWinSize, 1);
}

// ------------------------------------------------------------- key lookup

class ProfileLookupTest : public ::testing::Test {
protected:
    TempDir dir_;
    char buf_[512];
    int get(char const* key, int size, std::string const& file) {
        std::fill(std::begin(buf_), std::end(buf_), 'x');
        return GetPrivateProfileString("Setting for Calculations", key, "", buf_, size,
                                       file.c_str());
    }
};

TEST_F(ProfileLookupTest, ValueIsTheRestOfTheLineAfterTheFirstEqualSign) {
    std::string f = dir_.file("a.pms", "[Setting for Calculations]\nKey= 12 =3\n");
    EXPECT_EQ(get("Key", 100, f), 1);
    EXPECT_STREQ(buf_, " 12 =3");
}

TEST_F(ProfileLookupTest, KeyIsFoundAnywhereInTheLine) {
    std::string f = dir_.file("a.pms", "NoEqualSign Key here\nOther=Key\nKey=2\n");
    EXPECT_EQ(get("Key", 100, f), 1);
    EXPECT_STREQ(buf_, "Key");
}

TEST_F(ProfileLookupTest, WindowCutsTheValueAndSkipsLinesWithoutRoomForOne) {
    std::string f = dir_.file("a.pms", "K=abcdef\n");
    EXPECT_EQ(get("K", 5, f), 1);
    EXPECT_STREQ(buf_, "abc");  // line positions 2 to 4
    EXPECT_EQ(get("K", 3, f), 1);
    EXPECT_STREQ(buf_, "a");
    EXPECT_EQ(get("K", 2, f), 0);
    EXPECT_STREQ(buf_, "");

    std::string const at98 = std::string(97, 'y') + "K=7";  // '=' at index 98
    std::string const at99 = std::string(98, 'y') + "K=8";  // '=' at index 99
    f = dir_.file("b.pms", at99 + "\n" + at98 + "\n");
    EXPECT_EQ(get("K", 100, f), 1);
    EXPECT_STREQ(buf_, "7");
}

TEST_F(ProfileLookupTest, NothingFoundLeavesAnEmptyText) {
    std::string f = dir_.file("a.pms", "Key=\nOther=1\n");
    EXPECT_EQ(get("Key", 100, f), 0);
    EXPECT_STREQ(buf_, "");
    EXPECT_EQ(get("", 100, f), 0);
    EXPECT_STREQ(buf_, "");
    EXPECT_EQ(get("Key", 100, (dir_.path() / "none.pms").string()), 0);
    EXPECT_STREQ(buf_, "");
}

TEST_F(ProfileLookupTest, OverlongLineEndsTheLookup) {
    std::string const longest(profile_max_line_length, 'z');
    std::string f = dir_.file("a.pms", longest + "\nKey=1\n");
    EXPECT_EQ(get("Key", 100, f), 1);
    EXPECT_STREQ(buf_, "1");
    f = dir_.file("b.pms", longest + "z\nKey=1\n");
    EXPECT_EQ(get("Key", 100, f), 0);
}

TEST_F(ProfileLookupTest, LastLineWithoutLineEndCounts) {
    std::string f = dir_.file("a.pms", "A=1\nKey=42");
    EXPECT_EQ(get("Key", 100, f), 1);
    EXPECT_STREQ(buf_, "42");
}

TEST_F(ProfileLookupTest, CarriageReturnIsNoValue) {
    std::string f = dir_.file("a.pms", "Key=\r\nKey=9\r\n");
    EXPECT_EQ(get("Key", 100, f), 1);
    EXPECT_STREQ(buf_, "9");
}

// ------------------------------------------------------------ result names

TEST_F(SettingsTest, NamesAreBuiltFromTheProjectPath) {
    xmlOutput = true;
    settings s;
    s.buildFilenamesFromCurrentProjectName("/data/run1/proj.pmp");
    EXPECT_STREQ(s.ResultFolder.c_str(), "/data/run1/proj.res/");
    EXPECT_STREQ(settings::input_file.c_str(), "/data/run1/proj.res/proj.pmp");
    EXPECT_STREQ(s.ProjectFolder.c_str(), "/data/run1/");
    EXPECT_STREQ(s.ResultFileName.c_str(), "/data/run1/proj.res/proj.xml");
    EXPECT_STREQ(s.res_file_copy.c_str(), "/data/run1/proj.res/proj.xml");
    EXPECT_STREQ(s.ResultBaseName.c_str(), "/data/run1/proj.res/proj");
    EXPECT_STREQ(s.MenuTreeFileName.c_str(), "/data/run1/proj.res/proj_tree.htm");
    EXPECT_STREQ(s.MenuScriptFileName.c_str(), "/data/run1/proj.res/proj.js");
    EXPECT_STREQ(s.MainPageFileName.c_str(), "/data/run1/proj.res/proj_main.htm");
    EXPECT_STREQ(s.GraphicsFolder.c_str(), "/data/run1/proj.res/Graphics/");

    xmlOutput = false;
    s.buildFilenamesFromCurrentProjectName("proj.pmp");
    EXPECT_STREQ(s.ResultFolder.c_str(), "proj.res/");
    EXPECT_STREQ(s.ProjectFolder.c_str(), "");
    EXPECT_STREQ(s.ResultFileName.c_str(), "proj.res/proj.htm");
    EXPECT_STREQ(settings::input_file.c_str(), "proj.res/proj.pmp");
}

TEST_F(SettingsTest, NamesTreatBothSeparatorsAndDotsInFolders) {
    xmlOutput = true;
    settings s;
    s.buildFilenamesFromCurrentProjectName("C:\\old.v2\\run.pmp");
    EXPECT_STREQ(s.ProjectFolder.c_str(), "C:\\old.v2\\");
    EXPECT_STREQ(s.ResultFolder.c_str(), "C:\\old.v2\\run.res/");
    EXPECT_STREQ(s.ResultFileName.c_str(), "C:\\old.v2\\run.res/run.xml");

    s.buildFilenamesFromCurrentProjectName("old.v2/noext");
    EXPECT_STREQ(s.ResultFolder.c_str(), "old.v2/noext.res/");
    EXPECT_STREQ(settings::input_file.c_str(), "old.v2/noext.res/noext");
}

TEST_F(SettingsTest, LongPathsAreKeptWhole) {
    xmlOutput = true;
    std::string const folder = "/" + std::string(900, 'd') + "/";
    settings s;
    s.buildFilenamesFromCurrentProjectName((folder + "p.pmp").c_str());
    EXPECT_EQ(std::string(s.ResultFolder.c_str()), folder + "p.res/");
    EXPECT_EQ(std::string(s.MainPageFileName.c_str()), folder + "p.res/p_main.htm");
    EXPECT_EQ(std::string(settings::input_file.c_str()), folder + "p.res/p.pmp");
}

TEST_F(SettingsTest, NullDistributionNamesReplaceTheResultExtension) {
    settings s;
    s.ResultFileName = "proj.res/proj.xml";
    s.build_sigm_histo_f_name();
    EXPECT_STREQ(s.SigmHistoFileNames[0].c_str(), "proj.res/proj.va");
    EXPECT_STREQ(s.SigmHistoFileNames[1].c_str(), "proj.res/proj.vb");
    EXPECT_STREQ(s.SigmHistoFileNames[2].c_str(), "proj.res/proj.vc");
    EXPECT_STREQ(s.SigmHistoFileNames[3].c_str(), "proj.res/proj.vd");

    // A name without extension gets the suffix appended, also when its
    // folder has a dot.
    s.ResultFileName = "proj.res/proj";
    s.build_sigm_histo_f_name();
    EXPECT_STREQ(s.SigmHistoFileNames[0].c_str(), "proj.res/proj.va");
    EXPECT_STREQ(s.SigmHistoFileNames[3].c_str(), "proj.res/proj.vd");
}

// ------------------------------------------------------- record lifecycle

TEST_F(SettingsTest, ProjectPathOutlivesEveryRecord) {
    settings::input_file = "/data/proj.pmp";
    { settings a; }
    { settings b; }
    EXPECT_STREQ(settings::input_file.c_str(), "/data/proj.pmp");
    settings::input_file += ".bak";
    EXPECT_STREQ(settings::input_file.c_str(), "/data/proj.pmp.bak");
}

TEST_F(SettingsTest, AssignmentCopiesValuesButNotPhaseFilesOrGraphicsFolder) {
    settings src;
    src.TaskNumber = 1024;
    src.AllowedLevelOfMissingData = 0.2;
    src.ComputeAllAlleleFreqs = true;
    src.SimFileNameForFDist2 = "sim.txt";
    src.ResultFileName = "p.res/p.xml";
    src.SigmHistoFileNames[2] = "p.res/p.vc";
    src.GraphicsFolder = "src/Graphics/";
    src.GenotypicData = 1;
    src.RunFileFlag = 0;
    src.GibbsOutputGamPhase = 1;
    src.GibbsPhaseFileNames.resize(3);
    src.GibbsPhaseStreams.resize(3);

    settings dst;
    dst.GraphicsFolder = "dst/Graphics/";
    dst = src;
    EXPECT_EQ(dst.TaskNumber, 1024);
    EXPECT_EQ(dst.AllowedLevelOfMissingData, 0.2);
    EXPECT_TRUE(dst.ComputeAllAlleleFreqs);
    EXPECT_STREQ(dst.SimFileNameForFDist2.c_str(), "sim.txt");
    EXPECT_STREQ(dst.ResultFileName.c_str(), "p.res/p.xml");
    EXPECT_STREQ(dst.SigmHistoFileNames[2].c_str(), "p.res/p.vc");
    EXPECT_EQ(dst.GenotypicData, 1);
    EXPECT_EQ(dst.RunFileFlag, 0);
    EXPECT_EQ(dst.GibbsOutputGamPhase, 1);
    EXPECT_STREQ(dst.GraphicsFolder.c_str(), "dst/Graphics/");
    EXPECT_TRUE(dst.GibbsPhaseFileNames.empty());
    EXPECT_TRUE(dst.GibbsPhaseStreams.empty());
    EXPECT_EQ(src.GibbsPhaseStreams.size(), 3u);

    settings copy(src);
    EXPECT_EQ(copy.TaskNumber, 1024);
    EXPECT_TRUE(copy.GibbsPhaseStreams.empty());
}

TEST_F(SettingsTest, PhaseFilesAreClosedWithTheRecordWhateverTheSwitch) {
    std::string const name = (dir_.path() / "Vosk_Best_Phases.pmp").string();
    {
        settings s;
        s.GibbsOutputGamPhase = 1;
        s.GibbsPhaseFileNames.emplace_back(name.c_str());
        s.GibbsPhaseStreams.emplace_back(name);
        s.GibbsPhaseStreams[0] << "buffered phases";
        // A later settings file switched the output off.
        s.GibbsOutputGamPhase = 0;
    }
    std::ifstream in(name);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "buffered phases");
}

// ---------------------------------------------------- progress and info

TEST_F(SettingsTest, ProgressLineShowsPercentageCappedAt100) {
    settings::message = "Computing AMOVA ...";
    settings::global_work_to_do = 0.0;
    settings::global_work_done = 5.0;
    EXPECT_EQ(settings::progress_line(), "Computing AMOVA ...");
    settings::global_work_to_do = 2.0;
    settings::global_work_done = 3.0;
    EXPECT_EQ(settings::progress_line(), "100% : Computing AMOVA ...");
    settings::global_work_to_do = 3.0;
    settings::global_work_done = 1.0;
    EXPECT_EQ(settings::progress_line(), "33% : Computing AMOVA ...");
    silentPellomar = true;
    settings::print_message();  // silent: forms nothing, reports nothing
    silentPellomar = false;
    settings::print_message();
}

TEST_F(SettingsTest, InfoLineIsWrittenWholeToTheLog) {
    std::ostringstream log;
    std::ostream* const saved = _AOS_;
    _AOS_ = &log;
    std::string const text(500, 'i');
    settings::print_info(text.c_str());
    settings::print_info("done");
    _AOS_ = saved;
    EXPECT_EQ(log.str(), text + "\n" + "done\n");
}

}  // namespace
}  // namespace quintle
