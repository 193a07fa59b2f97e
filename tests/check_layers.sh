#!/usr/bin/env bash
# The architecture, checked: each folder includes only the folders it is
# built on, the engine and the CLI include no Qt, the front ends cut no
# text themselves (the session does), and each outside library is included
# by its one file. Prints every breach and fails when there is one.
#   check_layers.sh [PROJECT_FOLDER]
set -uo pipefail
cd "${1:-$(dirname "$0")/..}" || exit 2

# folder: the project folders its files may include.
declare -A allowed=(
  [common]="common"
  [config]="common config"
  [sheets]="common sheets"
  [data]="common config sheets device data"
  [device]="common device"
  [cli]="common config data device cli"
  [app]="common config data device app"
  [tools/hidemu]="common device tools"
)

breaches=0
breach() {
  echo "$1"
  breaches=$((breaches + 1))
}

for folder in "${!allowed[@]}"; do
  while IFS=: read -r file line text; do
    included=${text#*\"}
    included=${included%%/*}
    [[ " ${allowed[$folder]} " == *" $included "* ]] ||
      breach "$file:$line: $folder/ may not include $included/ ($text)"
  done < <(grep -rnE '^#include "[a-z_]+/' --include='*.h' --include='*.cpp' "$folder")
done

# No Qt below the window.
while IFS= read -r hit; do
  breach "$hit: Qt below the window"
done < <(grep -rnE '^#include <(Q[A-Za-z]+|qt[a-z]*/)' --include='*.h' --include='*.cpp' \
           common config sheets data device cli)

# The front ends go through the session for every cut.
while IFS= read -r hit; do
  breach "$hit: a front end calls a cutting step; the session does that"
done < <(grep -rnwE 'CountTextLines|DetectSeparator|ClampStartLine|BuildCellTable|RecountFields|CutLoadedText|RecutForSeparator|RecutForStartLine' \
           --include='*.h' --include='*.cpp' cli app)

# Each outside library is touched by one file (the emulator stands in for HIDAPI).
declare -A owner=(
  ["hidapi/hidapi.h"]="device/hid_link.cpp tools/hidemu/hidapi_emu.cpp"
  ["libudev.h"]="device/udev_device_watch.cpp"
  ["zip.h"]="sheets/zip_package.cpp"
  ["expat.h"]="sheets/xml_part.cpp"
  ["gsf/gsf-infile-msole.h"]="sheets/xls_container.cpp"
  ["gsf/gsf-input-memory.h"]="sheets/xls_container.cpp"
  ["gsf/gsf-input-stdio.h"]="sheets/xls_container.cpp"
  ["shapefil.h"]="sheets/dbf_reader.cpp"
)
for header in "${!owner[@]}"; do
  while IFS= read -r file; do
    [[ " ${owner[$header]} " == *" $file "* ]] || breach "$file: includes <$header>, which is ${owner[$header]%% *}'s alone"
  done < <(grep -rlF "#include <$header>" --include='*.h' --include='*.cpp' \
             common config sheets data device cli app tools)
done

if ((breaches > 0)); then
  echo "$breaches breach(es) of the layering"
  exit 1
fi
echo "layering holds"
