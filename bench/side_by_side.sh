#!/usr/bin/env bash
# solwatch against the pyserial script a user might write instead, side by
# side: each reads its own solwatch-sim at the real line rate for the same
# seconds, and the table shows CPU share, peak resident memory and wakeups
# a second (voluntary and involuntary context switches of all threads).
# Prints figures; it passes or fails nothing.
#   bash bench/side_by_side.sh [SECONDS] [SOLWATCH OPTIONS...]
#   e.g. bash bench/side_by_side.sh 300 -f
# SOLWATCH_BUILD names the build directory (default build-bench; configured
# here if it is not there yet). Other loads on the machine inflate CPU shares.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
shift || true
options=("$@")
build=${SOLWATCH_BUILD:-build-bench}
script=../shared/bench/pyserial_reader.py
[ -f "$script" ] || { echo "side_by_side: $script is missing" >&2; exit 1; }
bash scripts/install-missing.sh python3-serial
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" > /dev/null
cmake --build "$build" -j"$(nproc)" --target solwatch solwatch-sim > /dev/null
sim_bin=$build/sim/solwatch-sim
tick=$(getconf CLK_TCK)
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2> /dev/null || true; rm -rf "$work"' EXIT
source bench/start_sim.sh

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Context switches of all threads alive now: all, and the involuntary ones
# (preemptions, which other loads on the machine add).
wakeups() { cat /proc/"$1"/task/*/status | awk '/ctxt_switches/ {n += $2} END {print n}'; }
preemptions() { cat /proc/"$1"/task/*/status | awk '/nonvoluntary_ctxt_switches/ {n += $2} END {print n}'; }
wait_for_output() { for _ in $(seq 300); do [ -s "$1" ] && return; sleep 0.1; done; }

start_sim solwatch
"$build/app/solwatch" -s "$port" "${options[@]}" > "$work/solwatch.csv" &
solwatch=$!; pids+=($solwatch)
start_sim script
/usr/bin/python3 "$script" "$port" > "$work/script.csv" &
script_pid=$!; pids+=($script_pid)
# From the first output on: the reading itself, without the start-up.
wait_for_output "$work/solwatch.csv"
wait_for_output "$work/script.csv"
declare -A ticks0 wakes0 preempt0
for pid in $solwatch $script_pid; do
  ticks0[$pid]=$(cpu_ticks $pid); wakes0[$pid]=$(wakeups $pid); preempt0[$pid]=$(preemptions $pid)
done
sleep "$seconds"

row() {  # row NAME PID ROWS
  local ticks wakes preempt
  [ -d "/proc/$2" ] || { echo "| $1 | ended early, see above | | | | $3 |"; return; }
  ticks=$(cpu_ticks "$2"); wakes=$(wakeups "$2"); preempt=$(preemptions "$2")
  awk -v name="$1" -v t=$((ticks - ticks0[$2])) -v w=$((wakes - wakes0[$2])) -v p=$((preempt - preempt0[$2])) \
    -v s="$seconds" -v hz="$tick" -v rss="$(awk '/VmHWM/ {print $2}' "/proc/$2/status")" -v rows="$3" \
    'BEGIN { printf "| %s | %.3f %% | %.1f MB | %.1f | %.1f | %d |\n", name, 100 * t / hz / s, rss / 1024, w / s, p / s, rows }'
}
echo "reader, $seconds s side by side (rows: all rows written, header included)"
echo "| reader | CPU share | peak RSS | wakeups/s | of them preemptions/s | rows |"
echo "|---|---|---|---|---|---|"
row "solwatch ${options[*]}" $solwatch "$(wc -l < "$work/solwatch.csv")"
row "the pyserial script" $script_pid "$(wc -l < "$work/script.csv")"
# The readers go before their simulators, so that neither sees its line end.
kill $solwatch $script_pid 2> /dev/null
wait $solwatch $script_pid 2> /dev/null || true
