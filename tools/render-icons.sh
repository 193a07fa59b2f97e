#!/usr/bin/env bash
# Renders the application icon's PNGs into res/icons/ from the hand-drawn
# SVGs: 16 px from res/tabrelium-16.svg (drawn pixel by pixel, since the
# large drawing blurs at that size), every other size from res/tabrelium.svg.
# The PNGs are committed, so building never needs the renderer; run this
# after changing either SVG. Installs rsvg-convert (librsvg2-bin) if missing.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v rsvg-convert >/dev/null; then
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  echo "Installing: librsvg2-bin"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends librsvg2-bin >/dev/null
fi

mkdir -p res/icons
for size in 16 32 48 64 128 256; do
  source=res/tabrelium.svg
  [[ $size -eq 16 ]] && source=res/tabrelium-16.svg
  rsvg-convert --width "$size" --height "$size" --output "res/icons/tabrelium-$size.png" "$source"
  echo "res/icons/tabrelium-$size.png"
done
