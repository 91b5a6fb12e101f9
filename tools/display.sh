# Sourced by the run and test scripts: gives Wine a display. Uses the caller's
# DISPLAY when it works, else starts Xvfb on a free display and stops it when
# the script exits. Must run before the Wine server starts: the first Wine
# process picks the graphics driver for all later ones.
vt_start_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        VT_OWN_DISPLAY=""
        return 0
    fi
    n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    VT_OWN_DISPLAY=$!
    export DISPLAY=":$n"
    # Wait for the server to accept connections (bounded).
    i=0
    while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
}

vt_stop_display() {
    [ -n "${VT_OWN_DISPLAY:-}" ] && kill "$VT_OWN_DISPLAY" 2>/dev/null || true
}

# For a script that runs programs under Wine in build tree $2 of source tree
# $1: starts the display and, whenever the script ends, stops that tree's
# Wine server and the display.
vt_wine_session() {
    vt_session_root=$1
    vt_session_build=$2
    trap 'sh "$vt_session_root/cmake/wine-prefix.sh" stop "$vt_session_build" 2>/dev/null || true; vt_stop_display' \
        EXIT INT TERM
    vt_start_display
}
