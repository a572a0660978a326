# CMake functions that give tests a real Dovecot POP3 server through CTest fixtures. Included
# from tests/dovecot/CMakeLists.txt, which is processed before the other test folders, so the
# functions exist for all of them.
#
#   vorlane_dovecot_fixture(NAME [ADDRESS a] [PORT p] [TLS_PORT t [CERTIFICATE valid|expired]])
#       Tests NAME_start and NAME_stop, a fixture NAME with its state in
#       ${CMAKE_BINARY_DIR}/dovecot/NAME. PORT 0 (default) picks a free port at start. TLS_PORT
#       adds POP3 over TLS there (0: a free port) and STLS on PORT, with a throwaway CA. Defining
#       the same fixture again is allowed; a fixed address and port belong to one fixture only,
#       since two servers cannot listen there at once.
#   vorlane_use_dovecot(TEST NAME)
#       The test (added in the calling folder) requires fixture NAME and finds it through
#       VORLANE_DOVECOT_DIR. Tests of one fixture run in parallel; each uses users of its own.
#   vorlane_dovecot_test_properties(OUT_VAR NAME)
#       The same as a property list, for gtest_discover_tests(... PROPERTIES ${OUT_VAR}).

set(VORLANE_DOVECOT_FIXTURE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/dovecot-fixture.sh
    CACHE INTERNAL "Starts and stops a test Dovecot")

function(vorlane_dovecot_fixture name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "ADDRESS;PORT;TLS_PORT;CERTIFICATE" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vorlane_dovecot_fixture: unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_ADDRESS)
    set(arg_ADDRESS 127.0.0.1)
  endif()
  if(NOT arg_PORT)
    set(arg_PORT 0)
  endif()
  if(NOT arg_ADDRESS MATCHES "^127\\.")
    message(FATAL_ERROR "vorlane_dovecot_fixture: ${name} must listen on a loopback address")
  endif()

  set(tls_arguments)
  if(DEFINED arg_TLS_PORT)
    if(NOT arg_CERTIFICATE)
      set(arg_CERTIFICATE valid)
    endif()
    set(tls_arguments ${arg_TLS_PORT} ${arg_CERTIFICATE})
  endif()
  set(endpoint "${arg_ADDRESS}:${arg_PORT}")
  get_property(known GLOBAL PROPERTY VORLANE_DOVECOT_FIXTURE_${name} SET)
  if(known)
    get_property(known_endpoint GLOBAL PROPERTY VORLANE_DOVECOT_FIXTURE_${name})
    if(NOT known_endpoint STREQUAL endpoint)
      message(FATAL_ERROR
              "vorlane_dovecot_fixture: ${name} is already defined on ${known_endpoint}")
    endif()
    return()
  endif()
  if(NOT arg_PORT EQUAL 0)
    get_property(owner GLOBAL PROPERTY VORLANE_DOVECOT_ENDPOINT_${endpoint})
    if(owner)
      message(FATAL_ERROR "vorlane_dovecot_fixture: ${endpoint} belongs to fixture ${owner}; "
                          "use vorlane_use_dovecot(<test> ${owner}) instead")
    endif()
    set_property(GLOBAL PROPERTY VORLANE_DOVECOT_ENDPOINT_${endpoint} ${name})
  endif()
  set_property(GLOBAL PROPERTY VORLANE_DOVECOT_FIXTURE_${name} ${endpoint})

  set(state ${CMAKE_BINARY_DIR}/dovecot/${name})
  add_test(NAME ${name}_start
           COMMAND ${VORLANE_DOVECOT_FIXTURE_SCRIPT} start ${state} ${arg_ADDRESS} ${arg_PORT}
                   ${tls_arguments})
  add_test(NAME ${name}_stop COMMAND ${VORLANE_DOVECOT_FIXTURE_SCRIPT} stop ${state})
  set_tests_properties(${name}_start PROPERTIES FIXTURES_SETUP ${name} TIMEOUT 30)
  set_tests_properties(${name}_stop PROPERTIES FIXTURES_CLEANUP ${name} TIMEOUT 30)
endfunction()

function(vorlane_dovecot_test_properties out name)
  get_property(known GLOBAL PROPERTY VORLANE_DOVECOT_FIXTURE_${name} SET)
  if(NOT known)
    message(FATAL_ERROR "No Dovecot fixture ${name}: define it with vorlane_dovecot_fixture()")
  endif()
  # ENVIRONMENT_MODIFICATION leaves the test's own ENVIRONMENT property alone.
  set(${out} FIXTURES_REQUIRED ${name}
             ENVIRONMENT_MODIFICATION VORLANE_DOVECOT_DIR=set:${CMAKE_BINARY_DIR}/dovecot/${name}
      PARENT_SCOPE)
endfunction()

function(vorlane_use_dovecot test name)
  get_property(known GLOBAL PROPERTY VORLANE_DOVECOT_FIXTURE_${name} SET)
  if(NOT known)
    message(FATAL_ERROR "No Dovecot fixture ${name}: define it with vorlane_dovecot_fixture()")
  endif()
  set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED ${name})
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT_MODIFICATION
               VORLANE_DOVECOT_DIR=set:${CMAKE_BINARY_DIR}/dovecot/${name})
endfunction()
