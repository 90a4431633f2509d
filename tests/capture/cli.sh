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
expect_failure bogusvalue "unknown option --bogus" --bogus=1
# Text that cannot be written is no success: a full disk, a closed standard output.
for flag in --help --version; do
    "$CAPTURE" $flag >/dev/full 2>full.err
    rc=$?
    [ "$rc" -eq 1 ] && grep -q "cannot write to standard output: No space left" full.err ||
        fail "$flag to a full disk: exit $rc: $(cat full.err)"
    "$CAPTURE" $flag >&- 2>closed.err
    rc=$?
    [ "$rc" -eq 1 ] && grep -q "cannot write to standard output" closed.err ||
        fail "$flag to a closed stdout: exit $rc: $(cat closed.err)"
done

# Missing or unusable inputs and outputs: exit 1, and no PNG rendered first.
expect_failure nodata "data directory $WORK/missing does not exist" --data "$WORK/missing" --seconds 0.1
touch plainfile
expect_failure pngfile "cannot write PNG frames into" --data "$DATA" --png "$WORK/plainfile" --seconds 0.1
expect_failure wavdir "cannot write $WORK/none/a.wav" --data "$DATA" --wav "$WORK/none/a.wav" --seconds 0.1
expect_failure videodir "cannot write $WORK/none/a.mp4" --data "$DATA" --video "$WORK/none/a.mp4" --seconds 0.1
expect_failure wavfull "writing /dev/full failed: No space left on device" --data "$DATA" --wav /dev/full --seconds 0.1
mkdir -p readonly && chmod 555 readonly
if [ "$(id -u)" -ne 0 ]; then # root writes anywhere
    expect_failure wavro "cannot write" --data "$DATA" --wav "$WORK/readonly/a.wav" --seconds 0.1
fi

# Paths the system refuses (a loop, a name too long, a working directory removed under the
# tool) are reported in its words with exit 1; nothing aborts on an exception.
expect_failure datafile "data directory $WORK/plainfile is not a directory" --data "$WORK/plainfile" --seconds 0.1
ln -s loop-b loop-a && ln -s loop-a loop-b
long=$WORK/$(printf 'x%.0s' $(seq 5000))
for flag in --data --png; do
    for path in "$WORK/loop-a" "$long"; do
        if [ $flag = --data ]; then run badpath --data "$path" --seconds 0.1
        else run badpath --data "$DATA" --png "$path" --seconds 0.1; fi
        [ "$rc" -eq 1 ] && grep -Eq "Too many levels of symbolic links|File name too long" badpath.err ||
            fail "$flag ${path:0:40}...: exit $rc: $(head -c 300 badpath.err)"
    done
done
mkdir -p gone && (cd gone && rmdir "$WORK/gone" && exec "$CAPTURE" --data "$DATA" --wav a.wav --seconds 0.1 \
    >"$WORK/gone.out" 2>"$WORK/gone.err")
rc=$?
[ "$rc" -eq 1 ] && grep -q "a.wav is relative, and the working directory cannot be read" gone.err ||
    fail "relative --wav from a removed working directory: exit $rc: $(cat gone.err)"
# A parent directory the user may not enter; as root, run as nobody to be refused at all.
as_user=()
[ "$(id -u)" -ne 0 ] || as_user=(setpriv --reuid 65534 --regid 65534 --clear-groups)
if [ "$(id -u)" -ne 0 ] || { command -v setpriv >/dev/null && setpriv "${as_user[@]:1}" true 2>/dev/null; }; then
    mkdir -p locked/data && cp "$DATA"/* locked/data/ && chmod 000 locked
    for args in "--data $WORK/locked/data" "--data $DATA --png $WORK/locked/png"; do
        # shellcheck disable=SC2086
        "${as_user[@]}" "$CAPTURE" $args --seconds 0.1 >locked.out 2>locked.err
        rc=$?
        [ "$rc" -eq 1 ] && grep -q "Permission denied" locked.err || fail "$args: exit $rc: $(cat locked.err)"
    done
    chmod 755 locked
fi

# No ffmpeg on PATH: says so by name, before rendering.
mkdir -p emptybin
PATH="$WORK/emptybin" run noffmpeg --data "$DATA" --video "$WORK/a.mp4" --seconds 0.1
[ "$rc" -ne 0 ] && grep -q "ffmpeg is not installed" noffmpeg.err || fail "missing ffmpeg not reported: $(cat noffmpeg.err)"

# An ffmpeg that fails (here, one without libx264) or hangs: exit 1 with its last message or
# the stall, within bounded time, and neither the temporary files nor an empty video stay.
mkdir -p failbin hangbin
printf '#!/bin/sh\necho "first line" >&2\necho "Unknown encoder '"'"'libx264'"'"'" >&2\nexit 1\n' >failbin/ffmpeg
printf '#!/bin/sh\nexec sleep 600\n' >hangbin/ffmpeg
chmod +x failbin/ffmpeg hangbin/ffmpeg
for kind in fail hang; do
    PATH="$WORK/${kind}bin:$PATH" RINTA_FFMPEG_TIMEOUT=2 timeout -s KILL 120 "$CAPTURE" --data "$DATA" \
        --video "$WORK/$kind.mp4" --frames 1-3 >"$kind.out" 2>"$kind.err"
    rc=$?
    case $kind in
    fail) want="ffmpeg failed while encoding the frames for $WORK/fail.mp4: Unknown encoder 'libx264'" ;;
    hang) want="ffmpeg failed while encoding the frames for $WORK/hang.mp4: it made no progress for 2 s" ;;
    esac
    [ "$rc" -eq 1 ] && grep -qF "$want" "$kind.err" || fail "ffmpeg that ${kind}s: exit $rc: $(cat "$kind.err")"
    left=$(ls -A | grep -F "$kind.mp4")
    [ -z "$left" ] || fail "ffmpeg that ${kind}s: left behind: $left"
done
RINTA_FFMPEG_TIMEOUT=soon run badtimeout --data "$DATA" --video "$WORK/t.mp4" --seconds 0.1
[ "$rc" -eq 1 ] && grep -q "RINTA_FFMPEG_TIMEOUT wants a positive number" badtimeout.err ||
    fail "a bad RINTA_FFMPEG_TIMEOUT: exit $rc: $(cat badtimeout.err)"

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
