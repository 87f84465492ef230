#!/usr/bin/env bash
# Records the tables under data/ with solwatch itself against solwatch-sim.
# They are committed: the full variant writes one row a minute, too slow for
# every test run. Takes about four minutes.
#   bash tests/plot/record_fixtures.sh BUILD_DIR
set -euo pipefail
build=$(realpath "${1:?usage: record_fixtures.sh BUILD_DIR}")
cd "$(dirname "$0")/data"
solwatch=$build/app/solwatch
work=$(mktemp -d)
sim_bin=$build/sim/solwatch-sim
pids=()
trap 'kill "${pids[@]}" 2> /dev/null || true; rm -rf "$work"' EXIT
source ../../../bench/start_sim.sh  # from tests/plot/data
dump() {  # dump SECONDS solwatch-arguments...: run solwatch, then stop it as Ctrl-C does
  local seconds=$1; shift
  timeout -s INT "$seconds" "$solwatch" "$@" 2> /dev/null || true
}

# The full variant with its history records: three rows, one a minute.
start_sim full --time-scale 600 --start-time 09:00
rm -f full_history.csv
dump 200 -s "$port" -o full_history.csv

# Two runs appended to one file (the second writes no header), a pause
# between them, then another charger (no load output) appended through the
# shell, which brings its own header.
start_sim first --time-scale 720 --start-time 10:00
rm -f appended_runs.csv
dump 9 -s "$port" -f -o appended_runs.csv
sleep 15  # the gap between the runs is what the fixture shows
dump 9 -s "$port" -f -o appended_runs.csv
start_sim other --time-scale 720 --start-time 11:00 --product-id 0xA040 --no-load --serial HQ2111OTHER
dump 9 -s "$port" -f >> appended_runs.csv

# Gaps: a charger that stops answering for the panel power and the state in
# the middle of the recording.
start_sim whole --time-scale 720 --start-time 12:00
rm -f gaps.csv
dump 8 -s "$port" -f -o gaps.csv
start_sim holes --time-scale 720 --start-time 12:00 --absent-register 0xEDBC --absent-register 0x0201
dump 8 -s "$port" -f -o gaps.csv
start_sim again --time-scale 720 --start-time 12:10
dump 8 -s "$port" -f -o gaps.csv

# The channels variant: no time stamps, rows back to back.
start_sim channels --time-scale 720
dump 4 -s "$port" -c > channels.csv
wc -l ./*.csv
