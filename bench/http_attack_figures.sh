#!/usr/bin/env bash
# The --http server under a slowloris from one address of the loopback, at
# the real line rate. Prints the figures; it passes or fails nothing.
#   bash bench/http_attack_figures.sh [seconds of each attack, default 30]
# BUILD names the build folder (default build-bench). Each attack: 300
# connections from 127.0.0.2 sending a header byte every 3 s, once
# reconnecting 1 s after being closed and once at once, while a client on
# 127.0.0.1 fetches /metrics and /healthz twice a second (an answer counts
# when it comes within 1 s; goal: at least 95 %), and solwatch's CPU.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=${BUILD:-build-bench}
source bench/http_dumps.sh
build_for_bench http_slowloris
slowloris=$build/tests/http_slowloris

# honest_client PORT SECONDS: "answered/asked" of /metrics and /healthz in turn, two a second.
honest_client() {
  local asked=0 answered=0 target code
  for ((i = 0; i < $2 * 2; i++)); do
    ((i % 2)) && target=/healthz || target=/metrics
    code=$(curl -s -o /dev/null -m 1 -w '%{http_code}' "http://127.0.0.1:$1$target" || true)
    asked=$((asked + 1))
    [ "$code" != "000" ] && answered=$((answered + 1))
    sleep 0.5
  done
  echo "$answered/$asked"
}

attack() {  # attack NAME RECONNECT_AFTER
  http_dump "$1" -f
  sleep 2
  local pid=${dump_pid[$1]} port=${http_port[$1]}
  local ns0 ns1
  ns0=$(cpu_ns "$pid")
  "$slowloris" "$port" 127.0.0.2 300 "$seconds" 3 "$2" > "$work/$1.slowloris" &
  pids+=($!)
  sleep 2
  local answers
  answers=$(honest_client "$port" $((seconds - 4)))
  wait $!
  ns1=$(cpu_ns "$pid")
  kill -INT "$pid" 2> /dev/null || true
  local ms=$(((ns1 - ns0) / 1000000))
  echo "honest client: $answers answered within 1 s;" \
    "solwatch CPU: $ms ms in $seconds s ($(echo "scale=2; $ms * 60 / $seconds / 1000" | bc) s a minute)"
  cat "$work/$1.slowloris"
  echo "rows: $(longest_gap "$work/$1.times")"
}

echo "== slowloris, reconnecting 1 s after each close, for $seconds s"
attack slow 1
echo "== slowloris, reconnecting at once, for $seconds s"
attack eager 0
