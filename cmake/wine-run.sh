#!/bin/sh
# Runs a Windows program under Wine in the build tree's own prefix: the one
# beside the build's CMakeCache.txt, found from the current directory
# upwards. A WINEPREFIX the caller exported is not used: the tests write the
# registry and files of the prefix they run in, and only the build's own has
# the warm server that tools/test.sh starts.
#
# It is the test runner's emulator, so a failure always says why:
#   - a program that exits with another code than 0 is named with its exit
#     code (or the signal that ended it), and, when it printed nothing of a
#     test framework, with what Wine itself wrote on the error stream;
#   - a program still running after VT_RUN_LIMIT_S seconds (100 by default,
#     under CTest's 120) is named with every Windows process and thread of
#     the prefix, then ended.
# The program, and every process it starts, runs without address-space
# randomization where the kernel allows it (see below).
dir=$(pwd)
while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
if [ ! -f "$dir/CMakeCache.txt" ]; then
    echo "wine-run.sh: $(pwd) is not inside a build tree" >&2
    exit 2
fi
export WINEPREFIX="$dir/wine-prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d}"
wine=""
for w in wine wine-stable /usr/lib/wine/wine64; do
    if command -v "$w" >/dev/null 2>&1; then wine=$w; break; fi
done
[ -n "$wine" ] || { echo "wine-run.sh: no wine found" >&2; exit 127; }

# Each Wine process maps the shared user data page at 0x7ffe0000 as it
# starts. With the kernel's address-space randomization, about one start in
# 3,000 finds something of its own already there and dies before it begins
# ("failed to map the shared user data: c0000018"), which CreateProcess
# reports as ERROR_INTERNAL_ERROR: a suite that starts thousands of processes
# fails now and then for nothing. Without randomization, inherited by every
# process the program starts, that page is always free. Where the kernel
# refuses the setting (some containers), programs run as they are.
norandom=""
setarch -R true >/dev/null 2>&1 && norandom="setarch -R"

out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
$norandom "$wine" "$@" >"$out" 2>"$err" </dev/null &
program=$!

# The watchdog's own sleep keeps no stream of the runner open.
limit=${VT_RUN_LIMIT_S:-100}
(
    sleep "$limit" </dev/null >/dev/null 2>&1 &
    trap 'kill $! 2>/dev/null; exit 0' TERM
    wait $!
    kill -0 "$program" 2>/dev/null || exit 0
    {
        echo "wine-run.sh: $1 still runs after $limit s; it printed:"
        cat "$out" "$err"
        echo "wine-run.sh: Windows processes and threads of $WINEPREFIX:"
        timeout 20 "$wine" winedbg --command "info thread" </dev/null 2>&1
        echo "wine-run.sh: ending $1"
    } >&2
    kill -KILL "$program" 2>/dev/null
) &
watchdog=$!

wait "$program"
code=$?
kill "$watchdog" 2>/dev/null
wait "$watchdog" 2>/dev/null
cat "$out"
reached=""
grep -q '^\[==========\]' "$out" && reached=1
if [ "$code" -eq 0 ] || [ -n "$reached" ]; then cat "$err" >&2; fi
if [ "$code" -ne 0 ]; then
    if [ "$code" -gt 128 ]; then
        how="was ended by signal $((code - 128))"
    else
        how="exited with code $code"
    fi
    if [ -n "$reached" ]; then
        echo "wine-run.sh: $1 $how" >&2
    else
        echo "wine-run.sh: $1 $how before its test framework started; Wine said:" >&2
        if [ -s "$err" ]; then sed 's/^/  /' "$err" >&2; else echo "  (nothing)" >&2; fi
    fi
fi
exit "$code"
