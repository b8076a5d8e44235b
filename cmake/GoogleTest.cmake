# Natively GoogleTest comes from Debian's libgtest-dev. For MinGW it is built from
# Debian's googletest sources, statically, with the project's own (posix) compilers.
if(TARGET GTest::gtest_main)
  return()
endif()
if(WIN32)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()
