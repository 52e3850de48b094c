#!/bin/sh
# Ends the wineserver of the prefix $1 and removes the socket folder that it
# leaves in $TMPDIR or /tmp (wine-XXXXXX/server-DEVICE-INODE, named after the prefix).
set -u
prefix=$1
export WINEPREFIX="$prefix"
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
[ -d "$prefix" ] || exit 0
server="server-$(stat -c %D "$prefix")-$(printf '%x' "$(stat -c %i "$prefix")")"
for folder in "${TMPDIR:-/tmp}"/wine-*/"$server"; do
    [ -d "$folder" ] || continue
    rm -rf "$folder"
    rmdir "$(dirname "$folder")" 2>/dev/null
done
exit 0
