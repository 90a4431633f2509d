# SPDX-License-Identifier: MIT
# Scenes 6 and 7 as a viewer sees them: the credits' grey, the hand-over to the cube runs at
# scene 6's 1024th frame, and the cube runs' first frame, where only the z-run is in view.
. "$(dirname "$0")/common.sh"

for f in tex2 olvek rinta pasko mirel; do
    [ -f "$DATA/$f.jpg" ] || { echo "SKIP: $DATA/$f.jpg has not been generated"; exit 77; }
done

png() { printf '%s/frame-%06d.png' "$1" "$2"; }
mean() { box_mean "$1" "$2" "$3"; }
deviation() { convert "$1" -crop "$2" +repage -colorspace gray -format '%[fx:standard_deviation]' info:; }

# Scene 6 forced from the first frame, so capture frame n is the scene's frame n.
run six --data "$DATA" --key 1:6 --frames 64,128,192,256,320,576,832,1023,1024 --png "$WORK/six"
[ "$rc" -eq 0 ] || { fail "scene 6: exit $rc: $(cat six.err)"; finish; }

# Each band's 64th frame, at the pulse's crest, shows its credit picture half opaque over the
# ring: slots 14, 15, 16, 13 in turn. The frame must match that picture far better than any
# other credit, so two slots loaded from each other's files show here. On screen the 4 x 3.34
# picture at depth 4 spans 579 x 484 pixels, centred; the boxes compared lie inside it.
for p in olvek rinta pasko mirel; do
    convert "$DATA/$p.jpg" -resize '579x484!' -crop 560x460+10+12 +repage "credit-$p.png"
done
for band in 64:rinta 320:pasko 576:mirel 832:olvek; do
    n=${band%%:*} want=${band#*:}
    convert "$(png six "$n")" -crop 560x460+40+10 +repage credit-frame.png
    ranked=$(for p in olvek rinta pasko mirel; do
        echo "$(compare -metric NCC credit-frame.png "credit-$p.png" null: 2>&1) $p"
    done | sort -gr | tr '\n' ' ')
    read -r best picture second _ <<<"$ranked"
    [ "$picture" = "$want" ] && awk -v a="$best" -v b="$second" 'BEGIN { exit !(a > 0.9 && a - b > 0.15) }' ||
        fail "scene 6 frame $n: want $want.jpg clearly best; correlations: $ranked"
done

# At 128 and 256 the pulse is zero: the ring is a point and the picture invisible, so the
# whole view is the grey clear colour.
for n in 128 256; do
    for ch in r g b; do
        v=$(mean "$(png six $n)" 640x480+0+0 $ch)
        near "$v" 128 3 || fail "scene 6 frame $n: channel $ch averages $v, want grey 128"
    done
    sd=$(deviation "$(png six $n)" 640x480+0+0)
    awk -v s="$sd" 'BEGIN { exit !(s < 0.01) }' || fail "scene 6 frame $n is not flat grey (deviation $sd)"
done

# At 192 the mirrored ring fills the middle at half size on the grey; the picture stays invisible.
for box in 80x80+0+0 80x80+560+0 80x80+0+400 80x80+560+400; do
    near "$(mean "$(png six 192)" $box g)" 128 3 || fail "scene 6 frame 192: corner $box is not grey"
done
sd=$(deviation "$(png six 192)" 240x240+200+120)
awk -v s="$sd" 'BEGIN { exit !(s > 0.02) }' || fail "scene 6 frame 192: no ring in the middle (deviation $sd)"

# Frame 1023 is still the credits; at 1024 the nested dispatch has drawn scene 7 over the
# grey, and the ring and picture drawn after it are a point and transparent.
near "$(mean "$(png six 1023)" 20x480+0+0 g)" 128 4 || fail "frame 1023 has no grey side band"
v=$(mean "$(png six 1024)" 20x480+0+0 g)
[ "$v" -lt 100 ] || fail "frame 1024 still shows the credits' grey ($v): no hand-over to scene 7"

# Scene 7's first frame: the z-run is a straight line of unturned cubes on the view axis, so
# the view is mirror-symmetric left to right; the y- and x-runs lie behind the viewer. On the
# second frame the turned chains come into view and break the symmetry.
run seven --data "$DATA" --key 1:7 --frames 1-2 --png "$WORK/seven"
[ "$rc" -eq 0 ] || { fail "scene 7: exit $rc: $(cat seven.err)"; finish; }
mirror_ncc() { convert "$1" -flop flop.png && compare -metric NCC "$1" flop.png null: 2>&1; }
first=$(mirror_ncc "$(png seven 1)")
second=$(mirror_ncc "$(png seven 2)")
awk -v c="$first" 'BEGIN { exit !(c > 0.98) }' || fail "scene 7 frame 1 is not left-right symmetric (NCC $first)"
awk -v a="$first" -v b="$second" 'BEGIN { exit !(b < a - 0.05) }' ||
    fail "scene 7 frame 2 is as symmetric as frame 1 ($second against $first): no chains in view"
v=$(mean "$(png seven 1)" 640x480+0+0 g)
[ "$v" -gt 20 ] || fail "scene 7 frame 1 is black ($v): the z-run is not drawn"
finish
