# SPDX-License-Identifier: MIT
# The real song from its first frame to the order-32 ending, with only the frame log written
# (every frame unsampled): which scene the viewer sees in each order range, scene 1 forced
# until the credits hand over once to the cube runs, the ending at the song's length. Then
# one picture per order range, from the middle of an order, against each scene's coarse look.
. "$(dirname "$0")/common.sh"
CHECKER=$(dirname "$(realpath "${BASH_SOURCE[0]}")")/wholesong_log.awk

for f in sorvan.it tex2.jpg; do
    if [ ! -f "$DATA/$f" ]; then
        echo "SKIP: $DATA/$f has not been generated"
        exit 77
    fi
done

# The song's length as a module player reads it; the composer's 32 orders of 7.68 s without one.
song_ms=
if command -v openmpt123 >/dev/null; then
    song_ms=$(openmpt123 --info "$DATA/sorvan.it" 2>/dev/null |
        awk '/^Duration/ { n = split($NF, t, ":"); printf "%d", (t[n - 1] * 60 + t[n]) * 1000 + 0.5 }')
fi
[ -n "$song_ms" ] || song_ms=245760

# The log costs nothing on screen or in the audio: the same frames and samples with and without it.
keys=(--key 2:2 --key 3:3 --key 4:4 --key 5:5 --key 6:6 --key 7:7 --key 8:8 --key 9:1)
run plain --data "$DATA" --frames 1-10 --png "$WORK/plain" --wav "$WORK/plain.wav" "${keys[@]}"
run logged --data "$DATA" --frames 1-10 --png "$WORK/logged" --wav "$WORK/logged.wav" --log "$WORK/logged.log" \
    "${keys[@]}"
[ "$rc" -eq 0 ] || fail "logged run: exit $rc: $(cat logged.err)"
for f in plain/*.png; do
    cmp -s "$f" "logged/${f#plain/}" || fail "${f#plain/} differs when the frame log is written"
done
cmp -s plain.wav logged.wav || fail "the audio differs when the frame log is written"
# Frame 3 ran scene 1 for order 0 and scene 3 for key 3 (override 2); 11 is the unseen frame
# that closes the span, so the run ended by --frames.
grep -qx '3 [0-9]*\.[0-9]* 0 [0-9]* 2 1,3' logged.log || fail "frame 3 is not logged as 1,3 under override 2"
[ "$(grep -c '^[0-9]' logged.log)" = 11 ] || fail "logged $(grep -c '^[0-9]' logged.log) frames, want 11"
tail -1 logged.log | grep -qx 'end [0-9.]* 0 frames -' || fail "end line of the short run: $(tail -1 logged.log)"
expect_failure badlog "cannot write the frame log" --data "$DATA" --seconds 1 --log "$WORK/no/such/dir/x.log"

# The whole song, log only.
start=$(date +%s.%N)
run whole --data "$DATA" --log "$WORK/whole.log"
wall=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
[ "$rc" -eq 0 ] || { fail "whole song: exit $rc: $(tail -3 whole.err)"; finish; }
grep -q "ended by the song's end (order 32)" whole.err || fail "did not end at order 32: $(tail -1 whole.err)"
grep -q " 0 drawn in full" whole.err || fail "frames drawn in full with only a log written: $(tail -1 whole.err)"
summary=$(awk -v song_ms="$song_ms" -f "$CHECKER" whole.log)
checked=$?
echo "$summary" | grep '^FAIL'
[ "$checked" -eq 0 ] || fail "the whole song's log does not hold (see above)"
facts=$(echo "$summary" | tail -1)
get() { echo "$facts" | awk -v k="$1" '{ for (i = 1; i < NF; i++) if ($i == k) print $(i + 1) }'; }
frames=$(get frames)
echo "whole song: $frames frames to order 32 at $(get end_ms) ms (song $song_ms ms), $wall s wall," \
     "$(awk -v f="$frames" -v t="$(get end_ms)" 'BEGIN { printf "%.1f", f * 1000 / t }') frames a second of demo time"
echo "hand-over: frame $(get handover_frame), order $(get handover_order), at $(get handover_ms) ms;" \
     "orders 20-22 had $(get frames_after_handover) frames ($(get margin_ms) ms) left after it"

# The checker itself catches a wrong scene, a missing hand-over and an ending short of order 32.
mutant() {
    local what=$1 script=$2
    sed "$script" whole.log >mutant.log
    awk -v song_ms="$song_ms" -f "$CHECKER" mutant.log >/dev/null && fail "the checker accepts a log with $what"
}
mutant "scene 3 on screen in order 13" '/^[0-9]* [0-9.]* 13 32 /s/ 1,4$/ 1,3/'
mutant "no hand-over" 's/6\[6,7\]/6,7/'
mutant "one more credits frame" '/^[0-9]* [0-9.]* 20 10 /s/ 1,6$/ 1,6,6/'
mutant "scene 1 after the hand-over" '/^[0-9]* [0-9.]* 24 0 /s/ 7$/ 1,7/'
mutant "an ending at order 31" 's/^end \([0-9.]*\) 32 /end \1 31 /'

# One picture per order range, at row 32 of an order in it, checked for the scene's look.
orders=(4 8 10 13 17 20 24 28)
list=()
for o in "${orders[@]}"; do
    list+=("$(awk -v o="$o" '$1 != "end" && $3 == o && $4 == 32 { print $1; exit }' whole.log)")
done
frames_arg=$(IFS=,; echo "${list[*]}")
run shots --data "$DATA" --frames "$frames_arg" --png "$WORK/shots"
[ "$rc" -eq 0 ] || { fail "pictures: exit $rc for --frames $frames_arg: $(tail -3 shots.err)"; finish; }

# rgb FILE BOX NAME: sets NAMEr, NAMEg, NAMEb to the box's channel means (0-255).
rgb() {
    read -r "$3r" "$3g" "$3b" < <(convert "$1" -crop "$2" +repage \
        -format '%[fx:int(255*mean.r+0.5)] %[fx:int(255*mean.g+0.5)] %[fx:int(255*mean.b+0.5)]' info:)
}
expect() { [ "$2" -eq 1 ] || fail "$1"; }
shot() { printf 'shots/frame-%06d.png' "${list[$1]}"; }

# Scene 1, order 4: the title picture over the floor; black sky at the top, blue floor below.
rgb "$(shot 0)" 640x80+0+0 t; rgb "$(shot 0)" 640x80+0+400 f
expect "scene 1: top $tr,$tg,$tb is not dark or floor $fr,$fg,$fb not blue" \
    $((tr < 20 && tg < 20 && tb < 20 && fb > 35 && fb > fr + 15))
# Scene 2, order 8: bright warm planes top and bottom, a dark horizon between.
rgb "$(shot 1)" 640x80+0+0 t; rgb "$(shot 1)" 640x80+0+200 m; rgb "$(shot 1)" 640x80+0+400 f
expect "scene 2: planes $tr,$tg,$tb / $fr,$fg,$fb not bright and warm, horizon $mr,$mg,$mb" \
    $((tr > 100 && fr > 100 && tr > tb + 50 && fr > fb + 50 && mr < 70))
# Scene 3, order 10: the dark violet tunnel everywhere.
rgb "$(shot 2)" 640x480+0+0 a
expect "scene 3: $ar,$ag,$ab is not dark violet" $((ab > 30 && ab > ar + 20 && ar > ag + 5 && ag < 20))
# Scene 4, order 13: the grey corridor, darker where it runs into the distance.
rgb "$(shot 3)" 640x480+0+0 a; rgb "$(shot 3)" 160x120+240+180 c
expect "scene 4: $ar,$ag,$ab is not a grey corridor with a dark centre ($cr,$cg,$cb)" \
    $((ab - ar < 25 && ar > 45 && ab < 130 && cg < ag - 25))
# Scene 5, order 17: the greetings in teal, the trail's light brightest low in the view.
rgb "$(shot 4)" 640x480+0+0 a; rgb "$(shot 4)" 640x80+0+0 t; rgb "$(shot 4)" 640x80+0+400 f
expect "scene 5: $ar,$ag,$ab is not teal, or top $tg not darker than bottom $fg" \
    $((ag > ar + 25 && ab > ag + 10 && fg > tg + 25))
# Scene 6, order 20: the credits' grey at both sides of the picture.
rgb "$(shot 5)" 16x480+0+0 l; rgb "$(shot 5)" 16x480+624+0 r
for v in $lr $lg $lb $rr $rg $rb; do near "$v" 128 4 || fail "scene 6: side bands $lr,$lg,$lb / $rr,$rg,$rb not grey"; done
# Scene 7, order 24: bright cubes in the middle of a dark view.
rgb "$(shot 6)" 80x80+0+0 k; rgb "$(shot 6)" 80x80+560+400 q; rgb "$(shot 6)" 160x120+240+180 c
expect "scene 7: corners $kg / $qg not dark or centre $cr,$cg,$cb not bright grey" \
    $((kg < 30 && qg < 30 && cg > kg + 30 && cg > qg + 30 && cb - cr < 25))
# Scene 8, order 28: the closing titles in blue, even from top to bottom.
rgb "$(shot 7)" 640x480+0+0 a; rgb "$(shot 7)" 640x80+0+0 t; rgb "$(shot 7)" 640x80+0+400 f
expect "scene 8: $ar,$ag,$ab is not blue, or top $tg and bottom $fg differ" \
    $((ar < 20 && ag > 35 && ab > ag + 15 && tg - fg < 20 && fg - tg < 20))
finish
