#!/usr/bin/env bash
# Builds the Windows programs on Debian: build-windows/norvex.exe and build-windows/norvex-check.exe,
# each one self-contained 64-bit file that needs only Windows' own DLLs, and beside them
# build-windows/licenses/ with the notices of the Qt they link.
#
# Usage: scripts/build-windows.sh [--qt-only] [--tests]
#   --qt-only  build (or find cached) the static Qt for Windows and print its prefix, nothing else
#   --tests    also build the test suites for Windows (scripts/test-windows.sh runs them under Wine)
#
# Everything the cross-build needs to know lives here: the mingw-w64 toolchain, the Qt options and
# the cache key. Debian ships no Qt for mingw-w64, so qtbase is built from Debian's own qt6-base
# source package (with Debian's patches, security fixes among them, applied) and kept in
# $NORVEX_CACHE (default ~/.cache/norvex), keyed by the Qt version and every option below. A build
# is moved into place only when it is complete, so an interrupted one is never taken for a
# finished one. The source comes through a private apt sources list with deb-src entries
# (written under the cache), so the machine's own apt configuration is never changed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. scripts/lib.sh

qt_only=0
with_tests=OFF
for arg in "$@"; do
  case $arg in
    --qt-only) qt_only=1 ;;
    --tests) with_tests=ON ;;
    *) echo "usage: scripts/build-windows.sh [--qt-only] [--tests]" >&2; exit 2 ;;
  esac
done

cache=${NORVEX_CACHE:-$HOME/.cache/norvex}
mkdir -p "$cache"
stamp() { date +%s; }

# --- What the cross-build needs from Debian ---------------------------------------------------
packages=(build-essential cmake ninja-build qt6-base-dev qt6-base-dev-tools dpkg-dev
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          libgtest-dev file)
ensure_packages "${packages[@]}"

# The Qt sources must match the host Qt whose tools (moc, rcc, uic) the cross-build borrows.
qt_deb_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
qt_version=${qt_deb_version%%+*}
qt_version=${qt_version%%-*}

# --- The mingw-w64 toolchain (posix threads: Qt needs std::thread) ----------------------------
toolchain_text='set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)'

# qtbase only, static, with only what the programs and their tests use: no module, widget, image
# format or model class norvex never shows or links is compiled. tabletevent is off because the
# dfsg tarball has no wintab.h; accessibility (UI Automation) stays on, and so do the tooltip,
# menu, message box, clipboard and tray icon classes. QMainWindow with its tool bar and
# QInputDialog and QTabWidget stay too: Qt's own compatibility code and the Windows style use them whatever
# the features say. -Os: the programs draw a few dozen widgets, so size beats speed, and the
# compiler is a third quicker on the heaviest sources (HarfBuzz).
qt_options=(-static -static-runtime -release -optimize-size -nomake examples -nomake tests
            -no-pkg-config -no-dbus -no-opengl -no-icu -no-zstd -qt-zlib -qt-pcre -qt-libpng
            -qt-harfbuzz -no-freetype -no-libjpeg -no-gif -no-ico)
unused_features=(sql network xml concurrent printsupport vulkan tabletevent
                 # widgets norvex never shows
                 calendarwidget datetimeedit dockwidget mdiarea statusbar sizegrip
                 splitter toolbox fontcombobox fontdialog colordialog filedialog
                 textbrowser wizard errormessage progressdialog splashscreen lcdnumber
                 dial keysequenceedit undoview columnview datawidgetmapper syntaxhighlighter
                 commandlinkbutton graphicsview tablewidget treewidget listwidget scroller
                 style-stylesheet style-fusion
                 # documents, images and models nothing here reads or writes
                 pdf textmarkdownreader textmarkdownwriter textodfwriter movie picture
                 imageformat_bmp imageformat_ppm imageformat_xbm undocommand undostack undogroup
                 sessionmanager filesystemmodel mimetype sharedmemory systemsemaphore
                 identityproxymodel transposeproxymodel
                 concatenatetablesproxymodel itemmodeltester)
for feature in "${unused_features[@]}"; do qt_options+=("-no-feature-$feature"); done
# Platform plugins that nothing loads: the direct2d one compiles the whole windows plugin a second
# time, and minimal is for tests Qt's own. Gui keeps the direct2d feature, which its DirectWrite
# font engine (the windows plugin's font database) is built under.
unused_plugins='/add_subdirectory(\(minimal\|direct2d\))/d'

gcc_version=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
key=$(printf '%s\n' "$qt_deb_version" "$gcc_version" "$toolchain_text" "${qt_options[@]}" \
              "$unused_plugins" |
      sha256sum | cut -c1-16)
qt_prefix=$cache/qt-$qt_version-mingw64-static-$key
qt_licenses=$cache/qt-licenses-$qt_deb_version
# Qt's own toolchain file names this one by its absolute path, so it lives beside the prefix.
toolchain=$cache/mingw-w64-$key.cmake
printf '%s\n' "$toolchain_text" > "$toolchain.tmp" && mv "$toolchain.tmp" "$toolchain"

# Unpacks Debian's qt6-base source of the installed version into $1 and prints its folder.
fetch_qt_source() {
  local work=$1
  mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/apt/parts"
  cat > "$work/apt/sources.list" <<'EOF'
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian-security bookworm-security main
EOF
  local apt_opts=(-o "Dir::Etc::SourceList=$work/apt/sources.list"
                  -o "Dir::Etc::SourceParts=$work/apt/parts"
                  -o "Dir::State::Lists=$work/apt/lists"
                  -o "Dir::Cache=$work/apt/cache"
                  -o "APT::Sandbox::User=root")
  apt-get "${apt_opts[@]}" update -qq >&2
  # dpkg-source applies Debian's patches as it unpacks.
  (cd "$work" && apt-get "${apt_opts[@]}" source -qq "qt6-base=$qt_deb_version" >&2)
  local src
  src=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
  [ -n "$src" ] || { echo "qt6-base source was not unpacked" >&2; exit 1; }
  echo "$src"
}

# The notices the Windows programs must carry: Qt's licence and those of the third-party code
# that this configuration of Qt Core, Gui and Widgets compiles in (each with its attribution).
gather_licenses() {
  local src=$1 staging=$qt_licenses.partial
  rm -rf "$staging"
  mkdir -p "$staging"
  cp "$src/LICENSES/LGPL-3.0-only.txt" "$src/LICENSES/GPL-3.0-only.txt" "$staging/"
  cp "$src/debian/copyright" "$staging/debian-copyright.txt"
  local part
  for part in 3rdparty/zlib 3rdparty/pcre2 3rdparty/libpng 3rdparty/harfbuzz-ng 3rdparty/md4c \
              3rdparty/double-conversion 3rdparty/tinycbor 3rdparty/sha1 3rdparty/sha3 \
              3rdparty/md4 3rdparty/md5 3rdparty/rfc6234 3rdparty/blake2 3rdparty/easing \
              3rdparty/icc 3rdparty/pixman corelib/text corelib/tools gui/painting gui/text; do
    local from=$src/src/$part to=$staging/${part//\//-}
    mkdir -p "$to"
    cp "$from/qt_attribution.json" "$to/"
    local file
    for file in $(grep -ho '"LicenseFile": *"[^"]*"' "$from/qt_attribution.json" |
                  sed 's/.*: *"\(.*\)"/\1/' | sort -u); do
      cp "$from/$file" "$to/"
    done
  done
  mv "$staging" "$qt_licenses"
}

# --- The static Qt for Windows, built once per key ---------------------------------------------
build_qt() {
  local work=$cache/work-$key
  rm -rf "$work"
  local src
  src=$(fetch_qt_source "$work")
  sed -i "$unused_plugins" "$src/src/plugins/platforms/CMakeLists.txt"
  mkdir -p "$work/build"
  # Installed under a staging root with the final prefix inside it, so every path Qt writes into
  # its files is already the final one; one rename then makes the build visible.
  local staging=$work/staging
  (cd "$work/build" &&
   "$src/configure" -prefix "$qt_prefix" -qt-host-path /usr "${qt_options[@]}" -- -G Ninja \
     -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
     -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake &&
   cmake --build . --parallel 2 &&
   DESTDIR=$staging cmake --install .)
  [ -d "$qt_licenses" ] || gather_licenses "$src"
  # What each object took, for weighing what is still built.
  cp "$work/build/.ninja_log" "$qt_prefix.ninja_log" 2>/dev/null || true
  mv "$staging$qt_prefix" "$qt_prefix"
  rm -rf "$work"
}

t0=$(stamp)
if [ -d "$qt_prefix" ]; then
  echo "== Qt $qt_version for Windows: cached in $qt_prefix"
else
  echo "== Qt $qt_version for Windows: building into $qt_prefix (about 30 minutes on 2 cores)"
  build_qt
fi
if [ ! -d "$qt_licenses" ]; then
  work=$cache/licenses-work
  rm -rf "$work"
  gather_licenses "$(fetch_qt_source "$work")"
  rm -rf "$work"
fi
echo "== Qt for Windows took $(( $(stamp) - t0 )) s"
if [ "$qt_only" = 1 ]; then
  echo "$qt_prefix"
  exit 0
fi

# --- The programs --------------------------------------------------------------------------------
t0=$(stamp)
out=$root/build-windows
native_check=()
# The Windows checker is compared with the Linux one where a Linux build has it.
[ -x "$root/build-test/norvex-check" ] &&
  native_check=(-DNORVEX_NATIVE_CHECK="$root/build-test/norvex-check")
"$qt_prefix/bin/qt-cmake" -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DNORVEX_WERROR=ON -DNORVEX_TESTS="$with_tests" -DCMAKE_CROSSCOMPILING_EMULATOR=wine \
  "${native_check[@]}" >/dev/null
cmake --build "$out" --parallel 2
rm -rf "$out/licenses"
cp -r "$qt_licenses" "$out/licenses"

# Each program must be one file: no DLL of Qt, the C++ runtime or the thread library beside it.
for program in norvex norvex-check norvex-probe norvex-hold; do
  exe=$out/$program.exe
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | sort -u | tr '\n' ' ')
  echo "$program.exe: $(stat -c %s "$exe") bytes; imports: $dlls"
  if grep -qiE 'qt6|libstdc|libgcc|winpthread|zlib|libpng|pcre' <<< "$dlls"; then
    echo "$program.exe needs a DLL that is not part of Windows" >&2
    exit 1
  fi
  if x86_64-w64-mingw32-objdump -h "$exe" | grep -q '\.debug'; then
    echo "$program.exe is not stripped" >&2
    exit 1
  fi
done
file "$out/norvex.exe" | grep -q 'PE32+ executable (GUI) x86-64' ||
  { echo "norvex.exe is not a 64-bit GUI program" >&2; exit 1; }
for program in norvex-check norvex-probe norvex-hold; do
  file "$out/$program.exe" | grep -q 'PE32+ executable (console) x86-64' ||
    { echo "$program.exe is not a 64-bit console program" >&2; exit 1; }
done
echo "== The Windows programs took $(( $(stamp) - t0 )) s: $out/norvex.exe, $out/norvex-check.exe"
