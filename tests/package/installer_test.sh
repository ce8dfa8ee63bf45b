#!/usr/bin/env bash
# The installer, signed with a throwaway certificate, silently into a product's folder whose
# name has a space, then its uninstaller: every packaged file arrives with its bytes, then goes;
# the product's own files stay as they were, whatever their names. The installer, every .exe and
# .dll it installs and the uninstaller it writes carry a signature that osslsigncode verifies
# against that certificate, and both programs carry their manifest.
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
verified() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >/dev/null 2>&1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Lindavex prueba" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
    -passout pass:una-clave
LINDAVEX_SIGN_PFX=$work/cert.pfx LINDAVEX_SIGN_PASSWORD=una-clave \
    cpack -G NSIS --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
setup=$(echo "$work"/package/lindavex-*-setup.exe)
packaged=$(echo "$work"/package/_CPack_Packages/*/NSIS/lindavex-*-setup)
[ -f "$setup" ] && [ -d "$packaged" ] || fail "no installer made"
verified "$setup" || fail "the installer is not signed"

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
signed=0
while read -r sum name; do
    [ "$(md5sum <"$product/$name" | cut -d' ' -f1)" = "$sum" ] || fail "$name not installed"
    case "$name" in
    *.exe | *.dll)
        verified "$product/$name" || fail "$name is not signed"
        signed=$((signed + 1))
        ;;
    esac
done < <(files "$packaged")
[ "$signed" -ge 8 ] || fail "only $signed programs and libraries installed"
verified "$uninstaller" || fail "the uninstaller is not signed"
for exe in lindavex.exe lindavex-cli.exe; do
    for part in 'level="asInvoker"' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' '<longPathAware'; do
        grep -qF -- "$part" "$product/$exe" || fail "$exe: no $part in its manifest"
    done
done
[ "$(files "$product" | grep -v -F -f <(files "$packaged") | grep -v desinstalar)" = "$before" ] ||
    fail "the installer changed the product's own files"

# _?= keeps the uninstaller in place (it waits, and so cannot remove itself).
run "\"$(windows "$uninstaller")\" /S _?=$(windows "$product")"
rm "$uninstaller"
[ "$(files "$product")" = "$before" ] || fail "the uninstaller left or took files: $(files "$product")"
echo "installer: ok, $signed files, the installer and the uninstaller signed"
