#!/usr/bin/env bash
# Builds Veldrin Zip in release mode and runs it. Arguments are passed to vzip.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVZ_BUILD_TESTS=OFF >/dev/null
cmake --build build/release
if [ $# -eq 0 ]; then set -- --help; fi
exec build/release/cli/vzip "$@"
