#!/usr/bin/env bash
# The Windows lindavex-cli.exe, under Wine, writes the same work tables as the Linux
# lindavex-cli for the same centre files: every .DBF and .MDX byte for byte. The Windows run
# uses its default work folder, C:\WTEMP inside the Wine prefix.
#   same_tables_on_windows.sh LINUX_CLI GEN_CENTRE WINDOWS_BUILD EXAMPLE_XML
# Exits with 77 (skipped) when the Windows build has no lindavex-cli.exe.
set -euo pipefail
linux_cli=$1 gen_centre=$2 windows_build=$3 example=$4
windows_cli=$windows_build/cli/lindavex-cli.exe
if [ ! -f "$windows_cli" ]; then
    echo "no $windows_cli: build it with ./run windows" >&2
    exit 77
fi
windows_build=$(cd "$windows_build" && pwd)
windows_cli=$windows_build/cli/lindavex-cli.exe
export WINEPREFIX=$windows_build/wineprefix WINEARCH=win64 WINEDEBUG=-all
wine=/usr/lib/wine/wine64
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot --init >/dev/null 2>&1
wtemp=$WINEPREFIX/drive_c/WTEMP

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A name with letters outside ASCII, which the Windows program receives in UTF-16.
centres=("$scratch/centro de ejemplo ñ.xml" "$scratch/generado á.xml")
cp "$example" "${centres[0]}"
"$gen_centre" 2 "${centres[1]}"

failed=0
for centre in "${centres[@]}"; do
    # The tables carry the day they were written: both runs must fall on the same day.
    for attempt in 1 2; do
        day=$(date +%F)
        rm -rf "$wtemp" "$scratch/linux"
        mkdir -p "$wtemp" "$scratch/linux"
        env -u LINDAVEX_WORKDB "$wine" "$windows_cli" exportar "Z:$centre" >"$scratch/out" 2>&1 ||
            { cat "$scratch/out"; exit 1; }
        "$linux_cli" exportar "$centre" --workdb "$scratch/linux" >/dev/null
        [ "$(date +%F)" = "$day" ] && break
    done
    windows_files=$(cd "$wtemp" && ls | sort)
    linux_files=$(cd "$scratch/linux" && ls | sort)
    if [ "$windows_files" != "$linux_files" ]; then
        echo "$(basename "$centre"): different files: Windows [$windows_files] Linux [$linux_files]"
        failed=1
        continue
    fi
    for file in $linux_files; do
        case $file in *.DBF | *.MDX) ;; *) continue ;; esac
        if ! cmp "$wtemp/$file" "$scratch/linux/$file"; then
            echo "$(basename "$centre"): $file differs"
            failed=1
        fi
    done
    echo "$(basename "$centre"): $(echo $linux_files | wc -w) files compared"
done
exit $failed
