#!/usr/bin/env bash
# Renders data/icons/tavel.svg into the PNG sizes the package installs (the PNGs are kept in
# the repository, so building needs no SVG renderer). Run after editing the SVG; needs
# rsvg-convert (Debian: librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 22 24 32 48 64 128 256 512; do
  rsvg-convert --width "$size" --height "$size" tavel.svg --output "tavel-$size.png"
done
ls -l tavel-*.png
