#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its two hand-drawn SVG sources with
# rsvg-convert (Debian package librsvg2-bin). The PNGs are kept in the repository, so building
# and installing need no rasterizer; run this again from anywhere after changing an SVG.
set -euo pipefail
cd "$(dirname "$0")"

name=tolvan-file-explorer
large=hicolor/scalable/apps/$name.svg
small=$name-16.svg

for size in 16 22 24 32 48 64 128 256; do
    source=$large
    [ "$size" -eq 16 ] && source=$small
    mkdir -p "hicolor/${size}x${size}/apps"
    rsvg-convert --width "$size" --height "$size" --format png \
        --output "hicolor/${size}x${size}/apps/$name.png" "$source"
done
