#!/bin/sh
# Builds the setup program and runs it under Wine: a silent install and
# uninstall round into a throwaway test root, printing what each step left on
# the machine, then the setup window: on the caller's display until it is
# closed, or on Xvfb with a screenshot of its first drawn frame written to
# build/windows/setup-window.png. Builds only the setup program.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/tools/deps.sh"
cd "$root"
. "$root/tools/display.sh"
build="$root/build/windows"
vt_wine_session "$root" "$build"
vt_quiet cmake --preset windows
sh cmake/wine-prefix.sh start "$build"
# Only the program this script runs; the tests are built by tools/test.sh.
cmake --build --preset windows --target setup_exe

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
"$wine" cmd /c exit 0 >/dev/null 2>&1 || true
i=0
while [ -e "$testroot/Programs/Velmo Tulve" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
show_state
rm -rf "$testroot"

echo "== setup window"
if [ -n "${VT_OWN_DISPLAY:-}" ]; then
    "$wine" "$setup" >/dev/null 2>&1 &
    pid=$!
    # The first frame of a fresh prefix can take several seconds (Direct2D's
    # device start-up): wait, bounded, until the window holds a drawn frame,
    # that is more than the few flat colours of an unpainted window.
    shot="$build/setup-window.png"
    shot_status=0
    window=""
    colours=0
    i=0
    while [ $i -lt 600 ] && kill -0 "$pid" 2>/dev/null; do
        [ -n "$window" ] || window=$(xdotool search --name "^Velmo Tulve Setup\$" 2>/dev/null | head -n 1)
        if [ -n "$window" ]; then
            colours=$(import -window "$window" png:- 2>/dev/null | convert png:- -format %k info: 2>/dev/null || echo 0)
            [ "${colours:-0}" -ge 64 ] && break
        fi
        sleep 0.1
        i=$((i + 1))
    done
    if [ "${colours:-0}" -ge 64 ]; then
        import -window root "$shot"
        size=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: *//p')
        echo "  screenshot: $shot"
        echo "  it shows the setup window ($size px, $colours colours): the welcome page of a"
        echo "  first install, \"Velmo Tulve\" with the install folder, Install and Customize"
    else
        echo "  no drawn setup window within 60 s (window: ${window:-none})" >&2
        shot_status=1
    fi
    "$wine" taskkill /im VelmoTulve-Setup-x64.exe >/dev/null 2>&1 || kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    exit "$shot_status"
else
    echo "  on $DISPLAY; close the window to finish"
    "$wine" "$setup" || true
fi
