#!/usr/bin/env bash
# The MSI, made by tools/windows/make-msi.sh from the installed files signed with a throwaway
# certificate, and an older one (version 0.0.1: the program with other bytes, a file of a
# subfolder with other bytes, and a file the newer one lacks):
# - its tables: the version, Spanish, per machine, one UpgradeCode for both with a new
#   ProductCode each, the major upgrade and its Spanish refusal of a downgrade, the Start-menu
#   entry;
# - in a Wine prefix of its own, silently: the older one into a product's folder under Program
#   Files (x86) holding "Morvalen.ini" (INSTALLDIR), then the newer one without INSTALLDIR, which
#   replaces it in place: every file with its bytes and signature, the older one's extra file
#   gone, one installation registered, the Start-menu entry; a rebuild of the same version
#   replaces it as well; the older one then refuses; the uninstall by product code removes
#   exactly that, and the product's files, "Morvalen.ini" and the work database with its copies
#   stay as they were.
#   msi_test.sh BUILD_DIR WINE VERSION
set -euo pipefail
build=$1
WINE=$2
version=$3
. "$(dirname "$0")/common.sh"
tools=$(cd "$(dirname "$0")/../../tools/windows" && pwd)
rows() { msiinfo export "$1" "$2" | tail -n +4 | tr -d '\r'; }
property() { rows "$1" Property | sed -n "s/^$2\t//p"; }

stage=$work/stage
cmake --install "$build" --prefix "$stage" >/dev/null
"$tools/sign.sh" --tree "$stage"
"$tools/make-msi.sh" "$stage" "$version" "$work/lindavex.msi"
mkdir -p "$work/old/translations"
printf 'viejo' >"$work/old/lindavex.exe"
printf 'viejo' >"$work/old/translations/qtbase_es.qm"
printf 'obsoleto' >"$work/old/obsoleto.txt"
"$tools/make-msi.sh" "$work/old" 0.0.1 "$work/old.msi"
msi=$work/lindavex.msi
verified "$msi" || fail "the MSI is not signed"

# The tables.
upgrade=$(property "$msi" UpgradeCode)
product_code=$(property "$msi" ProductCode)
[ -n "$upgrade" ] && [ "$(property "$work/old.msi" UpgradeCode)" = "$upgrade" ] ||
    fail "not one UpgradeCode for both versions"
[ "$(property "$work/old.msi" ProductCode)" != "$product_code" ] || fail "one ProductCode for both"
[ "$(property "$msi" ProductVersion)" = "$version" ] || fail "not version $version"
[ "$(property "$msi" ProductLanguage)" = 3082 ] || fail "not in Spanish"
[ "$(property "$msi" ALLUSERS)" = 1 ] || fail "not per machine"
msiinfo suminfo "$msi" | grep -qx 'Template: x64;3082' || fail "not a 64-bit Spanish package"
rows "$msi" Upgrade | grep -qP "^\Q$upgrade\E\t\t\Q$version\E\t\t513\t\tWIX_UPGRADE_DETECTED$" ||
    fail "no upgrade of lower versions and the same one: $(rows "$msi" Upgrade)"
rows "$msi" Upgrade | grep -qP "^\Q$upgrade\E\t\Q$version\E\t\t\t2\t\tWIX_DOWNGRADE_DETECTED$" ||
    fail "no detection of higher versions: $(rows "$msi" Upgrade)"
rows "$msi" LaunchCondition | grep -q '^NOT WIX_DOWNGRADE_DETECTED	Ya está instalada una versión más reciente de Lindavex' ||
    fail "no Spanish refusal of a downgrade: $(rows "$msi" LaunchCondition)"
rows "$msi" Shortcut | grep -qP '^Lindavex\tProgramMenuFolder\tLindavex\t\w+\t\[INSTALLDIR\]lindavex\.exe\t' ||
    fail "no Start-menu entry: $(rows "$msi" Shortcut)"

product="$drive_c/Program Files (x86)/Morvalen RV17"
product_folder "$product"
workdb=$drive_c/WTEMP
mkdir -p "$workdb/LINDAVEX-COPIAS/2026-12-09_154812"
printf 'tabla' >"$workdb/PROFT.DBF"
printf 'copia' >"$workdb/LINDAVEX-COPIAS/2026-12-09_154812/PROFT.DBF"
before=$(files "$product")
before_workdb=$(files "$workdb")
installations() {
    "$WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' |
        grep -cP '^ +DisplayName +REG_SZ +Lindavex$' || true
}

"$WINE" msiexec /i "$(windows "$work/old.msi")" /qn "INSTALLDIR=$(windows "$product")" ||
    fail "the older MSI did not install"
[ "$(cat "$product/obsoleto.txt")" = obsoleto ] || fail "the older MSI did not install its files"
"$WINE" msiexec /i "$(windows "$msi")" /qn || fail "the upgrade failed"
signed=$(check_installed "$stage" "$product")
[ ! -e "$product/obsoleto.txt" ] || fail "the upgrade left the older package's file"
[ "$(files "$product" | grep -v -F -f <(files "$stage"))" = "$before" ] ||
    fail "the MSI changed the product's own files"
[ "$(installations)" = 1 ] || fail "$(installations) installations registered after the upgrade"
[ "$(start_menu_entries | wc -l)" = 1 ] || fail "no Start-menu entry Lindavex: $(start_menu_entries)"
[ "$(registry_value 'Software\Lindavex' InstallDir)" = "$(windows "$product")\\" ] ||
    fail "the folder is not remembered: $(registry_value 'Software\Lindavex' InstallDir)"
installed=$(files "$product")

# A rebuild of the same version, with a product code of its own, replaces it too.
"$tools/make-msi.sh" "$stage" "$version" "$work/rebuilt.msi"
"$WINE" msiexec /i "$(windows "$work/rebuilt.msi")" /qn || fail "the rebuild did not install"
[ "$(installations)" = 1 ] || fail "a rebuild of the same version was registered beside the other"
[ "$(files "$product")" = "$installed" ] || fail "the rebuild changed files"
product_code=$(property "$work/rebuilt.msi" ProductCode)

if "$WINE" msiexec /i "$(windows "$work/old.msi")" /qn; then
    fail "the older MSI installed over the newer one"
fi
[ "$(files "$product")" = "$installed" ] || fail "the refused downgrade changed files"

"$WINE" msiexec /x "$product_code" /qn || fail "the uninstall failed"
[ "$(files "$product")" = "$before" ] || fail "the uninstall left or took files: $(files "$product")"
[ "$(files "$workdb")" = "$before_workdb" ] || fail "the uninstall changed the work database"
[ -z "$(start_menu_entries)" ] || fail "the uninstall left the Start-menu entry"
[ -z "$(registry_value 'Software\Lindavex' InstallDir)" ] || fail "the uninstall left the remembered folder"
[ "$(installations)" = 0 ] || fail "the uninstall left the installation registered"
echo "msi: ok, $signed files signed, upgraded in place, downgrade refused, uninstalled"
