#!/usr/bin/env bash
# Remakes the README's pictures, drawn headless: docs/norvex-window.png, the window for the
# example list, docs/norvex-checked.png, the window for docs/checked.nvx after a check of its
# hosts, and docs/norvex-history.png, the history board over a made-up session. The check runs a stand-in ping first on PATH that answers for each loopback address as
# told below: no real ping runs and nothing is sent anywhere.
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
cat > "$standin/ping" <<'PING'
#!/bin/sh
for host; do :; done
case $host in
  127.0.0.1) echo "64 bytes from $host: icmp_seq=1 ttl=64 time=0.041 ms"; exit 0 ;;
  ::1) echo "64 bytes from $host: icmp_seq=1 ttl=64 time=0.038 ms"; exit 0 ;;
  127.0.0.2) echo "64 bytes from $host: icmp_seq=1 ttl=64 time=0.052 ms"; exit 0 ;;
  127.0.0.3) echo "1 packets transmitted, 0 received, 100% packet loss"; exit 1 ;;
  127.0.0.4) echo "From 127.0.0.254 icmp_seq=1 Destination Host Unreachable"; exit 1 ;;
  *) echo "ping: $host: Name or service not known" >&2; exit 2 ;;
esac
PING
chmod +x "$standin/ping"
PATH=$standin:/usr/bin:/bin QT_QPA_PLATFORM=offscreen \
  build/norvex-screenshot --check docs/checked.nvx docs/norvex-checked.png
echo "wrote docs/norvex-checked.png"
