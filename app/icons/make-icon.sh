#!/usr/bin/env bash
# Renders the window icon from its source: 64 x 64 pixels, an indexed PNG of at most 256 colours.
# Run it after changing wirelark.svg and commit both files.
set -euo pipefail
cd "$(dirname "$0")"
convert -background none -density 96 wirelark.svg -resize 64x64 -colors 256 PNG8:wirelark.png
identify wirelark.png
