#!/usr/bin/env bash
# Builds the Debian package from a build folder configured with the prefix
# /usr, installs it with dpkg -i after installing the dependencies it
# declares, runs the installed tabrelium-cli (--version, and a preview of the
# example), and removes the package again.
#   scripts/package-test.sh BUILD_FOLDER
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: scripts/package-test.sh BUILD_FOLDER}

rm -f "$build"/tabrelium_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/tabrelium_*.deb)
deb=${debs[0]}
[[ -f "$deb" ]] || { echo "no package was made in $build"; exit 1; }
echo "-- $(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"

# A Tabrelium installed on this machine is the user's: never replaced here.
if [[ "$(dpkg-query -W -f='${Status}' tabrelium 2>/dev/null || true)" == "install ok installed" ]]; then
  echo "-- tabrelium is installed on this machine already: the package was built, not tried"
  exit 0
fi

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
# "libfoo (>= 1.2), libbar | libbaz" -> libfoo libbar: the first of each choice.
mapfile -t depends < <(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed -E 's/\|.*//; s/\(.*\)//; s/ //g' | grep .)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${depends[@]}" >/dev/null
"${sudo[@]}" dpkg -i "$deb" >/dev/null
removed=0
remove() { ((removed)) || "${sudo[@]}" dpkg -r tabrelium >/dev/null; removed=1; }
trap remove EXIT

version=$(/usr/bin/tabrelium-cli --version)
[[ "$version" == "tabrelium-cli $(dpkg-deb -f "$deb" Version)" ]] ||
  { echo "the installed tabrelium-cli says '$version'"; exit 1; }
[[ -f /usr/lib/udev/rules.d/70-tabrelium.rules ]] || { echo "the udev rule is not installed"; exit 1; }
config=$(mktemp -d)
preview=$(XDG_CONFIG_HOME="$config" /usr/bin/tabrelium-cli preview examples/products.csv)
rm -rf "$config"
[[ -n "$preview" ]] || { echo "the installed tabrelium-cli previewed nothing"; exit 1; }
echo "-- installed: $version; preview of record 1:"
echo "$preview" | sed 's/^/   /'
remove
! dpkg-query -W -f='${Status}' tabrelium 2>/dev/null | grep -q "install ok installed" ||
  { echo "the package was not removed"; exit 1; }
echo "-- removed again"
