# Run at install time. An install that asks for stripping (cpack with CPACK_STRIP_FILES,
# cmake --install --strip) gets the files stripped as Debian's dh_strip strips them: CMake's own
# strip keeps the compiler's .comment and .note sections and leaves static libraries untouched.
# An install script runs with old policies; this file's function uses current ones.
cmake_policy(VERSION 3.25)

function(debian_strip strip kind)
  if(NOT CMAKE_INSTALL_DO_STRIP)
    return()
  endif()
  set(options --remove-section=.comment --remove-section=.note)
  if(kind STREQUAL "shared")
    list(APPEND options --strip-unneeded)
  elseif(kind STREQUAL "archive")
    # Symbols stay, for the host's linker; debugging information and time stamps go.
    list(APPEND options --strip-debug --enable-deterministic-archives)
  endif()
  foreach(file IN LISTS ARGN)
    set(path "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${file}")
    message(STATUS "Stripping: ${path}")
    execute_process(COMMAND "${strip}" ${options} "${path}" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endfunction()
