#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the normal build (warnings as
# errors), the same suite under AddressSanitizer + UndefinedBehaviorSanitizer (leaks included),
# a short libFuzzer run of the list parser, and the Windows programs with their suites under Wine
# (the first run builds a static Qt for Windows, about 30 minutes; later runs reuse it), and the
# release packages made from them (scripts/package.sh) with their checks.
# NORVEX_QUICK=1 runs the normal build only; NORVEX_SKIP_WINDOWS=1 leaves out the Windows stage
# and says so in the summary, which then counts it as failed.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
# Everything this run starts carries the mark, so that what it leaves running can be found.
mark_run
start=$(date +%s)
stage_start=$start
timings=()
# Ends a stage: prints and keeps how long it took.
stage_done() {
  local now
  now=$(date +%s)
  timings+=("$(printf '%-34s %5d s' "$1" $((now - stage_start)))")
  echo "== $1 took $((now - stage_start)) s"
  stage_start=$now
}
summary() {
  echo "== Stage times"
  printf '  %s\n' "${timings[@]}"
  echo "  total                              $(( $(date +%s) - start )) s"
}

scripts/install-deps.sh test
stage_done "installing dependencies"

passed=0
failed=0
# Runs one CTest suite and adds its counts to the summary printed at the end.
run_ctest() {
  local log status
  log=$(mktemp)
  set +e
  ctest --test-dir "$1" --output-on-failure -j2 | tee "$log"
  status=${PIPESTATUS[0]}
  set -e
  local counts
  counts=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$log")
  rm -f "$log"
  if [ -z "$counts" ]; then
    failed=$((failed + 1))
  else
    failed=$((failed + ${counts% *}))
    passed=$((passed + ${counts#* } - ${counts% *}))
  fi
  return "$status"
}
finish() {
  # Every server a stage started (Xvfb, wineserver, a terminal) must have been stopped by it.
  local left
  left=$(leftover_processes)
  if [ -n "$left" ]; then
    echo "FAILED: this run left processes running: $left"
    failed=$((failed + 1))
    for p in $left; do p=${p##*(}; kill "${p%)}" 2>/dev/null || true; done
  else
    echo "No process of this run is left running."
    passed=$((passed + 1))
  fi
  summary
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVEX_WERROR=ON
cmake --build build-test -j2
run_ctest build-test || true
stage_done "Linux build and suite"

if [ "${NORVEX_QUICK:-0}" = 1 ]; then
  finish
  exit $?
fi

echo "== The suite under AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DNORVEX_WERROR=ON -DNORVEX_SANITIZE=ON
cmake --build build-asan -j2
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1 UBSAN_OPTIONS=print_stacktrace=1
run_ctest build-asan || true
unset ASAN_OPTIONS UBSAN_OPTIONS
stage_done "sanitizer build and suite"

echo "== A short fuzz run of the list parser =="
CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVEX_FUZZ=ON \
  -DNORVEX_TESTS=OFF
cmake --build build-fuzz -j2 --target list_fuzzer
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
cp fuzz/corpus/* "$corpus"/
if build-fuzz/fuzz/list_fuzzer -max_total_time="${NORVEX_FUZZ_SECONDS:-60}" -max_len=70000 \
     -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 "$corpus" > "$corpus.log" 2>&1; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi
tail -n 8 "$corpus.log"
rm -f "$corpus.log"
stage_done "fuzz run"

echo "== The Windows programs and their suites under Wine =="
if [ "${NORVEX_SKIP_WINDOWS:-0}" = 1 ]; then
  echo "The Windows stage was left out (NORVEX_SKIP_WINDOWS=1): counted as failed."
  failed=$((failed + 1))
else
  log=$(mktemp)
  set +e
  scripts/test-windows.sh 2>&1 | tee "$log"
  set -e
  counts=$(sed -n 's/^windows: \([0-9]*\) passed, \([0-9]*\) failed$/\1 \2/p' "$log" | tail -n 1)
  rm -f "$log"
  if [ -z "$counts" ]; then
    echo "The Windows stage did not finish."
    failed=$((failed + 1))
  else
    passed=$((passed + ${counts% *}))
    failed=$((failed + ${counts#* }))
  fi
fi
stage_done "Windows build and suites under Wine"

echo "== Release packages: lintian, the files in dist/, the MSI under Wine =="
# Packages the Windows programs the stage above built and tested.
version=$(norvex_version)
for check in "NORVEX_WINDOWS_DIR=build-windows scripts/package.sh" \
             "tests/package_dist_test.sh" \
             "tests/msi_wine_test.sh build-windows dist/norvex-$version-windows-x64.msi"; do
  echo "-- $check"
  if [ -x build-windows/norvex.exe ] && env $check; then
    passed=$((passed + 1))
  else
    echo "FAILED: $check"
    failed=$((failed + 1))
  fi
done
stage_done "release packages"

finish
