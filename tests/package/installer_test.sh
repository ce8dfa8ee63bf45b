#!/usr/bin/env bash
# The installer, silently into a product's folder whose name has a space, then its uninstaller:
# every packaged file arrives with its bytes, then goes; the product's own files stay as they
# were, whatever their names.
#   installer_test.sh BUILD_DIR WINE
set -euo pipefail
build=$1
wine=$2
work=$(mktemp -d "$build/installer-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAILED: $*" >&2
    exit 1
}
windows() { printf 'Z:%s' "${1//\//\\}"; }
# /D= must come last and unquoted, spaces and all, which a batch file keeps as written.
run() {
    printf '%s\r\n' "$1" >"$work/run.bat"
    "$wine" cmd /c "$(windows "$work/run.bat")" >/dev/null
}
files() { (cd "$1" && find . -type f -exec md5sum {} + | sort); }

cpack -G NSIS --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
setup=$(echo "$work"/package/lindavex-*-setup.exe)
packaged=$(echo "$work"/package/_CPack_Packages/*/NSIS/lindavex-*-setup)
[ -f "$setup" ] && [ -d "$packaged" ] || fail "no installer made"

product="$work/Morvalen RV17"
mkdir -p "$product/translations"
printf 'producto' >"$product/Morvalen.exe"
printf '; RV17\r\n[Transformadores]\r\nTransformado=1\r\n' >"$product/Morvalen.ini"
printf 'suyo' >"$product/Uninstall.exe"
printf 'otro' >"$product/translations/otro.qm"
before=$(files "$product")

run "\"$(windows "$setup")\" /S /D=$(windows "$product")"
uninstaller="$product/desinstalar-lindavex.exe"
[ -f "$uninstaller" ] || fail "no uninstaller in the product's folder"
while read -r sum name; do
    [ "$(md5sum <"$product/$name" | cut -d' ' -f1)" = "$sum" ] || fail "$name not installed"
done < <(files "$packaged")
[ "$(files "$product" | grep -v -F -f <(files "$packaged") | grep -v desinstalar)" = "$before" ] ||
    fail "the installer changed the product's own files"

# _?= keeps the uninstaller in place (it waits, and so cannot remove itself).
run "\"$(windows "$uninstaller")\" /S _?=$(windows "$product")"
rm "$uninstaller"
[ "$(files "$product")" = "$before" ] || fail "the uninstaller left or took files: $(files "$product")"
echo "installer: ok"
