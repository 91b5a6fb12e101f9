#!/bin/sh
# Writes a PNG of every page and state of the setup window, at 96 and 144
# DPI, into docs/screenshots: the real frames, drawn with Direct2D under Wine
# by tests/win/render_screenshots.exe.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/tools/deps.sh"
cd "$root"
. "$root/tools/display.sh"
out=$root/docs/screenshots
frames=$root/build/windows/screenshots
vt_wine_session "$root" "$root/build/windows"
cmake --preset windows >/dev/null
cmake --build --preset windows --target render_screenshots
sh cmake/wine-prefix.sh start build/windows
rm -rf "$frames"
mkdir -p "$frames" "$out"
WINEPREFIX=$root/build/windows/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d \
    wine build/windows/tests/win/render_screenshots.exe "Z:$frames" </dev/null
for frame in "$frames"/*.bmp; do
    name=$(basename "$frame" .bmp)
    # No time stamps: the same frame gives the same file.
    convert "$frame" -strip -define png:exclude-chunks=date,time "$out/$name.png"
done
echo "screenshots: $(ls "$out" | wc -l) files in docs/screenshots"
