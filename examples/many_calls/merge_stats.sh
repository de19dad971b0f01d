#!/bin/sh
# Merges the statistics files that the tasks of a job array left in one
# folder (stats_<task>.txt, each a header line and value lines) into one
# file: the header line once, then the value lines of every task, in task
# order and, within a task, in call order.
#
#   merge_stats.sh OUT MERGED [FIRST LAST]
#
# With FIRST and LAST every task from FIRST to LAST must have its file;
# without them the files found are merged. Exits 1, writing nothing, when a
# task's file is missing or has another header line than the first.

set -u

if [ $# -ne 2 ] && [ $# -ne 4 ]; then
    echo "usage: $0 OUT MERGED [FIRST LAST]" >&2
    exit 2
fi
out=$1
merged=$2

if [ $# -eq 4 ]; then
    tasks=$(seq "$3" "$4")
else
    tasks=$(for f in "$out"/stats_*.txt; do
        [ -f "$f" ] || continue
        n=${f##*/stats_}
        echo "${n%.txt}"
    done | sort -n)
fi
if [ -z "$tasks" ]; then
    echo "$0: no stats_<task>.txt in $out" >&2
    exit 1
fi

part="$merged.part"
header=""
first=1
for t in $tasks; do
    f="$out/stats_$t.txt"
    if [ ! -f "$f" ]; then
        echo "$0: task $t left no $f" >&2
        rm -f "$part"
        exit 1
    fi
    if [ $first -eq 1 ]; then
        first=0
        header=$(head -n 1 "$f")
        head -n 1 "$f" > "$part"
    elif [ "$(head -n 1 "$f")" != "$header" ]; then
        echo "$0: $f has another header line than the first file" >&2
        rm -f "$part"
        exit 1
    fi
    tail -n +2 "$f" >> "$part"
done
mv -f "$part" "$merged"
