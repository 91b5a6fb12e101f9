#!/bin/sh
# The setup window's benchmarks under Wine on Xvfb, in one run:
#   frame cost of PaintWindow for the heaviest pages at 96 and 144 DPI against
#   an empty frame of the same render target (bench/frame_bench.cpp);
#   time from process start to the first frame on screen against a minimal
#   Direct2D program (bench/first_frame_bench.cpp);
#   time to the first painted frame and the height animation's step rate
#   (bench/animation_bench.cpp);
#   the size of the setup program built with the peer benchmark's payload.
#     sh bench/window_bench.sh        FRAMES=41 RUNS=11 by default
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
FRAMES=${FRAMES:-41}
RUNS=${RUNS:-11}
sh "$root/tools/deps.sh"
cd "$root"
. "$root/tools/display.sh"
build=$root/build/windows
vt_wine_session "$root" "$build"
cmake --preset windows >/dev/null
cmake --build --preset windows --target setup_exe frame_bench first_frame_bench first_frame_reference animation_bench >/dev/null
sh cmake/wine-prefix.sh start "$build"
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d
testroot=$(mktemp -d)
export VELMO_SETUP_TEST_ROOT="Z:$testroot"

echo "== frame cost, median of $FRAMES frames (ratio = frame / empty frame)"
wine "$build/frame_bench.exe" "$FRAMES" </dev/null
echo "== first frame on screen, $RUNS alternating runs"
wine "$build/first_frame_bench.exe" "Z:$build/VelmoTulve-Setup-x64.exe" "Z:$build/first_frame_reference.exe" \
    "$RUNS" </dev/null
echo "== first painted frame and the 316 -> 452 height animation, $RUNS runs"
wine "$build/animation_bench.exe" "$RUNS" </dev/null
rm -rf "$testroot"

exe=$build/VelmoTulve-Setup-x64.exe
payload=$(stat -c %s "$build/payload.vtpk")
echo "== size: $(stat -c %s "$exe") B, of which $((($(stat -c %s "$exe") - payload))) B is not the payload"
