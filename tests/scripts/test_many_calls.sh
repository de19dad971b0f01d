#!/bin/bash
# The scripts of examples/many_calls, run as they stand on the example
# project with cheap settings: many_projects.sh on 4 workers x 10 calls,
# and the job-array task slurm_array.sh for two task indices in turn,
# merged by merge_stats.sh. Four variants of the example give four different
# value lines, each checked against a call made alone.
#
# Usage: test_many_calls.sh <path of the quintle program>

set -u
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
SCRIPTS="$ROOT/examples/many_calls"
BIN="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle_many_calls.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

failures=0
check() {  # check <description> <command...>
    local what="$1"
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}

# Variant k (1..4) of the example: haplotype n1 k times, n4 5 - k times.
cat > "$WORK/variant.sh" <<EOF
#!/bin/sh
sed "s/n1  4 /n1  \$1 /; s/n4  1 /n4  \$((5 - \$1)) /" "$ROOT/examples/example.pmp"
EOF
# The job-array tasks' SIMULATE: call c gets variant (c - 1) % 4 + 1.
cat > "$WORK/simulate.sh" <<EOF
#!/bin/sh
sh "$WORK/variant.sh" \$(( (\$3 - 1) % 4 + 1 )) > "\$1"
EOF
# The program as the tasks see it: notes each call's seed, then runs.
cat > "$WORK/quintle" <<EOF
#!/bin/sh
echo "\$QUINTLE_SEED" >> "$WORK/seeds.txt"
exec "$BIN" "\$@"
EOF
chmod +x "$WORK/simulate.sh" "$WORK/quintle"

setup() {  # a working folder with the example's lists and cheap settings
    mkdir -p "$1"
    cp "$ROOT/examples/ssdefs.txt" "$1/"
    sed -e 's/^NumSimulFuTest=.*/NumSimulFuTest=10/' \
        -e 's/^NumPermutationsAMOVA=.*/NumPermutationsAMOVA=10/' \
        -e 's/^NumPermutationsFST=.*/NumPermutationsFST=10/' \
        "$ROOT/examples/pml_run.pms" > "$1/pml_run.pms"
}

# Each variant's header and value line, from a call made alone.
setup "$WORK/alone"
for k in 1 2 3 4; do
    sh "$WORK/variant.sh" "$k" > "$WORK/alone/v$k.pmp"
    (cd "$WORK/alone" && QUINTLE_SEED=1 "$BIN" "v$k.pmp" "s$k.txt" 0 1)
    tail -n 1 "$WORK/alone/s$k.txt" > "$WORK/line$k"
done
head -n 1 "$WORK/alone/s1.txt" > "$WORK/header"
columns=$(awk -F'\t' '{ print NF; exit }' "$WORK/header")
check "the four variants give four different lines" \
    test "$(cat "$WORK"/line? | sort -u | wc -l)" -eq 4
check "a line has the columns of its header" \
    test "$(awk -F'\t' '{ print NF }' "$WORK/line1")" -eq "$columns"

# expected_lines <calls>: the value lines of calls 1..calls, call c on
# variant (c - 1) % 4 + 1.
expected_lines() {
    local c
    for ((c = 1; c <= $1; c++)); do cat "$WORK/line$(( (c - 1) % 4 + 1 ))"; done
}

# whole_file <file> <value lines>: the header line once, then that many
# lines, each of the header's columns and ending in a tab.
whole_file() {
    [ "$(head -n 1 "$1")" = "$(cat "$WORK/header")" ] &&
        [ "$(grep -cxF -f "$WORK/header" "$1")" -eq 1 ] &&
        [ "$(wc -l < "$1")" -eq $(($2 + 1)) ] &&
        [ -z "$(tail -c 1 "$1")" ] &&
        awk -F'\t' -v n="$columns" 'NF != n || $NF != "" { bad = 1 } END { exit bad }' "$1"
}

# --- many_projects.sh: 4 workers x 10 calls on one statistics file --------
setup "$WORK/xargs"
for ((i = 1; i <= 40; i++)); do
    sh "$WORK/variant.sh" $(( (i - 1) % 4 + 1 )) > "$WORK/xargs/sim $i.pmp"
    echo "sim $i.pmp"
done > "$WORK/xargs/projects.txt"
run_list() {  # run_list <statistics file>
    (cd "$WORK/xargs" && QUINTLE="$BIN" sh "$SCRIPTS/many_projects.sh" projects.txt "$1" 4)
}
check "many_projects.sh ends with status 0" run_list stats.txt
check "40 whole lines under one header" whole_file "$WORK/xargs/stats.txt" 40
check "every line is the line of one of the calls" \
    cmp -s <(tail -n +2 "$WORK/xargs/stats.txt" | sort) <(expected_lines 40 | sort)
seeds_ok=1
for ((i = 1; i <= 40; i++)); do
    grep -qx "Random generator initialized with seed=-$i" "$WORK/xargs/sim $i.res/Pellomar_log.txt" || seeds_ok=0
done
check "the project on line i ran with seed i" test "$seeds_ok" -eq 1
check "a rerun with the same seeds gives the same lines" run_list again.txt
check "  ... as a set" cmp -s <(sort "$WORK/xargs/stats.txt") <(sort "$WORK/xargs/again.txt")

echo "missing.pmp" >> "$WORK/xargs/projects.txt"
run_list short.txt 2> "$WORK/xargs/errors"
check "a call that leaves no line ends the script with status 1" test $? -eq 1
check "  ... and says so" grep -q "1 of 41 calls left no line" "$WORK/xargs/errors"

# --- slurm_array.sh: tasks 0 and 1 of 5 calls each, then merge_stats.sh --
setup "$WORK/array"
mkdir -p "$WORK/tmp"
: > "$WORK/seeds.txt"
for task in 0 1; do
    check "task $task ends with status 0" \
        env SLURM_ARRAY_TASK_ID=$task CALLS=5 QUINTLE="$WORK/quintle" SIMULATE="$WORK/simulate.sh" \
        SETUP="$WORK/array" OUT="$WORK/array/stats" TMPDIR="$WORK/tmp" \
        bash "$SCRIPTS/slurm_array.sh"
    check "task $task left its own file, calls in order" \
        cmp -s "$WORK/array/stats/stats_$task.txt" <(cat "$WORK/header"; expected_lines 5)
done
check "the calls ran with seeds task * 5 + call" cmp -s "$WORK/seeds.txt" <(seq 1 10)
check "the tasks removed their scratch folders" test -z "$(ls -A "$WORK/tmp")"
(cd "$WORK/array" && sh "$SCRIPTS/merge_stats.sh" stats merged.txt 0 1)
check "merge_stats.sh ends with status 0" test $? -eq 0
check "the merged file: one header, 10 whole lines" whole_file "$WORK/array/merged.txt" 10
check "  ... in task and call order" \
    cmp -s <(tail -n +2 "$WORK/array/merged.txt") <(expected_lines 5; expected_lines 5)
(cd "$WORK/array" && sh "$SCRIPTS/merge_stats.sh" stats partial.txt 0 2) 2> /dev/null
check "a missing task stops the merge" test $? -eq 1
check "  ... and leaves no file behind" test -z "$(find "$WORK/array" -name 'partial*')"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
