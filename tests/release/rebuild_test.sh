#!/bin/sh
# A second, clean build gives byte-identical shipped files: the tree copied
# to another folder, built there later by another user (nobody, when run as
# root) in a fresh environment with another time zone and umask. Only what
# ships is built again (application, packer, payload, setup program).
#   rebuild_test.sh SOURCE_DIR MAIN_BUILD_DIR WORK_DIR [CMAKE_ARGS...]
# SOURCE_DATE_EPOCH reaches the copy as the caller has it (in CI: unset).
set -eu
source=$1 main=$2 work=$3
shift 3
copy="$work/a copy of the tree"
rm -rf "$work"
mkdir -p "$copy" "$work/home"
tar -C "$source" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf -

# UTC+14, or UTC-12 if that is the caller's; 077, or 022 if that is the caller's.
tz='<+14>-14'
[ "${TZ:-}" = "$tz" ] && tz='<-12>12'
mask=077
[ "$(umask)" = 0077 ] && mask=022
as=""
if [ "$(id -u)" = 0 ] && id nobody >/dev/null 2>&1; then
    chown -R nobody "$work"
    as="setpriv --reuid=nobody --regid=$(id -g nobody) --clear-groups"
    # Below a folder that only root may enter, the copy is built by root.
    $as test -w "$copy" || as=""
fi
echo "main build: $(id -un), TZ=${TZ:-unset}, umask $(umask), $main"
cd "$copy"
$as env -i PATH="$PATH" HOME="$work/home" TZ="$tz" ${SOURCE_DATE_EPOCH:+SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH} \
    sh -c 'umask '"$mask"' && echo "rebuild:    $(id -un), TZ=$TZ ($(date +%H:%M%z)), umask $(umask), $PWD/build/windows" &&
           cmake --preset windows "$@" >/dev/null && cmake --build --preset windows --target setup_exe >/dev/null' \
    rebuild "$@" </dev/null

status=0
for file in VelmoTulve-Setup-x64.exe app/VelmoTulve.exe payload.vtpk; do
    ours=$(sha256sum <"$main/$file" | cut -d' ' -f1)
    theirs=$(sha256sum <"$copy/build/windows/$file" | cut -d' ' -f1)
    if [ "$ours" = "$theirs" ]; then
        echo "same   $ours  $file"
    else
        echo "DIFFER $ours $theirs  $file; first differing bytes (offset, octal values):"
        cmp -l "$main/$file" "$copy/build/windows/$file" | head -5
        status=1
    fi
done
exit $status
