#!/usr/bin/env bash
# One end-to-end run of the arm64 solwatch under qemu-user, against host-built
# solwatch-sim on a pseudo-terminal: a few rows of the fast variant, then the
# get mode. The host's own solwatch does the same against a second simulator;
# both must print the same values.
#   bash scripts/arm64-e2e.sh ARM64_BUILD_DIR HOST_BUILD_DIR
set -euo pipefail
arm64=$1
host=$2
qemu=(qemu-aarch64 -L /)  # multiarch: the arm64 loader and libraries are under /
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2> /dev/null || true; rm -rf "$work"' EXIT

fail() { echo "arm64 end to end: $*" >&2; exit 1; }

sim_bin=$host/sim/solwatch-sim
source "$(dirname "$0")/../bench/start_sim.sh"
frozen_sim() {  # frozen_sim NAME: the terminal's path in $port
  start_sim "$1" --frozen
  [ -n "$port" ] || fail "solwatch-sim gave no terminal"
}

# fast_rows NAME COMMAND...: a header and three rows, then SIGINT; the dump
# mode ends with 0.
fast_rows() {
  local name=$1; shift
  frozen_sim "$name"
  "$@" -s "$port" -f > "$work/$name.csv" 2> "$work/$name.err" &
  local dump=$!
  for _ in $(seq 300); do
    [ "$(wc -l < "$work/$name.csv")" -ge 4 ] || ! kill -0 "$dump" 2> /dev/null && break
    sleep 0.1
  done
  kill -INT "$dump" 2> /dev/null || true
  local status=0
  wait "$dump" || status=$?
  if [ "$status" -ne 0 ] || [ "$(wc -l < "$work/$name.csv")" -lt 4 ]; then
    cat "$work/$name.csv" "$work/$name.err" >&2
    fail "$name: -f ended with $status after $(($(wc -l < "$work/$name.csv") - 1)) rows"
  fi
  # Every row whole: as many fields as the header.
  awk -F, 'NR == 1 {n = NF} NF != n {exit 1}' "$work/$name.csv" || fail "$name: a row is not whole"
}

fast_rows arm64 "${qemu[@]}" "$arm64/app/solwatch"
fast_rows host "$host/app/solwatch"
head -n 3 "$work/arm64.csv"
# The frozen device's values after the time stamp, in every row of both.
values() { tail -n +2 "$work/$1.csv" | cut -d, -f2- | sort -u; }
[ "$(values arm64)" = "$(values host)" ] || fail "the rows differ from the host's: $(values arm64)"
[ "$(values arm64 | wc -l)" -eq 1 ] || fail "the frozen device's rows differ"

frozen_sim get
status=0
"${qemu[@]}" "$arm64/app/solwatch" -s "$port" -g > "$work/get.txt" 2>&1 || status=$?
cat "$work/get.txt"
[ "$status" -eq $((0xA042 & 0xFF)) ] || fail "-g ended with $status, not the product id's low byte"
grep -q '^Serial number    HQ2042SIM01$' "$work/get.txt" || fail "-g printed no serial number"
echo "arm64 end to end: 3 rows as the host's, get mode exit $status"
