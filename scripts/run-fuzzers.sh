#!/bin/sh
# Runs each fuzz target of a fuzz build for the given number of seconds, all
# at once, each on its own corpus seeded from the project's test data.
# Usage: scripts/run-fuzzers.sh BUILD_DIR SECONDS [TARGET...]
# (targets without their fuzz_ prefix; all of them when none is named).
# A finding is saved in BUILD_DIR/findings/<target>/ and makes the exit status 1.
set -u
build=${1:-build-fuzz}
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
# Absolute: a target may change folder while it runs, and a crash saves its
# finding from there.
build=$(cd "$build" && pwd) || exit 1

seed() {  # target, then the seed files
    target=$1
    shift
    mkdir -p "$build/corpus/$target"
    for f in "$@"; do
        [ -f "$f" ] && cp "$f" "$build/corpus/$target/" 2>/dev/null
    done
}

seed project_reader $(find "$root/tests/data" "$root/examples" -name '*.pmp')
seed settings_reader $(find "$root/tests/data" "$root/examples" -name '*.pms')
seed statistics_list "$root/examples/ssdefs.txt" $(find "$root/tests/data/fuzz" -name 'ssdefs*')
seed legacy_project_reader $(find "$root/tests/data/project/legacy" "$root/examples" -name '*.pmp')
seed legacy_mantel_reader $(find "$root/tests/data/fuzz" -name 'mantel_section*')
seed distance_matrix $(find "$root/tests/data/fuzz" -name 'distmat_*')
# The translator from each foreign format; a Tarvola seed is a whole set of
# files in one (see tests/fuzz/fuzz_translate.cpp).
seed translate_genepop $(find "$root/tests/data/translate" "$root/tests/data/fuzz/translate" -name '*.gen')
seed translate_phylip $(find "$root/tests/data/translate" "$root/tests/data/fuzz/translate" -name '*.phy')
seed translate_mega $(find "$root/tests/data/fuzz/translate" -name 'mega_*')
seed translate_biosys $(find "$root/tests/data/fuzz/translate" -name 'biosys_*')
seed translate_tarvola $(find "$root/tests/data/fuzz/translate" -name 'tarvola_*')

# The older readers share the dictionaries of the current ones.
dict() {
    case $1 in
        legacy_project_reader) echo project_reader ;;
        legacy_mantel_reader) echo mantel_reader ;;
        *) echo "$1" ;;
    esac
}

if [ $# -gt 2 ]; then
    shift 2
    targets="$*"
else
    targets="project_reader settings_reader statistics_list legacy_project_reader legacy_mantel_reader distance_matrix
             translate_genepop translate_phylip translate_mega translate_biosys translate_tarvola"
fi

pids=""
for target in $targets; do
    mkdir -p "$build/findings/$target"
    "$build/tests/fuzz/fuzz_$target" "$build/corpus/$target" \
        -dict="$root/tests/fuzz/$(dict "$target").dict" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
        -artifact_prefix="$build/findings/$target/" -print_final_stats=1 \
        > "$build/fuzz_$target.log" 2>&1 &
    pids="$pids $!"
done

status=0
for pid in $pids; do
    wait "$pid" || status=1
done
for target in $targets; do
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/fuzz_$target.log" | grep -o '[0-9]*$')
    # Crashes, leaks, time-outs and memory exhaustion are findings; a unit
    # that was merely slow is saved too, but is not one.
    if ls "$build/findings/$target" | grep -q -v '^slow-unit-'; then
        echo "fuzz_$target: FINDINGS in $build/findings/$target (log: $build/fuzz_$target.log)"
        status=1
    else
        echo "fuzz_$target: ${runs:-?} runs in ${seconds} s, nothing found"
    fi
done
exit $status
