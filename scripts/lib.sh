# Helpers the scripts share; sourced, never run. Whatever starts a server here has a stop_ partner
# that every caller runs from its EXIT trap, so no run leaves a process behind.

norvex_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# The project version, from the one place it is written: project() in CMakeLists.txt.
norvex_version() {
  sed -n 's/^project(norvex VERSION \([0-9.]*\).*/\1/p' "$norvex_root/CMakeLists.txt"
}

# The Windows installer's UpgradeCode. It never changes: it is how a newer version finds the one
# it replaces, so that it installs over it instead of beside it.
norvex_upgrade_code=BC8A076D-FB73-469E-9314-525EE571813A

# Installs with apt whichever of the named Debian packages is not installed yet.
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Starts Xvfb with screen WxHxD (and any further Xvfb options) on a display no one uses and
# exports DISPLAY; stop_xvfb ends it.
start_xvfb() {
  local fd display
  exec {fd}<> <(:)
  Xvfb -displayfd "$fd" -nolisten tcp -screen 0 "$@" >/dev/null 2>&1 &
  norvex_xvfb_pid=$!
  if ! read -r -t 30 display <&"$fd"; then
    exec {fd}<&-
    echo "Xvfb did not start" >&2
    return 1
  fi
  exec {fd}<&-
  export DISPLAY=:$display
}

stop_xvfb() {
  if [ -n "${norvex_xvfb_pid:-}" ]; then
    kill "$norvex_xvfb_pid" 2>/dev/null || true
    wait "$norvex_xvfb_pid" 2>/dev/null || true
    norvex_xvfb_pid=
  fi
  return 0
}

# Starts Xvfb (screen WxHxD) and makes a fresh 64-bit Wine prefix in folder $2; exports DISPLAY,
# WINEPREFIX and WINEDLLOVERRIDES ($3: more overrides). stop_wine_display ends both again.
start_wine_display() {
  wine_scratch=$2
  start_xvfb "$1" || return 1
  # No Mono or Gecko: nothing here needs them, and their installers would ask.
  export WINEPREFIX=$wine_scratch/prefix WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=${3:+;$3}"
  wineboot -i >/dev/null 2>&1
  wineserver -w
}

stop_wine_display() {
  # A wineserver that has already ended makes -k fail: that must not keep Xvfb running.
  if [ -n "${wine_scratch:-}" ]; then
    WINEPREFIX=$wine_scratch/prefix wineserver -k 2>/dev/null || true
  fi
  stop_xvfb
}

# Marks every process a run starts, through the environment they inherit, so that what is left
# running at its end can be found: leftover_processes prints them as "name(pid)".
mark_run() {
  export NORVEX_RUN_MARK="norvex-run-$$-$RANDOM"
}

leftover_processes() {
  # Scanned by a shell without the mark, which skips this script and the subshell calling it.
  env -u NORVEX_RUN_MARK bash -c '
    for dir in /proc/[0-9]*; do
      pid=${dir#/proc/}
      [ "$pid" = "$2" ] || [ "$pid" = "$3" ] && continue
      { tr "\0" "\n" <"$dir/environ"; } 2>/dev/null | grep -qxF "NORVEX_RUN_MARK=$1" || continue
      printf "%s(%s) " "$(cat "$dir/comm" 2>/dev/null)" "$pid"
    done' leftover "$NORVEX_RUN_MARK" "$$" "$BASHPID"
}

# For the desktop pictures: a TCP listener on HOST PORT (loopback) that accepts every connection
# and closes it at once; its pid goes to listener_pid.
start_loopback_listener() {
  python3 -c '
import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind((sys.argv[1], int(sys.argv[2])))
s.listen(8)
while True:
    s.accept()[0].close()
' "$1" "$2" &
  listener_pid=$!
}

# Stops the given processes newest first, then the Xvfb of start_xvfb.
stop_started() {
  local i
  for ((i = $# ; i >= 1; i--)); do kill "${!i}" 2>/dev/null || true; done
  sleep 0.5
  stop_xvfb
}
