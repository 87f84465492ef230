#!/usr/bin/env bash
# The Debian packages that solwatch needs, in two lists, each package named
# once; installs those that are missing, as root or with sudo, on Debian 12.
#   bash scripts/install-deps.sh              both lists (scripts/test.sh)
#   bash scripts/install-deps.sh --run        the run list alone (scripts/run.sh)
#   bash scripts/install-deps.sh --list run   prints a list, a package a line
#   bash scripts/install-deps.sh --list test    (installs nothing)
set -euo pipefail

# Building and running solwatch, solwatch-sim and solwatch-plot: the compiler
# and build tools, the libraries that the build's find_package and
# pkg_check_modules calls find (configured without the tests, as run.sh does),
# gnuplot, which solwatch-plot runs, and the page's chart library, which the
# HTTP server serves. The Dist.RunPackages test checks it against the files
# that the build finds, includes and links.
run=(
  g++ cmake ninja-build pkg-config
  libboost-dev libboost-program-options-dev libboost-thread-dev libboost-chrono-dev
  libboost-system-dev libboost-regex-dev
  libsystemd-dev libpaho-mqtt-dev libssl-dev nlohmann-json3-dev
  gnuplot-nox libjs-dygraphs
)
# On top of those, the test suites, the package checks, the sanitizer and
# fuzz builds, the benchmarks and what the tests start or call.
test=(
  make libgtest-dev libbenchmark-dev libpng-dev
  clang libclang-rt-14-dev
  srecord binutils socat procps bc util-linux
  systemd mosquitto mosquitto-clients openssl mandoc
  dpkg-dev file lintian
  prometheus chromium wrk jq python3 python3-serial
)

case "${1:-}" in
  --list)
    case "${2:-}" in
      run) printf '%s\n' "${run[@]}" ;;
      test) printf '%s\n' "${test[@]}" ;;
      *) echo "usage: $0 --list run|test" >&2; exit 2 ;;
    esac ;;
  --run) exec bash "$(dirname "$0")/install-missing.sh" "${run[@]}" ;;
  "") exec bash "$(dirname "$0")/install-missing.sh" "${run[@]}" "${test[@]}" ;;
  *) echo "usage: $0 [--run | --list run|test]" >&2; exit 2 ;;
esac
