#!/usr/bin/env bash
# Builds the benchmarks (Release, the program's own flags) and runs them all: bench/run.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
dpkg-query -W -f='${Status}' libbenchmark-dev 2>/dev/null | grep -q 'install ok installed' ||
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libbenchmark-dev
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DNORVEX_BENCH=ON -DNORVEX_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target startup_driver load_bench
python3 bench/run.py build-bench "${1:-20}"
