#!/usr/bin/env bash
# The Debian packages that solwatch needs, in two lists, each package named
# once; installs those that are missing, as root or with sudo, on Debian 12.
#   bash scripts/install-deps.sh              both lists
#   bash scripts/install-deps.sh --run        the run list alone (scripts/run.sh)
#   bash scripts/install-deps.sh --windows    the test list's Windows part
#                                             alone (scripts/build-windows.sh)
#   bash scripts/install-deps.sh --no-windows both lists but that part
#                                             (scripts/test.sh, which installs
#                                             it beside the first build)
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
# The test list's Windows part: the Windows build (scripts/build-windows.sh)
# and its tests under wine.
windows=(
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix zip bison
  wine wine64 wine32:i386
)

# The Windows build (scripts/build-windows.sh) takes Boost's Debian source
# (apt-get source, so deb-src entries) and runs its 32-bit programs under
# wine32 (the i386 architecture). Both are added once, before the install.
windows_sources() {
  local SUDO="" update=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    update=1
  fi
  # deb-src entries beside the deb ones, from the same mirrors and suites.
  if ! grep -rqsE '^(deb-src |Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
        $SUDO tee /etc/apt/sources.list.d/debian-src.sources > /dev/null
    else
      sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
        $SUDO tee /etc/apt/sources.list.d/debian-src.list > /dev/null
    fi
    update=1
  fi
  [ -z "$update" ] || $SUDO apt-get update
}

case "${1:-}" in
  --list)
    case "${2:-}" in
      run) printf '%s\n' "${run[@]}" ;;
      test) printf '%s\n' "${test[@]}" "${windows[@]}" ;;
      *) echo "usage: $0 --list run|test" >&2; exit 2 ;;
    esac ;;
  --run) exec bash "$(dirname "$0")/install-missing.sh" "${run[@]}" ;;
  --windows) windows_sources
      exec bash "$(dirname "$0")/install-missing.sh" "${windows[@]}" ;;
  --no-windows) exec bash "$(dirname "$0")/install-missing.sh" "${run[@]}" "${test[@]}" ;;
  "") windows_sources
      exec bash "$(dirname "$0")/install-missing.sh" "${run[@]}" "${test[@]}" "${windows[@]}" ;;
  *) echo "usage: $0 [--run | --windows | --no-windows | --list run|test]" >&2; exit 2 ;;
esac
