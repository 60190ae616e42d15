# The Debian package, built by `cpack -G DEB` in the build folder: what `cmake --install` lays down,
# under /usr, with its library dependencies found by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME cadenzo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "metronome and player of tuning notes")
set(CPACK_PACKAGE_DESCRIPTION "Cadenzo is a metronome (30 to 240 beats per minute, accented clicks for
seven time signatures, flashing colour bars) and a player of tuning notes for concert band, guitar,
bass, cello, viola and violin, in the small window of a 240 x 320 handheld screen.")
set(CPACK_PACKAGE_CONTACT "The Cadenzo developers <cadenzo@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)   # cadenzo_VERSION-RELEASE_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The fonts it draws with, and the opener of the help page.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wine | fonts-dejavu-extra")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
