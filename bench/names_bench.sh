#!/usr/bin/env bash
# Time of translations whose records repeat one name, which the readers make
# unique ("i", "i_2", "i_3", ...): a haploid Biosys sample of N records all
# named "i", a Phylip file of N taxa all named "x" and a haploid GenePop
# file of N individuals in N/2 samples, each sample numbering its two
# individuals afresh with other alleles. Each goes to a project (Pellomar).
#
# Usage: bench/names_bench.sh [--compare OTHER] [--runs R] [N]
#
#   N          records of each file (default 16000)
#   --compare  OTHER is a second program (say the build before a change)
#              whose library sits beside it as for QUINTLE_BIN; the two run
#              in turn, A B A B, and the report gives the median of the
#              pairwise ratios of wall time (this program / OTHER)
#   --runs     runs of each program per file (default 3)
#
# Environment:
#   QUINTLE_BIN  program whose library is used (default: BUILD_DIR/quintle,
#                built in Release mode when missing); the translator's front
#                end of the tests (tests/support/translate_main.cpp) is linked
#                against the library built beside it (src/libquintle_lib.a)
#   BUILD_DIR    build folder for that default (default: <repository>/build)
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"

n=16000
runs=3
other=""
while [ $# -gt 0 ]; do
    case "$1" in
        --compare) other="$2"; shift ;;
        --runs) runs="$2"; shift ;;
        -h|--help) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        [0-9]*) n="$1" ;;
        *) echo "names_bench.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
    esac
    shift
done

. "$HERE/lib.sh"
find_quintle names_bench.sh

WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-names.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

# The translator's front end linked against the library beside program $1.
driver() {
    local lib
    lib="$(dirname "$1")/src/libquintle_lib.a"
    [ -f "$lib" ] || { echo "names_bench.sh: no library at $lib to link the driver against" >&2; exit 1; }
    ${CXX:-c++} -std=c++20 -O3 -DNDEBUG -I"$ROOT/src" "$ROOT/tests/support/translate_main.cpp" "$lib" -o "$2"
}
driver "$BIN" "$WORK/a"
[ -z "$other" ] || driver "$other" "$WORK/b"

python3 - "$WORK" "$n" <<'EOF'
import sys
work, n = sys.argv[1], int(sys.argv[2])
with open(f"{work}/same.bio", "w") as f:
    f.write(f"Same names\nNOTU=1, NLOC=2, CRT;\n(2(1X,A7))\nADH PGM\nSTEP DATA\nDATYP=1,ALPHA\n"
            f"(A7,3X,2(1X,A2,A0))\nPond\n")
    for i in range(n):
        f.write(f"i          {i % 97:02d} {i % 89:02d}\n")
    f.write("END;\n")
with open(f"{work}/same.phy", "w") as f:
    f.write(f"{n} 8\n")
    for i in range(n):
        f.write("x         " + "".join("ACGT"[(i >> (2 * k)) & 3] for k in range(8)) + "\n")
with open(f"{work}/same.gen", "w") as f:
    f.write("Same names\nloc1\nloc2\n")
    for s in range(n // 2):
        f.write("Pop\n")
        for k in (1, 2):
            f.write(f"{k}, {s % 97 + 1:02d}01 {(s // 97) % 97 + 1:02d}0{k}\n")
EOF

# Wall seconds of one translation of file $2 (format $3) by driver $1, or
# "refused" when the translation failed.
# The log is written beside the source.
one() {
    local start end
    rm -f "$WORK/Pellomar_log.txt" "$WORK/out.pmp"
    start=$(date +%s.%N)
    (cd "$WORK" && QUINTLE_SEED=4242 "$1" "$WORK/" "$3" Pellomar "$2" out.pmp 0 >/dev/null 2>&1)
    end=$(date +%s.%N)
    if grep -q "Writing .*out.pmp... done." "$WORK/Pellomar_log.txt" 2>/dev/null; then
        awk -v a="$start" -v b="$end" 'BEGIN {printf "%.4f", b - a}'
    else
        echo refused
    fi
}

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {printf "%.3f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

echo "N = $n records of one name in each file; wall seconds, median of $runs runs"
for case in "same.bio Biosys" "same.phy Phylip" "same.gen Genepop"; do
    set -- $case
    a=() b=() r=()
    for ((k = 0; k < runs; ++k)); do
        ta=$(one "$WORK/a" "$1" "$2")
        [ "$ta" != refused ] || { echo "names_bench.sh: this program refused $1; see a run by hand" >&2; exit 1; }
        a+=("$ta")
        if [ -n "$other" ]; then
            tb=$(one "$WORK/b" "$1" "$2")
            b+=("$tb")
            [ "$tb" = refused ] || r+=("$(awk -v a="$ta" -v b="$tb" 'BEGIN {printf "%.4f", a / b}')")
        fi
    done
    if [ -z "$other" ]; then
        printf '%-8s %8s s\n' "$2" "$(median "${a[@]}")"
    elif [ "${#r[@]}" -eq 0 ]; then
        printf '%-8s this %8s s   other refused the file\n' "$2" "$(median "${a[@]}")"
    else
        printf '%-8s this %8s s   other %8s s   ratio %s\n' "$2" "$(median "${a[@]}")" "$(median "${b[@]}")" \
            "$(median "${r[@]}")"
    fi
done
