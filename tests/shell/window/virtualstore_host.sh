#!/usr/bin/env bash
# The Win32 host with the tool installed in the prefix's "C:\Program Files (x86)", whose folder
# and "Morvalen.ini" are made unwritable even for root (chattr +i), as Program Files is for a
# standard user; a scratch folder stands in for the user's %LOCALAPPDATA%.
#   virtualstore_host.sh WIN32_HOST STAGE
# Exit status 77 (skipped) where files cannot be made immutable (not root, not ext4).
set -euo pipefail
host=$1
stage=$2
prefix=${WINEPREFIX:-$HOME/.wine}
product="$prefix/drive_c/Program Files (x86)/Morvalen RV17"
local=$(mktemp -d)
release() {
    chattr -i "$product/Morvalen.ini" "$product" 2>/dev/null || true
    rm -rf "$product" "$local"
}
trap release EXIT
release # what an interrupted run left
mkdir -p "$product"
cp -al "$stage"/. "$product"/ # linked, not copied: only the folder and the ini are made immutable
rm -f "$product/Morvalen.ini"
printf '; Morvalen RV17\r\n[Rutas]\r\nTrabajo=C:\\WTEMP\r\n[Transformadores]\r\nTransformado=1\r\n' \
    >"$product/Morvalen.ini"
chattr +i "$product/Morvalen.ini" "$product" 2>/dev/null || exit 77
"$(dirname "$0")/../../../tools/windows/wine-test.sh" "$host" \
    'C:\Program Files (x86)\Morvalen RV17\lindavex.exe' virtualstore "Z:${local//\//\\}"
