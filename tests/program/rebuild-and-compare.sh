#!/bin/sh
# Builds install.exe a second time, from the same sources in another folder,
# and checks that both builds are identical byte for byte.
# Usage: rebuild-and-compare.sh SOURCE_DIR BUILT_EXE
set -eu
source_dir=$1
built=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake -S "$source_dir" -B "$scratch" --preset win32 -DBUILD_TESTING=OFF >/dev/null
cmake --build "$scratch" --target install_program >/dev/null
if cmp "$built" "$scratch/launcher/install.exe"; then
    echo "identical: $(wc -c <"$built") bytes"
else
    exit 1
fi
