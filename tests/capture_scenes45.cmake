# SPDX-License-Identifier: MIT
# Frames of scenes 4 and 5 a viewer must see, rendered by the capture tool with the scene
# forced from frame 2: the corridor flight's first frame faces the picture, about two thirds
# of the view wide, and the greetings trail circles the centre counterclockwise.
# The check is written out as a script at configure time so that its text stays literal.
set(SCENES45_SCRIPT ${CMAKE_CURRENT_BINARY_DIR}/capture_scenes45.sh)
file(WRITE ${SCENES45_SCRIPT} [=[
common=$1 && shift
. "$common" "$@"
for f in shot.jpg greets.jpg made.jpg; do
    [ -f "$DATA/$f" ] || { echo "SKIP: $DATA/$f has not been generated"; exit 77; }
done

# Scene 4, first frame: the picture 2.4 units ahead at a 70 degree field of view spans
# 428 x 286 pixels around the centre (x 106 to 534, y 97 to 383); the fog only dims it.
run s4 --data "$DATA" --frames 2 --png "$WORK/s4" --key 2:4
[ "$rc" -eq 0 ] || { fail "scene 4: exit $rc: $(cat s4.err)"; finish; }
convert "$DATA/shot.jpg" -resize '428x286!' shot.png
convert s4/frame-000002.png -crop 428x286+106+97 +repage s4-centre.png
ncc=$(compare -metric NCC s4-centre.png shot.png null: 2>&1)
awk -v c="$ncc" 'BEGIN { exit !(c > 0.9) }' || fail "scene 4 frame 1: the picture is not where it belongs (NCC $ncc)"
# Shifted or resized by a tenth, the same box no longer matches.
convert s4/frame-000002.png -crop 428x286+149+97 +repage s4-shifted.png
shifted=$(compare -metric NCC s4-shifted.png shot.png null: 2>&1)
awk -v c="$ncc" -v s="$shifted" 'BEGIN { exit !(s < c - 0.2) }' || fail "scene 4: a shifted box matches as well ($shifted)"

# Scene 5: the trail's squares reach furthest on the side its orbit has turned to, so that
# side of the view is the brighter cyan. Frames 66, 130, 194 and 258 are drawn a quarter, a
# half, three quarters and a whole turn on (phase 64, 128, 192, 256). Each comparison is made
# against the frame half a turn away, which shows the same picture, so only the trail counts.
run s5 --data "$DATA" --frames 66,130,194,258 --png "$WORK/s5" --key 2:5
[ "$rc" -eq 0 ] || { fail "scene 5: exit $rc: $(cat s5.err)"; finish; }
green() { box_mean "s5/frame-$(printf %06d "$1").png" "$2" g; }
updown() { echo $(($(green "$1" 640x160+0+0) - $(green "$1" 640x160+0+320))); }
leftright() { echo $(($(green "$1" 200x480+0+0) - $(green "$1" 200x480+440+0))); }
a=$(updown 66) b=$(updown 194)
[ $((a - b)) -gt 10 ] || fail "scene 5: the trail is not above the centre at a quarter turn and below at three quarters (top minus bottom $a, $b)"
a=$(leftright 130) b=$(leftright 258)
[ $((a - b)) -gt 10 ] || fail "scene 5: the trail is not left of the centre at half a turn and right at a whole turn (left minus right $a, $b)"
finish
]=])
add_test(NAME capture_scenes45
         COMMAND bash ${SCENES45_SCRIPT} ${CMAKE_CURRENT_SOURCE_DIR}/capture/common.sh $<TARGET_FILE:rinta-capture> ${RINTA_DATA_DIR}
                 ${CMAKE_CURRENT_BINARY_DIR}/capture-scratch/scenes45)
set_tests_properties(capture_scenes45 PROPERTIES SKIP_RETURN_CODE 77 LABELS capture TIMEOUT 600)
