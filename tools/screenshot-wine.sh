#!/usr/bin/env bash
# Takes a screenshot of the Windows build's free-running window under Wine and Xvfb and saves
# it as docs/lindavex-wine.png.
#   tools/screenshot-wine.sh [DIST_DIR]     (default: build-windows/dist, from ./run windows)
# Uses $WINEPREFIX when set, else a scratch 64-bit prefix made for the shot.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dist=${1:-$top/build-windows/dist}
[ -f "$dist/lindavex.exe" ] || { echo "no $dist/lindavex.exe: build first (./run windows)" >&2; exit 1; }
wine=/usr/lib/wine/wine64

display=
for n in $(seq 70 200); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free X display number" >&2; exit 1; }

work=$(mktemp -d)
Xvfb ":$display" -screen 0 800x400x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app 2>/dev/null || true; kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
app=
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX=$work/prefix WINEARCH=win64
    "$wine" wineboot --init >/dev/null 2>&1
fi

# A copy in a scratch folder, so that nothing is written beside the real program.
cp -r "$dist" "$work/dist"
"$wine" "$work/dist/lindavex.exe" >/dev/null 2>&1 &
app=$!
id=
for _ in $(seq 300); do
    id=$(xwininfo -root -children 2>/dev/null |
        sed -n 's/^ *\(0x[0-9a-f]*\) "Exportar e importar datos entre Morvalen y Pincel-rIdaz".*/\1/p' |
        head -1)
    [ -n "$id" ] && break
    sleep 0.1
done
[ -n "$id" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 2  # let it paint
mkdir -p "$top/docs"
import -window "$id" "$top/docs/lindavex-wine.png"
echo "saved $top/docs/lindavex-wine.png"
