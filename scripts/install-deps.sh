#!/usr/bin/env bash
# Installs, with apt, whatever of the build, run and test dependencies is missing.
# Usage: scripts/install-deps.sh [run|test]   (default: test, which is a superset of run)
set -euo pipefail

what=${1:-test}
packages=(build-essential cmake qt6-base-dev xterm iputils-ping fping)
if [ "$what" = test ]; then
  packages+=(libgtest-dev xvfb xauth g++-mingw-w64-x86-64-posix clang-14 libclang-rt-14-dev
            desktop-file-utils appstream scdoc file lintian wine wine64 wixl msitools zip ninja-build
            dpkg-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
            binutils-mingw-w64-x86-64 iproute2 dbus dbus-x11 python3)
fi

. "$(dirname "$0")/lib.sh"
ensure_packages "${packages[@]}"
