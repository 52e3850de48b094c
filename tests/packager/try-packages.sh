#!/usr/bin/env bash
# tools/try.sh on packages that install and uninstall as they should, and on
# packages that do not: no [DefaultInstall], an uninstallation that leaves a
# value behind or removes one that was there before, files that go to a fixed
# folder instead of the application's; a package's own INSTALL.EXE, a stale
# install.inf, folders in another case than Wine's, no awk; an interrupt.
# Everything an installation changes is seen (the user's profile folders,
# the whole registry, a service) and nothing is written under $HOME; an
# expandable UninstallString; a Chinese package under code page 936; report
# folders that are not inx-try's; a Wine server that fails to start.
# The cases fall into three parts that CTest runs side by side; "build"
# builds the tools they share first.
# Usage: try-packages.sh SOURCE_DIR [build|1|2|3]
set -uo pipefail
source_dir=$1
part=${2:-}
if [ "$part" = build ]; then
    exec python3 -c 'import sys; sys.path.insert(0, sys.argv[1] + "/inx-try")
from inx_try.wine import Layout, Processes
Layout(None).build_tools(Processes(), "/dev/stderr")' "$source_dir"
fi
in_part() { [ -z "$part" ] || [ "$part" = "$1" ]; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A home of the test's own, which no try may write into; the pristine
# prefixes are where the user keeps them.
export XDG_CACHE_HOME=${XDG_CACHE_HOME:-$HOME/.cache}
export HOME=$scratch/home XDG_CONFIG_HOME= XDG_DATA_HOME=
mkdir "$HOME"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_line() {  # expect_line LOG LINE
    grep -qxF -- "$2" "$1" || fail "no line '$2' in $(basename "$1")"
}
# try NAME EXPECTED_STATUS ARGUMENTS...: runs try.sh, keeping its output in
# NAME.log, its report in a folder of its own unless --report names one.
try() {
    local name=$1 expected=$2
    shift 2
    [[ " $* " == *" --report"* ]] || set -- "$@" --report "$scratch/reports/$name"
    PATH=$scratch/bin:$PATH bash "$source_dir/tools/try.sh" "$@" --headless >"$scratch/$name.log" 2>&1
    local status=$?
    cat "$scratch/$name.log"
    [ "$status" -eq "$expected" ] || fail "$name: exit status $status, not $expected"
}
plan_agrees() {  # plan_agrees NAME: inx-check's plan is what the try saw, item by item
    grep -qx "== inx-check's plan beside what was seen: [0-9]* planned and seen, 0 not" \
        "$scratch/$1.log" || fail "$1: the plan is not what the try saw"
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

if in_part 1; then
try sample 0 "$source_dir/tools/demo" --path 'C:\Program Files\Sample App' --uninstall
expect_line "$scratch/sample.log" \
    '   1. install.exe, "Install": Are you sure you want to install this program? [&Yes | &No]'
expect_line "$scratch/sample.log" \
    '   HKCU,Software\Sample Plugin,InstallDir,,"C:\Program Files\Sample App"'
expect_line "$scratch/sample.log" '== Files created or changed: 1 under C:\Program Files\Sample App, 0 elsewhere'
expect_line "$scratch/sample.log" '   C:\Program Files\Sample App\sample-plugin.txt (75 bytes)'
expect_line "$scratch/sample.log" \
    '   HKEY_CURRENT_USER\Software\Sample Plugin: "InstallDir" = REG_SZ "C:\Program Files\Sample App"'
expect_line "$scratch/sample.log" '== Left behind by the uninstallation: 0'
report=$(sed -n 's/^== Report: //p' "$scratch/sample.log")
[ -s "$(dirname "$report")/boxes/box-1.png" ] || fail "no screenshot of the confirmation"
plan_agrees sample
# report.html in a real browser, with a line of script of the test's own that
# counts the pictures that loaded; report.json as the plan's vocabulary has it.
cp -r "$(dirname "$report")" "$scratch/rendered"
sed 's|</body>|<script>addEventListener("load", () => { const i = [...document.images]; '\
'document.body.dataset.pictures = i.length + " " + i.filter(p => p.complete \&\& '\
'p.naturalWidth > 0).length; });</script></body>|' "$scratch/rendered/report.html" \
    >"$scratch/rendered/counted.html"
HOME=$scratch/chromium timeout 120 chromium --headless --no-sandbox --disable-gpu \
    --user-data-dir="$scratch/chromium" --virtual-time-budget=5000 \
    --dump-dom "file://$scratch/rendered/counted.html" >"$scratch/rendered.dom" 2>/dev/null
grep -q '<body data-pictures="1 1">' "$scratch/rendered.dom" ||
    fail "report.html: the box's picture did not load in chromium: $(grep -o '<body[^>]*>' "$scratch/rendered.dom")"
grep -q 'planned and seen</td><td>C:\\Program Files\\Sample App\\sample-plugin.txt</td>' \
    "$scratch/rendered.dom" || fail "report.html does not show the planned file as seen"
python3 -c 'import json, sys; r = json.load(open(sys.argv[1])); assert r["status"] == 0 and \
r["changes"]["files"] == ["C:\\Program Files\\Sample App\\sample-plugin.txt"] and \
r["left_behind"] == {"files": [], "registry": [], "services": []}, r' \
    "$(dirname "$report")/report.json" || fail "report.json of the sample"

# Each directive and folder number the plan models, installed and uninstalled:
# the plan is what Wine's engine does. A decorated section over a plain one;
# files to folder numbers, to -1 with one inside its path, renamed on the way
# and as @file; an existing file deleted and one renamed; every value type, a
# list appended to, NOCLOBBER over a value Wine has, a key alone, HKCR; a key
# of Wine's deleted whole; a service. Uninstalling leaves the @file copy.
package plan "$head"$'[DefaultInstall]\r\nCopyFiles=Plain\r\n[DefaultInstall.NT]\r\n'\
$'CopyFiles=Dirs,Docs,Abs,@f.txt\r\nDelFiles=Gone\r\nRenFiles=Moved\r\nAddReg=Reg\r\nDelReg=Del\r\n'\
$'[DefaultInstall.NT.Services]\r\nAddService=InxPlanSvc,,Svc\r\n'\
$'[DefaultUninstall]\r\nDelFiles=Dirs,Docs,Abs\r\nDelReg=Unreg\r\n'\
$'[DefaultUninstall.Services]\r\nDelService=InxPlanSvc\r\n'\
$'[DestinationDirs]\r\nDefaultDestDir=-1,VUZAZURAV\r\nPlain=11\r\nDirs=16422,InxPlan\\Sub\r\n'\
$'Docs=16389\r\nAbs=-1,%16427%\\InxPlan\r\nGone=10\r\nMoved=10\r\n[Plain]\r\nplain.txt,f.txt\r\n'\
$'[Dirs]\r\np16422.txt,f.txt\r\n[Docs]\r\ndoc.txt,f.txt\r\n[Abs]\r\nabs.txt,f.txt\r\n[Gone]\r\n'\
$'system.ini\r\n[Moved]\r\nwin.bak,win.ini\r\n'\
$'[Reg]\r\nHKCU,Software\\InxPlan,Str,,VUZAZURAV\r\nHKCU,Software\\InxPlan,,,default\r\n'\
$'HKCU,Software\\InxPlan,Exp,0x20000,%%ProgramFiles%%\\x\r\nHKCU,Software\\InxPlan,Dw,0x10001,0x10\r\n'\
$'HKCU,Software\\InxPlan,DwBytes,0x10001,10,00,00,00\r\nHKCU,Software\\InxPlan,Bin,1,de,ad\r\n'\
$'HKCU,Software\\InxPlan,Multi,0x10000,a,b\r\nHKCU,Software\\InxPlan,Multi,0x10008,c,A\r\n'\
$'HKCU,Software\\InxPlan\\KeyOnly,,0x10\r\nHKCU,Control Panel\\Mouse,DoubleClickSpeed,2,900\r\n'\
$'HKCR,.inxplan,,,InxPlan.File\r\nHKLM,Software\\InxPlan\\Deep,Dir,,%16422%\\InxPlan\r\n'\
$'[Del]\r\nHKCU,Software\\Wine\\WineDbg\r\n'\
$'[Unreg]\r\nHKCU,Software\\InxPlan\r\nHKCR,.inxplan\r\nHKLM,Software\\InxPlan\r\n'\
$'[Svc]\r\nServiceType=1\r\nStartType=3\r\nErrorControl=1\r\nServiceBinary=%12%\\inxplan.sys\r\n'
try plan 1 "$scratch/plan" --uninstall
plan_agrees plan
last_line plan 'FAILED: the uninstallation left C:\Program Files\ZI050\f.txt behind'

package no-section "$head"$'[Install]\r\nAddReg=R\r\n[R]\r\nHKCU,Software\\Try,Dir,,VUZAZURAV\r\n'
try no-section 1 "$scratch/no-section"
last_line no-section "FAILED: the installation changed nothing on drive C: or in the registry"
grep -A1 -x '== Registry values added or changed:' "$scratch/no-section.log" | grep -qx '   (none)' ||
    fail "Wine's own registry changes were reported as the installation's"

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
plan_agrees leaky
expect_line "$scratch/leaky.log" '== Uninstalling as the list of installed programs does: rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 C:\Program Files\ZI050\install.inf'
last_line leaky 'FAILED: the uninstallation left HKEY_CURRENT_USER\Software\Leaky (key) behind'
expect_line "$scratch/leaky.log" '   HKEY_CURRENT_USER\Software\Leaky: "Kept" = REG_SZ "1"'

# Its uninstallation takes a value that Wine's prefix had before.
package collateral "$head"$'[DefaultInstall]\r\nAddReg=Reg\r\n[DefaultUninstall]\r\nDelReg=Unreg,Wine\r\n'\
$'[Reg]\r\nHKCU,Software\\Collateral,Dir,,VUZAZURAV\r\n[Unreg]\r\nHKCU,Software\\Collateral\r\n'\
$'[Wine]\r\nHKCU,Software\\Wine\\WineDbg,ShowCrashDialog\r\n'
try collateral 1 "$scratch/collateral" --uninstall
plan_agrees collateral
last_line collateral 'FAILED: the uninstallation removed or changed HKEY_CURRENT_USER\Software\Wine\WineDbg: "ShowCrashDialog" = REG_DWORD 0, which was there before'

package no-uninstall "$head"$'[DefaultInstall]\r\nAddReg=Reg\r\n[Reg]\r\nHKCU,Software\\Try,Dir,,VUZAZURAV\r\n'
try no-uninstall 1 "$scratch/no-uninstall" --uninstall
plan_agrees no-uninstall
last_line no-uninstall "FAILED: install.inf has no [DefaultUninstall] section to uninstall with"

# On 64-bit Windows: a Start-menu browser entry, a Default Programs entry and
# two services, the second removed by a second DelService line, which Wine 8
# does not run (Windows does); Wine's own shared keys put the browser and
# Default Programs entries under Wow6432Node. The uninstaller is SysWOW64's
# rundll32.exe (16425): the 32-bit engine that installed.
package browser64 "$head"$'[DefaultInstall]\r\nCopyFiles=App\r\nAddReg=Reg\r\n'\
$'[DefaultInstall.Services]\r\nAddService=InxTryA,,Svc\r\nAddService=InxTryB,,Svc\r\n'\
$'[DefaultUninstall]\r\nDelFiles=App\r\nDelReg=Unreg\r\n'\
$'[DefaultUninstall.Services]\r\nDelService=InxTryA\r\nDelService=InxTryB\r\n'\
$'[DestinationDirs]\r\nApp=-1,VUZAZURAV\r\n[App]\r\nf.txt\r\n[Reg]\r\n'\
$'HKLM,Software\\Clients\\StartMenuInternet\\InxTry,,,"Inx Try"\r\n'\
$'HKLM,Software\\RegisteredApplications,InxTry,,"Software\\InxTry\\Capabilities"\r\n'\
$'HKLM,Software\\InxTry\\Capabilities,ApplicationName,,"Inx Try"\r\n'\
$'HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\InxTry,UninstallString,,'\
$'"%16425%\\rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 %01%\\install.inf"\r\n'\
$'[Unreg]\r\nHKLM,Software\\Clients\\StartMenuInternet\\InxTry\r\n'\
$'HKLM,Software\\RegisteredApplications,InxTry\r\nHKLM,Software\\InxTry\r\n'\
$'HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\InxTry\r\n'\
$'[Svc]\r\nServiceType=1\r\nStartType=3\r\nErrorControl=1\r\nServiceBinary=%12%\\inxtry.sys\r\n'
try browser64 1 "$scratch/browser64" --windows 64 --uninstall
plan_agrees browser64
for line in '== Left behind by the uninstallation: 10' \
    '   HKEY_LOCAL_MACHINE\Software\Clients\StartMenuInternet\InxTry: Windows puts it there, Wine 8 at HKEY_LOCAL_MACHINE\Software\WOW6432Node\Clients\StartMenuInternet\InxTry' \
    '   HKEY_LOCAL_MACHINE\Software\RegisteredApplications: Windows puts it there, Wine 8 at HKEY_LOCAL_MACHINE\Software\WOW6432Node\RegisteredApplications' \
    '   the DelService line for InxTryB: Windows runs it, Wine 8 does not'; do
    expect_line "$scratch/browser64.log" "$line"
done
last_line browser64 'FAILED: the uninstallation left HKEY_LOCAL_MACHINE\Software\Wow6432Node\Clients\StartMenuInternet (key) behind'

fi

if in_part 2; then
# C:\USERS\PUBLIC is Wine's drive_c/users/Public, not a folder beside it.
# The matrix tries every folder on both Windows.
try sample-matrix 0 "$source_dir/tools/demo" --matrix --path 'C:\USERS\PUBLIC\ZI050'
[ "$(grep -c '      32       1         0  OK$' "$scratch/sample-matrix.log")" -eq 9 ] &&
    [ "$(grep -c '      64       1         0  OK$' "$scratch/sample-matrix.log")" -eq 9 ] ||
    fail "the sample's matrix has not 9 rows on each Windows with its file under the folder"
last_line sample-matrix "OK: all 18 tries"

# On 64-bit Windows the 32-bit engine runs the x86 section: a system DLL in
# SysWOW64, Program Files (x86) and its Common Files, HKLM\Software under
# WOW6432Node, App Paths shared, a CLSID under Classes\WOW6432Node; on 32-bit
# Windows the same package where 32-bit Windows puts it. Each as planned.
package reach64 "$head"$'[DefaultInstall.NTx86]\r\nCopyFiles=App,Sys,Prog,Common\r\n'\
$'AddReg=Reg,Engine32\r\n[DefaultInstall.NTamd64]\r\nCopyFiles=App\r\nAddReg=Reg,Engine64\r\n'\
$'[DefaultUninstall.NTx86]\r\nDelFiles=App,Sys,Prog,Common\r\nDelReg=Unreg\r\n'\
$'[DestinationDirs]\r\nApp=-1,VUZAZURAV\r\nSys=11\r\nProg=16422,Reach64\r\n'\
$'Common=16427,Reach64\r\n[App]\r\nreach64.ini,f.txt\r\n[Sys]\r\nreach64.dll,f.txt\r\n'\
$'[Prog]\r\nreach64.txt,f.txt\r\n[Common]\r\nreach64c.txt,f.txt\r\n'\
$'[Reg]\r\nHKLM,Software\\Reach64,Sys,,%11%\\reach64.dll\r\n'\
$'HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Reach64.exe,Path,,VUZAZURAV\r\n'\
$'HKCR,CLSID\\{5EAC4064-0000-4000-8000-000000000064}\\InprocServer32,,,%11%\\reach64.dll\r\n'\
$'[Engine32]\r\nHKLM,Software\\Reach64,Engine,,x86\r\n[Engine64]\r\nHKLM,Software\\Reach64,Engine,,amd64\r\n'\
$'[Unreg]\r\nHKLM,Software\\Reach64\r\nHKLM,Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Reach64.exe\r\n'\
$'HKCR,CLSID\\{5EAC4064-0000-4000-8000-000000000064}\r\n'
try reach64 0 "$scratch/reach64" --windows 64 --uninstall
plan_agrees reach64
for line in '== Files created or changed: 1 under C:\Program Files (x86)\ZI050, 3 elsewhere' \
    '   C:\windows\syswow64\reach64.dll (5 bytes)' \
    '   C:\Program Files (x86)\Common Files\Reach64\reach64c.txt (5 bytes)' \
    '   HKEY_LOCAL_MACHINE\Software\Wow6432Node\Reach64: "Engine" = REG_SZ "x86"' \
    '   HKEY_LOCAL_MACHINE\Software\Wow6432Node\Reach64: "Sys" = REG_SZ "C:\windows\system32\reach64.dll"' \
    '   HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\App Paths\Reach64.exe: "Path" = REG_SZ "C:\Program Files (x86)\ZI050"' \
    '   HKEY_LOCAL_MACHINE\Software\Classes\Wow6432Node\CLSID\{5EAC4064-0000-4000-8000-000000000064}' \
    '== Left behind by the uninstallation: 0'; do
    expect_line "$scratch/reach64.log" "$line"
done
try reach32 0 "$scratch/reach64" --windows 32 --uninstall
plan_agrees reach32
expect_line "$scratch/reach32.log" '   C:\windows\system32\reach64.dll (5 bytes)'
expect_line "$scratch/reach32.log" '   HKEY_LOCAL_MACHINE\Software\Reach64: "Engine" = REG_SZ "x86"'
fi

if in_part 3; then
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
    --report "$scratch/reports/interrupted" >"$scratch/interrupted.log" 2>&1 &
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
try fixed 1 "$scratch/fixed" --matrix --windows 64
[ "$(grep -c '      64       0         1  no file landed in ' "$scratch/fixed.log")" -eq 8 ] ||
    fail "not every row of the fixed folder's matrix shows its file elsewhere"
last_line fixed "FAILED: 8 of 8 tries"

# Reaches the user's desktop and documents, HKCU\Control Panel and
# HKCU\Environment, HKLM\SYSTEM and a service; its uninstallation keeps the
# document, the application's file and the environment variable, and the
# keys that held the values it deleted (Wine's prefix has neither key, nor
# Cursors above Schemes).
package reach "$head"$'[DefaultInstall]\r\nCopyFiles=Desk,Docs,App\r\nAddReg=Reg\r\n'\
$'[DefaultInstall.Services]\r\nAddService=InxTrySvc,,Svc.Install\r\n'\
$'[DefaultUninstall]\r\nDelFiles=Desk\r\nDelReg=Unreg\r\n'\
$'[DefaultUninstall.Services]\r\nDelService=InxTrySvc\r\n'\
$'[DestinationDirs]\r\nDesk=16400\r\nDocs=16389\r\nApp=-1,VUZAZURAV\r\n'\
$'[Desk]\r\nreach-desk.txt\r\n[Docs]\r\nreach-doc.txt\r\n[App]\r\nf.txt\r\n[Reg]\r\n'\
$'HKCU,Control Panel\\Cursors\\Schemes,InxTry,,"%10%\\Cursors\\x.cur,"\r\n'\
$'HKCU,Environment,INXTRY_HOME,0x20000,VUZAZURAV\r\n'\
$'HKLM,SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout,Scancode Map,0x1,00,00,3a,00\r\n'\
$'[Unreg]\r\nHKCU,Control Panel\\Cursors\\Schemes,InxTry\r\n'\
$'HKLM,SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout,Scancode Map\r\n'\
$'[Svc.Install]\r\nDisplayName=Inx Try\r\nServiceType=1\r\nStartType=3\r\nErrorControl=1\r\n'\
$'ServiceBinary=%12%\\inxtry.sys\r\n'
echo desk >"$scratch/reach/reach-desk.txt"
echo doc >"$scratch/reach/reach-doc.txt"
try reach 1 "$scratch/reach" --uninstall
plan_agrees reach
for line in '   HKEY_CURRENT_USER\Control Panel\Cursors\Schemes: "InxTry" = REG_SZ "C:\windows\Cursors\x.cur,"' \
    '   HKEY_CURRENT_USER\Environment: "INXTRY_HOME" = REG_EXPAND_SZ "C:\Program Files\ZI050"' \
    '   HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Keyboard Layout: "Scancode Map" = REG_BINARY hex:00,00,3a,00' \
    '   HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\InxTrySvc' \
    '   HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\InxTrySvc: "Start" = REG_DWORD 3' \
    '== Left behind by the uninstallation: 6' \
    '   HKEY_CURRENT_USER\Control Panel\Cursors (key)' \
    '   HKEY_CURRENT_USER\Control Panel\Cursors\Schemes (key)' \
    '   C:\Program Files\ZI050\f.txt' \
    '   HKEY_CURRENT_USER\Environment: "INXTRY_HOME" = REG_EXPAND_SZ "C:\Program Files\ZI050"'; do
    expect_line "$scratch/reach.log" "$line"
done
for line in '   C:\\users\\[^\\]+\\Desktop\\reach-desk\.txt \(5 bytes\)' \
    '   C:\\users\\[^\\]+\\Documents\\reach-doc\.txt \(4 bytes\)' \
    '   C:\\users\\[^\\]+\\Documents\\reach-doc\.txt'; do
    grep -Eqx -- "$line" "$scratch/reach.log" || fail "reach: no line matching '$line'"
done

# Registers an expandable UninstallString, run as Windows expands it.
package expand "$head"$'[DefaultInstall]\r\nCopyFiles=Files\r\nAddReg=Reg\r\n[DefaultUninstall]\r\n'\
$'DelFiles=Files\r\nDelReg=Unreg\r\n[DestinationDirs]\r\nFiles=-1,VUZAZURAV\r\n[Files]\r\ninstall.inf\r\n'\
$'[Reg]\r\nHKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Expand,UninstallString,0x20000,'\
$'"rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 %ProgramFiles%\\ZI050\\install.inf"\r\n'\
$'[Unreg]\r\nHKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Expand\r\n'
try expand 0 "$scratch/expand" --uninstall
plan_agrees expand
expect_line "$scratch/expand.log" '== Uninstalling as the list of installed programs does: rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 %ProgramFiles%\ZI050\install.inf'
expect_line "$scratch/expand.log" '   (expanded: rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 C:\Program Files\ZI050\install.inf)'

# A Chinese package, its INF in GBK, tried as a Chinese Windows installs it.
package gbk "$head"$'[DefaultInstall]\r\nCopyFiles=Files\r\n[DestinationDirs]\r\nFiles=-1,VUZAZURAV\r\n'\
$'[Files]\r\n\xd6\xd0\xce\xc4.txt\r\n'
echo gbk >"$scratch/gbk/中文.txt"
try gbk 0 "$scratch/gbk" --codepage 936
plan_agrees gbk
expect_line "$scratch/gbk.log" '   C:\Program Files\ZI050\中文.txt (4 bytes)'
expect_line "$scratch/gbk.log" '   中文.txt'

# A report folder that is not inx-try's is refused, and left as it was.
mkdir "$scratch/mine"
echo mine >"$scratch/mine/notes.txt"
try report-mine 2 "$source_dir/tools/demo" --report "$scratch/mine"
grep -q 'holds files that inx-try did not write$' "$scratch/report-mine.log" ||
    fail "report-mine: no reason given"
[ "$(cat "$scratch/mine/notes.txt")" = mine ] && [ "$(ls -A "$scratch/mine")" = notes.txt ] ||
    fail "report-mine: the user's folder was changed"
try report-package 2 "$scratch/gbk" --report="$scratch/gbk/report"
[ ! -e "$scratch/gbk/report" ] || fail "report-package: a report was written into the package"

# A Wine server that will not start fails the try, with the child's own words.
mkdir "$scratch/failing"
printf '#!/bin/sh\n[ "$1" = -p0 ] && { echo "wineserver: permission denied" >&2; exit 1; }\nexec %s "$@"\n' \
    "$(command -v wineserver)" >"$scratch/failing/wineserver"
chmod +x "$scratch/failing/wineserver"
PATH=$scratch/failing:$PATH try failing-server 1 "$source_dir/tools/demo"
last_line failing-server "FAILED: wineserver -p0 failed (exit status 1): wineserver: permission denied"

# The sample without its uninstall, given one by inx-check --fix: installed
# and uninstalled, on both Windows, it leaves nothing.
mkdir -p "$scratch/fixed-sample"
cp "$source_dir/tools/demo/sample-plugin.txt" "$scratch/fixed-sample/"
sed -e '/^\[DefaultUninstall\]/,/^$/d' -e '/^\[Sample.DelReg\]/,$d' \
    "$source_dir/tools/demo/install.inx" >"$scratch/fixed-sample/install.inx"
(cd "$scratch/fixed-sample" &&
    "$source_dir/build/host-tools/inx-check/inx-check" --fix install.inx >fix.patch &&
    patch -p0 --quiet <fix.patch && rm fix.patch) || fail "fixed-sample: --fix gave no patch that applies"
# And a template with a vendor key, App Paths, a value in Run, a CLSID and a
# verb: what the patch deletes, whole or value by value, is all it made.
package fixed-keys "$head"$'[DefaultInstall]\r\nCopyFiles=App\r\nAddReg=Reg\r\n'\
$'[DestinationDirs]\r\nApp=-1,VUZAZURAV\r\n[App]\r\nf.txt\r\n[Reg]\r\n'\
$'HKLM,Software\\InxFix,Dir,,VUZAZURAV\r\n'\
$'HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\InxFix.exe,,,VUZAZURAV\r\n'\
$'HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Run,InxFix,,"x.exe"\r\n'\
$'HKCR,CLSID\\{1F1F1F1F-0000-4000-8000-000000000040},,,"InxFix"\r\n'\
$'HKCR,Directory\\shell\\InxFix,,,"Open with InxFix"\r\n'
(cd "$scratch/fixed-keys" &&
    "$source_dir/build/host-tools/inx-check/inx-check" --fix install.inx >fix.patch &&
    patch -p0 --quiet <fix.patch && rm fix.patch) || fail "fixed-keys: --fix gave no patch that applies"
for windows in 32 64; do
    try "fixed-sample$windows" 0 "$scratch/fixed-sample" --windows "$windows" --uninstall
    plan_agrees "fixed-sample$windows"
    expect_line "$scratch/fixed-sample$windows.log" '== Left behind by the uninstallation: 0'
    # Left: the keys above the verb, which Windows has and Wine's prefix lacks.
    try "fixed-keys$windows" 1 "$scratch/fixed-keys" --windows "$windows" --uninstall
    plan_agrees "fixed-keys$windows"
    expect_line "$scratch/fixed-keys$windows.log" '== Left behind by the uninstallation: 2'
    expect_line "$scratch/fixed-keys$windows.log" '   HKEY_LOCAL_MACHINE\Software\Classes\Directory\shell (key)'
done

# The list of installed programs is a 64-bit program on 64-bit Windows: it
# starts an unqualified rundll32.exe as System32's, whose 64-bit engine
# deletes from the 64-bit places and leaves what the 32-bit engine installed;
# SysWOW64's (16425) leaves nothing. Each as planned.
engine64=$'[DefaultInstall]\r\nCopyFiles=App,Sys\r\nAddReg=Reg\r\n'\
$'[DefaultUninstall]\r\nDelFiles=App,Sys\r\nDelReg=Unreg\r\n'\
$'[DestinationDirs]\r\nApp=-1,VUZAZURAV\r\nSys=11\r\n[App]\r\nf.txt\r\n[Sys]\r\nengine64.dll,f.txt\r\n'\
$'[Reg]\r\nHKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Engine64,UninstallString,,'\
$'"RUNDLL setupapi.dll,InstallHinfSection DefaultUninstall 132 %01%\\install.inf"\r\n'\
$'[Unreg]\r\nHKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Engine64\r\n'
package engine64 "$head${engine64//RUNDLL/rundll32.exe}"
try engine64 1 "$scratch/engine64" --windows 64 --uninstall
plan_agrees engine64
expect_line "$scratch/engine64.log" '== Left behind by the uninstallation: 3'
expect_line "$scratch/engine64.log" '   C:\windows\syswow64\engine64.dll'
mend='%16425%\rundll32.exe'
package engine32 "$head${engine64//RUNDLL/"$mend"}"
try engine32 0 "$scratch/engine32" --windows 64 --uninstall
plan_agrees engine32
expect_line "$scratch/engine32.log" '== Left behind by the uninstallation: 0'

fi

[ -z "$(ls -A "$HOME")" ] || fail "written under \$HOME: $(find "$HOME" | head -5)"
[ "$failures" -eq 0 ] && echo "tools/try.sh reported every package as expected"
exit $((failures > 0))
