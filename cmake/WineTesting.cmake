# Windows test programs run under Wine, in a prefix private to the build tree: 32-bit Wine
# for the 32-bit build, 64-bit Wine for the 64-bit one (cmake/wine-arch.sh names them).
if(NOT WIN32)
  function(lamdex_wine_test_folder)
  endfunction()
  return()
endif()

# Building needs no Wine: a test that finds none says so when it runs (cmake/wine-run.sh).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(LAMDEX_WINEARCH win64)
else()
  set(LAMDEX_WINEARCH win32)
endif()
# Scripts given this build directory read which Wine it needs from here.
file(WRITE ${CMAKE_BINARY_DIR}/wine-arch "${LAMDEX_WINEARCH}\n")

set(LAMDEX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh ${LAMDEX_WINEPREFIX})

# Called at the top of every folder that adds tests. At the end of that folder, each of its
# tests runs with the build's Wine, and one that finds this machine unable to run that Wine
# says why and is reported as skipped (exit 77).
function(lamdex_wine_test_folder)
  cmake_language(DEFER CALL lamdex_apply_wine_test_properties)
endfunction()

function(lamdex_apply_wine_test_properties)
  get_property(tests DIRECTORY PROPERTY TESTS)
  if(tests)
    set_property(TEST ${tests} APPEND PROPERTY ENVIRONMENT WINEARCH=${LAMDEX_WINEARCH})
    set_property(TEST ${tests} PROPERTY SKIP_RETURN_CODE 77)
  endif()
endfunction()
