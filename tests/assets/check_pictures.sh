#!/bin/sh
# SPDX-License-Identifier: MIT
# Checks of the generated pictures with tools we did not write (djpeg, ImageMagick).
#     check_pictures.sh format <data directory>      every picture decodes, at its size and quality
#     check_pictures.sh seamless <data directory>    the tiles repeat without a visible seam
#     check_pictures.sh deterministic <picturegen>   two runs write identical bytes
set -u
status=0
fail() { echo "FAIL: $*"; status=1; }

# stem width height: powers of two for the quad each picture is shown on, drawn at twice the
# design size so they stay crisp at a screen's own resolution.
SIZES="tarvel 1024 1024
made 1024 1024
world 2048 256
style 256 2048
lomb 2048 256
tex3 1024 1024
gate 2048 256
shade 1024 1024
shot 1024 1024
tex2 1024 1024
greets 2048 1024
olvek 1024 1024
rinta 1024 1024
pasko 1024 1024
mirel 1024 1024
fenro 1024 1024
end 2048 256
tex4 1024 1024"
TILES="tarvel tex2 tex3 tex4 shade"

check_format() {
  dir=$1
  while read -r stem w h; do
    f="$dir/$stem.jpg"
    [ -f "$f" ] || { fail "$f is missing"; continue; }
    # djpeg exits non-zero on a corrupt or truncated stream, and warns on recoverable damage.
    if ! err=$(djpeg -outfile /dev/null "$f" 2>&1) || [ -n "$err" ]; then
      fail "djpeg on $stem: $err"
      continue
    fi
    got=$(identify -format '%m %w %h %Q %[fx:standard_deviation]' "$f") ||
      { fail "identify cannot read $stem"; continue; }
    set -- $got
    [ "$1" = JPEG ] || fail "$stem is $1, not JPEG"
    [ "$2 $3" = "$w $h" ] || fail "$stem is $2 x $3, designed $w x $h"
    [ "$4" -ge 90 ] || fail "$stem has quality $4, below 90"
    # A picture whose drawing silently failed comes out as one flat colour.
    awk "BEGIN { exit !($5 > 0.05) }" || fail "$stem is nearly flat (deviation $5)"
    echo "checked: $stem $2x$3 quality $4 deviation $5"
  done <<END
$SIZES
END
}

# The mean difference across the wrap (last column against the first, last row against the
# first) must be of the order of the mean difference between neighbours inside the tile.
check_seamless() {
  dir=$1
  for stem in $TILES; do
    f="$dir/$stem.jpg"
    for axis in x y; do
      if [ $axis = x ]; then roll=+1+0; edge=1x%h+0+0; else roll=+0+1; edge=%wx1+0+0; fi
      edge=$(identify -format "$edge" "$f")
      set -- $(convert "$f" \( +clone -roll $roll \) -compose difference -composite -write mpr:d +delete \
        \( mpr:d -format '%[fx:mean] ' -write info: +delete \) mpr:d -crop "$edge" -format '%[fx:mean]' info:)
      if awk "BEGIN { exit !($2 <= 2 * $1 + 0.002) }"; then
        echo "ok: $stem wraps along $axis (edge $2, inside $1)"
      else
        fail "$stem has a seam along $axis (edge $2, inside $1)"
      fi
    done
  done
}

check_deterministic() {
  gen=$1
  a=$(mktemp -d) b=$(mktemp -d)
  "$gen" "$a" >/dev/null && "$gen" "$b" >/dev/null || fail "picturegen failed"
  n=0
  for f in "$a"/*.jpg; do
    n=$((n + 1))
    cmp -s "$f" "$b/$(basename "$f")" || fail "$(basename "$f") differs between two runs"
  done
  [ "$n" -eq 18 ] || fail "picturegen wrote $n pictures, not 18"
  [ $status -eq 0 ] && echo "ok: two runs wrote the same $n pictures byte for byte"
  rm -rf "$a" "$b"
}

case ${1:-} in
  format) check_format "$2" ;;
  seamless) check_seamless "$2" ;;
  deterministic) check_deterministic "$2" ;;
  *) echo "usage: $0 format|seamless <data dir> | deterministic <picturegen>"; exit 2 ;;
esac
exit $status
