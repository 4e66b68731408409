#!/usr/bin/env bash
# Builds the benchmarks (Release, the program's own flags) and runs them all: bench/run.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
scripts/install-deps.sh test
ensure_packages libbenchmark-dev
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DNORVEX_BENCH=ON -DNORVEX_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target startup_driver load_bench terminal-command
# The X11 figures run on a private Xvfb, stopped however the run ends.
trap stop_xvfb EXIT
start_xvfb 1280x1024x24
NORVEX_BENCH_DISPLAY=$DISPLAY python3 bench/run.py build-bench "${1:-20}"
