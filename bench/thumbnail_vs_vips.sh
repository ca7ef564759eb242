#!/usr/bin/env bash
# folionest-cli thumbnail against vipsthumbnail on a 4000 x 3000 photograph,
# as JPEG and as PNG: a 400-pixel JPEG at quality 70 from the same file.
#   bench/thumbnail_vs_vips.sh
set -euo pipefail
source "$(dirname "$0")/lib.sh"
need_packages libvips-tools hyperfine mate-backgrounds imagemagick
build_release

# Debian 12's gnome-backgrounds holds only WebP renders; mate-backgrounds
# has a real 5640 x 3172 photograph, cut here to 4000 x 3000.
PHOTO=/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
convert "$PHOTO" -gravity center -crop 4000x3000+0+0 +repage -quality 92 "$WORK/photo.jpg"
convert "$WORK/photo.jpg" "$WORK/photo.png"
ls -l "$WORK"/photo.*

for input in photo.jpg photo.png; do
  echo "== $input"
  hyperfine --style basic --warmup 2 --runs 15 -N \
    "vipsthumbnail $WORK/$input -s 400 -o $WORK/vips-%s.jpg[Q=70]" \
    "$BUILD/src/folionest-cli thumbnail $WORK/$input $WORK/folionest-$input.jpg"
done
identify "$WORK"/vips-*.jpg "$WORK"/folionest-*.jpg
