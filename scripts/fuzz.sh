#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, replays each seed corpus, then
# fuzzes each target for the given number of seconds (default 30), two at a
# time. Any crash, leak or sanitizer report fails the run.
#   bash scripts/fuzz.sh [SECONDS [TREE]]
# TREE: a clang tree that holds the fuzz targets already, such as the
# AddressSanitizer tree of scripts/test.sh (-DSOLWATCH_FUZZ=ON
# -DSOLWATCH_SANITIZE=address); without it they are built in build-fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
tree=${2:-}
if [ -z "$tree" ]; then
  tree=build-fuzz
  cmake -S . -B "$tree" -G Ninja -DSOLWATCH_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=None "-DCMAKE_CXX_FLAGS=-O1 -g1" > /dev/null
  # Only the fuzz targets and what they link: the programs are not fuzzed.
  fuzz_targets=()
  for source in fuzz/*_fuzz.cpp; do fuzz_targets+=("$(basename "$source" .cpp)"); done
  cmake --build "$tree" -j"$(nproc)" --target "${fuzz_targets[@]}"
fi

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fuzz_one() {  # fuzz_one TARGET: replays the corpus, then fuzzes; output in $work/TARGET.log
  local target=$1 corpus=fuzz/corpus/${1%_fuzz}
  local binary=$tree/fuzz/$target scratch=$work/$target
  mkdir -p "$scratch"
  {
    [ -d "$corpus" ] && "$binary" -runs=0 "$corpus"
    "$binary" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix="$scratch/" \
      "$scratch" $([ -d "$corpus" ] && echo "$corpus")
  } > "$work/$target.log" 2>&1
}

targets=()
for source in fuzz/*_fuzz.cpp; do
  target=$(basename "$source" .cpp)
  [ -x "$tree/fuzz/$target" ] && targets+=("$target")
done
[ ${#targets[@]} -gt 0 ] || { echo "fuzz: no target built in $tree" >&2; exit 1; }

failed=0
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  pids=()
  for target in "${targets[@]:i:2}"; do
    fuzz_one "$target" & pids+=($!)
  done
  for j in "${!pids[@]}"; do
    target=${targets[i + j]}
    if wait "${pids[j]}"; then
      echo "-- $target: $(grep -E '^Done [0-9]+ runs' "$work/$target.log" | tail -n 1)"
    else
      echo "-- $target FAILED:"; tail -n 40 "$work/$target.log"; failed=1
    fi
  done
done
[ "$failed" -eq 0 ] || exit 1
echo "fuzz: ${#targets[@]} targets, no crash, leak or sanitizer report"
