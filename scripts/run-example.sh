#!/bin/sh
# Runs the program on the bundled example project (examples/example.pmp) in a
# fresh copy of the examples folder beside the program, so the repository
# stays untouched, and says where the results went.
#
# Usage: run-example.sh <path of the quintle program>
set -e

if [ $# -lt 1 ] || [ ! -x "$1" ]; then
    echo "usage: $0 <path of the quintle program>" >&2
    exit 2
fi

BIN="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
HERE="$(cd "$(dirname "$0")" && pwd)"
EXAMPLES="$HERE/../examples"
RUN_DIR="$(dirname "$BIN")/example-run"

rm -rf "$RUN_DIR"
mkdir -p "$RUN_DIR"
cp "$EXAMPLES/example.pmp" "$EXAMPLES/pml_run.pms" "$EXAMPLES/ssdefs.txt" "$RUN_DIR/"

cd "$RUN_DIR"
# New statistics file (append 0) with its header line (header mode 1).
"$BIN" example.pmp example_stats.txt 0 1 run_silent

echo
echo "Example run finished in $RUN_DIR"
echo "  statistics line:  $RUN_DIR/example_stats.txt"
echo "  result folder:    $RUN_DIR/example.res/ (log: Pellomar_log.txt)"
if [ -f "$RUN_DIR/example.res/Pellomar_log.txt" ]; then
    echo
    echo "Last lines of the log:"
    tail -n 5 "$RUN_DIR/example.res/Pellomar_log.txt" | sed 's/^/  /'
fi
