#!/usr/bin/env bash
# Times quintle on an RFLP project beside the DNA project of the same shape
# (make_project.py with and without --rflp, same generator seed: the same
# haplotypes, written as sites or as bases), with the default analyses of
# run_bench.sh: standard and molecular diversity, Tajima's test and Fu's Fs
# test with 1000 coalescent replicates each (TaskNumber 16451). The two run
# in turn, round after round; the medians of their processor times (user +
# system) and of the paired ratios RFLP/DNA are reported.
#
# Usage: bench/rflp_bench.sh [--runs N] [--keep] [SAMPLESxSEQUENCESxSITES]
#   (also: bench/run_bench.sh --rflp ...)
#   SAMPLESxSEQUENCESxSITES  the shape (default 10x100x1000)
#   --runs N   rounds (default 5)
#   --keep     keep the working folder
#
# Environment: QUINTLE_BIN (default BUILD_DIR/quintle, built in Release mode
# when missing), BUILD_DIR (default <repository>/build), QUINTLE_SEED
# (default 4242), GEN_SEED (default 12345).
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
runs=5
keep=0
shape=10x100x1000
while [ $# -gt 0 ]; do
    case "$1" in
        --runs)
            [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "rflp_bench.sh: --runs needs a positive number" >&2; exit 2; }
            runs="$2"
            shift ;;
        --keep) keep=1 ;;
        -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        [1-9]*x[1-9]*x[1-9]*) shape="$1" ;;
        *) echo "rflp_bench.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
    esac
    shift
done
[[ "$shape" =~ ^[1-9][0-9]*x[1-9][0-9]*x[1-9][0-9]*$ ]] ||
    { echo "rflp_bench.sh: bad shape '$shape' (want SAMPLESxSEQUENCESxSITES)" >&2; exit 2; }

TIME=/usr/bin/time
[ -x "$TIME" ] || { echo "rflp_bench.sh: $TIME is missing; install the 'time' package" >&2; exit 1; }
command -v python3 >/dev/null || { echo "rflp_bench.sh: python3 is needed" >&2; exit 1; }

. "$HERE/lib.sh"
find_quintle rflp_bench.sh

export QUINTLE_SEED="${QUINTLE_SEED:-4242}"
GEN_SEED="${GEN_SEED:-12345}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-rflp-bench.XXXXXX")"
if [ "$keep" -eq 0 ]; then trap 'rm -rf "$WORK"' EXIT; fi

IFS=x read -r ns nq nl <<<"$shape"
for kind in dna rflp; do
    mkdir -p "$WORK/$kind"
    flag=()
    [ "$kind" = rflp ] && flag=(--rflp)
    python3 "$HERE/make_project.py" "$ns" "$nq" "$nl" --seed "$GEN_SEED" "${flag[@]}" -o "$WORK/$kind/bench.pmp"
    # The example's settings with the benchmark's analyses and replicates.
    sed -e 's/^TaskNumber=.*/TaskNumber=16451/' -e 's/^NumSimulFuTest=.*/NumSimulFuTest=1000/' \
        "$ROOT/examples/pml_run.pms" >"$WORK/$kind/pml_run.pms"
    printf 'POP_LEVEL\nALL_K MEAN_K\nALL_H MEAN_H\nALL_S MEAN_S\nALL_PI MEAN_PI\nALL_TAJIMAD MEAN_TAJIMAD\nALL_FUFS MEAN_FUFS\n' \
        >"$WORK/$kind/ssdefs.txt"
done

# One run: processor seconds (user + system) on standard output.
run_once() {
    local dir="$WORK/$1"
    rm -rf "$dir/bench.res" "$dir"/*.sum "$dir/stats.txt"
    (cd "$dir" && "$TIME" -f "%U %S" -o time.txt "$BIN" bench.pmp stats.txt 0 1 run_silent >stdout.txt 2>&1) ||
        { echo "rflp_bench.sh: the $1 run failed (see $dir)" >&2; keep=1; exit 1; }
    grep -q "^Successful run of" "$dir/bench.res/Pellomar_log.txt" ||
        { echo "rflp_bench.sh: the $1 run did not succeed (see $dir)" >&2; exit 1; }
    awk '{ printf "%.3f\n", $1 + $2 }' "$dir/time.txt"
}

echo "quintle RFLP beside DNA, shape $shape, TaskNumber 16451, 1000 replicates per test"
echo "  program:  $BIN"
echo "  seeds:    QUINTLE_SEED=$QUINTLE_SEED, generator $GEN_SEED"
echo "  machine:  $(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -n 1), $(nproc 2>/dev/null || echo '?') CPUs"
dna=()
rflp=()
for ((r = 1; r <= runs; r++)); do
    dna+=("$(run_once dna)")
    rflp+=("$(run_once rflp)")
done
python3 - "${dna[*]}" "${rflp[*]}" <<'PY'
import statistics, sys
dna = [float(x) for x in sys.argv[1].split()]
rflp = [float(x) for x in sys.argv[2].split()]
ratios = [r / d for r, d in zip(rflp, dna) if d > 0]
print(f"  rounds:   {len(dna)}")
print(f"  DNA:      median {statistics.median(dna):.3f} s processor time")
print(f"  RFLP:     median {statistics.median(rflp):.3f} s processor time")
print(f"  RFLP/DNA: median of the paired ratios {statistics.median(ratios):.2f}")
PY
# The same statistics line for both: the haplotypes are the same.
echo "  statistics lines (DNA, then RFLP):"
for kind in dna rflp; do sed -n 2p "$WORK/$kind/stats.txt" | cut -f1-12 | sed 's/^/    /'; done
if [ "$keep" -eq 1 ]; then echo "Working folder kept: $WORK"; fi
