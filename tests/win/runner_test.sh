#!/bin/sh
# The test runner (cmake/wine-run.sh). It runs programs in the build tree's
# prefix whatever WINEPREFIX the caller exported (CTest runs this with
# WINEPREFIX naming another folder): a file written through it lands in the
# build's prefix, and the other folder is never made. And a failure says why:
# a program that ends before any test framework starts is named with its exit
# code and Wine's own words; one that does not end is named with what runs in
# the prefix, and ended. A server another run uses is not stopped. Programs
# start without address-space randomization.
#   runner_test.sh SOURCE_DIR BUILD_DIR
set -u
root=$1 build=$2
other=${WINEPREFIX:?CTest sets WINEPREFIX for this test}
run="$root/cmake/wine-run.sh"
marker="vt-prefix-test-$$.txt"
status=0
fail() { echo "FAIL: $*"; status=1; }
[ "$other" != "$build/wine-prefix" ] || { echo "FAIL: WINEPREFIX is the build's own prefix"; exit 1; }
rm -rf "$other"

(cd "$build" && sh "$run" cmd /c "echo here> C:\\$marker") >/dev/null 2>&1
[ -f "$build/wine-prefix/drive_c/$marker" ] || fail "nothing written in $build/wine-prefix"
[ ! -e "$other" ] || fail "$other was created"
rm -f "$build/wine-prefix/drive_c/$marker"
out=$(cd / && sh "$run" cmd /c exit 0 2>&1) && fail "ran outside a build tree"
case "$out" in *"not inside a build tree"*) ;; *) fail "no clear message outside a build tree: $out" ;; esac

out=$(cd "$build" && sh "$run" tests/no-such-program.exe 2>&1)
code=$?
[ "$code" -ne 0 ] || fail "a program that cannot start succeeded"
case "$out" in
*"no-such-program.exe exited with code $code before its test framework started; Wine said:"*"failed to open"*) ;;
*) fail "no exit code and Wine's words for a program that never started: $out" ;;
esac

out=$(cd "$build" && VT_RUN_LIMIT_S=2 sh "$run" ping -n 60 127.0.0.1 2>&1)
code=$?
[ "$code" -eq 137 ] || fail "a program that does not end was not ended (exit $code)"
case "$out" in
*"ping still runs after 2 s"*"Windows processes and threads of"*"ping.exe"*"ending ping"*) ;;
*) fail "a program that does not end is not named with what runs: $out" ;;
esac
# The program and what it starts run without address-space randomization
# (personality flag ADDR_NO_RANDOMIZE, 0x0040000), where the kernel allows it.
if setarch -R true >/dev/null 2>&1; then
    count=$((100 + $$ % 800))  # tells this run's ping from any other
    (cd "$build" && VT_RUN_LIMIT_S=5 sh "$run" cmd /c ping -n $count 127.0.0.1 >/dev/null 2>&1) &
    runner=$!
    pid=""
    for _ in $(seq 100); do
        pid=$(pgrep -f "^ping -n $count 127.0.0.1\$" | head -n 1)
        [ -n "$pid" ] && break
        sleep 0.1
    done
    flags=$(cat "/proc/$pid/personality" 2>/dev/null || echo 0)
    [ $((0x$flags & 0x40000)) -ne 0 ] ||
        fail "a process started by the program runs with randomization (personality $flags of pid '$pid')"
    kill "$pid" 2>/dev/null
    wait "$runner"
else
    echo "runner: this kernel refuses to turn off randomization; programs run with it"
fi
# Each run that starts the server is noted; stop keeps the server while
# another noted run is alive.
sh "$root/cmake/wine-prefix.sh" start "$build"
[ -e "$build/wine-sessions/$$" ] || fail "start did not note this run"
sleep 60 >/dev/null 2>&1 &
other=$!
: >"$build/wine-sessions/$other"
sh "$root/cmake/wine-prefix.sh" stop "$build" 2>"$build/wine-sessions.out"
case "$(cat "$build/wine-sessions.out")" in
*"stays: run "*" still uses it"*) ;;
*) fail "stop did not keep the server for run $other: $(cat "$build/wine-sessions.out")" ;;
esac
[ ! -e "$build/wine-sessions/$$" ] || fail "stop did not forget this run"
kill "$other"
rm -f "$build/wine-sessions/$other" "$build/wine-sessions.out"

[ "$status" -eq 0 ] && echo "runner: all checks passed"
exit $status
