#!/usr/bin/env bash
# Clicks three rows through the launcher with each real terminal Debian 12 packages, under an Xvfb
# of its own (tests/realterminal_test): the terminal found by its own name and through
# x-terminal-emulator, each once with no window of it open and once with the user's own window
# already open. One PASS/FAIL line per terminal, way and state; exits non-zero if any failed or
# could not run.
# Each run has PID and mount namespaces of its own: ending it ends every process the terminal left
# (servers and running instances too), and the real ping's file is covered there by a tripwire.
# Usage: scripts/real-terminals.sh [BUILD_DIR [NAME...]]   (as root: apt-get and the namespaces)
# NAMEs (gnome-terminal, kgx, ..., xterm) run only those terminals. Takes 9 to 13 minutes.
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$source_dir/build-term}")
only=" ${*:2} "
. "$source_dir/scripts/lib.sh"
began=$(date +%s)

# name, Debian package, program found by its own name, what Debian's x-terminal-emulator names
terminals=(
  "gnome-terminal gnome-terminal /usr/bin/gnome-terminal /usr/bin/gnome-terminal.wrapper"
  "kgx gnome-console /usr/bin/kgx /usr/bin/kgx"
  "konsole konsole /usr/bin/konsole /usr/bin/konsole"
  "xfce4-terminal xfce4-terminal /usr/bin/xfce4-terminal /usr/bin/xfce4-terminal.wrapper"
  "mate-terminal mate-terminal /usr/bin/mate-terminal /usr/bin/mate-terminal.wrapper"
  "tilix tilix /usr/bin/tilix /usr/bin/tilix.wrapper"
  "terminator terminator /usr/bin/terminator /usr/bin/terminator"
  "kitty kitty /usr/bin/kitty /usr/bin/kitty"
  "alacritty alacritty /usr/bin/alacritty /usr/bin/alacritty"
  "qterminal qterminal /usr/bin/qterminal /usr/bin/qterminal"
  "lxterminal lxterminal /usr/bin/lxterminal /usr/bin/lxterminal"
  "terminology terminology /usr/bin/terminology /usr/bin/terminology"
  # Not one of Debian's alternatives: a link the user made.
  "deepin-terminal deepin-terminal /usr/bin/deepin-terminal /usr/bin/deepin-terminal"
  "sakura sakura /usr/bin/sakura /usr/bin/sakura"
  "urxvt rxvt-unicode /usr/bin/urxvt /usr/bin/urxvt"
  "st stterm /usr/bin/st /usr/bin/st"
  "zutty zutty /usr/bin/zutty /usr/bin/zutty"
  "xterm xterm /usr/bin/xterm /usr/bin/xterm"
)
packages=(xvfb xauth xfonts-base dbus-x11 dbus xdotool util-linux)
for t in "${terminals[@]}"; do read -r _ package _ <<<"$t"; packages+=("$package"); done
ensure_packages "${packages[@]}" || { echo "FAIL: could not install ${packages[*]}"; exit 2; }
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target realterminal_test terminal-command >/dev/null ||
  { echo "FAIL: realterminal_test did not build in $build"; exit 2; }

scratch=$(mktemp -d /tmp/norvex-terminals.XXXXXX)
run=''
cleanup() {
  # The run's namespace ends with it, and every terminal process in it.
  [ -n "$run" ] && kill "$run" 2>/dev/null && wait "$run" 2>/dev/null
  stop_xvfb
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# -noreset: a server that resets whenever its last client leaves refuses the next one meanwhile.
start_xvfb 1920x1080x24 -noreset || { echo "FAIL: Xvfb did not start"; exit 2; }

# Bound over the real ping in each run: whatever looks ping up outside the fake PATH finds this.
cat >"$scratch/tripwire" <<EOF
#!/bin/sh
echo "\$*" >> '$scratch/real-ping-ran'
EOF
chmod +x "$scratch/tripwire"
mkdir -m 700 "$scratch/home"

# What a failed run printed, kept for a look afterwards.
logs=$build/real-terminals
rm -rf "$logs" && mkdir -p "$logs"
passed=0 failed=0
# run NAME PROGRAM LINK(empty: own name) OPEN(0 or 1)
run_one() {
  local way=own-name state=fresh runtime log status result
  [ -n "$3" ] && way=x-terminal-emulator
  [ "$4" = 1 ] && state=already-open
  runtime=$(mktemp -d "$scratch/runtime.XXXXXX")
  log=$scratch/log
  rm -f "$scratch/real-ping-ran"
  env -u WAYLAND_DISPLAY -u XDG_CURRENT_DESKTOP -u QT_QPA_PLATFORM -u DBUS_SESSION_BUS_ADDRESS \
    DISPLAY="$DISPLAY" HOME="$scratch/home" XDG_RUNTIME_DIR="$runtime" LC_ALL=C.UTF-8 \
    NORVEX_TERMINAL="$2" NORVEX_TERMINAL_LINK="$3" NORVEX_ALREADY_OPEN="$4" \
    timeout -k 5 180 unshare --pid --fork --kill-child --mount-proc \
    sh -c '[ ! -e /usr/bin/ping ] || mount --bind "$1" /usr/bin/ping || exit 97
           shift; exec dbus-run-session -- "$@"' \
    sh "$scratch/tripwire" "$build/tests/posix/realterminal_test" >"$log" 2>&1 &
  run=$!
  wait "$run"
  status=$?
  run=''
  result=$(sed -n 's/^norvex-result: //p' "$log")
  if [ -e "$scratch/real-ping-ran" ]; then
    status=98 result="the real ping's file ran: $(head -c 300 "$scratch/real-ping-ran")"
  fi
  if [ "$status" = 0 ] && [ -n "$result" ]; then
    passed=$((passed + 1))
    printf 'PASS %-16s %-20s %-13s %s\n' "$1" "$way" "$state" "$result"
  else
    failed=$((failed + 1))
    [ "$status" = 124 ] && result="timed out; $result"
    printf 'FAIL %-16s %-20s %-13s %s\n' "$1" "$way" "$state" "${result:-did not run (status $status)}"
    grep -E -A6 'Failure$' "$log" | grep -v -e '^--$' -e 'Failure$' | head -24 | sed 's/^/     /'
    cp "$log" "$logs/$1-$way-$state.log"
    echo "     whole output: $logs/$1-$way-$state.log"
  fi
  rm -rf "$runtime"
}

for t in "${terminals[@]}"; do
  read -r name _ program link <<<"$t"
  [ "$only" != "  " ] && [[ "$only" != *" $name "* ]] && continue
  for open in 0 1; do
    run_one "$name" "$program" "" "$open"
    run_one "$name" "$program" "$link" "$open"
  done
done
echo "NOT RUN foot: it opens its windows only in a Wayland session, and this display is X (Xvfb)"
echo "== $(( $(date +%s) - began )) s"
echo "$passed passed, $failed failed"
[ $((passed + failed)) -gt 0 ] || { echo "FAIL: no terminal is named${only% }"; exit 1; }
[ "$failed" = 0 ]
