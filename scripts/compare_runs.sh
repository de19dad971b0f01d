#!/bin/bash
# Before/after comparison of two builds of the program.
#
#   compare_runs.sh OLD_BINARY NEW_BINARY
#       Runs both binaries, in turn, on every project of the corpus with every
#       settings set, each run in its own fresh copy of its inputs, and
#       compares every file the runs leave behind (statistics file, batch
#       .sum files, result folder with log, result file, navigation files,
#       marker files...) together with the console output and exit status.
#       Prints the files that differ with the start of their diff and exits 1
#       on any difference, 0 when every run gave the same bytes.
#
#   compare_runs.sh --check BINARY
#       Runs one binary on the suite's part of the corpus (see list_cases)
#       and compares the exit status, statistics file and batch .sum files
#       of each run with tests/data/compare/recorded/<run>.txt. The test
#       suite calls this form. Exits 1 on any difference.
#
#   compare_runs.sh --record BINARY
#       Rewrites tests/data/compare/recorded from the runs of BINARY. The
#       recorded values are what the suite holds the program to: re-record
#       only on purpose, in a commit whose message says why they changed.
#
# The corpus: examples/example.pmp and every .pmp under tests/data but
# tests/data/hardening, whose absurd inputs have tests of their own (failing
# projects included: a failure must be the same failure), each run with
#   example      the example's pml_run.pms and ssdefs.txt;
#   all_tasks    tests/data/compare/all_tasks: every task bit, every batch
#                file of glbstreams.txt, both passes and every statistic;
#   phasing      tests/data/compare/phasing: haplotype frequencies with the
#                phasing sampler (short chains, some recombination steps,
#                phase files written); in the two-program comparison only;
#   distN        tests/data/compare/distances with DistanceMethod,
#                DistanceMethodAMOVA and MismatchDistanceMethod set to N,
#                for N = 0..6 (HTML output, non-integer and zero weights,
#                gamma everywhere, haplotypes inferred from distances).
# Each run is named <settings>__<project>, e.g. dist3__compare_dna_missing,
# and is started as "BINARY <project>.pmp stats.txt 0 1 run_silent" in its
# own folder with QUINTLE_SEED fixed.
#
# Run lists: each file tests/data/compare/run_lists/<name>.txt is one more
# run, runlist__<name>, of several projects in one process, in the order of
# its lines "project <path from the root>"; each project's folder is copied
# into a folder of its own (p1, p2, ...). The settings are all_tasks' with
# the changes of its lines "set <Key>=<value>". The program runs one project
# per call, so these runs are made by the driver quintle_run_list built
# beside BINARY (tests/support/run_list_main.cpp), as
# "quintle_run_list stats.txt 0 1 p1/<project>.pmp p2/<project>.pmp ...":
# they show what the statistics record carries from one project to the next.
#
# Before comparing, the texts that change from one run to the next are
# masked: elapsed times ("(12 ms)", "done in 12 ms" or "12ms", "12 ms to compute",
# "0h 0m 0s 12 ms", "Time for computation : 12 ms"), dates and time stamps
# ("06/12/26 at 20:41:48", also as an anchor "06_12_26at20_41_48"), the run
# folder's path and the process id in run-file names (pml_run_<pid>.txt).
# Nothing else is.
#
# Environment: QUINTLE_COMPARE_CASES, an extended regular expression, keeps
# only the runs whose name it matches; QUINTLE_COMPARE_SKIP, another one,
# leaves out the runs whose name it matches (the sanitizer build of the suite
# leaves all_tasks__haplo_vosk_truth to the Release build: with every task on,
# the phasing of that project alone takes minutes under the sanitizers, while
# the phasing code keeps its own sanitized tests); QUINTLE_COMPARE_JOBS runs
# that many at once (default: the number of processors, nproc);
# QUINTLE_COMPARE_TIMEOUT stops a run after that many seconds (default 600).
# The time limit only guards against a hang: the slowest run takes a few
# seconds in the Release build and under two minutes in the sanitizer build
# on two cores. A run it stops is named as such in the report.
# QUINTLE_COMPARE_KEEP=1 keeps the work folder.

set -u

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
COMPARE_DATA="$ROOT/tests/data/compare"
RECORDED="$COMPARE_DATA/recorded"
SEED=20240
MASK_ONLY_RECORDED=0
JOBS="${QUINTLE_COMPARE_JOBS:-$(nproc 2>/dev/null || echo 2)}"
RUN_TIMEOUT="${QUINTLE_COMPARE_TIMEOUT:-600}"
# Size of the report: files listed, diffs shown, lines and width of each,
# changed cells named.
LISTED=40
DIFFS_SHOWN=8
DIFF_LINES=16
DIFF_WIDTH=160
CELLS_SHOWN=8

usage() {
    echo "usage: $0 OLD_BINARY NEW_BINARY" >&2
    echo "       $0 --check BINARY" >&2
    echo "       $0 --record BINARY" >&2
    exit 2
}

absolute_binary() {
    if [ ! -x "$1" ] || [ -d "$1" ]; then
        echo "$0: not an executable program: $1" >&2
        exit 2
    fi
    echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
}

# One case per line: name, project (relative to the root), settings set,
# distance method (or -). CASES=suite keeps the subset the test suite checks,
# quick enough for the sanitizer build: the example's settings, and their
# thousand simulations, on the example only, distance methods other than 0
# on DNA projects only, and no phasing runs.
list_cases() {
    local projects dna_projects project name setting method dna
    projects="examples/example.pmp"$'\n'"$(cd "$ROOT" && find tests/data -path tests/data/hardening -prune -o -name '*.pmp' -type f -print | LC_ALL=C sort)"
    dna_projects="$(cd "$ROOT" && printf '%s\n' "$projects" |
        xargs grep -l -i -E '^[[:space:]]*DataType[[:space:]]*=[[:space:]]*DNA')"
    while IFS= read -r project; do
        name="${project%.pmp}"
        name="${name#tests/data/}"
        name="${name//\//_}"
        dna=0
        [[ $'\n'"$dna_projects"$'\n' == *$'\n'"$project"$'\n'* ]] && dna=1
        for setting in example all_tasks phasing dist0 dist1 dist2 dist3 dist4 dist5 dist6; do
            method=-
            case "$setting" in dist*) method="${setting#dist}" ;; esac
            if [ "${CASES:-all}" = suite ]; then
                [ "$setting" = phasing ] && continue
                [ "$setting" = example ] && [ "$project" != examples/example.pmp ] && continue
                [ "$method" != - ] && [ "$method" != 0 ] && [ "$dna" = 0 ] && continue
            fi
            printf '%s\t%s\t%s\t%s\n' "${setting}__${name}" "$project" "$setting" "$method"
        done
    done <<< "$projects"
    for list in "$COMPARE_DATA"/run_lists/*.txt; do
        [ -e "$list" ] || continue
        name="$(basename "$list" .txt)"
        printf '%s\t%s\t%s\t%s\n' "runlist__${name}" "${list#$ROOT/}" runlist -
    done
}

# sed program masking what differs between two runs of the same binary.
# $1: the run folder, an absolute path.
mask_program() {
    local folder
    folder="$(printf '%s' "$1" | sed -e 's/[]\/$*.^[|+?(){}]/\\&/g')"
    cat <<EOF
s|$folder|@RUNDIR@|g
s#[0-9]{2}[/_][0-9]{2}[/_][0-9]{2} ?at ?[0-9]{2}[:_][0-9]{2}[:_][0-9]{2}#@DATE@#g
s#\(-?[0-9]+ ms\)#(@MS@ ms)#g
s#done in -?[0-9]+ ?ms#done in @MS@ ms#g
s#^-?[0-9]+ ms to compute#@MS@ ms to compute#
s#-?[0-9]+h -?[0-9]+m -?[0-9]+s -?[0-9]+ ms#@ELAPSED@#g
s#(Time for computation +: )-?[0-9]+ ms#\1@MS@ ms#g
s#pml_run_[0-9]+\.txt#pml_run_@PID@.txt#g
EOF
}

# Runs one case in <out>/<name>: a fresh copy of the project's folder (its
# files only) and of the settings set, the program started there, then the
# files masked in place: every file, or with MASK_ONLY_RECORDED=1 only those
# the suite records. Console output and exit status go beside the folder.
run_case() {
    local binary="$1" out="$2" name="$3" project="$4" setting="$5" method="$6"
    local dir="$out/$name" source_dir
    source_dir="$(dirname "$ROOT/$project")"
    mkdir -p "$dir"
    [ "$setting" = runlist ] || find "$source_dir" -maxdepth 1 -type f -exec cp -t "$dir" {} +
    case "$setting" in
        example)
            cp "$ROOT/examples/pml_run.pms" "$ROOT/examples/ssdefs.txt" "$dir/"
            ;;
        all_tasks|phasing)
            cp "$COMPARE_DATA/$setting/"* "$dir/"
            ;;
        dist*)
            sed -E "s/^(DistanceMethod|DistanceMethodAMOVA|MismatchDistanceMethod)=.*/\\1=$method/" \
                "$COMPARE_DATA/distances/pml_run.pms" > "$dir/pml_run.pms"
            cp "$COMPARE_DATA/distances/ssdefs.txt" "$dir/"
            ;;
        runlist)
            cp "$COMPARE_DATA/all_tasks/"* "$dir/"
            local kind value k=0
            local -a listed=()
            while read -r kind value; do
                case "$kind" in
                    project)
                        k=$((k + 1))
                        mkdir -p "$dir/p$k"
                        find "$(dirname "$ROOT/$value")" -maxdepth 1 -type f -exec cp -t "$dir/p$k" {} +
                        listed+=("p$k/$(basename "$value")")
                        ;;
                    set)
                        sed -E -i "s/^${value%%=*}=.*/$value/" "$dir/pml_run.pms"
                        ;;
                esac
            done < "$ROOT/$project"
            (cd "$dir" && QUINTLE_SEED=$SEED timeout "$RUN_TIMEOUT" "$(dirname "$binary")/quintle_run_list" \
                stats.txt 0 1 "${listed[@]}" > "$out/$name.console" 2>&1; echo "$?" > "$out/$name.status")
            ;;
    esac

    [ "$setting" = runlist ] ||
    (cd "$dir" && QUINTLE_SEED=$SEED timeout "$RUN_TIMEOUT" "$binary" "$(basename "$project")" \
        stats.txt 0 1 run_silent > "$out/$name.console" 2>&1; echo "$?" > "$out/$name.status")

    local f
    for f in "$dir"/pml_run_[0-9]*.txt; do
        [ -e "$f" ] && mv "$f" "$dir/pml_run_PID.txt"
    done
    if [ "${MASK_ONLY_RECORDED:-0}" = 1 ]; then
        find "$dir" -maxdepth 1 -type f \( -name stats.txt -o -name '*.sum' \) \
            -exec sed -E -i -e "$(mask_program "$dir")" {} +
    else
        find "$dir" "$out/$name.console" -type f -exec sed -E -i -e "$(mask_program "$dir")" {} +
    fi
}
export -f run_case mask_program
export ROOT COMPARE_DATA SEED RUN_TIMEOUT MASK_ONLY_RECORDED

# The cases whose name matches QUINTLE_COMPARE_CASES (an extended regular
# expression; all cases when unset) and not QUINTLE_COMPARE_SKIP (none when
# unset).
selected_cases() {
    local line name
    list_cases | while IFS= read -r line; do
        name="${line%%$'\t'*}"
        [[ "$name" =~ ${QUINTLE_COMPARE_CASES:-.} ]] || continue
        [ -n "${QUINTLE_COMPARE_SKIP:-}" ] && [[ "$name" =~ $QUINTLE_COMPARE_SKIP ]] && continue
        printf '%s\n' "$line"
    done
}

# One line of selected_cases run with CASE_BINARY into CASE_OUT.
run_case_line() {
    local name project setting method
    IFS=$'\t' read -r name project setting method <<< "$1"
    run_case "$CASE_BINARY" "$CASE_OUT" "$name" "$project" "$setting" "$method"
}
export -f run_case_line

# Runs the whole corpus with one binary into <out>, and names the runs that
# the time limit stopped (timeout's status 124).
run_corpus() {
    local status
    mkdir -p "$2"
    selected_cases | CASE_BINARY="$1" CASE_OUT="$2" xargs -r -P "$JOBS" -d '\n' -n 1 bash -c 'run_case_line "$1"' _
    for status in "$2"/*.status; do
        [ "$(cat "$status" 2>/dev/null)" = 124 ] || continue
        echo "Stopped by the time limit of $RUN_TIMEOUT s (QUINTLE_COMPARE_TIMEOUT), taken for a hang: $(basename "${status%.status}") ($1)"
    done
}

# The cells that differ between two versions of a tab-separated file, named
# after the last tab-separated line the two versions share (the column
# header in statistics and batch files). At most CELLS_SHOWN of them.
cell_changes() {
    local n=0 shown=0 la lb i
    local -a header=() ca=() cb=()
    while IFS= read -r la <&3 && IFS= read -r lb <&4; do
        n=$((n + 1))
        [[ "$la$lb" == *$'\t'* ]] || continue
        if [ "$la" = "$lb" ]; then
            IFS=$'\t' read -r -a header <<< "$la"
            continue
        fi
        IFS=$'\t' read -r -a ca <<< "$la"
        IFS=$'\t' read -r -a cb <<< "$lb"
        for ((i = 0; i < ${#ca[@]} || i < ${#cb[@]}; i++)); do
            [ "${ca[i]-}" = "${cb[i]-}" ] && continue
            shown=$((shown + 1))
            [ "$shown" -gt "$CELLS_SHOWN" ] && return
            echo "line $n, column $((i + 1))${header[i]:+ (${header[i]})}: ${ca[i]-(none)} -> ${cb[i]-(none)}"
        done
    done 3< "$1" 4< "$2"
}

# Lists the files that differ between two trees (at most LISTED of them) and
# shows the start of the first diffs, long lines cut, with the cells that
# changed. Returns 1 when anything differs.
report_differences() {
    local left="$1" right="$2" left_name="$3" right_name="$4"
    local listing
    listing="$(diff -r -q "$left" "$right")"
    [ -z "$listing" ] && return 0

    local count=0 total line a b
    total="$(printf '%s\n' "$listing" | wc -l)"
    echo "Differences ($left_name against $right_name): $total"
    while IFS= read -r line; do
        count=$((count + 1))
        if [ "$count" -gt "$LISTED" ]; then
            echo "  ... and $((total - LISTED)) more"
            break
        fi
        case "$line" in
            "Only in "*)
                a="${line#Only in }"
                a="${a%%: *}/${a#*: }"
                case "$a" in
                    "$left"/*) echo "  only in $left_name: ${a#$left/}" ;;
                    *) echo "  only in $right_name: ${a#$right/}" ;;
                esac
                ;;
            Files*)
                a="${line#Files }"; a="${a%% and *}"
                b="${line#* and }"; b="${b% differ}"
                echo "  differs: ${a#$left/}"
                [ "$count" -le "$DIFFS_SHOWN" ] || continue
                diff -a -u --label "$left_name/${a#$left/}" --label "$right_name/${b#$right/}" "$a" "$b" |
                    head -n "$DIFF_LINES" | cut -c 1-"$DIFF_WIDTH" | sed 's/^/      /'
                cell_changes "$a" "$b" | sed 's/^/      /'
                ;;
            *) echo "  $line" ;;
        esac
    done <<< "$listing"
    return 1
}

# Keeps, of each case of a corpus run, what the suite records: its exit
# status, its statistics file and its batch files, in one file per case.
recorded_part() {
    local out="$1" dest="$2" dir f
    mkdir -p "$dest"
    for dir in "$out"/*/; do
        dir="${dir%/}"
        {
            printf '=== exit status\n'
            cat "$dir.status"
            for f in "$dir"/stats.txt "$dir"/*.sum; do
                [ -e "$f" ] || continue
                # The blank line keeps a missing final line end visible.
                printf '\n=== %s\n' "$(basename "$f")"
                cat "$f"
            done
        } > "$dest/$(basename "$dir").txt"
    done
}

[ $# -eq 2 ] || usage
WORK="$(mktemp -d "${TMPDIR:-/tmp}/quintle_compare.XXXXXX")"
cleanup() {
    if [ "${QUINTLE_COMPARE_KEEP:-0}" = 1 ]; then
        echo "Work folder kept: $WORK" >&2
    else
        rm -rf "$WORK"
    fi
}
trap cleanup EXIT

RUNS="$(CASES=suite selected_cases | wc -l)"
case "$1" in
    --check)
        CASES=suite
        MASK_ONLY_RECORDED=1
        binary="$(absolute_binary "$2")" || exit 2
        [ -d "$RECORDED" ] || { echo "$0: nothing recorded in $RECORDED" >&2; exit 2; }
        run_corpus "$binary" "$WORK/a"
        recorded_part "$WORK/a" "$WORK/now"
        mkdir -p "$WORK/kept"
        for f in "$WORK/now"/*.txt; do
            [ -e "$RECORDED/${f##*/}" ] && cp "$RECORDED/${f##*/}" "$WORK/kept/"
        done
        if report_differences "$WORK/kept" "$WORK/now" recorded now; then
            echo "Statistics and batch files agree with the recorded values ($RUNS runs)."
            exit 0
        fi
        exit 1
        ;;
    --record)
        CASES=suite
        MASK_ONLY_RECORDED=1
        binary="$(absolute_binary "$2")" || exit 2
        run_corpus "$binary" "$WORK/a"
        # A whole corpus replaces what was there; a selection only its cases.
        [ -z "${QUINTLE_COMPARE_CASES:-}" ] && rm -rf "$RECORDED"
        recorded_part "$WORK/a" "$RECORDED"
        echo "Recorded $RUNS runs in $RECORDED"
        exit 0
        ;;
    -*) usage ;;
esac

old="$(absolute_binary "$1")" || exit 2
new="$(absolute_binary "$2")" || exit 2
# Both sides use run folders of the same length, so that no masked path can
# shift a layout.
run_corpus "$old" "$WORK/a"
run_corpus "$new" "$WORK/b"
if report_differences "$WORK/a" "$WORK/b" old new; then
    echo "No difference in $(selected_cases | wc -l) runs."
    exit 0
fi
exit 1
