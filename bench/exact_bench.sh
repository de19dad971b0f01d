#!/usr/bin/env bash
# The exact test of sample differentiation (task 8192) against R's
# fisher.test(simulate.p.value = TRUE) on the same tables, in one run: the
# program and R take turns, and every P value of the program is checked
# against R's.
#
# Usage: bench/exact_bench.sh [--keep] [SAMPLESxCOPIESxHAPLOTYPES]
#
#   SAMPLESxCOPIESxHAPLOTYPES  the project (default 10x50x20: 1 global and
#                      45 pair tests, each a chain of 100000 counted steps
#                      after 10 x 10000 dememorisation steps)
#   --keep             keep the working folder and say where
#
# Environment:
#   QUINTLE_BIN  program to time (default: BUILD_DIR/quintle, built in Release
#                mode when missing)
#   BUILD_DIR    build folder for that default (default: <repository>/build)
#   REPEAT       rounds (default 5); medians are reported
#   R_TABLES     random tables per test of R (default 100000)
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"

keep=0
size=10x50x20
for arg in "$@"; do
    case "$arg" in
        --keep) keep=1 ;;
        -h|--help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        [0-9]*x[0-9]*x[0-9]*) size="$arg" ;;
        *) echo "exact_bench.sh: unknown argument '$arg' (try --help)" >&2; exit 2 ;;
    esac
done
if ! [[ "$size" =~ ^([0-9]+)x([0-9]+)x([0-9]+)$ ]]; then
    echo "exact_bench.sh: bad size '$size' (want SAMPLESxCOPIESxHAPLOTYPES)" >&2
    exit 2
fi
samples="${BASH_REMATCH[1]}"
copies="${BASH_REMATCH[2]}"
haplotypes="${BASH_REMATCH[3]}"
REPEAT="${REPEAT:-5}"
R_TABLES="${R_TABLES:-100000}"
command -v python3 >/dev/null || { echo "exact_bench.sh: python3 is needed" >&2; exit 1; }
command -v Rscript >/dev/null || { echo "exact_bench.sh: Rscript is needed (Debian package r-base-core)" >&2; exit 1; }

. "$HERE/lib.sh"
find_quintle exact_bench.sh

WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-exact.XXXXXX")"
if [ "$keep" -eq 0 ]; then trap 'rm -rf "$WORK"' EXIT; fi

python3 "$HERE/make_exact_project.py" "$samples" "$copies" "$haplotypes" -o "$WORK/bench.pmp" -t "$WORK/table.txt"
sed -e "s/^TaskNumber=.*/TaskNumber=8192/" \
    -e "s/^NumPermutPopDiff=.*/NumPermutPopDiff=100000/" \
    -e "s/^NumDememoPopDiff=.*/NumDememoPopDiff=10000/" \
    -e "s/^PrecProbPopDiff=.*/PrecProbPopDiff=0/" \
    -e "s/^XMLOutput=.*/XMLOutput=0/" \
    "$ROOT/examples/pml_run.pms" >"$WORK/pml_run.pms"
printf 'POP_LEVEL\n' >"$WORK/ssdefs.txt"

now() { date +%s.%N; }

# Rounds: the program, then R, so that both see the same load.
times=""
for _ in $(seq "$REPEAT"); do
    rm -rf "$WORK/bench.res" "$WORK/stats.txt"
    t0=$(now)
    (cd "$WORK" && QUINTLE_SEED=4242 "$BIN" bench.pmp stats.txt 0 1 run_silent >/dev/null 2>&1) || true
    t1=$(now)
    if ! grep -q "Successful run" "$WORK/bench.res/Pellomar_log.txt" 2>/dev/null; then
        echo "exact_bench.sh: a run of $BIN failed; the end of its log:" >&2
        tail -5 "$WORK/bench.res/Pellomar_log.txt" >&2 2>/dev/null || true
        exit 1
    fi
    t2=$(now)
    Rscript "$HERE/exact_peer.R" "$WORK/table.txt" "$R_TABLES" "$WORK/peer.txt"
    t3=$(now)
    times+="$t0 $t1 $t2 $t3 $(sed -n 's/^seconds //p' "$WORK/peer.txt")"$'\n'
done

python3 - "$times" "$WORK/bench.res/bench.htm" "$WORK/peer.txt" "$size" "$REPEAT" "$R_TABLES" <<'EOF'
import math, re, statistics, sys
rounds = [list(map(float, l.split())) for l in sys.argv[1].split("\n") if l.split()]
ours = statistics.median(r[1] - r[0] for r in rounds)
r_whole = statistics.median(r[3] - r[2] for r in rounds)
r_tests = statistics.median(r[4] for r in rounds)
B = int(sys.argv[6])

text = open(sys.argv[2]).read()
section = text[text.index("== Exact Test of Sample Differentiation"):]
m = re.search(r"Exact P value = (-?[0-9.]+) \+- +(-?[0-9.]+) +\(([0-9]+) Markov steps done\)", section)
program = {"global": (float(m.group(1)), float(m.group(2)))}
steps = int(m.group(3))
matrix = section[section.index("Non-differentiation exact P values"):]
for line in matrix.split("\n"):
    cells = re.findall(r"(-?[0-9]+\.[0-9]+)\+-\s*(-?[0-9]+\.[0-9]+)", line)
    if not cells:
        continue
    i = int(line.split()[0])
    for j, (p, sd) in enumerate(cells, start=1):
        program["%d %d" % (i, j)] = (float(p), float(sd))

peer = {}
for line in open(sys.argv[3]):
    f = line.split()
    if f[0] == "seconds":
        continue
    peer[" ".join(f[:-1])] = float(f[-1])

worst = 0.0
outside = []
for key, pr in peer.items():
    p, sd = program[key]
    r_sd = math.sqrt(max(pr * (1 - pr), 1.0 / B) / B)
    z = abs(p - pr) / math.sqrt(sd * sd + r_sd * r_sd)
    worst = max(worst, z)
    if z > 3:
        outside.append("%s: %.5f +- %.5f against %.5f" % (key, p, sd, pr))

tests = len(peer)
chain = 100000 + 10 * 10000
print("Exact test of differentiation, %s (samples x copies x haplotypes): %d tests; median of %s rounds"
      % (sys.argv[4], tests, sys.argv[5]))
print("  program : %d chains of %d steps (global chain: %d counted), whole run %.3f s" % (tests, chain, steps, ours))
print("  R       : fisher.test(simulate.p.value = TRUE, B = %d) on the same tables: tests %.3f s, whole Rscript %.3f s"
      % (B, r_tests, r_whole))
print("  speed   : %.1f times R's tests alone, %.1f times the whole Rscript (target: at least 5, with %.0f times the steps)"
      % (r_tests / ours, r_whole / ours, chain / B))
print("  P values: %d of %d within 3 s.d. of R's (s.d.: the program's batch s.d. and R's Monte Carlo error);"
      " largest |P - P_R| / s.d. = %.2f%s"
      % (tests - len(outside), tests, worst, "" if not outside else "; outside: " + "; ".join(outside)))
print("  verdict : speed %s, P values %s" % ("met" if r_tests / ours >= 5 else "missed",
                                            "met" if not outside else "missed"))
EOF
if [ "$keep" -eq 1 ]; then echo "Work folder kept: $WORK"; fi
