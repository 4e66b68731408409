#!/usr/bin/env bash
# Makes every release file into dist/, from a clean checkout, in one command:
#   norvex_VERSION_amd64.deb                 the Debian package (checked with lintian)
#   norvex-VERSION-windows-x64.msi           the Windows installer, for administrators
#   norvex-VERSION-windows-x64-portable.zip  the Windows programs for a user who may not install
#   norvex-VERSION-source.tar.gz             the source these were built from (the LGPL asks it)
#   SHA256SUMS                               a checksum for each of the above
# VERSION is the CMake project version. Installs with apt whatever it needs and is missing.
# NORVEX_WINDOWS_DIR=DIR packages the Windows programs already in DIR (norvex.exe,
# norvex-check.exe, licenses/) instead of building them with scripts/build-windows.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. scripts/lib.sh

packages=(build-essential cmake qt6-base-dev scdoc dpkg-dev file lintian wixl msitools zip git)
ensure_packages "${packages[@]}"

version=$(norvex_version)
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "no X.Y.Z version in CMakeLists.txt" >&2; exit 1; }
changelog_version=$(sed -n '1s/^norvex (\([^)]*\)).*/\1/p' packaging/debian/changelog)
if [ "$changelog_version" != "$version" ]; then
  echo "packaging/debian/changelog's latest entry is $changelog_version, not $version:" \
       "add an entry for this release first" >&2
  exit 1
fi
# Every file's time stamp in the packages is the last commit's, so a rebuild gives the same bytes.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH
echo "== norvex $version"

dist=$root/dist
rm -rf "$dist"
mkdir -p "$dist"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== The Debian package"
# Debian's own compiler flags (hardening included), as a package built by Debian would have.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
build=$root/build-release
rm -rf "$build"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS=$(dpkg-buildflags --get LDFLAGS) \
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVEX_TESTS=OFF >/dev/null
cmake --build "$build" -j2
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >/dev/null)
deb=$(ls "$work"/deb/norvex_"${version}"_*.deb)
lintian --fail-on error,warning "$deb"
cp "$deb" "$dist/"

echo "== The Windows programs"
windows=${NORVEX_WINDOWS_DIR:-}
if [ -z "$windows" ]; then
  scripts/build-windows.sh
  windows=$root/build-windows
fi
for f in norvex.exe norvex-check.exe norvex-probe.exe norvex-hold.exe licenses; do
  [ -e "$windows/$f" ] || { echo "the Windows build left no $windows/$f" >&2; exit 1; }
done
packaging/windows/make-docs.sh "$version" "$windows/licenses" "$work/docs"

echo "== The Windows installer"
packaging/windows/build-msi.sh "$version" "$windows" "$work/docs" \
  "$dist/norvex-$version-windows-x64.msi"

echo "== The portable Windows zip"
portable=$work/zip/norvex-$version
mkdir -p "$portable"
cp "$windows/norvex.exe" "$windows/norvex-check.exe" "$windows/norvex-probe.exe" \
   "$windows/norvex-hold.exe" "$portable/"
sed 's/\r$//; s/$/\r/' examples/norvex.nvx > "$portable/norvex.nvx"
cp -r "$work/docs/." "$portable/"
find "$work/zip" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$work/zip" && find "norvex-$version" | LC_ALL=C sort |
   zip -q -X -@ "$dist/norvex-$version-windows-x64-portable.zip")

echo "== The source"
# Exactly the files these packages were built from: tracked ones and new ones not ignored.
git ls-files -z --cached --others --exclude-standard -- . ':!dist' | LC_ALL=C sort -z |
  tar --null -T - --transform "s,^,norvex-$version/," --mtime="@$SOURCE_DATE_EPOCH" \
      --owner=0 --group=0 --numeric-owner --sort=name -cf - | gzip -9n \
  > "$dist/norvex-$version-source.tar.gz"

(cd "$dist" && sha256sum -- * > SHA256SUMS)
echo "== dist/"
ls -l "$dist"
