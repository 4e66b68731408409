#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the normal build (warnings as
# errors), the same suite under AddressSanitizer + UndefinedBehaviorSanitizer (leaks included),
# and a short libFuzzer run of the list parser. Set NORVEX_QUICK=1 to run the normal build only.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

passed=0
# Runs one CTest suite and adds its count to the summary printed at the end.
run_ctest() {
  local log
  log=$(mktemp)
  ctest --test-dir "$1" --output-on-failure -j2 | tee "$log"
  passed=$((passed + $(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log")))
  rm -f "$log"
}

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVEX_WERROR=ON
cmake --build build-test -j2
run_ctest build-test

if [ "${NORVEX_QUICK:-0}" = 1 ]; then
  echo "$passed passed, 0 failed"
  exit 0
fi

echo "== The suite under AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DNORVEX_WERROR=ON -DNORVEX_SANITIZE=ON
cmake --build build-asan -j2
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1 UBSAN_OPTIONS=print_stacktrace=1
run_ctest build-asan
unset ASAN_OPTIONS UBSAN_OPTIONS

echo "== A short fuzz run of the list parser =="
CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVEX_FUZZ=ON \
  -DNORVEX_TESTS=OFF
cmake --build build-fuzz -j2 --target list_fuzzer
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
cp fuzz/corpus/* "$corpus"/
build-fuzz/fuzz/list_fuzzer -max_total_time="${NORVEX_FUZZ_SECONDS:-60}" -max_len=70000 \
  -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 "$corpus" 2>&1 | tail -n 8
passed=$((passed + 1))  # the fuzz run found nothing

echo "$passed passed, 0 failed"
