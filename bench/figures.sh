#!/usr/bin/env bash
# The figures that matter, measured against solwatch-sim at the real line
# rate (19200 baud). Prints them; it passes or fails nothing.
#   bash bench/figures.sh [minutes of the long dump, default 10]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
build=build-bench
bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOLWATCH_BENCH=ON -DSOLWATCH_TESTS=OFF > /dev/null
cmake --build "$build" -j"$(nproc)" --target solwatch solwatch-sim receive_bench
solwatch=$build/app/solwatch
sim_bin=$build/sim/solwatch-sim
tick=$(getconf CLK_TCK)
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2> /dev/null || true; rm -rf "$work"' EXIT

source bench/start_sim.sh
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# thread_stats PID: a line per thread: id, voluntary context switches (its
# wakeups), CPU time in ns, and the kernel function it waits in now.
thread_stats() {
  local task
  for task in /proc/"$1"/task/*; do
    echo "${task##*/} $(awk '/^voluntary_ctxt_switches/ {print $2}' "$task/status")" \
      "$(cut -d' ' -f1 "$task/schedstat") $(cat "$task/wchan")"
  done | sort
}
# thread_figures PID BEFORE AFTER SECONDS: wakeups a second and CPU share per
# thread between two thread_stats, and the CPU share of them all.
thread_figures() {
  join "$2" "$3" | awk -v pid="$1" -v s="$4" '{
    name = $1 == pid ? "main" : "thread " $1
    printf "  %s (waits in %s): %.2f wakeups/s, %.4f %% of one core\n", name, $7, ($5 - $2) / s, ($6 - $3) / s / 1e7
    all += $6 - $3 } END { printf "  all threads: %.4f %% of one core\n", all / s / 1e7 }'
}

echo "== get mode: wall time from start to exit (one TEXT block a second)"
start_sim get
times=()
for _ in $(seq 9); do
  sleep 0.$((RANDOM % 10))  # start at a random point of the block period
  t0=$(date +%s.%N)
  "$solwatch" -s "$port" -g > /dev/null || true
  t1=$(date +%s.%N)
  times+=("$(echo "$t1 - $t0" | bc)")
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "runs %d, median %.3f s, min %.3f s, max %.3f s\n", NR, a[int((NR+1)/2)], a[1], a[NR]}'

echo "== channels variant: rows a second against the line's limit"
start_sim channels --frozen
"$solwatch" -s "$port" -c > "$work/channels.csv" &
dump=$!; pids+=($dump)
sleep 3
before=$(wc -l < "$work/channels.csv")
sleep 20
after=$(wc -l < "$work/channels.csv")
kill -INT $dump; wait $dump || true
# A row: five requests of 8 bytes out and their answers back (four of 19
# bytes, the temperature of 15) at 1920 bytes a second, and five 10 ms pauses.
awk -v rows=$((after - before)) 'BEGIN {
  row = (5 * 8 + 4 * 19 + 15) / 1920 + 5 * 0.010; limit = 1 / row; rate = rows / 20;
  printf "rows %.2f/s, limit %.2f/s, ratio %.2f\n", rate, limit, rate / limit }'

echo "== full variant: wakeups and CPU share per thread, peak resident memory over $minutes min"
start_sim full --time-scale 60
"$solwatch" -s "$port" > "$work/full.csv" &
dump=$!; pids+=($dump)
# From the header on: the dump itself, without the identification.
for _ in $(seq 300); do [ -s "$work/full.csv" ] && break; sleep 0.1; done
ticks0=$(cpu_ticks $dump)
thread_stats $dump > "$work/threads0"
sleep 120
ticks2=$(cpu_ticks $dump)
thread_stats $dump > "$work/threads2"
echo "first 2 min: $(echo "scale=3; 100 * ($ticks2 - $ticks0) / $tick / 120" | bc) % of one core"
echo "per thread, first 2 min (wakeups: voluntary context switches; CPU: schedstat):"
thread_figures $dump "$work/threads0" "$work/threads2" 120
if [ "$minutes" -gt 2 ]; then
  sleep $(( (minutes - 2) * 60 ))
  ticksN=$(cpu_ticks $dump)
  thread_stats $dump > "$work/threadsN"
  echo "all $minutes min: $(echo "scale=3; 100 * ($ticksN - $ticks0) / $tick / ($minutes * 60)" | bc) % of one core"
  echo "per thread, all $minutes min:"
  thread_figures $dump "$work/threads0" "$work/threadsN" $((minutes * 60))
fi
echo "peak resident memory: $(awk '/VmHWM/ {print $2, $3}' "/proc/$dump/status"), rows: $(($(wc -l < "$work/full.csv") - 1))"
kill -INT $dump; wait $dump || true

echo "== receive path"
"$build/bench/receive_bench" 2> /dev/null | grep -E 'receivePath|framingOnly'
