#!/usr/bin/env bash
# A longer fuzzing session: each target for SECONDS (default 600), under ASan
# and UBSan, starting from the committed seeds. New inputs that widen coverage
# go to build/fuzz-found/TARGET; a failing input is saved as crash-* there too.
# Usage: tools/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}

tools/install-packages.sh
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize --target expand_fuzzer generate_fuzzer app_path_fuzzer >/dev/null
for target in expand generate app_path; do
    found=build/fuzz-found/$target
    mkdir -p "$found"
    echo "== $target: $seconds s"
    (cd "$found" && "$OLDPWD/build/sanitize/tests/fuzz/${target}_fuzzer" \
        -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
        . "$OLDPWD/tests/fuzz/corpus" 2>&1 | grep -E '^(Done|stat::number_of_executed_units|==|SUMMARY)')
done
