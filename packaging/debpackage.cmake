# The .deb (./run package): everything above in one package, its dependencies taken from the
# shared libraries the programs link (dpkg-shlibdeps), and maintainer scripts that enter the
# control into the system-wide class registry and take it out again.
set(ORSEL_PACKAGE_PREFIX /usr)
foreach(script postinst prerm)
  configure_file(debian/${script}.in ${CMAKE_CURRENT_BINARY_DIR}/debian/${script} @ONLY)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orsel)
set(CPACK_PACKAGE_VENDOR "Orsel")
set(CPACK_PACKAGE_CONTACT "Orsel developers <orsel@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "POP3 mailbox virus scanner and embeddable POP3 client control")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Orsel01 logs into a POP3 mailbox, saves every message, checks it against a list of
virus texts, alerts and deletes infected mail. It runs from the desktop menu or, without a
display, from a systemd user timer every 15 minutes.
.
The package also holds the POP3 client control Vorlane (VRLN401.so), registered for every
user, its tools, and the headers, libraries, CMake package and pkg-config file with which a
C++ host creates the control by its ProgID.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${ORSEL_PACKAGE_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The unit files and desktop entries are plain text: nothing for shlibdeps there. A host that
# builds against the package needs Qt's headers besides the runtime libraries.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-base-dev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/debian/postinst
                                       ${CMAKE_CURRENT_BINARY_DIR}/debian/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
