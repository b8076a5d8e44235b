#!/bin/sh
# Photographs the port selection dialog of a built Lamdex.dll in a real window: Wine on a
# virtual X display, the dialog held open by the dialog tests' helper port_dialog_hold.
# Builds nothing; run after `cmake --build` of the win32 (or win64) preset.
# usage: tools/screenshot-dialog.sh [BUILD_DIR] [OUTPUT_PNG]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/win32}" && pwd)
output=${2:-$here/docs/port-dialog.png}
dll=$build/plugin/Lamdex.dll
program=$build/tests/dialog/port_dialog_hold.exe
prefix=$build/wineprefix
for file in "$dll" "$program" "$build/wine-arch"; do
  [ -f "$file" ] || { echo "missing $file: build the win32 preset first" >&2; exit 1; }
done
WINEARCH=$(cat "$build/wine-arch")
export WINEARCH
for tool in xvfb-run import; do
  command -v "$tool" >/dev/null || { echo "missing $tool (xvfb, imagemagick)" >&2; exit 1; }
done
# Wine draws the caption buttons with its Marlett font; without it the close button shows
# the letter "r". Debian's fonts-wine has it, but this Wine loads only the fonts of the
# prefix's own Fonts folder, not those of its data folder.
marlett=/usr/share/wine/fonts/marlett.ttf
[ -f "$marlett" ] || { echo "missing $marlett (Debian's fonts-wine)" >&2; exit 1; }

# No window manager runs on the virtual display: Wine then draws the caption itself.
"$here/cmake/wine-run.sh" "$prefix" reg add \
  'HKCU\Software\Wine\AppDefaults\port_dialog_hold.exe\X11 Driver' /v Managed /d N /f >/dev/null
cp "$marlett" "$prefix/drive_c/windows/Fonts/"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# The program prints the dialog's screen rectangle, keeps it open a while, then closes it.
xvfb-run -a -s "-screen 0 640x480x24" sh -c '
  "$1" "$2" "$3" "Z:$4" 4000 >geometry &
  holder=$!
  tries=0
  while [ ! -s geometry ] && [ $tries -lt 300 ]; do sleep 0.1; tries=$((tries + 1)); done
  [ -s geometry ] || { echo "the dialog did not open" >&2; kill $holder; exit 1; }
  sleep 1
  import -window root -crop "$(tr -d "\r" <geometry)" +repage screenshot.png
  wait $holder
' screenshot "$here/cmake/wine-run.sh" "$prefix" "$program" "$dll"
cp screenshot.png "$output"
echo "wrote $output"
