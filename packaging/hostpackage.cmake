# The package for hosts (the component dev): find_package(Vorlane 4.0 CONFIG) gives Vorlane::Vorlane, the automation
# headers and static libraries a host needs to create the control by its ProgID and call it, and
# Vorlane::VRLN401, the installed control (for its path). A pkg-config file says the same.
set_target_properties(automation PROPERTIES OUTPUT_NAME vorlane-automation EXPORT_NAME automation)
set_target_properties(platform PROPERTIES OUTPUT_NAME vorlane-platform EXPORT_NAME platform)
# The headers use std::span and designated initialisers.
set_property(TARGET automation APPEND PROPERTY INTERFACE_COMPILE_FEATURES cxx_std_20)
target_include_directories(platform INTERFACE $<INSTALL_INTERFACE:${VORLANE_INCLUDE_DIR}>)

add_library(vorlane_host INTERFACE)
target_link_libraries(vorlane_host INTERFACE automation)
set_target_properties(vorlane_host PROPERTIES EXPORT_NAME Vorlane)

install(TARGETS vorlane_host automation platform EXPORT VorlaneTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/platform/ DESTINATION ${VORLANE_INCLUDE_DIR}/platform
        COMPONENT dev FILES_MATCHING PATTERN "*.h")
install(EXPORT VorlaneTargets NAMESPACE Vorlane:: DESTINATION ${VORLANE_CMAKE_DIR} COMPONENT dev)

set(VORLANE_PROGID Vorlanecontrol.Vorlane)
configure_package_config_file(cmake/VorlaneConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/VorlaneConfig.cmake
                              INSTALL_DESTINATION ${VORLANE_CMAKE_DIR})
# 4.x hosts keep working with any 4.y: the ProgID, the GUIDs and the member ids do not change.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/VorlaneConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/VorlaneConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/VorlaneConfigVersion.cmake
        DESTINATION ${VORLANE_CMAKE_DIR} COMPONENT dev)

# Relative to the .pc file, so the same file serves /usr and any prefix a test installs into.
set(CMAKE_DL_LIBS_FLAG "")
if(CMAKE_DL_LIBS)
  set(CMAKE_DL_LIBS_FLAG -l${CMAKE_DL_LIBS})
endif()
file(RELATIVE_PATH VORLANE_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" VORLANE_PC_TO_PREFIX "${VORLANE_PC_TO_PREFIX}")
configure_file(vorlane.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vorlane.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vorlane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT dev)
