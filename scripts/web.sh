#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the web page (WebAssembly + WebGL 2) and, unless --no-serve, serves it on 127.0.0.1.
#   scripts/web.sh [--no-serve] [--port N] [--build DIR] [OUT-DIR]   (OUT-DIR default: build/web)
# OUT-DIR gets index.html, rinta.js, rinta.wasm, page.js, worklet.js, files.json and data/, with .br and .gz
# forms of the code and the module beside them: copy it to any static host. The server here
# (scripts/serve.py) sends those compressed forms to browsers that take them.
# Needs a native build tree (--build, default build/) for the generated pictures, module and
# meshes; makes it when missing. Debian's sources of libopenmpt and libjpeg-turbo are fetched
# once into BUILD/web-src (a deb-src entry is added when apt has none); compiled objects stay
# in BUILD/web-build, so a second run only rebuilds what changed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
serve=1
port=8017
build="$top/build"
out=""
while [ $# -gt 0 ]; do
  case "$1" in
    --no-serve) serve=0 ;;
    --port) port="$2"; shift ;;
    --build) build="$2"; shift ;;
    -h|--help) sed -n '3,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "web.sh: unknown option $1" >&2; exit 2 ;;
    *) out="$1" ;;
  esac
  shift
done
mkdir -p "$build"
build=$(cd "$build" && pwd)
out=${out:-$build/web}
mkdir -p "$out"
out=$(cd "$out" && pwd)

"$top/scripts/install-deps.sh"
export NODE_PATH=/usr/share/nodejs # Debian's emscripten runs its tools with the machine's node

# 1. The native tree: data files and the meshes' stored form.
if [ ! -f "$build/CMakeCache.txt" ]; then
  gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
  cmake -S "$top" -B "$build" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target rinta_data rinta_meshdata

# 2. Library sources from Debian, once.
src="$build/web-src"
fetch_source() { # package, directory name to keep it under
  local pkg=$1 dir=$2
  [ -f "$src/$dir/.complete" ] && return 0
  mkdir -p "$src/download"
  if ! (cd "$src/download" && apt-get source --download-only -q "$pkg" >/dev/null 2>&1); then
    if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      local sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
      echo "web.sh: adding a deb-src entry for Debian's sources" >&2
      printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
        $sudo tee /etc/apt/sources.list.d/rinta-deb-src.sources >/dev/null
      $sudo apt-get update -q >/dev/null
    fi
    (cd "$src/download" && apt-get source --download-only -q "$pkg" >/dev/null)
  fi
  local tarball
  tarball=$(ls "$src/download/${pkg}"_*.orig.tar.* | head -n1)
  rm -rf "$src/$dir" "$src/unpack"
  mkdir -p "$src/unpack"
  tar -xf "$tarball" -C "$src/unpack"
  mv "$src/unpack"/* "$src/$dir"
  rmdir "$src/unpack"
  touch "$src/$dir/.complete"
}
fetch_source libopenmpt libopenmpt
fetch_source libjpeg-turbo libjpeg-turbo

# 3. The page.
version=$(sed -n 's/^project(rinta VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
wb="$build/web-build"
if [ ! -f "$wb/CMakeCache.txt" ]; then
  gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
  emcmake cmake -S "$top/web" -B "$wb" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DRINTA_WEB_SOURCES="$src" -DRINTA_MESH_BIN="$build/engine/meshes/meshes.bin" -DRINTA_VERSION="$version"
elif ! grep -qx "RINTA_VERSION:STRING=$version" "$wb/CMakeCache.txt"; then
  # A tree configured before a new version: the page must not go on naming the old one.
  cmake -S "$top/web" -B "$wb" -DRINTA_VERSION="$version" >/dev/null
fi
cmake --build "$wb" -j2

mkdir -p "$out/data"
# Copied only when changed, so that the compressed forms below are made again only for those.
publish() { cmp -s "$1" "$2" || cp "$1" "$2"; }
for f in "$wb/rinta.js" "$wb/rinta.wasm" "$top/web/index.html" "$top/web/page.js" "$top/web/worklet.js"; do
  publish "$f" "$out/$(basename "$f")"
done
# The files the engine reads, as engine/data_files.txt lists them. The pictures go through
# jpegtran -optimize (Huffman tables fitted to each picture: smaller, the same pixels, which
# djpeg checks; a picture it does not shrink or does not keep stays as it is).
names=$(sed -n 's/^[0-9a-z]\+ \+\([^ ]\+\)$/\1/p' "$top/engine/data_files.txt")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for name in $names; do
  src="$build/data/$name"
  case "$name" in
    *.jpg)
      if jpegtran -optimize -copy all -outfile "$tmp/$name" "$src" 2>/dev/null &&
         [ "$(stat -c %s "$tmp/$name")" -lt "$(stat -c %s "$src")" ] &&
         cmp -s <(djpeg -pnm "$src") <(djpeg -pnm "$tmp/$name"); then
        src="$tmp/$name"
      fi ;;
  esac
  publish "$src" "$out/data/$name"
done
# files.json: every file the page loads with its size, for the loading bar's total.
(cd "$out" && python3 -c 'import json, os, sys; print(json.dumps({n: os.path.getsize(n) for n in sys.argv[1:]}))' \
   rinta.js rinta.wasm $(for n in $names; do echo "data/$n"; done) >"$tmp/files.json")
publish "$tmp/files.json" "$out/files.json"
# Precompressed forms beside the originals (NAME.br, NAME.gz), as static hosts and
# scripts/serve.py send them; pictures are left out, they do not shrink. Kept only where
# they save a tenth.
for f in "$out"/index.html "$out"/page.js "$out"/worklet.js "$out"/rinta.js "$out"/rinta.wasm "$out"/files.json "$out"/data/*.it; do
  [ -f "$f" ] || continue
  size=$(stat -c %s "$f")
  if [ ! "$f.gz" -nt "$f" ]; then
    gzip -9 -n -c "$f" >"$f.gz"
    [ $(( $(stat -c %s "$f.gz") * 10 )) -lt $(( size * 9 )) ] || rm -f "$f.gz"
  fi
  if [ ! "$f.br" -nt "$f" ]; then
    brotli -q 11 -c "$f" >"$f.br"
    [ $(( $(stat -c %s "$f.br") * 10 )) -lt $(( size * 9 )) ] || rm -f "$f.br"
  fi
done
echo "web.sh: the page is in $out"

if [ "$serve" -eq 1 ]; then
  exec python3 "$top/scripts/serve.py" --port "$port" "$out"
fi
