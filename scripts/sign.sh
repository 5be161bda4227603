#!/usr/bin/env bash
# Signs the product with Authenticode (SHA-256) with the releaser's
# certificate and key, time-stamped by VX_TIMESTAMP_URL when that server
# answers (a signature without a time stamp expires with its certificate).
# Usage: scripts/sign.sh UNINSTALL.exe CERT.pem KEY.pem [SIGNED.exe]
set -euo pipefail
exe=$1 cert=$2 key=$3 out=${4:-${1%.exe}.signed.exe}
sign() { osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "Vexaline font plugin uninstaller" "$@" \
             -in "$exe" -out "$out" >/dev/null; }
rm -f "$out"
if [ -n "${VX_TIMESTAMP_URL:-}" ] && sign -ts "$VX_TIMESTAMP_URL"; then
    echo "sign: $out signed and time-stamped by $VX_TIMESTAMP_URL"
else
    [ -z "${VX_TIMESTAMP_URL:-}" ] || echo "sign: $VX_TIMESTAMP_URL did not answer; signing without a time stamp" >&2
    sign
    echo "sign: $out signed, not time-stamped"
fi
