#!/usr/bin/env bash
# tools/try.sh on packages that install and uninstall as they should, and on
# packages that do not: no [DefaultInstall], an uninstallation that leaves a
# value behind or removes one that was there before, files that go to a fixed
# folder instead of the application's; a package's own INSTALL.EXE, a stale
# install.inf, folders in another case than Wine's, no awk; an interrupt.
# Usage: try-packages.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_line() {  # expect_line LOG LINE
    grep -qxF -- "$2" "$1" || fail "no line '$2' in $(basename "$1")"
}
# try NAME EXPECTED_STATUS ARGUMENTS...: runs try.sh, keeping its output in NAME.log.
try() {
    local name=$1 expected=$2
    shift 2
    PATH=$scratch/bin:$PATH bash "$source_dir/tools/try.sh" "$@" --headless >"$scratch/$name.log" 2>&1
    local status=$?
    cat "$scratch/$name.log"
    [ "$status" -eq "$expected" ] || fail "$name: exit status $status, not $expected"
}
last_line() {  # last_line NAME LINE
    [ "$(tail -n 1 "$scratch/$1.log")" = "$2" ] || fail "$1: the last line is not '$2'"
}
package() {  # package NAME INX: a package folder holding install.inx and f.txt
    mkdir -p "$scratch/$1"
    printf '%s' "$2" >"$scratch/$1/install.inx"
    echo file >"$scratch/$1/f.txt"
}
head=$'[Version]\r\nSignature="$Chicago$"\r\n'
# An awk that fails: the tool must need none.
mkdir -p "$scratch/bin"
printf '#!/bin/sh\nexit 1\n' >"$scratch/bin/awk"
chmod +x "$scratch/bin/awk"

try sample 0 "$source_dir/tools/demo" --path 'C:\Program Files\Sample App' --uninstall
expect_line "$scratch/sample.log" \
    '   1. install.exe, "Install": Are you sure you want to install this program? [&Yes | &No]'
expect_line "$scratch/sample.log" \
    '   HKCU,Software\Sample Plugin,InstallDir,,"C:\Program Files\Sample App"'
expect_line "$scratch/sample.log" '== Files created or changed: 1 under C:\Program Files\Sample App, 0 elsewhere'
expect_line "$scratch/sample.log" '   C:\Program Files\Sample App\sample-plugin.txt (75 bytes)'
expect_line "$scratch/sample.log" \
    '   HKEY_CURRENT_USER\Software\Sample Plugin: "InstallDir"="C:\\Program Files\\Sample App"'
expect_line "$scratch/sample.log" '== Left behind by the uninstallation: 0'
report=$(sed -n 's/^== Report: //p' "$scratch/sample.log")
[ -s "$(dirname "$report")/boxes/box-1.png" ] || fail "no screenshot of the confirmation"

package no-section "$head"$'[Install]\r\nAddReg=R\r\n[R]\r\nHKCU,Software\\Try,Dir,,VUZAZURAV\r\n'
try no-section 1 "$scratch/no-section"
last_line no-section "FAILED: the installation changed nothing on drive C: or in the registry"

# Registers itself for the list of installed programs, whose UninstallString
# runs its own copy of install.inf; that uninstallation keeps one value.
package leaky "$head"$'[DefaultInstall]\r\nCopyFiles=Files\r\nAddReg=Reg\r\n[DefaultUninstall]\r\n'\
$'DelFiles=Files\r\nDelReg=Unregister\r\n[DestinationDirs]\r\nFiles=-1,VUZAZURAV\r\n[Files]\r\n'\
$'install.inf\r\n[Reg]\r\nHKCU,Software\\Leaky,Kept,,1\r\n'\
$'HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Leaky,UninstallString,,'\
$'"rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 %AppDir%\\install.inf"\r\n'\
$'[Unregister]\r\nHKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Leaky\r\n'\
$'[Strings]\r\nAppDir=VUZAZURAV\r\n'
try leaky 1 "$scratch/leaky" --uninstall
expect_line "$scratch/leaky.log" '== Uninstalling as the list of installed programs does: rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 C:\Program Files\ZI050\install.inf'
last_line leaky 'FAILED: the uninstallation left HKEY_CURRENT_USER\Software\Leaky: "Kept" behind'

# Its uninstallation takes a value that Wine's prefix had before.
package collateral "$head"$'[DefaultInstall]\r\nAddReg=Reg\r\n[DefaultUninstall]\r\nDelReg=Reg,Wine\r\n'\
$'[Reg]\r\nHKCU,Software\\Collateral,Dir,,VUZAZURAV\r\n[Wine]\r\nHKCU,Software\\Wine\\WineDbg,ShowCrashDialog\r\n'
try collateral 1 "$scratch/collateral" --uninstall
last_line collateral 'FAILED: the uninstallation removed or changed HKEY_CURRENT_USER\Software\Wine\WineDbg: "ShowCrashDialog"=dword:00000000, which was there before'

package no-uninstall "$head"$'[DefaultInstall]\r\nAddReg=Reg\r\n[Reg]\r\nHKCU,Software\\Try,Dir,,VUZAZURAV\r\n'
try no-uninstall 1 "$scratch/no-uninstall" --uninstall
last_line no-uninstall "FAILED: install.inf has no [DefaultUninstall] section to uninstall with"

# C:\USERS\PUBLIC is Wine's drive_c/users/Public, not a folder beside it.
try sample-matrix 0 "$source_dir/tools/demo" --matrix --path 'C:\USERS\PUBLIC\ZI050'
[ "$(grep -c '  1         0  OK$' "$scratch/sample-matrix.log")" -eq 9 ] ||
    fail "the sample's matrix has not 9 rows with its file under the folder"

# Its own INSTALL.EXE (here a program that shows no box) is the one tried, and
# an install.inf left in the folder is not taken for one written.
package own-program "$head"$'[DefaultInstall]\r\nAddReg=R\r\n[R]\r\nHKCU,Software\\Try,Dir,,VUZAZURAV\r\n'
cp "$source_dir/build/win32-tools/automation/try-driver.exe" "$scratch/own-program/INSTALL.EXE"
printf '%s' "$head"$'[DefaultInstall]\r\n' >"$scratch/own-program/install.inf"
try own-program 1 "$scratch/own-program"
last_line own-program "FAILED: install.exe showed no confirmation"
grep -A1 -x '== install.inf, as written:' "$scratch/own-program.log" | grep -qx '   (none)' ||
    fail "a stale install.inf was reported as written"

# Interrupted part-way through a matrix: 130, and nothing of the run left.
mkdir -p "$scratch/tmp"
TMPDIR=$scratch/tmp setsid bash "$source_dir/tools/try.sh" "$source_dir/tools/demo" --matrix --headless \
    >"$scratch/interrupted.log" 2>&1 &
runner=$!
for _ in $(seq 600); do grep -q '^== Try 3 of' "$scratch/interrupted.log" && break; sleep 0.1; done
kill -INT "$runner"
wait "$runner"
status=$?
[ "$status" -eq 130 ] || fail "interrupted: exit status $status, not 130"
[ -z "$(ls -A "$scratch/tmp")" ] || fail "interrupted: scratch left: $(ls "$scratch/tmp")"
left=$(grep -l -s -F "$scratch/tmp" /proc/[0-9]*/environ 2>/dev/null | grep -v "^/proc/$$/" || true)
[ -z "$left" ] || fail "interrupted: processes left: $(for p in $left; do tr '\0' ' ' <"${p%environ}cmdline"; echo; done)"

package fixed "$head"$'[DefaultInstall]\r\nCopyFiles=Files\r\nAddReg=Reg\r\n[DestinationDirs]\r\n'\
$'Files=-1,C:\\Fixed\r\n[Files]\r\nf.txt\r\n[Reg]\r\nHKCU,Software\\Try,Dir,,VUZAZURAV\r\n'
try fixed 1 "$scratch/fixed" --matrix
[ "$(grep -c '  0         1  no file landed in ' "$scratch/fixed.log")" -eq 8 ] ||
    fail "not every row of the fixed folder's matrix shows its file elsewhere"
last_line fixed "FAILED: 8 of 8 folders"

[ "$failures" -eq 0 ] && echo "tools/try.sh reported every package as expected"
exit $((failures > 0))
