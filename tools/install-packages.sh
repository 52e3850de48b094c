#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing need (as root),
# and any further ones named as arguments; with --only, just those named.
# Does nothing when all are present.
set -euo pipefail

if [ "${1:-}" = "--only" ]; then
    shift
    packages=("$@")
else
    packages=(
        cmake make ccache g++ googletest libgtest-dev libbenchmark-dev
        g++-mingw-w64-i686-posix binutils-mingw-w64-i686
        clang-14 lld-14 lld llvm-14 libclang-rt-14-dev clang-tidy-14 clang-format-14 cppcheck
        wine wine32:i386 wine64 xvfb xauth python3 python3-jsonschema osslsigncode openssl locales
        scdoc man-db dpkg-dev debhelper lintian reprotest disorderfs chromium
        "$@"
    )
fi
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
