#!/usr/bin/env bash
# Time and peak memory of one translation of a small Biosys file of genotype
# frequencies that declares a large sample: the import writes one
# individual per line, the export reads the intermediate project back,
# prepares it and writes the target (GenePop).
#
# Usage: bench/translate_bench.sh [--keep] [INDIVIDUALS]
#
#   INDIVIDUALS  the declared sample size N (default 1000000)
#   --keep       keep the working folder and say where
#
# Environment:
#   QUINTLE_BIN  program whose library is used (default: BUILD_DIR/quintle,
#                built in Release mode when missing); the translator's
#                front end of the tests (tests/support/translate_main.cpp)
#                is linked against the library built beside it
#                (src/libquintle_lib.a)
#   BUILD_DIR    build folder for that default (default: <repository>/build)
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"

keep=0
n=1000000
for arg in "$@"; do
    case "$arg" in
        --keep) keep=1 ;;
        -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        [0-9]*) n="$arg" ;;
        *) echo "translate_bench.sh: unknown argument '$arg' (try --help)" >&2; exit 2 ;;
    esac
done
[ -x /usr/bin/time ] || { echo "translate_bench.sh: /usr/bin/time is needed (package time)" >&2; exit 1; }

. "$HERE/lib.sh"
find_quintle translate_bench.sh
LIB="$(dirname "$BIN")/src/libquintle_lib.a"
[ -f "$LIB" ] || { echo "translate_bench.sh: no library at $LIB to link the driver against" >&2; exit 1; }

WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-translate.XXXXXX")"
if [ "$keep" -eq 0 ]; then trap 'rm -rf "$WORK"' EXIT; fi

${CXX:-c++} -std=c++20 -O3 -DNDEBUG -I"$ROOT/src" "$ROOT/tests/support/translate_main.cpp" "$LIB" -o "$WORK/translate_run"

# Two loci; the first splits the sample 1:3, the second holds one genotype.
# The size line is read from its ninth character on.
printf 'Large frequencies\nNOTU=1, NLOC=2, CRT;\n(2(1X,A7))\nADH PGM\nSTEP DATA\nDATYP=3\n(2X,2(1X,A2,A2,1X,F4.3))\nSea\nN=      %s\n   0101  250 0102  750\n   0303 1000 0404 0000\n' \
    "$n" >"$WORK/large.bio"

(cd "$WORK" && QUINTLE_SEED=4242 /usr/bin/time -v ./translate_run "$WORK/" Biosys Genepop large.bio large.gen 2>time.txt)
if ! grep -q "Writing .*large.gen... done." "$WORK/Pellomar_log.txt"; then
    echo "translate_bench.sh: the translation failed; the end of its log:" >&2
    tail -5 "$WORK/Pellomar_log.txt" >&2
    exit 1
fi
individuals=$(grep -c '^ind[0-9]*, ' "$WORK/large.gen" || true)
printf 'Biosys (%s bytes, N=%s) to GenePop: %s individuals, target %s bytes\n' \
    "$(wc -c <"$WORK/large.bio")" "$n" "$individuals" "$(wc -c <"$WORK/large.gen")"
grep -E 'Elapsed \(wall clock\)|Maximum resident set size' "$WORK/time.txt" | sed 's/^[[:space:]]*/  /'
[ "$keep" -eq 1 ] && echo "Working folder kept: $WORK"
exit 0
