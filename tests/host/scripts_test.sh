#!/bin/sh
# The set-up scripts: deps.sh names every package a pkg-config file of the
# build requires (a machine that happens to have one must not hide it), the
# display helper starts a working Xvfb or fails saying why, and vt_quiet
# shows a failing step's own output.
#   scripts_test.sh SOURCE_DIR
set -u
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# --- deps.sh against the pkg-config modules the build looks up -----------------
# The package lines of deps.sh, read as the script itself reads them.
eval "$(sed -n '/^build=/,/^packages=/p' "$root/tools/deps.sh")"
[ -n "$packages" ] || fail "no package list read from deps.sh"
modules=$(grep -rhoE 'pkg_check_modules\([A-Z_]+ [A-Z_ ]*[a-z][a-z0-9_.+-]*' "$root/cmake" "$root/CMakeLists.txt" \
    "$root/tools" "$root/tests" | awk '{print $NF}' | sort -u)
[ -n "$modules" ] || fail "no pkg_check_modules call found"
seen=""
while [ -n "$modules" ]; do
    next=""
    for m in $modules; do
        case " $seen " in *" $m "*) continue ;; esac
        seen="$seen $m"
        pc=$(pkg-config --variable=pcfiledir "$m" 2>/dev/null)/$m.pc
        owner=$(dpkg -S "$pc" 2>/dev/null | sed -n '1s/:.*//p')
        if [ -z "$owner" ]; then
            fail "pkg-config module $m has no Debian package here"
            continue
        fi
        case " $packages " in
        *" $owner "*) ;;
        *) fail "$m comes from $owner, which deps.sh does not install" ;;
        esac
        next="$next $(pkg-config --print-requires --print-requires-private "$m" | awk '{print $1}')"
    done
    modules=$next
done
case "$seen" in *" libxml-2.0"*) ;; *) fail "wimlib's requirements were not followed (seen:$seen)" ;; esac

# --- display helper --------------------------------------------------------------
mkdir "$work/bin"
printf '#!/bin/sh\necho "Fatal server error: no screens found" >&2\nexit 1\n' >"$work/bin/Xvfb"
chmod +x "$work/bin/Xvfb"
out=$(env -u DISPLAY PATH="$work/bin:$PATH" sh -c "set -e; . '$root/tools/display.sh'; vt_start_display; echo reached" 2>&1)
status=$?
[ "$status" -ne 0 ] || fail "a failed Xvfb start returned success"
case "$out" in *"Xvfb did not start"*"no screens found"*) ;; *) fail "no clear message for a failed Xvfb: $out" ;; esac
case "$out" in *reached*) fail "the script went on without a display" ;; esac

out=$(env -u DISPLAY sh -c ". '$root/tools/display.sh'; vt_start_display || exit 1
    xdpyinfo >/dev/null 2>&1 && echo \"up \$DISPLAY \$VT_OWN_DISPLAY\"; vt_stop_display" 2>&1)
set -- $out
[ "${1:-}" = up ] || fail "no working display from Xvfb: $out"
if [ -n "${3:-}" ]; then
    i=0
    while kill -0 "$3" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    kill -0 "$3" 2>/dev/null && fail "vt_stop_display left Xvfb $3 running"
fi

# --- vt_quiet --------------------------------------------------------------------
out=$(sh -c ". '$root/tools/display.sh'; vt_quiet sh -c 'echo chatter'" 2>&1)
[ $? -eq 0 ] && [ -z "$out" ] || fail "a succeeding step printed: $out"
out=$(sh -c ". '$root/tools/display.sh'; vt_quiet sh -c 'echo \"Package libxml-2.0 not found\"; exit 3'" 2>&1)
status=$?
[ "$status" -eq 3 ] || fail "vt_quiet returned $status for a step that exited 3"
case "$out" in *"Package libxml-2.0 not found"*) ;; *) fail "the failing step's reason is hidden: $out" ;; esac

[ "$failures" -eq 0 ] && echo "scripts: all checks passed"
exit "$failures"
