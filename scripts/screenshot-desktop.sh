#!/usr/bin/env bash
# Remakes docs/norvex-trace-probe.png: norvex on a private Xvfb desktop with a real xterm, after a
# trace route of its first row (from the row's menu) and a click on a port row. Everything it
# reaches is loopback: the rows are 127.0.0.1, a listener this script opens on 127.0.0.2:8443 and
# 127.0.0.3:8443, where nothing listens. Needs xvfb, xterm, mtr-tiny, xdotool and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in Xvfb xterm mtr xdotool convert python3; do
  command -v "$tool" >/dev/null || { echo "screenshot-desktop: $tool is missing" >&2; exit 1; }
done
build=${NORVEX_BUILD:-build}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j2 --target norvex norvex-probe

. scripts/lib.sh
work=$(mktemp -d)
pids=()
trap 'stop_started "${pids[@]}"; rm -rf "$work"' EXIT
start_xvfb 1030x460x24

start_loopback_listener 127.0.0.2 8443
pids+=("$listener_pid")

cat > "$work/servers.nvx" <<'LIST'
[LIST]
This computer=127.0.0.1
Web server=127.0.0.2:8443
Mail, port closed=127.0.0.3:8443
LIST
# Only xterm: the picture should not depend on which terminals this machine has.
mkdir "$work/bin"
for tool in xterm mtr mtr-packet sh ping; do ln -s "$(command -v $tool)" "$work/bin/$tool"; done
(cd "$work" && PATH=$work/bin XDG_CURRENT_DESKTOP= "$OLDPWD/$build/norvex" servers.nvx) &
pids+=($!)

window() {  # waits for a window whose name matches, prints its id
  for _ in $(seq 100); do
    id=$(xdotool search --name "$1" 2>/dev/null | head -n 1) && [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.1
  done
  echo "screenshot-desktop: no window named $1" >&2
  exit 1
}
main=$(window 'norvex by Brastel')
xdotool windowmove "$main" 20 20
sleep 1
geometry=$(xwininfo -id "$main" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
read -r width height <<<"$geometry"
# The first row's menu, from its band, then Trace route by its accelerator.
xdotool mousemove 40 $((20 + 14)) click 3
sleep 0.5
xdotool key t
trace=$(window 'This computer')
xdotool windowmove "$trace" 20 $((height + 50))
sleep 0.5
# A click on the port row's button, at the right of its band.
xdotool mousemove $((20 + width - 40)) $((20 + 14 + height / 3)) click 1
probe=$(window 'Web server')
xdotool mousemove 10 $((height + 60)) key --window "$main" F5
xdotool windowmove "$probe" 525 $((height + 50))
sleep 4
xwd -root -silent | convert xwd:- docs/norvex-trace-probe.png
echo "wrote docs/norvex-trace-probe.png"
