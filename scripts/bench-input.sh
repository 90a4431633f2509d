#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Input benchmark: how long Esc takes to end the demo, and key 6 to bring up the credits'
# grey, after 0, 300 and 3000 pointer moves over the window. Runs the built program under
# its own Xvfb.   usage: bench-input.sh [BUILD-DIR] [RUNS]
set -u
build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
xflood=$build/tests/xflood
scratch=$(mktemp -d)
trap 'kill $xpid 2>/dev/null; rm -rf "$scratch"' EXIT
# -noreset: a client connecting while the server resets (its last client left) is dropped.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$scratch/display" >/dev/null 2>&1 &
xpid=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$scratch/display")" SDL_AUDIODRIVER=dummy
cd "$build"
now() { date +%s%3N; }
windowOf() { xwininfo -root -tree | grep -F "\"$1\":" | awk '{print $1}' | head -1; }
start() { # starts the demo windowed; sets pid and w
    ./rinta >/dev/null 2>&1 &
    pid=$!
    local box=""
    for _ in $(seq 300); do box=$(windowOf "Start FullScreen?"); [ -n "$box" ] && break; sleep 0.02; done
    xdotool windowfocus --sync "$box" key Escape 2>/dev/null
    for _ in $(seq 300); do w=$(windowOf rinta); [ -n "$w" ] && break; sleep 0.02; done
    sleep 1.5
    xdotool windowfocus --sync "$w" 2>/dev/null
}
grey() { # the window's corner shows the credits' grey
    import -window root -crop 16x16+8+8 +repage -scale '1x1!' -format '%[fx:int(255*r)]' info: 2>/dev/null |
        awk '{ exit !($1 > 110 && $1 < 145) }'
}
for moves in 0 300 3000; do
    for i in $(seq "$runs"); do
        start
        "$xflood" "$w" "$moves"
        t0=$(now)
        xdotool key 6
        until grey; do [ $(( $(now) - t0 )) -gt 60000 ] && break; done
        t1=$(now)
        xdotool key Escape
        while kill -0 "$pid" 2>/dev/null && [ $(( $(now) - t1 )) -lt 60000 ]; do sleep 0.005; done
        t2=$(now)
        kill -9 "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
        echo "$moves pointer moves: key 6 to the credits' grey seen within $((t1 - t0)) ms (screenshot polling), Esc to exit $((t2 - t1)) ms"
    done
done
