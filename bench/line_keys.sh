#!/usr/bin/env bash
# Which settings keys leave the statistics line of the typical pipeline call
# as it is, checked seed by seed (bench/line_keys.py), and what each costs.
#
# Usage: bench/line_keys.sh [--seeds N] [--ld-seeds N]
#
# The typical call: make_project.py 2 50 1000 --groups 2 (generator seed
# 12345), TaskNumber 17987 (diversity, Tajima's and Fu's tests with 1000
# replicates, AMOVA and pairwise FST with 1000 permutations), the
# benchmark's settings and statistics list (bench/lib.sh). Each key below is
# changed alone. Then the linkage test's chain settings on the same project
# with task 16 added and the linkage columns in the list (its chains are
# long: fewer seeds).
#
# Environment: QUINTLE_BIN / BUILD_DIR as for run_bench.sh; JOBS (default 3)
# calls at once.
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
seeds=800
ld_seeds=20
while [ $# -gt 0 ]; do
    case "$1" in
        --seeds) seeds="$2"; shift ;;
        --ld-seeds) ld_seeds="$2"; shift ;;
        *) echo "line_keys.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
    shift
done
. "$HERE/lib.sh"
find_quintle line_keys.sh
WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-keys.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

main_road=1
nsim=1000
tasks=$((1 + 2 + 64 + 16384 + 512 + 1024))
mkdir -p "$WORK/typical" "$WORK/linkage"
python3 "$HERE/make_project.py" 2 50 1000 --groups 2 --seed 12345 -o "$WORK/typical/bench.pmp"
write_bench_settings "$WORK/typical/pml_run.pms"
write_bench_ssdefs "$WORK/typical/ssdefs.txt"

echo "== typical call"
python3 "$HERE/line_keys.py" --program "$BIN" --folder "$WORK/typical" --seeds "$seeds" --jobs "${JOBS:-3}" \
    NumSimulFuTest=0 NumPermutationsAMOVA=0 NumPermutationsFST=0 TestSignificanceAMOVA=0 \
    TestSignificancePairewiseFST=0 EliminateRedondHaplodefs=0 XMLOutput=0 ComputeTheta=0 KeepNullDistrib=1 \
    PrintDistanceMatrix=1 PrintMinSpannNetworkGlob=1 PrintHaplDistMat=1 PrintMinSpannNetworkPop=1 \
    PrintPopDistMat=1 NumIterationsNeutralityTests=0 NumBootExpDem=0 || true

tasks=$((tasks + 16))
cp "$WORK/typical/bench.pmp" "$WORK/linkage/"
write_bench_settings "$WORK/linkage/pml_run.pms"
write_bench_ssdefs "$WORK/linkage/ssdefs.txt"
sed -i 's/^MakeExactTestLD=.*/MakeExactTestLD=1/' "$WORK/linkage/pml_run.pms"
echo "MEAN_ALL_DPRIME MEAN_ALL_R2 ALL_ADJ_DPRIME ALL_ADJ_R2 MEAN_ADJ_DPRIME MEAN_ADJ_R2" >>"$WORK/linkage/ssdefs.txt"
echo
echo "== with the linkage test (task 16, MakeExactTestLD=1) and its columns"
python3 "$HERE/line_keys.py" --program "$BIN" --folder "$WORK/linkage" --seeds "$ld_seeds" --jobs "${JOBS:-3}" \
    MakeExactTestLD=0 MarkovChainStepsLD=0 MarkovChainStepsLD=1000 PrintFlagHistogramLD=1 || true
