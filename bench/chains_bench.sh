#!/usr/bin/env bash
# Steps per second of the Markov chains of the exact tests (Hardy-Weinberg
# chain, short linkage chain) against a plain loop of the same draws and
# table updates (bench/chain_loop.cpp), on a generated phased diploid DNA
# project.
#
# Usage: bench/chains_bench.sh [--keep] [INDIVIDUALSxSITES]
#
#   INDIVIDUALSxSITES  size of the project (default 200x20: 20 Hardy-Weinberg
#                      chains and 190 linkage chains)
#   --keep             keep the working folder and say where
#
# Environment:
#   QUINTLE_BIN  program to time (default: BUILD_DIR/quintle, built in Release
#                mode when missing); the loop is linked against the library
#                built beside it (src/libquintle_lib.a)
#   BUILD_DIR    build folder for that default (default: <repository>/build)
#   REPEAT       runs of each timing, the fastest kept (default 3)
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"

keep=0
size=200x20
for arg in "$@"; do
    case "$arg" in
        --keep) keep=1 ;;
        -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        [0-9]*x[0-9]*) size="$arg" ;;
        *) echo "chains_bench.sh: unknown argument '$arg' (try --help)" >&2; exit 2 ;;
    esac
done
if ! [[ "$size" =~ ^([0-9]+)x([0-9]+)$ ]] || [ "${BASH_REMATCH[1]}" -lt 2 ] || [ "${BASH_REMATCH[2]}" -lt 2 ]; then
    echo "chains_bench.sh: bad size '$size' (want INDIVIDUALSxSITES, both at least 2)" >&2
    exit 2
fi
individuals="${BASH_REMATCH[1]}"
sites="${BASH_REMATCH[2]}"
REPEAT="${REPEAT:-3}"
command -v python3 >/dev/null || { echo "chains_bench.sh: python3 is needed" >&2; exit 1; }

. "$HERE/lib.sh"
find_quintle chains_bench.sh
LIB="$(dirname "$BIN")/src/libquintle_lib.a"
[ -f "$LIB" ] || { echo "chains_bench.sh: no library at $LIB to link the loop against" >&2; exit 1; }
FLAGS="$(grep -m1 '^CMAKE_BUILD_TYPE:' "$(dirname "$BIN")/CMakeCache.txt" 2>/dev/null | cut -d= -f2)"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-chains.XXXXXX")"
if [ "$keep" -eq 0 ]; then trap 'rm -rf "$WORK"' EXIT; fi

# The loop is built as the program is: optimised, without assertions.
${CXX:-c++} -std=c++20 -O3 -DNDEBUG -I"$ROOT/src" "$HERE/chain_loop.cpp" "$LIB" -o "$WORK/chain_loop"
python3 "$HERE/make_phased_project.py" "$individuals" "$sites" -o "$WORK/bench.pmp" -t "$WORK/tables.txt"

HW_STEPS=1000000
HW_DEMEMO=100000
LD_STEPS=100000
LD_DEMEMO=1000

# The example settings with the keys of one run replaced.
settings() {
    local tasks=$1 hw=$2 ld=$3
    sed -e "s/^TaskNumber=.*/TaskNumber=$tasks/" \
        -e "s/^MakeHWExactTest=.*/MakeHWExactTest=$hw/" \
        -e "s/^TypeOfTestHW=.*/TypeOfTestHW=0/" \
        -e "s/^MarkovChainStepsHW=.*/MarkovChainStepsHW=$HW_STEPS/" \
        -e "s/^MarkovChainDememorisationStepsHW=.*/MarkovChainDememorisationStepsHW=$HW_DEMEMO/" \
        -e "s/^MakeExactTestLD=.*/MakeExactTestLD=$ld/" \
        -e "s/^MarkovChainStepsLD=.*/MarkovChainStepsLD=$LD_STEPS/" \
        -e "s/^MarkovChainDememorisationStepsLD=.*/MarkovChainDememorisationStepsLD=$LD_DEMEMO/" \
        -e "s/^ComputeDvalues=.*/ComputeDvalues=0/" \
        "$ROOT/examples/pml_run.pms" >"$WORK/pml_run.pms"
}

# Wall time, in seconds, of one run of the program.
run_time() {
    local t0 t1
    rm -rf "$WORK/bench.res" "$WORK/stats.txt"
    t0=$(date +%s.%N)
    (cd "$WORK" && QUINTLE_SEED=4242 "$BIN" bench.pmp stats.txt 0 1 run_silent >/dev/null 2>&1) || true
    t1=$(date +%s.%N)
    if ! grep -q "Successful run" "$WORK/bench.res/Pellomar_log.txt" 2>/dev/null; then
        echo "chains_bench.sh: a run of $BIN failed; the end of its log:" >&2
        tail -5 "$WORK/bench.res/Pellomar_log.txt" >&2 2>/dev/null || true
        exit 1
    fi
    python3 -c "print($t1 - $t0)"
}

printf 'POP_LEVEL\n' >"$WORK/ssdefs.txt"
hw_total=$(python3 -c "import math; n=$HW_STEPS; b=math.isqrt(n); print(b*(n//b+1)+$HW_DEMEMO)")
ld_total=$(python3 -c "import math; n=$LD_STEPS; b=math.isqrt(n); print(b*(n//b+1)+$LD_DEMEMO)")

# Each round times the four runs and the loop one after the other, so that
# they share the machine's load; the fastest of each is kept.
times=""
loop=""
for _ in $(seq "$REPEAT"); do
    settings 32 1 0; times+="hw_on $(run_time)"$'\n'
    settings 32 0 0; times+="hw_off $(run_time)"$'\n'
    settings 16 0 1; times+="ld_on $(run_time)"$'\n'
    settings 16 0 0; times+="ld_off $(run_time)"$'\n'
    loop+="$("$WORK/chain_loop" "$WORK/tables.txt" "$hw_total" "$ld_total")"$'\n'
done

python3 - "$times" "$loop" "$size" "${FLAGS:-?}" "$REPEAT" <<'EOF'
import sys
best = {}
for l in sys.argv[1].split("\n"):
    if l.split():
        name, t = l.split()
        best[name] = min(best.get(name, float(t)), float(t))
hw_on, hw_off, ld_on, ld_off = best["hw_on"], best["hw_off"], best["ld_on"], best["ld_off"]
loop = {}
for l in sys.argv[2].split("\n"):
    f = l.split()
    if f and (f[0] not in loop or float(f[3]) < float(loop[f[0]][2])):
        loop[f[0]] = f[1:]
print("Chains of %s (individuals x sites), program built %s, fastest of %s rounds" % (sys.argv[3], sys.argv[4], sys.argv[5]))
print("%-22s %8s %12s %10s %14s %14s %8s" % ("chain", "tables", "steps", "time (s)", "steps/s", "loop steps/s", "ratio"))
worst = 0.0
for name, kind, on, off in (("Hardy-Weinberg", "hw", hw_on, hw_off), ("linkage, short chain", "ld", ld_on, ld_off)):
    tables, steps, seconds, rate = int(loop[kind][0]), int(loop[kind][1]), float(loop[kind][2]), float(loop[kind][3])
    chain = max(on - off, 1e-9)
    ratio = (chain / steps) / (seconds / steps)
    worst = max(worst, ratio)
    print("%-22s %8d %12d %10.3f %14.3e %14.3e %8.2f" % (name, tables, steps, chain, steps / chain, rate, ratio))
print("ratio: time per chain step over the loop's (target: at most 2) -> %s" % ("met" if worst <= 2 else "missed"))
EOF
if [ "$keep" -eq 1 ]; then echo "Work folder kept: $WORK"; fi
