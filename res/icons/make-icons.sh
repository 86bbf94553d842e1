#!/usr/bin/env bash
# Draws the application icon (a speech bubble with three dots on a blue tile) once at 512 px and
# scales it down to the five sizes the windows use. Run it again only to change the drawing; the
# PNGs it writes are committed.
set -euo pipefail
cd "$(dirname "$0")"

master=$(mktemp --suffix=.png)
trap 'rm -f "$master"' EXIT

convert -size 512x512 xc:none \
    -fill '#1f5fa8' -draw 'roundrectangle 16,16 496,496 96,96' \
    -fill '#3b82d0' -draw 'roundrectangle 16,16 496,280 96,96' \
    -fill '#1f5fa8' -draw 'rectangle 16,200 496,280' \
    -fill white -draw 'roundrectangle 88,112 424,344 64,64' \
    -fill white -draw 'polygon 152,330 136,432 248,336' \
    -fill '#1f5fa8' -draw 'circle 172,228 172,260' \
    -draw 'circle 256,228 256,260' \
    -draw 'circle 340,228 340,260' \
    "$master"

for size in 16 32 48 64 128; do
    convert "$master" -filter Lanczos -resize "${size}x${size}" -strip "PNG32:vantrel-$size.png"
done
