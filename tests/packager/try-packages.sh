#!/usr/bin/env bash
# tools/try.sh on the sample package, which installs, and on a template
# without a [DefaultInstall] section, which installs nothing.
# Usage: try-packages.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_line() {  # expect_line REPORT LINE
    grep -qxF -- "$2" "$1" || fail "no line '$2'"
}

bash "$source_dir/tools/try.sh" "$source_dir/tools/demo" --path 'C:\Program Files\Sample App' \
    --headless >"$scratch/sample.log" 2>&1
status=$?
cat "$scratch/sample.log"
[ "$status" -eq 0 ] || fail "the sample package gave exit status $status"
expect_line "$scratch/sample.log" \
    '   1. install.exe, "Install": Are you sure you want to install this program? [&Yes | &No]'
expect_line "$scratch/sample.log" \
    '   HKCU,Software\Sample Plugin,InstallDir,,"C:\Program Files\Sample App"'
expect_line "$scratch/sample.log" '   C:\Program Files\Sample App\sample-plugin.txt (75 bytes)'
expect_line "$scratch/sample.log" \
    '   HKEY_CURRENT_USER\Software\Sample Plugin: "InstallDir"="C:\\Program Files\\Sample App"'
[ -s "$source_dir/build/try/demo/boxes/box-1.png" ] || fail "no screenshot of the confirmation"

mkdir "$scratch/no-section"
printf '[Version]\r\nSignature="$Chicago$"\r\n\r\n[Install]\r\nAddReg=R\r\n\r\n[R]\r\nHKCU,Software\\Try,Dir,,VUZAZURAV\r\n' \
    >"$scratch/no-section/install.inx"
bash "$source_dir/tools/try.sh" "$scratch/no-section" --headless >"$scratch/broken.log" 2>&1
status=$?
cat "$scratch/broken.log"
[ "$status" -eq 1 ] || fail "the broken package gave exit status $status"
[ "$(tail -n 1 "$scratch/broken.log")" = \
    "FAILED: the installation changed nothing on drive C: or in the registry" ] ||
    fail "the reason is not the last line"

[ "$failures" -eq 0 ] && echo "tools/try.sh reported both packages as expected"
exit $((failures > 0))
