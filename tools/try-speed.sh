#!/usr/bin/env bash
# A benchmark of tools/try.sh on the sample package, every time measured in
# this one run: the floor (a bare Wine start, `wine cmd /c exit`, in a copy of
# the warm pristine prefix, its server started as a try's is), a
# warm try and the table of where its time goes, and the warm 16-row
# --matrix; each as seconds and as a ratio to the floor. Medians of RUNS
# (default 3). Usage: tools/try-speed.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
scratch=$(mktemp -d)
trap 'WINEPREFIX=$scratch/prefix inx-try/wine/stop-prefix.sh "$scratch/prefix"; rm -rf "$scratch"' EXIT

seconds() {  # seconds COMMAND...: how long it took, its output in $scratch/out
    local start end
    start=$(date +%s.%N)
    "$@" >"$scratch/out" 2>&1 || { cat "$scratch/out" >&2; return 1; }
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.2f", v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }

bash tools/try.sh tools/demo --headless >/dev/null 2>&1  # builds the tools, makes the pristine prefix
cache=${XDG_CACHE_HOME:-$HOME/.cache}/inx-tools/wine-prefixes
export LC_ALL=C.UTF-8 WINEDEBUG=-all WINEPREFIX=$scratch/prefix WINEARCH=win32
inx-try/wine/pristine-prefix.sh "$cache" "$WINEPREFIX" >/dev/null
# Each bare start starts the server too, as a try's install does; the server's
# end, as Wine's own programs shut down, is outside it.
bare() { wineserver -p0 && wine cmd /c exit; }
bare >/dev/null 2>&1 && wineserver -w
floor=$(for _ in $(seq "$runs"); do seconds bare; wineserver -w; done | median)

for run in $(seq "$runs"); do
    time=$(seconds bash tools/try.sh tools/demo --headless)
    report=$(sed -n 's/^== Report: //p' "$scratch/out")
    cp "$(dirname "$report")/timings.txt" "$scratch/timings-$time"
    echo "$time"
done >"$scratch/tries"
warm=$(median <"$scratch/tries")
middle=$(ls "$scratch"/timings-* | sort -t- -k2 -n | sed -n "$(((runs + 1) / 2))p")
matrix=$(seconds bash tools/try.sh tools/demo --headless --matrix)

echo "A bare Wine start (wine cmd /c exit) in a warm prefix: $floor s"
echo "A warm try of the sample, where its time goes (the median try):"
awk -F '\t' -v floor="$floor" '{ printf "  %7.2f s  %5.1f starts  %2d x  %s\n", $1, $1 / floor, $2, $3 }' "$middle"
echo "warm try: $warm s = $(ratio "$warm" "$floor") bare starts (target: 4 s, at most 4 starts)"
echo "warm 16-row matrix, $(nproc) cores: $(printf '%.1f' "$matrix") s = $(ratio "$matrix" "$floor") bare starts (target: 45 s)"
