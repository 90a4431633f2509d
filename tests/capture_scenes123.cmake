# SPDX-License-Identifier: MIT
# Frames of scenes 1 to 3 a viewer must see, rendered by the capture tool: the opaque title
# picture of the first frame, scene 2's level planes and mesh on its first frame (forced from
# frame 2), and scene 3's layers (forced from frame 100): the strip sliding through the
# bottom of the view, the blue meshes showing through the purple tunnel.
# The check is written out as a script at configure time so that its text stays literal.
set(SCENES123_SCRIPT ${CMAKE_CURRENT_BINARY_DIR}/capture_scenes123.sh)
file(WRITE ${SCENES123_SCRIPT} [=[
common=$1 && shift
. "$common" "$@"
for f in made.jpg tex4.jpg tarvel.jpg gate.jpg shade.jpg; do
    [ -f "$DATA/$f" ] || { echo "SKIP: $DATA/$f has not been generated"; exit 77; }
done

run run --data "$DATA" --frames 1,2,131,219 --png "$WORK/png" --key 2:2 --key 100:3
[ "$rc" -eq 0 ] || { fail "exit $rc: $(cat run.err)"; finish; }
frame() { echo "png/frame-$(printf %06d "$1").png"; }

# Scene 1, first frame: the title picture covers the view, opaque, 4 units away, so the
# exponential fog at density 0.15 leaves exp(-0.6) = 0.55 of its brightness everywhere.
convert "$DATA/made.jpg" -resize '640x480!' made.png
ncc=$(compare -metric NCC "$(frame 1)" made.png null: 2>&1)
awk -v c="$ncc" 'BEGIN { exit !(c > 0.85) }' || fail "scene 1 frame 1: not the title picture (NCC $ncc)"
f=$(convert "$(frame 1)" -colorspace gray -format '%[fx:mean]' info:)
m=$(convert made.png -colorspace gray -format '%[fx:mean]' info:)
awk -v f="$f" -v m="$m" 'BEGIN { exit !(f > 0.45 * m && f < 0.65 * m) }' ||
    fail "scene 1 frame 1: brightness $f against the picture's $m, want about 0.55 of it"

# Scene 2, first frame: the planes lie level, so the top and bottom of the view show the
# same textured plane; at the horizon, far into the fog, the edges are black, and the
# mesh in the middle shows over that black.
top=$(box_mean "$(frame 2)" 640x60+0+0 r) bottom=$(box_mean "$(frame 2)" 640x60+0+420 r)
[ "$top" -gt 60 ] && [ "$bottom" -gt 60 ] || fail "scene 2: planes not seen above and below ($top, $bottom)"
near "$top" "$bottom" 3 || fail "scene 2 frame 1: upper and lower plane differ ($top, $bottom): not level"
for box in 60x12+0+234 60x12+580+234; do
    v=$(box_mean "$(frame 2)" $box r)
    [ "$v" -le 5 ] || fail "scene 2: horizon at $box is $v, want black fog"
done
centre=$(box_mean "$(frame 2)" 40x20+300+230 b)
[ "$centre" -gt 20 ] || fail "scene 2: no mesh over the horizon at the centre (blue $centre)"
# The planes carry slot 19: their colour is that of tex4.jpg, clearly nearer than any other
# picture's, so a slot loaded from another slot's file shows here.
for box in 640x60+0+0 640x60+0+420; do
    read -r picture margin <<<"$(nearest_picture "$(frame 2)" $box)"
    [ "$picture" = tex4.jpg ] && awk -v m="$margin" 'BEGIN { exit !(m > 0.03) }' ||
        fail "scene 2: the planes at $box are coloured like $picture (by $margin), not like tex4.jpg"
done

# Scene 3: its 32nd frame (131) has the strip's left end at the centre, its 120th (219) its
# right end. The strip's lettering stands out above the tunnel's green on that side of the
# bottom of the view only; the tunnel alone varies smoothly.
lift() { convert "$(frame "$1")" -crop "$2" +repage -format "%[fx:int(255*(maxima.g-mean.g)+0.5)]" info:; }
l=$(lift 131 320x50+0+385) r=$(lift 131 320x50+320+385)
[ $((r - l)) -gt 8 ] || fail "scene 3 frame 131: the strip's lettering is not right of the centre (left $l, right $r)"
l=$(lift 219 320x50+0+385) r=$(lift 219 320x50+320+385)
[ $((l - r)) -gt 8 ] || fail "scene 3 frame 219: the strip's lettering is not left of the centre (left $l, right $r)"
# The meshes, tinted pure blue and magenta, add no green; the purple tunnel over them is
# less than half as green as red. So the middle is more than twice as blue as red and less
# than half as green: both layers show, each in its tint.
for n in 131 219; do
    r=$(box_mean "$(frame $n)" 200x200+220+140 r) g=$(box_mean "$(frame $n)" 200x200+220+140 g)
    b=$(box_mean "$(frame $n)" 200x200+220+140 b)
    [ "$b" -gt $((2 * r)) ] && [ $((2 * g)) -lt "$r" ] && [ "$r" -gt 5 ] ||
        fail "scene 3 frame $n: centre red $r, green $g, blue $b: not the blue meshes under the purple tunnel"
done

# The tunnel carries slot 8. With every picture but shade.jpg made black, the top of the
# view, where only the tunnel reaches, must be coloured like shade.jpg and like no other.
mkdir tunnel-data
for f in "$DATA"/*; do
    case $f in
    *.jpg) [ "${f##*/}" = shade.jpg ] && ln -s "$f" tunnel-data/ || convert -size 16x16 xc:black "tunnel-data/${f##*/}" ;;
    *) ln -s "$f" tunnel-data/ ;;
    esac
done
run tunnel --data tunnel-data --frames 1 --png "$WORK/tunnel" --key 1:3
[ "$rc" -eq 0 ] || fail "tunnel run: exit $rc: $(cat tunnel.err)"
read -r picture margin <<<"$(nearest_picture tunnel/frame-000001.png 640x120+0+0)"
[ "$picture" = shade.jpg ] && awk -v m="$margin" 'BEGIN { exit !(m > 0.03) }' ||
    fail "scene 3: the top of the tunnel is coloured like $picture (by $margin), not like shade.jpg"
finish
]=])
add_test(NAME capture_scenes123
         COMMAND bash ${SCENES123_SCRIPT} ${CMAKE_CURRENT_SOURCE_DIR}/capture/common.sh $<TARGET_FILE:rinta-capture> ${RINTA_DATA_DIR}
                 ${CMAKE_CURRENT_BINARY_DIR}/capture-scratch/scenes123)
set_tests_properties(capture_scenes123 PROPERTIES SKIP_RETURN_CODE 77 LABELS capture TIMEOUT 600)
