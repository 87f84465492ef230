#!/usr/bin/env bash
# The whole test suite: a normal build, the Debian package (lintian, its
# layout, the unit's exposure), an arm64 cross build run under qemu-user, an
# AddressSanitizer + UBSan build, a ThreadSanitizer build of the threaded
# suites and of whole dump runs, the Windows build run under wine, and the
# fuzz targets.
#
#   bash scripts/test.sh                      every stage
#   STAGES="package tsan" bash scripts/test.sh  only those (normal, package,
#                                             asan, windows, tsan, arm64,
#                                             fuzz); the package, arm64 and
#                                             windows stages need the normal
#                                             build folder, fuzz builds the
#                                             ASan tree
#
# Most tests wait on the simulator's line and clocks rather than on the
# processor, so the later stages' builds run beside the earlier stages' tests,
# at a lower priority. A table of the stages closes the run, also a failed one.
set -euo pipefail
cd "$(dirname "$0")/.."
stages=" ${STAGES:-normal package asan windows tsan arm64 fuzz} "
wanted() { [[ "$stages" == *" $1 "* ]]; }
# The test list but its Windows part, which (with Boost's source for the
# Windows build) is fetched and installed beside the normal build.
bash scripts/install-deps.sh --no-windows

jobs=$(nproc)
# Most end-to-end tests wait on the simulator's line and clock, not on the
# processor, so more of them run at once than there are cores.
test_jobs=$((jobs * 2))
# Sanitizer builds: light optimisation and line tables only, which keep
# reports readable and the builds quick.
sanitizer_flags=(-DCMAKE_BUILD_TYPE=None "-DCMAKE_CXX_FLAGS=-O1 -g1")
# The AddressSanitizer tree, on the way to the later stages, is built
# without optimisation: clang builds it in about 60 to 75 % of the time of
# -O1, and its tests mostly wait for the simulator's line.
asan_flags=(-DCMAKE_BUILD_TYPE=None "-DCMAKE_CXX_FLAGS=-O0 -g1")
fuzz_seconds=10

work=$(mktemp -d)
started=$SECONDS
if wanted windows; then
  (nice -n 10 bash scripts/build-windows.sh --prepare build-windows > "$work/windows-prepare.log" 2>&1
    echo $? > "$work/windows-prepare.status") &
fi
builder=""       # the process (and process group) of the background builds
rows=()          # the stage table
stage=""         # the stage running now, its start and its test counts
stage_start=0
stage_tests=0
stage_passed=0

begin_stage() {
  stage=$1 stage_start=$SECONDS stage_tests=0 stage_passed=0
  echo "== $1"
}
stage_row() {  # stage_row [FAILED]: the stage's line of the table
  local tests=- passed=-
  # The package checks are no counted tests.
  [ "$stage_tests" -eq 0 ] || tests=$stage_tests passed=$stage_passed
  rows+=("$(printf '%-28s %6d %7s %7s%s' "$stage" $((SECONDS - stage_start)) "$tests" "$passed" "${1:+  $1}")")
}
end_stage() {
  stage_row
  stage=""
}
print_table() {
  local name seconds
  [ -z "$stage" ] || stage_row FAILED
  # The builds beside the tests, each timed by itself.
  for seconds in "$work"/*.seconds "$work"/*.failed; do
    [ -e "$seconds" ] || continue
    name=$(basename "${seconds%.*}")
    if [ "${seconds##*.}" = failed ]; then
      rows+=("$(printf '%-28s %6s %7s %7s  FAILED' "$name build (beside)" - - -)")
    else
      rows+=("$(printf '%-28s %6d %7s %7s' "$name build (beside)" "$(cat "$seconds")" - -)")
    fi
  done
  echo
  printf '%-28s %6s %7s %7s\n' stage seconds tests passed
  printf '%s\n' "${rows[@]}"
  printf '%-28s %6d\n' "whole run" $((SECONDS - started))
}
finish() {
  local status=$?
  # The builds beside the tests stop with the script, however it ends.
  [ -z "$builder" ] || kill -- -"$builder" 2> /dev/null || true
  print_table
  rm -rf "$work"
  exit "$status"
}
trap finish EXIT

# Runs a ctest command line and adds its test counts to the stage's (a
# failure ends the script, with ctest's output shown above).
run_ctest() {
  local log=$work/ctest.log status=0
  "$@" 2>&1 | tee "$log" || status=$?
  count_ctest "$log" 1
  return "$status"
}
# count_ctest LOG N: adds the counts of the last N ctest summaries in LOG.
count_ctest() {
  local summary
  while read -r summary; do
    set -- $summary  # "F tests failed out of T"
    stage_tests=$((stage_tests + $6))
    stage_passed=$((stage_passed + $6 - $1))
  done < <(grep -oE '[0-9]+ tests failed out of [0-9]+' "$1" | tail -n "$2")
}
configure() { cmake -S . -B "$1" -G Ninja "${@:2}" > /dev/null; }

# The builds that run beside the tests, one after another, in their own
# process group; each leaves NAME.seconds when done, its output in NAME.log.
# One clang tree holds the AddressSanitizer tests and the fuzz targets: that
# costs less than a GCC tree for the one and a clang tree for the other.
build_asan() {
  # A tree that an older script built with GCC starts afresh with clang.
  grep -qs '^CMAKE_CXX_COMPILER:.*clang' build-asan/CMakeCache.txt || rm -rf build-asan
  configure build-asan -DCMAKE_CXX_COMPILER=clang++ -DSOLWATCH_SANITIZE=address -DSOLWATCH_FUZZ=ON \
    "${asan_flags[@]}"
  cmake --build build-asan -j"$jobs"
}
tsan_targets=(link_tests hex_tests reader_tests row_tests dumper_tests output_tests app_tests publish_tests http_tests
  capture_tests solwatch solwatch-sim)
build_tsan() {
  configure build-tsan -DSOLWATCH_SANITIZE=thread "${sanitizer_flags[@]}"
  cmake --build build-tsan -j"$jobs" --target "${tsan_targets[@]}"
}
build_arm64() { bash scripts/build-arm64.sh --tests build-arm64; }
# Both Windows programs and the 64-bit build of the pure libraries' suites,
# which the script runs under wine64 when they are built (their counts go
# into the stage); the 32-bit program runs end to end under wine32 below.
build_windows() {
  until [ -e "$work/windows-prepare.status" ]; do sleep 1; done
  cat "$work/windows-prepare.log"
  [ "$(cat "$work/windows-prepare.status")" -eq 0 ] || return 1
  bash scripts/build-windows.sh --tests-64 build-windows
}
build_beside() {
  local name start
  for name in "$@"; do
    start=$SECONDS
    if ! "build_$name" > "$work/$name.log" 2>&1; then
      touch "$work/$name.failed"
      return 1
    fi
    echo $((SECONDS - start)) > "$work/$name.seconds"
  done
}
# Waits for a build beside; its failure ends the script with its output.
await_build() {
  local name=$1
  until [ -e "$work/$name.seconds" ]; do
    if [ -e "$work/$name.failed" ] || { ! kill -0 "$builder" 2> /dev/null && [ ! -e "$work/$name.seconds" ]; }; then
      echo "== the $name build failed:"
      tail -n 100 "$work/$name.log"
      exit 1
    fi
    sleep 1
  done
}

if wanted normal; then
  begin_stage "normal build"
  # The default install prefix, named for a reused tree: the package must
  # install under /usr all the same. The tests are named too, as
  # scripts/run.sh turns them off in the same folder.
  configure build -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DCMAKE_INSTALL_PREFIX=/usr/local \
    -DSOLWATCH_TESTS=ON
  cmake --build build -j"$jobs"
  end_stage
fi

# In the order the stages below take them.
beside=()
{ wanted asan || wanted fuzz; } && beside+=(asan)
for name in windows tsan arm64; do wanted "$name" && beside+=("$name"); done
if [ ${#beside[@]} -gt 0 ]; then
  set -m  # its own process group, which the end of the script stops whole
  (
    trap - EXIT  # the table is the script's own
    exec nice -n 10 bash -c "$(declare -p jobs sanitizer_flags asan_flags tsan_targets work); $(declare -f configure \
      build_asan build_tsan build_arm64 build_windows build_beside); build_beside ${beside[*]}"
  ) &
  builder=$!
  set +m
fi

if wanted normal; then
  begin_stage "normal tests"
  run_ctest ctest --test-dir build -j"$test_jobs" --output-on-failure
  end_stage
fi

if wanted package; then
  begin_stage "Debian package"
  rm -f build/solwatch_*.deb
  (cd build && cpack -G DEB > /dev/null)
  dpkg-deb -f build/solwatch_*.deb Package Version Architecture Depends Recommends
  dpkg -c build/solwatch_*.deb
  bash tests/dist/check_package.sh build/solwatch_*.deb
  end_stage
fi

if wanted asan; then
  await_build asan
  begin_stage "ASan+UBSan tests"
  # The browser, Prometheus, the site bridge and the slow client test other
  # programs against ours, which the normal stage does; here run the tests
  # of our own code's memory.
  ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    run_ctest ctest --test-dir build-asan -j"$test_jobs" --output-on-failure \
      -E '^(Page|Prometheus)\.|^MqttEndToEnd\.SiteBridge'
  end_stage
fi

if wanted windows; then
  await_build windows
  begin_stage "Windows under wine"
  # The 64-bit suites ran under wine with their build, beside.
  grep -E '^(solwatch.exe|Boost for|solwatch for)|tests (passed|failed)' "$work/windows.log" || true
  count_ctest "$work/windows.log" 1
  # End to end: the 64-bit program in every case, the 32-bit one in a few;
  # each case a test of the stage.
  e2e_log=$work/windows-e2e.log
  e2e_status=0
  { bash scripts/windows-e2e.sh build-windows/win64/app/solwatch.exe build build-windows &&
    bash scripts/windows-e2e.sh --quick build-windows/win32/app/solwatch.exe build build-windows; } 2>&1 |
    tee "$e2e_log" || e2e_status=$?
  e2e_passed=$(grep -c '^windows end to end: .* ok (' "$e2e_log" || true)
  # A failed case ends its script: one more test, not passed.
  stage_tests=$((stage_tests + e2e_passed + (e2e_status != 0)))
  stage_passed=$((stage_passed + e2e_passed))
  WINEPREFIX=$PWD/build-windows/wineprefix wineserver -k 2> /dev/null || true
  [ "$e2e_status" -eq 0 ] || exit 1
  end_stage
fi

if wanted tsan; then
  await_build tsan
  begin_stage "TSan tests"
  # TSan needs an address layout it knows; newer kernels randomise more. The
  # threaded suites, then whole dump runs of the TSan-built program.
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
  tsan_ctest=(setarch "$(uname -m)" -R ctest --test-dir build-tsan -j2 --output-on-failure)
  # The http suite's browser, Prometheus and limit cases add nothing here
  # that its two whole dump runs below do not.
  # The scenarios are whole runs of the TSan-built program, each variant of
  # the dump among them.
  run_ctest "${tsan_ctest[@]}" -L '^(link|hex|reader|row|dumper|output|http|capture|scenarios)$' \
    -E '^(HttpEndToEnd|Prometheus|Page)\.'
  run_ctest "${tsan_ctest[@]}" -R 'Signals.EndTheDump|Failures.PulledCable|Reconnect.HangUpMidDump|Reconnect.SilenceBeyond|Reconnect.StopWhileWaiting|TryoutFaults.StopsAtRandom|MqttPublisher\.|MqttEndToEnd.StateMessagesAreTheCsvRows|MqttEndToEnd.SlowBrokerStillGetsOffline|HttpEndToEnd.EventsFollowTheCsvRows|HttpEndToEnd.HealthzFollowsTheLink'
  unset TSAN_OPTIONS
  end_stage
fi

if wanted arm64; then
  await_build arm64
  begin_stage "arm64 under qemu"
  dpkg-deb -f build-arm64/solwatch_*_arm64.deb Architecture Depends
  run_ctest ctest --test-dir build-arm64 -j2 --output-on-failure \
    -L '^(log|hex|image|identity|fields|row|dumper|output|sim)$' \
    -E '^SimProcess\.'  # these start the simulator program itself, which needs binfmt_misc
  bash scripts/arm64-e2e.sh build-arm64 build
  end_stage
fi

if wanted fuzz; then
  await_build asan
  begin_stage "fuzz (${fuzz_seconds} s a target)"
  # Each seed corpus is replayed whole before its target's fuzzing.
  bash scripts/fuzz.sh "$fuzz_seconds" build-asan | tee "$work/fuzz.out"
  # Its last line counts the targets, each a test here.
  stage_tests=$(sed -n 's/^fuzz: \([0-9]*\) targets.*/\1/p' "$work/fuzz.out")
  stage_tests=${stage_tests:-0} stage_passed=${stage_tests:-0}
  end_stage
fi

[ -z "$builder" ] || wait "$builder"
builder=""
