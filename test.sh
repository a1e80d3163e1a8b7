#!/usr/bin/env bash
# Sets up the machine, builds a Debug tree (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-debug/ and runs every test.
# KORVAN_TSAN=1 builds build-tsan/ under ThreadSanitizer instead and runs every
# test there.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
jobs=$(nproc)
if [[ "${KORVAN_TSAN:-0}" == "1" ]]; then
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVAN_TSAN=ON -DKORVAN_BENCH=OFF >/dev/null
  cmake --build build-tsan -j "$jobs"
  cd build-tsan && ctest --output-on-failure -j "$jobs" --timeout 300
  exit
fi
cmake -S . -B build-debug -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-debug -j "$jobs"
(cd build-debug && ctest --output-on-failure -j "$jobs" --timeout 300)
if [[ -x scripts/fuzz.sh ]]; then ./scripts/fuzz.sh; fi
