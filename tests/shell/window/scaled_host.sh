#!/usr/bin/env bash
# The Win32 host at 150 % display scaling, in a Wine prefix of its own beside the suite's, whose
# LogPixels is 144 (Wine's server reads it when it starts, so it starts afresh here).
#   scaled_host.sh PREFIX WIN32_HOST LINDAVEX_EXE
set -euo pipefail
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX=$1 WINEARCH=win64 WINEDEBUG=-all
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot --init >/dev/null 2>&1
"$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w
status=0
"$(dirname "$0")/../../../tools/windows/wine-test.sh" "$2" "$3" ppp || status=$?
"$wineserver" -k 2>/dev/null || true
exit $status
