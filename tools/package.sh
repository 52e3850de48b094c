#!/usr/bin/env bash
# Builds the Debian packages into build/package/ with dpkg-buildpackage, from
# a copy of this tree's tracked files: inx-check, inx-install-exe, inx-try,
# inx-sign and the inx-tools metapackage (see debian/); and, from the same
# build, the zip for packagers on Windows (win32-zip.py). Prints their paths.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/package
for command in dpkg-buildpackage dh git python3; do
    command -v "$command" >/dev/null ||
        { echo "package.sh: $command is missing; as root: bash tools/install-packages.sh" >&2; exit 2; }
done

rm -rf "$out"
source=$out/source/inx-tools
mkdir -p "$source"
git -C "$root" ls-files -z | (cd "$root" && tar --null -T - -cf -) | tar -xf - -C "$source"
(cd "$source" && dpkg-buildpackage -us -uc -b >"$out/build.log" 2>&1) ||
    { tail -40 "$out/build.log" >&2; echo "package.sh: dpkg-buildpackage failed" >&2; exit 1; }
mv "$out"/source/*.deb "$out/"
python3 "$root/tools/win32-zip.py" "$source" "$out" >/dev/null
ls "$out"/*.deb "$out"/*.zip
