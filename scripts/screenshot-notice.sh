#!/usr/bin/env bash
# Remakes docs/norvex-notice.png: norvex keeps checking a loopback list on a private Xvfb desktop
# whose private session bus has a real notification daemon (dunst). The listener behind the port
# row closes: after two checks the daemon shows norvex's notice; it opens again: one more notice.
# Prints every notice norvex sent, as the bus carried it. Everything it reaches is loopback.
# Needs xvfb, dunst, dbus, xdotool and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${NORVEX_IN_SESSION:-}" ]; then
  for tool in Xvfb dunst dbus-run-session dbus-monitor xdotool convert python3; do
    command -v "$tool" >/dev/null || { echo "screenshot-notice: $tool is missing" >&2; exit 1; }
  done
  build=${NORVEX_BUILD:-build}
  cmake -S . -B "$build" >/dev/null
  cmake --build "$build" -j2 --target norvex
  NORVEX_IN_SESSION=1 NORVEX_BUILD=$build exec dbus-run-session -- "$0" "$@"
fi

. scripts/lib.sh
work=$(mktemp -d)
pids=()
trap 'stop_started "${pids[@]}"; rm -rf "$work"' EXIT
start_xvfb 760x260x24
dunst -config /dev/null >/dev/null 2>&1 &
pids+=($!)
dbus-monitor "interface='org.freedesktop.Notifications',member='Notify'" > "$work/bus.log" 2>&1 &
pids+=($!)

listen() {
  start_loopback_listener 127.0.0.2 8443
  pids+=("$listener_pid")
}
notices() { grep -c 'member=Notify' "$work/bus.log" || true; }
wait_for_notices() {
  for _ in $(seq 300); do [ "$(notices)" -ge "$1" ] && return; sleep 0.1; done
  echo "screenshot-notice: no notice $1 came" >&2
  exit 1
}

listen
cat > "$work/servers.nvx" <<'LIST'
[LIST]
This computer=127.0.0.1
Web server=127.0.0.2:8443
LIST
(cd "$work" && "$OLDPWD/$NORVEX_BUILD/norvex" servers.nvx) &
pids+=($!)
for _ in $(seq 100); do
  main=$(xdotool search --name 'norvex by Brastel' 2>/dev/null | head -n 1) && [ -n "$main" ] && break
  sleep 0.1
done
xdotool windowmove "$main" 20 20
sleep 1
xdotool windowfocus --sync "$main" mousemove 60 40 sleep 0.3 keydown shift key F5 keyup shift  # Keep checking
sleep 2
kill "$listener_pid"
wait_for_notices 1
sleep 1
xwd -root -silent | convert xwd:- docs/norvex-notice.png
echo "wrote docs/norvex-notice.png"
listen
wait_for_notices 2
sleep 6  # two more runs: no further notice may come
echo "Notices norvex sent:"
grep -A5 'member=Notify' "$work/bus.log" | grep 'string' | grep -v '"norvex"' | sed 's/^ */  /'
[ "$(notices)" -eq 2 ] || { echo "screenshot-notice: $(notices) notices, not 2" >&2; exit 1; }
