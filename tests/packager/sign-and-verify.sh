#!/usr/bin/env bash
# tools/sign.sh with throwaway credentials: a certificate authority and a
# code-signing certificate made here, used as PEM files and as a PKCS#12 file
# with a password file. Each signature must verify against that authority,
# and removing it must give back the unsigned program byte for byte.
# Usage: sign-and-verify.sh SOURCE_DIR INSTALL_EXE SIGNED_OUT
set -euo pipefail
source_dir=$1
unsigned=$(realpath "$2")
signed_out=$(realpath -m "$3")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Test Signing Authority" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
    -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Test Publisher" \
    -keyout signer.key -out signer.csr 2>/dev/null
printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=codeSigning" >signer.ext
openssl x509 -req -days 2 -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial \
    -extfile signer.ext -out signer.pem 2>/dev/null
echo "a pass phrase" >pass.txt
openssl pkcs12 -export -inkey signer.key -in signer.pem -passout file:pass.txt -out signer.p12

sign=("$source_dir/tools/sign.sh")
check() {  # check SIGNED: verifies, and gives back the unsigned program
    osslsigncode verify -CAfile ca.pem -in "$1" >verify.log 2>&1 ||
        { cat verify.log; echo "FAIL: $1 does not verify"; exit 1; }
    grep -q "Subject: /CN=Test Publisher" verify.log || { echo "FAIL: signer"; exit 1; }
    rm -f unsigned.exe
    osslsigncode remove-signature -in "$1" -out unsigned.exe >/dev/null
    cmp "$unsigned" unsigned.exe || { echo "FAIL: removing the signature changed the program"; exit 1; }
}

bash "${sign[@]}" "$unsigned" pem.exe --cert signer.pem --key signer.key
check pem.exe
bash "${sign[@]}" "$unsigned" p12.exe --pkcs12 signer.p12 --pass-file pass.txt
check p12.exe

# Wrong credentials and bad usage fail without writing OUT.
echo "not the pass phrase" >wrong.txt
if bash "${sign[@]}" "$unsigned" wrong.exe --pkcs12 signer.p12 --pass-file wrong.txt 2>/dev/null ||
    [ -e wrong.exe ]; then
    echo "FAIL: a wrong pass phrase signed"; exit 1
fi
status=0
bash "${sign[@]}" "$unsigned" usage.exe --cert signer.pem 2>/dev/null || status=$?
[ "$status" -eq 2 ] && [ ! -e usage.exe ] || { echo "FAIL: a key-less call gave $status"; exit 1; }

mkdir -p "$(dirname "$signed_out")"
cp p12.exe "$signed_out"
echo "signed, verified and restored: $(wc -c <"$signed_out") bytes signed, $(wc -c <"$unsigned") unsigned"
