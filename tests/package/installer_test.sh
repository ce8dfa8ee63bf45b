#!/usr/bin/env bash
# The NSIS installer, signed with a throwaway certificate, in a Wine prefix of its own:
# - silently into a product's folder whose name has a space: every packaged file arrives with its
#   bytes, signed, and both programs carry their manifest; the product's own files stay as they
#   were, whatever their names; the Start-menu entry "Lindavex" exists, and the folder is
#   remembered, so that the next installation without /D goes there again;
# - its uninstaller: the packaged files, the entry and the remembered folder go, the product's
#   files stay;
# - the folder it proposes without /D, interactively on its own X display: the prefix's product
#   folder under Program Files (x86) that holds "Morvalen.ini", and without one
#   C:\Program Files (x86)\Morvalen, for which it warns and lets the user go on or not.
# The installer and the uninstaller it writes carry a signature that osslsigncode verifies.
#   installer_test.sh BUILD_DIR WINE
set -euo pipefail
build=$1
WINE=$2
. "$(dirname "$0")/common.sh"
# /D= must come last and unquoted, spaces and all, which a batch file keeps as written.
run() {
    printf '%s\r\n' "$1" >"$work/run.bat"
    "$WINE" cmd /c "$(windows "$work/run.bat")" >/dev/null
}
# _?= keeps the uninstaller in place (it waits, and so cannot remove itself).
uninstall() {
    run "\"$(windows "$1/desinstalar-lindavex.exe")\" /S _?=$(windows "$1")"
    rm "$1/desinstalar-lindavex.exe"
}

cpack -G NSIS --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
setup=$(echo "$work"/package/lindavex-*-setup.exe)
packaged=$(echo "$work"/package/_CPack_Packages/*/NSIS/lindavex-*-setup)
[ -f "$setup" ] && [ -d "$packaged" ] || fail "no installer made"
verified "$setup" || fail "the installer is not signed"

product="$work/Morvalen RV17"
product_folder "$product"
before=$(files "$product")

run "\"$(windows "$setup")\" /S /D=$(windows "$product")"
uninstaller="$product/desinstalar-lindavex.exe"
[ -f "$uninstaller" ] || fail "no uninstaller in the product's folder"
signed=$(check_installed "$packaged" "$product")
verified "$uninstaller" || fail "the uninstaller is not signed"
[ "$(files "$product" | grep -v -F -f <(files "$packaged") | grep -v desinstalar)" = "$before" ] ||
    fail "the installer changed the product's own files"
[ "$(start_menu_entries)" = "$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Lindavex.lnk" ] ||
    fail "no Start-menu entry Lindavex for every user: $(start_menu_entries)"
[ "$(registry_value 'Software\Lindavex' InstallDir)" = "$(windows "$product")" ] ||
    fail "the folder is not remembered: $(registry_value 'Software\Lindavex' InstallDir)"
[ "$(registry_value 'Software\Microsoft\Windows\CurrentVersion\Uninstall\Lindavex' QuietUninstallString)" = \
    "\"$(windows "$uninstaller")\" /S" ] || fail "no quiet uninstall command registered"

# Again without /D: into the remembered folder, not the default one.
rm "$product/lindavex-cli.exe"
"$WINE" "$(windows "$setup")" /S
[ -f "$product/lindavex-cli.exe" ] || fail "a second installation did not go to the remembered folder"
[ ! -e "$drive_c/Program Files (x86)/Morvalen" ] || fail "a second installation went to the default folder"

uninstall "$product"
[ "$(files "$product")" = "$before" ] || fail "the uninstaller left or took files: $(files "$product")"
[ -z "$(start_menu_entries)" ] || fail "the uninstaller left the Start-menu entry"
[ -z "$(registry_value 'Software\Lindavex' InstallDir)" ] || fail "the uninstaller left the remembered folder"

# The interactive installer, driven by clicks: without a window manager clicks reach Wine's
# windows, keys do not. Its window has NSIS's fixed layout, "Instalar" (then "Cerrar") at
# (359, 312); a message box's "Yes" and "No" sit centred on its last row.
visible() { xdotool search --onlyvisible --name Lindavex 2>/dev/null || true; }
wait_until() { # CONDITION FAILURE, for up to a minute
    local _
    for _ in $(seq 300); do
        eval "$1" && return 0
        sleep 0.2
    done
    fail "$2"
}
start_interactive() {
    "$WINE" "$(windows "$setup")" &
    installer=$!
    wait_until '[ "$(visible | wc -l)" = 1 ]' "the installer shows no window"
    main=$(visible)
}
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }
answer() { # Yes or No on the message box
    # shellcheck disable=SC2034 # all that getwindowgeometry sets
    local box WIDTH HEIGHT X Y SCREEN WINDOW
    box=$(visible | grep -vx "$main")
    eval "$(xdotool getwindowgeometry --shell "$box")"
    case $1 in
    Yes) click "$box" $((WIDTH / 2 - 30)) $((HEIGHT - 21)) ;;
    No) click "$box" $((WIDTH / 2 + 34)) $((HEIGHT - 21)) ;;
    esac
}
finish_interactive() { # "Cerrar", once the installation has made the Start-menu entry
    wait_until '[ -n "$(start_menu_entries)" ]' "the installation did not finish"
    wait_until 'click "$main" 359 312; [ -z "$(visible)" ]' "the installer did not close"
    wait "$installer"
}

# Without /D and nothing remembered: the folder of Program Files (x86) holding "Morvalen.ini"
# (another folder without one beside it), installed into without a warning.
mkdir -p "$drive_c/Program Files (x86)/Adobe" "$drive_c/Program Files (x86)/Morvalen RV17"
printf '; RV17\r\n' >"$drive_c/Program Files (x86)/Morvalen RV17/Morvalen.ini"
start_interactive
click "$main" 359 312
wait_until '[ -f "$drive_c/Program Files (x86)/Morvalen RV17/desinstalar-lindavex.exe" ]' \
    "no installation into the folder holding Morvalen.ini (or a warning about it)"
finish_interactive
check_installed "$packaged" "$drive_c/Program Files (x86)/Morvalen RV17" >/dev/null
uninstall "$drive_c/Program Files (x86)/Morvalen RV17"
rm -r "$drive_c/Program Files (x86)/Morvalen RV17"

# Else the default folder, which holds no "Morvalen.ini": the installer warns; "No" installs
# nothing and stays, "Yes" installs there.
default="$drive_c/Program Files (x86)/Morvalen"
start_interactive
click "$main" 359 312
wait_until '[ "$(visible | wc -l)" = 2 ]' "no warning for a folder without Morvalen.ini"
answer No
wait_until '[ "$(visible)" = "$main" ]' "the warning did not close"
[ ! -e "$default" ] || fail "installed although the user said no"
click "$main" 359 312
wait_until '[ "$(visible | wc -l)" = 2 ]' "no warning the second time"
answer Yes
finish_interactive
check_installed "$packaged" "$default" >/dev/null
echo "installer: ok, $signed files, the installer and the uninstaller signed, the folder proposed"
