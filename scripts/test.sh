#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up, builds and runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
[ -f "$top/build/CMakeCache.txt" ] && gen=()
cmake -S "$top" -B "$top/build" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRINTA_WERROR=ON
cmake --build "$top/build"
cd "$top/build" && ctest --output-on-failure -j2
