#!/usr/bin/env bash
# Remakes docs/norvex-window-wine.png: norvex.exe on the example list under Wine, inside a Wine
# desktop window (so the Windows frame and title bar show), on a private Xvfb display.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
[ -x build-windows/norvex.exe ] || scripts/build-windows.sh

. scripts/lib.sh
ensure_packages wine wine64 xvfb xauth imagemagick xdotool

scratch=$(mktemp -d)
trap 'stop_wine_display; rm -rf "$scratch"' EXIT
start_wine_display 800x600x24 "$scratch"

(cd examples && wine explorer /desktop=norvex,280x180 "$root/build-windows/norvex.exe" norvex.nvx \
   >/dev/null 2>&1 &)
for _ in $(seq 100); do
  xdotool search --name 'Wine desktop' >/dev/null 2>&1 && break
  sleep 0.2
done
sleep 4  # let it paint
desktop=$(xdotool search --name 'Wine desktop' | head -n 1)
import -window "$desktop" "$root/docs/norvex-window-wine.png"
echo "wrote docs/norvex-window-wine.png"
