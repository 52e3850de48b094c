#!/bin/sh
# Copies a pristine Wine prefix to TARGET, making it first when this Wine
# version and locale have none yet. Pristine prefixes are kept in CACHE, one
# per Wine version, WINEARCH (win32 unless set: 32- or 64-bit Windows), LC_ALL
# (which sets the ANSI code page), the host's fonts (Wine registers new ones
# at its next start: noise in every try) and FORMAT, the way create-prefix.sh
# makes them (a prefix an older way made is not used). Each is made under a
# lock of its own, so that two kinds' prefixes are made at once.
# Usage: pristine-prefix.sh CACHE TARGET
set -eu
FORMAT=sandbox-1
cache=$1
target=$2
here=$(cd "$(dirname "$0")" && pwd)
version=$(wine --version | tr -c 'A-Za-z0-9.\n-' '_')
fonts=$(ls -lR /usr/share/fonts /usr/local/share/fonts 2>/dev/null | cksum | cut -d ' ' -f 1)
pristine=$cache/$version-${WINEARCH:-win32}-${LC_ALL:-default}-$FORMAT-$fonts
mkdir -p "$cache"
(
    flock 9
    if [ ! -f "$pristine/ready" ]; then
        rm -rf "$pristine"
        # Wine's processes do not inherit the lock: it is held while this
        # shell makes the prefix, and free once it has ended.
        "$here/create-prefix.sh" "$pristine/prefix" >&2 9>&-
        "$here/stop-prefix.sh" "$pristine/prefix" 9>&-
        touch "$pristine/ready"
    fi
) 9>"$pristine.lock"
rm -rf "$target"
mkdir -p "$(dirname "$target")"
cp -a "$pristine/prefix" "$target"
echo "$pristine"
