#!/usr/bin/env bash
# The Debian packages as a packager gets them: the same bytes from two more
# builds with the build path, umask, time zone, locale, file system order,
# home and environment varied (reprotest), lintian without an error or a
# warning, inx-check usable from its package alone (no Wine, no Python), and
# all of them, extracted into a scratch folder, run as the autopkgtest runs
# the installed tools.
# Usage: package-test.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mapfile -t debs < <(bash "$source_dir/tools/package.sh") || { echo "FAIL: tools/package.sh"; exit 1; }
[ ${#debs[@]} -ge 5 ] || { echo "FAIL: tools/package.sh built ${#debs[@]} packages"; exit 1; }
# reprotest builds the same tracked files twice, each under other
# conditions; its first build must also equal package.sh's.
copy=$scratch/source/inx-tools
mkdir -p "$copy"
git -C "$source_dir" ls-files -z | (cd "$source_dir" && tar --null -T - -cf -) | tar -xf - -C "$copy"
(cd "$copy" &&
    reprotest --vary=-all,+build_path,+umask,+timezone,+locales,+fileordering,+home,+environment,+exec_path \
        --store-dir="$scratch/reprotest" \
        -c 'dpkg-buildpackage -us -uc -b >/dev/null 2>&1 && mkdir out && mv ../*.deb out/' \
        . 'out/*.deb' -- null >"$scratch/reprotest.log" 2>&1) ||
    { tail -30 "$scratch/reprotest.log"; fail "two builds under varied conditions differ"; }
for deb in "${debs[@]}"; do
    cmp -s "$deb" "$scratch/reprotest/control/source-root/out/$(basename "$deb")" ||
        fail "$(basename "$deb") differs from reprotest's build"
done
lintian --fail-on error,warning "${debs[@]}" >"$scratch/lintian.log" 2>&1 ||
    { cat "$scratch/lintian.log"; fail "lintian reports errors or warnings"; }

package() { printf '%s\n' "${debs[@]}" | grep "/$1_"; }
depends=$(dpkg-deb -f "$(package inx-check)" Depends)
case $depends in
*wine* | *python* | *xvfb*) fail "inx-check depends on more than its binary links: $depends" ;;
esac
alone=$scratch/alone
dpkg-deb -x "$(package inx-check)" "$alone"
"$alone/usr/bin/inx-check" "$source_dir/tools/demo/install.inx" || fail "inx-check from its package alone"

installed=$scratch/installed
for deb in "${debs[@]}"; do
    dpkg-deb -x "$deb" "$installed"
done
(cd "$source_dir" && PATH=$installed/usr/bin:$PATH INSTALLED=$installed \
    debian/tests/tools-as-installed) || fail "the installed tools"

[ "$failures" -eq 0 ] && echo "the packages build the same under varied conditions, pass lintian and run as installed"
exit $((failures > 0))
