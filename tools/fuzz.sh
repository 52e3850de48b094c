#!/usr/bin/env bash
# A longer fuzzing session: each target for SECONDS (default 600), under ASan
# and UBSan, starting from the committed seeds. New inputs that widen coverage
# go to build/fuzz-found/TARGET; a failing input is saved as crash-* there, and
# the sanitizer's report is kept whole in build/fuzz-found/TARGET.log. Every
# target runs; the exit status is 1 when any of them failed.
# Usage: tools/fuzz.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-600}
targets=(expand generate app_path inx_check)

tools/install-packages.sh
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize --target "${targets[@]/%/_fuzzer}" >/dev/null
failed=()
for target in "${targets[@]}"; do
    found=$root/build/fuzz-found/$target
    mkdir -p "$found"
    echo "== $target: $seconds s"
    if (cd "$found" && "$root/build/sanitize/tests/fuzz/${target}_fuzzer" \
        -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
        . "$root/tests/fuzz/corpus" >"$found.log" 2>&1); then
        grep -E '^(Done|stat::number_of_executed_units)' "$found.log" || true
    else
        cat "$found.log"
        failed+=("$target")
    fi
done
[ ${#failed[@]} -eq 0 ] || { echo "FAILED: ${failed[*]}"; exit 1; }
echo "OK: ${targets[*]}"
