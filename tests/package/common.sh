# shellcheck shell=bash disable=SC2154
# What the package tests share; sourced with build (the build folder) and WINE (what runs a
# Windows program: wine64, or tools/windows/wine-test.sh) set. Each test gets a scratch folder
# in the build folder with a Wine prefix of its own, so that what a previous run or another test
# left in the registry, the Start menu or Program Files changes nothing, and a throwaway
# code-signing certificate.
work=$(mktemp -d "$build/package-test.XXXXXX")
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
# No Linux menu entries for the shortcuts, no .NET or Gecko downloads for the new prefix.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
wineserver=/usr/lib/wine/wineserver
cleanup() {
    "$wineserver" -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*" >&2
    exit 1
}
drive_c=$WINEPREFIX/drive_c
# A folder's Windows path: on drive C: when it is in the prefix's, else on Z:.
windows() {
    case "$1" in
    "$drive_c"/*) local rest=${1#"$drive_c"} && printf 'C:%s' "${rest//\//\\}" ;;
    *) printf 'Z:%s' "${1//\//\\}" ;;
    esac
}
# Every file under a folder with its checksum, sorted.
files() { (cd "$1" && find . -type f -exec md5sum {} + | sort); }
# A product's folder as schools have it: the program, its settings and files whose names the
# package also uses in a folder of its own.
product_folder() {
    mkdir -p "$1/translations"
    printf 'producto' >"$1/Morvalen.exe"
    printf '; RV17\r\n[Transformadores]\r\nTransformado=1\r\n' >"$1/Morvalen.ini"
    printf 'suyo' >"$1/Uninstall.exe"
    printf 'otro' >"$1/translations/otro.qm"
}
# The Start-menu entries named Lindavex (Wine puts an MSI's per-machine entries among the
# user's programs, Windows among everyone's).
start_menu_entries() { find "$drive_c" -path '*/Start Menu/Programs/Lindavex.lnk'; }
# A value under HKEY_LOCAL_MACHINE (the 64-bit view), empty when absent.
registry_value() {
    "$WINE" reg query "HKLM\\$1" /v "$2" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Lindavex prueba" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
    -passout pass:una-clave
export LINDAVEX_SIGN_PFX=$work/cert.pfx LINDAVEX_SIGN_PASSWORD=una-clave
unset LINDAVEX_SIGN_TIMESTAMP
verified() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >/dev/null 2>&1; }
# The files of a package each with the same bytes in FOLDER, the programs and libraries signed
# and both programs with their manifest; prints how many were signed.
check_installed() { # STAGED FOLDER
    local signed=0 sum name exe part
    while read -r sum name; do
        [ "$(md5sum <"$2/$name" | cut -d' ' -f1)" = "$sum" ] || fail "$name not installed in $2"
        case "$name" in
        *.exe | *.dll)
            verified "$2/$name" || fail "$name is not signed"
            signed=$((signed + 1))
            ;;
        esac
    done < <(files "$1")
    [ "$signed" -ge 8 ] || fail "only $signed programs and libraries installed"
    for exe in lindavex.exe lindavex-cli.exe; do
        for part in 'level="asInvoker"' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' '<longPathAware'; do
            grep -qF -- "$part" "$2/$exe" || fail "$exe: no $part in its manifest"
        done
    done
    echo "$signed"
}

"$WINE" wineboot --init >/dev/null 2>&1
