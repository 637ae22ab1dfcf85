#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds (default
# 120) from its corpus in fuzz/corpus/<target>. New inputs go to a scratch folder, not the
# repository. Every target runs even when an earlier one fails; each gets a PASS or FAIL line, and
# the script exits non-zero at the end when any failed. The inputs that made a target fail are kept
# in build/fuzz/artifacts/<target>/.
# Usage: scripts/fuzz.sh [seconds per target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [seconds per target]" >&2
  exit 2
fi
bash scripts/deps.sh test
dir=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVZ_BUILD_FUZZ=ON -DVZ_BUILD_TESTS=OFF -DVZ_BUILD_APP=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"
shopt -s nullglob
results=()
failed=0
for target in "$dir"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  scratch=$(mktemp -d)
  artifacts="$dir/artifacts/$name"
  mkdir -p "$artifacts"
  echo "== $name for ${seconds}s"
  status=0
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$scratch" "fuzz/corpus/$name" >"$scratch.log" 2>&1 || status=$?
  tail -n 12 "$scratch.log"
  rm -rf "$scratch" "$scratch.log"
  if [ "$status" -eq 0 ]; then
    results+=("PASS $name")
  else
    results+=("FAIL $name (exit $status; inputs in $artifacts)")
    failed=1
  fi
done
echo "== fuzzing results (${seconds}s per target)"
printf '%s\n' "${results[@]}"
exit "$failed"
