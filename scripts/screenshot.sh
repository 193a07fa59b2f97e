#!/usr/bin/env bash
# Photographs the window as a worker first sees it, with examples/products.csv
# loaded, on two shop screens: docs/window-1366x768.png and
# docs/window-1024x640.png (the README's pictures). Each screen is a virtual
# X display (Xvfb) with a window manager (openbox), so the pictures show the
# window's frame and the room it takes on that screen.
#
#   scripts/screenshot.sh     (BUILD_DIR: the build folder, default build)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build="${BUILD_DIR:-build}"

scripts/install-deps.sh --test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABRELIUM_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target tabrelium >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# The picture shows the file's path: a neutral one, not where this machine
# keeps the project.
shown=/tmp/tabrelium-example
rm -rf "$shown"
mkdir -p "$shown"
cp examples/products.csv "$shown/products.csv"

display=97
for screen in 1366x768 1024x640; do
  display=$((display + 1))
  Xvfb ":$display" -screen 0 "${screen}x24" -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do
    DISPLAY=":$display" xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.1
  done
  DISPLAY=":$display" openbox >/dev/null 2>&1 &
  pids+=($!)
  # A window mapped before the window manager runs may never be framed.
  for _ in $(seq 50); do
    DISPLAY=":$display" xdotool search --name '^Openbox$' >/dev/null 2>&1 && break
    sleep 0.1
  done
  # A first run: the built-in fields and no remembered window size.
  mkdir -p "$work/config-$screen"
  (cd "$shown" && DISPLAY=":$display" XDG_CONFIG_HOME="$work/config-$screen" \
    exec "$repo/$build/app/tabrelium" products.csv >/dev/null 2>&1) &
  app=$!
  pids+=($app)
  if ! DISPLAY=":$display" timeout 60 xdotool search --sync --onlyvisible --name 'Tabrelium' >/dev/null; then
    echo "screenshot.sh: the window did not show on the ${screen} screen" >&2
    exit 1
  fi
  sleep 2  # the first paint, and the window manager's frame
  DISPLAY=":$display" import -window root "docs/window-$screen.png"
  kill "$app" 2>/dev/null || true
  echo "docs/window-$screen.png"
done
rm -rf "$shown"
