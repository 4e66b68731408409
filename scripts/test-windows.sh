#!/usr/bin/env bash
# Builds the Windows programs and their tests (scripts/build-windows.sh --tests) and runs the
# suites under Wine on a private Xvfb display, in a Wine prefix of their own that is thrown away
# afterwards. Prints "N passed, N failed" at the end; exits non-zero when anything failed or
# could not run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
stamp() { date +%s; }

packages=(wine wine64 xvfb xauth)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

scripts/build-windows.sh --tests

t0=$(stamp)
scratch=$(mktemp -d)
xvfb_pid=""
cleanup() {
  WINEPREFIX=$scratch/prefix wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

# A display of our own: the first free number from 90 on.
display=90
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$display ] && break; sleep 0.1; done
[ -e /tmp/.X11-unix/X$display ] || { echo "Xvfb did not start"; exit 1; }

export DISPLAY=:$display WINEPREFIX=$scratch/prefix WINEARCH=win64 WINEDEBUG=-all
export LC_ALL=C.UTF-8
# No Mono or Gecko: nothing here needs them, and their installers would ask.
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
wineserver -w
echo "== A fresh Wine prefix took $(( $(stamp) - t0 )) s"

t0=$(stamp)
log=$scratch/ctest.log
set +e
ctest --test-dir "$root/build-windows" --output-on-failure -j2 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e
echo "== The Windows suites under Wine took $(( $(stamp) - t0 )) s"

counts=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$log")
if [ -z "$counts" ]; then
  echo "windows: 0 passed, 1 failed"
  exit 1
fi
failed=${counts% *}
total=${counts#* }
echo "windows: $((total - failed)) passed, $failed failed"
[ "$status" -eq 0 ] && [ "$failed" -eq 0 ]
