#!/usr/bin/env bash
# Cross-builds solwatch.exe for 64-bit and 32-bit Windows with Debian's
# mingw-w64 compilers and packs a zip for each:
#   bash scripts/build-windows.sh [--tests | --tests-64 | --prepare] [BUILD_DIR]
# gives BUILD_DIR/solwatch-VERSION-win64.zip and solwatch-VERSION-win32.zip
# (BUILD_DIR: build-windows), each with solwatch.exe, the README and the
# manual page as text. --tests also builds the unit tests of the pure
# libraries for both and runs them under wine; --tests-64 for the 64-bit
# program only (the test command's stage, which runs the 32-bit program
# end to end under wine32 instead). --prepare only installs the
# packages and fetches Boost's source (scripts/test.sh does that beside its
# first build, which uses the processor, while this waits on the network).
#
# Boost is not packaged for mingw: its Debian source is fetched once (apt-get
# source, into BUILD_DIR/boost-src) and the compiled libraries the program
# needs are built once per architecture, static, into BUILD_DIR/prefix-ARCH;
# a later run reuses them. GoogleTest, for --tests, is built the same way
# from the source that libgtest-dev ships.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
source scripts/wine-com.sh

tests=OFF tests32=OFF prepare=0
case "${1:-}" in
  --tests) tests=ON tests32=ON; shift ;;
  --tests-64) tests=ON; shift ;;
  --prepare) prepare=1; shift ;;
esac
build=$(realpath -m "${1:-build-windows}")
jobs=$(nproc)

bash scripts/install-deps.sh --windows >&2
mkdir -p "$build"

# The compiled Boost libraries that the program links (CMakeLists.txt).
boost_libraries=(thread chrono program_options regex system)

fetch_boost() {
  local src=$build/boost-src
  if [ ! -x "$src/b2" ]; then
    rm -rf "$src" && mkdir -p "$src"
    echo "fetching Boost's Debian source" >&2
    (cd "$src" && apt-get source --only-source boost1.74 > apt-source.log 2>&1) ||
      { cat "$src/apt-source.log" >&2; exit 1; }
    local unpacked
    unpacked=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name 'boost1.74*' | head -n 1)
    # b2 itself is a program of the build machine; its grammar is made with
    # bison, as Debian's own build of the package does.
    (cd "$unpacked/tools/build" && bison -y -d -o src/engine/jamgram.cpp src/engine/jamgram.y)
    (cd "$unpacked" && ./bootstrap.sh > "$src/bootstrap.log" 2>&1) || { cat "$src/bootstrap.log" >&2; exit 1; }
    ln -sfn "$unpacked" "$src/tree"
    ln -sfn "$unpacked/b2" "$src/b2"
  fi
}

# build_boost TRIPLE BITS PREFIX: the static libraries and headers in PREFIX.
# A prefix is reused while it was built with the same arguments.
build_boost() {
  local triple=$1 bits=$2 prefix=$3
  local jam=$build/boost-$bits.jam
  local arguments=(--user-config="$jam" toolset=gcc-mingw target-os=windows threadapi=win32
    address-model="$bits" link=static runtime-link=static variant=release --layout=system
    # Small code rather than the release variant's -O3: none of these is on a
    # hot path, and they build in three quarters of the time.
    optimization=space)
  # 32-bit Windows gets the 64-bit time_t of the program's own build
  # (cmake/i686-w64-mingw32.cmake).
  [ "$bits" = 64 ] || arguments+=(define=__MINGW_USE_VC2005_COMPAT)
  local library
  for library in "${boost_libraries[@]}"; do arguments+=("--with-$library"); done
  [ "$(cat "$prefix/.boost-built" 2> /dev/null)" = "${arguments[*]}" ] && return
  rm -rf "$prefix" "$build/boost-obj-$bits"
  echo "using gcc : mingw : $triple-g++-posix ;" > "$jam"
  local started=$SECONDS
  echo "building Boost for $triple" >&2
  (cd "$build/boost-src/tree" &&
    nice -n 5 ./b2 -j"$jobs" -q "${arguments[@]}" --build-dir="$build/boost-obj-$bits" --prefix="$prefix" install \
      > "$build/boost-$bits.log" 2>&1) || { tail -n 40 "$build/boost-$bits.log" >&2; exit 1; }
  echo "Boost for $triple: $((SECONDS - started)) s" >&2
  echo "${arguments[*]}" > "$prefix/.boost-built"
}

# nlohmann-json is header-only: its Debian headers and CMake package, seen
# from the prefix so that the package names the prefix's include folder.
link_json() {
  local prefix=$1
  mkdir -p "$prefix/include" "$prefix/share/cmake"
  ln -sfn /usr/include/nlohmann "$prefix/include/nlohmann"
  rm -rf "$prefix/share/cmake/nlohmann_json"
  cp -r /usr/share/cmake/nlohmann_json "$prefix/share/cmake/nlohmann_json"
}

build_gtest() {
  local toolchain=$1 prefix=$2
  [ -f "$prefix/.gtest-built" ] && return
  rm -rf "$build/gtest-$(basename "$prefix")"
  cmake -S /usr/src/googletest -B "$build/gtest-$(basename "$prefix")" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=ON \
    -Dgtest_disable_pthreads=OFF > /dev/null
  nice -n 5 cmake --build "$build/gtest-$(basename "$prefix")" -j"$jobs" --target install > /dev/null
  touch "$prefix/.gtest-built"
}

version=$(sed -n 's/^project(solwatch VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# Text files for Windows' own editors: CR LF line ends.
crlf() { sed 's/\r$//; s/$/\r/'; }

# Only Windows' own DLLs may be imported: the runtimes are inside the .exe.
check_imports() {
  local triple=$1 exe=$2 dll
  while read -r dll; do
    case "${dll,,}" in
      kernel32.dll | msvcrt.dll | ws2_32.dll | mswsock.dll | advapi32.dll | user32.dll | shell32.dll | \
        bcrypt.dll | psapi.dll | api-ms-win-*) ;;
      *) echo "$exe imports $dll, which Windows does not have" >&2; exit 1 ;;
    esac
  done < <("$triple-objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p')
}

package() {
  local name=$1 exe=$2
  local stage=$build/$name
  rm -rf "$stage" "$build/$name.zip" && mkdir -p "$stage"
  cp "$exe" "$stage/solwatch.exe"
  crlf < README.md > "$stage/README.txt"
  mandoc -T utf8 dist/solwatch.1 | col -b | crlf > "$stage/solwatch.txt"
  (cd "$build" && zip -q -r -X "$name.zip" "$name")
  rm -rf "$stage"
  echo "$build/$name.zip"
}

# build_arch SUFFIX TRIPLE BITS FILE_TYPE TESTS(ON/OFF)
build_arch() {
  local suffix=$1 triple=$2 bits=$3 type=$4 tests=$5
  local prefix=$build/prefix-$suffix tree=$build/$suffix
  local toolchain=$source_dir/cmake/$triple.cmake
  build_boost "$triple" "$bits" "$prefix"
  link_json "$prefix"
  [ "$tests" = OFF ] || build_gtest "$toolchain" "$prefix"
  local started=$SECONDS
  cmake -S . -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DSOLWATCH_WINDOWS_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DSOLWATCH_TESTS=$tests > /dev/null
  # With the tests, the tree's whole build: the program and the suites
  # that the Windows build has (tests/CMakeLists.txt).
  local targets=(solwatch)
  [ "$tests" = OFF ] || targets=(all)
  nice -n 5 cmake --build "$tree" -j"$jobs" --target "${targets[@]}"
  echo "solwatch for $triple: $((SECONDS - started)) s" >&2
  local described
  described=$(file -b "$tree/app/solwatch.exe")
  echo "solwatch.exe: $described"
  [[ "$described" == "$type"* ]] || { echo "solwatch.exe is no $type" >&2; exit 1; }
  check_imports "$triple" "$tree/app/solwatch.exe"
  package "solwatch-$version-$suffix" "$tree/app/solwatch.exe"
}

# ctest runs each suite under wine (the toolchain files' emulator), in a
# wine prefix of the build's own. The prefix is made and a server of ours
# started before the suites: wine programs that start together on a prefix
# that is not there yet race to make it, and a server that a suite started
# would shut down between two suites, under the next one's start.
# Each suite spends most of its time in wine's start, so several run at once.
run_tests() {
  wine_prefix "$build" || return 1
  ctest --test-dir "$build/$1" -j$((jobs * 2)) --output-on-failure
}

fetch_boost
[ "$prepare" -eq 0 ] || exit 0
build_arch win64 x86_64-w64-mingw32 64 "PE32+ executable (console) x86-64" "$tests"
build_arch win32 i686-w64-mingw32 32 "PE32 executable (console) Intel 80386" "$tests32"
status=0
[ "$tests" = OFF ] || run_tests win64 || status=1
[ "$tests32" = OFF ] || run_tests win32 || status=1
exit $status
