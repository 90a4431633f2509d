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

# shares PICTURE BOX: the box's mean red, green and blue as shares of their sum, which fog
# towards black and a uniform alpha over black leave alone; "dark" when there is no colour.
shares() {
    convert "$1" -crop "$2" +repage -format '%[fx:mean.r] %[fx:mean.g] %[fx:mean.b]' info: |
        awk '{ s = $1 + $2 + $3; if (s < 0.01) print "dark"; else printf "%.4f %.4f %.4f\n", $1 / s, $2 / s, $3 / s }'
}
# nearest_picture PICTURE BOX: the data picture whose colour shares are nearest the box's,
# and how much farther the runner-up is ("tex4.jpg 0.150"); "black 0" for a box with no colour.
nearest_picture() {
    local target f
    target=$(shares "$1" "$2")
    [ "$target" = dark ] && { echo "black 0"; return; }
    for f in "$DATA"/*.jpg; do
        echo "$(basename "$f") $(shares "$f" 100%x100%+0+0)"
    done | awk -v t="$target" 'BEGIN { split(t, q, " ") }
        $2 != "dark" { printf "%.4f %s\n", sqrt(($2 - q[1]) ^ 2 + ($3 - q[2]) ^ 2 + ($4 - q[3]) ^ 2), $1 }' |
        sort -g | head -2 | awk 'NR == 1 { d = $1; n = $2 } NR == 2 { printf "%s %.3f\n", n, $1 - d }'
}
