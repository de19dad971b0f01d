#!/usr/bin/env bash
# Times the expansion fits of the mismatch distribution: quintle on one
# generated sample (1 x 50 sequences x 1000 sites, TaskNumber 4, the sudden
# fit and both spatial fits, 100 bootstrap replicates) against the plain
# loop of bench/fits_plain.cpp, which runs the same searches on the same
# distribution with the same draws but computes every term as the models are
# written and compares simulated samples site by site. Both report processor
# time; the fitted values of the two must agree.
#
# Usage: bench/fits_bench.sh [--runs N] [--keep]
#   --runs N   quintle runs, the median is reported (default 5)
#   --keep     keep the working folder
#
# Environment: QUINTLE_BIN (default BUILD_DIR/quintle), BUILD_DIR (default
# <repository>/build), BENCH_BUILD_DIR (where fits_plain is built, default
# <repository>/build-bench), QUINTLE_SEED (default 4242), GEN_SEED (default
# 12345).
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
runs=5
keep=0
while [ $# -gt 0 ]; do
    case "$1" in
        --runs)
            [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "fits_bench.sh: --runs needs a positive number" >&2; exit 2; }
            runs="$2"
            shift ;;
        --keep) keep=1 ;;
        -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "fits_bench.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
    esac
    shift
done

command -v python3 >/dev/null || { echo "fits_bench.sh: python3 is needed" >&2; exit 1; }

. "$HERE/lib.sh"
find_quintle fits_bench.sh

BENCH_BUILD_DIR="${BENCH_BUILD_DIR:-$ROOT/build-bench}"
if [ ! -x "$BENCH_BUILD_DIR/fits_plain" ]; then
    echo "Building the plain loop in $BENCH_BUILD_DIR ..."
    cmake -S "$ROOT" -B "$BENCH_BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DQUINTLE_TESTS=OFF -DQUINTLE_BENCH=ON >/dev/null
    cmake --build "$BENCH_BUILD_DIR" --target fits_plain -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
fi
PLAIN="$BENCH_BUILD_DIR/fits_plain"

export QUINTLE_SEED="${QUINTLE_SEED:-4242}"
GEN_SEED="${GEN_SEED:-12345}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-fits-bench.XXXXXX")"
if [ "$keep" -eq 0 ]; then trap 'rm -rf "$WORK"' EXIT; fi

python3 "$HERE/make_project.py" 1 50 1000 --seed "$GEN_SEED" -o "$WORK/bench.pmp"
{
    echo "[Setting for Calculations]"
    echo "TaskNumber=4"
    echo "XMLOutput=1"
    echo "MismatchDemogExp=1"
    echo "MismatchSpatialExp=1"
    echo "MismatchSpatialExpNumParams=2"
    echo "NumBootExpDem=100"
    cat "$ROOT/examples/pml_run.pms"
} >"$WORK/pml_run.pms"
printf 'POP_LEVEL\nALL_K\n' >"$WORK/ssdefs.txt"
printf 'flags\n_MISMATCH_\n' >"$WORK/glbstreams.txt"

# Processor time (user + system) of one run, to the microsecond.
cpu_time() {
    python3 - "$@" <<'PY'
import os, subprocess, sys
p = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL)
_, status, usage = os.wait4(p.pid, 0)
if status != 0:
    sys.exit("fits_bench.sh: the program failed")
print(f"{usage.ru_utime + usage.ru_stime:.4f}")
PY
}

times=()
for ((r = 0; r < runs; r++)); do
    rm -rf "$WORK/bench.res" "$WORK"/*.sum "$WORK/only_mismatch_sp.txt" "$WORK/glob_res.xl"
    times+=("$(cd "$WORK" && cpu_time "$BIN" bench.pmp stats.txt 0 1 run_silent)")
done
grep -q "^Successful run of" "$WORK/bench.res/Pellomar_log.txt" || { echo "fits_bench.sh: the run failed" >&2; exit 1; }
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')

# The observed counts from the distribution-only batch line.
counts=$(awk -F'\t' 'NF > 2 { for (i = 3; i < NF; i++) printf "%s ", $i; exit }' "$WORK/only_mismatch_sp.txt")
plain_out=$("$PLAIN" 50 100 "$QUINTLE_SEED" $counts)
plain=$(sed -n 's/^plain loop: \([0-9.]*\) s$/\1/p' <<<"$plain_out")

echo "quintle expansion fits benchmark"
echo "  program:    $BIN"
echo "  project:    1 x 50 x 1000 (generator seed $GEN_SEED), QUINTLE_SEED=$QUINTLE_SEED"
echo "  analyses:   TaskNumber 4, sudden fit, spatial fits with 4 then 3 parameters, 100 replicates each"
echo
echo "quintle run (processor time, median of $runs): $median s   [${times[*]}]"
echo "plain loop (same searches, terms as written):   $plain s"
awk -v a="$median" -v b="$plain" 'BEGIN { printf "ratio quintle / plain loop:                     %.3f (target at most 0.2)\n", a / b }'
echo
echo "Fitted values, quintle (mismatch.sum, mismatch_sp3.sum):"
awk -F'\t' '/^"/ { printf "  sudden: theta0 %s tau %s theta1 %s\n", $7, $8, $9 }' "$WORK/mismatch.sum"
awk -F'\t' '/^"/ { printf "  spatial (3): theta %s tau %s M %s\n", $9, $8, $10 }' "$WORK/mismatch_sp3.sum"
echo "Plain loop:"
sed 's/^/  /' <<<"$plain_out" | grep -v "plain loop"
if [ "$keep" -eq 1 ]; then echo "Working folder kept: $WORK"; fi
