#!/bin/sh
# The Windows tests run in the build tree's prefix whatever WINEPREFIX the
# caller exported (CTest runs this with WINEPREFIX naming another folder):
# a file written through the test runner lands in the build's prefix, and the
# other folder is never made.
#   prefix_test.sh SOURCE_DIR BUILD_DIR
set -u
root=$1 build=$2
other=${WINEPREFIX:?CTest sets WINEPREFIX for this test}
marker="vt-prefix-test-$$.txt"
status=0
[ "$other" != "$build/wine-prefix" ] || { echo "FAIL: WINEPREFIX is the build's own prefix"; exit 1; }
rm -rf "$other"
(cd "$build" && sh "$root/cmake/wine-run.sh" cmd /c "echo here> C:\\$marker") >/dev/null 2>&1
if [ -f "$build/wine-prefix/drive_c/$marker" ]; then
    echo "ok: the program ran in $build/wine-prefix"
else
    echo "FAIL: nothing written in $build/wine-prefix"; status=1
fi
[ ! -e "$other" ] || { echo "FAIL: $other was created"; status=1; }
rm -f "$build/wine-prefix/drive_c/$marker"
out=$(cd / && sh "$root/cmake/wine-run.sh" cmd /c exit 0 2>&1) && { echo "FAIL: ran outside a build tree"; status=1; }
case "$out" in *"not inside a build tree"*) ;; *) echo "FAIL: no clear message outside a build tree: $out"; status=1 ;; esac
exit $status
