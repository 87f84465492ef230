# The Windows build, cross-built with cmake/x86_64-w64-mingw32.cmake or
# cmake/i686-w64-mingw32.cmake (scripts/build-windows.sh): solwatch.exe
# and the unit tests of the libraries that stand on no port or process.
# Not in it: the simulator, the plot program, the MQTT client (Paho is not
# built for Windows), the service files and service notifications.

# Where scripts/build-windows.sh put Boost (and GoogleTest) for this target.
set(SOLWATCH_WINDOWS_PREFIX "" CACHE PATH "Boost, GoogleTest and nlohmann-json built or linked for Windows")
if(SOLWATCH_WINDOWS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${SOLWATCH_WINDOWS_PREFIX})
endif()

# Boost's libraries were built with the C++ runtime inside
# (runtime-link=static), as the program links it.
set(Boost_USE_STATIC_RUNTIME ON)

set(SOLWATCH_SUBSYSTEMS "log;hex;image;link;identity;reader;dumper;publish;http;app"
  CACHE STRING "subsystems to build")

# Windows 7 and later; windows.h without its min and max macros and its
# rarely used parts.
add_compile_definitions(_WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
# Asio's sockets (the --http server) and its serial port on Winsock; and
# mingw's stack protector library, which the hardening flags call into
# (static, as everything else, so no libssp DLL).
link_libraries(ws2_32 mswsock ssp)
