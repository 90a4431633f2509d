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

# 0.4 s of video at 25 fps: 10 pictures and 0.4 s of music in one file.
run video --data "$DATA" --seconds 0.4 --fps 25 --video "$WORK/v.mp4"
if [ "$rc" -ne 0 ]; then
    fail "video: exit $rc: $(cat video.err)"
else
    frames=$(ffprobe -v error -select_streams v -count_frames -show_entries stream=nb_read_frames -of csv=p=0 v.mp4)
    [ "$frames" = 10 ] || fail "video has $frames frames, want 10"
    audio=$(ffprobe -v error -select_streams a -show_entries stream=duration -of csv=p=0 v.mp4)
    awk -v d="$audio" 'BEGIN { exit !(d > 0.38 && d < 0.45) }' || fail "video's audio lasts '$audio' s, want 0.4"
    ls -a | grep -q rinta-video && fail "temporary video files left behind"
fi

# With the module built, the music is really there: the opening second is not silence.
if [ -f "$DATA/sorvan.it" ]; then
    rms=$(sox seconds.wav -n stat 2>&1 | awk '/RMS +amplitude/ { print $3 }')
    awk -v r="$rms" 'BEGIN { exit !(r > 0.001) }' || fail "the first 1.5 s of music are silent (RMS $rms)"
fi
finish
