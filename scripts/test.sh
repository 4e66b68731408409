#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVEX_WERROR=ON -DNORVEX_TESTS=ON
cmake --build build-test -j2
ctest --test-dir build-test --output-on-failure -j2
