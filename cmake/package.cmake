# The Debian package, built by `cpack -G DEB` in the build folder: what `cmake --install` lays down,
# under /usr, with its library dependencies found by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME cadenzo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "metronome and player of tuning notes")
# Lines of at most 80 columns, as dpkg shows them.
set(CPACK_PACKAGE_DESCRIPTION "Cadenzo is a metronome (30 to 240 beats per minute, accented clicks for
seven time signatures, flashing colour bars) and a player of tuning notes for
concert band, guitar, bass, cello, viola and violin, in the small window of a
240 x 320 handheld screen.")
set(CADENZO_MAINTAINER "Cadenzo developers <developers@cadenzo.org>" CACHE STRING
  "The package's maintainer, as Name <address>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${CADENZO_HOMEPAGE}")
set(CPACK_PACKAGE_CONTACT "${CADENZO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CADENZO_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)   # cadenzo_VERSION-RELEASE_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
# Its terms allow copying but not selling.
set(CPACK_DEBIAN_PACKAGE_SECTION non-free/sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The fonts it draws with, and the opener of the help page.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wine | fonts-dejavu-extra")
# The help page's opener; under Wayland, the window's title bar (drawn by libdecor's plugin).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, libdecor-0-plugin-1-cairo, at-spi2-core")

# Debian's documents: the terms (machine-readable) and the package's changelog, compressed.
set(CADENZO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/cadenzo)
install(FILES ${CMAKE_SOURCE_DIR}/data/debian/copyright DESTINATION ${CADENZO_DOC_DIR})
configure_file(${CMAKE_SOURCE_DIR}/data/debian/changelog.in ${CMAKE_BINARY_DIR}/changelog.Debian @ONLY)
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.Debian.gz
  COMMAND ${GZIP} -9 -n -c ${CMAKE_BINARY_DIR}/changelog.Debian > ${CMAKE_BINARY_DIR}/changelog.Debian.gz
  DEPENDS ${CMAKE_BINARY_DIR}/changelog.Debian
  COMMENT "Compressing the changelog")
add_custom_target(cadenzo_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.Debian.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.Debian.gz DESTINATION ${CADENZO_DOC_DIR})
# The lintian tags accepted, each with its reason (see that file).
install(FILES ${CMAKE_SOURCE_DIR}/data/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
  RENAME cadenzo)
include(CPack)
