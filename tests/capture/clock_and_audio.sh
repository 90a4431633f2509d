# SPDX-License-Identifier: MIT
# The virtual clock and the audio it pulls: a frame lasts its sleeps plus the render cost of
# each scene run, keys count for the one frame they are pressed in, and the WAV and the video
# cover exactly the demo time captured.
. "$(dirname "$0")/common.sh"

samples() { soxi -s "$1" 2>/dev/null || echo "unreadable"; }
# expect_samples NAME WANT ARGS...: captures a WAV and checks its length in sample frames.
expect_samples() {
    local name=$1 want=$2; shift 2
    run "$name" --data "$DATA" --wav "$WORK/$name.wav" "$@"
    [ "$rc" -eq 0 ] || { fail "$name: exit $rc: $(cat "$name.err")"; return; }
    local got
    got=$(samples "$name.wav")
    [ "$got" = "$want" ] || fail "$name: $got sample frames, want $want"
}

# --seconds cuts the audio at exactly that time, whatever frame it falls in.
expect_samples seconds 66150 --seconds 1.5
[ "$(soxi -c seconds.wav)" = 2 ] && [ "$(soxi -r seconds.wav)" = 44100 ] || fail "WAV is not 44100 Hz stereo"

# The opening frames run scene 1 alone: a 10 ms sleep and 1 ms of render cost each. With
# --frames 1-20 the audio runs until frame 21 replaces frame 20: 21 x 11 ms.
expect_samples frames 10187 --frames 1-20
expect_samples framecost 11113 --frames 1-20 --frame-cost-ms 2
# Right arrow in frame 5 adds one 100 ms sleep and forces scene 2 from then on. With the song
# at order 0, scene 1 still runs by its range beside it: 4 x 11 + 100 + 17 x 22 ms. Without
# a song only the forced scene runs: 4 x 11 + 100 + 17 x 11 ms. Held longer than its frame,
# the key would step the override and sleep again.
run probe --data "$DATA" --frames 1-1
if grep -q "no music" probe.err; then arrow=14597; else arrow=22843; fi
expect_samples rightarrow $arrow --frames 1-20 --key 5:right
# Esc ends the run once frame 5 is presented, as the main loop does.
expect_samples esc 2425 --key 5:esc
grep -q "ended by Esc" esc.err || fail "Esc run does not say how it ended: $(cat esc.err)"

# The summary's demo time and the WAV agree to the sample.
demo=$(sed -n 's/.* over \([0-9.]*\) s of demo time.*/\1/p' rightarrow.err)
want=$(awk -v t="$demo" 'BEGIN { printf "%d", t * 44100 }')
near "$(samples rightarrow.wav)" "$want" 1 || fail "summary says $demo s, WAV holds $(samples rightarrow.wav) frames"

# Each video frame shows the frame presented last by its time. Frames 1 to 4 (the title) are
# presented at 11, 22, 33, 44 ms; from frame 5 scene 6 is forced and paints grey, 22 ms a frame
# beside scene 1 with the song (11 ms alone without it). At 100 fps: black at 0 and 10 ms, the
# title from 20 to 60 ms, grey from 70 ms (60 ms without the song) to the end of frame 8.
if [ "$arrow" = 22843 ]; then grey_from=7 span=16; else grey_from=6 span=10; fi
run video --data "$DATA" --frames 1-8 --key 5:6 --fps 100 --video "$WORK/v.mp4"
if [ "$rc" -ne 0 ]; then
    fail "video: exit $rc: $(cat video.err)"
else
    mkdir -p vf && ffmpeg -v error -i v.mp4 vf/%02d.png
    [ "$(ls vf | wc -l)" = "$span" ] || fail "video has $(ls vf | wc -l) frames, want $span"
    for f in vf/*.png; do
        i=$((10#$(basename "$f" .png) - 1))
        band=$(box_mean "$f" 20x480+0+0 g) whole=$(box_mean "$f" 640x480+0+0 g)
        if [ "$i" -lt 2 ]; then
            [ "$whole" -le 8 ] || fail "video frame $i (before frame 1 is presented) is not black: $whole"
        elif [ "$i" -lt "$grey_from" ]; then
            [ "$whole" -gt 8 ] && ! near "$band" 128 12 || fail "video frame $i is not the title (mean $whole, band $band)"
        else
            near "$band" 128 6 || fail "video frame $i is not scene 6's grey (band $band)"
        fi
    done
    audio=$(ffprobe -v error -select_streams a -show_entries stream=duration -of csv=p=0 v.mp4)
    awk -v d="$audio" -v n="$span" 'BEGIN { exit !(d > n / 100 - 0.02 && d < n / 100 + 0.03) }' ||
        fail "video's audio lasts '$audio' s, want $span/100"
    ls -a | grep -q rinta-video && fail "temporary video files left behind"
fi

# With the module built, the music is really there: the opening second is not silence.
if [ -f "$DATA/sorvan.it" ]; then
    rms=$(sox seconds.wav -n stat 2>&1 | awk '/RMS +amplitude/ { print $3 }')
    awk -v r="$rms" 'BEGIN { exit !(r > 0.001) }' || fail "the first 1.5 s of music are silent (RMS $rms)"
fi
finish
