#!/usr/bin/env bash
# Builds every libFuzzer target fuzz/<name>.cpp with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer and runs each for a short,
# bounded time. A target names the sources it needs on "// fuzz-sources:"
# lines and the libraries it links on "// fuzz-libs:" lines. A crash fails
# the run and leaves its input in build-fuzz/<name>.artifacts/.
# Seed inputs, when a target has them, live in fuzz/<name>.seeds/.
# FUZZ_SECONDS sets the time per target (default 20).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-20}"
out=build-fuzz
mkdir -p "$out"
status=0
for target in fuzz/*.cpp; do
  [[ -e "$target" ]] || continue
  name=$(basename "$target" .cpp)
  sources=$(sed -n 's|^// fuzz-sources:||p' "$target" | tr '\n' ' ')
  libs=$(sed -n 's|^// fuzz-libs:||p' "$target" | tr '\n' ' ')
  echo "fuzz: building $name"
  clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I. "$target" $sources -o "$out/$name" -lpthread $libs
  mkdir -p "$out/$name.corpus" "$out/$name.artifacts"
  seeds=()
  [[ -d "fuzz/$name.seeds" ]] && seeds=("fuzz/$name.seeds")
  echo "fuzz: running $name for ${seconds}s"
  if ! "$out/$name" -max_total_time="$seconds" -print_final_stats=0 \
      -artifact_prefix="$out/$name.artifacts/" "$out/$name.corpus" "${seeds[@]}" >"$out/$name.log" 2>&1; then
    echo "fuzz: $name FAILED, see $out/$name.log and $out/$name.artifacts/"
    tail -n 30 "$out/$name.log"
    status=1
  fi
done
exit $status
