#!/bin/sh
# Creates a fresh 32-bit Wine prefix for the tests: $1 is its directory.
set -eu
prefix=$1
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
wineboot -i
# No crash dialog in a headless run; no 2 s stall when a box closes on a bare X server.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
wineserver -w
echo "Wine prefix ready: $prefix"
