#!/bin/sh
# Draws the committed 128-pixel PNG icon from the SVG (package librsvg2-bin).
set -e
cd "$(dirname "$0")/../packaging"
rsvg-convert -w 128 -h 128 korvani.svg -o korvani.png
