#!/bin/sh
# Creates (once) and warms the Wine prefix of a build tree.
#   wine-prefix.sh start BUILD_DIR   create the prefix if needed, start the server
#   wine-prefix.sh stop BUILD_DIR    stop the server, unless another run uses it
# Each script that starts the server (the caller, $PPID) is noted in
# BUILD_DIR/wine-sessions; stop ends the server only when no other noted run
# is still alive. Stopping it kills every Wine process of the prefix, and a
# test process killed so reports exit code 0 to its parent under Wine: a
# bench or a second test run beside the suite in one tree must not do that.
# The server and Wine's services are started with every standard stream on
# /dev/null: started from inside a test runner they would otherwise keep its
# pipes open and the runner would wait for them forever.
set -e
cmd=$1
build=$(cd "$2" && pwd)
export WINEPREFIX="$build/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
server=wineserver
command -v wineserver >/dev/null 2>&1 || server=wineserver-stable
command -v "$server" >/dev/null 2>&1 || server=/usr/lib/wine/wineserver64
wine=wine
command -v wine >/dev/null 2>&1 || wine=wine-stable

sessions="$build/wine-sessions"

case "$cmd" in
start)
    mkdir -p "$sessions" && : >"$sessions/$PPID"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        ( "$wine" wineboot -i ) >/dev/null 2>&1 </dev/null
        # A virtual desktop stands in for a window manager: without one,
        # Wine's tray waits 2 s for a confirmation that never comes each
        # time an icon is removed.
        ( "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
          "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f
          "$server" -w ) >/dev/null 2>&1 </dev/null
    fi
    # -p fails when the server already runs; that is fine. A new prefix of
    # Wine 8 reports Windows 7, on which the setup program refuses to run:
    # the prefix reports Windows 10 (winecfg writes the version values of
    # HKLM\Software\Microsoft\Windows NT\CurrentVersion).
    ( "$server" -p || true; "$wine" wineboot; "$wine" winecfg -v win10 ) >/dev/null 2>&1 </dev/null
    ;;
stop)
    rm -f "$sessions/$PPID"
    for run in "$sessions"/*; do
        [ -e "$run" ] || continue
        if kill -0 "${run##*/}" 2>/dev/null; then
            echo "wine-prefix.sh: the Wine server of $build stays: run ${run##*/} still uses it" >&2
            exit 0
        fi
        rm -f "$run"
    done
    "$server" -k >/dev/null 2>&1 </dev/null || true
    ;;
*)
    echo "usage: wine-prefix.sh start|stop BUILD_DIR" >&2
    exit 2
    ;;
esac
