# Cross-compiles for 32-bit Windows with MinGW-w64: the DLL the 32-bit host loads.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(LAMDEX_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
