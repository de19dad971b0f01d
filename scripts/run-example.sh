#!/bin/sh
# Runs the program on the bundled example project.
set -e
BIN="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
"$BIN"
