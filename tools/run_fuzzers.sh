#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# Skipped (with a message) when clang is not installed. A crash fails the run
# and leaves its input in build-fuzz/crashes/ to be added as a regression test.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${FUZZ_SECONDS:-5}
JOBS=${JOBS:-2}
if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ not found: fuzz targets skipped"
  exit 0
fi
if ! ls fuzz/*_fuzz.cpp >/dev/null 2>&1; then
  echo "no fuzz targets"
  exit 0
fi
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DTARNWICK_BUILD_FUZZ=ON -DTARNWICK_BUILD_TESTS=OFF \
  -DTARNWICK_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$JOBS"
mkdir -p build-fuzz/crashes
for source in fuzz/*_fuzz.cpp; do
  name=$(basename "$source" .cpp)
  inputs=()
  [ -d "fuzz/inputs/$name" ] && inputs=("fuzz/inputs/$name")
  work="build-fuzz/work/$name"
  mkdir -p "$work"
  echo "fuzzing $name for ${SECONDS_EACH}s"
  UBSAN_OPTIONS=halt_on_error=1 ASAN_OPTIONS=detect_leaks=1 \
    "build-fuzz/fuzz/$name" -max_total_time="$SECONDS_EACH" -print_final_stats=0 \
    -artifact_prefix="build-fuzz/crashes/$name-" "$work" "${inputs[@]}" 2>&1 | tail -n 3
done
