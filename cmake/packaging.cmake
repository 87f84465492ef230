# The Debian package, from a configured and built tree:
#   cmake -S . -B build -G Ninja && cmake --build build
#   (cd build && cpack -G DEB)
# It holds what the install rules of the subsystems name: the programs, the
# service unit, its options file, man pages, bash completion and the
# Prometheus and Grafana examples; and the Debian files below. A cross
# build (see cmake/aarch64-linux-gnu.cmake) gives the package of its target.

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
(solwatch@PORT); it can publish its rows over MQTT, serve them as a live
web page and as Prometheus metrics over HTTP, and solwatch-plot
draws recorded tables. solwatch-sim plays a charger on a pseudo-terminal,
for trying it all without hardware.")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # solwatch_VERSION-RELEASE_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
# A Debian package installs under /usr, whatever the tree was configured
# for; the service unit is made at install time and names the program there.
# DESTDIR staging keeps that prefix, and /etc, as they are in the package.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${CPACK_PACKAGING_INSTALL_PREFIX})

# The Debian files: copyright, changelog, /etc/default/solwatch as a
# conffile, and maintainer scripts that tell systemd about the unit.
set(debian_dir ${CMAKE_CURRENT_SOURCE_DIR}/dist/debian)
install(FILES ${debian_dir}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The changelog's latest entry must be the package's version.
file(STRINGS ${debian_dir}/changelog.Debian latest LIMIT_COUNT 1)
set(package_version "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
if(NOT latest MATCHES "^solwatch \\(${package_version}\\) ")
  message(FATAL_ERROR "dist/debian/changelog.Debian: the latest entry is not ${package_version}")
endif()
solwatch_install_gzipped(dist/debian/changelog.Debian ${CMAKE_INSTALL_DOCDIR})
install(FILES ${debian_dir}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
  RENAME solwatch)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${debian_dir}/conffiles ${debian_dir}/postinst ${debian_dir}/prerm ${debian_dir}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Run-time dependencies from the libraries the programs link (dpkg-shlibdeps),
# for the target's architecture, after the page's chart library, which the
# HTTP server serves from Debian's copy; solwatch-plot draws with gnuplot.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libjs-dygraphs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS gnuplot-nox)
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
endif()

include(CPack)
