#!/usr/bin/env bash
# solwatch against the pyserial script a user might write instead, side by
# side: in each run both read their own solwatch-sim at the real line rate
# for the same seconds, and a table shows per program the CPU time (user +
# system from /proc/PID/stat, and the time on a processor from schedstat,
# which counts in ns rather than in ticks of 10 ms), peak resident memory and
# wakeups a second (voluntary and involuntary context switches of all
# threads; the involuntary ones, preemptions, grow with other loads), then
# how many times cheaper solwatch is. The median of those ratios over the
# runs closes the output. It also checks that solwatch's rows are as before
# (the header, a row a second, no missing value) and fails if not.
#   bash bench/side_by_side.sh [SECONDS [RUNS [SOLWATCH OPTIONS...]]]
#   e.g. bash bench/side_by_side.sh 300 3       (the defaults; options -f)
# SOLWATCH_BUILD names the build directory (default build-bench; configured
# here if it is not there yet); PYSERIAL_READER the script (default
# ../shared/bench/pyserial_reader.py from the project). Other loads on the
# machine inflate the CPU times.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
runs=${2:-3}
shift $(($# < 2 ? $# : 2))
options=("$@")
((${#options[@]})) || options=(-f)
build=${SOLWATCH_BUILD:-build-bench}
script=${PYSERIAL_READER:-../shared/bench/pyserial_reader.py}
[ -f "$script" ] || { echo "side_by_side: $script is missing (set PYSERIAL_READER)" >&2; exit 1; }
bash scripts/install-missing.sh python3-serial  # on the test list of scripts/install-deps.sh too
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" > /dev/null
cmake --build "$build" -j"$(nproc)" --target solwatch solwatch-sim > /dev/null
sim_bin=$build/sim/solwatch-sim
tick=$(getconf CLK_TCK)
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2> /dev/null || true; rm -rf "$work"' EXIT
source bench/start_sim.sh

# The rows of a -f dump of the simulator's default device, as the scenario
# tests expect them.
fast_header=$(head -n 1 tests/scenarios/fast-variant/expected-out)
checks_rows=false
[ "${options[*]}" = "-f" ] && checks_rows=true

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Context switches of all threads alive now: all, and the involuntary ones.
wakeups() { cat /proc/"$1"/task/*/status | awk '/ctxt_switches/ {n += $2} END {print n}'; }
preemptions() { cat /proc/"$1"/task/*/status | awk '/nonvoluntary_ctxt_switches/ {n += $2} END {print n}'; }
wait_for_rows() { for _ in $(seq 300); do [ "$(wc -l < "$1")" -ge 2 ] && return; sleep 0.1; done; }
sample() { echo "$(cpu_ticks "$1") $(cpu_ns "$1") $(wakeups "$1") $(preemptions "$1") $(wc -l < "$2")"; }

# figures NAME BEFORE AFTER PID: a table row; sets cpu_s and on_cpu_ms.
figures() {
  local before=($2) after=($3)
  cpu_s=$(awk -v t=$((after[0] - before[0])) -v hz="$tick" 'BEGIN { printf "%.2f", t / hz }')
  on_cpu_ms=$(awk -v n=$((after[1] - before[1])) 'BEGIN { printf "%.1f", n / 1e6 }')
  awk -v name="$1" -v cpu="$cpu_s" -v ms="$on_cpu_ms" -v w=$((after[2] - before[2])) -v p=$((after[3] - before[3])) \
    -v s="$seconds" -v rss="$(awk '/VmHWM/ {print $2}' "/proc/$4/status")" -v rows=$((after[4] - before[4])) \
    'BEGIN { printf "| %s | %s s | %s ms | %.1f MB | %.1f | %.1f | %d |\n", name, cpu, ms, rss / 1024, w / s, p / s, rows }'
}

# check_rows FILE ROWS: solwatch's rows as before, or a line that says what changed.
check_rows() {
  local bad=0
  [ "$(head -n 1 "$1")" = "$fast_header" ] || { echo "rows changed: the header is $(head -n 1 "$1")"; bad=1; }
  if [ $(($2 - seconds)) -gt 1 ] || [ $((seconds - $2)) -gt 2 ]; then
    echo "rows changed: $2 rows in $seconds s, not one a second"; bad=1
  fi
  local cells missing
  cells=$(awk -F, 'NR > 1 && NF != n {c++} NR == 1 {n = NF} END {print c + 0}' "$1")
  missing=$(awk -F, 'NR > 1 {for (i = 1; i <= NF; i++) if ($i == "-") {c++; break}} END {print c + 0}' "$1")
  [ "$cells" -eq 0 ] || { echo "rows changed: $cells rows without the header's number of cells"; bad=1; }
  [ "$missing" -eq 0 ] || { echo "rows changed: $missing rows with a missing value"; bad=1; }
  return $bad
}

ratios=()
ns_ratios=()
failed=0
for run in $(seq "$runs"); do
  start_sim "solwatch$run"
  "$build/app/solwatch" -s "$port" "${options[@]}" > "$work/solwatch$run.csv" &
  solwatch=$!; pids+=($solwatch)
  start_sim "script$run"
  /usr/bin/python3 "$script" "$port" > "$work/script$run.csv" &
  reference=$!; pids+=($reference)
  # From the first row on: the reading itself, without the start-up.
  wait_for_rows "$work/solwatch$run.csv"
  wait_for_rows "$work/script$run.csv"
  solwatch0=$(sample $solwatch "$work/solwatch$run.csv")
  reference0=$(sample $reference "$work/script$run.csv")
  sleep "$seconds"
  for pid in $solwatch $reference; do
    [ -d "/proc/$pid" ] || { echo "side_by_side: a reader ended early" >&2; exit 1; }
  done
  solwatch1=$(sample $solwatch "$work/solwatch$run.csv")
  reference1=$(sample $reference "$work/script$run.csv")
  echo
  echo "run $run of $runs: $seconds s side by side (rows: those written meanwhile)"
  echo "| reader | CPU (stat) | on a CPU (schedstat) | peak RSS | wakeups/s | of them preemptions/s | rows |"
  echo "|---|---|---|---|---|---|---|"
  figures "solwatch ${options[*]}" "$solwatch0" "$solwatch1" $solwatch
  solwatch_cpu=$cpu_s solwatch_ms=$on_cpu_ms
  figures "the pyserial script" "$reference0" "$reference1" $reference
  ratio=$(awk -v a="$cpu_s" -v b="$solwatch_cpu" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  ns_ratio=$(awk -v a="$on_cpu_ms" -v b="$solwatch_ms" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  ratios+=("$ratio"); ns_ratios+=("$ns_ratio")
  echo "solwatch is $ratio times cheaper in CPU (stat), $ns_ratio times on a CPU (schedstat)"
  # The readers go before their simulators, so that neither sees its line end.
  kill $solwatch $reference 2> /dev/null
  wait $solwatch $reference 2> /dev/null || true
  kill "${pids[@]}" 2> /dev/null || true
  pids=()
  if $checks_rows; then
    check_rows "$work/solwatch$run.csv" "$(($(echo "$solwatch1" | cut -d' ' -f5) - $(echo "$solwatch0" | cut -d' ' -f5)))" || failed=1
  fi
done

median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo
echo "median over $runs runs: solwatch is $(median "${ratios[@]}") times cheaper in CPU (stat)," \
  "$(median "${ns_ratios[@]}") times on a CPU (schedstat)"
if $checks_rows; then
  [ $failed -eq 0 ] && echo "solwatch's rows: as before in every run" || { echo "solwatch's rows: CHANGED"; exit 1; }
fi
