# Cross-compiles for 64-bit Windows with MinGW-w64: the DLL for 64-bit hosts.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LAMDEX_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
