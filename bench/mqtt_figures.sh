#!/usr/bin/env bash
# The figures of the MQTT publisher, against solwatch-sim at the real line
# rate and a local mosquitto. Prints them; it passes or fails nothing.
#   bash bench/mqtt_figures.sh [seconds of the -f runs, default 120] [quick]
# "quick" leaves out the resident memory of a real run with a full buffer,
# which needs about 12 minutes of the channels variant to fill it.
# BUILD names the build folder (default build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
quick=${2:-}
build=${BUILD:-build-bench}
bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOLWATCH_BENCH=ON > /dev/null
cmake --build "$build" -j"$(nproc)" --target solwatch solwatch-sim publish_bench publish_buffer_rss
solwatch=$build/app/solwatch
sim_bin=$build/sim/solwatch-sim
tick=$(getconf CLK_TCK)
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2> /dev/null || true; wait 2> /dev/null || true; rm -rf "$work"' EXIT

source bench/start_sim.sh
start_broker() {  # start_broker NAME: the broker's pid in $broker_pid, its port in $broker_port
  local name=$1
  for _ in $(seq 20); do
    broker_port=$((20000 + RANDOM % 40000))
    printf 'user root\nlistener %s 127.0.0.1\nallow_anonymous true\n' "$broker_port" > "$work/$name.conf"
    /usr/sbin/mosquitto -c "$work/$name.conf" > "$work/$name.log" 2>&1 &
    broker_pid=$!
    sleep 0.3
    kill -0 "$broker_pid" 2> /dev/null && { pids+=($broker_pid); return; }
  done
  echo "no broker could start"; exit 1
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# dump NAME [solwatch options]: a -f run whose rows are stamped on arrival;
# its pid in dump_pid[NAME].
declare -A dump_pid
dump() {
  local name=$1; shift
  start_sim "$name"
  "$solwatch" -s "$port" -f "$@" 2> "$work/$name.err" \
    > >(while IFS= read -r _; do echo "$EPOCHREALTIME"; done > "$work/$name.times") &
  dump_pid[$name]=$!
  pids+=($!)
}
# The longest pause between two rows, beyond the second between them.
longest_gap() {
  awk 'NR > 2 { gap = $1 - last; if (gap > max) max = gap } { last = $1 }
       END { printf "%d rows, longest gap between rows %.3f s\n", NR, max }' "$1"
}

start_broker up
up_port=$broker_port
start_broker doomed  # stopped a third of the way through
doomed_pid=$broker_pid

if [ "$quick" != quick ]; then
  echo "== (started) resident memory of solwatch with a full buffer: channels variant, broker away"
  start_sim channels --frozen --no-throttle
  "$solwatch" -s "$port" -c --json --mqtt mqtt://127.0.0.1:1 -o "$work/channels.json" 2> /dev/null &
  channels_pid=$!; pids+=($channels_pid)
fi

echo "== -f dumps for $seconds s: without --mqtt, with a broker, with the broker away"
dump plain
dump mqtt --mqtt "mqtt://127.0.0.1:$up_port" --mqtt-discovery
dump refused --mqtt mqtt://127.0.0.1:1
dump unroutable --mqtt mqtt://192.0.2.1  # TEST-NET-1: no answer at all
dump stopped --mqtt "mqtt://127.0.0.1:$broker_port"
sleep 2
declare -A ticks0
for name in plain mqtt; do ticks0[$name]=$(cpu_ticks "${dump_pid[$name]}"); done
sleep $((seconds / 3))
kill "$doomed_pid"
sleep $((seconds - seconds / 3))
declare -A share
for name in plain mqtt; do
  share[$name]=$(echo "scale=3; 100 * ($(cpu_ticks "${dump_pid[$name]}") - ${ticks0[$name]}) / $tick / $seconds" | bc)
done
for name in plain mqtt refused unroutable stopped; do kill -INT "${dump_pid[$name]}" 2> /dev/null || true; done
sleep 2
echo "CPU share of one core: without --mqtt ${share[plain]} %, with --mqtt ${share[mqtt]} %," \
  "ratio $(echo "scale=2; ${share[mqtt]} / ${share[plain]}" | bc 2> /dev/null || echo "n/a")"
echo "== CSV rows on arrival (-f: a row a second)"
for name in plain mqtt refused unroutable stopped; do
  printf '%-11s %s\n' "$name:" "$(longest_gap "$work/$name.times")"
done
echo "(stopped: the broker was stopped after $((seconds / 3)) s)"

echo "== one state message: building it, and handing it to the client library"
SOLWATCH_BENCH_BROKER="mqtt://127.0.0.1:$up_port" "$build/bench/publish_bench" 2> /dev/null | grep -E '^BM_'

echo "== resident memory of a full buffer (10000 messages) in a process of its own"
"$build/bench/publish_buffer_rss"

if [ "$quick" != quick ]; then
  echo "== resident memory of solwatch with a full buffer (channels variant, broker away)"
  while [ "$(wc -l < "$work/channels.json")" -lt 10500 ]; do
    kill -0 "$channels_pid" 2> /dev/null || { echo "the channels run ended early"; exit 1; }
    sleep 5
  done
  echo "rows: $(wc -l < "$work/channels.json"), peak resident memory: $(awk '/VmHWM/ {print $2, $3}' "/proc/$channels_pid/status")"
  kill -INT "$channels_pid"
fi
