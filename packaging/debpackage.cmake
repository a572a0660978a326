# The .deb packages (./run package), both from one CPack run: orsel, what users run, with its
# dependencies taken from the shared libraries the programs link (dpkg-shlibdeps), so that they
# follow whatever the programs come to link; and libvorlane-dev, what hosts build with. orsel's
# maintainer scripts enter the control into the system-wide class registry, take it out again,
# and on purge remove what registering left behind. They replace the scripts CPack would write,
# which call ldconfig for a library no program links (the control is loaded by path).
set(ORSEL_PACKAGE_PREFIX /usr)
foreach(script postinst prerm postrm)
  configure_file(debian/${script}.in ${CMAKE_CURRENT_BINARY_DIR}/debian/${script} @ONLY)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL)
foreach(entry IN LISTS ORSEL_PACKAGES)
  string(REPLACE "=" ";" pair ${entry})
  list(GET pair 0 component)
  list(GET pair 1 package)
  list(APPEND CPACK_COMPONENTS_ALL ${component})
  string(TOUPPER ${component} component)
  set(CPACK_DEBIAN_${component}_PACKAGE_NAME ${package})
  set(CPACK_DEBIAN_${component}_PACKAGE_SOURCE orsel)
endforeach()
set(CPACK_PACKAGE_NAME orsel)
set(CPACK_PACKAGE_VENDOR "Orsel")
set(CPACK_PACKAGE_CONTACT "${ORSEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${ORSEL_PACKAGE_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)

# Each description: the synopsis, then lines of at most 80 columns (CPack indents them by one).
set(CPACK_DEBIAN_ORSEL_DESCRIPTION
    "POP3 mailbox virus scanner and embeddable POP3 client control
Orsel01 logs into a POP3 mailbox, saves every message, checks it against a
list of virus texts (and, when turned on, its decoded attachments and ClamAV's
signatures), alerts and deletes infected mail. It runs from the desktop menu
or, without a display, from a systemd user timer every 15 minutes.

The package also holds the POP3 client control Vorlane (VRLN401.so),
registered for every user, and its tools. The headers and libraries with which
a C++ host creates the control are in the package libvorlane-dev.")
set(CPACK_DEBIAN_ORSEL_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_ORSEL_PACKAGE_SHLIBDEPS ON)
# The scanner can ask the system's ClamAV daemon to check every message.
set(CPACK_DEBIAN_ORSEL_PACKAGE_SUGGESTS "clamav-daemon")
# QtKeychain reaches the desktop's keyring through libsecret, which it loads when it runs.
set(CPACK_DEBIAN_ORSEL_PACKAGE_RECOMMENDS "libsecret-1-0")
set(CPACK_DEBIAN_ORSEL_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_BINARY_DIR}/debian/postinst ${CMAKE_CURRENT_BINARY_DIR}/debian/prerm
    ${CMAKE_CURRENT_BINARY_DIR}/debian/postrm)

set(CPACK_DEBIAN_DEV_DESCRIPTION
    "development files for the POP3 client control Vorlane
Headers, static libraries, a CMake package (find_package(Vorlane)) and a
pkg-config file with which a C++ host creates the POP3 client control Vorlane
by its ProgID and calls it late-bound. The control itself, registered for
every user, is in the package orsel.")
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# Static libraries only: nothing for shlibdeps. The CMake package finds Qt6::Core, the
# pkg-config file requires Qt6Core, and both name the control in orsel by its path.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "orsel (= ${PROJECT_VERSION}), qt6-base-dev, pkg-config")
include(CPack)
