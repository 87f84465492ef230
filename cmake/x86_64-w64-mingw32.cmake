# Cross build for 64-bit Windows with Debian's mingw-w64 compilers (the
# -posix ones, whose libstdc++ has std::thread and std::mutex), against the
# static Boost libraries that scripts/build-windows.sh builds.
#   cmake -S . -B build-windows/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake
set(SOLWATCH_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
