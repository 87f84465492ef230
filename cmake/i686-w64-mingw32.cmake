# Cross build for 32-bit Windows with Debian's mingw-w64 compilers; see
# x86_64-w64-mingw32.cmake.
#   cmake -S . -B build-windows/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
set(SOLWATCH_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# A 64-bit time_t, as on 64-bit Windows: mingw-w64 otherwise gives 32-bit
# Windows a 32-bit one, whose clock ends in January 2038. The C runtime's
# 64-bit time calls (_time64, _localtime64_s...) are msvcrt.dll's own.
set(SOLWATCH_MINGW_DEFINES -D__MINGW_USE_VC2005_COMPAT)
set(CMAKE_C_FLAGS_INIT "${SOLWATCH_MINGW_DEFINES}")
set(CMAKE_CXX_FLAGS_INIT "${SOLWATCH_MINGW_DEFINES}")
