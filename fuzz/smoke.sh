#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# fuzz/smoke.sh — a short run of one fuzz target over its seeds, for the test suite: proves
# the target builds, loads its seeds and survives some seconds of mutation. Skips (77) where
# clang or its fuzzer runtime is missing.
# usage: smoke.sh TARGET SECONDS FUZZ-BUILD-DIR [SOURCE-DIR CLANG++]
#   With SOURCE-DIR and CLANG++, FUZZ-BUILD-DIR is configured with clang and RINTA_FUZZ and
#   only the fuzz targets are built in it; without them it must hold them already.
set -u
target=$1 seconds=$2 build=$3 source=${4-} clangxx=${5-}
if [ -n "$source" ]; then
    [ -n "$clangxx" ] && [ -x "$clangxx" ] || { echo "no clang++: skipped"; exit 77; }
    clangc=$(dirname "$clangxx")/$(basename "$clangxx" | sed 's/clang++/clang/')
    probe=$(mktemp -d)
    trap 'rm -rf "$probe"' EXIT
    echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe/p.cpp"
    "$clangxx" -fsanitize=fuzzer,address "$probe/p.cpp" -o "$probe/p" 2>/dev/null ||
        { echo "clang has no fuzzer runtime (libclang-rt-*-dev): skipped"; exit 77; }
    if [ ! -f "$build/build.ninja" ]; then
        cmake -S "$source" -B "$build" -G Ninja -DCMAKE_C_COMPILER="$clangc" -DCMAKE_CXX_COMPILER="$clangxx" \
            -DRINTA_FUZZ=ON -DBUILD_TESTING=OFF >"$build.configure.log" 2>&1 ||
            { cat "$build.configure.log"; exit 1; }
    fi
    cmake --build "$build" -j2 --target "$target" fuzz_seeds || exit 1
fi
fuzzer=$build/fuzz/$target
seeds=$build/fuzz/seeds/${target#fuzz_}
[ -x "$fuzzer" ] && [ -d "$seeds" ] || { echo "no $fuzzer or $seeds"; exit 1; }
work=$build/fuzz/smoke-$target
rm -rf "$work"
bash "$(dirname "$0")/run.sh" "$fuzzer" "$seeds" "$work" "$seconds"
