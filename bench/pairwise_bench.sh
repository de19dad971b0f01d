#!/usr/bin/env bash
# Times the comparisons of pairs of samples at many samples: a DNA project
# of SAMPLES x COPIES x SITES (bench/make_project.py, default 50 x 50 x 1000,
# every pair of samples compared) with pairwise FST alone (TaskNumber 1024)
# and its permutation test (NumPermutationsFST, default 1000), this program
# against another one, in turn (this, other, this, other ...), through
# bench/compare.py: median processor time of each and the median of the
# paired ratios other/this (above 1: this program is faster).
#
# Usage: bench/pairwise_bench.sh --compare OTHER_BINARY [--runs N]
#                                [--permutations K] [--keep] [SAMPLESxCOPIESxSITES]
#        (or run_bench.sh --pairwise ...)
#   --compare B      the program to compare with (for example main's before a change)
#   --runs N         rounds (default 9)
#   --permutations K NumPermutationsFST (default 1000)
#   --keep           keep the working folder (project, settings, results)
#
# Environment: QUINTLE_BIN (default BUILD_DIR/quintle), BUILD_DIR (default
# <repository>/build), QUINTLE_SEED (default 4242), GEN_SEED (default 12345).
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
other=""
runs=9
permutations=1000
keep=0
config=50x50x1000
while [ $# -gt 0 ]; do
    case "$1" in
        --compare)
            [ $# -ge 2 ] || { echo "pairwise_bench.sh: --compare needs a program" >&2; exit 2; }
            other="$2"
            shift ;;
        --runs)
            [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "pairwise_bench.sh: --runs needs a positive number" >&2; exit 2; }
            runs="$2"
            shift ;;
        --permutations)
            [[ "${2:-}" =~ ^[0-9]+$ ]] || { echo "pairwise_bench.sh: --permutations needs a number" >&2; exit 2; }
            permutations="$2"
            shift ;;
        --keep) keep=1 ;;
        -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        [1-9]*x[1-9]*x[1-9]*) config="$1" ;;
        *) echo "pairwise_bench.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
    esac
    shift
done
[ -n "$other" ] || { echo "pairwise_bench.sh: --compare OTHER_BINARY is needed" >&2; exit 2; }
[ -x "$other" ] || { echo "pairwise_bench.sh: no program at $other" >&2; exit 1; }
other="$(cd "$(dirname "$other")" && pwd)/$(basename "$other")"
[[ "$config" =~ ^([1-9][0-9]*)x([1-9][0-9]*)x([1-9][0-9]*)$ ]] ||
    { echo "pairwise_bench.sh: bad configuration '$config' (want SAMPLESxCOPIESxSITES)" >&2; exit 2; }
IFS=x read -r ns nq nl <<<"$config"
[ "$ns" -ge 2 ] || { echo "pairwise_bench.sh: at least 2 samples are needed" >&2; exit 2; }
command -v python3 >/dev/null || { echo "pairwise_bench.sh: python3 is needed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "pairwise_bench.sh: /usr/bin/time is missing (package 'time')" >&2; exit 1; }

. "$HERE/lib.sh"
find_quintle pairwise_bench.sh

export QUINTLE_SEED="${QUINTLE_SEED:-4242}"
GEN_SEED="${GEN_SEED:-12345}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-pairwise-bench.XXXXXX")"
if [ "$keep" -eq 0 ]; then trap 'rm -rf "$WORK"' EXIT; fi

dir="$WORK/pairwise-$config"
mkdir -p "$dir"
python3 "$HERE/make_project.py" "$ns" "$nq" "$nl" --seed "$GEN_SEED" -o "$dir/bench.pmp"
tasks=1024
nsim=0
write_bench_settings "$dir/pml_run.pms"
sed -i "s/^NumPermutationsFST=.*/NumPermutationsFST=$permutations/" "$dir/pml_run.pms"
printf 'POP_LEVEL\nPAIRWISE_FST\n' >"$dir/ssdefs.txt"

echo "pairwise comparisons: $config, $((ns * (ns - 1) / 2)) pairs, NumPermutationsFST=$permutations"
echo "  this:     $BIN"
echo "  other:    $other"
echo "  seeds:    QUINTLE_SEED=$QUINTLE_SEED, generator $GEN_SEED"
echo "  machine:  $(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -n 1), $(nproc 2>/dev/null || echo '?') CPUs"
echo
status=0
python3 "$HERE/compare.py" --this "$BIN" --other "$other" --runs "$runs" "$dir" || status=1
if [ "$keep" -eq 1 ]; then echo "Working folder kept: $WORK"; fi
exit "$status"
