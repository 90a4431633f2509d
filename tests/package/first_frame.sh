#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Benchmark, not a test: installs the .deb with apt on this system (root), then times the
# installed programs to their first frame: rinta-capture to its first PNG, and the real rinta
# through its launcher under Xvfb (the fullscreen question's time on screen left out). Removes
# the package again at the end.   usage: first_frame.sh PACKAGE.deb [RUNS]
set -u
deb=$(realpath "$1")
runs=${2:-5}
[ "$(id -u)" -eq 0 ] || { echo "needs root: it installs the package" >&2; exit 1; }
dpkg -s rinta >/dev/null 2>&1 && { echo "rinta is installed already; remove it first" >&2; exit 1; }
scratch=$(mktemp -d)
xpid=""
cleanup() {
    [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q rinta >/dev/null 2>&1
    rm -rf "$scratch"
}
trap cleanup EXIT
now() { date +%s%6N; }

echo "package $(stat -c %s "$deb") bytes, Installed-Size $(dpkg-deb -f "$deb" Installed-Size) KiB"
t0=$(now)
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$scratch/apt.log" 2>&1 ||
    { cat "$scratch/apt.log"; exit 1; }
t1=$(now)
echo "apt-get install: $(( (t1 - t0) / 1000 )) ms ($(grep -c '^Unpacking' "$scratch/apt.log") packages unpacked;" \
     "triggers: $(grep '^Processing triggers' "$scratch/apt.log" | sed 's/Processing triggers for //; s/ .*//' | paste -sd' '))"
echo "installed: $(du -sk --apparent-size $(dpkg -L rinta | while read -r f; do [ -f "$f" ] && echo "$f"; done) | awk '{s += $1} END {print s}') KiB in $(dpkg -L rinta | while read -r f; do [ -f "$f" ] && echo x; done | wc -l) files"

cd "$scratch" || exit 1
for i in $(seq "$runs"); do
    rm -rf png
    a=$(now)
    rinta-capture --data /usr/share/rinta/data --frames 1 --png png 2>/dev/null
    while [ ! -s png/frame-000001.png ]; do sleep 0.01; done
    b=$(now)
    echo "capture run $i: $(( (b - a) / 1000 )) ms from start to the first PNG"
done

# -noreset: a client connecting while the server resets (its last client left) is dropped.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$scratch/display" >/dev/null 2>&1 &
xpid=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$scratch/display")" SDL_AUDIODRIVER=dummy RINTA_STARTUP_TIMING=1
for i in $(seq "$runs"); do
    a=$(now)
    /usr/games/rinta 2>"$scratch/err" >/dev/null &
    pid=$!
    box=""
    for _ in $(seq 500); do
        box=$(xwininfo -root -tree | grep -F '"Start FullScreen?":' | awk '{print $1}' | head -1)
        [ -n "$box" ] && break
        sleep 0.01
    done
    xdotool windowfocus "$box" key Escape 2>/dev/null
    for _ in $(seq 500); do grep -q rinta-startup "$scratch/err" && break; sleep 0.02; done
    w=$(xwininfo -root -tree | grep -F '"rinta":' | awk '{print $1}' | head -1)
    xdotool windowfocus "$w" key Escape 2>/dev/null || kill "$pid"
    wait "$pid"
    line=$(grep rinta-startup "$scratch/err")
    [ -n "$line" ] || { echo "rinta run $i: no first frame reported: $(head -c 300 "$scratch/err")"; continue; }
    get() { sed "s/.*$1=\([0-9]*\).*/\1/" <<<"$line"; }
    asked=$(get asked) answered=$(get answered) first=$(get first-frame) main=$(get main)
    echo "rinta run $i: $(( (asked - a + first - answered) / 1000 )) ms from the launcher to the first frame" \
         "(launcher to main $(( (main - a) / 1000 )) ms, question on screen $(( (answered - asked) / 1000 )) ms left out)"
done
