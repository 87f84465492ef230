#!/usr/bin/env bash
# Cross-builds solwatch for arm64 (a Raspberry Pi or another 64-bit ARM board
# with Debian 12 or Raspberry Pi OS) and packages it:
#   bash scripts/build-arm64.sh [--tests] [BUILD_DIR]
# gives BUILD_DIR/solwatch_VERSION-1_arm64.deb (BUILD_DIR: build-arm64).
# --tests also builds the test suites that run under qemu-user (see
# arm64_suites). Installs what is missing first, as root or with sudo: the
# arm64 architecture for dpkg, the cross compiler, the arm64 libraries that the
# programs and tests link, and qemu-user.
set -euo pipefail
cd "$(dirname "$0")/.."

tests=OFF
[ "${1:-}" = --tests ] && { tests=ON; shift; }
build=${1:-build-arm64}

# Pure logic without threads that wait on timers: quick and exact under
# emulation. The others (link, reader, app...) run natively in the test script.
arm64_suites=(log_tests hex_tests image_tests identity_tests fields_tests row_tests dumper_tests output_tests
  sim_tests)

packages=(
  g++-aarch64-linux-gnu qemu-user dpkg-dev file
  libboost-dev:arm64 libboost-program-options-dev:arm64 libboost-thread-dev:arm64
  libboost-system-dev:arm64 libboost-regex-dev:arm64 libboost-chrono-dev:arm64
  libsystemd-dev:arm64 libpaho-mqtt-dev:arm64 libssl-dev:arm64 libgtest-dev:arm64 libpng-dev:arm64
)
# The arm64 packages need the architecture before apt-get update.
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
dpkg --print-foreign-architectures | grep -qx arm64 || $SUDO dpkg --add-architecture arm64
bash scripts/install-missing.sh "${packages[@]}"

# The package's programs are built by name and cpack builds nothing more, so
# the test suites are built only when asked for.
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
  -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DSOLWATCH_TESTS=$tests > /dev/null
programs=(solwatch solwatch-sim)
[ -f plot/CMakeLists.txt ] && programs+=(solwatch-plot)
targets=("${programs[@]}")
[ "$tests" = ON ] && targets+=("${arm64_suites[@]}")
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

# dpkg-shlibdeps finds the packages of the arm64 libraries for the Depends line.
rm -f "$build"/solwatch_*_arm64.deb
(cd "$build" && cpack -G DEB > /dev/null)
ls "$build"/solwatch_*_arm64.deb
