#!/usr/bin/env bash
# Runs install.exe for real under Wine: builds it, makes a scratch 32-bit
# prefix in which a sample application is registered, puts a sample
# install.inx in a scratch folder and starts install.exe there.
# With a display you answer the box yourself; without one (or with
# --headless) it runs under Xvfb, answers Yes and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

headless=false
if [ "${1:-}" = "--headless" ] || [ -z "${DISPLAY:-}" ]; then
    headless=true
fi

tools/install-packages.sh imagemagick
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target install_program >/dev/null

output=$root/build/demo
mkdir -p "$output"
scratch=$(mktemp -d)
xvfb_pid=
cleanup() {
    "$root/tests/wine/stop-prefix.sh" "$scratch/prefix"
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

if $headless; then
    exec 3>"$scratch/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$scratch/display")"
fi

export WINEPREFIX=$scratch/prefix WINEARCH=win32 WINEDEBUG=-all
app_dir='C:\Program Files\Sample App'
echo "== Making a 32-bit Wine prefix with ZI050.EXE registered at $app_dir"
wineboot -i 2>/dev/null
wine reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\ZI050.EXE' \
    /v Path /t REG_SZ /d "$app_dir" /f >/dev/null
mkdir -p "$WINEPREFIX/drive_c/Program Files/Sample App"
$headless && wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null

work=$scratch/work
mkdir -p "$work"
cp tools/demo/install.inx tools/demo/sample-plugin.txt build/win32/launcher/install.exe "$work"
echo "== Starting install.exe in $work"
cd "$work"
if $headless; then
    wine install.exe &
    program=$!
    box=
    for _ in $(seq 100); do
        box=$(xdotool search --name '^Install$' 2>/dev/null | head -n 1) && [ -n "$box" ] && break
        sleep 0.2
    done
    [ -n "$box" ] || { echo "no confirmation box appeared" >&2; exit 1; }
    sleep 0.5
    import -window "$box" "$output/confirmation.png"
    echo "   the confirmation box is in $output/confirmation.png; answering Yes"
    xdotool mousemove --window "$box" 20 20 key Return
    wait "$program" || true
else
    wine install.exe || true
fi
wineserver -w  # the installation runs on in its own process

echo "== install.inf, as written:"
if [ -f install.inf ]; then
    cp install.inf "$output/install.inf"
    cat install.inf | tr -d '\r'
else
    echo "   (none: the installation was declined or failed)"
fi
echo "== What the installation did:"
wine reg query 'HKCU\Software\Sample Plugin' 2>/dev/null | tr -d '\r' | grep -v '^$' ||
    echo "   nothing recorded in HKCU\\Software\\Sample Plugin"
echo "   files in $app_dir:"
ls -l "$WINEPREFIX/drive_c/Program Files/Sample App" | sed 's/^/   /'
