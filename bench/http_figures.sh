#!/usr/bin/env bash
# The figures of the --http server, against solwatch-sim at the real line
# rate. Prints them; it passes or fails nothing.
#   bash bench/http_figures.sh [seconds of the CPU runs, default 60]
# BUILD names the build folder (default build-bench; an existing one keeps
# its build type and gets the benchmarks). RING_MINUTES keeps the resident
# memory's run going until it is that old, for more points in its ring; a
# full ring (48 hours of rows) is measured in a process of its own. Goals:
# at most 1.5 times the CPU of a dump without --http, at least 5000
# /metrics requests a second on one core, at most 12 MB resident, no row
# later than usual while 50 clients fetch /metrics.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${BUILD:-build-bench}
source bench/http_dumps.sh
build_for_bench http_ring_rss

echo "== (started) the full variant with 16 /events clients, for the resident memory at the end"
sim_options[ring]="--time-scale 720"
http_dump ring
for i in $(seq 16); do events_client "${http_port[ring]}" "$work/ring-events-$i" "127.0.0.$((10 + i))"; done
ring_started=$SECONDS

echo "== CPU: -f dumps for $seconds s, without --http and with it (scraped every 5 s, one /events client)"
dump plain -f
http_dump http -f
events_client "${http_port[http]}" "$work/http-events"
sleep 2
declare -A ns0
for name in plain http; do ns0[$name]=$(cpu_ns "${dump_pid[$name]}"); done
scrapes=0
for ((t = 0; t < seconds; t += 5)); do
  http_get "${http_port[http]}" /metrics > "$work/metrics.txt"
  scrapes=$((scrapes + 1))
  sleep 5
done
declare -A ms
for name in plain http; do ms[$name]=$((($(cpu_ns "${dump_pid[$name]}") - ${ns0[$name]}) / 1000000)); done
events=$(grep -c '^event: row' "$work/http-events" || true)
for name in plain http; do kill -INT "${dump_pid[$name]}" 2> /dev/null || true; done
echo "CPU over $seconds s: without --http ${ms[plain]} ms ($(echo "scale=3; ${ms[plain]} / 10 / $seconds" | bc) %)," \
  "with --http ${ms[http]} ms ($(echo "scale=3; ${ms[http]} / 10 / $seconds" | bc) %)," \
  "ratio $(echo "scale=2; ${ms[http]} / ${ms[plain]}" | bc 2> /dev/null) (goal <= 1.5)"
echo "($scrapes scrapes of $(wc -c < "$work/metrics.txt") bytes, $events row events to the client)"
echo "-f rows: without --http $(longest_gap "$work/plain.times"); with --http $(longest_gap "$work/http.times")"

echo "== /metrics requests a second, solwatch on core 0, wrk (keep-alive, 8 connections) on core 1"
runner=(taskset -c 0)
http_dump pinned -f
runner=()
sleep 2
taskset -c 1 wrk -t1 -c8 -d10s --latency "http://127.0.0.1:${http_port[pinned]}/metrics" > "$work/wrk-pinned.txt"
awk '$1 == "50%" {median = $2} $1 == "99%" {p99 = $2} /Requests\/sec/ {rate = $2}
     END {print "requests a second: " rate " (goal >= 5000), latency median " median ", p99 " p99}' "$work/wrk-pinned.txt"
kill -INT "${dump_pid[pinned]}"

echo "== CSV rows while 50 clients fetch /metrics as fast as they can for 30 s"
http_dump hammered -f
sleep 2
wrk -t2 -c50 -d30s "http://127.0.0.1:${http_port[hammered]}/metrics" > "$work/wrk-50.txt"
awk '/Requests\/sec/ {print "requests a second: " $2}' "$work/wrk-50.txt"
kill -INT "${dump_pid[hammered]}"
sleep 1
echo "hammered: $(longest_gap "$work/hammered.times") (the usual: 1 s)"

echo "== resident memory: the full variant with 16 /events clients"
while ((SECONDS - ring_started < ${RING_MINUTES:-0} * 60)); do sleep 5; done
ring_pid=${dump_pid[ring]}
points=$(http_get "${http_port[ring]}" /api/history | grep -o '\[[0-9]\{10\},' | wc -l)
echo "after $((SECONDS - ring_started)) s: $points points in the 48-hour ring (one a minute of rows)," \
  "$(grep -c '^event: row' "$work/ring-events-1" || true) row events to each client," \
  "peak resident memory $(awk '/VmHWM/ {print $2, $3}' "/proc/$ring_pid/status") (goal <= 12 MB)"
echo "a full ring, in a process of its own (http_ring_rss):"
"$build/bench/http_ring_rss"
