#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tests/e2e/run.sh — one end-to-end case of the real program under its own Xvfb.
# usage: run.sh CASE RINTA DATA-DIR TOOLS-DIR SCRATCH-DIR
# TOOLS-DIR holds the helpers built beside the tests: xclose, xflood, xcursor, make_module and
# librinta_spy.so.
set -u
here=$(cd "$(dirname "$0")" && pwd)
name=$1 rinta=$2 data=$3 tools=$4 scratch=$5
xclose=$tools/xclose xflood=$tools/xflood xcursor=$tools/xcursor make_module=$tools/make_module
spy=$tools/librinta_spy.so
rm -rf "$scratch"
mkdir -p "$scratch/work"
cd "$scratch/work" || exit 1
cp -r "$data" data # each case gets its own data/ to break
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER-dummy}

rpid="" xpid=""
cleanup() {
    [ -n "$rpid" ] && kill -9 "$rpid" 2>/dev/null && wait "$rpid" 2>/dev/null
    stopX
}
trap cleanup EXIT
. "$here/xdrive.sh"
fail() {
    echo "FAIL ($name): $*" >&2
    [ -f "$scratch/out.txt" ] && sed 's/^/  rinta: /' "$scratch/out.txt" | head -40 >&2
    exit 1
}

waitOutput() { # pattern seconds: the program said it by then
    for _ in $(seq $(($2 * 10))); do
        grep -q -- "$1" "$scratch/out.txt" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
startRinta() { "$rinta" "$@" >"$scratch/out.txt" 2>&1 & rpid=$!; }
waitExit() { # seconds; sets code
    for _ in $(seq $(($1 * 10))); do
        if ! kill -0 "$rpid" 2>/dev/null; then
            wait "$rpid"
            code=$?
            rpid=""
            return 0
        fi
        sleep 0.1
    done
    return 1
}
answer() { # Return answers Yes, Escape answers No
    local box
    box=$(waitWindow "Start FullScreen?" 40) ||
        fail "the fullscreen question did not appear ($(kill -0 "$rpid" 2>/dev/null && echo still running || { wait "$rpid"; echo "the program had ended with code $?"; }); DISPLAY $DISPLAY)"
    press "$box" "$1"
}
geometry() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}'; }
shot() { import -window root "$scratch/$1.png" 2>/dev/null || fail "screenshot failed"; }
# grey mean and standard deviation (0..255) of a region: stats SHOT X Y W H
stats() { convert "$scratch/$1.png" -crop "$4x$5+$2+$3" +repage -colorspace gray -format '%[fx:int(mean*255)] %[fx:int(standard_deviation*255)]' info:; }
# mean colour of a region: rgb SHOT X Y W H
rgb() { convert "$scratch/$1.png" -crop "$4x$5+$2+$3" +repage -scale '1x1!' -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:; }
# windowDiffers SHOT-A SHOT-B X Y: the 640 x 480 window at X,Y differs clearly between the two
windowDiffers() {
    local rmse
    convert "$scratch/$1.png" -crop "640x480+$3+$4" +repage "$scratch/diff-a.png"
    convert "$scratch/$2.png" -crop "640x480+$3+$4" +repage "$scratch/diff-b.png"
    rmse=$(compare -metric RMSE "$scratch/diff-a.png" "$scratch/diff-b.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
    awk -v e="$rmse" 'BEGIN { exit !(e > 0.02) }'
}
quitWithEscape() { # WINDOW [SECONDS]
    press "$1" Escape
    waitExit "${2:-15}" || fail "Esc did not end the program within ${2:-15} s"
    [ "$code" -eq 0 ] || fail "Esc ended with code $code"
}
windowed() { # starts, answers No, waits for the window; sets w to its id
    startRinta
    answer Escape
    w=$(waitWindow rinta 20) || fail "no window titled rinta"
}
pictureShows() { # SHOT WINDOW-ID: the window shows a picture, not a flat colour
    local px py pw ph mean sd
    read -r px py pw ph <<<"$(geometry "$2")"
    read -r mean sd <<<"$(stats "$1" "$px" "$py" "$pw" "$ph")"
    [ "$sd" -gt 2 ] || fail "$1: the window shows a flat colour, no picture (mean $mean, sd $sd)"
}

case $name in
answer_no)
    startX
    startRinta
    box=$(waitWindow "Start FullScreen?" 40) || fail "the fullscreen question did not appear"
    # The window is prepared while the question is up: it comes to exist, and nothing of it shows.
    hidden=""
    for _ in $(seq 300); do
        hidden=$(windowId rinta)
        [ -n "$hidden" ] && break
        sleep 0.1
    done
    [ -n "$hidden" ] || fail "no window was prepared while the question was up"
    sleep 1
    xwininfo -id "$hidden" | grep -q "IsUnMapped" || fail "the window shows before the answer"
    press "$box" Escape
    w=$(waitWindow rinta 20) || fail "no window titled rinta"
    [ "$w" = "$hidden" ] || fail "the window shown ($w) is not the one prepared ($hidden)"
    read -r x y width height <<<"$(geometry "$w")"
    [ "$width" = 640 ] && [ "$height" = 480 ] || fail "window is ${width}x$height, not 640x480"
    [ "$x" = 0 ] && [ "$y" = 0 ] || fail "window is at $x,$y, not 0,0"
    sleep 2
    shot title
    pictureShows title "$w"
    quitWithEscape "$w"
    grep -q "ERROR" "$scratch/out.txt" && fail "an error was reported"
    # Xvfb renders with llvmpipe: by default classic, said once.
    [ "$(grep -c "rendering at 640 x 480" "$scratch/out.txt")" = 1 ] || fail "the software renderer's classic default was not said once"
    ;;
answer_yes)
    startX
    startRinta
    answer Return
    w=$(waitWindow rinta 20) || fail "no window titled rinta"
    sleep 2
    read -r x y width height <<<"$(geometry "$w")"
    [ "$width" = 1024 ] && [ "$height" = 768 ] || fail "fullscreen window is ${width}x$height, not the 1024x768 screen"
    [ "$("$xcursor" "$w")" = hidden ] || fail "the mouse cursor shows over the fullscreen window"
    shot fullscreen
    pictureShows fullscreen "$w"
    quitWithEscape "$w"
    ;;
close_question)
    # Closing the question is not a No: the demo runs fullscreen.
    startX
    startRinta
    box=$(waitWindow "Start FullScreen?" 40) || fail "the fullscreen question did not appear"
    "$xclose" "$box" || fail "could not ask the question to close"
    w=$(waitWindow rinta 20) || fail "no window titled rinta"
    sleep 1
    read -r x y width height <<<"$(geometry "$w")"
    [ "$width" = 1024 ] && [ "$height" = 768 ] || fail "window is ${width}x$height, not the 1024x768 screen"
    quitWithEscape "$w"
    ;;
keys)
    startX
    windowed
    read -r x y width height <<<"$(geometry "$w")"
    sleep 1
    corner() { rgb "$1" $((x + 4)) $((y + 4)) 24 24; }
    isGrey() { [ $(($1 - 127)) -le 15 ] && [ $((127 - $1)) -le 15 ] && [ "$2" = "$1" ]; }
    isDark() { [ "$1" -lt 60 ]; }
    # awaitCorner SHOT TEST: screenshots for up to 15 s until the corner passes TEST; a
    # loaded machine can take a while to draw the frame that follows a key.
    awaitCorner() {
        local r g b
        for _ in $(seq 30); do
            shot "$1"
            read -r r g b <<<"$(corner "$1")"
            seen="($r,$g,$b)"
            "$2" "$r" "$g" "$b" && return 0
            sleep 0.5
        done
        return 1
    }
    # Scenes before the cube runs: once scene 7 has drawn, the scenes that set no polygon
    # mode draw outlines until one that sets it runs, as they always have.
    for k in 2 3 4 5 8 1; do
        press "$w" "$k"
        sleep 1
        shot "key$k"
        pictureShows "key$k" "$w"
    done
    cmp -s "$scratch/key2.png" "$scratch/key3.png" && fail "keys 2 and 3 show the same picture"
    press "$w" 6
    awaitCorner key6 isGrey || fail "key 6: corner is $seen, not scene 6's grey"
    # An arrow steps the forced scene once for every frame it is seen down, so one quick
    # press can step once or twice; the exact stepping is the timeline's unit tests'. Here:
    # Right leaves scene 6 for a later, dark scene, and Left changes the picture again.
    press "$w" Right
    awaitCorner right isDark || fail "Right after 6: corner is $seen, not the dark background of a later scene"
    press "$w" Left
    changed=""
    for _ in $(seq 30); do
        shot left
        windowDiffers right left "$x" "$y" && { changed=yes; break; }
        sleep 0.5
    done
    [ -n "$changed" ] || fail "Left after Right: the picture did not change"
    quitWithEscape "$w"
    ;;
resize)
    # The picture scales with the window, aspect kept, with black bars at the sides.
    startX
    windowed
    xdotool windowmove "$w" 0 0
    xdotool windowsize "$w" 1000 500
    sleep 2
    read -r x y width height <<<"$(geometry "$w")"
    [ "$width" = 1000 ] && [ "$height" = 500 ] || fail "window is ${width}x$height after resizing to 1000x500"
    # 500 high at 4:3 is 667 wide, centred: bars of about 166 on each side. A loaded machine
    # can take a while to draw the first frame at the new size: look for up to 15 s.
    scaled() {
        local mean sd
        read -r mean sd <<<"$(stats resized $((x + 10)) $((y + 20)) 140 460)"
        [ "$mean" -le 6 ] || { seen="left bar is not black (mean $mean)"; return 1; }
        read -r mean sd <<<"$(stats resized $((x + 850)) $((y + 20)) 140 460)"
        [ "$mean" -le 6 ] || { seen="right bar is not black (mean $mean)"; return 1; }
        read -r mean sd <<<"$(stats resized $((x + 200)) $((y + 20)) 600 460)"
        [ "$sd" -gt 2 ] || { seen="the scaled picture is missing (mean $mean, sd $sd)"; return 1; }
        read -r mean sd <<<"$(stats resized $((x + 700)) $((y + 20)) 120 460)"
        [ "$sd" -gt 2 ] || [ "$mean" -gt 6 ] ||
            { seen="the picture does not reach the right of centre: it did not scale (mean $mean)"; return 1; }
    }
    for _ in $(seq 30); do
        shot resized
        scaled && break
        sleep 0.5
    done
    scaled || fail "$seen"
    quitWithEscape "$w"
    ;;
key_burst)
    # Keys in bursts fill SDL's queue, which the loop takes one event a frame: Esc must still
    # end the demo as soon as it is read from the window system, not after the burst.
    # The program is held while the keys are sent, as a busy machine would hold it, so they
    # wait for it however fast this machine draws; Esc comes once it has read them.
    startX
    windowed
    sleep 1
    timeout 5 xdotool windowfocus --sync "$w" 2>/dev/null
    kill -STOP "$rpid"
    xdotool key --delay 1 --repeat 1000 Right
    kill -CONT "$rpid"
    sleep 1
    xdotool key Escape
    waitExit 15 || fail "Esc behind a burst of keys did not end the program within 15 s"
    [ "$code" -eq 0 ] || fail "Esc ended with code $code"
    ;;
pointer_flood)
    # A hand on the mouse must not take the keyboard or the window's controls away. The loop
    # takes one event a frame: pointer motion is not queued at all (else a close request waits
    # behind every move), and keys are taken as they are read (else Esc waits behind clicks).
    startX
    windowed
    sleep 1
    "$xflood" "$w" 30000 || fail "could not move the pointer"
    xdotool click --delay 1 --repeat 3000 1 # over the window: xflood left the pointer there
    quitWithEscape "$w" 15
    windowed
    sleep 1
    "$xflood" "$w" 30000 || fail "could not move the pointer"
    "$xclose" "$w" || fail "could not ask the window to close"
    waitExit 15 || fail "closing the window after 30000 pointer moves did not end the program within 15 s"
    [ "$code" -eq 0 ] || fail "closing ended with code $code"
    ;;
no_fullscreen)
    # Fullscreen cannot be had (the spy refuses the switch as a failed mode change would): the
    # fallback question comes, alone. Yes: windowed at the same client size, the cursor shown.
    startX
    LD_PRELOAD=$spy RINTA_SPY_NO_FULLSCREEN=1 RINTA_SPY_LOG=$scratch/spy.log startRinta
    answer Return
    fallback=$(waitWindow "Vantor GL" 40) || fail "the fallback question did not appear"
    hidden=$(windowId rinta)
    [ -n "$hidden" ] && ! viewable "$hidden" || fail "the demo's window shows behind the fallback question"
    press "$fallback" Return
    w=$(waitWindow rinta 20) || fail "Yes to the fallback: no window titled rinta"
    sleep 1
    read -r x y width height <<<"$(geometry "$w")"
    [ "$width" = 640 ] && [ "$height" = 480 ] || fail "Yes to the fallback: window is ${width}x$height, not 640x480"
    [ "$("$xcursor" "$w")" = visible ] || fail "Yes to the fallback: the mouse cursor is hidden"
    shot windowed
    pictureShows windowed "$w"
    quitWithEscape "$w"
    grep -q "fullscreen 0x1001 shown -1" "$scratch/spy.log" || fail "fullscreen was not refused as the case means"
    # No: "Program Will Now Close.", code 0, and not one frame presented (the timing line comes
    # after the first).
    RINTA_STARTUP_TIMING=1 LD_PRELOAD=$spy RINTA_SPY_NO_FULLSCREEN=1 startRinta
    answer Return
    fallback=$(waitWindow "Vantor GL" 40) || fail "the fallback question did not appear the second time"
    press "$fallback" Escape
    closing=$(waitWindow ERROR 20) || fail "No to the fallback: no ERROR box"
    press "$closing" Return
    waitExit 15 || fail "No to the fallback: the program did not end"
    [ "$code" -eq 0 ] || fail "No to the fallback: code $code"
    grep -qx "ERROR: Program Will Now Close." "$scratch/out.txt" || fail "No to the fallback: no 'Program Will Now Close.'"
    grep -q "rinta-startup" "$scratch/out.txt" && fail "No to the fallback: a frame was presented"
    ;;
startup_order)
    # What the start-up does behind the question, seen from outside by the spy. The question's
    # process is forked before any other thread starts and before any window or GL work: a
    # thread inside the allocator, Xlib or the driver at the fork could leave the box's
    # process waiting forever. The fork is slowed, so that work not waiting for it comes first.
    # The music starts only once the window shows.
    startX
    LD_PRELOAD=$spy RINTA_SPY_LOG=$scratch/spy.log RINTA_SPY_FORK_DELAY_MS=1000 startRinta
    answer Escape
    w=$(waitWindow rinta 20) || fail "no window titled rinta"
    sleep 1
    quitWithEscape "$w"
    log=$scratch/spy.log
    sed 's/^/  spy: /' "$log" | head -40
    first() { grep -n -m1 -x -- "$1" "$log" | cut -d: -f1; }
    # The question is asked from a thread of its own, the first started.
    fork=$(grep -n -m1 '^fork .*from=other' "$log" | cut -d: -f1)
    [ -n "$fork" ] || fail "the question was not shown from a process of its own"
    grep -m1 '^fork .*from=other' "$log" | grep -qx "fork threads=1 from=other" ||
        fail "other threads ran when the question's process was forked: $(grep -m1 '^fork .*from=other' "$log")"
    for step in create-window gl-context; do
        at=$(first "$step")
        [ -n "$at" ] && [ "$at" -gt "$fork" ] || fail "$step came before the question's fork"
    done
    shown=$(first show-window) audio=$(first audio-open)
    [ -n "$shown" ] && [ -n "$audio" ] || fail "no window shown or no audio opened"
    [ "$audio" -gt "$shown" ] || fail "the music started before the window showed"
    ;;
signals)
    # SIGTERM, SIGINT and SIGHUP end the program promptly, question up or playing, with 128 +
    # the signal's number; the question box's process goes with it, and nothing is left in the
    # temporary directory.
    startX
    mkdir -p "$scratch/tmp"
    export TMPDIR=$scratch/tmp
    alive() { [ -e "/proc/$1" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null; }
    # A background job of a script starts with SIGINT ignored, which the program respects; a
    # viewer's terminal does not ignore it.
    startSignalled() { env --default-signal=INT "$rinta" "$@" >"$scratch/out.txt" 2>&1 & rpid=$!; }
    for signal in TERM INT HUP; do
        number=$(kill -l "$signal")
        startSignalled --data "$PWD/data"
        waitWindow "Start FullScreen?" 40 >/dev/null || fail "SIG$signal: the question did not appear"
        helper=$(pgrep -P "$rpid" | head -1)
        [ -n "$helper" ] || fail "SIG$signal: no process of the program's shows the question"
        kill -"$signal" "$rpid"
        waitExit 10 || fail "SIG$signal with the question up: the program did not end within 10 s"
        [ "$code" -eq $((128 + number)) ] || fail "SIG$signal with the question up: code $code, not $((128 + number))"
        for _ in $(seq 50); do alive "$helper" || break; sleep 0.1; done
        alive "$helper" && fail "SIG$signal with the question up: the question's process $helper outlived the program"
        [ -z "$(ls -A "$scratch/tmp")" ] || fail "SIG$signal with the question up: left $(ls "$scratch/tmp")"

        startSignalled --windowed --data "$PWD/data"
        w=$(waitWindow rinta 30) || fail "SIG$signal: no window titled rinta"
        sleep 1
        kill -"$signal" "$rpid"
        waitExit 10 || fail "SIG$signal while playing: the program did not end within 10 s"
        [ "$code" -eq $((128 + number)) ] || fail "SIG$signal while playing: code $code, not $((128 + number))"
        [ -z "$(ls -A "$scratch/tmp")" ] || fail "SIG$signal while playing: left $(ls "$scratch/tmp")"
    done
    ;;
close_window)
    startX
    windowed
    sleep 1
    "$xclose" "$w" || fail "could not ask the window to close"
    waitExit 15 || fail "closing the window did not end the program"
    [ "$code" -eq 0 ] || fail "closing ended with code $code"
    ;;
plays_to_the_end)
    startX
    "$make_module" data/sorvan.it 16 || fail "cannot write the short module"
    windowed
    waitExit 90 || fail "the demo did not end by itself at order 32"
    [ "$code" -eq 0 ] || fail "the ending gave code $code"
    ;;
no_audio_device)
    # No sound card here: whatever driver SDL picks fails, and playback must go on silently.
    startX
    "$make_module" data/sorvan.it 16 || fail "cannot write the short module"
    export SDL_AUDIODRIVER=alsa
    windowed
    waitExit 90 || fail "without an audio device the song position did not advance to the end"
    [ "$code" -eq 0 ] || fail "the ending gave code $code"
    ;;
no_display)
    unset DISPLAY
    startRinta
    waitExit 20 || fail "without a display the program hung"
    [ "$code" -eq 0 ] || fail "without a display it ended with code $code"
    grep -q "Failed To Register The Window Class." "$scratch/out.txt" || fail "the creation failure was not reported"
    ;;
no_data)
    startX
    rm -rf data
    windowed
    sleep 1
    waitOutput "data/sorvan.it" 20 || fail "the missing module was not named"
    grep -q "data/made.jpg" "$scratch/out.txt" || fail "the missing pictures were not named"
    quitWithEscape "$w"
    ;;
bad_pictures)
    startX
    rm data/made.jpg
    : >data/tarvel.jpg
    head -c 3000 data/world.jpg >data/world.cut && mv data/world.cut data/world.jpg
    size=$(stat -c %s data/style.jpg)
    dd if=/dev/urandom of=data/style.jpg bs=1 seek=$((size / 2)) count=2000 conv=notrunc 2>/dev/null
    convert -size 64x64 xc:red png:data/lomb.jpg
    sof=$(LC_ALL=C grep -obUaP '\xFF\xC0' data/tex3.jpg | head -1 | cut -d: -f1)
    [ -n "$sof" ] || fail "tex3.jpg has no baseline frame header to patch"
    printf '\x75\x30\x75\x30' | dd of=data/tex3.jpg bs=1 seek=$((sof + 5)) conv=notrunc 2>/dev/null
    rm data/shade.jpg data/shot.jpg data/tex2.jpg
    mkfifo data/shade.jpg # never waited on: nobody will write to it
    mkdir data/shot.jpg
    head -c 100 data/tex4.jpg >data/tex2.jpg
    windowed
    sleep 2
    waitOutput "data/tex2.jpg" 20 || fail "data/tex2.jpg was not named" # the last bad one in slot order
    for f in made tarvel world style lomb tex3 shade shot tex2; do
        grep -q "data/$f.jpg" "$scratch/out.txt" || fail "data/$f.jpg was not named"
    done
    for said in "shade.jpg: not a regular file" "shot.jpg: not a regular file" "tex2.jpg: .*cut short"; do
        grep -q "$said" "$scratch/out.txt" || fail "no '$said'"
    done
    shot bad
    quitWithEscape "$w"
    ;;
bad_module)
    startX
    cp data/sorvan.it "$scratch/good.it"
    for variant in missing truncated corrupt text; do
        case $variant in
        missing) rm -f data/sorvan.it ;;
        truncated) head -c 200 "$scratch/good.it" >data/sorvan.it ;;
        corrupt) cp "$scratch/good.it" data/sorvan.it
                 dd if=/dev/urandom of=data/sorvan.it bs=1 count=4000 seek=0 conv=notrunc 2>/dev/null ;;
        text) echo "this is not a module" >data/sorvan.it ;;
        esac
        windowed
        sleep 1
        waitOutput "sorvan.it" 20 || fail "$variant module: not reported"
        if kill -0 "$rpid" 2>/dev/null; then
            quitWithEscape "$w"
        else
            wait "$rpid"; code=$?; rpid=""
            [ "$code" -eq 0 ] || fail "$variant module: ended with code $code"
        fi
    done
    ;;
command_line)
    # Bad arguments: exit 2 and a message, before any window.
    for bad in "--resolution 4k" "--resolution 10x10" "--msaa x" "--msaa 17" "--bogus" "extra" "--data $scratch/none" \
               "--fullscreen --windowed" "--windowed=yes" "--msaa"; do
        # shellcheck disable=SC2086
        "$rinta" $bad >"$scratch/bad.out" 2>"$scratch/bad.err"
        code=$?
        [ "$code" -eq 2 ] || fail "exit $code (want 2) for: $bad"
        grep -q "^rinta: " "$scratch/bad.err" || fail "no message for: $bad"
    done
    "$rinta" --help >"$scratch/help.out" || fail "--help did not exit 0"
    for option in --fullscreen --windowed --resolution --msaa --data --version; do
        grep -q -- "$option" "$scratch/help.out" || fail "--help does not list $option"
    done
    "$rinta" --version | head -1 | grep -qE '^rinta [0-9]+\.[0-9]+' || fail "--version does not say 'rinta VERSION'"
    "$rinta" --bogus=1 2>"$scratch/bad.err"
    grep -q "^rinta: unknown option --bogus$" "$scratch/bad.err" || fail "--bogus=1: $(cat "$scratch/bad.err")"
    for flag in --help --version; do # text that cannot be written is no success
        "$rinta" $flag >/dev/full 2>"$scratch/full.err"
        code=$?
        [ "$code" -eq 1 ] && grep -q "^rinta: cannot write to standard output" "$scratch/full.err" ||
            fail "$flag to a full disk: exit $code"
        "$rinta" $flag >&- 2>/dev/null
        code=$?
        [ "$code" -eq 1 ] || fail "$flag to a closed stdout: exit $code"
    done

    # Fullscreen at native resolution on a 1920 x 1080 screen, without the question: a 1440 x
    # 1080 picture between black bars, drawn at that size (the software default is overridden).
    startX 1920x1080
    # Without multisampling, to spare a loaded machine: the point here is the size.
    startRinta --fullscreen --resolution=native --msaa 0 --data "$PWD/data"
    w=$(waitWindow rinta 30) || fail "no window titled rinta"
    [ -z "$(windowId "Start FullScreen?")" ] || fail "--fullscreen asked the question"
    # The window exists hidden while the textures load; wait (bounded) until the picture shows.
    for _ in $(seq 40); do
        shot native
        read -r mean sd <<<"$(stats native 244 0 1432 1080)"
        [ "$sd" -gt 2 ] && break
        sleep 1
    done
    read -r x y width height <<<"$(geometry "$w")"
    [ "$width" = 1920 ] && [ "$height" = 1080 ] || fail "fullscreen window is ${width}x$height, not 1920x1080"
    [ "$sd" -gt 2 ] || fail "no picture between the bars (mean $mean, sd $sd)"
    for bar in "0 0" "1680 0"; do
        read -r mean sd <<<"$(stats native $bar 240 1080)"
        [ "$mean" -le 2 ] || fail "bar at $bar is not black (mean $mean)"
    done
    read -r mean sd <<<"$(stats native 244 0 40 1080)"
    [ "$sd" -gt 0 ] || [ "$mean" -gt 2 ] || fail "the picture does not reach the left bar"
    grep -q "rendering at 640 x 480" "$scratch/out.txt" && fail "--resolution native fell back to classic"
    quitWithEscape "$w"

    # --windowed: the 640 x 480 window, no question.
    startRinta --windowed
    w=$(waitWindow rinta 30) || fail "no window titled rinta"
    [ -z "$(windowId "Start FullScreen?")" ] || fail "--windowed asked the question"
    # The window exists hidden while the textures load: wait (bounded) until it is shown.
    for _ in $(seq 60); do xwininfo -id "$w" | grep -q IsViewable && break; sleep 0.5; done
    sleep 1
    read -r x y width height <<<"$(geometry "$w")"
    [ "$width" = 640 ] && [ "$height" = 480 ] || fail "window is ${width}x$height, not 640x480"
    quitWithEscape "$w"
    ;;
*)
    fail "unknown case"
    ;;
esac
echo "ok: $name"
