#!/bin/sh
# Draws the library's panel images and its icon with ImageMagick; the PNGs are committed.
set -e
cd "$(dirname "$0")"
C=/usr/bin/convert

# Icon: a blue tile with three rows of keys and a lens magnifying one key.
$C -size 256x256 xc:none \
  -fill '#1f6fd6' -draw 'roundrectangle 8,8 247,247 44,44' \
  -fill '#2f86f0' -draw 'roundrectangle 8,8 247,200 44,44' \
  -fill white \
  -draw 'roundrectangle 36,118 66,144 6,6' -draw 'roundrectangle 74,118 104,144 6,6' \
  -draw 'roundrectangle 112,118 142,144 6,6' -draw 'roundrectangle 150,118 180,144 6,6' \
  -draw 'roundrectangle 188,118 218,144 6,6' \
  -draw 'roundrectangle 52,154 82,180 6,6' -draw 'roundrectangle 90,154 120,180 6,6' \
  -draw 'roundrectangle 128,154 158,180 6,6' -draw 'roundrectangle 166,154 196,180 6,6' \
  -draw 'roundrectangle 70,190 186,214 6,6' \
  -fill '#ffd43b' -stroke '#0b3d91' -strokewidth 10 -draw 'circle 128,70 128,24' \
  -stroke '#0b3d91' -strokewidth 16 -draw 'line 160,102 178,120' \
  -stroke none -fill '#0b3d91' -font DejaVu-Sans-Bold -pointsize 62 -gravity center \
  -annotate -0-58 'A' \
  icon256.png
for s in 64 44 32 22 16; do $C icon256.png -resize ${s}x${s} -strip icon$s.png; done

# Panel button images on the mask colour (light grey): a small keyboard, its middle key
# enlarged in blue. Wide 31x16, narrow 16x16.
$C -size 31x16 xc:'#c0c0c0' -fill '#27303b' -draw 'roundrectangle 1,3 29,14 2,2' \
  -fill white -draw 'rectangle 3,5 4,6' -draw 'rectangle 6,5 7,6' -draw 'rectangle 9,5 10,6' \
  -draw 'rectangle 20,5 21,6' -draw 'rectangle 23,5 24,6' -draw 'rectangle 26,5 27,6' \
  -draw 'rectangle 3,8 4,9' -draw 'rectangle 6,8 7,9' -draw 'rectangle 23,8 24,9' -draw 'rectangle 26,8 27,9' \
  -draw 'rectangle 7,11 23,12' \
  -fill '#2f86f0' -draw 'roundrectangle 12,1 18,9 1,1' -fill white -draw 'rectangle 14,3 16,7' \
  -type TrueColor -strip BMP3:wide.bmp
$C -size 16x16 xc:'#c0c0c0' -fill '#27303b' -draw 'roundrectangle 0,5 15,15 2,2' \
  -fill white -draw 'rectangle 2,7 3,8' -draw 'rectangle 12,7 13,8' \
  -draw 'rectangle 2,10 3,11' -draw 'rectangle 5,10 6,11' -draw 'rectangle 9,10 10,11' -draw 'rectangle 12,10 13,11' \
  -draw 'rectangle 4,13 11,13' \
  -fill '#2f86f0' -draw 'roundrectangle 5,0 10,8 1,1' -fill white -draw 'rectangle 7,2 8,6' \
  -type TrueColor -strip BMP3:narrow.bmp
rm -f icon256.png
