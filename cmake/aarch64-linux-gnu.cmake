# Cross build for 64-bit ARM (a Raspberry Pi 3, 4 or 5 with a 64-bit OS) on
# Debian with Debian's own parts: the g++-aarch64-linux-gnu compiler and the
# arm64 libraries installed through multiarch (dpkg --add-architecture arm64,
# then the -dev packages with :arm64). scripts/build-arm64.sh installs them.
#   cmake -S . -B build-arm64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Multiarch keeps the arm64 libraries beside the host's, under the same root:
# /usr/lib/aarch64-linux-gnu with their CMake and pkg-config files. Headers in
# /usr/include are shared.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Test discovery and ctest run the arm64 programs under qemu-user; its
# interpreter prefix "/" finds the arm64 loader and libraries of multiarch.
find_program(SOLWATCH_QEMU_AARCH64 qemu-aarch64)
if(SOLWATCH_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SOLWATCH_QEMU_AARCH64} -L /)
endif()
