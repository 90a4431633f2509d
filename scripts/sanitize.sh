#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/sanitize.sh — the whole program and its suites built with AddressSanitizer and
# UndefinedBehaviorSanitizer (LeakSanitizer comes with ASan on Linux), then run: the unit, GL
# and music suites, the end-to-end cases, and a 30-second viewer's run of the real program
# under Xvfb. Any sanitizer report, any leak not in tests/sanitizers/lsan.supp, or any
# failing case fails the script. Too slow for every CI run (a full instrumented build); run
# it by hand before a release.
#
# usage: scripts/sanitize.sh [BUILD-DIR]      (default build-asan; CC/CXX pick the compiler)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-asan}
supp=$root/tests/sanitizers/lsan.supp
logs=$build/sanitize-logs
jobs=${JOBS:-2}

cmake -S "$root" -B "$build" -G Ninja -DRINTA_SANITIZE=ON >/dev/null || exit 1
cmake --build "$build" -j"$jobs" --target unit_tests gl_tests music_tests rinta xclose xflood xcursor make_module rinta_spy \
    rinta_data ||
    exit 1
build=$(cd "$build" && pwd)
rm -rf "$logs"
mkdir -p "$logs"
# Libraries stay mapped until exit (see tests/sanitizers/keep_loaded.c); only our programs
# get it, through a wrapper for the program the end-to-end cases start, never Xvfb or xdotool.
cc -shared -fPIC -O2 -o "$build/keep_loaded.so" "$root/tests/sanitizers/keep_loaded.c" || exit 1
printf '#!/bin/sh\nLD_PRELOAD=%s exec %s "$@"\n' "$build/keep_loaded.so" "$build/rinta" >"$build/rinta-checked"
chmod +x "$build/rinta-checked"

# Reports go to files (one per process that reports), so a run that exits 0 but reported
# anything is still caught. abort_on_error makes a report end the process at once.
export ASAN_OPTIONS="verify_asan_link_order=0:halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:log_path=$logs/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:abort_on_error=1:log_path=$logs/ubsan"
export LSAN_OPTIONS="suppressions=$supp:print_suppressions=1"
export SDL_AUDIODRIVER=dummy

failures=0
# Report files with an error in them; a file holding only the table of suppressed leaks is
# not one.
reports() { grep -lE "ERROR: |runtime error:" "$logs"/asan.* "$logs"/ubsan.* 2>/dev/null | grep -v '\.seen$'; }
check() { # NAME COMMAND...: runs it, then looks for reports
    local name=$1 code f found
    shift
    "$@" >"$logs/$name.out" 2>&1
    code=$?
    found=$(reports)
    if [ "$code" -ne 0 ] || [ -n "$found" ]; then
        echo "FAIL $name (exit $code)"
        tail -15 "$logs/$name.out" | sed 's/^/    /'
        for f in $found; do
            echo "  report $f:"
            grep -E "ERROR|SUMMARY|runtime error|#[0-9]+ " "$f" | head -30 | sed 's/^/    /'
            mv "$f" "$f.$name.seen"
        done
        failures=$((failures + 1))
    else
        echo "ok   $name $(grep -E '^\[  PASSED  \]|^ok:' "$logs/$name.out" | tr '\n' ' ')"
    fi
}

preloaded() { LD_PRELOAD=$build/keep_loaded.so "$@"; }
check unit_tests preloaded "$build/tests/unit_tests"
check gl_tests preloaded "$build/tests/gl_tests"
check music_tests preloaded "$build/tests/music_tests"

# The end-to-end cases with the instrumented program: start-up and shut-down of every kind,
# bad pictures and modules, no display, the ending at order 32.
for name in answer_no answer_yes keys close_window plays_to_the_end no_display no_audio_device no_data \
    bad_pictures bad_module; do
    check "e2e_$name" bash "$root/tests/e2e/run.sh" "$name" "$build/rinta-checked" "$build/data" "$build/tests" \
        "$build/sanitize-scratch/$name"
done

# A viewer's 30 seconds: answer No, watch, walk through the scenes with the keys, Esc.
viewerRun() {
    local scratch=$build/sanitize-scratch/viewer
    rm -rf "$scratch"
    mkdir -p "$scratch/work"
    cd "$scratch/work" || return 1
    cp -r "$build/data" data
    # -noreset: a client connecting while the server resets (its last client left) is dropped.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$scratch/display" >/dev/null 2>&1 &
    local xpid=$!
    for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$scratch/display")"
    windowId() { xwininfo -root -tree 2>/dev/null | grep -F "\"$1\":" | awk '{print $1}' | head -1; }
    waitWindow() { # until it is shown: the demo's window exists hidden while the question is up
        for _ in $(seq 300); do
            local id
            id=$(windowId "$1")
            [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep -q IsViewable && { echo "$id"; return 0; }
            sleep 0.1
        done
        return 1
    }
    "$build/rinta-checked" >"$scratch/out.txt" 2>&1 &
    local rpid=$! code=-1 box w
    local started=$SECONDS
    if box=$(waitWindow "Start FullScreen?"); then
        xdotool windowfocus "$box" 2>/dev/null
        xdotool key Escape
        if w=$(waitWindow rinta); then
            sleep 8 # the song's own scenes
            for k in 1 2 3 4 5 6 7 8 Right Left Left 7 3 1; do
                xdotool windowfocus "$w" 2>/dev/null
                xdotool key "$k"
                sleep 1.2
            done
            while [ $((SECONDS - started)) -lt 30 ]; do sleep 1; done
            kill -0 "$rpid" 2>/dev/null && echo "still running after $((SECONDS - started)) s"
            xdotool windowfocus "$w" 2>/dev/null
            xdotool key Escape
        else
            echo "no window titled rinta"
        fi
    else
        echo "no fullscreen question"
    fi
    for _ in $(seq 300); do
        kill -0 "$rpid" 2>/dev/null || { wait "$rpid"; code=$?; break; }
        sleep 0.1
    done
    [ "$code" -ge 0 ] || kill -9 "$rpid" 2>/dev/null
    kill "$xpid" 2>/dev/null
    wait "$xpid" 2>/dev/null # gone before anything else starts a server
    echo "rinta ended with code $code after $((SECONDS - started)) s"
    sed 's/^/  rinta: /' "$scratch/out.txt"
    [ "$code" -eq 0 ] && echo "ok: viewer run"
}
check viewer_30s viewerRun

echo "suppressed leaks (third-party only; see $supp):"
cat "$logs"/asan.* 2>/dev/null | grep -E "^ +[0-9]+ +[0-9]+ " | awk '{n[$3] += $2; c[$3] += $1} END {for (k in n) printf "  %-28s %d leaks, %d bytes\n", k, c[k], n[k]}'
if [ "$failures" -ne 0 ]; then
    echo "sanitize: $failures failed"
    exit 1
fi
echo "sanitize: all clean"
