# The Debian package of the installed tree (cmake/Install.cmake), made from a build with
#   cd BUILD && cpack -G DEB        ->  magnikeys_<version>_amd64.deb
# Its dependencies on libraries come from dpkg-shlibdeps; the platform library is private to
# the package (lib/magnikeys), so dpkg-shlibdeps is told where it is.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME magnikeys)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Magnikeys developers <magnikeys@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "magnifying on-screen keyboard for touch screens")
set(CPACK_PACKAGE_DESCRIPTION "Magnikeys is an on-screen keyboard that shows the keys under the finger enlarged
while it is down. magnikeys-x11 runs it as the on-screen keyboard of an X11 desktop:
docked at the bottom of the screen, typing into the focused program, shown when a
text field takes the focus. pocketsim runs it on a simulated pocket device.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CPACK_PACKAGING_INSTALL_PREFIX}/${MK_INSTALL_LIBDIR})
# Following the focus needs the accessibility bus; text falls back to DejaVu without Wine's
# metric twin of the device's face.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "at-spi2-core, fonts-wine | fonts-dejavu-core")
include(CPack)
