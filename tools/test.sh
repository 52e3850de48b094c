#!/usr/bin/env bash
# Installs what is needed, builds every configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-packages.sh
for preset in host sanitize win32 win32-clang; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
ctest --preset host
# The end-to-end tests show real message boxes: give Wine a display of its own.
failed=0
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset win32-clang || failed=1
# The Wine tests leave most of the CPU idle: the sanitizer tree's tests
# (clang-tidy above all) run beside the win32 tree's, and report after them.
sanitize_log=$(mktemp)
sanitize=
trap 'kill "$sanitize" 2>/dev/null; rm -f "$sanitize_log"' EXIT
ctest --preset sanitize >"$sanitize_log" 2>&1 &
sanitize=$!
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset win32 || failed=1
wait "$sanitize" || failed=1
cat "$sanitize_log"
exit "$failed"
