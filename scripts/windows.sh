#!/usr/bin/env bash
# Builds Veldrin Zip for 64-bit Windows on Debian with mingw-w64 and leaves in build/windows/:
# vzip.exe, veldrin-zip.exe, the installer veldrin-zip-VERSION-setup.exe and a zip of the two
# programs. Installs what it needs first (Debian packages; root or sudo). Safe to run again: the
# method libraries built from Debian's sources are kept in build/windows/deps.
# Usage: bash scripts/windows.sh [test]   (with "test": also runs the tests under Wine)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh windows
bash scripts/windows-deps.sh build/windows/deps
out=build/windows
tree=$out/tree
cmake -S . -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DVZ_WINDOWS_DEPS="$PWD/$out/deps" >/dev/null
cmake --build "$tree"
version=$(sed -n 's/^project(VeldrinZip VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
programs=("$tree/cli/vzip.exe")
[ -f "$tree/app/win32/veldrin-zip.exe" ] && programs+=("$tree/app/win32/veldrin-zip.exe")
for program in "${programs[@]}"; do
  x86_64-w64-mingw32-strip -o "$out/$(basename "$program")" "$program"
done
rm -f "$out/veldrin-zip-$version-windows-x64.zip"
(cd "$out" && zip -q -9 "veldrin-zip-$version-windows-x64.zip" ./*.exe -x "*setup.exe")
if [ -f "$out/veldrin-zip.exe" ]; then
  makensis -V2 -DVERSION="$version" -DSRCDIR="$PWD/$out" \
    -DOUTFILE="$PWD/$out/veldrin-zip-$version-setup.exe" packaging/windows/veldrin-zip.nsi
fi
ls -l "$out"/*.exe "$out"/*.zip
if [ "${1:-}" = test ]; then
  bash scripts/windows-test.sh "$tree"
  bash packaging/windows/check-installer.sh "$out/veldrin-zip-$version-setup.exe"
  bash tests/app/win32/screenshots.sh "$tree" build/artifacts/windows
fi
