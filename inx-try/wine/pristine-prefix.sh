#!/bin/sh
# Copies a pristine Wine prefix to TARGET, making it first when this Wine
# version and locale have none yet. Pristine prefixes are kept in CACHE, one
# per Wine version, WINEARCH (win32 unless set: 32- or 64-bit Windows), LC_ALL
# (which sets the ANSI code page), the host's fonts (Wine registers new ones
# at its next start: noise in every try) and FORMAT, the way create-prefix.sh
# makes them (a prefix an older way made is not used). Each is made under a
# lock of its own, so that two kinds' prefixes are made at once.
# The copy costs next to nothing: Wine's program files (DLLs, programs,
# drivers, code page tables), which are only ever read, are hard links to the
# pristine ones (where both are on one file system); the registry, the .ini
# files and the rest are copies. Should anything write into a linked file all
# the same, the pristine prefix no longer matches what was recorded of those
# files when it was made, and is made anew at the next copy.
# Usage: pristine-prefix.sh CACHE TARGET
set -eu
FORMAT=sandbox-2
cache=$1
target=$2
here=$(cd "$(dirname "$0")" && pwd)
version=$(wine --version | tr -c 'A-Za-z0-9.\n-' '_')
fonts=$(ls -lR /usr/share/fonts /usr/local/share/fonts 2>/dev/null | cksum | cut -d ' ' -f 1)
pristine=$cache/$version-${WINEARCH:-win32}-${LC_ALL:-default}-$FORMAT-$fonts
linked='.*\.\(dll\|exe\|drv\|sys\|vxd\|ocx\|cpl\|acm\|tlb\|ds\|ax\|com\|mod\|nls\|msstyles\)'
# linked_state PREFIX: the linked files' names, sizes and times, in short.
linked_state() {
    find "$1/drive_c" -type f -iregex "$linked" -printf '%P %s %T@\n' | sort | cksum
}
mkdir -p "$cache"
(
    flock 9
    if [ ! -f "$pristine/ready" ] || [ "$(cat "$pristine/ready")" != "$(linked_state "$pristine/prefix")" ]; then
        rm -rf "$pristine"
        # Wine's processes do not inherit the lock: it is held while this
        # shell makes the prefix, and free once it has ended.
        "$here/create-prefix.sh" "$pristine/prefix" >&2 9>&-
        "$here/stop-prefix.sh" "$pristine/prefix" 9>&-
        linked_state "$pristine/prefix" >"$pristine/ready"
    fi
    rm -rf "$target"
    mkdir -p "$(dirname "$target")"
    # Across file systems, where no link can be made, all is copied.
    cp -a --link "$pristine/prefix" "$target" 2>/dev/null ||
        { rm -rf "$target" && cp -a "$pristine/prefix" "$target"; }
    # Whatever may be written in place is a file of the copy's own.
    (cd "$pristine/prefix" && find . -type f ! -iregex "$linked" -print0 |
        xargs -0 cp -p --remove-destination --parents -t "$target")
) 9>"$pristine.lock"
echo "$pristine"
