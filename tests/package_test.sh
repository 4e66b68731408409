#!/usr/bin/env bash
# Builds the .deb, checks it with lintian, unpacks it into a scratch root and runs what it
# installed.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >/dev/null)
deb=$(ls "$scratch"/out/norvex_*.deb)
fail() { echo "FAIL: $*"; exit 1; }

depends=$(dpkg-deb -f "$deb" Depends)
for needed in iputils-ping libqt6widgets6 libqt6gui6 libqt6core6; do
  [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
[[ $recommends == *x-terminal-emulator* ]] || fail "no terminal recommended"
[[ $recommends == *fping* ]] || fail "fping, which checks a list in one go, is not recommended"

# Debian's own checker: no error and no warning (its informational tags are not faults).
command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps.sh installs it)"
lintian_out=$scratch/lintian.txt
if ! lintian --fail-on error,warning "$deb" >"$lintian_out" 2>&1; then
  cat "$lintian_out"
  fail "lintian reports errors or warnings"
fi
grep -E '^[EW]: ' "$lintian_out" && fail "lintian printed errors or warnings"

root=$scratch/root
dpkg -x "$deb" "$root"
for f in usr/bin/norvex usr/bin/norvex-check usr/bin/norvex-probe usr/share/applications/org.norvex.norvex.desktop \
         usr/share/metainfo/org.norvex.norvex.metainfo.xml usr/share/mime/packages/norvex.xml \
         usr/share/icons/hicolor/32x32/apps/norvex.png usr/share/icons/hicolor/scalable/apps/norvex.svg \
         usr/share/man/man1/norvex.1.gz usr/share/man/man1/norvex-check.1.gz \
         usr/share/man/man1/norvex-probe.1.gz \
         usr/share/doc/norvex/copyright usr/share/doc/norvex/changelog.gz \
         usr/libexec/norvex/terminal-command; do
  [ -e "$root/$f" ] || fail "missing $f"
done
# A release whose changelog does not name it: the changelog was not brought up to date.
version=$(dpkg-deb -f "$deb" Version)
head=$(zcat "$root/usr/share/doc/norvex/changelog.gz" | head -n 1)
[[ $head == "norvex ($version) "* ]] || fail "changelog's latest entry is not $version: $head"
for program in usr/bin/norvex usr/bin/norvex-check usr/bin/norvex-probe \
               usr/libexec/norvex/terminal-command; do
  [[ $(file -b "$root/$program") == *", stripped"* ]] || fail "$program is not stripped"
done
# The installed helper runs the words it is given, hex-encoded, each ended by a NUL byte.
word=$(printf '/bin/echo\0helper runs\0' | od -An -tx1 | tr -d ' \n')
[ "$("$root/usr/libexec/norvex/terminal-command" "$word" </dev/null)" = "helper runs" ] \
  || fail "the installed terminal-command helper does not run its command"
zcat "$root/usr/share/man/man1/norvex-check.1.gz" | grep -q '^\.TH "norvex-check" "1"' \
  || fail "the norvex-check man page is not a compressed manual page"
cmp -s "$root/usr/share/icons/hicolor/32x32/apps/norvex.png" "$source/resources/norvex.png" \
  || fail "installed icon differs from the window icon"
desktop-file-validate "$root/usr/share/applications/org.norvex.norvex.desktop" || fail "desktop entry"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/org.norvex.norvex.metainfo.xml" \
  >/dev/null || fail "metainfo"

"$root/usr/bin/norvex-probe" --help | grep -q '^Usage: norvex-probe' || fail "norvex-probe --help"
# The installed checker reads the example list.
out=$("$root/usr/bin/norvex-check" "$source/examples/norvex.nvx") || fail "norvex-check failed"
[[ $out == *"title: norvex by Brastel v1.1  [$source/examples/norvex.nvx]"* ]] || fail "title: $out"
[[ $out == *'row 4: label "Another loopback", address "127.0.0.2", line 10'* ]] || fail "rows: $out"

# The installed program starts headless on it and keeps running until stopped.
set +e
QT_QPA_PLATFORM=offscreen timeout 3 "$root/usr/bin/norvex" "$source/examples/norvex.nvx"
status=$?
set -e
[ "$status" -eq 124 ] || fail "norvex exited with $status instead of running"
echo "package installs and runs"
