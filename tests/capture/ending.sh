# SPDX-License-Identifier: MIT
# The whole demo on a 32-order song of about a second: every scene's orders pass, the song's
# end (order 32) ends the run from inside a frame, and every output is finished and whole.
# Then the ways a run cannot end by itself: a song that ends early or loops, frames asked for
# beyond the song's end; and the data directory read where it is, with no temporary directory.
TINY_SONG=$(realpath "$4")
. "$(dirname "$0")/common.sh"

# A data directory of another name: the demo's pictures beside the short song.
mkdir -p short
for f in "$DATA"/*.jpg; do [ -e "$f" ] && ln -s "$f" short/; done
"$TINY_SONG" short/sorvan.it || { fail "cannot write the short song"; finish; }

run whole --data "$WORK/short" --wav "$WORK/whole.wav"
[ "$rc" -eq 0 ] || { fail "exit $rc: $(cat whole.err)"; finish; }
grep -q "ended by the song's end (order 32)" whole.err || fail "did not end at order 32: $(tail -1 whole.err)"
demo=$(sed -n 's/.* over \([0-9.]*\) s of demo time.*/\1/p' whole.err)
awk -v t="$demo" 'BEGIN { exit !(t > 1.0 && t < 2.0) }' || fail "the song lasted $demo s, want about 1.25"
# The audio runs to the frame that saw order 32, to the sample.
want=$(awk -v t="$demo" 'BEGIN { printf "%d", t * 44100 }')
near "$(soxi -s whole.wav)" "$want" 1 || fail "WAV holds $(soxi -s whole.wav) frames for $demo s"
grep -q " 0 drawn in full" whole.err || fail "frames drawn in full with no picture output: $(tail -1 whole.err)"
# The music is in it: the module's tones are not silence.
rms=$(sox whole.wav -n stat 2>&1 | awk '/RMS +amplitude/ { print $3 }')
awk -v r="$rms" 'BEGIN { exit !(r > 0.001) }' || fail "the song's audio is silent (RMS $rms)"
last=$(sed -n 's/^rinta-capture: \([0-9]*\) frames over.*/\1/p' whole.err)

# A song that ends before order 32, and one that jumps back from its last order to its first:
# the demo would run until Esc, so a capture with neither --seconds nor --frames stops after
# the frame that saw it, says why and how to ask for more, and finishes its outputs.
mkdir -p early looping
for f in "$DATA"/*.jpg; do [ -e "$f" ] && ln -s "$f" early/ && ln -s "$f" looping/; done
"$TINY_SONG" early/sorvan.it 16 || fail "cannot write the 16-order song"
"$TINY_SONG" looping/sorvan.it 32 31 0 || fail "cannot write the looping song"
for song in early looping; do
    timeout 120 "$CAPTURE" --data "$WORK/$song" --wav "$WORK/$song.wav" --log "$WORK/$song.log" >$song.out 2>$song.err
    rc=$?
    [ "$rc" -eq 0 ] || { fail "$song: exit $rc: $(tail -2 $song.err)"; continue; }
    grep -q "stopped after frame .* give --seconds or --frames to capture more" $song.err ||
        fail "$song: no word of why the capture stopped: $(tail -2 $song.err)"
    [ -s "$WORK/$song.wav" ] && soxi "$WORK/$song.wav" >/dev/null 2>&1 || fail "$song: the WAV is not finished"
done
grep -q "^end .* songend -$" early.log || fail "the early song's log ends: $(tail -1 early.log)"
grep -q "^end .* songloop -$" looping.log || fail "the looping song's log ends: $(tail -1 looping.log)"
grep -q "song ended before order 32" early.err || fail "the early song's end was not named: $(tail -2 early.err)"
grep -q "went back to an earlier order" looping.err || fail "the loop was not named: $(tail -2 looping.err)"
# Asked for, the capture goes on past the song's end, and says once that it never reaches 32.
run earlyseconds --data "$WORK/early" --seconds 2.5
[ "$rc" -eq 0 ] && grep -q "ended by --seconds" earlyseconds.err || fail "--seconds past an early end: $(tail -2 earlyseconds.err)"
[ "$(grep -c "never reaches order 32" earlyseconds.err)" = 1 ] || fail "no note that the song never reaches order 32"

# Frames beyond the song's end are a failure, named with the frame the song ended at; the
# largest frame number is no overflow.
[ -n "$last" ] || fail "no frame count in: $(tail -1 whole.err)"
run beyond --data "$WORK/short" --frames 20000-20010 --png "$WORK/beyond"
[ "$rc" -eq 1 ] || fail "--frames beyond the song: exit $rc, want 1"
grep -q "the demo ended at frame $last (the song's end (order 32)), before frame 20010" beyond.err ||
    fail "--frames beyond the song: $(tail -1 beyond.err)"
run largest --data "$WORK/short" --frames 1-9223372036854775807 --wav "$WORK/largest.wav"
[ "$rc" -eq 1 ] && grep -q "ended at frame $last " largest.err || fail "--frames 1-9223372036854775807: exit $rc: $(tail -1 largest.err)"
grep -q "runtime error" largest.err && fail "undefined behaviour: $(grep "runtime error" largest.err)"

# The data directory is read where it is: no working directory of its own, whatever TMPDIR is.
touch "$WORK/afile"
mkdir -p "$WORK/tmp" "$WORK/cwd"
for tmp in "$WORK/missing-tmp" "$WORK/afile" "$WORK/tmp"; do
    (cd "$WORK/cwd" && TMPDIR=$tmp "$CAPTURE" --data ../short --seconds 0.2 --wav ../tmp.wav >/dev/null 2>tmpdir.err)
    rc=$?
    [ "$rc" -eq 0 ] || fail "TMPDIR=$tmp: exit $rc: $(cat "$WORK/cwd/tmpdir.err")"
done
left=$(find "$WORK" -name 'rinta-*' | head -3)
[ -z "$left" ] || fail "temporary directories left: $left"
finish