#!/usr/bin/env bash
# The Windows check of 86 hosts under Wine: bench/run-wine.sh [RUNS]. Builds the driver for
# Windows (in build-windows-bench, with the cached Qt for Windows) and runs it under Wine in
# tests/win/check_netns.sh's network namespace, where loopback answers echo requests only to an
# even last address byte: of 127.0.0.1 .. 127.0.0.86 half are silent, and nothing leaves the
# machine. Each run is a fresh window told to check all hosts; the time until every row has its
# mark, and the longest the event loop went without serving a 5 ms timer meanwhile.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-5}
qt_prefix=$(scripts/build-windows.sh --qt-only | tail -n 1)
out=$root/build-windows-bench
"$qt_prefix/bin/qt-cmake" -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DNORVEX_WERROR=ON -DNORVEX_TESTS=OFF -DNORVEX_BENCH=ON >/dev/null
cmake --build "$out" --target startup_driver --parallel 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{
  printf '[LIST]\r\n'
  for i in $(seq 1 86); do printf 'host%d=127.0.0.%d\r\n' "$i" "$i"; done
} > "$work/check86.nvx"
tests/win/check_netns.sh "$out/bench/startup_driver.exe" check "$work/check86.nvx" "$runs" |
  tr -d '\r' | tee "$work/figures"
python3 - "$work/figures" <<'PY'
import statistics, sys
rows = [dict(zip(l.split()[0::2], map(float, l.split()[1::2])))
        for l in open(sys.argv[1]) if l.startswith("check_ms")]
if not rows:
    sys.exit("no figures")
check = [r["check_ms"] for r in rows]
stall = [r["max_stall_ms"] for r in rows]
print("Checking 86 hosts under Wine, half of them silent, %d runs: median %.0f ms, longest %.0f ms;"
      " the event loop's longest pause: median %.0f ms, worst %.0f ms"
      % (len(rows), statistics.median(check), max(check), statistics.median(stall), max(stall)))
PY
