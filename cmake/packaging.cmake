# The Debian package: `cpack -G DEB` in a build folder configured with
# -DCMAKE_INSTALL_PREFIX=/usr packs what `cmake --install` installs (both
# programs, the desktop entry, the icons, the udev rule in
# /usr/lib/udev/rules.d), declares the shared libraries' packages as its
# dependencies, and reloads udev's rules on installation where udev runs.
set(CPACK_PACKAGE_NAME "tabrelium")
set(CPACK_PACKAGE_VENDOR "Tabrelium")
set(CPACK_PACKAGE_CONTACT "Tabrelium developers <tabrelium@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Prepares product tables and downloads them into a handheld USB display device")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Tabrelium reads a product list (txt, csv, xls, xlsx, ods, dbf), shows how each record\n"
    "looks on the device's 20-column display, and downloads the table into one or several\n"
    "handheld USB HID devices at once. tabrelium is the window, tabrelium-cli the same\n"
    "engine for scripts.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the shared libraries: Qt finds the desktop's display through a
# plugin no library links, and the window's Chinese wants a font that has it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/res/debian/postinst;${PROJECT_SOURCE_DIR}/res/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
