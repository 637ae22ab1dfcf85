#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds (default
# 30) from its corpus in fuzz/corpus/<target>. New inputs go to a scratch folder, not the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
bash scripts/deps.sh test
dir=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVZ_BUILD_FUZZ=ON -DVZ_BUILD_TESTS=OFF -DVZ_BUILD_APP=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"
shopt -s nullglob
for target in "$dir"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  scratch=$(mktemp -d)
  echo "== $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    "$scratch" "fuzz/corpus/$name" 2>&1 | tail -n 12
  rm -rf "$scratch"
done
