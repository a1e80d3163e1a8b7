#!/usr/bin/env bash
# Sets up the machine, builds KORVAN (Release) into build/ and starts it there.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVAN_TESTS=OFF >/dev/null
cmake --build build --target korvan
exec ./build/korvan "$@"
