# scripts/package: a Debian package of the Linux build, a zip of the Windows command line.
set(CPACK_PACKAGE_NAME panelgrab)
set(CPACK_PACKAGE_VENDOR "Panelgrab")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copies a mobile phone's display to the computer over a serial port")
# One string: a CMake list would put its semicolons into the package's description.
set(CPACK_PACKAGE_DESCRIPTION
    "Panelgrab talks to a phone with AT commands over a serial port, reads a\n\
display's picture as lines of hex text and saves it as a BMP or PNG file. It\n\
also identifies the model, presses keys, listens for key events and dumps the\n\
phone's GUI object. The package holds the window (panelgrab), the command-line\n\
tool (panelgrab-cli) and a simulated phone (panelgrab-phonesim) for trying\n\
everything without hardware.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME panelgrab-cli-${PROJECT_VERSION}-windows-x86_64)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Panelgrab developers <panelgrab@example.org>")
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # The shared libraries the programs link (Qt 6, zlib, ...) become the package's dependencies.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # The window's file dialogs and the icon theme fall back gracefully without these.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
