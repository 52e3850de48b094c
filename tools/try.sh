#!/usr/bin/env bash
# Tries a package end to end: runs the real install.exe under Wine in a copy of
# FOLDER (its install.inx and the files it installs), in a scratch 32-bit
# prefix where ZI050.EXE is registered at the path given, and reports
# install.inf, every box shown, and what the installation changed on drive C:
# and in the registry. Headless (no display, or --headless) it answers Yes
# under Xvfb and saves a screenshot of each box; otherwise you answer.
#
# Usage: bash tools/try.sh FOLDER [--path 'C:\Program Files\ZI050'] [--headless] [--keep]
#
# FOLDER's own install.exe is tried when it has one (a signed one, say);
# otherwise the one built here. Exit status 0 only when install.exe showed no
# failure and the installation changed something; otherwise the reason is the
# last line. The report and screenshots are kept in build/try/NAME.
set -euo pipefail

usage() {
    echo "usage: bash tools/try.sh FOLDER [--path 'C:\\Program Files\\ZI050'] [--headless] [--keep]" >&2
    exit 2
}
[ $# -ge 1 ] || usage
folder=$1
shift
app_dir='C:\Program Files\ZI050'
headless=false
keep=false
while [ $# -gt 0 ]; do
    case $1 in
    --path) [ $# -ge 2 ] || usage; app_dir=$2; shift 2 ;;
    --headless) headless=true; shift ;;
    --keep) keep=true; shift ;;
    *) usage ;;
    esac
done
[ -n "${DISPLAY:-}" ] || headless=true
[ -f "$folder/install.inx" ] || { echo "try.sh: $folder holds no install.inx" >&2; exit 2; }
folder=$(cd "$folder" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/install-packages.sh
targets=(try_driver)
[ -f "$folder/install.exe" ] || targets+=(install_program)
[ -f build/win32/CMakeCache.txt ] || cmake --preset win32 >/dev/null
cmake --build build/win32 --target "${targets[@]}" >/dev/null

output=$root/build/try/$(basename "$folder")
rm -rf "$output"
mkdir -p "$output/boxes"
scratch=$(mktemp -d)
xvfb_pid=
tee_pid=
cleanup() {
    "$root/tests/wine/stop-prefix.sh" "$scratch/prefix" >/dev/null 2>&1 || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    if [ -n "$tee_pid" ]; then
        # The whole report is written before the script ends.
        exec 1>&4 2>&4
        wait "$tee_pid" 2>/dev/null || true
    fi
    if $keep; then
        echo "kept: the package in $scratch/package, the prefix in $scratch/prefix" >&2
    else
        rm -rf "$scratch"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
# The report goes to the terminal and to a file; the reason for failing is its last line.
exec 4>&1
exec > >(tee "$output/report.txt") 2>&1
tee_pid=$!
fail() {
    echo "FAILED: $*"
    exit 1
}
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

if $headless; then
    exec 3>"$scratch/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$scratch/display")"
fi

export WINEPREFIX=$scratch/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
echo "== A fresh 32-bit Wine prefix with ZI050.EXE registered at $app_dir"
wineboot -i >/dev/null 2>&1
wine reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\ZI050.EXE' \
    /v Path /t REG_SZ /d "$app_dir" /f >/dev/null
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
# Without a window manager Wine stalls when a box closes, unless it manages none.
$headless && wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
app_unix=$(winepath -u "$app_dir" 2>/dev/null | tr -d '\r' || true)
case $app_unix in "$WINEPREFIX"/*) mkdir -p "$app_unix" ;; esac
wineserver -w

work=$scratch/package
mkdir -p "$work"
cp -R "$folder/." "$work/"
[ -f "$work/install.exe" ] || cp build/win32/launcher/install.exe "$work/"

# Files on drive C: (path, size, time) and registry values (key, value), sorted.
snapshot() {
    (cd "$WINEPREFIX/drive_c" && find . -type f -printf '%P\t%s\t%T@\n') | LC_ALL=C sort >"$scratch/$1.files"
    for hive in 'HKLM\Software' 'HKCU\Software'; do
        wine reg export "$hive" "$scratch/export.reg" /y >/dev/null 2>&1
        iconv -f UTF-16 -t UTF-8 "$scratch/export.reg" | tr -d '\r' | awk '
            continued { sub(/^ +/, ""); line = line $0 }
            !continued { line = $0 }
            { continued = 0 }
            /\\$/ { sub(/\\$/, "", line); continued = 1; next }
            line ~ /^\[/ { key = substr(line, 2, length(line) - 2); next }
            line != "" && key != "" { print key "\t" line }'
    done | LC_ALL=C sort >"$scratch/$1.registry"
}
snapshot before

echo "== Starting install.exe in a copy of $folder"
answer=()
$headless && answer=(--answer)
wine build/win32/automation/try-driver.exe "${answer[@]}" "$(windows_path "$work/install.exe")" \
    "$(windows_path "$work")" "$(windows_path "$output/boxes")" | tr -d '\r' >"$scratch/driver.log" ||
    fail "install.exe could not be started"
grep -qx "installation finished" "$scratch/driver.log" || wineserver -k
wineserver -w
snapshot after

echo "== install.inf, as written:"
if [ -f "$work/install.inf" ]; then
    cp "$work/install.inf" "$output/install.inf"
    tr -d '\r' <"$work/install.inf" | sed 's/^/   /'
else
    echo "   (none)"
fi

echo "== Message boxes:"
failure=
program_boxes=0
while IFS=$'\t' read -r kind number process caption text buttons; do
    [ "$kind" = box ] || continue
    shot=$output/boxes/box-$number
    if [ -f "$shot.bmp" ] && convert "$shot.bmp" "$shot.png" 2>/dev/null; then
        rm -f "$shot.bmp"
    fi
    echo "   $number. $process, \"$caption\": $text [${buttons//|/ | }]"
    if [ "$process" = install.exe ]; then
        program_boxes=$((program_boxes + 1))
        [ "$program_boxes" -eq 1 ] || failure=$text
    fi
done <"$scratch/driver.log"
[ "$program_boxes" -gt 0 ] || echo "   (none)"
echo "   screenshots: $output/boxes"

echo "== Files created or changed on drive C:"
LC_ALL=C comm -13 "$scratch/before.files" "$scratch/after.files" | cut -f1,2 >"$scratch/files.changed"
while IFS=$'\t' read -r path size; do
    echo "   C:\\${path//\//\\} ($size bytes)"
done <"$scratch/files.changed"
[ -s "$scratch/files.changed" ] || echo "   (none)"

echo "== Registry values added or changed under HKLM\\Software and HKCU\\Software:"
LC_ALL=C comm -13 "$scratch/before.registry" "$scratch/after.registry" >"$scratch/registry.changed"
while IFS=$'\t' read -r key value; do
    echo "   $key: $value"
done <"$scratch/registry.changed"
[ -s "$scratch/registry.changed" ] || echo "   (none)"

changes=$(($(wc -l <"$scratch/files.changed") + $(wc -l <"$scratch/registry.changed")))
[ "$program_boxes" -gt 0 ] || fail "install.exe showed no confirmation"
[ -z "$failure" ] || fail "install.exe reported: $failure"
[ -f "$work/install.inf" ] || fail "the installation was declined"
grep -qx "installation finished" "$scratch/driver.log" ||
    fail "the installation was still running after 180 s"
[ "$changes" -gt 0 ] || fail "the installation changed nothing on drive C: or in the registry"
echo "OK: install.exe showed no failure; the installation made $changes changes"
