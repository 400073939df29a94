#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG source with
# ImageMagick. The PNGs are committed, so the build needs no SVG renderer;
# run this only after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 256; do
  convert -background none -density 384 quenor-cleaner.svg -resize "${size}x${size}" \
    -depth 8 -define png:exclude-chunks=date,time "PNG32:quenor-cleaner-${size}.png"
done
# The Windows executable carries all sizes in one icon file.
convert quenor-cleaner-16.png quenor-cleaner-24.png quenor-cleaner-32.png quenor-cleaner-48.png \
  quenor-cleaner-256.png quenor-cleaner.ico
