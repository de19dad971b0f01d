#!/bin/bash
# One task of a Slurm job array: CALLS calls of quintle, one after another,
# in a scratch folder of the task's own. Before each call SIMULATE writes the
# project to analyse; each call appends its line to the task's statistics
# file, and its result folder is removed once the line is there. At the end
# the file is copied whole to OUT/stats_<task>.txt, which merge_stats.sh
# then merges with the other tasks' files.
#
#   SIMULATE=$PWD/simulate.sh CALLS=1000 sbatch --array=0-999 slurm_array.sh
#   merge_stats.sh stats merged_stats.txt 0 999      # once the array is done
#
# Environment (sbatch passes on the one it is called from):
#   SIMULATE  a program run as: SIMULATE <project file> <task> <call>, that
#             writes the project of that call (call from 1 to CALLS)
#   CALLS     calls per task (default 100)
#   QUINTLE   the program (default: quintle on the PATH)
#   SETUP     the folder holding pml_run.pms and ssdefs.txt (default: the
#             folder the job was submitted from)
#   OUT       the folder receiving stats_<task>.txt (default: SETUP/stats)
#   TMPDIR    where the scratch folder is made (default /tmp; a disk of the
#             node is best)
#
# The call `call` of task `task` runs with QUINTLE_SEED = task * CALLS + call,
# so that every call of the array has its own seed and a rerun of a task
# gives the same lines. A task run again starts its file afresh. A call that
# leaves no line stops the task with status 1: its log is kept as
# OUT/failed_<task>_<call>_log.txt and no stats_<task>.txt is written.
#
#SBATCH --job-name=quintle
#SBATCH --cpus-per-task=1
#SBATCH --mem=1G
#SBATCH --time=04:00:00
#SBATCH --output=quintle_%A_%a.out

set -euo pipefail

task=${SLURM_ARRAY_TASK_ID:?"run as a task of a job array (or set SLURM_ARRAY_TASK_ID)"}
SIMULATE=${SIMULATE:?"name the program that writes a project: SIMULATE <file> <task> <call>"}
CALLS=${CALLS:-100}
QUINTLE=${QUINTLE:-quintle}
SETUP=${SETUP:-${SLURM_SUBMIT_DIR:-$PWD}}
OUT=${OUT:-$SETUP/stats}

# Paths are taken from the folder the task starts in, before it leaves it.
absolute() {
    case $1 in
        /*) echo "$1" ;;
        */*) echo "$PWD/$1" ;;
        *) echo "$1" ;;  # a program found on the PATH
    esac
}
QUINTLE=$(absolute "$QUINTLE")
SIMULATE=$(absolute "$SIMULATE")
SETUP=$(cd "$SETUP" && pwd)
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)

# A seed outside 1..161803398 would silently give way to the clock.
if (( task < 0 || CALLS < 1 || task * CALLS + CALLS > 161803398 )); then
    echo "task $task: seeds task * CALLS + call must lie in 1..161803398" >&2
    exit 2
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/quintle_task_${task}.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cp "$SETUP/pml_run.pms" "$SETUP/ssdefs.txt" "$scratch/"
cd "$scratch"

count_lines() {
    if [ -f "$1" ]; then echo $(( $(wc -l < "$1") )); else echo 0; fi
}

for (( call = 1; call <= CALLS; call++ )); do
    "$SIMULATE" sim.pmp "$task" "$call"
    # The first call starts the file with the header line (0 1), the others
    # append their value line (1 0).
    if (( call == 1 )); then flags=(0 1); else flags=(1 0); fi
    QUINTLE_SEED=$(( task * CALLS + call )) "$QUINTLE" sim.pmp stats.txt "${flags[@]}"
    if (( $(count_lines stats.txt) != call + 1 )); then
        echo "task $task: call $call left no statistics line" >&2
        cp sim.res/Pellomar_log.txt "$OUT/failed_${task}_${call}_log.txt" 2>/dev/null || true
        exit 1
    fi
    # The log and the report of this call (about 0.4 MB with the example
    # settings) are no longer needed.
    rm -rf sim.res
done

# Copied whole under another name first: a stats_<task>.txt is always complete.
cp stats.txt "$OUT/.stats_$task.part"
mv -f "$OUT/.stats_$task.part" "$OUT/stats_$task.txt"
