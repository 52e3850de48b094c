#!/bin/sh
# Copies a pristine 32-bit Wine prefix to TARGET, making it first when this
# Wine version and locale have none yet. Pristine prefixes are kept in CACHE,
# one per Wine version and LC_ALL (which sets the ANSI code page), so that a
# new Wine or another code page gets a prefix of its own. Each holds
# pristine-hklm-software.reg, its HKLM\Software as `reg export` writes it,
# which takes Wine seconds to export again. Each is made under a lock of its
# own, so that two locales' prefixes are made at once.
# Usage: pristine-prefix.sh CACHE TARGET
set -eu
cache=$1
target=$2
here=$(cd "$(dirname "$0")" && pwd)
version=$(wine --version 2>/dev/null | tr -c 'A-Za-z0-9.\n-' '_')
pristine=$cache/$version-${LC_ALL:-default}
mkdir -p "$cache"
(
    flock 9
    if [ ! -f "$pristine/ready" ]; then
        rm -rf "$pristine"
        "$here/create-prefix.sh" "$pristine/prefix" >/dev/null 2>&1
        WINEPREFIX=$pristine/prefix wine reg export 'HKLM\Software' \
            "$pristine/prefix/pristine-hklm-software.reg" /y >/dev/null 2>&1
        "$here/stop-prefix.sh" "$pristine/prefix"
        touch "$pristine/ready"
    fi
) 9>"$pristine.lock"
rm -rf "$target"
mkdir -p "$(dirname "$target")"
cp -a "$pristine/prefix" "$target"
