#!/usr/bin/env bash
# Runs the Windows build's tests under Wine, in a throwaway prefix, then vzip.exe on archives other
# tools made on Linux.
# Usage: bash scripts/windows-test.sh [BUILD_TREE]   (default build/windows/tree, made by
# scripts/windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-build/windows/tree}
WINEPREFIX=$(mktemp -d /tmp/vz-wine-XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# One wine server for every test, started before them and detached from this script's output:
# otherwise each test waits for the server (and its services) of its own, and ctest for the
# pipes they hold.
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
ctest --test-dir "$tree" --output-on-failure -j2
wineserver -k >/dev/null 2>&1 || true
bash tests/cli/windows_interop.sh "$tree/cli/vzip.exe"
