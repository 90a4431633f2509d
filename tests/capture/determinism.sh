# SPDX-License-Identifier: MIT
# Same inputs, same output: two runs give identical frames and audio, and frames after a
# stretch left unsampled (one-pixel scissor) are identical to the same frames drawn after a
# fully drawn stretch, since only a frame's state, never its pixels, reaches later frames.
. "$(dirname "$0")/common.sh"

# Every scene gets forced in turn, so each one's frames are compared.
keys=(--key 2:2 --key 3:3 --key 4:4 --key 5:5 --key 6:6 --key 7:7 --key 8:8 --key 9:1)
for name in a b; do
    run "$name" --data "$DATA" --frames 1-12 --png "$WORK/$name" --wav "$WORK/$name.wav" "${keys[@]}"
    [ "$rc" -eq 0 ] || fail "run $name: exit $rc: $(cat "$name.err")"
done
[ "$(ls a | wc -l)" = 12 ] || fail "run a wrote $(ls a | wc -l) frames, want 12"
for f in a/*.png; do
    cmp -s "$f" "b/${f#a/}" || fail "${f#a/} differs between two identical runs"
done
cmp -s a.wav b.wav || fail "the audio differs between two identical runs"

run c --data "$DATA" --frames 10-12 --png "$WORK/c" --wav "$WORK/c.wav" "${keys[@]}"
[ "$rc" -eq 0 ] || fail "run c: exit $rc: $(cat c.err)"
grep -q " 10 unsampled" c.err || fail "frames 1 to 9 and 13 were not left unsampled: $(cat c.err)"
[ "$(ls c)" = "$(printf 'frame-000010.png\nframe-000011.png\nframe-000012.png')" ] || fail "run c wrote: $(ls c)"
for n in 10 11 12; do
    cmp -s "a/frame-0000$n.png" "c/frame-0000$n.png" || fail "frame $n differs after unsampled frames"
done
# The clip's audio is the tail of the full run's, to the sample: 44-byte headers, 4 bytes a frame.
start=$(( ($(stat -c %s a.wav) - $(stat -c %s c.wav)) ))
cmp -s <(tail -c +$((start + 45)) a.wav) <(tail -c +45 c.wav) || fail "the clip's audio is not the tail of the full run's"
finish
