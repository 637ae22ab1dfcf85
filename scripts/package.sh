#!/usr/bin/env bash
# Builds the Debian package of veldrin-zip and vzip in build/package/. Install it with
#   sudo apt-get install ./build/package/veldrin-zip_*.deb
# which also installs the Qt and compression libraries it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVZ_BUILD_TESTS=OFF >/dev/null
cmake --build build/release
mkdir -p build/package
(cd build/release && cpack -G DEB -B "$PWD/../package" >/dev/null)
rm -rf build/package/_CPack_Packages
ls build/package/veldrin-zip_*.deb
