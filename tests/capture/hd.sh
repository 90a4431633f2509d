# SPDX-License-Identifier: MIT
# Captures larger than 640 x 480 draw the same picture at more pixels: box-filtered back down they
# match the classic frames, outlines keep their weight, they hold more detail than the classic
# frame scaled up, a 16:9 size gets black bars, and multisampled runs repeat byte for byte.
. "$(dirname "$0")/common.sh"

if [ ! -f "$DATA/made.jpg" ]; then
    echo "SKIP: $DATA/made.jpg has not been generated"
    exit 77
fi
png() { printf '%s/frame-%06d.png' "$1" "$2"; }
gray_mean() { convert "$1" -colorspace gray -format '%[fx:mean*255]' info:; }
# mean absolute difference of two pictures, in levels 0..255
mad() { compare -metric MAE "$1" "$2" null: 2>&1 | sed 's/.*(\(.*\))/\1/' | awk '{ printf "%.2f", $1 * 255 }'; }
# detail: the deviation of the grey picture's Laplacian, 0..255
detail() { convert "$1" -colorspace gray -morphology Convolve Laplacian:0 -format '%[fx:standard_deviation*255]' info:; }

# Each scene's 64th frame (scene 5's with its trail), as in the frames check.
keys=(--key 2:6 --key 66:2 --key 130:3 --key 194:4 --key 258:5 --key 322:7 --key 386:8 --key 450:1)
frames=65,129,193,257,321,385,449,513
run classic --data "$DATA" --frames $frames --png "$WORK/classic" "${keys[@]}"
[ "$rc" -eq 0 ] || { fail "640x480: exit $rc: $(cat classic.err)"; finish; }
run double --data "$DATA" --frames $frames --png "$WORK/double" --size 1280x960 "${keys[@]}"
[ "$rc" -eq 0 ] || { fail "1280x960: exit $rc: $(cat double.err)"; finish; }
for n in ${frames//,/ }; do
    [ "$(identify -format %wx%h "$(png double "$n")")" = 1280x960 ] || fail "frame $n is not 1280x960"
    convert "$(png double "$n")" -filter box -resize '640x480!' "down-$n.png"
    d=$(mad "$(png classic "$n")" "down-$n.png")
    awk -v d="$d" 'BEGIN { exit !(d < 3) }' || fail "frame $n at 1280x960, box-filtered down, differs by $d levels from 640x480"
done

# Outlines: scene 3 drawn after scene 7 is all lines. Lines one pixel wide at twice the size
# would come down at half their brightness; scaled with the picture they keep it (anisotropic
# filtering, on at this size, samples textured lines from finer mipmaps: somewhat brighter).
olines=(--key 1:7 --key 3:3 --frames 60)
run lines1 --data "$DATA" "${olines[@]}" --png "$WORK/lines1"
run lines2 --data "$DATA" "${olines[@]}" --png "$WORK/lines2" --size 1280x960
convert "$(png lines2 60)" -filter box -resize '640x480!' lines-down.png
a=$(gray_mean "$(png lines1 60)") b=$(gray_mean lines-down.png)
awk -v a="$a" -v b="$b" 'BEGIN { exit !(a > 0.3 && b > 0.85 * a && b < 1.6 * a) }' ||
    fail "outlines at 1280x960 come down at mean $b against $a at 640x480: line width not scaled"

# More detail than the classic frame scaled up: the title picture and the corridor's picture.
for n in 65 257; do
    convert "$(png classic "$n")" -resize '1280x960!' "up-$n.png"
    sharp=$(detail "$(png double "$n")") soft=$(detail "up-$n.png")
    awk -v s="$sharp" -v u="$soft" 'BEGIN { exit !(s > 1.3 * u) }' ||
        fail "frame $n at 1280x960 has detail $sharp, the 640x480 frame scaled up $soft: not sharper"
done

# 1920x1080 with 4x multisampling: a 1440x1080 picture between black bars, twice the same bytes.
for name in wide1 wide2; do
    run "$name" --data "$DATA" --key 1:8 --frames 30 --png "$WORK/$name" --size 1920x1080 --msaa 4
    [ "$rc" -eq 0 ] || { fail "1920x1080: exit $rc: $(cat "$name.err")"; finish; }
done
cmp -s "$(png wide1 30)" "$(png wide2 30)" || fail "two 1920x1080 4x runs differ"
for box in 240x1080+0+0 240x1080+1680+0; do
    for ch in r g b; do
        v=$(box_mean "$(png wide1 30)" $box $ch)
        [ "$v" -eq 0 ] || fail "1920x1080: bar $box channel $ch is $v, not black"
    done
done
v=$(convert "$(png wide1 30)" -crop 1440x1080+240+0 +repage -colorspace gray -format '%[fx:standard_deviation*255]' info:)
awk -v s="$v" 'BEGIN { exit !(s > 3) }' || fail "1920x1080: the picture between the bars is flat (deviation $v)"
finish
