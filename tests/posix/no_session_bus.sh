#!/usr/bin/env bash
# norvex started where no session bus runs (no DBUS_SESSION_BUS_ADDRESS, nothing at
# $XDG_RUNTIME_DIR/bus), on a real X server, where Qt's accessibility code asks for the bus at
# start-up: no bus daemon is started for it, and nothing is written to its home or runtime folder.
# Usage: no_session_bus.sh NORVEX
set -euo pipefail
norvex=$1
. "$(dirname "$0")/../../scripts/lib.sh"
fail() { echo "FAIL: $*"; exit 1; }
command -v Xvfb >/dev/null || fail "Xvfb is not installed (scripts/install-deps.sh installs xvfb)"
command -v dbus-launch >/dev/null ||
  fail "dbus-launch is not installed (dbus-x11): without it, a bus would never be started anyway"
scratch=$(mktemp -d)
trap 'stop_xvfb; rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/home" "$scratch/runtime"
printf '[LIST]\r\nLoopback=127.0.0.1\r\n' > "$scratch/list.nvx"
start_xvfb 640x480x24
env -i PATH=/usr/bin:/bin HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" \
  DISPLAY="$DISPLAY" "$norvex" "$scratch/list.nvx" &
pid=$!
sleep 3
kill -0 "$pid" 2>/dev/null || fail "norvex did not keep running"
# A daemon started for norvex carries its home folder in its environment.
started=$(grep -lz "HOME=$scratch/home" /proc/[0-9]*/environ 2>/dev/null | grep -v "^/proc/$pid/" || true)
kill "$pid"
wait "$pid" 2>/dev/null || true
if [ -n "$started" ]; then
  said=$(for f in $started; do tr '\0' ' ' < "${f%environ}cmdline"; echo; done)
  for f in $started; do p=${f#/proc/}; kill "${p%/environ}" 2>/dev/null || true; done
  fail "a process was started for norvex: $said"
fi
written=$(find "$scratch/home" "$scratch/runtime" -mindepth 1)
[ -z "$written" ] || fail "files were written: $written"
echo "PASS: no bus started, nothing written"
