#!/usr/bin/env bash
# Times quintle on generated DNA projects and reports wall time and peak
# memory per configuration; with --compare, runs this program and another
# one in turn on a fixed set of projects and prints the ratios.
#
# Usage: bench/run_bench.sh [--main-road] [--keep] [CONFIG ...]
#        bench/run_bench.sh --compare OTHER_BINARY [--runs N] [--keep]
#        bench/run_bench.sh --fits [--runs N] [--keep]   (bench/fits_bench.sh)
#        bench/run_bench.sh --vosk [--keep] [INDIVIDUALSxSITES ...]   (bench/vosk_bench.sh)
#        bench/run_bench.sh --selection-scan [--sims N] [--keep]   (bench/selection_bench.sh)
#        bench/run_bench.sh --exact-test [--keep] [SAMPLESxCOPIESxHAPLOTYPES]   (bench/exact_bench.sh)
#        bench/run_bench.sh --individual-level [--keep]   (bench/amova_bench.sh)
#        bench/run_bench.sh --pairwise --compare OTHER [--runs N] [--keep]   (bench/pairwise_bench.sh)
#
#   CONFIG       SAMPLESxSEQUENCESxSITES, e.g. 10x100x10000.
#                Default: "2x50x1000 10x100x10000"; with --main-road: "4x50x1000".
#   --main-road  Two-group projects, and AMOVA and pairwise FST with 1000
#                permutations on top of the within-sample analyses.
#   --compare    This program against OTHER_BINARY, alternately, on: the
#                typical call (2x50x1000, two groups, every analysis with
#                1000 replicates or permutations) and the same without
#                coalescent replicates; reading alone on 1x1000x5000 and
#                1x100x100000 (every sequence distinct); within-sample
#                statistics without replicates on 1x100x5000, 1x1000x5000
#                and 1x100x100000 (bpppopstats beside them when installed);
#                a gene copy per line, 1x10000x1000 (about 400 distinct
#                sequences), with and without the search for identical
#                haplotypes. Then 1x100000x1000 by this program alone, and
#                the replicate timing program.
#   --runs N     Rounds of the comparison (default 9).
#   --keep       Keep the working folder (projects, results, logs) and say where.
#
# Environment:
#   QUINTLE_BIN  program to time (default: BUILD_DIR/quintle, built in
#                Release mode when missing)
#   BUILD_DIR    build folder for that default (default: <repository>/build)
#   BENCH_BUILD_DIR  build folder of the replicate timing program
#                (default: <repository>/build-bench; built when missing)
#   QUINTLE_SEED seed of the program's random generator (default 4242), so
#                that repeated runs do the same work
#   GEN_SEED     seed of the project generator (default 12345)
# --mantel N ...: the Mantel tests and the spanning network (bench/mantel_bench.sh).
if [ "${1:-}" = "--mantel" ]; then shift; exec bash "$(dirname "$0")/mantel_bench.sh" "$@"; fi
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
# Microsatellites against DNA with the same settings: msat_bench.sh.
if [ "${1:-}" = "--msat" ]; then shift; exec bash "$HERE/msat_bench.sh" "$@"; fi
# Unphased diploid genotypes, haplotype-frequency EM and linkage test: em_bench.sh.
if [ "${1:-}" = "--genotypes" ]; then shift; exec bash "$HERE/em_bench.sh" "$@"; fi
# RFLP beside DNA of the same shape: rflp_bench.sh.
if [ "${1:-}" = "--rflp" ]; then shift; exec bash "$HERE/rflp_bench.sh" "$@"; fi
# The exact test of differentiation against R's fisher.test: exact_bench.sh.
if [ "${1:-}" = "--exact-test" ]; then shift; exec bash "$HERE/exact_bench.sh" "$@"; fi
# Markov chains of the exact tests (HW, phased linkage): chains_bench.sh.
if [ "${1:-}" = "--chains" ]; then shift; exec bash "$HERE/chains_bench.sh" "$@"; fi
# The AMOVA with the individual level against ade4: amova_bench.sh.
if [ "${1:-}" = "--individual-level" ]; then shift; exec bash "$HERE/amova_bench.sh" "$@"; fi
# The Vosk phasing chain (update steps, peak memory): vosk_bench.sh.
if [ "${1:-}" = "--vosk" ]; then shift; exec bash "$HERE/vosk_bench.sh" "$@"; fi
# The comparisons of pairs of samples at many samples: pairwise_bench.sh.
if [ "${1:-}" = "--pairwise" ]; then shift; exec bash "$HERE/pairwise_bench.sh" "$@"; fi
# The scan for loci under selection against a minimal island-model loop: selection_bench.sh.
if [ "${1:-}" = "--selection-scan" ]; then shift; exec bash "$HERE/selection_bench.sh" "$@"; fi

# The expansion fits have a benchmark of their own.
if [ "${1:-}" = "--fits" ]; then
    shift
    exec bash "$HERE/fits_bench.sh" "$@"
fi

main_road=0
keep=0
other=""
runs=9
configs=()
while [ $# -gt 0 ]; do
    case "$1" in
        --main-road) main_road=1 ;;
        --keep) keep=1 ;;
        --compare)
            [ $# -ge 2 ] || { echo "run_bench.sh: --compare needs a program" >&2; exit 2; }
            other="$2"
            shift ;;
        --runs)
            [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "run_bench.sh: --runs needs a positive number" >&2; exit 2; }
            runs="$2"
            shift ;;
        -h|--help) sed -n '2,36p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        [0-9]*x[0-9]*x[0-9]*) configs+=("$1") ;;
        *) echo "run_bench.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
    esac
    shift
done
if [ -n "$other" ]; then
    [ -x "$other" ] || { echo "run_bench.sh: no program at $other" >&2; exit 1; }
    other="$(cd "$(dirname "$other")" && pwd)/$(basename "$other")"
    [ ${#configs[@]} -eq 0 ] && [ "$main_road" -eq 0 ] ||
        { echo "run_bench.sh: --compare takes no configuration and no --main-road" >&2; exit 2; }
fi
if [ ${#configs[@]} -eq 0 ]; then
    if [ "$main_road" -eq 1 ]; then configs=(4x50x1000); else configs=(2x50x1000 10x100x10000); fi
fi
for c in "${configs[@]}"; do
    if ! [[ "$c" =~ ^[1-9][0-9]*x[1-9][0-9]*x[1-9][0-9]*$ ]]; then
        echo "run_bench.sh: bad configuration '$c' (want SAMPLESxSEQUENCESxSITES)" >&2
        exit 2
    fi
    if [ "$main_road" -eq 1 ] && [ "${c%%x*}" -lt 2 ]; then
        echo "run_bench.sh: --main-road needs at least 2 samples ('$c')" >&2
        exit 2
    fi
done

TIME=/usr/bin/time
if [ ! -x "$TIME" ]; then
    echo "run_bench.sh: $TIME is missing; install the 'time' package (scripts/install-deps.sh does)" >&2
    exit 1
fi
command -v python3 >/dev/null || { echo "run_bench.sh: python3 is needed" >&2; exit 1; }

. "$HERE/lib.sh"
find_quintle run_bench.sh

export QUINTLE_SEED="${QUINTLE_SEED:-4242}"
GEN_SEED="${GEN_SEED:-12345}"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle-bench.XXXXXX")"
if [ "$keep" -eq 0 ]; then trap 'rm -rf "$WORK"' EXIT; fi

# Analyses: standard diversity (1), molecular diversity (2), Tajima's test
# (64) and Fu's Fs test (16384); the main road adds AMOVA (512) and pairwise
# FST (1024).
tasks=$((1 + 2 + 64 + 16384))
if [ "$main_road" -eq 1 ]; then tasks=$((tasks + 512 + 1024)); fi
nsim=1000

# --compare: the fixed projects, both programs in turn, then the replicate
# timing program on the typical call's first sample.
if [ -n "$other" ]; then
    # prepare NAME SAMPLES SEQUENCES SITES GROUPS TASKS REPLICATES [generator options]
    prepare() {
        local dir="$WORK/$1"
        mkdir -p "$dir"
        tasks="$6"
        nsim="$7"
        main_road=0
        [ "$5" -eq 2 ] && main_road=1
        python3 "$HERE/make_project.py" "$2" "$3" "$4" --groups "$5" --seed "$GEN_SEED" -o "$dir/bench.pmp" "${@:8}"
        write_bench_settings "$dir/pml_run.pms"
        write_bench_ssdefs "$dir/ssdefs.txt"
    }
    typical=$((1 + 2 + 64 + 16384 + 512 + 1024))
    within=$((1 + 2 + 64))
    prepare typical 2 50 1000 2 "$typical" 1000
    prepare typical-nosim 2 50 1000 2 "$typical" 0
    # Reading alone: every sequence distinct, and no search for identical
    # haplotypes (an analysis of its own that reads the allele tables).
    prepare read-1000x5000 1 1000 5000 0 0 0 --one-line-per-sequence --all-distinct
    prepare read-100x100000 1 100 100000 0 0 0 --one-line-per-sequence --all-distinct
    for d in read-1000x5000 read-100x100000; do
        sed -i 's/^EliminateRedondHaplodefs=.*/EliminateRedondHaplodefs=0/' "$WORK/$d/pml_run.pms"
    done
    prepare within-100x5000 1 100 5000 0 "$within" 0 --one-line-per-sequence --fasta "$WORK/within-100x5000/alignment.fa"
    prepare within-1000x5000 1 1000 5000 0 "$within" 0 --one-line-per-sequence --fasta "$WORK/within-1000x5000/alignment.fa"
    prepare within-100x100000 1 100 100000 0 "$within" 0 --one-line-per-sequence \
        --fasta "$WORK/within-100x100000/alignment.fa"
    # A gene copy per line, 10,000 lines of 1,000 bp over about 400 distinct
    # sequences, diversity and Tajima's D without replicates: with the
    # settings as above (the search for identical haplotypes writes every
    # pair of lines with the same sequence into the report) and without it.
    prepare lines-10000 1 10000 1000 0 "$within" 0 --one-line-per-sequence
    prepare lines-10000-noelim 1 10000 1000 0 "$within" 0 --one-line-per-sequence
    sed -i 's/^EliminateRedondHaplodefs=.*/EliminateRedondHaplodefs=0/' "$WORK/lines-10000-noelim/pml_run.pms"

    echo "quintle comparison"
    echo "  this:     $BIN"
    echo "  other:    $other"
    echo "  seeds:    QUINTLE_SEED=$QUINTLE_SEED, generator $GEN_SEED"
    echo "  machine:  $(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -n 1), $(nproc 2>/dev/null || echo '?') CPUs"
    echo
    bpp=()
    command -v bpppopstats >/dev/null && bpp=(--bpp "$(command -v bpppopstats)")
    status_all=0
    # Two tests x two samples x 1000 replicates in the typical call.
    python3 "$HERE/compare.py" --this "$BIN" --other "$other" --runs "$runs" --replicates-per-run 4000 "${bpp[@]}" \
        "$WORK/typical" "$WORK/typical-nosim" "$WORK/read-1000x5000" "$WORK/read-100x100000" \
        "$WORK/within-100x5000" "$WORK/within-1000x5000" "$WORK/within-100x100000" \
        "$WORK/lines-10000" "$WORK/lines-10000-noelim" || status_all=1

    # 100,000 such lines, this program alone (the other may need far more
    # memory than the machine has): time and peak memory of one run.
    prepare lines-100000 1 100000 1000 0 "$within" 0 --one-line-per-sequence
    sed -i 's/^EliminateRedondHaplodefs=.*/EliminateRedondHaplodefs=0/' "$WORK/lines-100000/pml_run.pms"
    echo
    if (cd "$WORK/lines-100000" && "$TIME" -f "%e %U %S %M" -o time.txt "$BIN" bench.pmp stats.txt 0 1 run_silent \
        >/dev/null 2>&1); then
        read -r wall user sys peak <"$WORK/lines-100000/time.txt"
        echo "lines-100000 (this program, without the search for identical haplotypes): wall ${wall} s," \
            "processor $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') s, peak $((peak / 1024)) MiB"
    else
        echo "lines-100000: the run failed"
        status_all=1
    fi

    # Genealogy plus mutation placement against a whole replicate, at the
    # Watterson theta of the typical call's first sample.
    BENCH_BUILD_DIR="${BENCH_BUILD_DIR:-$ROOT/build-bench}"
    if [ ! -x "$BENCH_BUILD_DIR/replicate_bench" ]; then
        echo
        echo "Building the replicate timing program in $BENCH_BUILD_DIR ..."
        cmake -S "$ROOT" -B "$BENCH_BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DQUINTLE_TESTS=OFF -DQUINTLE_BENCH=ON >/dev/null &&
            cmake --build "$BENCH_BUILD_DIR" --target replicate_bench -j "$(nproc 2>/dev/null || echo 2)" >/dev/null ||
            echo "run_bench.sh: the replicate timing program could not be built" >&2
    fi
    if [ -x "$BENCH_BUILD_DIR/replicate_bench" ]; then
        theta=$(python3 - "$WORK/typical/bench.pmp" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
block = text[text.index("SampleData"):]
block = block[:block.index("}")]
seqs, n = [], 0
for line in block.splitlines()[1:]:
    parts = line.split()
    if len(parts) == 3:
        n += int(parts[1])
        seqs.append(parts[2])
S = sum(1 for column in zip(*seqs) if len(set(column)) > 1)
print(f"{S / sum(1.0 / i for i in range(1, n)):.4f}")
PY
)
        echo
        "$BENCH_BUILD_DIR/replicate_bench" 50 1000 "$theta" 20000
    fi
    if [ "$keep" -eq 1 ]; then echo "Working folder kept: $WORK"; fi
    exit "$status_all"
fi

# "h:mm:ss" or "m:ss.cc" as printed by time -v, in seconds.
to_seconds() {
    awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.2f", s }' <<<"$1"
}

echo "quintle benchmark"
echo "  program:  $BIN"
echo "  mode:     $([ "$main_road" -eq 1 ] && echo "main road (two groups)" || echo "within-sample analyses") (TaskNumber=$tasks)"
echo "  seeds:    QUINTLE_SEED=$QUINTLE_SEED, generator $GEN_SEED"
echo "  machine:  $(nproc 2>/dev/null || echo '?') CPUs, $(uname -sm)"
echo
printf '%-16s %10s %12s %8s %8s  %s\n' "configuration" "wall (s)" "peak (MiB)" "columns" "status" "log"
status_all=0
for c in "${configs[@]}"; do
    IFS=x read -r ns nq nl <<<"$c"
    dir="$WORK/$c"
    mkdir -p "$dir"
    groups=0
    [ "$main_road" -eq 1 ] && groups=2
    python3 "$HERE/make_project.py" "$ns" "$nq" "$nl" --groups "$groups" --seed "$GEN_SEED" -o "$dir/bench.pmp"
    write_bench_settings "$dir/pml_run.pms"
    write_bench_ssdefs "$dir/ssdefs.txt"

    rc=0
    (cd "$dir" && "$TIME" -v -o time.txt "$BIN" bench.pmp stats.txt 0 1 run_silent >stdout.txt 2>&1) || rc=$?
    wall=$(sed -n 's/.*Elapsed (wall clock) time.*: //p' "$dir/time.txt")
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir/time.txt")
    wall_s=$(to_seconds "${wall:-0}")
    rss_mib=$(awk -v k="${rss:-0}" 'BEGIN { printf "%.1f", k / 1024 }')
    columns=0
    if [ -f "$dir/stats.txt" ]; then
        columns=$(head -n 1 "$dir/stats.txt" | awk -F'\t' '{ print (NF > 0 ? NF - 1 : 0) }')
    fi
    log="$dir/bench.res/Pellomar_log.txt"
    verdict="no log"
    if [ -f "$log" ]; then
        if grep -q "^Successful run of" "$log"; then verdict="successful run"
        elif grep -q "^Error during run of" "$log"; then verdict="error during run"
        else verdict="unfinished"; fi
    fi
    [ "$rc" -eq 0 ] && [ "$verdict" = "successful run" ] || status_all=1
    printf '%-16s %10s %12s %8s %8s  %s\n' "$c" "$wall_s" "$rss_mib" "$columns" "$rc" "$verdict"
done
echo
if [ "$main_road" -eq 1 ]; then
    echo "Between-sample columns in the statistics line:"
    for c in "${configs[@]}"; do
        cols=$(head -n 1 "$WORK/$c/stats.txt" 2>/dev/null | tr '\t' '\n' | grep -E '^F(ST|SC|CT|IS|IT)(_|$)' |
            tr '\n' ' ' || true)
        echo "  $c: ${cols:-none}"
    done
fi
if [ "$keep" -eq 1 ]; then
    echo "Working folder kept: $WORK"
fi
exit "$status_all"
