#!/usr/bin/env bash
# Opens a ping window with each real terminal Debian 12 packages, under Xvfb, through the
# launcher with a fake ping alone on PATH (the real ping never runs), and says which ones
# passed the address's words to ping exactly and ran nothing else.
# (zutty needs xfonts-base for its default font.)
# Usage: scripts/real-terminals.sh [BUILD_DIR]   (as root, for apt; BUILD_DIR has launcher_test)
set -uo pipefail
build=${1:-build-term}
source=$(cd "$(dirname "$0")/.." && pwd)
export DEBIAN_FRONTEND=noninteractive
apt-get install -y --no-install-recommends xvfb xauth xfonts-base dbus-x11 dbus xterm gnome-console \
  terminology sakura rxvt-unicode stterm zutty deepin-terminal terminator tilix lxterminal \
  qterminal >/dev/null || { echo "apt-get install failed"; exit 2; }
[ -x "$build/tests/launcher_test" ] || cmake --build "$build" --target launcher_test -j2

display=:73
Xvfb "$display" -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null' EXIT
sleep 1
export DISPLAY=$display QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY XDG_CURRENT_DESKTOP

failed=0
for program in kgx terminology sakura urxvt rxvt-unicode stterm zutty deepin-terminal \
               terminator tilix lxterminal qterminal xterm; do
  path=$(command -v "$program") || { echo "FAIL $program (not installed)"; failed=1; continue; }
  log=$(mktemp)
  if NORVEX_REAL_TERMINAL=$path timeout 60 dbus-run-session -- "$build/tests/launcher_test" \
       --gtest_also_run_disabled_tests --gtest_filter='RealTerminal.*' >"$log" 2>&1; then
    echo "PASS $program"
  else
    echo "FAIL $program"; grep -E 'Failure|Expected|Which is|no ping|  Actual' "$log" | head -8
    failed=1
  fi
  rm -f "$log"
done
exit "$failed"
