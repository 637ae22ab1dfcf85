#!/usr/bin/env bash
# Writes app/win32/veldrin-zip.ico, the icon Explorer shows for the program, from the window's own
# drawing of it. Run after changing that drawing (a test of the Windows build says so); needs the
# Windows build tree (bash scripts/windows.sh) and Wine.
set -euo pipefail
cd "$(dirname "$0")/../.."
tree=${1:-build/windows/tree}
cmake --build "$tree" --target vz_win32_face_tests
WINEPREFIX=$(mktemp -d /tmp/vz-wine-XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
VZ_WRITE_ICON=$(winepath -w "$PWD/app/win32/veldrin-zip.ico" 2>/dev/null) \
  wine "$tree/tests/app/win32/vz_win32_face_tests.exe" \
  --gtest_filter=Win32Pictures.TheIconFileIsTheDrawnIcon </dev/null
cmake --build "$tree"
