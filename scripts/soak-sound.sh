#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/soak-sound.sh — the real program losing its sound server, round after round: each
# round starts a PulseAudio server (a null sink), plays the demo through it under Xvfb, kills
# the server at a random moment, restarts it in some rounds, and presses Esc at a random
# moment (often right after the kill, where the device going and the song being freed
# meet). Meant for an AddressSanitizer build: passes when every round ends with code 0 and
# no sanitizer report.
#
# usage: scripts/soak-sound.sh [BUILD-DIR] [ROUNDS] [SEED]
#   BUILD-DIR holds rinta and data/ (default build-asan; build rinta and rinta_data there)
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build-asan}" && pwd) || exit 2
rounds=${2:-200}
RANDOM=${3:-$$}
rinta=$build/rinta
[ -x "$rinta" ] && [ -d "$build/data" ] || { echo "soak-sound: build rinta and the data in $build first" >&2; exit 2; }

scratch=$build/soak-sound
rm -rf "$scratch"
mkdir -p "$scratch/work" "$scratch/logs"
cd "$scratch/work" || exit 1
cp -r "$build/data" data
# The same binary under a name of its own, so no clean-up by name elsewhere ends it.
cp "$rinta" "$scratch/soak-sound-demo"
# Libraries stay mapped until exit, so leak reports can name them (as scripts/sanitize.sh).
cc -shared -fPIC -O2 -o "$scratch/keep_loaded.so" "$here/tests/sanitizers/keep_loaded.c" || exit 1

# Leaks are not looked for unless SOAK_LEAKS=1: SDL 2.26 itself leaks 128 bytes (two reallocs
# inside libSDL2) in a process whose PulseAudio server went away, the program before the
# music core's split included; scripts/sanitize.sh looks for leaks in the other runs.
export ASAN_OPTIONS="${SOAK_ASAN_EXTRA:-}verify_asan_link_order=0:halt_on_error=1:abort_on_error=1:detect_leaks=${SOAK_LEAKS:-0}:log_path=$scratch/logs/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:abort_on_error=1:log_path=$scratch/logs/ubsan"
export LSAN_OPTIONS="suppressions=$here/tests/sanitizers/lsan.supp:print_suppressions=0"
export SDL_AUDIODRIVER=pulseaudio
export XDG_RUNTIME_DIR=$scratch HOME=$scratch
export PULSE_SERVER=unix:$scratch/native

rpid="" xpid="" pa=""
stopPulse() { [ -n "$pa" ] && kill -9 "$pa" 2>/dev/null && wait "$pa" 2>/dev/null; pa=""; }
cleanup() {
    [ -n "$rpid" ] && kill -9 "$rpid" 2>/dev/null && wait "$rpid" 2>/dev/null
    stopPulse
    stopX
}
trap cleanup EXIT
fail() { echo "SOAK-SOUND FAIL: $*" >&2; exit 1; }
startPulse() {
    rm -f "$scratch/native"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes --log-target=stderr \
        -L "module-null-sink sink_name=rinta" \
        -L "module-native-protocol-unix socket=$scratch/native auth-anonymous=1" 2>>"$scratch/pulse.log" &
    pa=$!
    for _ in $(seq 50); do [ -S "$scratch/native" ] && return 0; sleep 0.1; done
    return 1
}
# Random seconds between $1 and $2 tenths, as a sleep argument.
pause() { local t=$(($1 + RANDOM % ($2 - $1 + 1))); printf '%d.%d' $((t / 10)) $((t % 10)); }

. "$here/tests/e2e/xdrive.sh"
startX

failed=0 reports=0
for round in $(seq "$rounds"); do
    startPulse || fail "round $round: PulseAudio did not start (see $scratch/pulse.log)"
    LD_PRELOAD=$scratch/keep_loaded.so "$scratch/soak-sound-demo" >"$scratch/out.txt" 2>&1 &
    rpid=$!
    box=$(waitWindow "Start FullScreen?" 60) && press "$box" Escape && w=$(waitWindow rinta 60) || {
        echo "round $round: no question or no window within a minute; the program said:"
        sed 's/^/    /' "$scratch/out.txt" | tail -5
        kill -9 "$rpid" 2>/dev/null
        wait "$rpid" 2>/dev/null
        rpid=""
        stopPulse
        failed=$((failed + 1))
        continue
    }
    # The window exists, unmapped, while the program starts behind the question: keys reach
    # it once it is shown.
    for _ in $(seq 600); do
        xwininfo -id "$w" 2>/dev/null | grep -q "IsViewable" && break
        kill -0 "$rpid" 2>/dev/null || break
        sleep 0.1
    done
    sleep "$(pause 5 30)" # playing through the server
    # What happens in this round: Esc with the server still there (1 in 5), Esc close after
    # the kill, or Esc after the server came back.
    plan=$((RANDOM % 5))
    if [ "$plan" -eq 0 ]; then
        what="esc, server up"
    else
        stopPulse
        if [ "$plan" -le 2 ]; then
            sleep "$(pause 0 3)"
            what="esc after kill"
        else
            sleep "$(pause 1 15)"
            startPulse || fail "round $round: PulseAudio did not restart"
            sleep "$(pause 0 10)"
            what="esc after kill and restart"
        fi
    fi
    press "$w" Escape
    for _ in $(seq 300); do kill -0 "$rpid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$rpid" 2>/dev/null; then
        echo "round $round ($what): still running 30 s after Esc" >&2
        kill -9 "$rpid"
        failed=$((failed + 1))
    fi
    wait "$rpid"
    code=$?
    rpid=""
    stopPulse
    found=$(grep -lE "ERROR: |runtime error:" "$scratch"/logs/* 2>/dev/null | grep -v '\.seen$')
    if [ "$code" -ne 0 ] || [ -n "$found" ]; then
        echo "round $round ($what): exit $code${found:+, reports: $found}"
        for f in $found; do
            grep -E "ERROR|SUMMARY|runtime error|#[0-9]+ " "$f" | head -20 | sed 's/^/    /'
            mv "$f" "$f.round$round.seen"
            reports=$((reports + 1))
        done
        failed=$((failed + 1))
    else
        echo "round $round ($what): exit 0"
    fi
done
echo "soak-sound: $rounds rounds, $failed failed, $reports sanitizer reports"
[ "$failed" -eq 0 ]
