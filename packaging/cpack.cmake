# The Debian package torvane-update (cpack -G DEB in a build configured with
# -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr): the three programs
# in /usr/bin, the menu entry and the icons. scripts/package-check builds and
# checks it.
set(CPACK_PACKAGE_NAME torvane-update)
set(CPACK_PACKAGE_VENDOR "TorVane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "loads new firmware and data into a TorVane machine over RS-232")
set(CPACK_PACKAGE_CONTACT "TorVane Update maintainers <torvane-update@example.com>")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # torvane-update_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The long description; CPack puts the summary line above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A one-window desktop tool for field operators. It finds the machine among
COM1 to COM9, wakes its loader and sends every image file named by the
transfer list of the chosen source in CRC-16-protected frames.

Also contains torvane-s19, which turns a Motorola S-record file into
code.bin and vector.bin, and torvane-sim, a simulated machine on a
pseudo-terminal for trying the program without hardware.")
# The shared libraries the programs link (Qt 6 Widgets, Gui, Core and
# SerialPort, the C and C++ runtimes) become the Depends line, with the
# versions found by dpkg-shlibdeps (package dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window is laid out for Arial's widths; Liberation Sans has the same
# widths, so no caption is cut off where Arial is not installed.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2 | fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

set(CPACK_GENERATOR DEB)
include(CPack)
