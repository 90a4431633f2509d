# SPDX-License-Identifier: MIT
# Frames a viewer must see, with tolerances rather than a driver's exact bits. One run forces
# each scene in turn for 64 frames and keeps a few frames of each.
. "$(dirname "$0")/common.sh"

# Scene 6 from frame 2, then 2, 3, 4, 5, 7, 8 and 1, each for 64 frames; the frame kept of
# each is its 64th, by when every scene has something on screen.
keys=(--key 2:6 --key 66:2 --key 130:3 --key 194:4 --key 258:5 --key 322:7 --key 386:8 --key 450:1)
run run --data "$DATA" --frames 1,3,65,129,193,257,321,385,449,513 --png "$WORK/png" "${keys[@]}"
[ "$rc" -eq 0 ] || { fail "exit $rc: $(cat run.err)"; finish; }
[ "$(ls png | wc -l)" = 10 ] || fail "wrote $(ls png | wc -l) frames, want 10"

# Scene 6 clears to grey 0.5 and draws only between 30 and 610 pixels across: its first frame
# and its 64th (ring at half size, picture at alpha 0.5) keep grey side bands.
for n in 3 65; do
    for box in 20x480+0+0 20x480+620+0; do
        for ch in r g b; do
            v=$(box_mean "png/frame-$(printf %06d $n).png" $box $ch)
            near "$v" 128 4 || fail "frame $n, scene 6: $box channel $ch is $v, want grey 128"
        done
    done
done

# What follows needs the pictures and the scenes; until they are built it cannot be judged.
if [ ! -f "$DATA/made.jpg" ]; then
    echo "SKIP: $DATA/made.jpg has not been generated"
    [ "$failures" -eq 0 ] && exit 77
    finish
fi

# Frame 1 is the title picture (made.jpg) over the whole view, opaque and seen through the
# scene's black fog: it correlates with the picture stretched to the frame, whatever the
# fog takes off its brightness.
convert "$DATA/made.jpg" -resize '640x480!' made.png
ncc=$(compare -metric NCC png/frame-000001.png made.png null: 2>&1)
awk -v c="$ncc" 'BEGIN { exit !(c > 0.8) }' || fail "frame 1 does not show the title picture (NCC $ncc)"
frame_mean=$(convert png/frame-000001.png -colorspace gray -format '%[fx:mean]' info:)
made_mean=$(convert made.png -colorspace gray -format '%[fx:mean]' info:)
awk -v f="$frame_mean" -v m="$made_mean" 'BEGIN { exit !(f > 0.3 * m && f <= 1.05 * m) }' ||
    fail "frame 1 brightness $frame_mean against the picture's $made_mean"

# Every scene, 64 frames in, shows more than its clear colour.
for n in 65 129 193 257 321 385 449 513; do
    sd=$(convert "png/frame-$(printf %06d $n).png" -colorspace gray -format '%[fx:standard_deviation]' info:)
    awk -v s="$sd" 'BEGIN { exit !(s > 0.01) }' || fail "frame $n is one flat colour (deviation $sd)"
done
finish
