#!/usr/bin/env bash
# The Windows build's tests under Wine, in a 64-bit prefix of the build tree, with the Wine server
# kept running between the test programs; then the tables of both builds compared.
#   tools/windows/wine-suite.sh BUILD-WINDOWS BUILD
# The whole run has one X display (xvfb-run starts one when there is none): Wine's desktop
# process, started by whichever program first needs it, keeps the display it started with for
# as long as the server lives, and one started without a display leaves every later window
# without one.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
windows_build=$(cd "$1" && pwd)
linux_build=$(cd "$2" && pwd)
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX=$windows_build/wineprefix WINEARCH=win64 WINEDEBUG=-all
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot --init >/dev/null 2>&1
mkdir -p "$WINEPREFIX/drive_c/WTEMP"
# One server for the whole run. The one wineboot leaves running for its last seconds refuses
# -p, so it goes first.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w
"$wineserver" -p
"$wine" cmd /c exit >/dev/null 2>&1 || true # warm-up: the first start is the slow one
status=0
(cd "$windows_build" && LINDAVEX_KILLS=${LINDAVEX_WINE_KILLS:-60} \
    ctest --output-on-failure -j 2 --timeout 900) || status=$?
(cd "$linux_build" && ctest --output-on-failure -L windows) || status=$?
"$wineserver" -k || true
exit $status
