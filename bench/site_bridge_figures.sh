#!/usr/bin/env bash
# The site bridge of dist/mosquitto/site-bridge.conf through an outage of the
# central broker, on loopback: chargers from solwatch-sim publish -f rows to
# a site broker with that file (its address pointed at a local central
# broker with persistence), a kept QoS 1 session on the central broker reads
# them, and the central broker is stopped for OUTAGE seconds. Prints the rows
# lost, doubled or out of order, the time from the central broker's return
# until the bridge is back and until the backlog is through, and the site
# broker's resident memory with its queue full. Passes or fails nothing.
#   bash bench/site_bridge_figures.sh [OUTAGE seconds, default 60] [CHARGERS, default 2]
# BUILD names the build folder (default build-bench); QUEUE overrides the
# file's max_queued_messages.
set -euo pipefail
cd "$(dirname "$0")/.."
outage=${1:-60}
chargers=${2:-2}
build=${BUILD:-build-bench}
source bench/http_dumps.sh
build_for_bench

free_port() { echo $((20000 + RANDOM % 40000)); }  # a clash ends the run with a broker that did not start
central_port=$(free_port)
site_port=$(free_port)
broker_conf() {  # broker_conf NAME PORT: a broker of its own folder with persistence
  mkdir -p "$work/$1"
  printf 'user root\nsys_interval 1\nlog_dest file %s\nlog_type all\nlistener %s 127.0.0.1\nallow_anonymous true\npersistence true\npersistence_location %s/\n' \
    "$work/$1/log" "$2" "$work/$1" > "$work/$1/conf"
}
broker_conf central "$central_port"
broker_conf site "$site_port"
sed -e "s/^address .*/address 127.0.0.1:$central_port/" -e '/^bridge_cafile\|^remote_username\|^remote_password/d' \
  ${QUEUE:+-e "s/^max_queued_messages .*/max_queued_messages $QUEUE/"} dist/mosquitto/site-bridge.conf >> "$work/site/conf"
start_broker() {  # start_broker NAME: its pid in ${NAME}_pid
  /usr/sbin/mosquitto -c "$work/$1/conf" > /dev/null 2>&1 &
  pids+=($!)
  printf -v "$1_pid" %s $!
  sleep 0.5
  kill -0 $! 2> /dev/null || { echo "the $1 broker did not start: $(tail -n 1 "$work/$1/log")"; exit 1; }
}
start_broker central
start_broker site
mosquitto_sub -h 127.0.0.1 -p "$central_port" -c -i bench-reader -q 1 -t 'solwatch/+/+/state' -F '%U %t %p' \
  > "$work/central.out" 2> /dev/null &
pids+=($!)
for i in $(seq "$chargers"); do
  start_sim "c$i" --serial "HQ2042BEN$(printf %02d "$i")"
  "$solwatch" -s "$port" -f --json --mqtt "mqtt://127.0.0.1:$site_port" --mqtt-topic solwatch/bench/%s --mqtt-discovery \
    > "$work/c$i.rows" 2> "$work/c$i.err" &
  dump_pids+=($!)
  pids+=($!)
done
sleep 10
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
echo "site broker before the outage: $(rss_kb "$site_pid") kB resident"
kill "$central_pid"; wait "$central_pid" 2> /dev/null || true
sleep "$outage"
echo "site broker after ${outage} s of outage: $(rss_kb "$site_pid") kB resident"
back=$EPOCHREALTIME
start_broker central
# The bridge waits its restart_timeout; then the backlog.
sleep 45
kill "${dump_pids[@]}"; wait "${dump_pids[@]}" 2> /dev/null || true
sleep 5

lost=0; doubled=0; disorder=0; rows=0
for i in $(seq "$chargers"); do
  topic="solwatch/bench/HQ2042BEN$(printf %02d "$i")/state"
  cut -d' ' -f3- <(grep " $topic " "$work/central.out") > "$work/c$i.arrived"
  rows=$((rows + $(wc -l < "$work/c$i.rows")))
  lost=$((lost + $(sort "$work/c$i.rows" | comm -23 - <(sort -u "$work/c$i.arrived") | wc -l)))
  doubled=$((doubled + $(wc -l < "$work/c$i.arrived") - $(sort -u "$work/c$i.arrived" | wc -l)))
  cmp -s "$work/c$i.rows" "$work/c$i.arrived" || disorder=$((disorder + 1))
done
echo "outage ${outage} s, $chargers chargers: $rows rows written, $lost lost, $doubled doubled, $disorder chargers whose rows differ from what arrived"
# Central broker log lines start with their Unix time: the bridge's first
# connection after the return, and the arrival of the last row made before it.
connected=$(awk -F: -v back="$back" '/ as site-/ && $1 >= int(back) {print $1; exit}' "$work/central/log")
last_arrival=$(awk -v conn="$connected" '{split($0, a, "\"time\":"); if (a[2] + 0 < conn && $1 > last) last = $1}
  END {print last}' "$work/central.out")
awk -v back="$back" -v conn="$connected" -v last="$last_arrival" 'BEGIN {
  printf "central broker back -> bridge connected: %.1f s (its log counts whole seconds); then backlog through: %.1f s\n",
    conn - back, last - conn }'

# The queue full: the central broker away, the site's queue filled at once.
queue=${QUEUE:-$(awk '/^max_queued_messages/ {print $2}' dist/mosquitto/site-bridge.conf)}
kill "$central_pid"; wait "$central_pid" 2> /dev/null || true
sleep 2
before=$(rss_kb "$site_pid")
payload=$(head -n 1 "$work/c1.rows")
# mosquitto_pub -l leaves at the end of its input, with what it has not sent
# yet: it keeps its input open until the queue must be full.
{ awk -v n="$((queue + 1000))" -v p="$payload" 'BEGIN {for (i = 0; i < n; i++) print p}'; sleep $((queue / 10000 + 10)); } |
  mosquitto_pub -h 127.0.0.1 -p "$site_port" -q 1 -t solwatch/bench/FILL/state -l
stored=$(mosquitto_sub -h 127.0.0.1 -p "$site_port" -t '$SYS/broker/store/messages/count' -C 1)
after=$(rss_kb "$site_pid")
echo "site broker with its queue full ($queue; $stored messages stored, of ${#payload} bytes): $after kB resident" \
  "($before kB before; $(( (after - before) * 1024 / queue )) bytes a message)"
grep -c "Outgoing messages are being dropped" "$work/site/log" | sed 's/^/site broker log, "being dropped" lines: /' || true
