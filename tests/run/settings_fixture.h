#pragma once

// A settings record in which every key of the settings file holds a value
// other than its default, each value different from its neighbours' so that
// a key written from the wrong field shows. Doubles have at most six
// decimals (or six significant digits for the two keys written in exponent
// form) so that a written file reads back to the same values.

#include "run/settings.h"

namespace quintle::settings_fixture {

inline settings every_key_changed() {
    settings s;
    s.TaskNumber = 5000000007LL;
    s.XMLOutput = 0;
    s.pmlecore64 = 3;
    s.DeletionWeight = 0.5;
    s.TransitionWeight = 2.25;
    s.TranversionWeight = 3.125;
    s.ComputeSumStatsWithinGroups = 7;
    s.InferHaplotypeDefinitionFromDistanceMatrix = 8;
    s.EliminateRedondHaplodefs = 9;
    s.AllowedLevelOfMissingData = 0.375;
    s.GameticPhaseIsKnown = 11;
    s.GameticPhase = 11;  // the key is written from the project's phase
    s.HardyWeinbergTestType = 12;
    s.MakeHWExactTest = 13;
    s.MarkovChainStepsHW = 4000000014LL;
    s.MarkovChainDememorisationStepsHW = 4000000015LL;
    s.PrecisionOnPValueHW = 16.5;
    s.SignificanceLevelHW = 17;
    s.TypeOfTestHW = 18;
    s.LinkageDisequilibriumTestType = 19;
    s.MakeExactTestLD = 20;
    s.MarkovChainStepsLD = 4000000021LL;
    s.MarkovChainDememorisationStepsLD = 4000000022LL;
    s.PrecisionOnPValueLD = 23.25;
    s.SignificanceLevelLD = 0.015625;
    s.PrintFlagHistogramLD = 25;
    s.InitialCondEMLD = 26;
    s.ComputeDvalues = 27;
    s.ComputeStandardDiversityIndices = 28;
    s.ComputeAllAlleleFreqs = true;
    s.ComputeMissDataFreq = true;
    s.DistanceMethod = 31;
    s.GammaAValue = 32.5;
    s.PrintHaplDistMat = 33;
    s.ComputeTheta = 34;
    s.PrintPopDistMat = 33;  // written from PrintHaplDistMat
    s.ComputePopSFS = 36;
    s.ComputeJointSFS = 37;
    s.ComputeMultiSFS = 38;
    s.NumBootSFS = 39;
    s.MismatchDistanceMethod = 40;
    s.MismatchDemogExp = true;
    s.MismatchSpatialExp = true;
    s.MismatchSpatialExpNumParams = 43;
    s.MismatchGammaAValue = 44.75;
    s.NumBootExpDem = 45;
    s.InitialConditionsEM = 46;
    s.MaximumNumOfIterationsEM = 47;
    s.RecessiveAllelesEM = 48;
    s.CompactHaplotypeDataBaseEM = 49;
    s.NumBootstrapReplicatesEM = 50;
    s.NumInitCondBootstrapEM = 51;
    s.ComputeAllSubHaplotypesEM = 52;
    s.ComputeAllHaplotypesEM = 53;
    s.ComputeAllAllelesEM = 54;
    s.EpsilonValue = 2.5e-8;
    s.FrequencyThreshold = 5.6e-4;
    s.ComputeConventionalFST = 57;
    s.IncludeIndividualLevel = 58;
    s.HaplAMOVA = 59;
    s.LocByLocAMOVA = 60;
    s.PopSpecificFST = 61;
    s.PopSpecificFIS = 62;
    s.ComputeDistanceMatrixAMOVA = 63;
    s.DistanceMethodAMOVA = 64;
    s.GammaAValueAMOVA = 65.5;
    s.PrintDistanceMatrix = 66;
    s.TestSignificancePairewiseFST = 67;
    s.NumPermutationsFST = 4000000068LL;
    s.ComputePairwiseFST = 69;
    s.ComputeDeltaMuSqr = 70;
    s.FSTSignifLevel = 0.071;
    s.TestSignificanceAMOVA = 72;
    s.NumPermutationsAMOVA = 4000000073LL;
    s.NumPermutPopDiff = 4000000074LL;
    s.NumDememoPopDiff = 4000000075LL;
    s.PrecProbPopDiff = 76.0;
    s.PrintHistoPopDiff = 77;
    s.SignLevelPopDiff = 0.078;
    s.DetectSelectedLoci = 79;
    s.UseHierarchicalIslandModel = 80;
    s.NumberOfGroupsForFDist2 = 81;
    s.NumberOfDemesForFDist2 = 82;
    s.NumberOfSimsForFDist2 = 83;
    s.UseSimFileForFDist2 = 84;
    s.SimFileNameForFDist2 = "sims/null dist 85.txt";
    s.TargetHetLowBound = 0.086;
    s.TargetHetHighBound = 0.875;
    s.MinDafFreq = 0.088;
    s.IterativeProcForFDist2 = 89;
    s.EwensWattersonHomozygosityTest = 90;
    s.NumIterationsNeutralityTests = 91;
    s.NumSimulFuTest = 92;
    s.NumPermMantel = 4000000093LL;
    s.IsFontKnown = 94;
    s.NbFrontSegments = 95;
    s.SegmentLength = 96.5;
    s.NumOfGroups = 97;
    s.DiffusionMode = 98;
    s.NbFrontPerm = 99;
    s.PrintFstVals = 100;
    s.PrintConcestryCoeff = 101;
    s.PrintSlatkinsDist = 102;
    s.PrintMissIntermatchs = 103;
    s.UnequalPopSizeDiv = 104;
    s.PrintMinSpannNetworkPop = 105;
    s.PrintMinSpannNetworkGlob = 106;
    s.KeepNullDistrib = 107;
    s.EMEstimateInbreedingCoeff = 109;
    s.EMInbreedingFixedVal = 0.11;
    s.EMUseZipper = 111;
    s.EMWinSize = 112;
    s.EMLociRandOrder = 113;
    s.EMInbreedingEachLocus = 114;
    s.EMCheckPhenRedundancy = 115;
    s.EMCompGamPhaseForAllInitConds = 116;
    s.EMNumZipRandOrders = 117;
    s.GibbsInferGamPhase = 118;
    s.GibbsBurnIn = 119;
    s.GibbsSamplingInterval = 120;
    s.GibbsNumSamples = 121;
    s.GibbsAlphaInitValue = 0.122;
    s.GibbsEpsilonValue = 0.123;
    s.GibbsGamma = 0.124;
    s.GibbsHetSiteInfluenceZone = -125;
    s.GibbsPercentageOfRecSteps = 0.126;
    s.GibbsOutputGamPhase = 127;
    return s;
}

}  // namespace quintle::settings_fixture
