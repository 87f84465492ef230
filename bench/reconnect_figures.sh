#!/usr/bin/env bash
# Figures of a reconnecting dump against solwatch-sim at the real line rate.
# Prints them; it passes or fails nothing.
#   bash bench/reconnect_figures.sh [BUILD_DIR, default build] [CYCLES, default 100]
#  1. time from the port coming back to the first row after it (-f), for
#     outages of 2 s and 12 s;
#  2. open descriptors, threads and RSS after the first and after the last of
#     CYCLES loss-and-reconnect cycles.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cycles=${2:-100}
solwatch=$build/app/solwatch
sim_bin=$build/sim/solwatch-sim
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2> /dev/null || true; rm -rf "$work"' EXIT
now() { date +%s.%N; }
rows() { [ -f "$1" ] && wc -l < "$1" || echo 0; }

# The port counts as back when the simulator's link points at a live
# terminal again.
time_to_first_row() {  # time_to_first_row OUTAGE_SECONDS
  local outage=$1 link=$work/port-$1 csv=$work/day-$1.csv
  "$sim_bin" --link "$link" --hangup-after 4 --hangup-for "$outage" > /dev/null 2>&1 &
  local sim=$!; pids+=($sim)
  sleep 0.5
  "$solwatch" -s "$link" -f --reconnect -o "$csv" 2> /dev/null &
  local dump=$!; pids+=($dump)
  while [ -e "$link" ] && [ -e "$(readlink "$link")" ]; do sleep 0.01; done
  local before; before=$(rows "$csv")
  until [ -e "$(readlink "$link")" ]; do sleep 0.01; done
  local back; back=$(now)
  until [ "$(rows "$csv")" -gt "$before" ]; do sleep 0.01; done
  echo "port gone ${outage} s: first row $(echo "$(now) - $back" | bc | xargs printf '%.2f') s after the port came back"
  kill "$dump" "$sim" 2> /dev/null || true
  wait "$dump" "$sim" 2> /dev/null || true
}

resources() {  # resources PID: descriptors, threads, RSS in kB
  echo "$(ls "/proc/$1/fd" | wc -l) descriptors, $(ls "/proc/$1/task" | wc -l) threads," \
    "RSS $(awk '/^VmRSS/ {print $2}' "/proc/$1/status") kB"
}

echo "== time from the port coming back to the first row after it (-f)"
time_to_first_row 2
time_to_first_row 12

echo "== resources over $cycles loss-and-reconnect cycles (-f, a hang-up after 3 s of each return)"
link=$work/port-cycles
"$sim_bin" --link "$link" --period-ms 250 --hangup-after 3 --hangup-for 0.3 --hangup-every 3 > /dev/null 2>&1 &
pids+=($!)
sleep 0.5
"$solwatch" -s "$link" -f --reconnect -o "$work/cycles.csv" 2> "$work/cycles.log" &
dump=$!; pids+=($dump)
lost() { grep -c "link lost" "$work/cycles.log" || true; }
# Measured with the link up again: at the first row after the Nth loss.
after_loss() {  # after_loss N
  until [ "$(lost)" -ge "$1" ]; do sleep 0.1; done
  local before; before=$(rows "$work/cycles.csv")
  until [ "$(rows "$work/cycles.csv")" -gt "$before" ]; do sleep 0.05; done
  resources "$dump"
}
echo "after cycle 1: $(after_loss 1)"
echo "after cycle $cycles: $(after_loss "$cycles")"
echo "rows written: $(($(rows "$work/cycles.csv") - 1)), losses logged: $(lost)"
