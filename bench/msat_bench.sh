#!/usr/bin/env bash
# Times a microsatellite project against the DNA project of the same shape
# class with the same settings: 4 samples x 200 haploid gene copies x 20 loci
# (sizes over 30 repeat steps, bench/make_msat_project.py) and 4 samples x 50
# sequences x 1000 sites (bench/make_project.py), both with TaskNumber 391
# (standard and molecular diversity, mismatch distribution, Ewens-Watterson
# and Chakraborty tests), MismatchDistanceMethod 1 (squared size differences
# for microsatellites) and 1000 Ewens-Watterson replicates. Reports the
# median processor time (user + system) and the peak memory of each, their
# ratio, and the last mismatch class printed for the microsatellite samples.
#
# Usage: bench/msat_bench.sh [--runs N] [--keep]     (or run_bench.sh --msat ...)
#   --runs N   runs of each project, the median is reported (default 5)
#   --keep     keep the working folder
#
# Environment: QUINTLE_BIN (default BUILD_DIR/quintle), BUILD_DIR (default
# <repository>/build), QUINTLE_SEED (default 4242), GEN_SEED (default 12345).
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
runs=5
keep=0
while [ $# -gt 0 ]; do
    case "$1" in
        --runs)
            [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "msat_bench.sh: --runs needs a positive number" >&2; exit 2; }
            runs="$2"
            shift ;;
        --keep) keep=1 ;;
        -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "msat_bench.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
    esac
    shift
done

command -v python3 >/dev/null || { echo "msat_bench.sh: python3 is needed" >&2; exit 1; }

. "$HERE/lib.sh"
find_quintle msat_bench.sh

export QUINTLE_SEED="${QUINTLE_SEED:-4242}"
GEN_SEED="${GEN_SEED:-12345}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-msat-bench.XXXXXX")"
if [ "$keep" -eq 0 ]; then trap 'rm -rf "$WORK"' EXIT; fi

# The run's own keys first (the first line naming a key gives its value),
# then the example's settings for every other key.
settings() {
    printf '%s\n' "[Setting for Calculations]" "TaskNumber=391" "XMLOutput=1" "MismatchDistanceMethod=1" \
        "MismatchDemogExp=0" "MismatchSpatialExp=0" "NumIterationsNeutralityTests=1000" "ComputeTheta=1"
    cat "$ROOT/examples/pml_run.pms"
}
mkdir -p "$WORK/msat" "$WORK/dna"
python3 "$HERE/make_msat_project.py" 4 200 20 --steps 30 --seed "$GEN_SEED" -o "$WORK/msat/bench.pmp"
python3 "$HERE/make_project.py" 4 50 1000 --seed "$GEN_SEED" -o "$WORK/dna/bench.pmp"
for d in msat dna; do
    settings >"$WORK/$d/pml_run.pms"
    printf 'POP_LEVEL\nALL_K MEAN_K\nALL_H MEAN_H\n' >"$WORK/$d/ssdefs.txt"
done

# One run: "processor-seconds peak-KiB verdict", from wait4 (user + system
# time to the microsecond).
one_run() {
    local dir="$1"
    rm -rf "$dir/bench.res" "$dir/stats.txt"
    local measured
    measured=$(cd "$dir" && python3 - "$BIN" <<'PY'
import os, sys
pid = os.fork()
if pid == 0:
    fd = os.open("stdout.txt", os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
    os.dup2(fd, 1)
    os.dup2(fd, 2)
    os.execv(sys.argv[1], [sys.argv[1], "bench.pmp", "stats.txt", "0", "1", "run_silent"])
_, status, usage = os.wait4(pid, 0)
print(f"{usage.ru_utime + usage.ru_stime:.6f} {usage.ru_maxrss}")
PY
)
    local verdict="failed"
    grep -q "^Successful run of" "$dir/bench.res/Pellomar_log.txt" 2>/dev/null && verdict="ok"
    echo "$measured $verdict"
}

declare -A cpu peak verdict
for d in msat dna; do
    times=()
    for ((r = 0; r < runs; r++)); do
        read -r t m v < <(one_run "$WORK/$d")
        times+=("$t")
        peak[$d]="$m"
        verdict[$d]="$v"
    done
    cpu[$d]=$(printf '%s\n' "${times[@]}" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
done

max_distance=$(sed -n 's/^ *#Diff.*//p; /^[ ]*[0-9]\+[ ]\+[0-9]\+[ ]\+[0-9.]\+$/p' "$WORK/msat/bench.res/bench.xml" 2>/dev/null |
    awk '{ if ($1 > m) m = $1 } END { print m + 0 }')

echo "quintle microsatellite benchmark"
echo "  program:  $BIN"
echo "  seeds:    QUINTLE_SEED=$QUINTLE_SEED, generator $GEN_SEED; median of $runs runs"
echo "  machine:  $(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -n 1), $(nproc 2>/dev/null || echo '?') CPUs"
echo
printf '%-34s %10s %12s  %s\n' "project" "cpu (s)" "peak (MiB)" "run"
printf '%-34s %10s %12s  %s\n' "microsatellites 4x200x20" "${cpu[msat]}" \
    "$(awk -v k="${peak[msat]}" 'BEGIN { printf "%.1f", k / 1024 }')" "${verdict[msat]}"
printf '%-34s %10s %12s  %s\n' "DNA 4x50x1000" "${cpu[dna]}" \
    "$(awk -v k="${peak[dna]}" 'BEGIN { printf "%.1f", k / 1024 }')" "${verdict[dna]}"
echo
awk -v a="${cpu[msat]}" -v b="${cpu[dna]}" 'BEGIN { if (b > 0) printf "ratio microsatellites / DNA: %.2f (target: at most 3)\n", a / b }'
echo "last mismatch class printed for the microsatellite samples: $max_distance"
if [ "$keep" -eq 1 ]; then echo "Working folder kept: $WORK"; fi
[ "${verdict[msat]}" = ok ] && [ "${verdict[dna]}" = ok ]
