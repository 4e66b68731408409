#!/usr/bin/env bash
# Builds the Windows programs and their tests (scripts/build-windows.sh --tests) and runs the
# suites under Wine on a private Xvfb display, in a Wine prefix of their own that is thrown away
# afterwards. Prints "N passed, N failed" at the end; exits non-zero when anything failed or
# could not run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
stamp() { date +%s; }

. scripts/lib.sh
ensure_packages wine wine64 xvfb xauth

scripts/build-windows.sh --tests

t0=$(stamp)
scratch=$(mktemp -d)
trap 'stop_wine_display; rm -rf "$scratch"' EXIT
start_wine_display 1280x1024x24 "$scratch"
export LC_ALL=C.UTF-8
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
