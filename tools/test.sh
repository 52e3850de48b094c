#!/usr/bin/env bash
# Installs what is needed, builds every configuration and runs every test.
# Ends with each tree's time and its five longest tests, then CTest's summary
# of each tree.
set -euo pipefail
cd "$(dirname "$0")/.."

started=$SECONDS
tools/install-packages.sh
installed=$((SECONDS - started))
# Compiler output is cached (ccache) across builds and clones of this tree.
export CCACHE_BASEDIR=$PWD
for preset in host sanitize win32 win32-clang; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
built=$((SECONDS - started - installed))

logs=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$logs"' EXIT
# run_tree PRESET [WRAPPER...]: CTest on a tree, its output and time in $logs.
run_tree() {
    local preset=$1 start=$SECONDS status=0
    shift
    "$@" ctest --preset "$preset" >"$logs/$preset.log" 2>&1 || status=1
    echo $((SECONDS - start)) >"$logs/$preset.time"
    echo "== $preset: tested in $((SECONDS - start)) s ($(grep -o '[0-9]*% tests passed.*' "$logs/$preset.log"))"
    return $status
}
# The Wine trees mostly wait on Wine, each in prefixes and on a display of its
# own; the sanitizer tree's tests (clang-tidy, fuzzing) keep the CPU busy at a
# lower priority, which hands them what the Wine tests leave.
failed=0
run_tree host || failed=1
display=(xvfb-run -a -s "-screen 0 1024x768x24")
run_tree win32 "${display[@]}" & pids+=($!)
run_tree win32-clang "${display[@]}" & pids+=($!)
run_tree sanitize nice -n 15 & pids+=($!)
for pid in "${pids[@]}"; do
    wait "$pid" || failed=1
done
pids=()

trees=(host sanitize win32 win32-clang)
for preset in "${trees[@]}"; do
    echo "== $preset"
    cat "$logs/$preset.log"
done
echo
echo "== Where the time went: $((SECONDS - started)) s in all, $installed s installing, $built s building"
echo "   (each fuzz run: $(sed -n 's/^FUZZ_SECONDS:STRING=//p' build/sanitize/CMakeCache.txt) s, from the corpus kept in ${XDG_CACHE_HOME:-~/.cache}/inx-tools/fuzz-corpus)"
for preset in "${trees[@]}"; do
    printf '%-12s %5s s  ' "$preset" "$(cat "$logs/$preset.time")"
    sed -n 's/^ *[0-9]*\/[0-9]* *Test *#[0-9]*: \([^ ]*\) .* \([0-9.]*\) sec$/\2 \1/p' "$logs/$preset.log" |
        sort -rn | head -5 | awk '{ printf "%s%s %.0f s", (NR > 1 ? ", " : ""), $2, $1 } END { print "" }'
done
for preset in "${trees[@]}"; do
    echo
    echo "== CTest's summary: $preset"
    sed -n '/% tests passed, /,$p' "$logs/$preset.log"
done
exit "$failed"
