#!/usr/bin/env bash
# The Debian packages and the Windows zip as a packager gets them: the same
# bytes from two more builds with the build path, umask, time zone, locale,
# file system order, home and environment varied (reprotest), lintian without
# an error or a warning, inx-check usable from its package alone (no Wine, no
# Python), the zip's inx-check.exe run under Wine, and the packages,
# extracted into a scratch folder, run as the autopkgtest runs the installed
# tools.
# Usage: package-test.sh SOURCE_DIR
set -uo pipefail
# The installed tools run as users run them, who do not keep Python from
# writing byte code.
unset PYTHONDONTWRITEBYTECODE
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mapfile -t built < <(bash "$source_dir/tools/package.sh") || { echo "FAIL: tools/package.sh"; exit 1; }
debs=()
for file in "${built[@]}"; do
    case $file in *.deb) debs+=("$file") ;; *.zip) zip=$file ;; esac
done
[ ${#debs[@]} -ge 5 ] && [ -n "${zip:-}" ] ||
    { echo "FAIL: tools/package.sh built ${built[*]}"; exit 1; }
# reprotest builds the same tracked files twice, each under other
# conditions; its first build must also equal package.sh's. They skip the
# build-time tests, which package.sh's build ran: the same packages either way.
copy=$scratch/source/inx-tools
mkdir -p "$copy"
git -C "$source_dir" ls-files -z | (cd "$source_dir" && tar --null -T - -cf -) | tar -xf - -C "$copy"
(cd "$copy" &&
    reprotest --vary=-all,+build_path,+umask,+timezone,+locales,+fileordering,+home,+environment,+exec_path \
        --store-dir="$scratch/reprotest" \
        -c 'DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage -us -uc -b >/dev/null 2>&1 &&
            mkdir out && mv ../*.deb out/ &&
            python3 tools/win32-zip.py . out >/dev/null' \
        . 'out/*' -- null >"$scratch/reprotest.log" 2>&1) ||
    { tail -30 "$scratch/reprotest.log"; fail "two builds under varied conditions differ"; }
for file in "${debs[@]}" "$zip"; do
    cmp -s "$file" "$scratch/reprotest/control/source-root/out/$(basename "$file")" ||
        fail "$(basename "$file") differs from reprotest's build"
done
lintian --fail-on error,warning "${debs[@]}" >"$scratch/lintian.log" 2>&1 ||
    { cat "$scratch/lintian.log"; fail "lintian reports errors or warnings"; }

package() { printf '%s\n' "${debs[@]}" | grep "/$1_"; }
depends=$(dpkg-deb -f "$(package inx-check)" Depends)
case $depends in
*wine* | *python* | *xvfb*) fail "inx-check depends on more than its binary links: $depends" ;;
esac
alone=$scratch/alone
dpkg-deb -x "$(package inx-check)" "$alone"
"$alone/usr/bin/inx-check" "$source_dir/tools/demo/install.inx" || fail "inx-check from its package alone"

# The zip's inx-check.exe under Wine, as a packager on Windows runs it: a
# Windows path, a package folder with a non-ASCII name found as Windows finds
# it, SARIF, each exit status; it imports nothing beyond Windows' own DLLs.
windows=$scratch/windows
mkdir -p "$windows"
python3 -m zipfile -e "$zip" "$windows"
exe=$(echo "$windows"/inx-tools-*-win32/inx-check.exe)
imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | sort | tr '\n' ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll " ] || fail "inx-check.exe imports $imports"
export WINEPREFIX=$scratch/wine-prefix WINEDEBUG=-all
"$source_dir/inx-try/wine/create-prefix.sh" "$WINEPREFIX" >/dev/null 2>&1 || fail "a Wine prefix"
mkdir -p "$windows/pkg"
: >"$windows/pkg/Müller.txt"
printf '%s' $'[Version]\r\nSignature="$Chicago$"\r\n[DefaultInstall]\r\nCopyFiles=F\r\n' \
    $'[DestinationDirs]\r\nF=-1,VUZAZURAV\r\n[F]\r\nm\xFCller.txt\r\nabsent.txt\r\n' >"$windows/pkg/install.inx"
check_exe() {  # check_exe STATUS WHAT ARGUMENTS...
    local status=$1 what=$2
    shift 2
    (cd "$windows" && wine "$exe" "$@" >out 2>err)
    local got=$?
    [ "$got" -eq "$status" ] || { fail "inx-check.exe $what: exit status $got, not $status"; cat "$windows/err"; }
}
check_exe 0 "--version" --version
[ "$(tr -d '\r' <"$windows/out")" = "inx-check $(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)" ] ||
    fail "inx-check.exe --version"
sample=$(dirname "$exe")/demo/install.inx
check_exe 0 "on the sample, by its Windows path" "Z:${sample//\//\\}"
check_exe 1 "on a package with a non-ASCII name" 'pkg\install.inx'
grep -q "'absent.txt' is not in the package folder" "$windows/err" && ! grep -q "ller.txt" "$windows/err" ||
    { fail "inx-check.exe found the package's files otherwise than Windows"; cat "$windows/err"; }
check_exe 1 "--format=sarif" --format=sarif 'pkg\install.inx'
python3 -c 'import json, sys; log = json.load(open(sys.argv[1], encoding="utf-8")); assert [r["ruleId"] for r in log["runs"][0]["results"]].count("missing-file") == 1' \
    "$windows/out" || fail "inx-check.exe's SARIF"
check_exe 2 "with an unknown option" --no-such-option
wineserver -k 2>/dev/null
unset WINEPREFIX

installed=$scratch/installed
for deb in "${debs[@]}"; do
    dpkg-deb -x "$deb" "$installed"
done
(cd "$source_dir" && PATH=$installed/usr/bin:$PATH INSTALLED=$installed \
    debian/tests/tools-as-installed) || fail "the installed tools"

[ "$failures" -eq 0 ] && echo "the packages and the Windows zip build the same under varied conditions, pass lintian and run as installed"
exit $((failures > 0))
