#!/usr/bin/env bash
# Remakes docs/norvex-window-wine.png: norvex.exe on the example list under Wine, inside a Wine
# desktop window (so the Windows frame and title bar show), on a private Xvfb display.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
[ -x build-windows/norvex.exe ] || scripts/build-windows.sh

packages=(wine wine64 xvfb xauth imagemagick xdotool)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

scratch=$(mktemp -d)
xvfb_pid=""
cleanup() {
  WINEPREFIX=$scratch/prefix wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
display=90
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=:$display WINEPREFIX=$scratch/prefix WINEARCH=win64 WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
wineserver -w

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
