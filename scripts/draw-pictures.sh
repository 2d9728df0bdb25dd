#!/usr/bin/env bash
# Draws the windows' pictures and the program's icon with ImageMagick, into
# resources/. Run once by hand; the results are kept in the repository (the
# builds take them from there: the PNGs as they are, the icon into novalink.exe).
#   novalink.png   48 x 48  the program's picture: the offer window's banner, the windows' icon
#   novalink.ico   16, 32 and 48 pixels of the same, for novalink.exe
#   check.png      32 x 32  the check window: a globe under a magnifying glass
#   download.png   32 x 32  the download window: an arrow into a tray
set -euo pipefail
cd "$(dirname "$0")/../resources"
common=(-background none -strip -define png:exclude-chunks=date,time)

# A blue disc, a white ring linking two arrows: down (the update) and round.
convert -size 192x192 xc:none "${common[@]}" \
  -fill '#1D5FBF' -draw 'circle 96,96 96,6' \
  -fill '#3F82E0' -draw 'circle 96,96 96,20' \
  -fill none -stroke white -strokewidth 14 -draw 'arc 44,44 148,148 200,480' \
  -stroke none -fill white -draw 'polygon 62,86 96,128 130,86 110,86 110,40 82,40 82,86' \
  -resize 48x48 -depth 8 PNG32:novalink.png
convert novalink.png -define icon:auto-resize=48,32,16 novalink.ico

# A globe (meridians and parallels) with a magnifying glass over its lower right.
convert -size 128x128 xc:none "${common[@]}" \
  -fill '#2F7BD8' -stroke '#1B4F96' -strokewidth 4 -draw 'circle 54,54 54,8' \
  -fill none -stroke '#D9E9FF' -strokewidth 4 \
  -draw 'ellipse 54,54 20,46 0,360' -draw 'line 54,8 54,100' -draw 'line 8,54 100,54' \
  -draw 'line 16,32 92,32' -draw 'line 16,76 92,76' \
  -stroke '#5A3A12' -strokewidth 14 -draw 'line 92,92 120,120' \
  -fill '#FFFFFF80' -stroke '#404040' -strokewidth 8 -draw 'circle 80,80 80,56' \
  -resize 32x32 -depth 8 PNG32:check.png

# A green arrow down into a grey tray.
convert -size 128x128 xc:none "${common[@]}" \
  -fill '#8A8A8A' -stroke '#505050' -strokewidth 4 \
  -draw 'polygon 10,84 30,84 30,104 98,104 98,84 118,84 118,122 10,122' \
  -fill '#2FA843' -stroke '#1C6E2A' -strokewidth 4 \
  -draw 'polygon 44,6 84,6 84,50 108,50 64,96 20,50 44,50' \
  -resize 32x32 -depth 8 PNG32:download.png
