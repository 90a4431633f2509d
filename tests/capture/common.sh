# SPDX-License-Identifier: MIT
# Shared by the capture tests: arguments, a clean scratch directory, and small checks.
set -u
CAPTURE=$(realpath "$1")
DATA=$(realpath -m "$2")
WORK=$3
rm -rf "$WORK" && mkdir -p "$WORK" && cd "$WORK" || exit 1
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() { [ "$failures" -eq 0 ] && echo "all checks passed"; exit $((failures > 0)); }

# run NAME ARGS...: runs the tool, keeping its exit code in $rc and its stderr in NAME.err.
run() {
    local name=$1; shift
    "$CAPTURE" "$@" >"$name.out" 2>"$name.err"
    rc=$?
}

# expect_failure NAME TEXT ARGS...: the tool must fail and say TEXT on stderr.
expect_failure() {
    local name=$1 text=$2; shift 2
    run "$name" "$@"
    if [ "$rc" -eq 0 ]; then fail "$name: exit 0 for $*"; return; fi
    grep -q -- "$text" "$name.err" || fail "$name: no '$text' in: $(head -c 300 "$name.err")"
}

# Mean of one channel (0-255) over a WIDTHxHEIGHT+X+Y box of a picture.
box_mean() { convert "$1" -crop "$2" +repage -format "%[fx:int(255*mean.$3+0.5)]" info:; }

# near A B TOL: |A - B| <= TOL (integers)
near() { local d=$(($1 - $2)); [ "${d#-}" -le "$3" ]; }
