#!/bin/sh
# Creates a fresh Wine prefix for the tests and tries: $1 is its directory.
# WINEARCH picks the Windows: win32 (the default) a 32-bit one, win64 a 64-bit
# one in which 32-bit programs run under WoW64, as on 64-bit Windows. The
# prefix is a sandbox: wineboot runs with a home of its own, the profile
# folders it links to $HOME (Desktop, Documents ...) are made real folders
# inside the prefix, and Wine's menu builder is off, so that nothing a
# program does in the prefix is written under the user's home.
set -eu
prefix=$1
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export WINEPREFIX="$prefix" WINEARCH="${WINEARCH:-win32}" WINEDEBUG=-all HOME="$home" \
    XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"
wineboot -i
wine reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /t REG_SZ /d '' /f >/dev/null
# No crash dialog in a headless run; no 2 s stall when a box closes on a bare X server.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
wineserver -w
for folder in "$prefix"/drive_c/users/*/*; do
    if [ -L "$folder" ]; then
        rm "$folder"
        mkdir "$folder"
    fi
done
echo "Wine prefix ready: $prefix"
