#!/usr/bin/env bash
# Installs what is missing, builds norvex and starts it on the bundled example list.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVEX_TESTS=OFF
cmake --build build -j2 --target norvex
exec build/norvex examples/norvex.nvx
