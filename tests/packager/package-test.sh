#!/usr/bin/env bash
# The Debian package as a packager gets it: built twice to the same bytes,
# lintian without errors, and, extracted into a scratch folder, each command
# run from an unrelated working folder: inx-check on the sample and on a
# broken copy, inx-try on the sample (its report in the working folder, its
# prefixes in a scratch cache, nothing written into the installed tree),
# inx-sign with a throwaway authority; each man page rendered without warnings.
# Usage: package-test.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

deb=$(bash "$source_dir/tools/package.sh") || { echo "FAIL: tools/package.sh"; exit 1; }
first=$(sha256sum <"$deb")
bash "$source_dir/tools/package.sh" >/dev/null || fail "the second build"
[ "$(sha256sum <"$deb")" = "$first" ] || fail "two builds of the package differ"
lintian --fail-on error "$deb" >"$scratch/lintian.log" 2>&1 ||
    { cat "$scratch/lintian.log"; fail "lintian reports errors"; }

installed=$scratch/installed
dpkg-deb -x "$deb" "$installed"
export PATH=$installed/usr/bin:$PATH XDG_CACHE_HOME=$scratch/cache
unset DISPLAY
mkdir "$scratch/work"
cd "$scratch/work"
touch "$scratch/before"
version=$(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
for command in inx-check inx-try inx-sign; do
    [ "$("$command" --version)" = "$command $version" ] || fail "$command --version"
    page=$installed/usr/share/man/man1/$command.1.gz
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] && MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q '^EXIT STATUS' ||
        fail "man page of $command: $warnings"
done

demo=$installed/usr/share/inx-tools/demo
inx-check "$demo/install.inx" || fail "inx-check on the sample"
cp -R "$demo" broken
sed -i '/^Signature/d' broken/install.inx
inx-check broken/install.inx 2>/dev/null
[ $? -eq 1 ] || fail "inx-check on a broken sample does not exit 1"

inx-try "$demo" --headless >try.log 2>&1 || { cat try.log; fail "inx-try on the sample"; }
[ -s inx-try-demo/report.txt ] && [ -f inx-try-demo/boxes/box-1.png ] ||
    fail "inx-try wrote no report in the working folder"
[ -n "$(ls "$XDG_CACHE_HOME/inx-tools/wine-prefixes")" ] || fail "no pristine prefix in the cache"
written=$(find "$installed" -newer "$scratch/before")
[ -z "$written" ] || fail "written into the installed tree: $written"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Test Publisher" \
    -addext "extendedKeyUsage=codeSigning" -keyout signer.key -out signer.pem 2>/dev/null
inx-sign "$installed/usr/share/inx-tools/install.exe" signed.exe --cert signer.pem --key signer.key \
    >/dev/null || fail "inx-sign"
osslsigncode verify -CAfile signer.pem -in signed.exe >verify.log 2>&1 || { cat verify.log; fail "signature"; }

[ "$failures" -eq 0 ] && echo "the package installs, renders and runs as a packager uses it"
exit $((failures > 0))
