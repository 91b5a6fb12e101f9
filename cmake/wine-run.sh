#!/bin/sh
# Runs a Windows program under Wine in the build tree's own prefix: the one
# beside the build's CMakeCache.txt, found from the current directory
# upwards. A WINEPREFIX the caller exported is not used: the tests write the
# registry and files of the prefix they run in, and only the build's own has
# the warm server that tools/test.sh starts.
set -e
dir=$(pwd)
while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
if [ ! -f "$dir/CMakeCache.txt" ]; then
    echo "wine-run.sh: $(pwd) is not inside a build tree" >&2
    exit 2
fi
export WINEPREFIX="$dir/wine-prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d}"
for w in wine wine-stable /usr/lib/wine/wine64; do
    if command -v "$w" >/dev/null 2>&1; then exec "$w" "$@"; fi
done
echo "wine-run.sh: no wine found" >&2
exit 127
