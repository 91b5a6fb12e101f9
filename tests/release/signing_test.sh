#!/bin/sh
# The signing step on rebuild_test.sh's copy, with a throw-away self-signed
# certificate as trusted root: both programs verify, differ from unsigned
# builds by their signature only (the README's check), a corrupted byte fails
# the digest; then sign.sh's other paths. Leaves WORK_DIR/signed for the
# process tests.
#   signing_test.sh SOURCE_DIR MAIN_BUILD_DIR WORK_DIR
set -u
source=$1 work=$3
copy="$work/a copy of the tree"
build="$copy/build/windows"
keys="$work/keys"
signed="$work/signed"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
rebuild() {
    (cd "$copy" && cmake --preset windows "$@" >"$work/build.log" && cmake --build --preset windows --target setup_exe \
        >>"$work/build.log") || { cat "$work/build.log"; return 1; }
}
verify() { osslsigncode verify -CAfile "$keys/cert.pem" -in "$1" >"$work/verify.out" 2>&1; }
strip_signature() { osslsigncode remove-signature -in "$1" -out "$2" >/dev/null; }

rm -rf "$keys" "$signed"
mkdir -p "$keys" "$signed"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velmo Tulve throw-away test signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$keys/key.pem" -out "$keys/cert.pem" 2>/dev/null || exit 1
printf 'throw-away password\n' >"$keys/password"
openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -passout "file:$keys/password" \
    -out "$keys/cert.p12" || exit 1

# A signed release build: PKCS#12 and password file, PE time stamps from SOURCE_DATE_EPOCH.
export SOURCE_DATE_EPOCH=1700000000
rebuild -DVT_SIGN_CERTIFICATE="$keys/cert.p12" -DVT_SIGN_PASSWORD_FILE="$keys/password" || exit 1
cp "$build/VelmoTulve-Setup-x64.exe" "$build/signed/VelmoTulve.exe" "$signed/"
for file in VelmoTulve-Setup-x64.exe VelmoTulve.exe; do
    verify "$signed/$file" && grep -q "Signature verification: ok" "$work/verify.out" ||
        fail "$file does not verify: $(cat "$work/verify.out")"
done
pe=$(od -An -tu4 -j60 -N4 "$build/app/VelmoTulve.exe" | tr -d ' ')
stamp=$(od -An -tu4 -j$((pe + 8)) -N4 "$build/app/VelmoTulve.exe" | tr -d ' ')
[ "$stamp" = "$SOURCE_DATE_EPOCH" ] || fail "PE time stamp $stamp, not SOURCE_DATE_EPOCH"

# Less its signature the application is the unsigned build; the setup program
# is a rebuild, unsigned, that packs the signed application.
strip_signature "$signed/VelmoTulve.exe" "$work/app-stripped.exe"
cmp -s "$work/app-stripped.exe" "$build/app/VelmoTulve.exe" || fail "the signed application less its signature differs"
rebuild -DVT_SIGN_CERTIFICATE= -DVT_PAYLOAD_APP="$signed/VelmoTulve.exe" || exit 1
strip_signature "$signed/VelmoTulve-Setup-x64.exe" "$work/setup-stripped.exe"
cmp -s "$work/setup-stripped.exe" "$build/VelmoTulve-Setup-x64.exe" || fail "the signed setup program less its signature differs"

# One corrupted byte: the digest no longer matches.
cp "$signed/VelmoTulve-Setup-x64.exe" "$work/corrupted.exe"
offset=$(($(wc -c <"$work/corrupted.exe") / 2))
byte=$(od -An -tu1 -j$offset -N1 "$work/corrupted.exe" | tr -d ' ')
printf "\\$(printf %03o $((byte ^ 1)))" | dd of="$work/corrupted.exe" bs=1 seek=$offset conv=notrunc 2>/dev/null
[ "$(cmp -l "$work/corrupted.exe" "$signed/VelmoTulve-Setup-x64.exe" | wc -l)" = 1 ] || fail "not one byte changed"
verify "$work/corrupted.exe" && fail "a corrupted program verifies"
grep -q "message digest.*MISMATCH" "$work/verify.out" || fail "verification failed, but not on the digest: $(cat "$work/verify.out")"

# The signing script by itself: a PEM certificate and key; an already signed
# program kept as it is; a time-stamp server that cannot be reached fails
# the step and leaves no unsigned program behind.
sign="sh $source/cmake/sign.sh"
cp "$build/app/VelmoTulve.exe" "$work/pem.exe"
$sign --key "$keys/key.pem" osslsigncode "$keys/cert.pem" "Velmo Tulve" "$work/pem.exe" "$work/pem.exe" &&
    verify "$work/pem.exe" || fail "signing with a PEM certificate and key: $(cat "$work/verify.out")"
$sign --password-file "$keys/password" --keep-signed osslsigncode "$keys/cert.p12" "another description" \
    "$work/pem.exe" "$work/kept.exe" >/dev/null
cmp -s "$work/pem.exe" "$work/kept.exe" || fail "an already signed program was not kept as it was"
cp "$build/app/VelmoTulve.exe" "$work/stamped.exe"
$sign --key "$keys/key.pem" --timestamp-url http://127.0.0.1:9/ osslsigncode "$keys/cert.pem" "Velmo Tulve" \
    "$work/stamped.exe" "$work/stamped.exe" 2>"$work/stamp.err" && fail "signing succeeded without its time-stamp server"
grep -q "RFC 3161 timestamping failed" "$work/stamp.err" || fail "no time stamp was asked for: $(cat "$work/stamp.err")"
[ -e "$work/stamped.exe" ] && fail "a failed signing left the unsigned program in place"

[ $failures -eq 0 ] && echo "signing: all checks passed"
[ $failures -eq 0 ]
