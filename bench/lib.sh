# Shared by the benchmark scripts: `. "$HERE/lib.sh"`, with ROOT set to the
# repository.

# Sets BIN to the program's absolute path: QUINTLE_BIN when given, else
# BUILD_DIR/quintle (default ROOT/build), built in Release mode when it is
# not there yet. $1 names the calling script in the error message.
find_quintle() {
    if [ -n "${QUINTLE_BIN:-}" ]; then
        BIN="$QUINTLE_BIN"
    else
        BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
        BIN="$BUILD_DIR/quintle"
        if [ ! -x "$BIN" ]; then
            echo "Building the Release program in $BUILD_DIR ..."
            cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DQUINTLE_TESTS=OFF >/dev/null
            cmake --build "$BUILD_DIR" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
        fi
    fi
    [ -x "$BIN" ] || { echo "$1: no program at $BIN" >&2; exit 1; }
    BIN="$(cd "$(dirname "$BIN")" && pwd)/$(basename "$BIN")"
}
