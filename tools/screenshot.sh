#!/usr/bin/env bash
# Takes a screenshot of the free-running window under Xvfb and saves it as docs/lindavex.png.
#   tools/screenshot.sh [BUILD_DIR]     (default: build)
# Needs Debian's xvfb, x11-utils and imagemagick (all in ./run's package list).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
program="$build/shell/lindavex"
[ -x "$program" ] || { echo "no $program: build first (./run example)" >&2; exit 1; }

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
export DISPLAY=":$display"

# A copy in a scratch folder, so that nothing is written beside the real program.
cp "$program" "$work/lindavex"
"$work/lindavex" >/dev/null 2>&1 &
app=$!
id=
for _ in $(seq 100); do
    id=$(xwininfo -root -children 2>/dev/null |
        sed -n 's/^ *\(0x[0-9a-f]*\) "Exportar e importar datos entre Morvalen y Pincel-rIdaz".*/\1/p' |
        head -1)
    [ -n "$id" ] && break
    sleep 0.1
done
[ -n "$id" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 1  # let it paint
mkdir -p "$top/docs"
import -window "$id" "$top/docs/lindavex.png"
echo "saved $top/docs/lindavex.png"
