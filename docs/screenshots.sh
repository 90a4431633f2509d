#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Remakes the README's pictures with the capture tool: one frame from the song's own run of
# each of seven scenes, drawn at 1440 x 1080 with 4x anti-aliasing as the program shows it on
# a 1920 x 1080 screen, JPEG. The capture runs on a virtual clock, so the same
# frame numbers give the same moments on every machine.   usage: docs/screenshots.sh [BUILD-DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
shots=(1:scene1-titles 5851:scene2-planes 6451:scene3-tunnel 7051:scene4-corridor
       8401:scene5-greetings 11251:scene6-credits 14251:scene8-closing)
frames=$(printf '%s\n' "${shots[@]}" | cut -d: -f1 | paste -sd,)
"$build/capture/rinta-capture" --data "$build/data" --frames "$frames" --png "$scratch" --size 1440x1080 --msaa 4
for shot in "${shots[@]}"; do
    convert "$scratch/frame-$(printf %06d "${shot%%:*}").png" -strip -sampling-factor 4:2:0 -quality 75 \
        "$top/docs/${shot#*:}.jpg"
done
