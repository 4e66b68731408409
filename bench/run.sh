#!/usr/bin/env bash
# Builds the benchmarks (Release, the program's own flags) and runs them all: bench/run.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
scripts/install-deps.sh test
ensure_packages libbenchmark-dev
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DNORVEX_BENCH=ON -DNORVEX_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target startup_driver load_bench history_bench terminal-command
# The X11 figures run on a private Xvfb, stopped however the run ends.
trap stop_xvfb EXIT
start_xvfb 1280x1024x24
NORVEX_BENCH_DISPLAY=$DISPLAY python3 bench/run.py build-bench "${1:-20}"

# The host checks: as root in a network namespace of their own, with the real fping and ping
# (nothing leaves it); elsewhere with the bench's stand-ins, which send nothing.
if [ "$(id -u)" = 0 ] && unshare --net /bin/true 2>/dev/null; then
  unshare --net -- python3 bench/run.py --checks --netns build-bench "${1:-20}"
else
  python3 bench/run.py --checks build-bench "${1:-20}"
fi

# An idle window with three ping windows open: every system call it makes in 8 seconds, once the
# terminals' early-exit windows have passed. Nothing should wake it.
ensure_packages strace
idle_list=$(mktemp)
printf '[LIST]\r\na=127.0.0.1\r\nb=127.0.0.2\r\nc=127.0.0.3\r\n' > "$idle_list"
idle_out=$(mktemp)
QT_QPA_PLATFORM=offscreen build-bench/bench/startup_driver idle "$idle_list" 12 > "$idle_out" 2>/dev/null &
sleep 3
pid=$(sed -n 's/^pid \([0-9]*\):.*/\1/p' "$idle_out")
calls=$(timeout 8 strace -f -p "$pid" -o /dev/stdout 2>/dev/null | grep -vc 'restart_syscall\|detached' || true)
wait
rm -f "$idle_list" "$idle_out"
echo
echo "Idle with three ping windows open: $calls system calls in 8 s (0 expected)"
