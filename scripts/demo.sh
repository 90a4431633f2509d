#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up, builds and starts the demo, with data/ in its working directory.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
[ -f "$top/build/CMakeCache.txt" ] && gen=()
# Warnings stay warnings here, also in a tree the tests configured to fail on them: a compiler's
# warning is for the developers, and must not keep the demo from starting.
cmake -S "$top" -B "$top/build" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DRINTA_WERROR=OFF
cmake --build "$top/build"
cd "$top/build" && exec ./rinta
