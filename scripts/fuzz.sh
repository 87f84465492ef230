#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, replays each seed corpus, then
# fuzzes each target for the given number of seconds (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake -S . -B build-fuzz -G Ninja -DSOLWATCH_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ > /dev/null
cmake --build build-fuzz -j"$(nproc)"

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for source in fuzz/*_fuzz.cpp; do
  [ -e "$source" ] || continue
  target=$(basename "$source" .cpp)
  corpus=fuzz/corpus/${target%_fuzz}
  work=$(mktemp -d)
  echo "-- $target"
  [ -d "$corpus" ] && build-fuzz/fuzz/"$target" -runs=0 "$corpus" 2>&1 | tail -1
  build-fuzz/fuzz/"$target" -max_total_time="$seconds" -print_final_stats=0 \
    -artifact_prefix="$work/" "$work" ${corpus:+$([ -d "$corpus" ] && echo "$corpus")} 2>&1 | tail -1
  rm -rf "$work"
done
echo "fuzz: no crash, leak or sanitizer report"
