#!/bin/sh
# Runs quintle on every project of a list, WORKERS calls at a time, all
# appending their value lines to one statistics file that starts with one
# header line.
#
# Usage, in the folder that holds pml_run.pms and ssdefs.txt (every call
# reads them from its working folder):
#
#   many_projects.sh LIST STATS [WORKERS]
#
#   LIST     a file naming one project file per line (blank lines are
#            skipped); the projects have the same samples, so that one
#            header fits every line
#   STATS    the statistics file, started afresh
#   WORKERS  calls at a time (default 4): the number of cores to use
#
# Environment:
#   QUINTLE    the program (default: quintle on the PATH)
#   SEED_BASE  the call of the project on line i of LIST runs with
#              QUINTLE_SEED=SEED_BASE+i (default 0), so that a rerun gives
#              the same lines
#
# The value lines arrive in the order in which the calls end, not in the
# order of LIST. Exits 1 when a call left no line (the program says why on
# standard error), 2 on a usage error.
#
# The same with GNU parallel ({#} is the job number, from 1):
#   quintle "$(grep -m 1 . LIST)" STATS 0 2
#   grep . LIST | parallel -j 4 'QUINTLE_SEED={#} quintle {} STATS 1 0'

set -u

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: $0 LIST STATS [WORKERS]" >&2
    exit 2
fi
LIST=$1
STATS=$2
WORKERS=${3:-4}
QUINTLE=${QUINTLE:-quintle}
SEED_BASE=${SEED_BASE:-0}
export QUINTLE STATS SEED_BASE

calls=$(grep -c . "$LIST") || {
    echo "$0: no project named in $LIST" >&2
    exit 2
}
# A seed outside 1..161803398 would silently give way to the clock.
case $SEED_BASE in
    '' | *[!0-9]*) echo "$0: SEED_BASE must be a whole number" >&2; exit 2 ;;
esac
if [ $((SEED_BASE + calls)) -gt 161803398 ]; then
    echo "$0: SEED_BASE + $calls calls passes the largest seed, 161803398" >&2
    exit 2
fi

# The header line alone, in a new file (append 0, header mode 2): a call on
# the first project, whose value line is left out.
QUINTLE_SEED=$((SEED_BASE + 1)) "$QUINTLE" "$(grep -m 1 . "$LIST")" "$STATS" 0 2
if [ ! -s "$STATS" ]; then
    echo "$0: the first project gave no header line" >&2
    exit 1
fi

# Each project after its line number, separated by NUL characters so that
# names may hold blanks; every call appends its value line (1 0).
# shellcheck disable=SC2016 # expanded by the inner shell
grep . "$LIST" | awk '{ print NR; print }' | tr '\n' '\0' |
    xargs -0 -n 2 -P "$WORKERS" sh -c \
        'QUINTLE_SEED=$((SEED_BASE + $1)) exec "$QUINTLE" "$2" "$STATS" 1 0' call

lines=$(wc -l < "$STATS")
if [ $((lines)) -ne $((calls + 1)) ]; then
    echo "$0: $((calls + 1 - lines)) of $calls calls left no line in $STATS" >&2
    exit 1
fi
