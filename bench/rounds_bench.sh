#!/bin/sh
# Repeated rounds under Wine on Xvfb: silent install, update with both options
# turned off by real clicks in the window, uninstall with the installed
# uninstaller; after every round nothing of the product may be left (files,
# folders, registry values, shortcut, temporary files, processes). CI runs the
# same test with 10 rounds.
#     sh bench/rounds_bench.sh          ROUNDS=200 by default
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
ROUNDS=${ROUNDS:-200}
sh "$root/tools/deps.sh"
cd "$root"
. "$root/tools/display.sh"
build=$root/build/windows
vt_wine_session "$root" "$build"
cmake --preset windows >/dev/null
cmake --build --preset windows --target setup_exe reliability_test >/dev/null
sh cmake/wine-prefix.sh start "$build"
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d
echo "== $ROUNDS rounds of install, update in the window, uninstall"
VT_ROUNDS=$ROUNDS WINEDEBUG=-all wine "$build/tests/win/reliability_test.exe" \
    --gtest_filter=RoundsTest.EveryRoundLeavesNothingBehind </dev/null
