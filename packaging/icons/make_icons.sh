#!/usr/bin/env bash
# Renders the application icon vdmq.svg into the PNG sizes desktops look
# for (hicolor theme).  The PNGs are committed, so a build needs no renderer;
# run this again after changing the SVG.  Needs rsvg-convert (librsvg2-bin).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "$here/hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" "$here/vdmq.svg" -o "$here/hicolor/${size}x${size}/apps/vdmq.png"
done
echo "make_icons: wrote $(ls "$here"/hicolor/*/apps/vdmq.png | wc -l) PNGs"
