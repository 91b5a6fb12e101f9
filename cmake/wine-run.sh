#!/bin/sh
# Runs a Windows program under Wine in the build tree's own prefix.
# WINE_PREFIX_DIR may point elsewhere; by default the prefix lives beside the
# build's CMakeCache.txt (found from the current directory upwards).
set -e
if [ -z "${WINEPREFIX:-}" ]; then
    dir=$(pwd)
    while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
    WINEPREFIX="$dir/wine-prefix"
fi
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d}"
for w in wine wine-stable /usr/lib/wine/wine64; do
    if command -v "$w" >/dev/null 2>&1; then exec "$w" "$@"; fi
done
echo "wine-run.sh: no wine found" >&2
exit 127
