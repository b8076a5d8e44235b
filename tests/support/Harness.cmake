# What the test folders share: the Python harness that wires programs together
# (tests/support/harness.py), the native build the Windows runs take the simulator from, and
# the registration of Windows tests that need COM ports or unmanaged windows.
#
# lamdex_add_harness_test(<name> <script> <case>)
#   A run of a harness script: "<script> native <build> <case>" in a native build,
#   "<script> wine <build> <case> <native build>" in a Windows one.
#
# lamdex_add_wine_com_test(NAME <name> COMMAND <target> [<arg>...] PORTS <wiring>...
#                          [XVFB] [TIMEOUT <seconds>])
#   A test that wires COM ports of the build's Wine prefix (harness.py explains the wirings),
#   runs the program under Wine (inside Xvfb with XVFB) and unwires them. Holds the resource
#   lock wine-com<n> for every port it names, so tests sharing a port never overlap.
#
# lamdex_add_unmanaged_windows(<test> <fixture> <target> <prefix> [<resource lock>...])
#   Test <test>, the set-up of CTest fixture <fixture>. No window manager runs on the virtual
#   display: Wine then waits two seconds for one at every window it hides, unless the
#   windows of program <target> are unmanaged (Wine draws their frames).
find_program(LAMDEX_PYTHON python3 HINTS /usr/bin REQUIRED)
set(LAMDEX_HARNESS ${CMAKE_CURRENT_LIST_DIR}/harness.py)
set(LAMDEX_NATIVE_BUILD_DIR ${PROJECT_SOURCE_DIR}/build/native CACHE PATH
    "Native build holding lc1sim, for the Windows runs")

function(lamdex_add_harness_test name script case)
  if(WIN32)
    add_test(NAME ${name} COMMAND ${LAMDEX_PYTHON} ${script} wine ${CMAKE_BINARY_DIR} ${case} ${LAMDEX_NATIVE_BUILD_DIR})
  else()
    add_test(NAME ${name} COMMAND ${LAMDEX_PYTHON} ${script} native ${CMAKE_BINARY_DIR} ${case})
  endif()
endfunction()

if(NOT WIN32)
  return()
endif()

# Found when the tests run, not needed to build: without it a test that needs it says
# "Unable to find executable: xvfb-run".
find_program(LAMDEX_XVFB_RUN xvfb-run)
if(NOT LAMDEX_XVFB_RUN)
  set(LAMDEX_XVFB_RUN xvfb-run)
endif()
set(LAMDEX_WINE_RUN ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh)

function(lamdex_add_wine_com_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "XVFB" "NAME;TIMEOUT" "COMMAND;PORTS")
  list(POP_FRONT arg_COMMAND program)
  if(TARGET ${program})
    set(program $<TARGET_FILE:${program}>)
  endif()
  set(launcher ${LAMDEX_WINE_RUN} ${LAMDEX_WINEPREFIX})
  if(arg_XVFB)
    list(PREPEND launcher ${LAMDEX_XVFB_RUN} -a)
  endif()
  add_test(NAME ${arg_NAME}
    COMMAND ${LAMDEX_PYTHON} ${LAMDEX_HARNESS} com-run ${LAMDEX_WINEPREFIX} ${arg_PORTS} -- ${launcher} ${program} ${arg_COMMAND})
  # One lock per port named in wirings such as COM11:COM12, COM5=pty:/path, COM13=/dev/x.
  set(locks "")
  foreach(wiring IN LISTS arg_PORTS)
    string(TOLOWER "${wiring}" wiring)
    string(REGEX MATCHALL "(^|:)com[0-9]+" ports "${wiring}")
    list(TRANSFORM ports REPLACE "^:?com" "wine-com")
    list(APPEND locks ${ports})
  endforeach()
  set_tests_properties(${arg_NAME} PROPERTIES RESOURCE_LOCK "${locks}")
  if(arg_TIMEOUT)
    set_tests_properties(${arg_NAME} PROPERTIES TIMEOUT ${arg_TIMEOUT})
  endif()
endfunction()

function(lamdex_add_unmanaged_windows test fixture target prefix)
  add_test(NAME ${test} COMMAND ${LAMDEX_WINE_RUN} ${prefix} reg add
           "HKCU\\Software\\Wine\\AppDefaults\\${target}.exe\\X11 Driver" /v Managed /d N /f)
  set_tests_properties(${test} PROPERTIES FIXTURES_SETUP ${fixture})
  set_property(TEST ${test} APPEND PROPERTY RESOURCE_LOCK ${ARGN})
endfunction()
