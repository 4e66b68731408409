#!/usr/bin/env bash
# Remakes the README's pictures, drawn headless: docs/norvex-window.png, the window for the
# example list, docs/norvex-checked.png, the window for docs/checked.nvx after a check of its
# hosts, and docs/norvex-history.png, the history board over a made-up session. The check runs a
# stand-in fping first on PATH that answers for each loopback address as told below: no real fping
# or ping runs and nothing is sent anywhere.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build >/dev/null
cmake --build build -j2 --target norvex-screenshot norvex-history-demo
QT_QPA_PLATFORM=offscreen build/norvex-screenshot examples/norvex.nvx docs/norvex-window.png
echo "wrote docs/norvex-window.png"
QT_QPA_PLATFORM=offscreen build/norvex-history-demo docs/norvex-history.png
echo "wrote docs/norvex-history.png"

standin=$(mktemp -d)
trap 'rm -rf "$standin"' EXIT
cat > "$standin/fping" <<'FPING'
#!/bin/sh
while read -r host; do
  case $host in
    127.0.0.1) echo "$host is alive (0.041 ms)" ;;
    ::1) echo "$host is alive (0.038 ms)" ;;
    127.0.0.2) echo "$host is alive (0.052 ms)" ;;
    127.0.0.3) echo "$host is unreachable" ;;
    127.0.0.4) echo "ICMP Host Unreachable from 127.0.0.254 for ICMP Echo sent to $host" >&2
      echo "$host is unreachable" ;;
    *) echo "$host: Name or service not known" >&2 ;;
  esac
done
FPING
chmod +x "$standin/fping"
PATH=$standin:/usr/bin:/bin QT_QPA_PLATFORM=offscreen \
  build/norvex-screenshot --check docs/checked.nvx docs/norvex-checked.png
echo "wrote docs/norvex-checked.png"
