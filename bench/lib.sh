# Shared by the benchmark scripts: `. "$HERE/lib.sh"`, with ROOT set to the
# repository.

# Sets BIN to the program's absolute path: QUINTLE_BIN when given, else
# BUILD_DIR/quintle (default ROOT/build), built in Release mode when it is
# not there yet. $1 names the calling script in the error message.
find_quintle() {
    if [ -n "${QUINTLE_BIN:-}" ]; then
        BIN="$QUINTLE_BIN"
    else
        BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
        BIN="$BUILD_DIR/quintle"
        if [ ! -x "$BIN" ]; then
            echo "Building the Release program in $BUILD_DIR ..."
            cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DQUINTLE_TESTS=OFF >/dev/null
            cmake --build "$BUILD_DIR" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
        fi
    fi
    [ -x "$BIN" ] || { echo "$1: no program at $BIN" >&2; exit 1; }
    BIN="$(cd "$(dirname "$BIN")" && pwd)/$(basename "$BIN")"
}

# The settings file of the benchmarks (run_bench.sh, line_keys.sh), with
# $tasks and $nsim as set by the caller. Every key is written, since a key left out reads as 0.
# A key contained in a longer one (DistanceMethod, GammaAValue,
# MismatchSpatialExp, EpsilonValue) comes before its longer companions, as
# the first line containing a key gives its value.
write_bench_settings() {
    cat >"$1" <<EOF
[Setting for Calculations]
TaskNumber=$tasks
XMLOutput=1
pmlecore64=1
DeletionWeight=1.000000
TransitionWeight=1.000000
TranversionWeight=1.000000
ComputeSumStatsWithinGroups=0
InferHaplotypeDefinitionFromDistanceMatrix=0
EliminateRedondHaplodefs=1
AllowedLevelOfMissingData=0.050000
GameticPhaseIsKnown=1
KeepNullDistrib=0
MakeHWExactTest=0
HardyWeinbergTestType=0
TypeOfTestHW=0
MarkovChainStepsHW=1000000
MarkovChainDememorisationStepsHW=100000
PrecisionOnPValueHW=0.000000
SignificanceLevelHW=2
LinkageDisequilibriumTestType=0
MakeExactTestLD=0
MarkovChainDememorisationStepsLD=1000
MarkovChainStepsLD=100000
PrecisionOnPValueLD=0.000000
SignificanceLevelLD=0.050000
PrintFlagHistogramLD=0
InitialCondEMLD=2
ComputeDvalues=0
ComputeStandardDiversityIndices=1
ComputeAllAlleleFreqs=0
ComputeMissDataFreq=0
DistanceMethod=0
GammaAValue=0.000000
ComputeTheta=15
PrintHaplDistMat=0
PrintPopDistMat=0
PrintMinSpannNetworkPop=0
ComputePopSFS=0
ComputeJointSFS=0
ComputeMultiSFS=0
NumBootSFS=0
MismatchDemogExp=0
MismatchSpatialExp=0
MismatchDistanceMethod=0
MismatchGammaAValue=0.000000
NumBootExpDem=100
MismatchSpatialExpNumParams=3
ComputeAllHaplotypesEM=0
ComputeAllAllelesEM=0
InitialConditionsEM=50
MaximumNumOfIterationsEM=1000
RecessiveAllelesEM=0
CompactHaplotypeDataBaseEM=0
NumBootstrapReplicatesEM=0
NumInitCondBootstrapEM=10
ComputeAllSubHaplotypesEM=0
EpsilonValue=1.000000e-07
FrequencyThreshold=1.000000e-05
HaplAMOVA=1
LocByLocAMOVA=0
PopSpecificFST=0
PopSpecificFIS=0
TestSignificanceAMOVA=1
NumPermutationsAMOVA=1000
ComputeConventionalFST=0
IncludeIndividualLevel=0
ComputeDistanceMatrixAMOVA=1
DistanceMethodAMOVA=0
GammaAValueAMOVA=0.000000
PrintDistanceMatrix=0
PrintMinSpannNetworkGlob=0
TestSignificancePairewiseFST=1
NumPermutationsFST=1000
ComputePairwiseFST=1
ComputeDeltaMuSqr=0
FSTSignifLevel=0.050000
PrintFstVals=1
PrintConcestryCoeff=0
PrintSlatkinsDist=0
PrintMissIntermatchs=0
UnequalPopSizeDiv=0
NumPermutPopDiff=100000
NumDememoPopDiff=10000
PrecProbPopDiff=0
PrintHistoPopDiff=1
SignLevelPopDiff=0.050000
DetectSelectedLoci=0
UseHierarchicalIslandModel=0
NumberOfGroupsForFDist2=10
NumberOfDemesForFDist2=100
NumberOfSimsForFDist2=20000
UseSimFileForFDist2=0
SimFileNameForFDist2=
TargetHetLowBound=0.000000
TargetHetHighBound=1.000000
MinDafFreq=0.000000
IterativeProcForFDist2=0
EwensWattersonHomozygosityTest=0
NumIterationsNeutralityTests=1000
NumSimulFuTest=$nsim
NumPermMantel=1000
EOF
}

write_bench_ssdefs() {
    {
        echo "# Statistics of the benchmark line"
        echo "POP_LEVEL"
        echo "ALL_K MEAN_K"
        echo "ALL_H MEAN_H"
        echo "ALL_S MEAN_S"
        echo "ALL_PI MEAN_PI"
        echo "ALL_TAJIMAD MEAN_TAJIMAD"
        echo "ALL_FUFS MEAN_FUFS"
        if [ "${main_road:-0}" -eq 1 ]; then
            echo "GLOBAL_FSTAT"
            echo "PAIRWISE_FST"
        fi
    } >"$1"
}

# Paired timing of two whole commands, A B A B ...: `paired_times RUNS
# "COMMAND_A" "COMMAND_B"` (each a string run by sh in the current folder,
# output thrown away) prints the median processor seconds (user + system,
# from the kernel's accounting of the finished child, to the microsecond) of
# each and the median of the per-pair ratios A/B, so that a drift in the
# machine's speed moves both sides of a ratio alike.
paired_times() {
    python3 - "$@" <<'PY'
import os, statistics, subprocess, sys
runs, cmds = int(sys.argv[1]), {"A": sys.argv[2], "B": sys.argv[3]}
times = {"A": [], "B": []}
for _ in range(runs):
    for k in "AB":
        proc = subprocess.Popen(["sh", "-c", cmds[k]], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
        if os.waitstatus_to_exitcode(status) != 0:
            print("  %s failed (exit %d)" % (k, os.waitstatus_to_exitcode(status)))
            sys.exit(1)
        times[k].append(usage.ru_utime + usage.ru_stime)
a, b = times["A"], times["B"]
ratios = [x / y for x, y in zip(a, b) if y > 0]
line = "  A median %.4f s, B median %.4f s" % (statistics.median(a), statistics.median(b))
if ratios:
    line += ", A/B median of %d pairs %.3f (%.3f .. %.3f)" % (
        len(ratios), statistics.median(ratios), min(ratios), max(ratios))
print(line)
PY
}
