#!/bin/sh
# Draws the six 37x15 pictures of the listing page. Needs ImageMagick; run from this directory.
set -e
draw() {  # name background commands...
    name=$1; bg=$2; shift 2
    convert -size 37x15 "xc:$bg" +antialias "$@" -colors 16 "GIF:$name.tmp"
    mv "$name.tmp" "$name"
}
# Go up: a white arrow pointing up on the blue of the header cell.
draw sopra.gif '#39b5ff' -fill white -stroke '#003366' \
    -draw 'polygon 18,1 26,8 21,8 21,13 15,13 15,8 10,8'
# Directory: a yellow folder with its tab.
draw imgfolder.gif '#90FF19' -fill '#FFD84A' -stroke '#7A5C00' \
    -draw 'polygon 11,3 17,3 19,5 26,5 26,13 11,13' -draw 'line 11,6 26,6'
# Mail folder: a blue folder with a small envelope on it.
draw dbx.gif '#BCF37B' -fill '#5A8CE6' -stroke '#1C3D7A' \
    -draw 'polygon 9,2 15,2 17,4 28,4 28,13 9,13' \
    -fill white -draw 'rectangle 14,6 23,11' -draw 'line 14,6 18,9' -draw 'line 23,6 19,9'
# Letter: a white envelope.
draw eml.gif '#D3F37B' -fill white -stroke '#404040' \
    -draw 'rectangle 10,2 26,12' -draw 'line 10,2 18,8' -draw 'line 26,2 18,8'
# Encoded letter: an envelope in a mail folder, sealed in red.
draw encoded.gif '#E1F0B8' -fill '#FFF4D6' -stroke '#404040' \
    -draw 'rectangle 10,2 26,12' -draw 'line 10,2 18,8' -draw 'line 26,2 18,8' \
    -fill '#D02020' -stroke '#801010' -draw 'circle 18,9 20,9'
# Any other file: a round bullet.
draw tondo.gif '#E1F0B8' -fill '#606060' -stroke '#303030' -draw 'circle 18,7 22,7'
