#!/usr/bin/env bash
# Makes the Windows icon of the programs, packaging/windows/ebd.ico, from the
# window's icon packaging/disable-autostart.svg: one image for each size
# Windows asks for (16 to 256 pixels), rendered by rsvg-convert and put
# together by icotool (Debian: librsvg2-bin, icoutils). The .ico is kept in
# the tree, so that builds need neither; run this after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")/.."

svg=packaging/disable-autostart.svg
ico=packaging/windows/ebd.ico
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

images=()
for size in 16 20 24 32 40 48 64 256; do
  rsvg-convert --width "$size" --height "$size" --format png --output "$work/$size.png" "$svg"
  images+=("$work/$size.png")
done
# The large image stays PNG inside the .ico, the small ones become bitmaps,
# which every version of Windows reads.
icotool --create --output "$ico" "${images[@]:0:7}" --raw "${images[7]}"
echo "$ico: $(icotool --list "$ico" | wc -l) images"
