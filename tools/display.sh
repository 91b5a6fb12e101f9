# Sourced by the run, test and bench scripts: gives Wine a display, and runs
# set-up steps quietly unless they fail; the benches also get busy loops.
# Uses the caller's DISPLAY when it works, else starts Xvfb on a free display
# and stops it when the script exits. Must run before the Wine server starts:
# the first Wine process picks the graphics driver for all later ones.
vt_start_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        VT_OWN_DISPLAY=""
        return 0
    fi
    vt_display_dir=$(mktemp -d)
    # -displayfd: Xvfb takes the first display number nobody holds (lock
    # files and sockets, also those of other chroots on this kernel) and
    # writes it once it accepts connections. -noreset: by default the server
    # resets when its last client leaves, and a client connecting meanwhile
    # (the next check, the first Wine process) is refused.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
        3>"$vt_display_dir/number" >"$vt_display_dir/log" 2>&1 </dev/null &
    VT_OWN_DISPLAY=$!
    i=0
    while ! grep -q '^[0-9]' "$vt_display_dir/number" 2>/dev/null; do
        if ! kill -0 "$VT_OWN_DISPLAY" 2>/dev/null || [ $i -ge 200 ]; then
            echo "display.sh: Xvfb did not start; it said:" >&2
            sed 's/^/  /' "$vt_display_dir/log" >&2
            kill "$VT_OWN_DISPLAY" 2>/dev/null || true
            VT_OWN_DISPLAY=""
            rm -rf "$vt_display_dir"
            return 1
        fi
        sleep 0.1
        i=$((i + 1))
    done
    DISPLAY=":$(head -n 1 "$vt_display_dir/number")"
    export DISPLAY
    rm -rf "$vt_display_dir"
    if ! xdpyinfo >/dev/null 2>&1; then
        echo "display.sh: Xvfb on $DISPLAY does not answer" >&2
        return 1
    fi
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

# Runs a command with its output kept back; prints the output only when the
# command fails (a configure step's reason, such as a missing package).
vt_quiet() {
    vt_quiet_log=$(mktemp)
    "$@" >"$vt_quiet_log" 2>&1 || {
        vt_quiet_status=$?
        echo "failed ($vt_quiet_status): $*" >&2
        cat "$vt_quiet_log" >&2
        rm -f "$vt_quiet_log"
        return "$vt_quiet_status"
    }
    rm -f "$vt_quiet_log"
}

# For the benches of a busy machine: vt_start_hogs N starts N CPU-bound
# processes; vt_stop_hogs ends them (safe to call twice).
vt_hogs=""
vt_start_hogs() {
    vt_hog_count=0
    while [ "$vt_hog_count" -lt "$1" ]; do
        sh -c 'while :; do :; done' &
        vt_hogs="$vt_hogs $!"
        vt_hog_count=$((vt_hog_count + 1))
    done
}
vt_stop_hogs() {
    for vt_hog in $vt_hogs; do kill "$vt_hog" 2>/dev/null || true; done
    vt_hogs=""
}
