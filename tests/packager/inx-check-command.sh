#!/usr/bin/env bash
# inx-check as a command: exit statuses, quiet on a clean template, usage on
# standard output for --help, read and write failures, and the install.inf it
# writes to a file or to standard output (none when the template has errors).
# Usage: inx-check-command.sh INX_CHECK
set -uo pipefail
inx_check=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {  # expect STATUS WHAT COMMAND...
    local status=$1 what=$2
    shift 2
    "$@" >out 2>err
    local got=$?
    [ "$got" -eq "$status" ] || { fail "$what: exit status $got, not $status"; cat err; }
}

head=$'[Version]\r\nSignature="$Chicago$"\r\n[DefaultInstall]\r\nAddReg=R\r\n[R]\r\n'
printf '%s' "${head}HKCU,Software\\T,Dir,,VUZAZURAV"$'\n' >clean.inx
printf '%s' "${head}HKCU,Software\\T,Dir,,\"VUZAZURAV\""$'\r\n' >quoted.inx
printf '%s' $'[Version]\r\n' >nosection.inx
mkdir folder.inx

expect 0 "clean template" "$inx_check" clean.inx
[ ! -s err ] || { fail "output for a clean template:"; cat err; }
expect 0 "warnings only" "$inx_check" quoted.inx
grep -q '^quoted.inx:6:23: warning: ' err || { fail "warning form:"; cat err; }
expect 1 "warnings with --werror" "$inx_check" --werror quoted.inx
expect 1 "an error" "$inx_check" nosection.inx
expect 2 "no template" "$inx_check"
expect 2 "a missing template" "$inx_check" missing.inx
expect 2 "a directory as template" "$inx_check" folder.inx
expect 2 "--output without --path" "$inx_check" --output x.inf clean.inx
expect 2 "--path without its value" "$inx_check" clean.inx --path
expect 2 "--output without its value" "$inx_check" --path 'C:\App' clean.inx --output
expect 2 "an unknown option" "$inx_check" --strict clean.inx
expect 0 "--help" "$inx_check" --help
grep -q '^usage: inx-check' out || fail "--help prints no usage on standard output"
expect 0 "--version" "$inx_check" --version
grep -q '^inx-check [0-9]' out || fail "--version prints no version"

expected=${head}$'HKCU,Software\\T,Dir,,"C:\\Program Files\\App"\r\n'
expect 0 "--path to a file" "$inx_check" --path 'C:\Program Files\App' --output script.inf clean.inx
cmp script.inf <(printf '%s' "$expected") || fail "install.inf in a file"
expect 0 "--path to standard output" "$inx_check" --path 'C:\Program Files\App' clean.inx
cmp out <(printf '%s' "$expected") || fail "install.inf on standard output"
expect 1 "an error with --path" "$inx_check" --path 'C:\App' --output empty.inf nosection.inx
[ ! -e empty.inf ] || fail "install.inf written for a template with errors"
if [ -w /dev/full ]; then
    expect 2 "a full disk" "$inx_check" --path 'C:\App' --output /dev/full clean.inx
fi

[ "$failures" -eq 0 ] && echo "inx-check behaves as a command should"
exit $((failures > 0))
