#!/bin/sh
# SPDX-License-Identifier: MIT
# tests/assets/music_cli.sh — checks of the music module through command-line tools.
#   music_cli.sh determinism <composer> <work dir>   two runs write identical bytes
#   music_cli.sh loudness <module> <work dir>        openmpt123 renders it; sox measures
set -eu
mode=$1
work=$3
rm -rf "$work"
mkdir -p "$work"

case "$mode" in
determinism)
    "$2" "$work/first.it"
    "$2" "$work/second.it"
    cmp "$work/first.it" "$work/second.it"
    echo "identical: $(wc -c < "$work/first.it") bytes"
    ;;
loudness)
    cp "$2" "$work/song.it"
    openmpt123 --quiet --render --force "$work/song.it" > /dev/null
    sox "$work/song.it.wav" -n stats 2> "$work/stats.txt"
    cat "$work/stats.txt"
    # First figure of each line is the overall (both channels) value.
    awk '
        /^Pk lev dB/  { peak = $4 }
        /^RMS lev dB/ { rms = $4 }
        /^Length s/   { length_s = $3 }
        END {
            printf "peak %s dBFS, RMS %s dBFS, length %s s\n", peak, rms, length_s
            if (peak == "" || rms == "") { print "sox gave no figures"; exit 1 }
            if (peak + 0 >= 0) { print "FAIL: peak reaches 0 dBFS"; exit 1 }
            if (rms + 0 < -20 || rms + 0 > -10) { print "FAIL: RMS outside -20..-10 dBFS"; exit 1 }
        }' "$work/stats.txt"
    rm -f "$work/song.it.wav"
    ;;
*)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac
