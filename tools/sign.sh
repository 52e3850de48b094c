#!/usr/bin/env bash
# Signs install.exe with Authenticode (SHA-256), offline, with Debian's
# osslsigncode. The unsigned build stays the reproducible artefact: removing
# the signature gives it back byte for byte.
#
# Usage: bash tools/sign.sh IN.exe OUT.exe (installed: inx-sign IN.exe OUT.exe)
#            (--pkcs12 FILE [--pass-file FILE] | --cert CERT.pem --key KEY.pem)
#            [--timestamp URL]
set -euo pipefail

# The install writes the version in; a checkout reads its own.
version="@INX_TOOLS_VERSION@"
name=inx-sign
if [ "${version#@}" != "$version" ]; then
    name="bash tools/sign.sh"
    version=$(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")
fi

usage() {
    echo "usage: $name IN.exe OUT.exe (--pkcs12 FILE [--pass-file FILE] |" \
        "--cert CERT.pem --key KEY.pem) [--timestamp URL]" >&"${1:-2}"
    exit "${2:-2}"
}

case ${1:-} in
--help) usage 1 0 ;;
--version) echo "inx-sign $version"; exit 0 ;;
esac
[ $# -ge 2 ] || usage
in=$1
out=$2
shift 2
pkcs12= pass_file= cert= key= timestamp=
while [ $# -gt 0 ]; do
    [ $# -ge 2 ] || usage
    case $1 in
    --pkcs12) pkcs12=$2 ;;
    --pass-file) pass_file=$2 ;;
    --cert) cert=$2 ;;
    --key) key=$2 ;;
    --timestamp) timestamp=$2 ;;
    *) usage ;;
    esac
    shift 2
done

credentials=()
if [ -n "$pkcs12" ] && [ -z "$cert$key" ]; then
    credentials=(-pkcs12 "$pkcs12")
    [ -z "$pass_file" ] || credentials+=(-readpass "$pass_file")
elif [ -z "$pkcs12$pass_file" ] && [ -n "$cert" ] && [ -n "$key" ]; then
    credentials=(-certs "$cert" -key "$key")
else
    usage
fi
[ -f "$in" ] || { echo "$name: no such file: $in" >&2; exit 2; }
[ "$(realpath -m "$in")" != "$(realpath -m "$out")" ] ||
    { echo "$name: OUT must not be IN: the unsigned program is kept" >&2; exit 2; }

command -v osslsigncode >/dev/null ||
    { echo "$name: osslsigncode is missing; as root: apt-get install osslsigncode" >&2; exit 2; }

# An RFC 3161 timestamp keeps the signature valid after the certificate expires.
stamp=()
[ -z "$timestamp" ] || stamp=(-ts "$timestamp")
rm -f "$out"
osslsigncode sign "${credentials[@]}" -h sha256 "${stamp[@]}" -in "$in" -out "$out" >/dev/null
echo "signed: $out"
