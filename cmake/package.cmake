# The Debian package: `cpack -G DEB` in a build folder after building it. The package
# holds what cmake/install.cmake installs, under /usr, with its binaries stripped;
# dpkg-shlibdeps finds the library dependencies, and the text of the screen needs the
# Mincho face. tools/check-package builds it and checks it as a user would meet it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorel)
set(CPACK_PACKAGE_VENDOR "Quorel developers")
set(CPACK_PACKAGE_CONTACT "Quorel developers <maintainer@quorel.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "offline map viewer and GPS track logger for touch screens")
set(CPACK_PACKAGE_DESCRIPTION
"Quorel shows a map made of 256 x 256 PNG or JPEG tiles (the z/x/y tree that
map tools export, or one MBTiles file) on a full-screen touch display,
without a network. It follows a GPS receiver that speaks NMEA over a serial
or USB line, records the journey as GPX tracks that survive a power cut,
draws GPX tracks and routes over the map, builds a route when the pen is
held on the map, and switches the display off to save the battery. Every
action is a tap: it is made for small handhelds, and runs in a window on a
desktop too. The quorel-tiles tool packs a tile tree into an MBTiles file
and back, checks the tiles of a card, and lists or fetches the tiles a trip
lacks.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-mincho")
include(CPack)
