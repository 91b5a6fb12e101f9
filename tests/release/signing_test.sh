#!/bin/sh
# The signing step on rebuild_test.sh's copy, with a throw-away self-signed
# certificate as trusted root: both programs verify, differ from unsigned
# builds by their signature only (the README's check), a corrupted byte fails
# the digest. Then with a key made inside a SoftHSM2 token in a folder of its
# own, through PKCS#11 and through a signing command of the maker's; failing
# and idle commands, settings that cannot work; then sign.sh's other paths.
# Leaves WORK_DIR/signed for the process tests.
#   signing_test.sh SOURCE_DIR MAIN_BUILD_DIR WORK_DIR
set -u
source=$1 work=$3
copy="$work/a copy of the tree"
build="$copy/build/windows"
keys="$work/keys"
signed="$work/signed"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Every configure names all signing settings: the cache keeps what the one before set.
configure() {
    (cd "$copy" && cmake --preset windows -DVT_SIGN_CERTIFICATE= -DVT_SIGN_KEY= -DVT_SIGN_PKCS11_MODULE= \
        -DVT_SIGN_PASSWORD_FILE= -DVT_SIGN_TIMESTAMP_URL= -DVT_SIGN_COMMAND= "$@") >"$work/build.log" 2>&1
}
build() { configure "$@" && (cd "$copy" && cmake --build --preset windows --target setup_exe) >>"$work/build.log" 2>&1; }
rebuild() { build "$@" || { cat "$work/build.log"; return 1; }; }
verify() { osslsigncode verify -CAfile "${2:-$keys/cert.pem}" -in "$1" >"$work/verify.out" 2>&1; }
has_signature() { rm -f "$work/signature" && osslsigncode extract-signature -in "$1" -out "$work/signature" >/dev/null 2>&1; }
strip_signature() { osslsigncode remove-signature -in "$1" -out "$2" >/dev/null; }
# The setup program of the last build and the application as its payload
# holds it verify against CERT; less its signature that is the unsigned one.
verify_build() {
    rm -rf "$work/payload"
    "$build/host-tools/tools/vtpack/vtpack" extract "$build/payload.vtpk" "$work/payload" >/dev/null ||
        fail "$2: cannot extract the payload"
    for file in "$build/VelmoTulve-Setup-x64.exe" "$work/payload/VelmoTulve.exe"; do
        verify "$file" "$1" && grep -q "Signature verification: ok" "$work/verify.out" ||
            fail "$2: $file does not verify: $(cat "$work/verify.out")"
    done
    strip_signature "$work/payload/VelmoTulve.exe" "$work/payload/stripped.exe"
    cmp -s "$work/payload/stripped.exe" "${packed_app:-$build/app/VelmoTulve.exe}" ||
        fail "$2: the signed application less its signature differs"
}

rm -rf "$keys" "$signed" "$work"/*.exe
mkdir -p "$keys" "$signed"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velmo Tulve throw-away test signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$keys/key.pem" -out "$keys/cert.pem" 2>/dev/null || exit 1
printf 'throw-away password\n' >"$keys/password"
openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -passout "file:$keys/password" \
    -out "$keys/cert.p12" || exit 1

# A signed release build: PKCS#12 and password file, PE time stamps from SOURCE_DATE_EPOCH.
export SOURCE_DATE_EPOCH=1700000000
packed_app=$(sed -n 's/^VT_PAYLOAD_APP:[A-Z]*=//p' "$build/CMakeCache.txt")
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

# --- a key that exists only inside a token -----------------------------------
# SoftHSM2 keeps its tokens where its own configuration says: a folder of ours.
token="$work/token"
module=/usr/lib/softhsm/libsofthsm2.so
export SOFTHSM2_CONF="$token/softhsm2.conf"
rm -rf "$token"
mkdir -p "$token/objects"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$token/objects" >"$SOFTHSM2_CONF"
pin="vt-pin-$(od -An -N4 -tx4 /dev/urandom | tr -d ' ')"
printf '%s\n' "$pin" >"$keys/pin"
softhsm2-util --init-token --free --label "Velmo Tulve test" --so-pin "so-$pin" --pin "$pin" >/dev/null ||
    { echo "FAIL: no test token (tools/deps.sh installs softhsm2, opensc, libengine-pkcs11-openssl)"; exit 1; }
p11() { pkcs11-tool --module "$module" --token-label "Velmo Tulve test" --login --pin "$pin" "$@" 2>&1; }
p11 --keypairgen --key-type rsa:2048 --label release --id 01 --sensitive --usage-sign >/dev/null || exit 1
uri='pkcs11:token=Velmo%20Tulve%20test;object=release;type=private'
PKCS11_MODULE_PATH=$module openssl req -new -x509 -engine pkcs11 -keyform engine -key "$uri" \
    -passin "file:$keys/pin" -days 2 -subj "/CN=Velmo Tulve throw-away token signer" \
    -addext extendedKeyUsage=codeSigning -out "$keys/token-cert.pem" >/dev/null 2>&1 || exit 1
# Made on the token (local), never readable out of it.
p11 --list-objects --type privkey | grep -q "Access: *sensitive, always sensitive, never extractable, local" ||
    fail "the token's key may leave it: $(p11 --list-objects --type privkey)"
p11 --read-object --type pubkey --label release -o "$work/token-key.der" >/dev/null || exit 1
token_key=$(openssl pkey -pubin -inform DER -in "$work/token-key.der") || exit 1
rebuild -DVT_PAYLOAD_APP="$packed_app" -DVT_SIGN_CERTIFICATE="$keys/token-cert.pem" -DVT_SIGN_KEY="$uri" \
    -DVT_SIGN_PKCS11_MODULE="$module" -DVT_SIGN_PASSWORD_FILE="$keys/pin" || exit 1
verify_build "$keys/token-cert.pem" "PKCS#11"
grep -qF -e "$pin" "$build/CMakeCache.txt" "$build/build.ninja" && fail "the PIN is in the cache or on a command line"

# The same key through a signing command of the maker's: a script in a folder
# whose name has a space, given a word of its own before the file. Told to,
# it fails or leaves the file unsigned, on the application or the setup program.
signer="$work/token signer/sign"
mkdir -p "$work/token signer"
cat >"$signer" <<EOF
#!/bin/sh
# sign MODE WHICH FILE: MODE fail or unsigned misbehaves on WHICH (app or setup).
case \$3 in *Setup*.exe) which=setup ;; *.exe) which=app ;; *) echo "not named .exe: \$3"; exit 4 ;; esac
case \$1-\$2 in fail-\$which) echo "the signing service is out of reach"; exit 3 ;; unsigned-\$which) exit 0 ;; esac
osslsigncode sign -pkcs11module "$module" -certs "$keys/token-cert.pem" -key "$uri" -readpass "$keys/pin" \\
    -h sha256 -n "Velmo Tulve" -in "\$3" -out "\$3.signed" && mv -f "\$3.signed" "\$3"
EOF
chmod +x "$signer"
rebuild -DVT_PAYLOAD_APP="$packed_app" -DVT_SIGN_COMMAND="'$signer' sign any" || exit 1
verify_build "$keys/token-cert.pem" "signing command"
for row in "fail app failed" "fail setup failed" "unsigned app left" "unsigned setup left"; do
    set -- $row
    case $2 in app) file="$build/signed/VelmoTulve.exe" ;; setup) file="$build/VelmoTulve-Setup-x64.exe" ;; esac
    # The next build must not take a stale file for done: it fails again.
    for attempt in first second; do
        build -DVT_PAYLOAD_APP="$packed_app" -DVT_SIGN_COMMAND="'$signer' $1 $2" && fail "$1 $2: the $attempt build succeeded"
        grep -q "sign.sh: the signing command $3 " "$work/build.log" || fail "$1 $2, $attempt build: $(cat "$work/build.log")"
        [ -e "$file" ] && fail "$1 $2: $file left behind after the $attempt build"
        for left in "$build/signed/VelmoTulve.exe" "$build/VelmoTulve-Setup-x64.exe"; do
            [ ! -e "$left" ] || has_signature "$left" || fail "$1 $2: unsigned $left left behind"
        done
        ls "$build"/*.signing.* "$build"/signed/*.signing.* 2>/dev/null && fail "$1 $2: a half-signed file is left"
    done
done

# Settings that cannot sign stop the configure and say why.
configure_fails() {
    said=$1
    shift
    configure "$@" && fail "configured with $*"
    tr -s ' \n' '  ' <"$work/build.log" | grep -qF "$said" || fail "no \"$said\" for $*: $(cat "$work/build.log")"
}
configure_fails "VT_SIGN_KEY is a PKCS#11 URI: name the PKCS#11 module of its token with VT_SIGN_PKCS11_MODULE" \
    -DVT_SIGN_CERTIFICATE="$keys/token-cert.pem" -DVT_SIGN_KEY="$uri"
configure_fails "VT_SIGN_PKCS11_MODULE: no such file: $token/no-module.so" \
    -DVT_SIGN_CERTIFICATE="$keys/token-cert.pem" -DVT_SIGN_KEY="$uri" -DVT_SIGN_PKCS11_MODULE="$token/no-module.so"
configure_fails "VT_SIGN_PKCS11_MODULE is set, but VT_SIGN_KEY is not a PKCS#11 URI" \
    -DVT_SIGN_CERTIFICATE="$keys/cert.pem" -DVT_SIGN_KEY="$keys/key.pem" -DVT_SIGN_PKCS11_MODULE="$module"
configure_fails "VT_SIGN_KEY: no such file: $keys/no-key.pem" \
    -DVT_SIGN_CERTIFICATE="$keys/cert.pem" -DVT_SIGN_KEY="$keys/no-key.pem"
configure_fails "settings for signing with osslsigncode are then not used: clear them (-DVT_SIGN_CERTIFICATE= -DVT_SIGN_PASSWORD_FILE=)" \
    -DVT_SIGN_COMMAND="'$signer' sign any" -DVT_SIGN_CERTIFICATE="$keys/cert.p12" -DVT_SIGN_PASSWORD_FILE="$keys/password"
configure_fails "VT_SIGN_COMMAND: no such program: $work/no-signer" -DVT_SIGN_COMMAND="$work/no-signer --release"

# No file anywhere in the work folder holds the token's key.
{ grep -rl -e "PRIVATE KEY" "$work"; find "$work" -path "$copy" -prune -o -type f -size -16k -print; } |
    while IFS= read -r file; do
        for form in PEM DER; do
            [ "$(openssl pkey -inform $form -in "$file" -pubout -passin pass: 2>/dev/null)" = "$token_key" ] &&
                echo "$file"
        done
    done >"$work/key-files"
[ -s "$work/key-files" ] && fail "the token's key is in a file: $(cat "$work/key-files")"

# The signing script by itself: a PEM certificate and key; an already signed
# program kept as it is, by the command too (which here would fail); a wrong
# PIN, and a time-stamp server that cannot be reached, fail the step and
# leave no unsigned program behind.
sign="sh $source/cmake/sign.sh"
cp "$build/app/VelmoTulve.exe" "$work/pem.exe"
$sign --certificate "$keys/cert.pem" --key "$keys/key.pem" osslsigncode "Velmo Tulve" "$work/pem.exe" "$work/pem.exe" &&
    verify "$work/pem.exe" || fail "signing with a PEM certificate and key: $(cat "$work/verify.out")"
kept() {
    rm -f "$work/kept.exe"
    $sign "$@" --keep-signed osslsigncode "another description" "$work/pem.exe" "$work/kept.exe" >/dev/null
    cmp -s "$work/pem.exe" "$work/kept.exe" || fail "an already signed program was not kept as it was ($1)"
}
kept --certificate "$keys/cert.p12" --password-file "$keys/password"
kept --command "'$signer' fail app"
printf 'vt-wrong-pin\n' >"$keys/wrong-pin"
cp "$build/app/VelmoTulve.exe" "$work/wrong-pin.exe"
$sign --certificate "$keys/token-cert.pem" --key "$uri" --pkcs11-module "$module" --password-file "$keys/wrong-pin" \
    osslsigncode "Velmo Tulve" "$work/wrong-pin.exe" "$work/wrong-pin.exe" 2>"$work/pin.err" &&
    fail "signing succeeded with a wrong PIN"
grep -q "PIN incorrect" "$work/pin.err" || fail "the PIN file was not the token's PIN: $(cat "$work/pin.err")"
[ -e "$work/wrong-pin.exe" ] && fail "a wrong PIN left the unsigned program in place"
cp "$build/app/VelmoTulve.exe" "$work/stamped.exe"
$sign --certificate "$keys/cert.pem" --key "$keys/key.pem" --timestamp-url http://127.0.0.1:9/ osslsigncode \
    "Velmo Tulve" "$work/stamped.exe" "$work/stamped.exe" 2>"$work/stamp.err" &&
    fail "signing succeeded without its time-stamp server"
grep -q "RFC 3161 timestamping failed" "$work/stamp.err" || fail "no time stamp was asked for: $(cat "$work/stamp.err")"
[ -e "$work/stamped.exe" ] && fail "a failed signing left the unsigned program in place"

[ $failures -eq 0 ] && echo "signing: all checks passed"
[ $failures -eq 0 ]
