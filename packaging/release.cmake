# What each package says about itself beside its files: the copyright (the project's LICENSE in
# Debian's machine-readable form), the changelog, and the AppStream metadata that software
# centres list. debian/changelog is the one record of releases: its latest entry must name the
# project's version, and the metadata takes the release and its date from it.
set(ORSEL_PACKAGE_MAINTAINER "Orsel developers <orsel@example.org>"
    CACHE STRING "Maintainer of the .deb packages and contact in their copyright file")

set(changelog ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog}
                                                               ${PROJECT_SOURCE_DIR}/LICENSE)
file(STRINGS ${changelog} latest LIMIT_COUNT 1)
file(STRINGS ${changelog} signature REGEX "^ -- " LIMIT_COUNT 1)
if(NOT latest MATCHES "^orsel \\(([^)]+)\\)" OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "${changelog}: the latest entry must be for version ${PROJECT_VERSION}, "
                      "not: ${latest}")
endif()
set(ORSEL_RELEASE_VERSION ${CMAKE_MATCH_1})
if(NOT signature MATCHES ", ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "${changelog}: no date in the latest entry's signature: ${signature}")
endif()
set(day ${CMAKE_MATCH_1})
set(year ${CMAKE_MATCH_3})
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${CMAKE_MATCH_2} month)
math(EXPR month "${month} + 1" OUTPUT_FORMAT DECIMAL)
string(LENGTH ${month} digits)
if(digits EQUAL 1)
  set(month 0${month})
endif()
set(ORSEL_RELEASE_DATE ${year}-${month}-${day})

set(metainfo ${CMAKE_CURRENT_BINARY_DIR}/org.example.orsel01.metainfo.xml)
configure_file(appstream/org.example.orsel01.metainfo.xml.in ${metainfo} @ONLY)
install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT orsel)

# LICENSE's copyright line, and the licence text after it as an indented copyright paragraph.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
if(NOT licence MATCHES "\nCopyright \\(c\\) ([^\n]+)\n")
  message(FATAL_ERROR "${PROJECT_SOURCE_DIR}/LICENSE: no copyright line")
endif()
set(ORSEL_COPYRIGHT ${CMAKE_MATCH_1})
string(REGEX REPLACE "^[^\n]*\n\n[^\n]*\n\n" "" licence "${licence}")
string(REGEX REPLACE "\n+$" "" licence "${licence}")
string(REGEX REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " ORSEL_LICENCE_TEXT " ${licence}")
set(copyright ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright)
configure_file(debian/copyright.in ${copyright} @ONLY)

# Compressed as Debian ships it, without a time stamp so that the package is reproducible. The
# version has no Debian revision, so the packages are native and the file is changelog.gz.
set(compressed ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz)
add_custom_command(OUTPUT ${compressed} COMMAND gzip -9nc ${changelog} > ${compressed}
                   DEPENDS ${changelog} VERBATIM)
add_custom_target(orsel_changelog ALL DEPENDS ${compressed})

foreach(entry IN LISTS ORSEL_PACKAGES)
  string(REPLACE "=" ";" pair ${entry})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${copyright} ${compressed} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
          COMPONENT ${component})
endforeach()
