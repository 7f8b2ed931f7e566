#!/usr/bin/env bash
# Signs Windows programs and packages with Authenticode, in place, with
# osslsigncode (SHA-256 digests):
#
#   OMBRELIN_SIGNING_CERT=signer.pem OMBRELIN_SIGNING_KEY=signer-key.pem \
#       scripts/sign-windows.sh FILE...
#
# OMBRELIN_SIGNING_CERT  PEM certificates: the signer's first, then any
#                        intermediate certificates up to (not including) the root
# OMBRELIN_SIGNING_KEY   the signer's PEM private key
# OMBRELIN_SIGNING_KEY_PASSWORD_FILE   optional: a file holding the key's password
# OMBRELIN_SIGNING_TIMESTAMP_URL       optional: an RFC 3161 time-stamping service,
#                        so the signature stays valid after the certificate expires
#
# A file is replaced only once its signed copy is complete.
set -euo pipefail

die() { printf 'sign-windows: %s\n' "$*" >&2; exit 1; }

cert=${OMBRELIN_SIGNING_CERT:-}
key=${OMBRELIN_SIGNING_KEY:-}
[ -n "$cert" ] && [ -n "$key" ] || die "OMBRELIN_SIGNING_CERT and OMBRELIN_SIGNING_KEY must both be set"
[ -f "$cert" ] || die "OMBRELIN_SIGNING_CERT is not a file: '$cert'"
[ -f "$key" ] || die "OMBRELIN_SIGNING_KEY is not a file: '$key'"
command -v osslsigncode >/dev/null 2>&1 || die "osslsigncode is missing (scripts/install-deps.sh installs it)"
[ $# -gt 0 ] || die "no file to sign"

options=(-certs "$cert" -key "$key" -h sha256 -n "Ombrelin Revozad")
if [ -n "${OMBRELIN_SIGNING_KEY_PASSWORD_FILE:-}" ]; then
    options+=(-readpass "$OMBRELIN_SIGNING_KEY_PASSWORD_FILE")
fi
if [ -n "${OMBRELIN_SIGNING_TIMESTAMP_URL:-}" ]; then
    options+=(-ts "$OMBRELIN_SIGNING_TIMESTAMP_URL")
fi

for file in "$@"; do
    [ -f "$file" ] || die "not a file: '$file'"
    rm -f "$file.signed"
    if ! osslsigncode sign "${options[@]}" -in "$file" -out "$file.signed" >"$file.sign.log" 2>&1 </dev/null; then
        cat "$file.sign.log" >&2
        rm -f "$file.signed" "$file.sign.log"
        die "could not sign '$file'"
    fi
    rm -f "$file.sign.log"
    mv -f "$file.signed" "$file"
done
