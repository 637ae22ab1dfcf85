#!/usr/bin/env bash
# Builds everything and runs every test. With VZ_SANITIZE=1 it builds and tests under
# AddressSanitizer and UndefinedBehaviorSanitizer in a separate folder; with VZ_SANITIZE=thread it
# builds the engine's test programs under ThreadSanitizer and runs the tests of work spread over
# threads (those named "Parallel").
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
jobs=$(nproc)
if [ "${VZ_SANITIZE:-0}" = thread ]; then
  dir=build/tsan
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVZ_SANITIZE_THREAD=ON \
    -DVZ_BUILD_APP=OFF -DVZ_BUILD_BENCH=OFF >/dev/null
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  # ThreadSanitizer cannot map its shadow memory beside some kernels' widest address randomisation;
  # without randomisation it always can. (The build runs the test programs to list their tests.)
  norandom=()
  if setarch "$(uname -m)" -R true 2>/dev/null; then norandom=(setarch "$(uname -m)" -R); fi
  "${norandom[@]}" cmake --build "$dir" -j "$jobs" --target vzip vz_archive_tests \
    vz_components_tests vz_cli_tests
  "${norandom[@]}" ctest --test-dir "$dir" --output-on-failure -j "$jobs" -R Parallel
  exit 0
elif [ "${VZ_SANITIZE:-0}" = 1 ]; then
  dir=build/asan
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVZ_SANITIZE=ON -DCMAKE_CXX_FLAGS=-O1 >/dev/null
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
else
  dir=build/test
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVZ_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$dir" -j "$jobs"
ctest --test-dir "$dir" --output-on-failure -j "$jobs"
