#!/bin/sh
# Feeds every crafted archive to `vtpack extract` and to the setup program's
# extraction (under Wine) and checks that both give the expected outcome, the
# same message and the same files.
#   payload_agreement.sh CRAFT VTPACK PROBE_EXE VALID_ARCHIVE WORK_DIR
set -eu
craft=$1 vtpack=$2 probe=$3 valid=$4 work=$5
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work/cases"
"$craft" "$valid" "$work/cases"
"$vtpack" extract "$valid" "$work/reference" >/dev/null

status=0
count=0
for archive in "$work"/cases/*.vtpk "$work/cases/does-not-exist.vtpk"; do
    name=$(basename "$archive" .vtpk)
    if [ "$name" = "does-not-exist" ]; then
        expected="Installer payload resource missing."
        writes="0 0"
    else
        expected=$(sed -n 1p "$work/cases/$name.expected")
        writes=$(sed -n 2p "$work/cases/$name.expected")
    fi
    for side in vtpack setup; do
        out="$work/$side-$name"
        mkdir -p "$out"
        printf 'old application' >"$out/VelmoTulve.exe"
        printf 'old licence' >"$out/LICENSE"
        if [ $side = vtpack ]; then
            code=0
            message=$("$vtpack" extract "$archive" "$out" 2>&1 >/dev/null) || code=$?
        else
            code=0
            "$here/../../cmake/wine-run.sh" "$probe" "Z:$archive" "Z:$out" >"$work/probe.out" 2>/dev/null || code=$?
            message=$(tr -d '\r' <"$work/probe.out" | sed -n 's/^error=//p')
        fi
        want_code=0
        [ -n "$expected" ] && want_code=1
        if [ "$code" != "$want_code" ] || [ "$message" != "$expected" ]; then
            echo "FAIL $name ($side): exit $code, message '$message'; expected exit $want_code, '$expected'"
            status=1
        fi
        app=0
        lic=0
        cmp -s "$out/VelmoTulve.exe" "$work/reference/VelmoTulve.exe" && app=1
        cmp -s "$out/LICENSE" "$work/reference/LICENSE" && lic=1
        if [ "$app $lic" != "$writes" ]; then
            echo "FAIL $name ($side): files written '$app $lic', expected '$writes'"
            status=1
        fi
        if ls -A "$out" | grep -q '^\.tulve-.*\.tmp$'; then
            echo "FAIL $name ($side): temporary file left behind"
            status=1
        fi
    done
    count=$((count + 1))
done
[ $status -eq 0 ] && echo "vtpack and the setup program agree on $count archives"
exit $status
