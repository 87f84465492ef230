#!/usr/bin/env bash
# Installs the Debian packages that building, testing and fuzzing need,
# when any is missing. Run as root (or with sudo) on Debian 12.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  libboost-dev libboost-program-options-dev libboost-thread-dev
  libboost-system-dev libboost-regex-dev
  libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  srecord binutils socat procps bc util-linux
  libsystemd-dev systemd libpaho-mqtt-dev libssl-dev nlohmann-json3-dev
  gnuplot-nox mosquitto mosquitto-clients openssl mandoc
  dpkg-dev file libpng-dev lintian
  libjs-dygraphs prometheus chromium wrk jq python3
)

exec bash "$(dirname "$0")/install-missing.sh" "${packages[@]}"
