#!/usr/bin/env bash
# Makes the Windows Installer package (MSI) of a folder of files with Debian's wixl, from
# tools/windows/lindavex.wxs, and signs it like the rest of the package when a certificate is
# given (tools/windows/sign.sh).
#   make-msi.sh FOLDER VERSION OUT.msi
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
folder=$(cd "$1" && pwd)
version=$2
out=$3
for tool in wixl wixl-heat msibuild msiinfo; do
    if ! command -v "$tool" >/dev/null; then
        echo "make-msi.sh: $tool is missing (Debian: wixl, msitools)" >&2
        exit 1
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# wixl takes sources by paths relative to where it runs.
ln -s "$folder" "$work/archivos"
cp "$here/lindavex.ico" "$work/"
(cd "$folder" && find . -type f | LC_ALL=C sort | sed 's|^\./||') |
    wixl-heat --prefix '' --directory-ref INSTALLDIR --component-group Archivos \
        --var var.Origen --win64 >"$work/archivos.wxs"
(cd "$work" && wixl -a x64 -D Version="$version" -D Origen=archivos -D Win64=yes \
    -o paquete.msi "$here/lindavex.wxs" archivos.wxs)
# wixl leaves out MajorUpgrade's AllowSameVersionUpgrades: the upgrade row gets its maximum
# version inclusive (512), so that a rebuild of the same version, with a product code of its
# own, replaces the installed one instead of being registered beside it.
msiinfo export "$work/paquete.msi" Upgrade |
    sed 's/\t1\t\tWIX_UPGRADE_DETECTED\r$/\t513\t\tWIX_UPGRADE_DETECTED\r/' >"$work/Upgrade.idt"
grep -q '	513		WIX_UPGRADE_DETECTED' "$work/Upgrade.idt" || {
    echo "make-msi.sh: no upgrade row from wixl" >&2
    exit 1
}
msibuild "$work/paquete.msi" -i "$work/Upgrade.idt"
# wixl writes English (1033) as the package's language whatever the source says; the summary
# gets Spanish (3082), and keeps its package code.
code=$(msiinfo suminfo "$work/paquete.msi" | sed -n 's/^Revision number (UUID): //p')
msibuild "$work/paquete.msi" -s "Exportar e importar datos entre Morvalen y Pincel-rIdaz" \
    Lindavex "x64;3082" "$code"
"$here/sign.sh" "$work/paquete.msi"
mv "$work/paquete.msi" "$out"
