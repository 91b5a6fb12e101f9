#!/bin/sh
# Checks the README's promise on a new machine: makes a minimal Debian 12
# (debootstrap, variant minbase, from this machine's own Debian mirror, with
# only git and ca-certificates added), clones the committed tree into it and
# runs the README's two commands there exactly as written, as root, each with
# its exit code and time. Run by hand: it needs root, about 8 GB of disk and
# tens of minutes.
#
#   sh tools/fresh_machine_check.sh [OUT_DIR]    default: build/fresh-machine
#
# OUT_DIR keeps both logs, the screenshot and summary.txt. The system is made
# in a temporary folder and removed at the end (KEEP=1 keeps it); every mount
# made for it is undone on every exit, interrupts included.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/fresh-machine}
suite=bookworm

if [ "$(id -u)" -ne 0 ]; then
    echo "fresh_machine_check.sh: run as root (debootstrap and chroot)" >&2
    exit 1
fi
# The first Debian mirror this machine's apt uses (deb822 or one-line form).
mirror=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null |
    grep -v security | head -n 1)
[ -n "$mirror" ] || mirror=$(sed -n 's/^deb  *\(\[[^]]*\]  *\)\{0,1\}\([^ ]*\)  *'"$suite"' .*/\2/p' \
    /etc/apt/sources.list 2>/dev/null | head -n 1)
[ -n "$mirror" ] || { echo "fresh_machine_check.sh: no Debian mirror in /etc/apt" >&2; exit 1; }
if ! command -v debootstrap >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap >/dev/null 2>&1 ||
        { echo "fresh_machine_check.sh: cannot install debootstrap" >&2; exit 1; }
fi

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/*.log "$out/setup-window.png" "$out/summary.txt"
system=$(mktemp -d /var/tmp/velmo-tulve-fresh.XXXXXX)
mounted=""

# Processes still running inside the system (a Wine server, an Xvfb) would
# keep its mounts busy.
stop_processes() {
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$system" ] && kill -9 "${p#/proc/}" 2>/dev/null || true
    done
}
cleanup() {
    trap - EXIT INT TERM HUP
    stop_processes
    for m in $mounted; do
        umount "$system$m" 2>/dev/null || umount -l "$system$m" 2>/dev/null || true
    done
    if grep -q " $system/" /proc/mounts; then
        echo "fresh_machine_check.sh: still mounted under $system; not removed:" >&2
        grep " $system/" /proc/mounts >&2
    elif [ -z "${KEEP:-}" ]; then
        rm -rf --one-file-system "$system"
    else
        echo "kept: $system"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

step() { printf '== %s\n' "$*"; }
now() { date +%s; }

step "minimal Debian 12 from $mirror into $system"
start=$(now)
debootstrap --variant=minbase --include=git,ca-certificates "$suite" "$system" "$mirror" \
    >"$out/debootstrap.log" 2>&1 || { tail -n 20 "$out/debootstrap.log" >&2; exit 1; }
echo "  $(($(now) - start)) s"

# Mounted in this order, unmounted in the reverse one.
for m in /proc /sys /dev /dev/pts /dev/shm; do
    case $m in
    /proc) mount -t proc proc "$system/proc" ;;
    *) mount --bind "$m" "$system$m" ;;
    esac
    mounted="$m $mounted"
done
cp /etc/resolv.conf "$system/etc/resolv.conf" 2>/dev/null || true

step "clone of the committed tree ($(git -C "$root" rev-parse --short HEAD))"
git clone -q "$root" "$system/root/velmo-tulve"

# A login shell's environment, nothing of this one's.
in_system() {
    chroot "$system" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        sh -c "cd /root/velmo-tulve && $1" </dev/null
}
run_command() {
    name=$1
    command=$2
    step "$command"
    start=$(now)
    status=0
    in_system "$command" >"$out/$name.log" 2>&1 || status=$?
    seconds=$(($(now) - start))
    echo "  exit code $status, $seconds s (log: $out/$name.log)"
    printf '%s\texit %s\t%s s\n' "$command" "$status" "$seconds" >>"$out/summary.txt"
    [ "$status" -eq 0 ] || tail -n 30 "$out/$name.log" | sed 's/^/  | /'
    return "$status"
}

failed=0
run_command run "sh tools/run.sh" || failed=1
shot="$system/root/velmo-tulve/build/windows/setup-window.png"
if [ -f "$shot" ] && grep -q "it shows the setup window" "$out/run.log"; then
    cp "$shot" "$out/setup-window.png"
    echo "  screenshot: $out/setup-window.png"
    grep -A1 "it shows the setup window" "$out/run.log" | sed 's/^ */  /'
else
    echo "  no screenshot of the setup window" >&2
    failed=1
fi

run_command test "sh tools/test.sh" || failed=1
counts=$(grep -E 'tests passed|^all suites:' "$out/test.log" || true)
echo "$counts" | sed 's/^/  /'
echo "$counts" >>"$out/summary.txt"
echo "$counts" | grep -q '^all suites: [0-9]* passed, 0 failed' || failed=1

if [ "$failed" -eq 0 ]; then
    step "passed: both commands succeeded on a minimal Debian 12 ($out/summary.txt)"
else
    step "FAILED ($out/summary.txt)"
fi
exit "$failed"
