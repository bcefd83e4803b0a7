#!/bin/sh
# Renders the launcher icon's fixed sizes from the scalable one (needs rsvg-convert, Debian
# librsvg2-bin). The PNGs are checked in, so a build needs neither. Run it from this folder:
# sh render.sh
set -e
for size in 16 32 48 128 256; do
  mkdir -p hicolor/${size}x${size}/apps
  rsvg-convert -w $size -h $size hicolor/scalable/apps/quillory.svg -o hicolor/${size}x${size}/apps/quillory.png
done
