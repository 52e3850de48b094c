#!/bin/sh
# Ends the wineserver of the prefix $1 and removes the socket folder that it
# leaves in $TMPDIR or /tmp (wine-XXXXXX/server-DEVICE-INODE, named after the
# prefix). With --wait SECONDS it first lets the server end on its own, as
# it does once its last program has ended and Wine's own have shut down
# (at once for a server started with -p0): what they were writing is then
# complete in the hives. A server still running after that is killed.
# Usage: stop-prefix.sh PREFIX [--wait SECONDS]
set -u
prefix=$1
export WINEPREFIX="$prefix"
if [ "${2:-}" = --wait ]; then
    timeout "$3" wineserver -w 2>/dev/null
fi
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
