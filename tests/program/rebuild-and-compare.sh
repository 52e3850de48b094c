#!/bin/sh
# Builds install.exe a second time, from the same sources in another folder,
# and checks that both builds are identical byte for byte.
# Usage: rebuild-and-compare.sh SOURCE_DIR BUILT_EXE TOOLCHAIN_FILE BUILD_TYPE
set -eu
source_dir=$1
built=$2
toolchain=$3
build_type=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake -S "$source_dir" -B "$scratch" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE="$build_type" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$scratch" --target install_program >/dev/null
if cmp "$built" "$scratch/launcher/install.exe"; then
    echo "identical: $(wc -c <"$built") bytes"
else
    exit 1
fi
