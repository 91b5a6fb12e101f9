#!/bin/sh
# Builds the setup program and runs it under Wine: a silent install and
# uninstall round into a throwaway test root, printing what each step left on
# the machine, then the setup window — on the caller's display, or on Xvfb
# with a screenshot written to build/windows/setup-window.png.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/tools/deps.sh"
cd "$root"
. "$root/tools/display.sh"
build="$root/build/windows"
vt_wine_session "$root" "$build"
cmake --preset windows >/dev/null
sh cmake/wine-prefix.sh start "$build"
cmake --build --preset windows

export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
wine=wine
command -v wine >/dev/null 2>&1 || wine=wine-stable
setup="$build/VelmoTulve-Setup-x64.exe"

testroot=$(mktemp -d /tmp/velmo-tulve-run.XXXXXX)
winroot="Z:$(echo "$testroot" | tr / '\\')"
show_state() {
    echo "  files under the test root:"
    (cd "$testroot" && find . -mindepth 1 | sort | sed 's/^/    /')
    echo "  registry:"
    "$wine" reg query 'HKCU\Software\VelmoTulveSetupTest' /s 2>/dev/null | tr -d '\r' | sed '/^$/d; s/^/    /' ||
        echo "    (no test keys)"
}

printf "== silent install into %s\n" "$winroot"
status=0
VELMO_SETUP_TEST_ROOT="$winroot" "$wine" "$setup" /VERYSILENT || status=$?
echo "  exit code $status"
show_state

echo "== silent uninstall from the installed uninstaller"
status=0
VELMO_SETUP_TEST_ROOT="$winroot" "$wine" "$testroot/Programs/Velmo Tulve/VelmoTulve-Setup.exe" --uninstall /VERYSILENT ||
    status=$?
echo "  exit code $status"
# Self-removal deletes the uninstaller once the setup process has exited.
"$root/cmake/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
i=0
while [ -e "$testroot/Programs/Velmo Tulve" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
show_state
rm -rf "$testroot"

echo "== setup window"
if [ -n "${VT_OWN_DISPLAY:-}" ]; then
    "$wine" "$setup" >/dev/null 2>&1 &
    pid=$!
    xdotool search --sync --name "Velmo Tulve Setup" >/dev/null 2>&1 &
    waiter=$!
    i=0
    while kill -0 "$waiter" 2>/dev/null && [ $i -lt 200 ]; do sleep 0.1; i=$((i + 1)); done
    kill "$waiter" 2>/dev/null || true
    sleep 1  # let the first frame land before the picture is taken
    import -window root "$build/setup-window.png" && echo "  screenshot: $build/setup-window.png"
    "$wine" taskkill /im VelmoTulve-Setup-x64.exe >/dev/null 2>&1 || kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
else
    echo "  on $DISPLAY; close the window to finish"
    "$wine" "$setup" || true
fi
