#!/usr/bin/env bash
# Checks what scripts/package.sh left in dist/: every release file, named with the project
# version, carrying it inside, with its licences, and a SHA256SUMS that verifies them all.
# Usage: package_dist_test.sh [DIST_DIR]   (default dist/)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
. "$source_dir/scripts/lib.sh"
dist=${1:-$source_dir/dist}
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in dpkg-deb msiinfo unzip sha256sum strings; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
version=$(norvex_version)
[ -n "$version" ] || fail "no project version"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

deb=$dist/norvex_${version}_amd64.deb
msi=$dist/norvex-$version-windows-x64.msi
zip=$dist/norvex-$version-windows-x64-portable.zip
src=$dist/norvex-$version-source.tar.gz
expected=$(printf '%s\n' "$deb" "$msi" "$zip" "$src" "$dist/SHA256SUMS" | xargs -n1 basename | sort)
actual=$(ls "$dist" | sort)
[ "$actual" = "$expected" ] || fail "dist/ holds ${actual//$'\n'/ }; expected ${expected//$'\n'/ }"

# Every release file is listed and verifies; a file changed after packaging does not.
listed=$(awk '{ print $2 }' "$dist/SHA256SUMS" | sort)
[ "$listed" = "$(grep -vx SHA256SUMS <<<"$expected")" ] || fail "SHA256SUMS lists: $listed"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not verify"

[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the .deb's version"

property() { msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' -v p="$1" '$1 == p { print $2 }'; }
[ "$(property ProductVersion)" = "$version" ] || fail "the MSI's ProductVersion: $(property ProductVersion)"
# Without the project's UpgradeCode a new version would install beside the old, not over it.
[ "$(property UpgradeCode)" = "{$norvex_upgrade_code}" ] || fail "the MSI's UpgradeCode"
[ "$(property Manufacturer)" = "norvex developers" ] || fail "the MSI's publisher"

unzip -q "$zip" -d "$scratch/zip"
top=$scratch/zip/norvex-$version
[ "$(ls "$scratch/zip")" = "norvex-$version" ] || fail "the zip's top folder is not norvex-$version"
for f in norvex.exe norvex-check.exe norvex-probe.exe norvex-hold.exe norvex.nvx README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt; do
  [ -f "$top/$f" ] || fail "the zip lacks $f"
done
[ -n "$(ls "$top/licenses")" ] || fail "the zip carries no third-party licence texts"
grep -q 'Copyright (c) .* norvex developers' "$top/LICENSE.txt" || fail "LICENSE.txt"
grep -q $'\r$' "$top/README.txt" || fail "README.txt lacks Windows line ends"
grep -q 'LGPL-3.0' "$top/THIRD-PARTY-NOTICES.txt" || fail "the notices do not name Qt's licence"
grep -qF "norvex-$version-source.tar.gz" "$top/THIRD-PARTY-NOTICES.txt" \
  || fail "the notices do not say where the source is"
for program in norvex norvex-check; do
  strings -el "$top/$program.exe" | grep -qx "$version" \
    || fail "$program.exe's version information does not say $version"
done

tar -xzf "$src" -C "$scratch" "norvex-$version/CMakeLists.txt" "norvex-$version/LICENSE" \
  "norvex-$version/scripts/build-windows.sh" || fail "the source archive lacks the build files"
echo "dist/ holds every release file of $version"
