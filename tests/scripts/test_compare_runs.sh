#!/bin/bash
# The comparison tool on one run of the corpus: what it masks (elapsed
# times, dates, anchors made of the date) may change freely, but a changed
# statistic, a changed log number, a changed path, an extra file or another
# exit status must each be reported.
#
# Usage: test_compare_runs.sh <path of the quintle program>

set -u
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
COMPARE="$HERE/../../scripts/compare_runs.sh"
BINARY="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
export QUINTLE_COMPARE_CASES='^dist0__run_dna_groups$'

WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle_compare_test.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

# A program that runs the real one, then edits what it wrote (the files
# named $EDIT_FILES, all by default) with the sed program in $EDIT;
# $EXTRA_FILE names a file to add, $EXIT another exit status, $SLEEP a
# number of seconds to wait first.
cat > "$WORK/edited" <<EOF
#!/bin/bash
[ -n "\${SLEEP:-}" ] && sleep "\$SLEEP"
"$BINARY" "\$@"
status=\$?
find . -type f -name "\${EDIT_FILES:-*}" ! -name '*.pmp' ! -name '*.pms' ! -name ssdefs.txt \\
    -exec sed -E -i -e "\${EDIT:-}" {} +
[ -n "\${EXTRA_FILE:-}" ] && touch "\$EXTRA_FILE"
exit "\${EXIT:-\$status}"
EOF
chmod +x "$WORK/edited"

failures=0
# expect <0 or 1> <what the report must name, or -> <description>, with the
# edit in the environment.
expect() {
    local want="$1" named="$2" what="$3" got
    "$COMPARE" "$BINARY" "$WORK/edited" > "$WORK/report" 2>&1
    got=$?
    if [ "$got" != "$want" ]; then
        echo "FAILED: $what: exit status $got, expected $want"
        sed 's/^/    /' "$WORK/report" | head -n 30
        failures=$((failures + 1))
    elif [ "$named" != - ] && ! grep -q -- "$named" "$WORK/report"; then
        echo "FAILED: $what: the report does not name $named"
        sed 's/^/    /' "$WORK/report" | head -n 30
        failures=$((failures + 1))
    else
        echo "ok: $what"
    fi
}

EDIT='' expect 0 - "the same program twice"

EDIT='s/\(([0-9]+) ms\)/(9\1 ms)/g; s/done in [0-9]+ ?ms/done in 75 ms/g;
      s/[0-9]+h [0-9]+m [0-9]+s [0-9]+ ms/1h 2m 3s 456 ms/g;
      s#[0-9]{2}/[0-9]{2}/[0-9]{2} at [0-9]{2}:[0-9]{2}:[0-9]{2}#31/12/99 at 23:59:58#g;
      s#[0-9]{2}_[0-9]{2}_[0-9]{2}at[0-9]{2}_[0-9]{2}_[0-9]{2}#31_12_99at23_59_58#g' \
    expect 0 - "other elapsed times and dates"

EDIT_FILES=stats.txt EDIT='2s/^([^\t]*\t[^\t]*)\t[^\t]*/\1\t0.123456/' \
    expect 1 "line 2, column 3 (.*): .* -> 0.123456" "a changed statistic"

EDIT='s/seed=-([0-9]+)/seed=-1\1/' expect 1 "Pellomar_log.txt" "a changed number in the log"

EDIT='s/^(Total computing time.*)$/\1 !/' expect 1 "Pellomar_log.txt" "text added after a masked time"

EDIT='s#^(Core Program Directory: .*)/$#\1/sub/#' expect 1 "Pellomar_log.txt" "another folder path"

EXTRA_FILE=dna_groups.res/more.txt expect 1 "only in new: .*more.txt" "an extra file"

EXIT=3 expect 1 "dist0__run_dna_groups.status" "another exit status"

# A run left out by QUINTLE_COMPARE_SKIP is not run at all: its other exit
# status goes unseen.
QUINTLE_COMPARE_SKIP='^dist0__' EXIT=3 expect 0 "No difference in 0 runs" "a run left out"

# The time limit stops a run that takes too long and names it.
QUINTLE_COMPARE_TIMEOUT=1 SLEEP=30 expect 1 "Stopped by the time limit of 1 s .*dist0__run_dna_groups" \
    "a run stopped by the time limit"

# The suite's form: the recorded values hold, and a changed one is caught.
if ! "$COMPARE" --check "$BINARY" > "$WORK/report" 2>&1; then
    echo "FAILED: --check on the recorded values"
    head -n 30 "$WORK/report"
    failures=$((failures + 1))
fi
if EDIT_FILES=stats.txt EDIT='2s/^([^\t]*)\t/\1 \t/' "$COMPARE" --check "$WORK/edited" > "$WORK/report" 2>&1; then
    echo "FAILED: --check missed a changed statistics line"
    failures=$((failures + 1))
fi

# A run list is run by the driver beside the program: its recorded values
# hold, and a program without the driver beside it is reported.
if ! QUINTLE_COMPARE_CASES='^runlist__two_types$' "$COMPARE" --check "$BINARY" > "$WORK/report" 2>&1 ||
    ! grep -q "agree with the recorded values (.* runs)" "$WORK/report"; then
    echo "FAILED: --check on a run list"
    head -n 30 "$WORK/report"
    failures=$((failures + 1))
fi
QUINTLE_COMPARE_CASES='^runlist__two_types$' EDIT='' expect 1 "runlist__two_types.status" \
    "a run list without its driver beside the program"

[ "$failures" -eq 0 ] || exit 1
echo "all comparisons as expected"
