#!/usr/bin/env bash
# Installs what is missing, builds Tabrelium and runs its main job: the LCD
# preview of the example product list. Any arguments replace that job's
# command line, e.g. scripts/run.sh cells examples/products.csv
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABRELIUM_BUILD_TESTS=OFF >/dev/null
cmake --build build --target tabrelium-cli >/dev/null
if [[ $# -eq 0 ]]; then
  set -- preview examples/products.csv
fi
exec build/cli/tabrelium-cli "$@"
