# The Debian package, from a configured and built tree:
#   cmake -S . -B build -G Ninja -DCMAKE_INSTALL_PREFIX=/usr && cmake --build build
#   (cd build && cpack -G DEB)
# It holds what the install rules of the subsystems name: the programs, the
# service unit, man pages and bash completion. A cross build (see
# cmake/aarch64-linux-gnu.cmake) gives the package of its target.

set(CPACK_PACKAGE_NAME solwatch)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "solwatch developers")
set(CPACK_PACKAGE_CONTACT "solwatch developers <solwatch@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watch a solar charge controller over a serial port")
# Each line becomes a line of the long description that apt shows.
set(CPACK_PACKAGE_DESCRIPTION "solwatch reads an MPPT solar charge controller's TEXT blocks and HEX
answers on a serial line and writes its live values as a CSV table (a row
a minute or a second), prints its identity, or saves its EEPROM image.
It reconnects after a lost port and runs as a systemd service
(solwatch@PORT); it can publish its rows over MQTT, and solwatch-plot
draws recorded tables. solwatch-sim plays a charger on a pseudo-terminal,
for trying it all without hardware.")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # solwatch_VERSION-RELEASE_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
# The service unit names the program by its configured path, so the package
# installs under the prefix the tree was configured for (/usr for Debian).
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(STATUS "packaging: configure with -DCMAKE_INSTALL_PREFIX=/usr for a Debian package under /usr")
endif()

# Run-time dependencies from the libraries the programs link (dpkg-shlibdeps),
# for the target's architecture; solwatch-plot draws with gnuplot.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS gnuplot-nox)
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
endif()

include(CPack)
