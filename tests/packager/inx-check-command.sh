#!/usr/bin/env bash
# inx-check as a command: exit statuses, quiet on a clean template, and the
# install.inf it writes to a file or to standard output.
# Usage: inx-check-command.sh INX_CHECK
set -uo pipefail
inx_check=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
failures=0
expect() {  # expect STATUS WHAT COMMAND...
    local status=$1 what=$2
    shift 2
    "$@" >out 2>err
    local got=$?
    if [ "$got" -ne "$status" ]; then
        echo "FAIL: $what: exit status $got, not $status"; cat err; failures=$((failures + 1))
    fi
}

printf '[DefaultInstall]\r\nAddReg=R\r\n[R]\r\nHKCU,Software\\T,Dir,,VUZAZURAV\n' >clean.inx
printf '[DefaultInstall]\r\nA="VUZAZURAV"\r\n' >quoted.inx
printf '[Version]\r\n' >nosection.inx

expect 0 "clean template" "$inx_check" clean.inx
[ ! -s err ] || { echo "FAIL: output for a clean template:"; cat err; failures=$((failures + 1)); }
expect 0 "warnings only" "$inx_check" quoted.inx
grep -q '^quoted.inx:2:4: warning: ' err || { echo "FAIL: warning form:"; cat err; failures=$((failures + 1)); }
expect 1 "warnings with --werror" "$inx_check" --werror quoted.inx
expect 1 "an error" "$inx_check" nosection.inx
expect 2 "no template" "$inx_check"
expect 2 "a missing template" "$inx_check" missing.inx
expect 2 "--output without --path" "$inx_check" --output x.inf clean.inx
expect 2 "an unknown option" "$inx_check" --strict clean.inx

expected='[DefaultInstall]\r\nAddReg=R\r\n[R]\r\nHKCU,Software\\T,Dir,,"C:\\Program Files\\App"\r\n'
expect 0 "--path to a file" "$inx_check" --path 'C:\Program Files\App' --output script.inf clean.inx
cmp script.inf <(printf "$expected") || { echo "FAIL: install.inf in a file"; failures=$((failures + 1)); }
expect 0 "--path to standard output" "$inx_check" --path 'C:\Program Files\App' clean.inx
cmp out <(printf "$expected") || { echo "FAIL: install.inf on standard output"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "inx-check behaves as a command should"
exit $((failures > 0))
