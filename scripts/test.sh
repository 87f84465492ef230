#!/usr/bin/env bash
# The whole test suite: a normal build, the Debian package (lintian, its
# layout, the unit's exposure), an arm64 cross build run under qemu-user, an
# AddressSanitizer + UBSan build, a ThreadSanitizer build of the threaded
# suites and of whole dump runs, and the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
# Most end-to-end tests wait on the simulator's line and clock, not on the
# processor, so more of them run at once than there are cores.
test_jobs=$((jobs * 2))
configure() { cmake -S . -B "$1" -G Ninja "${@:2}" > /dev/null; }
# Sanitizer builds: light optimisation and line tables only, which keep
# reports readable and the builds quick.
sanitizer_flags=(-DCMAKE_BUILD_TYPE=None "-DCMAKE_CXX_FLAGS=-O1 -g1")
started=$SECONDS
lap() { echo "-- $1 done after $((SECONDS - started)) s"; }
counts=$(mktemp)
trap 'rm -f "$counts"' EXIT
# Runs a ctest command line and keeps the number of tests it ran for the
# closing count (a failure ends the script here).
run_ctest() {
  local log; log=$(mktemp)
  "$@" 2>&1 | tee "$log"
  grep -oE 'tests failed out of [0-9]+' "$log" | awk '{n += $5} END {print n + 0}' >> "$counts"
  rm -f "$log"
}

echo "== normal build"
# The default install prefix, named for a reused tree: the package must
# install under /usr all the same. The tests are named too, as
# scripts/run.sh turns them off in the same folder.
configure build -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DCMAKE_INSTALL_PREFIX=/usr/local \
  -DSOLWATCH_TESTS=ON
cmake --build build -j"$jobs"
run_ctest ctest --test-dir build -j"$test_jobs" --output-on-failure
lap "normal build and tests"

echo "== Debian package"
stage=$SECONDS
rm -f build/solwatch_*.deb
(cd build && cpack -G DEB > /dev/null)
dpkg-deb -f build/solwatch_*.deb Package Version Architecture Depends Recommends
dpkg -c build/solwatch_*.deb
bash tests/dist/check_package.sh build/solwatch_*.deb
echo "-- package: $((SECONDS - stage)) s"
lap "Debian package"

echo "== arm64: cross build and package, tests under qemu-user"
stage=$SECONDS
bash scripts/build-arm64.sh --tests build-arm64
dpkg-deb -f build-arm64/solwatch_*_arm64.deb Architecture Depends
run_ctest ctest --test-dir build-arm64 -j2 --output-on-failure -L '^(log|hex|image|identity|fields|dumper|sim)$' \
  -E '^SimProcess\.'  # these start the simulator program itself, which needs binfmt_misc
bash scripts/arm64-e2e.sh build-arm64 build
echo "-- arm64: $((SECONDS - stage)) s"
lap "arm64"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
configure build-asan -DSOLWATCH_SANITIZE=address "${sanitizer_flags[@]}"
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  run_ctest ctest --test-dir build-asan -j"$test_jobs" --output-on-failure
lap "ASan build and tests"

echo "== ThreadSanitizer"
configure build-tsan -DSOLWATCH_SANITIZE=thread "${sanitizer_flags[@]}"
cmake --build build-tsan -j"$jobs" --target link_tests hex_tests reader_tests dumper_tests app_tests publish_tests \
  http_tests capture_tests solwatch solwatch-sim
# TSan needs an address layout it knows; newer kernels randomise more. The
# threaded suites, then whole dump runs of the TSan-built program.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
tsan_ctest=(setarch "$(uname -m)" -R ctest --test-dir build-tsan -j2 --output-on-failure)
# The http suite's browser, Prometheus and limit cases add nothing here
# that its two whole dump runs below do not.
# The scenarios replay captures against the TSan-built program, a whole run
# each; those of the full table spend a minute waiting for its first row,
# with the same threads as the fast ones, and run in the other stages only.
run_ctest "${tsan_ctest[@]}" -L '^(link|hex|reader|dumper|http|capture|scenarios)$' \
  -E '^(HttpEndToEnd|Prometheus|Page)\.|^Scenario\.(full-variant|history-version)'
run_ctest "${tsan_ctest[@]}" -R 'DumpMode.FastVariant|DumpMode.ChannelsVariant|Signals.EndTheDump|Failures.PulledCable|Reconnect.HangUpMidDump|Reconnect.SilenceBeyond|Reconnect.StopWhileWaiting|TryoutFaults.StopsAtRandom|MqttPublisher\.|MqttEndToEnd.StateMessagesAreTheCsvRows|HttpEndToEnd.EventsFollowTheCsvRows|HttpEndToEnd.HealthzFollowsTheLink'
unset TSAN_OPTIONS
lap "TSan build and tests"

echo "== fuzz targets"
bash scripts/fuzz.sh 20
lap "fuzzing"

echo "tests: $(awk '{n += $1} END {print n}' "$counts") passed, 0 failed"
