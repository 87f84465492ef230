#!/usr/bin/env bash
# The whole test suite: a normal build, an AddressSanitizer + UBSan build,
# a ThreadSanitizer build of the threaded suites, and the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
configure() { cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${@:2}" > /dev/null; }

echo "== normal build"
configure build
cmake --build build -j"$jobs"
ctest --test-dir build -j2 --output-on-failure

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
configure build-asan -DSOLWATCH_SANITIZE=address
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-asan -j2 --output-on-failure

echo "== ThreadSanitizer (threaded suites)"
configure build-tsan -DSOLWATCH_SANITIZE=thread
cmake --build build-tsan -j"$jobs"
# TSan needs an address layout it knows; newer kernels randomise more. The
# threaded suites, then whole dump runs of the TSan-built program.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
setarch "$(uname -m)" -R ctest --test-dir build-tsan -j2 -L threaded --output-on-failure
setarch "$(uname -m)" -R ctest --test-dir build-tsan -j2 --output-on-failure \
  -R 'DumpMode.FastVariant|DumpMode.ChannelsVariant|Signals.EndTheDump|Failures.PulledCable'
unset TSAN_OPTIONS

echo "== fuzz targets"
bash scripts/fuzz.sh 30
