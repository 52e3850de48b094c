#!/usr/bin/env bash
# Builds the Debian binary package inx-tools_VERSION_amd64.deb into
# build/package/: inx-check, inx-try and inx-sign with their man pages and
# completions, and the reproducible install.exe and try-driver.exe, from this
# tree, in build trees of its own. Reproducible: the file times and the
# archive's are SOURCE_DATE_EPOCH (the last commit's time unless set), and
# the build paths are mapped out of the binaries.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/package
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}
export LC_ALL=C.UTF-8 TZ=UTC DEB_BUILD_MAINT_OPTIONS=hardening=+all
version=$(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
for command in dpkg-deb dpkg-shlibdeps dpkg-buildflags scdoc i686-w64-mingw32-g++-posix; do
    command -v "$command" >/dev/null ||
        { echo "package.sh: $command is missing; as root: bash tools/install-packages.sh" >&2; exit 2; }
done

rm -rf "$out"
mkdir -p "$out"
staged=$out/root
# Debian's hardening flags, and no build path in the binaries.
map="-ffile-prefix-map=$root=."
cmake -S "$root" -B "$out/host" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DINSTALL_BENCHMARKS=OFF -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS) $map" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$out/host" -j 2 >/dev/null
cmake -S "$root" -B "$out/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$out/win32" -j 2 --target install_program try_driver >/dev/null
DESTDIR=$staged cmake --install "$out/host" --strip >/dev/null
strip --remove-section=.comment --remove-section=.note "$staged/usr/bin/inx-check"
DESTDIR=$staged cmake --install "$out/win32" >/dev/null

doc=$staged/usr/share/doc/inx-tools
gzip -9n "$staged"/usr/share/man/man1/*.1
gzip -9n "$doc/changelog"
{
    printf 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n'
    printf 'Upstream-Name: inx-tools\n\nFiles: *\nCopyright: 2026 The inx-tools authors\nLicense: Expat\n'
    sed '1,4d; s/^$/./; s/^/ /' "$root/LICENSE"
} >"$doc/copyright"

mkdir -p "$staged/DEBIAN" "$out/shlibs/debian"
printf 'Source: inx-tools\n\nPackage: inx-tools\nArchitecture: amd64\n' >"$out/shlibs/debian/control"
shlibs=$(cd "$out/shlibs" && dpkg-shlibdeps -O "$staged/usr/bin/inx-check" 2>/dev/null |
    sed -n 's/^shlibs:Depends=//p')
size=$(du -sk --exclude=DEBIAN "$staged" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@SIZE@/$size/" -e "s/@SHLIBS@/$shlibs/" \
    "$root/packaging/control.in" >"$staged/DEBIAN/control"
(cd "$staged" && find usr -type f | sort | xargs md5sum) >"$staged/DEBIAN/md5sums"
find "$staged" -type d -exec chmod 0755 {} +
find "$staged" -type f -exec chmod 0644 {} +
chmod 0755 "$staged"/usr/bin/* "$staged"/usr/share/inx-tools/wine/*.sh
find "$staged" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
deb=$out/inx-tools_${version}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "$staged" "$deb" >/dev/null
echo "$deb"
