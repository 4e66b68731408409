#!/usr/bin/env bash
# Remakes docs/norvex-window.png: the window for the example list, drawn headless.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build >/dev/null
cmake --build build -j2 --target norvex-screenshot
QT_QPA_PLATFORM=offscreen build/norvex-screenshot examples/norvex.nvx docs/norvex-window.png
echo "wrote docs/norvex-window.png"
