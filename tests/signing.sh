#!/usr/bin/env bash
# Signs the built exe with a throwaway certificate, verifies the signature,
# and checks that taking it off again gives the very bytes that were signed.
# Usage: signing.sh SOURCE-DIR UNINSTALL.exe
set -euo pipefail
src=$1 exe=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vexaline test signing" \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
"$src/scripts/sign.sh" "$exe" "$work/cert.pem" "$work/key.pem" "$work/signed.exe"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" | grep -q "Signature verification: ok"
echo "signature verified"
osslsigncode remove-signature -in "$work/signed.exe" -out "$work/unsigned.exe" >/dev/null
cmp "$exe" "$work/unsigned.exe"
echo "signing changed nothing but the signature"
