#!/bin/sh
# Builds install.exe a second time, from the same sources in another folder,
# and checks that both builds are identical byte for byte; on a difference,
# says which bytes differ (diffoscope where installed, cmp -l otherwise).
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
rebuilt=$scratch/launcher/install.exe
if cmp -s "$built" "$rebuilt"; then
    echo "identical: $(wc -c <"$built") bytes"
    exit 0
fi
echo "not reproducible: $built and its rebuild differ ($(wc -c <"$built") and $(wc -c <"$rebuilt") bytes)"
if command -v diffoscope >/dev/null; then
    diffoscope "$built" "$rebuilt" || true
else
    echo "offset (decimal), then the differing bytes (octal) of each; the first 50:"
    cmp -l "$built" "$rebuilt" | head -n 50 || true
fi
exit 1
