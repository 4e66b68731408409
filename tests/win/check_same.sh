#!/usr/bin/env bash
# Runs the Linux and the Windows norvex-check on every list of the suite, from the same folder
# with the same relative names, and fails on any difference in output or exit status. Windows
# ends its lines with CR LF; that is the only difference allowed.
# Usage: check_same.sh LINUX_CHECK WINDOWS_CHECK_EXE SOURCE_DIR
set -uo pipefail
linux=$1
windows=$2
cd "$3"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/folder"

lists=(examples/norvex.nvx fuzz/corpus/*.nvx)
# Failures of every kind: a missing file, a folder, an empty name.
names=("${lists[@]}" missing.nvx "$scratch/folder")
compared=0 differ=0
for name in "${names[@]}"; do
  expected=$("$linux" "$name" 2>&1); expected_status=$?
  actual=$(wine "$windows" "$name" 2>&1 | tr -d '\r'); actual_status=${PIPESTATUS[0]}
  compared=$((compared + 1))
  if [ "$expected" != "$actual" ] || [ "$expected_status" != "$actual_status" ]; then
    differ=$((differ + 1))
    echo "DIFFERS: $name (exit $expected_status on Linux, $actual_status on Windows)"
    diff <(echo "$expected") <(echo "$actual") | head -n 20
  fi
done
echo "$compared lists compared, $differ differ"
[ "$compared" -gt 10 ] && [ "$differ" -eq 0 ]
