# SPDX-License-Identifier: MIT
# The command line: every bad flag, unwritable output and missing dependency fails early,
# with a non-zero exit and a message that names the problem.
. "$(dirname "$0")/common.sh"

# Flags the tool cannot use: exit 2, before anything is rendered.
expect_failure unknown "unknown option --nope" --nope
expect_failure novalue "--png needs a value" --png
for bad in "--frames 5-2" "--frames 0-3" "--frames 3-x" "--key 0:1" "--key 3:9" "--key 3" "--key x:esc" \
           "--fps 0" "--fps 30.5" "--seconds abc" "--seconds -1" "--frame-cost-ms 0" "--bench --wav x.wav" \
           "--size 1280" "--size 1281x960" "--size 32x24" "--size 1280x960x2" "--msaa -1" "--msaa 4x" "--msaa 17"; do
    # shellcheck disable=SC2086
    run badflag $bad --data "$DATA"
    [ "$rc" -eq 2 ] || fail "exit $rc (want 2) for: $bad"
    grep -q "^rinta-capture: " badflag.err || fail "no message for: $bad"
done
run help --help
[ "$rc" -eq 0 ] && grep -q -- "--frame-cost-ms" help.out || fail "--help does not list the options"
run version --version
[ "$rc" -eq 0 ] && head -1 version.out | grep -Eqx 'rinta-capture [0-9]+\.[0-9]+\.[0-9]+' ||
    fail "--version gave exit $rc: $(head -1 version.out)"

# Missing or unusable inputs and outputs: exit 1, and no PNG rendered first.
expect_failure nodata "data directory $WORK/missing does not exist" --data "$WORK/missing" --seconds 0.1
touch plainfile
expect_failure pngfile "cannot write PNG frames into" --data "$DATA" --png "$WORK/plainfile" --seconds 0.1
expect_failure wavdir "cannot write $WORK/none/a.wav" --data "$DATA" --wav "$WORK/none/a.wav" --seconds 0.1
expect_failure videodir "cannot write $WORK/none/a.mp4" --data "$DATA" --video "$WORK/none/a.mp4" --seconds 0.1
mkdir -p readonly && chmod 555 readonly
if [ "$(id -u)" -ne 0 ]; then # root writes anywhere
    expect_failure wavro "cannot write" --data "$DATA" --wav "$WORK/readonly/a.wav" --seconds 0.1
fi

# No ffmpeg on PATH: says so by name, before rendering.
mkdir -p emptybin
PATH="$WORK/emptybin" run noffmpeg --data "$DATA" --video "$WORK/a.mp4" --seconds 0.1
[ "$rc" -ne 0 ] && grep -q "ffmpeg is not installed" noffmpeg.err || fail "missing ffmpeg not reported: $(cat noffmpeg.err)"

# No EGL vendor at all: a clear message instead of a crash.
__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json run noegl --data "$DATA" --seconds 0.1
[ "$rc" -eq 1 ] && grep -q "no usable EGL" noegl.err || fail "missing EGL not reported (exit $rc): $(cat noegl.err)"

# Pictures that cannot be used: a FIFO (never waited on), a directory, a file cut before its
# header. Each is named with its reason, and the frames are rendered without them.
mkdir -p baddata
for f in "$DATA"/*; do ln -s "$f" baddata/; done
rm baddata/tarvel.jpg baddata/shot.jpg baddata/tex2.jpg
mkfifo baddata/tarvel.jpg
mkdir baddata/shot.jpg
head -c 100 "$DATA/tex2.jpg" >baddata/tex2.jpg
timeout 120 "$CAPTURE" --data "$WORK/baddata" --frames 1-2 --png "$WORK/badpng" >badpictures.out 2>badpictures.err
rc=$?
[ "$rc" -eq 0 ] && [ -f badpng/frame-000002.png ] || fail "bad pictures: exit $rc (124: it hung): $(head -c 300 badpictures.err)"
for said in "tarvel.jpg: not a regular file" "shot.jpg: not a regular file" "tex2.jpg: .*cut short"; do
    grep -q "$said" badpictures.err || fail "bad pictures: no '$said' in: $(head -c 400 badpictures.err)"
done

finish
