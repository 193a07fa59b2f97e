#!/usr/bin/env bash
# Installs the Debian 12 packages Tabrelium needs, and only those missing;
# prints nothing when everything is there.
#   scripts/install-deps.sh          what building, packing and running need
#   scripts/install-deps.sh --test   also what the tests, fuzzers and benchmarks need
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config libhidapi-dev libudev-dev libzip-dev libexpat1-dev libgsf-1-dev libshp-dev
          qt6-base-dev fonts-noto-cjk dpkg-dev file)
if [[ "${1:-}" == "--test" ]]; then
  packages+=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev libxlsxwriter-dev
            python3-xlwt xvfb openbox xdotool imagemagick)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
