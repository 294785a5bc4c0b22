#!/bin/sh
# Runs a Windows program under Wine with Wine's dpi set to DPI for that run,
# and sets it back after; VX_EXPECT_DPI tells the program the dpi it should
# find. Wine reads its dpi when a program starts, so programs already running
# keep theirs; run no other Wine test meanwhile (ctest: RUN_SERIAL).
# Usage: at-dpi.sh DPI PROGRAM [ARGUMENTS...]. Needs the Wine prefix that
# scripts/test-windows makes.
set -u
dpi="$1"
shift
[ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX/drive_c" ] || { echo "no Wine prefix: use scripts/test-windows"; exit 2; }
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
key='HKCU\Control Panel\Desktop'
restore() { wine reg delete "$key" /v LogPixels /f >/dev/null 2>&1; }
trap restore EXIT
if [ "$dpi" != 96 ]; then
  wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 || { echo "FAIL: could not set Wine's dpi"; exit 1; }
fi
VX_EXPECT_DPI="$dpi" wine "$@"
