#!/bin/sh
# The packer's command line: pack, list and extract round trip, identical
# bytes from identical inputs, and the refusals with their exit code.
#   vtpack_cli_test.sh VTPACK APP_FILE LICENSE_FILE
set -u
vtpack=$1 app=$2 license=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$vtpack" pack --app "$app" --license "$license" -o "$work/a.vtpk" || fail "pack"
"$vtpack" pack --app "$app" --license "$license" -o "$work/b.vtpk" || fail "second pack"
cmp -s "$work/a.vtpk" "$work/b.vtpk" || fail "two packs of the same inputs differ"
# Neither the inputs' folder, names and times nor the umask reach the archive.
mkdir "$work/elsewhere"
cp "$app" "$work/elsewhere/app.bin" && cp "$license" "$work/elsewhere/licence.txt"
touch -d '1999-12-31 23:59:59 UTC' "$work/elsewhere/app.bin" "$work/elsewhere/licence.txt"
(umask 077 && cd "$work/elsewhere" && "$vtpack" pack --app app.bin --license licence.txt -o ../d.vtpk) || fail "pack elsewhere"
cmp -s "$work/a.vtpk" "$work/d.vtpk" || fail "the archive depends on where, when or how its inputs were made"
"$vtpack" pack --app "$app" --license "$license" --block-size 65536 -o "$work/c.vtpk" || fail "pack with 64 KiB blocks"

app_size=$(wc -c <"$app" | tr -d ' ')
lic_size=$(wc -c <"$license" | tr -d ' ')
"$vtpack" list "$work/a.vtpk" >"$work/list" || fail "list"
[ "$(wc -l <"$work/list" | tr -d ' ')" = 2 ] || fail "list prints $(wc -l <"$work/list") lines"
set -- $(sed -n 1p "$work/list")
[ "$1 $2 $4" = "VelmoTulve.exe $app_size $(sha256sum <"$app" | cut -d' ' -f1)" ] || fail "list line 1: $*"
[ "$5 $6 $7 $8" = "1 block, 0 stored" ] || fail "list line 1 blocks: $*"
app_packed=$3
set -- $(sed -n 2p "$work/list")
[ "$1 $2 $4" = "LICENSE $lic_size $(sha256sum <"$license" | cut -d' ' -f1)" ] || fail "list line 2: $*"
lic_packed=$3
[ $((8 + 20 + 14 + app_packed + 20 + 7 + lic_packed + 68)) = "$(wc -c <"$work/a.vtpk" | tr -d ' ')" ] ||
    fail "listed packed sizes and the digest record do not add up to the archive size"

for archive in a c; do
    "$vtpack" extract "$work/$archive.vtpk" "$work/out-$archive/nested" || fail "extract $archive"
    cmp -s "$app" "$work/out-$archive/nested/VelmoTulve.exe" || fail "extracted application differs ($archive)"
    cmp -s "$license" "$work/out-$archive/nested/LICENSE" || fail "extracted licence differs ($archive)"
done

# What LZMS cannot make smaller is stored: a file of three bytes, the last
# two bytes after a 64 KiB block; both round trip.
printf 'abc' >"$work/three"
head -c 65538 "$app" >"$work/short-last-block"
"$vtpack" pack --app "$work/short-last-block" --license "$work/three" --block-size 65536 -o "$work/s.vtpk" ||
    fail "pack with stored blocks"
"$vtpack" list "$work/s.vtpk" | cut -d' ' -f1,5- >"$work/list-stored"
printf 'VelmoTulve.exe 2 blocks, 1 stored\nLICENSE 1 block, 1 stored\n' | cmp -s - "$work/list-stored" ||
    fail "stored blocks listed as: $(cat "$work/list-stored")"
"$vtpack" extract "$work/s.vtpk" "$work/out-s" || fail "extract stored blocks"
cmp -s "$work/short-last-block" "$work/out-s/VelmoTulve.exe" && cmp -s "$work/three" "$work/out-s/LICENSE" ||
    fail "stored blocks did not round trip"

# Refusals: exit 1 and a message naming the problem.
: >"$work/empty"
truncate -s 67108865 "$work/huge"
expect_refusal() {
    pattern=$1
    shift
    code=0
    "$vtpack" "$@" >"$work/out" 2>"$work/err" || code=$?
    [ "$code" = 1 ] || fail "'$*' exited $code, expected 1"
    grep -q "$pattern" "$work/err" || fail "'$*' said: $(cat "$work/err")"
    [ -e "$work/refused.vtpk" ] && fail "'$*' left an archive behind"
    return 0
}
expect_refusal "0 bytes" pack --app "$work/empty" --license "$license" -o "$work/refused.vtpk"
expect_refusal "64 MiB" pack --app "$work/huge" --license "$license" -o "$work/refused.vtpk"
expect_refusal "cannot read" pack --app "$work/missing" --license "$license" -o "$work/refused.vtpk"
for size in 65535 67108865 0 -65536 64k ""; do
    expect_refusal "block size" pack --app "$app" --license "$license" --block-size "$size" -o "$work/refused.vtpk"
done
expect_refusal "Installer payload resource missing." extract "$work/missing.vtpk" "$work/x"
printf 'VTPK\002\000\000' >"$work/seven"
expect_refusal "Installer payload is corrupted." extract "$work/seven" "$work/x"
expect_refusal "usage" frobnicate
# A damaged archive: list and extract refuse it, and extract writes nothing.
cp "$work/a.vtpk" "$work/damaged.vtpk"
printf 'x' | dd of="$work/damaged.vtpk" bs=1 seek=$(($(wc -c <"$work/a.vtpk") - 68)) conv=notrunc 2>/dev/null
expect_refusal "The setup program is damaged. Download it again." extract "$work/damaged.vtpk" "$work/x"
[ -e "$work/x" ] && fail "extract of a damaged archive made its folder"
head -c -1 "$work/a.vtpk" >"$work/short.vtpk"
expect_refusal "The setup program is damaged. Download it again." list "$work/short.vtpk"

ls -A "$work/out-a/nested" | grep -q '^\.tulve-' && fail "temporary file left after extract"
if [ "$failures" -eq 0 ]; then echo "vtpack command line: all checks passed"; fi
[ "$failures" -eq 0 ]
