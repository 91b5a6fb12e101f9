#!/bin/sh
# Authenticode signing step of the build (cmake/signing.cmake): signs a
# Windows program with osslsigncode, SHA-256, or has the maker's own command
# sign it.
#   sign.sh [--certificate FILE] [--key KEY] [--pkcs11-module FILE] [--password-file FILE]
#           [--timestamp-url URL] [--command COMMAND] [--keep-signed] OSSLSIGNCODE DESCRIPTION INPUT OUTPUT
# The certificate is a PKCS#12 file, or a PEM chain for the private key
# --key: a key file, or a PKCS#11 URI of a key in the token that
# --pkcs11-module reaches (the password file then holds the token's PIN).
# --command instead: a shell command that signs the file named by the
# argument it is given in place; the result must carry a signature.
# --keep-signed copies an INPUT that already carries a signature unchanged.
# INPUT may be OUTPUT. The signed file is written beside OUTPUT and renamed
# over it. On failure OUTPUT is removed: no unsigned program is left where
# the build promised a signed one (and the next build tries again).
set -eu
certificate="" key="" module="" password_file="" timestamp_url="" command="" keep_signed=""
while [ $# -gt 4 ]; do
    case $1 in
    --certificate) certificate=$2; shift 2 ;;
    --key) key=$2; shift 2 ;;
    --pkcs11-module) module=$2; shift 2 ;;
    --password-file) password_file=$2; shift 2 ;;
    --timestamp-url) timestamp_url=$2; shift 2 ;;
    --command) command=$2; shift 2 ;;
    --keep-signed) keep_signed=1; shift ;;
    *) break ;;
    esac
done
[ $# -eq 4 ] && [ -n "$certificate$command" ] || {
    echo "usage: sign.sh (--certificate FILE [--key KEY] [--pkcs11-module FILE] [--password-file FILE] [--timestamp-url URL] | --command COMMAND) [--keep-signed] OSSLSIGNCODE DESCRIPTION INPUT OUTPUT" >&2
    exit 2
}
tool=$1 description=$2 input=$3 output=$4
# Still named .exe: signing tools tell the kind of file by its name.
partial="${output%.exe}.signing.exe"
trap 'rm -f "$partial" "$partial.log" "$partial.sig"' EXIT

fail() {
    echo "sign.sh: $*" >&2
    rm -f "$output"
    exit 1
}
signed() { rm -f "$partial.sig" && "$tool" extract-signature -in "$1" -out "$partial.sig" >/dev/null 2>&1; }

if [ -n "$keep_signed" ] && signed "$input"; then
    if [ "$input" != "$output" ]; then
        cp "$input" "$partial" && mv -f "$partial" "$output" || fail "cannot copy $input to $output"
    fi
    echo "sign.sh: $input is already signed; its signature is kept"
    exit 0
fi
rm -f "$partial"

if [ -n "$command" ]; then
    cp "$input" "$partial" || fail "cannot copy $input to $partial"
    # Its exit code alone is not taken for a signature: the file is checked.
    (eval "$command \"\$partial\"") >"$partial.log" 2>&1 || {
        cat "$partial.log" >&2
        fail "the signing command failed on $input: $command"
    }
    signed "$partial" || {
        cat "$partial.log" >&2
        fail "the signing command left $input unsigned: $command"
    }
else
    set -- sign -h sha256 -n "$description"
    if [ -n "$module" ]; then
        set -- "$@" -pkcs11module "$module" -certs "$certificate" -key "$key"
    elif [ -n "$key" ]; then
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
fi
mv -f "$partial" "$output" || fail "cannot rename the signed file to $output"
