#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Start-up benchmark: time from process start to the question on screen, and from the answer
# to the first presented frame, with the question left up for a while as a viewer would
# (the program prepares meanwhile); the peak resident memory by then.
# Runs the built program under its own Xvfb.
# usage: bench-startup.sh [BUILD-DIR] [RUNS] [SECONDS-THE-QUESTION-STAYS-UP, default 1]
set -u
build=$(cd "${1:-build}" && pwd)
runs=${2:-10}
up=${3:-1}
scratch=$(mktemp -d)
trap 'kill $xpid 2>/dev/null; rm -rf "$scratch"' EXIT
# -noreset: a client connecting while the server resets (its last client left) is dropped.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$scratch/display" >/dev/null 2>&1 &
xpid=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$scratch/display")" SDL_AUDIODRIVER=dummy RINTA_STARTUP_TIMING=1
cd "$build"
results=() questions=() answers=()
for i in $(seq "$runs"); do
    t0=$(date +%s%6N)
    ./rinta 2>"$scratch/err" >/dev/null &
    pid=$!
    box=""
    for _ in $(seq 200); do
        box=$(xwininfo -root -tree | grep -F '"Start FullScreen?":' | awk '{print $1}' | head -1)
        [ -n "$box" ] && break
        sleep 0.01
    done
    sleep "$up"
    xdotool windowfocus "$box" key Escape 2>/dev/null
    for _ in $(seq 300); do grep -q rinta-startup "$scratch/err" && break; sleep 0.02; done
    w=$(xwininfo -root -tree | grep -F '"rinta":' | awk '{print $1}' | head -1)
    xdotool windowfocus "$w" key Escape 2>/dev/null || kill "$pid"
    wait "$pid" || true
    line=$(grep rinta-startup "$scratch/err")
    main=$(sed 's/.*main=\([0-9]*\).*/\1/' <<<"$line")
    asked=$(sed 's/.*asked=\([0-9]*\).*/\1/' <<<"$line")
    answered=$(sed 's/.*answered=\([0-9]*\).*/\1/' <<<"$line")
    first=$(sed 's/.*first-frame=\([0-9]*\).*/\1/' <<<"$line")
    rss=$(sed 's/.*peak-rss-kb=\([0-9]*\).*/\1/' <<<"$line")
    cpu=$(sed 's/.*cpu-ms=\([0-9]*\).*/\1/' <<<"$line")
    ms=$(( (asked - t0 + first - answered) / 1000 ))
    toQuestion=$(( (asked - t0) / 1000 )) answerToFirst=$(( (first - answered) / 1000 ))
    echo "run $i: question after ${toQuestion} ms, first frame ${answerToFirst} ms after the answer (${ms} ms with the question's time left out; exec to main $(( (main - t0) / 1000 )) ms), peak RSS $((rss / 1024)) MB, CPU ${cpu} ms"
    results+=("$ms") questions+=("$toQuestion") answers+=("$answerToFirst")
done
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
echo "medians over $runs runs, question up ${up} s: start to question $(median "${questions[@]}") ms, answer to first frame $(median "${answers[@]}") ms, both together $(median "${results[@]}") ms"
