#!/usr/bin/env bash
# Times quintle's haplotype-frequency EM and its linkage-disequilibrium test
# on unphased diploid DNA, and the same work done by haplo.em (R package
# haplo.stats) when R has it.
#
# Usage: bench/em_bench.sh [--keep] [--no-r]
#
#   --keep   Keep the working folder (projects, results, logs) and say where.
#   --no-r   Do not time haplo.em.
#
# The two measurements, both on data from make_genotypes.py (seed GEN_SEED):
#   em    100 individuals x 5 biallelic sites, EM with 50 random starts
#         (task 8, ComputeAllHaplotypesEM=1); against haplo.em(n.try = 50).
#   ld    100 individuals x 6 biallelic sites, linkage test of the 15 pairs
#         with 1000 permutations (task 16, InitialCondEMLD=2); the time of
#         one pair (the run's time / 15) against 1,024 haplo.em(n.try = 2)
#         calls on one pair of sites.
# quintle's times are those of the whole run (start, reading, analysis,
# output): the best wall time and the best processor time of REPEATS runs;
# haplo.em's is the calls alone inside R (median of REPEATS for em).
#
# Environment: QUINTLE_BIN, BUILD_DIR as for run_bench.sh; QUINTLE_SEED
# (default 4242); GEN_SEED (default 12345); REPEATS (default 5).
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"

keep=0
use_r=1
for arg in "$@"; do
    case "$arg" in
        --keep) keep=1 ;;
        --no-r) use_r=0 ;;
        -h|--help) sed -n '2,24p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "em_bench.sh: unknown argument '$arg' (try --help)" >&2; exit 2 ;;
    esac
done

command -v python3 >/dev/null || { echo "em_bench.sh: python3 is needed" >&2; exit 1; }
. "$HERE/lib.sh"
find_quintle em_bench.sh
if [ "$use_r" -eq 1 ] && ! Rscript -e 'suppressMessages(library(haplo.stats))' >/dev/null 2>&1; then
    echo "(R with haplo.stats not found: haplo.em is not timed)"
    use_r=0
fi

export QUINTLE_SEED="${QUINTLE_SEED:-4242}"
GEN_SEED="${GEN_SEED:-12345}"
REPEATS="${REPEATS:-5}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-em-bench.XXXXXX")"
if [ "$keep" -eq 0 ]; then trap 'rm -rf "$WORK"' EXIT; fi

# The example settings with the analysis of the measurement.
write_settings() {
    local tasks=$1
    sed -e "s/^TaskNumber=.*/TaskNumber=$tasks/" \
        -e "s/^ComputeAllHaplotypesEM=.*/ComputeAllHaplotypesEM=1/" \
        -e "s/^InitialConditionsEM=.*/InitialConditionsEM=50/" \
        -e "s/^MarkovChainStepsLD=.*/MarkovChainStepsLD=1000/" \
        -e "s/^InitialCondEMLD=.*/InitialCondEMLD=2/" \
        -e "s/^MakeExactTestLD=.*/MakeExactTestLD=1/" \
        "$ROOT/examples/pml_run.pms" >"$2"
}

# Best wall time and best processor time (user + system) in seconds of
# REPEATS runs in folder $1, as "WALL CPU".
time_quintle() {
    python3 - "$1" "$BIN" "$REPEATS" <<'PY'
import os, subprocess, sys, time
folder, program, repeats = sys.argv[1], sys.argv[2], int(sys.argv[3])
best_wall = best_cpu = None
for _ in range(repeats):
    start = time.perf_counter()
    child = subprocess.Popen([program, "bench.pmp", "stats.txt", "0", "1", "run_silent"], cwd=folder,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    cpu = usage.ru_utime + usage.ru_stime
    if status != 0:
        sys.exit("em_bench.sh: the program failed in " + folder)
    best_wall = wall if best_wall is None else min(best_wall, wall)
    best_cpu = cpu if best_cpu is None else min(best_cpu, cpu)
print(f"{best_wall:.4f} {best_cpu:.4f}")
PY
    grep -q "^Successful run of" "$1/bench.res/Pellomar_log.txt" || { echo "em_bench.sh: run failed in $1" >&2; exit 1; }
}

echo "quintle EM and unphased linkage benchmark"
echo "  program:  $BIN"
echo "  seeds:    QUINTLE_SEED=$QUINTLE_SEED, generator $GEN_SEED; best of $REPEATS runs"
echo
printf '%-32s %10s %10s %12s %7s %7s\n' "measurement" "wall (s)" "cpu (s)" "haplo.em (s)" "wall/R" "cpu/R"

# EM: 100 x 5, 50 starts.
mkdir -p "$WORK/em"
python3 "$HERE/make_genotypes.py" 100 5 --seed "$GEN_SEED" -o "$WORK/em/bench.pmp" --table "$WORK/em/table.txt"
write_settings 8 "$WORK/em/pml_run.pms"
printf 'POP_LEVEL\nALL_K\n' >"$WORK/em/ssdefs.txt"
read -r em_wall em_cpu <<<"$(time_quintle "$WORK/em")"
em_r="-"
[ "$use_r" -eq 1 ] && em_r=$(Rscript "$HERE/em_bench.R" em "$WORK/em/table.txt" 50 "$REPEATS")

# Linkage test: 100 x 6, 1000 permutations, 15 pairs; one pair's share.
mkdir -p "$WORK/ld"
python3 "$HERE/make_genotypes.py" 100 6 --seed "$GEN_SEED" -o "$WORK/ld/bench.pmp" --table "$WORK/ld/table.txt"
write_settings 16 "$WORK/ld/pml_run.pms"
printf 'POP_LEVEL\nALL_K\n' >"$WORK/ld/ssdefs.txt"
read -r ld_run_wall ld_run_cpu <<<"$(time_quintle "$WORK/ld")"
pairs=$(grep -c "(1023 permutations done)" "$WORK/ld/bench.res/bench.xml" || true)
per_pair() { awk -v t="$1" -v n="$pairs" 'BEGIN { printf "%.4f", (n > 0 ? t / n : t) }'; }
ld_wall=$(per_pair "$ld_run_wall")
ld_cpu=$(per_pair "$ld_run_cpu")
ld_r="-"
[ "$use_r" -eq 1 ] && ld_r=$(Rscript "$HERE/em_bench.R" pair "$WORK/ld/table.txt" 2 1024)

ratio() { awk -v q="$1" -v r="$2" 'BEGIN { if (r == "-" || r + 0 == 0) print "-"; else printf "%.3f", q / r }'; }
row() { printf '%-32s %10s %10s %12s %7s %7s\n' "$1" "$2" "$3" "$4" "$(ratio "$2" "$4")" "$(ratio "$3" "$4")"; }
row "EM 100x5, 50 starts" "$em_wall" "$em_cpu" "$em_r"
row "LD 100x6, 1000 perm., one pair" "$ld_wall" "$ld_cpu" "$ld_r"
echo "  (linkage run: $ld_run_wall s wall, $ld_run_cpu s cpu, for $pairs pairs of 1023 permutations)"
if [ "$keep" -eq 1 ]; then echo "Working folder kept: $WORK"; fi
