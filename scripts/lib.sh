# Helpers the scripts share; sourced, never run.

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

# Starts Xvfb (screen WxHxD) on the first free display from :90 and makes a fresh 64-bit Wine
# prefix in folder $2; exports DISPLAY and WINEPREFIX. stop_wine_display ends both again.
start_wine_display() {
  local screen=$1
  wine_scratch=$2
  local display=90
  while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do
    display=$((display + 1))
  done
  Xvfb :$display -screen 0 "$screen" -nolisten tcp >/dev/null 2>&1 &
  wine_xvfb_pid=$!
  local _
  for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$display ] && break; sleep 0.1; done
  [ -e /tmp/.X11-unix/X$display ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=:$display WINEPREFIX=$wine_scratch/prefix WINEARCH=win64 WINEDEBUG=-all
  # No Mono or Gecko: nothing here needs them, and their installers would ask.
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
  wineserver -w
}

stop_wine_display() {
  [ -n "${wine_scratch:-}" ] && WINEPREFIX=$wine_scratch/prefix wineserver -k 2>/dev/null
  [ -n "${wine_xvfb_pid:-}" ] && kill "$wine_xvfb_pid" 2>/dev/null
  return 0
}
