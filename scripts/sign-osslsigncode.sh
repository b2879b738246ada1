#!/usr/bin/env bash
# Signs a Windows program in place with osslsigncode (Authenticode, SHA-256): a signing
# command for the Windows build (-DTAVRIN_SIGN_COMMAND=.../sign-osslsigncode.sh, or
# package-windows.sh --sign). Its settings come from the environment, so that no secret is
# kept in the build's cache:
#   TAVRIN_SIGN_PKCS12         the certificate with its private key (.pfx / .p12)
#   TAVRIN_SIGN_PASSWORD_FILE  a file whose first line is its password (when it has one)
#   TAVRIN_SIGN_TIMESTAMP      an RFC 3161 timestamp server (keeps the signature valid after
#                              the certificate expires; strongly advised for players' builds)
#   TAVRIN_SIGN_NAME           the description Windows shows when it asks about the program
# Usage: sign-osslsigncode.sh FILE
set -euo pipefail
if [ $# != 1 ] || [ ! -f "$1" ]; then
  echo "usage: sign-osslsigncode.sh FILE (an existing program)" >&2
  exit 2
fi
: "${TAVRIN_SIGN_PKCS12:?TAVRIN_SIGN_PKCS12 must name the certificate (.pfx or .p12)}"
args=(sign -pkcs12 "$TAVRIN_SIGN_PKCS12" -h sha256)
[ -z "${TAVRIN_SIGN_PASSWORD_FILE:-}" ] || args+=(-readpass "$TAVRIN_SIGN_PASSWORD_FILE")
[ -z "${TAVRIN_SIGN_TIMESTAMP:-}" ] || args+=(-ts "$TAVRIN_SIGN_TIMESTAMP")
[ -z "${TAVRIN_SIGN_NAME:-}" ] || args+=(-n "$TAVRIN_SIGN_NAME")
osslsigncode "${args[@]}" -in "$1" -out "$1.signed" >/dev/null
mv -f "$1.signed" "$1"
