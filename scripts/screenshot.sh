#!/usr/bin/env bash
# Renders the window with examples/products.csv loaded into docs/window.png
# (the README's picture), on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABRELIUM_BUILD_TESTS=OFF >/dev/null
cmake --build build --target window_screenshot >/dev/null
build/tools/screenshot/window_screenshot examples/products.csv docs/window.png
echo "docs/window.png"
