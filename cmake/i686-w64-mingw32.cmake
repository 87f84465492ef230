# Cross build for 32-bit Windows with Debian's mingw-w64 compilers; see
# x86_64-w64-mingw32.cmake.
#   cmake -S . -B build-windows/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
set(SOLWATCH_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
