#!/bin/sh
# Draws the start-up picture (splash.png, 600x400) and the window icon (quillory.png, 64x64) with
# ImageMagick. Run it from this folder: sh draw-pictures.sh
set -e

FONT=DejaVu-Sans
FONT_BOLD=DejaVu-Sans-Bold

# The icon: a letter on a blue tile, with a quill across it.
convert -size 64x64 xc:none \
  -fill '#1f4e79' -draw 'roundrectangle 2,2 61,61 10,10' \
  -fill '#f5f5f0' -stroke '#0d2a45' -strokewidth 1.5 -draw 'rectangle 11,20 53,49' \
  -fill none -stroke '#1f4e79' -strokewidth 2 -draw 'polyline 12,21 32,37 52,21' \
  -fill '#f2c14e' -stroke '#7a5a12' -strokewidth 1 \
    -draw 'path "M 56,6 C 44,10 34,22 28,38 L 31,39 C 38,26 47,15 56,6 Z"' \
  -stroke '#7a5a12' -strokewidth 1.5 -draw 'line 28,38 24,46' \
  -depth 8 quillory.png

# The start-up picture: a calm gradient, an envelope and a quill, the name and what it does.
convert -size 600x400 gradient:'#21507e'-'#0e2239' \
  -fill '#ffffff0c' -stroke none -draw 'circle 520,70 650,70' -draw 'circle 80,380 200,380' \
  -fill '#f5f5f0' -stroke '#0d2a45' -strokewidth 3 -draw 'rectangle 70,120 250,250' \
  -fill none -stroke '#21507e' -strokewidth 4 -draw 'polyline 72,122 160,192 248,122' \
  -stroke '#9fb3c8' -strokewidth 2 -draw 'line 72,248 135,180' -draw 'line 248,248 185,180' \
  -fill '#f7f1dc' -stroke '#8a7a4a' -strokewidth 2 \
    -draw 'path "M 306,48 C 246,62 198,132 186,214 C 232,184 292,124 306,48 Z"' \
  -stroke '#21507e' -strokewidth 2 -draw 'line 262,88 250,118' -draw 'line 230,132 214,150' \
    -draw 'line 276,110 262,122' \
  -stroke '#8a7a4a' -strokewidth 3 -fill none -draw 'path "M 306,48 C 262,100 214,160 172,246"' \
  -stroke none -fill '#ffffff' -font $FONT_BOLD -pointsize 56 -annotate +290+190 'Quillory' \
  -fill '#c9d8e8' -font $FONT -pointsize 18 -annotate +294+224 'a reader for stored mail' \
  -fill '#9fb3c8' -pointsize 14 -annotate +294+250 'folders, mail-folder files and messages' \
  -fill '#f2c14e' -stroke '#f2c14e' -strokewidth 1 -draw 'line 294,268 560,268' -stroke none \
  -fill '#c9d8e8' -pointsize 14 -annotate +294+292 'Version 1.0' \
  -fill '#7f95ad' -pointsize 12 -annotate +40+370 'Pick a directory, open a folder, save any message as a file of its own.' \
  -depth 8 -type TrueColor splash.png
