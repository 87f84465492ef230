#!/usr/bin/env bash
# Builds solwatch and runs it. Without a port it is shown the simulated
# charger (solwatch-sim); with one it watches the device there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j"$(nproc)" --target solwatch

build/app/solwatch --help
