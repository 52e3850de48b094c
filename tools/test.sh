#!/usr/bin/env bash
# Installs what is needed, builds every configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-packages.sh
# Compiler output is cached (ccache) across builds and clones of this tree.
export CCACHE_BASEDIR=$PWD
for preset in host sanitize win32 win32-clang; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
ctest --preset host
# clang-tidy and the sanitizer tree's tests keep the CPU busy, while the Wine
# tests mostly wait on Wine: the former run beside the latter at a lower
# priority, which hands them what the Wine tests leave, and report after them.
failed=0
sanitize_log=$(mktemp)
sanitize=
trap 'kill "$sanitize" 2>/dev/null || true; rm -f "$sanitize_log"' EXIT
nice -n 15 ctest --preset sanitize >"$sanitize_log" 2>&1 &
sanitize=$!
# The end-to-end tests show real message boxes: give Wine a display of its own.
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset win32-clang || failed=1
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset win32 || failed=1
wait "$sanitize" || failed=1
cat "$sanitize_log"
exit "$failed"
