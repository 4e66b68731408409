#!/usr/bin/env bash
# Installs the Windows installer under Wine the way an administrator would, and checks what it
# leaves: a silent install puts the programs, the Start-menu shortcut, the .nvx file type and an
# uninstall entry in place; opening a list through the file type starts the installed norvex.exe
# with it; the next version upgrades in place, leaving one entry; an older one is refused; a
# silent uninstall leaves the prefix's files and registry as they were before.
# Usage: msi_wine_test.sh [PROGRAM_DIR [RELEASE_MSI]]
#   PROGRAM_DIR: the Windows programs (default build-windows/, made by scripts/build-windows.sh);
#   RELEASE_MSI: the installer to test as this version (default: one built here from PROGRAM_DIR,
#   as scripts/package.sh builds it). The next version's installer is always built here.
# Every stage that cannot run fails the test: none passes by being skipped.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
. "$source_dir/scripts/lib.sh"
programs=${1:-$source_dir/build-windows}
release_msi=${2:-}
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*"; }

for tool in wine wineserver wineboot wixl Xvfb x86_64-w64-mingw32-gcc-posix; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (Debian: wine wine64 wixl xvfb g++-mingw-w64-x86-64-posix)"
done
for f in norvex.exe norvex-check.exe norvex-probe.exe norvex-hold.exe licenses; do
  [ -e "$programs/$f" ] || fail "$programs/$f is missing: run scripts/build-windows.sh first"
done

version=$(norvex_version)
[[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] || fail "no X.Y.Z project version: $version"
next=${BASH_REMATCH[1]}.${BASH_REMATCH[2]}.$((BASH_REMATCH[3] + 1))

scratch=$(mktemp -d)
cleanup() {
  stop_wine_display
  if [ -n "${NORVEX_KEEP_SCRATCH:-}" ]; then echo "kept $scratch"; else rm -rf "$scratch"; fi
}
trap cleanup EXIT

step "building the installers for $version and $next"
"$source_dir/packaging/windows/make-docs.sh" "$version" "$programs/licenses" "$scratch/docs"
for v in "$version" "$next"; do
  "$source_dir/packaging/windows/build-msi.sh" "$v" "$programs" "$scratch/docs" \
    "$scratch/norvex-$v.msi" >/dev/null
done
if [ -n "$release_msi" ]; then
  [ -f "$release_msi" ] || fail "no installer $release_msi"
  cp "$release_msi" "$scratch/norvex-$version.msi"
fi
x86_64-w64-mingw32-gcc-posix -municode -O2 "$source_dir/tests/msi_window_probe.c" \
  -o "$scratch/probe.exe"

step "a fresh Wine prefix on a private X display"
# No menu entries or file types written outside the prefix.
start_wine_display 1024x768x24 "$scratch" "winemenubuilder.exe=d" || fail "no Wine display"

w() { wine "$@" 2>/dev/null | tr -d '\r'; }
# The data of one registry value, or nothing.
regval() {
  local which=(/ve)
  [ $# -gt 1 ] && which=(/v "$2")
  w reg query "$1" "${which[@]}" 2>/dev/null | sed -n 's/^ .*REG_[A-Z_]* *//p' | head -n 1
}
# Files under drive_c, and every registry key and value as "hive [key] value" lines (timestamps
# left out). wineserver writes the registry when it exits, so it is made to exit first.
# Left out as well, because they are not the installer's doing:
# - the hardware Wine enumerates afresh at every start (display adapters, monitors, network cards);
# - Windows Installer's own folder and registry keys, which exist on every Windows machine, as long
#   as they are empty: anything an install leaves inside them still counts.
snapshot() {
  wineserver -w
  (cd "$WINEPREFIX/drive_c" && find . | LC_ALL=C sort) | grep -vx './windows/Installer' > "$1.files"
  for hive in system user; do
    awk -v hive="$hive" '
      /^\[/ { key = $0; sub(/\] [0-9]+$/, "]", key); print hive, key; next }
      /^(#|;;|WINE REGISTRY|$)/ { next }
      { print hive, key, $0 }' "$WINEPREFIX/$hive.reg"
  done | grep -v -e '^system \[System\\\\CurrentControlSet\\\\Control\\\\Class\\\\' \
                 -e '^system \[System\\\\CurrentControlSet\\\\Enum\\\\' \
                 -e '^system \[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\NetworkCards' \
    | grep -vxF -f "$scratch/installer-keys" > "$1.reg"
}
cat > "$scratch/installer-keys" <<'KEYS'
system [Software\\Classes\\Installer\\Features]
system [Software\\Classes\\Installer\\Products]
system [Software\\Classes\\Installer\\UpgradeCodes]
system [Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes]
system [Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components]
system [Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products]
KEYS
# The uninstall entries whose display name is norvex, one key per line.
uninstall_entries() {
  w reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s \
    | awk '/^HKEY/ { key = $0 } $1 == "DisplayName" && $3 == "norvex" && NF == 3 { print key }'
}

snapshot "$scratch/before"
msi1=$(winepath -w "$scratch/norvex-$version.msi")
msi2=$(winepath -w "$scratch/norvex-$next.msi")

step "silent install of $version"
wine msiexec /i "$msi1" /qn || fail "msiexec /i exited with $?"
dir="$WINEPREFIX/drive_c/Program Files/norvex"
for f in norvex.exe norvex-check.exe norvex-probe.exe norvex-hold.exe norvex.nvx LICENSE.txt README.txt THIRD-PARTY-NOTICES.txt; do
  [ -f "$dir/$f" ] || fail "not installed: Program Files/norvex/$f"
done
cmp -s "$dir/norvex.exe" "$programs/norvex.exe" || fail "installed norvex.exe differs from the build"
[ -n "$(ls "$dir/licenses")" ] || fail "no licence notices installed"
# Windows puts a per-machine install's shortcut in the all-users Start menu; Wine 8 resolves
# ProgramMenuFolder to the installing user's whatever ALLUSERS says. Either is a Start menu.
shortcut=""
for f in "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/norvex.lnk" \
         "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/norvex.lnk; do
  [ -f "$f" ] && shortcut=$f
done
[ -n "$shortcut" ] || fail "no Start-menu shortcut"
grep -qaF 'C:\Program Files\norvex\norvex.exe' "$shortcut" || fail "the shortcut does not start norvex.exe"
[ "$(regval 'HKCR\.nvx')" = norvex.List ] || fail ".nvx is not a norvex list: $(regval 'HKCR\.nvx')"
command=$(regval 'HKCR\norvex.List\shell\open\command')
[ "$command" = '"C:\Program Files\norvex\norvex.exe" "%1"' ] || fail "open command: $command"
icon=$(regval 'HKCR\norvex.List\DefaultIcon')
[ "$icon" = '"C:\Program Files\norvex\norvex.exe",0' ] || fail "file type icon: $icon"
[ "$(regval 'HKCR\norvex.List')" = "norvex host list" ] || fail "file type description"
entries=$(uninstall_entries)
[ "$(grep -c . <<<"$entries")" = 1 ] || fail "expected one uninstall entry, found: $entries"
entry=$entries
[ "$(regval "$entry" DisplayVersion)" = "$version" ] || fail "uninstall entry's version"
[ "$(regval "$entry" Publisher)" = "norvex developers" ] || fail "uninstall entry's publisher"
location=$(regval "$entry" InstallLocation)
[ "$location" = 'C:\Program Files\norvex\' ] || fail "uninstall entry's folder: $location"

# The comparison at the end must be able to see what an install leaves.
snapshot "$scratch/installed"
grep -q 'norvex/norvex.exe$' "$scratch/installed.files" || fail "the snapshot misses installed files"
grep -qF 'system [Software\\Classes\\.nvx]' "$scratch/installed.reg" \
  || fail "the snapshot misses the file type"

step "the installed norvex-check answers"
out=$(w "C:\\Program Files\\norvex\\norvex-check.exe" "C:\\Program Files\\norvex\\norvex.nvx") \
  || fail "norvex-check.exe exited with $?: $out"
[[ $out == *"title: norvex by Brastel v1.1  [C:\\Program Files\\norvex\\norvex.nvx]"* ]] \
  || fail "norvex-check.exe: $out"

step "the installed norvex-probe connects to a loopback listener, and is refused by a closed port"
exec {listener}< <(exec python3 -c '
import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8)
print(s.getsockname()[1], flush=True); time.sleep(60)')
listener_pid=$!
read -r -t 10 port <&"$listener" || fail "the loopback listener did not start"
out=$(w "C:\\Program Files\\norvex\\norvex-probe.exe" -c 2 -i 200 127.0.0.1 "$port") \
  || fail "norvex-probe.exe exited with $?: $out"
[[ $out == *"connected to 127.0.0.1 port $port: time="*"2 tries, 2 connected, 0 failed"* ]] \
  || fail "norvex-probe.exe: $out"
kill "$listener_pid"
exec {listener}<&-
set +e
out=$(w "C:\\Program Files\\norvex\\norvex-probe.exe" -c 1 127.0.0.1 "$port")
status=$?
set -e
[ "$status" -eq 1 ] && [[ $out == *"refused by 127.0.0.1 port $port"* ]] \
  || fail "norvex-probe.exe on a closed port ($status): $out"

step "opening a list through its file type"
lists="$WINEPREFIX/drive_c/users/Public/my lists"
mkdir -p "$lists"
cp "$source_dir/examples/norvex.nvx" "$lists/office hosts.nvx"
wine cmd /c start "" 'C:\users\Public\my lists\office hosts.nvx' || fail "start exited with $?"
out=$(wine "$(winepath -w "$scratch/probe.exe")" "norvex by Brastel" 60 | tr -d '\r') \
  || fail "no norvex window for the opened list: $out"
[[ $out == *'title: norvex by Brastel v1.1  [C:\users\Public\my lists\office hosts.nvx]'* ]] \
  || fail "window title: $out"
[[ ${out,,} == *'program: c:\program files\norvex\norvex.exe'* ]] || fail "not the installed program: $out"
echo "$out"
rm -rf "$lists"

step "upgrading in place to $next"
wine msiexec /i "$msi2" /qn || fail "msiexec /i of $next exited with $?"
entries=$(uninstall_entries)
[ "$(grep -c . <<<"$entries")" = 1 ] || fail "expected one uninstall entry after the upgrade: $entries"
[ "$entries" != "$entry" ] || fail "the upgrade kept the old version's product code"
entry=$entries
[ "$(regval "$entry" DisplayVersion)" = "$next" ] || fail "the entry is not $next after upgrade"
for f in "$dir/norvex.exe" "$dir/norvex-check.exe" "$shortcut"; do
  [ -f "$f" ] || fail "the upgrade lost $f"
done
[ "$(regval 'HKCR\.nvx')" = norvex.List ] || fail "the upgrade lost the file type"

step "an older version is refused"
if wine msiexec /i "$msi1" /qn; then fail "installing $version over $next succeeded"; fi
[ "$(regval "$entry" DisplayVersion)" = "$next" ] || fail "the downgrade attempt changed the entry"

step "silent uninstall"
wine msiexec /x "$msi2" /qn || fail "msiexec /x exited with $?"
snapshot "$scratch/after"
diff -u "$scratch/before.files" "$scratch/after.files" || fail "uninstall left files behind"
diff -u "$scratch/before.reg" "$scratch/after.reg" || fail "uninstall left registry entries"

step "a folder chosen at install time is kept by the upgrade and emptied by the uninstall"
wine msiexec /i "$msi1" /qn 'INSTALLDIR=C:\Tools\norvex\' || fail "msiexec /i INSTALLDIR= exited with $?"
chosen="$WINEPREFIX/drive_c/Tools/norvex"
[ -f "$chosen/norvex.exe" ] || fail "INSTALLDIR was not honoured"
[ ! -e "$dir" ] || fail "INSTALLDIR given, yet Program Files/norvex was made"
wine msiexec /i "$msi2" /qn || fail "msiexec /i of $next over C:\Tools exited with $?"
[ -f "$chosen/norvex.exe" ] && [ ! -e "$dir" ] || fail "the upgrade moved the programs"
command=$(regval 'HKCR\norvex.List\shell\open\command')
[ "$command" = '"C:\Tools\norvex\norvex.exe" "%1"' ] || fail "open command after upgrade: $command"
wine msiexec /x "$msi2" /qn || fail "msiexec /x exited with $?"
[ ! -e "$chosen" ] || fail "uninstall left files in C:\Tools\norvex: $(find "$chosen")"
echo "the installer installs, opens lists, upgrades and uninstalls under Wine"
