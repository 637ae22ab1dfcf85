#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when some are missing. Safe to run again.
# Usage: scripts/deps.sh [test|windows]   (with "test": also the test oracles and sanitizer
# toolchain; with "windows": what the Windows build and its tests under Wine need)
set -euo pipefail
need=(cmake ninja-build g++ make pkg-config libbz2-dev liblzma-dev libzstd-dev libssl-dev
      qt6-base-dev   # Qt 6 Widgets for app/
      fonts-wine)    # the Tahoma the window is designed for (Wine's free one)
if [ "${1:-}" = test ]; then
  need+=(libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libdeflate-dev clang libclang-rt-14-dev
         zip unzip 7zip libarchive-tools python3 xz-utils zstd
         wine   # Wine writes the registry files that the registry reader is tested on
         xvfb xauth xdotool    # the window in a real X server, with real clicks, for screenshots
         dpkg-dev desktop-file-utils)  # the Debian package: its library dependencies, its entry
fi
if [ "${1:-}" = windows ]; then
  need=(cmake ninja-build make g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
        googletest   # GoogleTest's sources, built with the cross compiler
        dpkg-dev     # apt-get source unpacks the method libraries' source packages
        nsis zip wine xvfb xauth xdotool imagemagick)
fi
missing=()
for p in "${need[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
