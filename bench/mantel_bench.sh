#!/usr/bin/env bash
# Times the program's Mantel tests and its minimum spanning network against
# other implementations.
#
# Usage: bench/mantel_bench.sh [--keep] [N ...]      (also: run_bench.sh --mantel N ...)
#
#   N        numbers of samples (default: 50 200). For each N, two projects
#            with a custom Y: a simple test (Y, X1) and a partial one (Y, X1,
#            X2), NumPermMantel=10000; the program's "done in" time of the
#            permutations and its wall time, vegan's mantel and mantel.partial
#            with 10000 permutations (bench/mantel_peer.R) and a plain
#            shuffle-gather-multiply loop (bench/mantel_loop.cpp).
#            Then MakeNetwork on 1000 and 5000 SNP-like haplotypes against
#            scipy's minimum_spanning_tree (bench/network_bench.cpp,
#            bench/network_peer.py).
#   --keep   keep the working folder and say where.
#
# Environment:
#   BUILD_DIR    Release build to use (default <repository>/build-release,
#                built when missing); the program and its library come from it
#   QUINTLE_SEED seed of the program's random generator (default 4242)
#   RSCRIPT      R front end (default Rscript; needs the vegan package)
#   PYTHON       python3 with numpy and scipy (default /usr/bin/python3)
# A peer that is missing is reported as such; the program's figures still come.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"

keep=0
sizes=()
for arg in "$@"; do
    case "$arg" in
        --keep) keep=1 ;;
        -h|--help) sed -n '2,26p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        [1-9]*) [[ "$arg" =~ ^[1-9][0-9]*$ ]] && [ "$arg" -ge 4 ] ||
                    { echo "mantel_bench.sh: a number of samples must be 4 or more ('$arg')" >&2; exit 2; }
                sizes+=("$arg") ;;
        *) echo "mantel_bench.sh: unknown argument '$arg' (try --help)" >&2; exit 2 ;;
    esac
done
[ ${#sizes[@]} -gt 0 ] || sizes=(50 200)

BUILD_DIR="${BUILD_DIR:-$ROOT/build-release}"
if [ ! -x "$BUILD_DIR/quintle" ] || [ ! -f "$BUILD_DIR/src/libquintle_lib.a" ]; then
    echo "Building the Release program in $BUILD_DIR ..."
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$BUILD_DIR" -j "$(nproc 2>/dev/null || echo 2)" --target quintle quintle_lib >/dev/null
fi
BIN="$BUILD_DIR/quintle"
LIB="$BUILD_DIR/src/libquintle_lib.a"
export QUINTLE_SEED="${QUINTLE_SEED:-4242}"
RSCRIPT="${RSCRIPT:-Rscript}"
PYTHON="${PYTHON:-/usr/bin/python3}"
CXX="${CXX:-c++}"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-mantel-bench.XXXXXX")"
if [ "$keep" -eq 0 ]; then trap 'rm -rf "$WORK"' EXIT; fi

"$CXX" -std=c++20 -O2 -o "$WORK/mantel_loop" "$HERE/mantel_loop.cpp"
"$CXX" -std=c++20 -O2 -I"$ROOT/src" -o "$WORK/network_bench" "$HERE/network_bench.cpp" "$LIB"

have_r=0
"$RSCRIPT" -e 'suppressMessages(library(vegan))' >/dev/null 2>&1 && have_r=1
have_scipy=0
"$PYTHON" -c 'import numpy, scipy.sparse.csgraph' >/dev/null 2>&1 && have_scipy=1

# Settings: pairwise FST without permutations (the Mantel test runs at its
# end), the Mantel test with 10000 permutations.
settings() {
    cat <<SETTINGS
[Setting for Calculations]
TaskNumber=66560
XMLOutput=1
ComputePairwiseFST=1
ComputeDistanceMatrixAMOVA=1
DistanceMethodAMOVA=0
NumPermutationsFST=0
TestSignificancePairewiseFST=0
PrintFstVals=0
PrintMissIntermatchs=0
FSTSignifLevel=0.05
TransitionWeight=1.000000
TranversionWeight=1.000000
DeletionWeight=1.000000
AllowedLevelOfMissingData=0.050000
NumPermMantel=10000
SETTINGS
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1f", a / b; else print "-" }'; }

printf '%-6s %-8s %12s %10s %12s %10s %12s %10s\n' N test "done in (ms)" "wall (s)" "vegan (ms)" "vegan/x" "loop (ms)" "x/loop"
for n in "${sizes[@]}"; do
    for matrices in 2 3; do
        dir="$WORK/n${n}_m${matrices}"
        mkdir -p "$dir"
        python3 "$HERE/make_mantel_project.py" "$n" --matrices "$matrices" --seed "$n" -o "$dir"
        settings > "$dir/pml_run.pms"
        printf 'POP_LEVEL\nPAIRWISE_FST\n' > "$dir/ssdefs.txt"
        start=$(date +%s.%N)
        (cd "$dir" && "$BIN" bench.pmp stats.txt 0 1 run_silent > console.txt 2>&1)
        wall=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.2f", e - s }')
        log="$dir/bench.res/Pellomar_log.txt"
        done_ms=$(grep -o 'done in [0-9]*ms' "$log" | tail -1 | grep -o '[0-9]*' || true)
        grep -q "Successful run of" "$log" || echo "mantel_bench.sh: the run of $dir failed" >&2
        vegan_ms=-
        if [ "$have_r" -eq 1 ]; then
            name=vegan_mantel
            [ "$matrices" -eq 3 ] && name=vegan_mantel_partial
            vegan_s=$("$RSCRIPT" "$HERE/mantel_peer.R" "$dir" 10000 | awk -v t="$name" '$1 == t { print $2 }')
            vegan_ms=$(awk -v s="$vegan_s" 'BEGIN { printf "%.0f", s * 1000 }')
        fi
        loop_ms=$("$WORK/mantel_loop" "$n" 10000 | awk '{ print $4 }')
        # The partial test computes two Z per permutation.
        [ "$matrices" -eq 3 ] && loop_ms=$(awk -v l="$loop_ms" 'BEGIN { printf "%.1f", 2 * l }')
        test_name=simple
        [ "$matrices" -eq 3 ] && test_name=partial
        printf '%-6s %-8s %12s %10s %12s %10s %12s %10s\n' "$n" "$test_name" "${done_ms:--}" "$wall" "$vegan_ms" \
            "$( [ "$vegan_ms" = - ] && echo - || ratio "$vegan_ms" "${done_ms:-0}")" "$loop_ms" \
            "$(ratio "${done_ms:-0}" "$loop_ms")"
    done
done
[ "$have_r" -eq 1 ] || echo "(vegan not found through $RSCRIPT: no peer figures for the Mantel tests)"

echo
printf '%-11s %14s %14s %10s %12s\n' haplotypes "network (ms)" "scipy (ms)" scipy/x "tree length"
for h in 1000 5000; do
    file="$WORK/haplotypes_$h.txt"
    python3 "$HERE/make_mantel_project.py" --haplotypes "$h" --sites 200 --seed "$h" -o "$file"
    read -r _ _ net_ms net_len _ < <("$WORK/network_bench" "$file")
    scipy_ms=- scipy_len=-
    if [ "$have_scipy" -eq 1 ]; then read -r _ _ scipy_ms scipy_len < <("$PYTHON" "$HERE/network_peer.py" "$file"); fi
    [ "$scipy_len" = - ] || [ "$scipy_len" = "$net_len" ] ||
        echo "mantel_bench.sh: tree lengths differ ($net_len against scipy's $scipy_len)" >&2
    printf '%-11s %14s %14s %10s %12s\n' "$h" "$net_ms" "$scipy_ms" \
        "$( [ "$scipy_ms" = - ] && echo - || ratio "$scipy_ms" "$net_ms")" "$net_len"
done
[ "$have_scipy" -eq 1 ] || echo "(numpy/scipy not found through $PYTHON: no peer figures for the network)"
if [ "$keep" -eq 1 ]; then echo "Work folder kept: $WORK"; fi
