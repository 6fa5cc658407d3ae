#!/bin/sh
# Draws the program's artwork into res/: the 48x48 icon (PNG and .ico) and the
# 635x136 start-up banner (8-bit palette BMP, uncompressed, bottom-up).
#
# The output is committed; the build never runs this. Run it by hand after
# changing the drawing, from anywhere:  sh scripts/make-artwork.sh
# Needs ImageMagick 6 (`convert`) and the DejaVu fonts.
set -eu

CONVERT=${CONVERT:-convert}
RES=$(cd "$(dirname "$0")/../res" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# Leave out everything that changes from run to run (timestamps, tool comments),
# so that redrawing unchanged artwork gives byte-identical files.
PLAIN="-strip -define png:exclude-chunks=date,time"

BOLD=DejaVu-Sans-Bold
SANS=DejaVu-Sans

# --- Icon: a calendar page with a sun rising over its corner -----------------
$CONVERT -size 48x48 xc:'#2b5d8c' \
    -fill '#fbfbf7' -stroke '#1d3f60' -strokewidth 1 -draw 'roundrectangle 4,10 37,43 3,3' \
    -fill '#c8412f' -stroke none -draw 'rectangle 5,11 36,18' \
    -fill '#1d3f60' -draw 'rectangle 10,7 12,13' -draw 'rectangle 29,7 31,13' \
    -fill '#9aa7b4' \
    -draw 'rectangle 8,22 12,25' -draw 'rectangle 15,22 19,25' -draw 'rectangle 22,22 26,25' \
    -draw 'rectangle 8,28 12,31' -draw 'rectangle 15,28 19,31' \
    -draw 'rectangle 8,34 12,37' -draw 'rectangle 15,34 19,37' \
    -stroke '#f2a516' -strokewidth 2 \
    -draw 'line 35,22 35,18' -draw 'line 35,42 35,46' -draw 'line 25,32 21,32' -draw 'line 45,32 49,32' \
    -draw 'line 28,25 25,22' -draw 'line 42,25 45,22' -draw 'line 28,39 25,42' -draw 'line 42,39 45,42' \
    -fill '#ffc93c' -stroke '#e08a00' -strokewidth 1 -draw 'circle 35,32 35,25' \
    -stroke '#7a4a00' -strokewidth 1 -draw 'line 35,32 35,27' -draw 'line 35,32 39,32' \
    $PLAIN -type TrueColor PNG24:"$RES/icon128.png"

# The .ico carries the same drawing at the sizes a desktop asks for.
$CONVERT "$RES/icon128.png" \
    \( -clone 0 -resize 32x32 \) \( -clone 0 -resize 16x16 \) \
    -strip "$RES/velmora.ico"

# --- Banner: name, purpose and the emblem on an evening-sky gradient ----------
$CONVERT -size 136x635 gradient:'#17385c'-'#3f7fb5' -rotate 90 \
    -fill '#ffffff20' -stroke none -draw 'circle 68,68 68,-2' \
    -stroke '#f2a516' -strokewidth 4 \
    -draw 'line 68,24 68,12' -draw 'line 68,112 68,124' -draw 'line 24,68 12,68' -draw 'line 112,68 124,68' \
    -draw 'line 37,37 29,29' -draw 'line 99,37 107,29' -draw 'line 37,99 29,107' -draw 'line 99,99 107,107' \
    -fill '#ffc93c' -stroke '#e08a00' -strokewidth 2 -draw 'circle 68,68 68,32' \
    -stroke '#7a4a00' -strokewidth 4 -draw 'line 68,68 68,44' -draw 'line 68,68 86,68' \
    -fill '#fbfbf7' -stroke '#1d3f60' -strokewidth 2 -draw 'roundrectangle 82,78 120,116 4,4' \
    -fill '#c8412f' -stroke none -draw 'rectangle 83,79 119,88' \
    -fill '#1d3f60' -font "$BOLD" -pointsize 18 -gravity NorthWest -annotate +93+91 '15' \
    -fill '#ffffff' -font "$BOLD" -pointsize 56 -annotate +150+16 'Velmora' \
    -fill '#d9e6f2' -font "$SANS" -pointsize 20 -annotate +152+84 'Daylight saving time tables for your devices' \
    -fill '#a9c2d9' -font "$SANS" -pointsize 12 -gravity SouthEast -annotate +12+8 'Version 1.30' \
    "$WORK/banner.png"

# An 8-bit palette of exactly 256 entries, no RLE, rows stored bottom-up (BMP3
# writes a positive height).
$CONVERT "$WORK/banner.png" -alpha off +dither -colors 256 -type Palette \
    -compress None -strip BMP3:"$RES/banner137.bmp"
