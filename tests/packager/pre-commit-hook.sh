#!/usr/bin/env bash
# The repository's pre-commit hook, run by pre-commit itself from this clone
# with INX_CHECK's folder first on PATH: a clean template passes, each file
# with an error fails the hook with its findings, other files are left alone.
# Usage: pre-commit-hook.sh SOURCE_DIR INX_CHECK
set -euo pipefail
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export PATH=$(dirname "$2"):$PATH PRE_COMMIT_HOME=$scratch/home
failures=0

printf '[Version]\r\nSignature="$Chicago$"\r\n[DefaultInstall]\r\nCopyFiles=F\r\n[DestinationDirs]\r\nF=-1,VUZAZURAV\r\n[F]\r\nmissing.dll\r\n' \
    >"$scratch/broken.inx"
cp "$scratch/broken.inx" "$scratch/-broken.inf"
printf 'not a template\n' >"$scratch/notes.txt"

# hook NAME STATUS PATTERN FILE...: the hook ends with STATUS and prints PATTERN.
hook() {
    local name=$1 expected=$2 pattern=$3 status=0
    shift 3
    (cd "$source_dir" && pre-commit try-repo . inx-check --files "$@") >"$scratch/$name.log" 2>&1 ||
        status=$?
    if [ "$status" -ne "$expected" ] || ! grep -q -- "$pattern" "$scratch/$name.log"; then
        echo "FAIL: $name: status $status (expected $expected), or no '$pattern' in:"
        cat "$scratch/$name.log"
        failures=$((failures + 1))
    fi
}

hook clean 0 'inx-check\.*Passed' tools/demo/install.inx
hook broken 1 "broken.inx:8:1: error: 'missing.dll' is not in the package folder" \
    tools/demo/install.inx "$scratch/broken.inx"
hook dash-name 1 "-broken.inf:8:1: error:" "$scratch/-broken.inf"
hook other-files 0 'inx-check\.*(no files to check)Skipped' "$scratch/notes.txt"

[ "$failures" -eq 0 ] && echo "the pre-commit hook checks templates and INFs as inx-check does"
