# SPDX-License-Identifier: MIT
# The whole demo on a 32-order song of about a second: every scene's orders pass, the song's
# end (order 32) ends the run from inside a frame, and every output is finished and whole.
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
finish
