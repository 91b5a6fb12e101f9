#!/bin/sh
# Authenticode signing step of the build (cmake/signing.cmake): signs a
# Windows program with osslsigncode, SHA-256.
#   sign.sh [--key FILE] [--password-file FILE] [--timestamp-url URL] [--keep-signed]
#           OSSLSIGNCODE CERTIFICATE DESCRIPTION INPUT OUTPUT
# CERTIFICATE is a PKCS#12 file, or a PEM chain for the private key --key.
# --keep-signed copies an INPUT that already carries a signature unchanged.
# INPUT may be OUTPUT. The signed file is written beside OUTPUT and renamed
# over it. On failure OUTPUT is removed: no unsigned program is left where
# the build promised a signed one (and the next build tries again).
set -eu
key="" password_file="" timestamp_url="" keep_signed=""
while [ $# -gt 5 ]; do
    case $1 in
    --key) key=$2; shift 2 ;;
    --password-file) password_file=$2; shift 2 ;;
    --timestamp-url) timestamp_url=$2; shift 2 ;;
    --keep-signed) keep_signed=1; shift ;;
    *) break ;;
    esac
done
[ $# -eq 5 ] || { echo "usage: sign.sh [--key FILE] [--password-file FILE] [--timestamp-url URL] [--keep-signed] OSSLSIGNCODE CERTIFICATE DESCRIPTION INPUT OUTPUT" >&2; exit 2; }
tool=$1 certificate=$2 description=$3 input=$4 output=$5
partial="$output.signing"
trap 'rm -f "$partial" "$partial.log"' EXIT

fail() {
    echo "sign.sh: $*" >&2
    rm -f "$output"
    exit 1
}

if [ -n "$keep_signed" ] && "$tool" extract-signature -in "$input" -out "$partial" >/dev/null 2>&1; then
    if [ "$input" != "$output" ]; then
        cp "$input" "$partial" && mv -f "$partial" "$output" || fail "cannot copy $input to $output"
    fi
    echo "sign.sh: $input is already signed; its signature is kept"
    exit 0
fi
rm -f "$partial"

set -- sign -h sha256 -n "$description"
if [ -n "$key" ]; then
    set -- "$@" -certs "$certificate" -key "$key"
else
    set -- "$@" -pkcs12 "$certificate"
fi
[ -n "$password_file" ] && set -- "$@" -readpass "$password_file"
[ -n "$timestamp_url" ] && set -- "$@" -ts "$timestamp_url"
"$tool" "$@" -in "$input" -out "$partial" >"$partial.log" 2>&1 || {
    cat "$partial.log" >&2
    fail "signing $input failed"
}
mv -f "$partial" "$output" || fail "cannot rename the signed file to $output"
