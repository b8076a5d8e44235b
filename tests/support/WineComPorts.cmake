# CTest registration of Windows tests that need COM ports of the build's Wine prefix wired
# to pseudo-terminals (tests/support/wine-com-ports.sh explains the port wirings).
#
# lamdex_add_wine_com_test(NAME <name> COMMAND <target> [<arg>...] PORTS <wiring>...
#                          [XVFB] [TIMEOUT <seconds>])
#   One test that wires the ports, runs the program under Wine (inside Xvfb with XVFB) and
#   unwires them. Holds the resource lock wine-com<n> for every port it names, so tests
#   sharing a port never overlap under ctest -j.
#
# lamdex_add_wine_com_fixture(NAME <fixture> PORTS <wiring>...)
#   Tests <fixture>_wire and <fixture>_unwire, the set-up and clean-up of CTest fixture
#   <fixture>. A test using it sets FIXTURES_REQUIRED <fixture>; give the fixture ports
#   no other test uses. State (socat processes, logs): <build>/wine-com/<fixture>.
if(NOT WIN32)
  return()
endif()

find_program(LAMDEX_SOCAT socat REQUIRED)
set(LAMDEX_WINE_COM_PORTS ${CMAKE_CURRENT_LIST_DIR}/wine-com-ports.sh)
set(LAMDEX_WINE_RUN ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh)

# Resource locks for the ports named in wirings such as COM11:COM12, COM5=pty:/path, COM13=/dev/x.
function(lamdex_wine_com_locks out)
  set(locks "")
  foreach(wiring IN LISTS ARGN)
    string(TOLOWER "${wiring}" wiring)
    string(REGEX MATCHALL "(^|:)com[0-9]+" ports "${wiring}")
    foreach(port IN LISTS ports)
      string(REPLACE ":" "" port "${port}")
      list(APPEND locks wine-${port})
    endforeach()
  endforeach()
  set(${out} ${locks} PARENT_SCOPE)
endfunction()

function(lamdex_add_wine_com_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "XVFB" "NAME;TIMEOUT" "COMMAND;PORTS")
  list(POP_FRONT arg_COMMAND program)
  if(TARGET ${program})
    set(program $<TARGET_FILE:${program}>)
  endif()
  set(launcher ${LAMDEX_WINE_RUN} ${LAMDEX_WINEPREFIX})
  if(arg_XVFB)
    list(PREPEND launcher xvfb-run -a)
  endif()
  add_test(NAME ${arg_NAME}
    COMMAND ${LAMDEX_WINE_COM_PORTS} run ${LAMDEX_WINEPREFIX} ${arg_PORTS} -- ${launcher} ${program} ${arg_COMMAND})
  lamdex_wine_com_locks(locks ${arg_PORTS})
  set_tests_properties(${arg_NAME} PROPERTIES RESOURCE_LOCK "${locks}")
  if(arg_TIMEOUT)
    set_tests_properties(${arg_NAME} PROPERTIES TIMEOUT ${arg_TIMEOUT})
  endif()
endfunction()

function(lamdex_add_wine_com_fixture)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME" "PORTS")
  set(state ${CMAKE_BINARY_DIR}/wine-com/${arg_NAME})
  add_test(NAME ${arg_NAME}_wire COMMAND ${LAMDEX_WINE_COM_PORTS} start ${state} ${LAMDEX_WINEPREFIX} ${arg_PORTS})
  add_test(NAME ${arg_NAME}_unwire COMMAND ${LAMDEX_WINE_COM_PORTS} stop ${state})
  lamdex_wine_com_locks(locks ${arg_PORTS})
  set_tests_properties(${arg_NAME}_wire PROPERTIES FIXTURES_SETUP ${arg_NAME} RESOURCE_LOCK "${locks}")
  set_tests_properties(${arg_NAME}_unwire PROPERTIES FIXTURES_CLEANUP ${arg_NAME} RESOURCE_LOCK "${locks}")
endfunction()
