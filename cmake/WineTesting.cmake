# Windows test programs run under 32-bit Wine, in a prefix private to the build tree.
if(WIN32)
  find_program(LAMDEX_WINE wine REQUIRED)
  set(LAMDEX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh ${LAMDEX_WINEPREFIX})
endif()
