#!/bin/sh
# Builds everything and runs the whole test suite: the host tests (codec,
# archive, packer, fuzz smoke runs) and the Windows tests under Wine.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/tools/deps.sh"
cd "$root"
. "$root/tools/display.sh"
# The build's own prefix, whatever the caller's environment names: the
# tests write its registry and files.
export WINEPREFIX="$root/build/windows/wine-prefix"

# Wine's cmd.exe opens "nul" more than once per command line; with /dev/null
# replaced by a plain file (seen after package installs) that fails and the
# self-removal fallback silently does nothing.
if [ ! -c /dev/null ]; then
    echo "test.sh: /dev/null is not the null device; restoring it" >&2
    rm -f /dev/null && mknod -m 666 /dev/null c 1 3
fi

log=$(mktemp)
cleanup() {
    sh "$root/cmake/wine-prefix.sh" stop "$root/build/windows" 2>/dev/null || true
    vt_stop_display
    rm -f "$log"
}
trap cleanup EXIT INT TERM

vt_quiet cmake --preset host
cmake --build --preset host
ctest --preset host -j2 2>&1 | tee "$log"

vt_start_display
vt_quiet cmake --preset windows
sh cmake/wine-prefix.sh start build/windows
cmake --build --preset windows
ctest --preset windows 2>&1 | tee -a "$log"

passed=0
failed=0
suites=0
for line in $(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1:\2/p' "$log"); do
    f=${line%%:*}
    total=${line##*:}
    failed=$((failed + f))
    passed=$((passed + total - f))
    suites=$((suites + 1))
done
echo "all suites: $passed passed, $failed failed"
# Both runners must have reported; a crash before the summary is a failure.
[ "$suites" -eq 2 ] && [ "$failed" -eq 0 ]
