#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up, builds and starts the demo, with data/ in its working directory.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
[ -f "$top/build/CMakeCache.txt" ] && gen=()
cmake -S "$top" -B "$top/build" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release
cmake --build "$top/build"
cd "$top/build" && exec ./rinta
