#!/usr/bin/env bash
# Measures tools/try.sh on the sample package in one run: a cold try (no
# pristine prefix for this Wine yet, so one is made), a warm one (a copy of
# it), their ratio, and a warm 8-row --matrix, in seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", e - s }'
}
bash tools/try.sh tools/demo --headless >/dev/null 2>&1  # builds the tools
rm -rf build/wine-prefixes
cold=$(seconds bash tools/try.sh tools/demo --headless)
warm=$(seconds bash tools/try.sh tools/demo --headless)
matrix=$(seconds bash tools/try.sh tools/demo --headless --matrix)
echo "cold try: $cold s; warm try: $warm s; warm / cold: $(awk -v w="$warm" -v c="$cold" 'BEGIN { printf "%.2f", w / c }') (target <= 0.40)"
echo "warm 8-row matrix: $matrix s (target < 120)"
