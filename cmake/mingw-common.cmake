# What both Windows toolchain files share; SOLWATCH_MINGW_TRIPLE names the
# compiler prefix.
set(CMAKE_SYSTEM_NAME Windows)
if(SOLWATCH_MINGW_TRIPLE MATCHES "^x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()
set(CMAKE_C_COMPILER ${SOLWATCH_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SOLWATCH_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SOLWATCH_MINGW_TRIPLE}-windres)

# Libraries and headers of the target come from the mingw root and from the
# folders given in CMAKE_PREFIX_PATH (Boost, GoogleTest built for it);
# programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${SOLWATCH_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe with nothing beside it: the C++ and C runtimes and winpthread go
# into the program, so that only Windows' own DLLs remain to load.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run the programs under wine: Debian's wine command starts 32-bit
# programs with wine32 and 64-bit ones with wine64.
find_program(SOLWATCH_WINE wine)
if(SOLWATCH_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SOLWATCH_WINE})
endif()
