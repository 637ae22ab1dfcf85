#!/usr/bin/env bash
# Builds Veldrin Zip in release mode and starts its window, or its command-line tool.
set -euo pipefail
cd "$(dirname "$0")/.."
usage() {
  cat <<'TEXT'
Usage: bash scripts/run.sh [ZIPFILE | FILE...]   the window (a zip to open, or files to list)
       bash scripts/run.sh vzip COMMAND ...      the command-line tool (vzip --help lists its commands)
TEXT
}
case "${1:-}" in
  -h | --help) usage; exit 0 ;;
esac
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVZ_BUILD_TESTS=OFF >/dev/null
cmake --build build/release
if [ "${1:-}" = vzip ]; then
  shift
  exec build/release/cli/vzip "$@"
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display here to show the window on; the command-line tool works without one: bash scripts/run.sh vzip --help" >&2
  exit 0
fi
exec build/release/app/veldrin-zip "$@"
