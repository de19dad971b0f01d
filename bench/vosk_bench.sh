#!/usr/bin/env bash
# Time per update step of the Vosk phasing chain and its peak memory, on
# unphased diploid DNA from make_genotypes.py, beside a plain loop
# (vosk_loop.cpp) that counts one individual's gamete differences against
# every gamete once per step.
#
# Usage: bench/vosk_bench.sh [--keep] [INDIVIDUALSxSITES ...]
#
#   INDIVIDUALSxSITES  sizes to measure (default: 50x20 500x20)
#   --keep             keep the working folder and say where
#
# Per size:
#   step    processor time of a run with GibbsBurnIn=STEPS and no sample
#           (GibbsNumSamples=0: burn-in only, no report) less that of the
#           same run with no step, over STEPS; beside the loop's time per
#           step for the same number of steps. Each round times the two runs
#           and the loop in turn; the fastest of REPEAT rounds counts.
#   memory  peak resident memory of a run with the default sampling
#           (burn-in 100000, 2000 samples 500 steps apart, report written)
#           and of one with 200 samples 5000 steps apart (the same steps):
#           the sampled phases are kept as distinct phases with counts, so
#           the two should be close. "copies" is what keeping every sample
#           of every individual would take (2 x 4 x SITES bytes of alleles
#           plus about 150 bytes of record per copy).
# Targets: a step at most 2 times the loop's; a step at the largest size at
# most 12 times one at the smallest for 10 times the individuals.
#
# Environment: QUINTLE_BIN, BUILD_DIR as for run_bench.sh; STEPS (default
# 200000); REPEAT (default 3); GEN_SEED (default 12345); QUINTLE_SEED
# (default 4242).
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"

keep=0
sizes=()
for arg in "$@"; do
    case "$arg" in
        --keep) keep=1 ;;
        -h|--help) sed -n '2,31p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        [0-9]*x[0-9]*) sizes+=("$arg") ;;
        *) echo "vosk_bench.sh: unknown argument '$arg' (try --help)" >&2; exit 2 ;;
    esac
done
[ ${#sizes[@]} -gt 0 ] || sizes=(50x20 500x20)
for size in "${sizes[@]}"; do
    if ! [[ "$size" =~ ^([0-9]+)x([0-9]+)$ ]] || [ "${BASH_REMATCH[1]}" -lt 2 ] || [ "${BASH_REMATCH[2]}" -lt 2 ]; then
        echo "vosk_bench.sh: bad size '$size' (want INDIVIDUALSxSITES, both at least 2)" >&2
        exit 2
    fi
done
command -v python3 >/dev/null || { echo "vosk_bench.sh: python3 is needed" >&2; exit 1; }

. "$HERE/lib.sh"
find_quintle vosk_bench.sh
LIB="$(dirname "$BIN")/src/libquintle_lib.a"
[ -f "$LIB" ] || { echo "vosk_bench.sh: no library at $LIB to link the loop against" >&2; exit 1; }
FLAGS="$(grep -m1 '^CMAKE_BUILD_TYPE:' "$(dirname "$BIN")/CMakeCache.txt" 2>/dev/null | cut -d= -f2)"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-vosk.XXXXXX")"
if [ "$keep" -eq 0 ]; then trap 'rm -rf "$WORK"' EXIT; fi
${CXX:-c++} -std=c++20 -O3 -DNDEBUG -I"$ROOT/src" "$HERE/vosk_loop.cpp" "$LIB" -o "$WORK/vosk_loop"

for size in "${sizes[@]}"; do
    mkdir -p "$WORK/$size"
    python3 "$HERE/make_genotypes.py" "${size%x*}" "${size#*x}" --seed "${GEN_SEED:-12345}" \
        -o "$WORK/$size/bench.pmp" --table "$WORK/$size/table.txt"
    printf 'POP_LEVEL\n' >"$WORK/$size/ssdefs.txt"
done

python3 - "$BIN" "$WORK" "${STEPS:-200000}" "${REPEAT:-3}" "${QUINTLE_SEED:-4242}" "$ROOT/examples/pml_run.pms" \
    "${FLAGS:-?}" "${sizes[@]}" <<'EOF'
import os, re, subprocess, sys

binary, work, steps, repeat, seed, example, flags = sys.argv[1:8]
steps, repeat = int(steps), int(repeat)
sizes = sys.argv[8:]
base = open(example).read()

def settings(folder, **keys):
    text = base
    keys.setdefault("TaskNumber", 8)
    keys.setdefault("GibbsInferGamPhase", 1)
    for k, v in keys.items():
        text = re.sub(r"(?m)^%s=.*$" % k, "%s=%s" % (k, v), text)
    open(os.path.join(folder, "pml_run.pms"), "w").write(text)

def run(folder):
    """Processor seconds and peak resident KiB of one run."""
    env = dict(os.environ, QUINTLE_SEED=seed)
    p = subprocess.Popen([binary, "bench.pmp", "stats.txt", "0", "1", "run_silent"], cwd=folder, env=env,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    log = open(os.path.join(folder, "bench.res", "Pellomar_log.txt"), errors="replace").read()
    if status != 0 or "Successful run" not in log:
        sys.exit("vosk_bench.sh: a run failed in %s" % folder)
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss

def loop(folder):
    out = subprocess.run([os.path.join(work, "vosk_loop"), os.path.join(folder, "table.txt"), str(steps)],
                         capture_output=True, text=True, check=True).stdout.split()
    return float(out[4])

rows = []
for size in sizes:
    folder = os.path.join(work, size)
    best_step, best_loop = None, None
    for _ in range(repeat):
        settings(folder, GibbsBurnIn=steps, GibbsNumSamples=0)
        with_steps, _ = run(folder)
        settings(folder, GibbsBurnIn=0, GibbsNumSamples=0)
        without, _ = run(folder)
        step = max(with_steps - without, 0.0) / steps
        best_step = step if best_step is None else min(best_step, step)
        l = loop(folder)
        best_loop = l if best_loop is None else min(best_loop, l)
    settings(folder, GibbsBurnIn=100000, GibbsNumSamples=2000, GibbsSamplingInterval=500)
    _, mem_default = run(folder)
    settings(folder, GibbsBurnIn=100000, GibbsNumSamples=200, GibbsSamplingInterval=5000)
    _, mem_few = run(folder)
    n, sites = (int(x) for x in size.split("x"))
    copies = n * 2000 * (2 * 4 * sites + 150) / 1024.0
    rows.append((size, n, best_step, best_loop, mem_default, mem_few, copies))

print("Vosk chain, program built %s, fastest of %d rounds of %d steps" % (flags, repeat, steps))
print("%-10s %14s %14s %7s %16s %16s %14s" % ("size", "step (us)", "loop (us)", "ratio",
                                             "peak 2000 (MiB)", "peak 200 (MiB)", "copies (MiB)"))
for size, n, step, lp, m1, m2, copies in rows:
    print("%-10s %14.3f %14.3f %7.2f %16.1f %16.1f %14.1f" % (size, step * 1e6, lp * 1e6, step / lp,
                                                              m1 / 1024.0, m2 / 1024.0, copies / 1024.0))
worst = max(r[2] / r[3] for r in rows)
print("step over loop: at most %.2f (target: at most 2) -> %s" % (worst, "met" if worst <= 2 else "missed"))
if len(rows) > 1:
    small, large = min(rows, key=lambda r: r[1]), max(rows, key=lambda r: r[1])
    growth = large[2] / small[2]
    allowed = 12.0 * (large[1] / small[1]) / 10.0
    print("step at %s over step at %s: %.2f for %.0f times the individuals (target: at most %.1f) -> %s"
          % (large[0], small[0], growth, large[1] / small[1], allowed, "met" if growth <= allowed else "missed"))
EOF
if [ "$keep" -eq 1 ]; then echo "Work folder kept: $WORK"; fi
