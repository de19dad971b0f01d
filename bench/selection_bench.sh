#!/usr/bin/env bash
# Times the scan for loci under selection (finite island model) on diploid
# DNA projects of 10 samples and 20 one-site loci drawn at FST 0.05 and 0.01
# (bench/make_scan_project.py), with 20 or 40 gene copies per sample, for
# D = 20, 100 and 500 simulated demes: per simulated locus the genealogy's
# processor time and events, those of a minimal C++ event loop of the same
# model (bench/island_loop.h) at the same D, F and sizes, and the rest of
# the scan (mutation, reading of the leaves, AMOVA, heterozygosity), with
# the allocations (bench/selection_bench.cpp). Then the wall time of the
# program's default scan (NumberOfSimsForFDist2=20000,
# NumberOfDemesForFDist2=100) on the 20-copy FST 0.05 project.
#
# Usage: bench/selection_bench.sh [--sims N] [--demes "20 100 500"] [--no-default] [--keep]
#   (also: bench/run_bench.sh --selection-scan ...)
#   --sims N      simulations per configuration of the table (default 2000)
#   --demes LIST  values of D (default "20 100 500")
#   --no-default  skip the default 20000-simulation scan
#   --keep        keep the working folder
#
# Environment: QUINTLE_BIN (default BUILD_DIR/quintle, built in Release mode
# when missing), BUILD_DIR (default <repository>/build), BENCH_BUILD_DIR
# (where selection_bench is built, default <repository>/build-bench),
# QUINTLE_SEED (default 4242), GEN_SEED (default 12345).
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
sims=2000
demes="20 100 500"
default_scan=1
keep=0
while [ $# -gt 0 ]; do
    case "$1" in
        --sims)
            [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "selection_bench.sh: --sims needs a positive number" >&2; exit 2; }
            sims="$2"
            shift ;;
        --demes)
            [[ "${2:-}" =~ ^[1-9][0-9]*( [1-9][0-9]*)*$ ]] || { echo "selection_bench.sh: --demes needs numbers" >&2; exit 2; }
            demes="$2"
            shift ;;
        --no-default) default_scan=0 ;;
        --keep) keep=1 ;;
        -h|--help) sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "selection_bench.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
    esac
    shift
done
TIME=/usr/bin/time
[ -x "$TIME" ] || { echo "selection_bench.sh: $TIME is missing; install the 'time' package" >&2; exit 1; }

. "$HERE/lib.sh"
find_quintle selection_bench.sh
BENCH_BUILD_DIR="${BENCH_BUILD_DIR:-$ROOT/build-bench}"
if [ ! -x "$BENCH_BUILD_DIR/selection_bench" ]; then
    echo "Building the timing program in $BENCH_BUILD_DIR ..."
    cmake -S "$ROOT" -B "$BENCH_BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DQUINTLE_TESTS=OFF -DQUINTLE_BENCH=ON >/dev/null
    cmake --build "$BENCH_BUILD_DIR" --target selection_bench -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
fi
TIMER="$BENCH_BUILD_DIR/selection_bench"

export QUINTLE_SEED="${QUINTLE_SEED:-4242}"
GEN_SEED="${GEN_SEED:-12345}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-selection-bench.XXXXXX")"
if [ "$keep" -eq 0 ]; then trap 'rm -rf "$WORK"' EXIT; else echo "Working folder: $WORK"; fi

echo "Machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Per simulated locus, $sims simulations; times in microseconds of processor time"
printf '%5s %6s %6s %10s %9s %10s %9s %6s %9s %6s %6s %8s %8s\n' D F genes genealogy events reference events ratio rest rest/g allocs allocs/l added/l
for F in 0.05 0.01; do
    for copies in 20 40; do
        dir="$WORK/F${F}_$copies"
        mkdir -p "$dir"
        python3 "$HERE/make_scan_project.py" 10 "$copies" 20 "$F" --seed "$GEN_SEED" -o "$dir/p.pmp"
        for D in $demes; do
            line="$(cd "$dir" && "$TIMER" p.pmp "$sims" "$D")"
            get() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<" $line"; }
            printf '%5s %6s %6s %10s %9s %10s %9s %6s %9s %6s %6s %8s %8s\n' "$(get demes)" "$(get F)" "$(get genes)" \
                "$(get genealogy_us)" "$(get events)" "$(get reference_us)" "$(get reference_events)" "$(get ratio)" \
                "$(get rest_us)" "$(get rest_ratio)" "$(get genealogy_allocations)" "$(get scan_allocations_per_locus)" \
                "$(get scan_allocations_per_added_locus)"
        done
    done
done
echo "(ratio: genealogy / reference; rest/g: the rest / genealogy; allocs: allocations of all the genealogies after"
echo " the first; allocs/l: allocations of the whole scan per simulated locus; added/l: those of an added"
echo " simulated locus, from two shorter scans)"

if [ "$default_scan" -eq 1 ]; then
    dir="$WORK/default"
    mkdir -p "$dir"
    python3 "$HERE/make_scan_project.py" 10 20 20 0.05 --seed "$GEN_SEED" -o "$dir/p.pmp"
    { printf 'DetectSelectedLoci=1\nTaskNumber=1\nNumberOfSimsForFDist2=20000\nNumberOfDemesForFDist2=100\n'
      cat "$ROOT/tests/data/run/settings_default.pms"; } >"$dir/pml_run.pms"
    printf 'POP_LEVEL\n' >"$dir/ssdefs.txt"
    (cd "$dir" && "$TIME" -v "$BIN" p.pmp stats.txt 0 1 run_silent >/dev/null 2>time.txt) || true
    wall="$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$dir/time.txt")"
    cpu="$(awk -F': ' '/User time/ {u=$2} /System time/ {s=$2} END {printf "%.2f", u + s}' "$dir/time.txt")"
    scan_ms="$(sed -n 's/.*done with detection of loci under selection! (\([0-9]*\) ms).*/\1/p' "$dir/p.res/Pellomar_log.txt")"
    echo "Default scan (20000 simulations, 100 demes, 10 samples of 20 copies, 20 loci): wall $wall, processor ${cpu} s, scan ${scan_ms} ms"
fi
