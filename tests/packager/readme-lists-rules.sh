#!/usr/bin/env bash
# The README's rule list is the one inx-check prints from its own table.
# Usage: readme-lists-rules.sh INX_CHECK README
set -euo pipefail
listed=$(sed -n '/^<!-- inx-check --list-rules -->$/,$p' "$2" | sed '1,2d' | sed '/^```$/,$d')
diff <(printf '%s\n' "$listed") <("$1" --list-rules) && echo "the README lists every rule as inx-check does"
