#!/usr/bin/env bash
# Builds and runs the benchmarks; prints the ratios measured in this run,
# with the size of the stripped install.exe beside them.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-packages.sh
cmake --preset host -DINSTALL_BENCHMARKS=ON >/dev/null
cmake --build --preset host --target install_benchmark >/dev/null
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target install_program >/dev/null
build/host/bench/install_benchmark --program build/win32/launcher/install.exe "$@"
