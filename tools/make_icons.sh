#!/usr/bin/env bash
# Draws the application icon, the knot of examples/knot.ply as a thumbnail shows it, at every
# size the menu entry's icon theme holds, into desktop/icons/<N>x<N>/corvath.png.
#   tools/make_icons.sh [PATH_TO_CORVATH_RENDER]   (default build/corvath-render)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
render=${1:-$root/build/corvath-render}
for size in 16 22 24 32 48 64 128 256 512; do
  mkdir -p "$root/desktop/icons/${size}x$size"
  "$render" --thumbnail "$size" "$root/examples/knot.ply" "$root/desktop/icons/${size}x$size/corvath.png" \
    --angles 210,7,90 >/dev/null
done
