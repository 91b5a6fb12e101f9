#!/bin/sh
# How often Wine fails to start a process: a program that starts a child
# STARTS times (3000 by default; bench/process_start_bench.cpp), run once
# with the kernel's address-space randomization and once without it, as
# cmake/wine-run.sh runs the tests; beside HOGS CPU-bound processes (4 by
# default).
#     STARTS=3000 HOGS=4 sh bench/process_start.sh
# Exit code 0 when no start failed without randomization.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
STARTS=${STARTS:-3000}
HOGS=${HOGS:-4}
sh "$root/tools/deps.sh"
cd "$root"
. "$root/tools/display.sh"
build=$root/build/windows
trap 'vt_stop_hogs; sh "$root/cmake/wine-prefix.sh" stop "$build" 2>/dev/null || true' EXIT INT TERM
vt_quiet cmake --preset windows
cmake --build --preset windows --target process_start_bench >/dev/null
sh cmake/wine-prefix.sh start "$build"
export WINEPREFIX=$build/wine-prefix WINEDEBUG=err+virtual WINEDLLOVERRIDES=winemenubuilder.exe=d
vt_start_hogs "$HOGS"

# Prints the failed starts with Wine's reason, and the counts.
starts() {
    started=$(date +%s)
    "$@" wine "$build/process_start_bench.exe" "$STARTS" </dev/null 2>&1 |
        grep -E "failed|ended|shared user data" || true
    echo "  ($(($(date +%s) - started)) s)"
}
echo "== with randomization, beside $HOGS CPU-bound processes"
starts env
echo "== without randomization"
if setarch -R true >/dev/null 2>&1; then
    result=$(starts setarch -R)
    echo "$result"
    case "$result" in *" 0 failed, 0 ended otherwise"*) ;; *) exit 1 ;; esac
else
    echo "this kernel refuses the setting"
fi
