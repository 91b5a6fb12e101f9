#!/bin/sh
# Runs the whole Windows suite RUNS times beside HOGS CPU-bound processes (a
# busy machine: parallel builds, other programs), and prints every failure
# with its output, then one line a run and a summary.
#     RUNS=3 HOGS=4 sh bench/soak.sh          RUNS=3, HOGS=4 by default
# Builds what the suite needs first (as tools/test.sh does, packages
# included); the hogs run only while the suite does. Exit code 0 when every
# run passed. The logs stay in build/soak/.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
RUNS=${RUNS:-3}
HOGS=${HOGS:-4}
sh "$root/tools/deps.sh"
cd "$root"
. "$root/tools/display.sh"
build=$root/build/windows
out=$root/build/soak
export WINEPREFIX="$build/wine-prefix"
trap 'vt_stop_hogs; sh "$root/cmake/wine-prefix.sh" stop "$build" 2>/dev/null || true; vt_stop_display' EXIT INT TERM
vt_start_display
vt_quiet cmake --preset windows
cmake --build --preset windows >/dev/null
sh cmake/wine-prefix.sh start "$build"
mkdir -p "$out"

vt_start_hogs "$HOGS"

failed_runs=0
summary=""
run=1
while [ $run -le "$RUNS" ]; do
    log="$out/run-$run.log"
    started=$(date +%s)
    status=0
    ctest --preset windows --output-on-failure >"$log" 2>&1 || status=$?
    took=$(($(date +%s) - started))
    line=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 tests, \1 failed/p' "$log")
    [ -n "$line" ] || line="no summary (exit $status)"
    if [ "$status" -ne 0 ]; then
        failed_runs=$((failed_runs + 1))
        echo "== run $run failed; every failing test with its output:"
        # Each failing test's line and the output CTest shows below it, up
        # to the next test's start; then CTest's list of failures.
        awk '/\*\*\*(Failed|Timeout|Exception|Not Run)/ {show = 1}
             /^ *Start +[0-9]+:/ || /tests passed,/ {show = 0}
             /^The following tests FAILED/ {show = 1}
             show' "$log"
    fi
    summary="$summary
run $run of $RUNS beside $HOGS CPU-bound processes: $line, $took s"
    run=$((run + 1))
done
vt_stop_hogs
echo "$summary" | sed '/^$/d'
echo "soak: $failed_runs of $RUNS runs failed (logs in $out)"
[ "$failed_runs" -eq 0 ]
