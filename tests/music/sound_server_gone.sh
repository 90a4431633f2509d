#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Plays a song through a real PulseAudio server (a null sink) and kills the server mid-song.
# usage: sound_server_gone.sh MUSIC-TESTS
set -u
tests=$1
dir=$(mktemp -d)
trap 'kill -9 $pa 2>/dev/null; rm -rf "$dir"' EXIT
export XDG_RUNTIME_DIR=$dir HOME=$dir
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes --log-target=stderr \
    -L "module-null-sink sink_name=rinta" \
    -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" 2>"$dir/log" &
pa=$!
for _ in $(seq 50); do [ -S "$dir/native" ] && break; sleep 0.1; done
[ -S "$dir/native" ] || { echo "PulseAudio did not start:"; cat "$dir/log"; exit 1; }
PULSE_SERVER=unix:$dir/native RINTA_TEST_PULSE_PID=$pa \
    "$tests" --gtest_filter='*SoundServerGoingAway*' --gtest_also_run_disabled_tests=0
