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
ctest --preset sanitize
# The end-to-end tests show real message boxes: give Wine a display of its own.
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset win32-clang
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset win32
