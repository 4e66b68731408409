#!/usr/bin/env bash
# Runs Windows host check tests under Wine in a network namespace of its own, where loopback
# answers echo requests only to addresses whose last byte is even, so that half of the hosts
# 127.0.0.1 .. 127.0.0.86 stay silent, and where the name server never answers. The namespace has
# no interface but its loopback: nothing can leave the machine. Its own Wine prefix, because the
# echo requests are sent by Wine's own services, which must run inside the namespace.
# Usage: check_netns.sh PROGRAM [ARGUMENTS...]   (a test's, or bench/run-wine.sh's driver)
set -euo pipefail
if [ "${1:-}" != --inside ]; then
  if ! said=$(unshare --net --mount -- true 2>&1); then
    echo "FAIL: needs a network and a mount namespace: run as root on a machine or VM, not in a" \
      "chroot or an unprivileged container (unshare: $said)"
    exit 1
  fi
  exec unshare --net --mount -- "$0" --inside "$@"
fi
shift
. "$(dirname "$0")/../../scripts/lib.sh"
scratch=$(mktemp -d)
trap 'stop_wine_display; rm -rf "$scratch"' EXIT
ip link set lo up
# The name server, on loopback too (a mount of this namespace's own puts it in resolv.conf).
printf 'nameserver 127.0.0.53\noptions timeout:10 attempts:1\n' >"$scratch/resolv.conf"
mount --bind "$scratch/resolv.conf" /etc/resolv.conf
# Echo requests (protocol 1, type 8 right after a 20-byte header) to an odd last address byte go
# to a class that sends a byte a second, with no burst: they leave long after any reply is
# waited for. (This kernel has no drop action for tc; a class this slow does the same here.)
tc qdisc add dev lo root handle 1: htb default 10 r2q 1
tc class add dev lo parent 1: classid 1:10 htb rate 1gbit quantum 1514
tc class add dev lo parent 1: classid 1:20 htb rate 8bit ceil 8bit burst 1b cburst 1b quantum 1514
tc filter add dev lo parent 1: protocol ip prio 1 u32 match ip protocol 1 0xff \
  match u8 0x01 0x01 at 19 match u8 0x08 0xff at 20 flowid 1:20
# So do the name server's requests (UDP to port 53).
tc filter add dev lo parent 1: protocol ip prio 2 u32 match ip protocol 17 0xff \
  match ip dport 53 0xffff flowid 1:20
ping -n -c 1 -W 1 127.0.0.99 >/dev/null || true  # spends the class's first allowance
ping -n -c 1 -W 1 127.0.0.2 >/dev/null || { echo "127.0.0.2 does not answer in the namespace"; exit 1; }
if ping -n -c 1 -W 1 127.0.0.3 >/dev/null; then echo "127.0.0.3 is not silent"; exit 1; fi
status=0
timeout 3 getent ahosts stuck.norvex.test >/dev/null || status=$?
[ "$status" -eq 124 ] || { echo "the name server is not silent (getent: $status)"; exit 1; }

# A display tall enough for all 86 rows, and a Wine prefix of this namespace's own.
start_wine_display 1024x2400x24 "$scratch"
NORVEX_HALF_SILENT=1 wine "$@"
