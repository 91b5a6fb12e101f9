#!/usr/bin/env bash
# Our setup program against the NSIS installer of ../shared/peers/nsis, from
# the same payload: a 1.6 MB x86-64 PE standing in for the application (Wine's
# own shlwapi.dll) plus our LICENSE. Builds both, then measures them in one
# Wine prefix under one warm wineserver, alternating the two installers run by
# run, and prints each figure as ours / NSIS:
#   installer file size;
#   silent install wall time;
#   silent uninstall wall time, until nothing is left (ours: the installed
#   uninstaller with "--uninstall /VERYSILENT" and its self-removal; NSIS: its
#   QuietUninstallString, "/S", which hands over to a copy in %TEMP%).
# Times are medians, net of the start of a trivial mingw program. Every run is
# checked: files, shortcut, Run value and uninstall key there after an
# install, all of it gone after an uninstall.
#
#   bash bench/peer_benchmark.sh            RUNS=11 by default
# Needs root on a fresh machine only for the packages (tools/deps.sh).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=${RUNS:-11}
PEER=${PEER:-$root/../shared/peers/nsis}
BUILD=${BUILD:-$root/build/bench-peer}
export LC_ALL=C

sh "$root/tools/deps.sh"
cd "$root"
. "$root/tools/display.sh"

APP=${APP:-$(dpkg -L libwine 2>/dev/null | grep '/x86_64-windows/shlwapi.dll$' | head -n 1)}
[ -f "$APP" ] || { echo "peer_benchmark: no x86-64 shlwapi.dll from libwine to pack" >&2; exit 1; }
[ -f "$PEER/velmo-tulve.nsi" ] || { echo "peer_benchmark: no NSIS script at $PEER" >&2; exit 1; }

die() { echo "peer_benchmark: $*" >&2; exit 1; }
median() { sort -g | awk '{a[NR]=$1} END{ if (NR%2) print a[(NR+1)/2]; else printf "%.1f\n", (a[NR/2]+a[NR/2+1])/2 }'; }
range() { sort -g | awk 'NR==1{lo=$1} {hi=$1} END{print lo "-" hi}'; }

# ---------- the payload, the same bytes for both ----------
mkdir -p "$BUILD/payload"
cp "$APP" "$BUILD/payload/VelmoTulve.exe"
cp "$root/LICENSE" "$BUILD/payload/LICENSE"
# makensis records file times in its compressed data: fix them so sizes repeat.
touch -d '2024-01-01 00:00:00 UTC' "$BUILD/payload/VelmoTulve.exe" "$BUILD/payload/LICENSE"

# ---------- build ours, packing that payload, in a tree of its own ----------
cmake --preset windows -B "$BUILD/ours" -DVT_PAYLOAD_APP="$BUILD/payload/VelmoTulve.exe" \
    -DVT_PAYLOAD_LICENSE="$BUILD/payload/LICENSE" >/dev/null
cmake --build "$BUILD/ours" --target setup_exe >/dev/null
OURS=$BUILD/ours/VelmoTulve-Setup-x64.exe
[ -f "$OURS" ] || die "our setup program was not built"

# ---------- build the peer ----------
cp "$PEER/velmo-tulve.nsi" "$BUILD/velmo-tulve.nsi"
(cd "$BUILD" && makensis -V2 -DARCH=amd64-unicode -DPAYLOAD=payload -DOUTFILE=nsis-setup.exe velmo-tulve.nsi) \
    >"$BUILD/makensis.log" 2>&1 || { cat "$BUILD/makensis.log"; die "makensis failed"; }
NSIS=$BUILD/nsis-setup.exe

# ---------- a trivial program, for the cost of starting a Wine process ----------
printf 'int main(void) { return 0; }\n' >"$BUILD/tiny.c"
x86_64-w64-mingw32-gcc-posix -O2 -s -o "$BUILD/tiny.exe" "$BUILD/tiny.c"

# ---------- one prefix, one warm server ----------
cleanup() {
    sh "$root/cmake/wine-prefix.sh" stop "$BUILD" 2>/dev/null || true
    vt_stop_display
}
trap cleanup EXIT INT TERM
vt_start_display
sh cmake/wine-prefix.sh start "$BUILD"
export WINEPREFIX="$BUILD/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
wine=wine
command -v wine >/dev/null 2>&1 || wine=wine-stable

wpath() { "$wine" cmd /c echo "%$1%" | tr -d '\r'; }
LAD=$(wpath LOCALAPPDATA)
RAD=$(wpath APPDATA)
TMPW=$(wpath TEMP)
INST_W="$LAD\\Programs\\Velmo Tulve"
INST_U=$(winepath -u "$INST_W" | tr -d '\r')
LNK_U=$(winepath -u "$RAD\\Microsoft\\Windows\\Start Menu\\Programs\\Velmo Tulve.lnk" | tr -d '\r')
TMP_U=$(winepath -u "$TMPW" | tr -d '\r')
REG_RUN='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
REG_UN='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\VelmoTulve'
[ -n "$LAD" ] && [ -n "$INST_U" ] && [ -n "$TMP_U" ] || die "could not resolve the prefix's folders"

clean_state() {
    rm -rf "$INST_U" "$LNK_U"
    rm -rf "$TMP_U"/~nsu*.tmp "$TMP_U"/ns*.tmp 2>/dev/null || true
    "$wine" reg delete "$REG_UN" /f >/dev/null 2>&1 || true
    "$wine" reg delete "$REG_RUN" /v VelmoTulve /f >/dev/null 2>&1 || true
}
check_installed() {  # check_installed WHO
    cmp -s "$INST_U/VelmoTulve.exe" "$BUILD/payload/VelmoTulve.exe" || die "$1: VelmoTulve.exe missing or wrong"
    cmp -s "$INST_U/LICENSE" "$BUILD/payload/LICENSE" || die "$1: LICENSE missing or wrong"
    [ -s "$INST_U/VelmoTulve-Setup.exe" ] || die "$1: uninstaller missing"
    [ -s "$LNK_U" ] || die "$1: shortcut missing"
    "$wine" reg query "$REG_UN" /v InstallLocation 2>/dev/null | tr -d '\r' | grep -qF "$INST_W" ||
        die "$1: uninstall key missing or wrong"
    "$wine" reg query "$REG_RUN" /v VelmoTulve 2>/dev/null | tr -d '\r' | grep -qF "\"$INST_W\\VelmoTulve.exe\"" ||
        die "$1: Run value missing or wrong"
}
check_removed() {  # check_removed WHO
    [ ! -e "$INST_U" ] || die "$1: left behind: $(ls -A "$INST_U")"
    [ ! -e "$LNK_U" ] || die "$1: shortcut left behind"
    ! "$wine" reg query "$REG_UN" >/dev/null 2>&1 || die "$1: uninstall key left behind"
    ! "$wine" reg query "$REG_RUN" /v VelmoTulve >/dev/null 2>&1 || die "$1: Run value left behind"
}

TIMES=$BUILD/times
rm -rf "$TIMES" && mkdir -p "$TIMES"
# timed NAME CMD...: one run of CMD, its wall time in ms appended to NAME
timed() {
    local name=$1
    shift
    local t0=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 </dev/null || die "$name: failed: $*"
    local t1=$EPOCHREALTIME
    awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.1f\n", (b-a)*1000}' >>"$TIMES/$name"
}
# uninstall_until_gone NAME CMD...: CMD, then wait until the install folder is
# gone; the whole span in ms appended to NAME
uninstall_until_gone() {
    local name=$1
    shift
    local t0=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 </dev/null || die "$name: failed: $*"
    local spins=0
    while [ -e "$INST_U" ]; do
        spins=$((spins + 1))
        [ $spins -lt 30000 ] || die "$name: the install folder was never removed"
        sleep 0.001
    done
    local t1=$EPOCHREALTIME
    awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.1f\n", (b-a)*1000}' >>"$TIMES/$name"
}

ours_install() { timed "$1" "$wine" "$OURS" /VERYSILENT; }
nsis_install() { timed "$1" "$wine" "$NSIS" /S; }
ours_uninstall() { uninstall_until_gone "$1" "$wine" "$INST_W\\VelmoTulve-Setup.exe" --uninstall /VERYSILENT; }
nsis_uninstall() { uninstall_until_gone "$1" "$wine" "$INST_W\\VelmoTulve-Setup.exe" /S; }

# Run 0 of every figure is a warm-up and is dropped. The order of the two
# installers swaps from run to run.
for i in $(seq 0 "$RUNS"); do
    timed start "$wine" "$BUILD/tiny.exe"
    if [ $((i % 2)) -eq 0 ]; then order="ours nsis"; else order="nsis ours"; fi
    for who in $order; do
        clean_state
        "${who}_install" "$who-install"
        check_installed "$who"
        "${who}_uninstall" "$who-uninstall"
        check_removed "$who"
    done
done
for f in "$TIMES"/*; do sed -i 1d "$f"; done

m() { median <"$TIMES/$1"; }
net() { awk -v a="$(m "$1")" -v b="$(m start)" 'BEGIN{printf "%.1f", a-b}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.3f", a/b}'; }
size_ours=$(stat -c %s "$OURS")
size_nsis=$(stat -c %s "$NSIS")

echo
echo "payload: VelmoTulve.exe $(stat -c %s "$BUILD/payload/VelmoTulve.exe") B ($APP), LICENSE $(stat -c %s "$BUILD/payload/LICENSE") B"
echo "$(makensis -VERSION 2>/dev/null | head -n 1) amd64-unicode; $("$wine" --version); $RUNS runs each, medians"
echo "start of a trivial program: $(m start) ms (range $(range <"$TIMES/start") ms)"
for who in ours nsis; do
    for what in install uninstall; do
        echo "$who $what: $(m "$who-$what") ms, net $(net "$who-$what") ms (range $(range <"$TIMES/$who-$what") ms)"
    done
done
echo
printf '%-34s %12s %12s %8s\n' "figure" "ours" "NSIS" "ratio"
printf '%-34s %10s B %10s B %8s\n' "installer size" "$size_ours" "$size_nsis" "$(ratio "$size_ours" "$size_nsis")"
printf '%-34s %9s ms %9s ms %8s\n' "silent install (net)" "$(net ours-install)" "$(net nsis-install)" \
    "$(ratio "$(net ours-install)" "$(net nsis-install)")"
printf '%-34s %9s ms %9s ms %8s\n' "silent uninstall, all gone (net)" "$(net ours-uninstall)" "$(net nsis-uninstall)" \
    "$(ratio "$(net ours-uninstall)" "$(net nsis-uninstall)")"
