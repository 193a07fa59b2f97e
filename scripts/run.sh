#!/usr/bin/env bash
# Installs what is missing, builds Tabrelium and opens its window with the
# example product list loaded (or the data file given as the argument).
# Where there is no display, it says so and shows the same file's LCD
# preview with tabrelium-cli instead.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABRELIUM_BUILD_TESTS=OFF >/dev/null
cmake --build build --target tabrelium tabrelium-cli >/dev/null
file=${1:-examples/products.csv}
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "No display here (neither DISPLAY nor WAYLAND_DISPLAY is set): showing the LCD preview" \
       "of $file with tabrelium-cli instead of opening the window." >&2
  exec build/cli/tabrelium-cli preview "$file"
fi
exec build/app/tabrelium "$file"
