#!/bin/sh
# SPDX-License-Identifier: MIT
# Contact sheet of the eighteen pictures as the viewer sees them: each resized to the shape of
# the quad it is shown on (100 pixels a unit), and each tile repeated 3 x 3 so seams show.
#     pictures_contact_sheet.sh <data directory> <output.png>
set -eu
data=$1
out=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

shape() { # stem WxH
  convert "$data/$1.jpg" -resize "$2!" "$work/$1.png"
}
tile3() { # stem
  convert "$data/$1.jpg" -resize 171x171! -write mpr:t +delete \
    -size 513x513 tile:mpr:t "$work/$1.png"
}
shape made 450x334
shape greets 500x334
shape rinta 400x334
shape pasko 400x334
shape mirel 400x334
shape olvek 400x334
shape fenro 450x334
shape shot 300x200
for s in world lomb gate end; do shape $s 700x80; done
shape style 80x700
for s in tarvel tex2 tex3 tex4 shade; do tile3 $s; done

cd "$work"
sheet() { # output, then the pictures of one row
  o=$1
  shift
  montage -font DejaVu-Sans -pointsize 16 -label '%t' -background '#404040' -fill white \
    -geometry '+8+8' -tile "$#x1" "$@" "$o"
}
sheet row1.png made.png greets.png fenro.png shot.png
sheet row2.png rinta.png pasko.png mirel.png olvek.png
sheet row3a.png world.png lomb.png
sheet row3b.png gate.png end.png
convert row3a.png row3b.png -background "#404040" -append strips.png
sheet row3.png style.png strips.png
sheet row4.png tarvel.png tex2.png tex3.png tex4.png shade.png
convert row1.png row2.png row3.png row4.png -background '#404040' -gravity west -append +repage "$out"
