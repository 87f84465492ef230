#!/usr/bin/env bash
# The cost of --capture: two -f dumps side by side for the same seconds,
# each on its own solwatch-sim at the real line rate, one of them recording
# a capture. Prints the CPU of both (all threads, schedstat) and the
# capture's size; it passes or fails nothing. Goal: at most 1.10 times the
# CPU of the dump without it.
#   bash bench/capture_figures.sh [SECONDS, default 120]
# BUILD names the build folder (default build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
build=${BUILD:-build-bench}
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" > /dev/null
cmake --build "$build" -j"$(nproc)" --target solwatch solwatch-sim > /dev/null
sim_bin=$build/sim/solwatch-sim
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2> /dev/null || true; wait 2> /dev/null || true; rm -rf "$work"' EXIT
source bench/start_sim.sh

declare -A dump_pid ns0 ms
start_sim plain
"$build/app/solwatch" -s "$port" -f > "$work/plain.csv" 2> /dev/null & dump_pid[plain]=$!; pids+=($!)
start_sim capture
"$build/app/solwatch" -s "$port" -f --capture "$work/line.cap" > "$work/capture.csv" 2> /dev/null &
dump_pid[capture]=$!; pids+=($!)
sleep 3  # past identification: the dump itself
for name in plain capture; do ns0[$name]=$(cpu_ns "${dump_pid[$name]}"); done
sleep "$seconds"
for name in plain capture; do ms[$name]=$((($(cpu_ns "${dump_pid[$name]}") - ${ns0[$name]}) / 1000000)); done
for name in plain capture; do kill -INT "${dump_pid[$name]}" 2> /dev/null || true; done
wait "${dump_pid[@]}" 2> /dev/null || true
share() { echo "scale=3; $1 / 10 / $seconds" | bc; }
echo "CPU of a -f dump over $seconds s: without --capture ${ms[plain]} ms ($(share "${ms[plain]}") %)," \
  "with it ${ms[capture]} ms ($(share "${ms[capture]}") %), ratio $(echo "scale=2; ${ms[capture]} / ${ms[plain]}" | bc) (goal <= 1.10)"
echo "rows: $(($(wc -l < "$work/plain.csv") - 1)) and $(($(wc -l < "$work/capture.csv") - 1));" \
  "capture: $(wc -l < "$work/line.cap") lines, $(wc -c < "$work/line.cap") bytes" \
  "($(echo "scale=1; $(wc -c < "$work/line.cap") * 3600 / ($seconds + 3) / 1000000" | bc) MB an hour)"
