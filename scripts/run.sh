#!/usr/bin/env bash
# Builds solwatch and runs it.
#   bash scripts/run.sh                  the simulated charger, a row a second
#   bash scripts/run.sh /dev/ttyUSB0     a real charger, a row a minute
#   bash scripts/run.sh -s ttyUSB0 -g    any solwatch command line
set -euo pipefail
cd "$(dirname "$0")/.."
# Only the table goes to standard output, so that it can be kept and plotted.
# What building and running need, not the tests' packages: the build is
# configured without the test suites, which scripts/test.sh turns on again.
bash scripts/install-deps.sh --run >&2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -DSOLWATCH_TESTS=OFF > /dev/null
cmake --build build -j"$(nproc)" --target solwatch solwatch-sim solwatch-plot >&2

if [ $# -gt 0 ]; then
  case "$1" in
    -*) exec build/app/solwatch "$@" ;;
    *) exec build/app/solwatch -s "$@" ;;
  esac
fi

# No device given: start the simulated charger (a simulated day passes in
# 24 minutes) and watch it. Ctrl-C ends both.
sim_out=$(mktemp)
build/sim/solwatch-sim --time-scale 60 > "$sim_out" &
sim=$!
trap 'kill $sim 2> /dev/null || true; rm -f "$sim_out"' EXIT
for _ in $(seq 50); do
  port=$(head -n 1 "$sim_out")
  [ -n "$port" ] && break
  sleep 0.1
done
echo "solwatch-sim serves a simulated charger on $port; a row a second, Ctrl-C ends." >&2
build/app/solwatch -s "$port" -f
