# Cross-compiles for 32-bit Windows with MinGW-w64. The -posix variants are used
# because GoogleTest needs std::mutex, which the win32 thread model lacks; every
# runtime is linked statically so the DLL imports system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(LAMDEX_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${LAMDEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LAMDEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${LAMDEX_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${LAMDEX_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${LAMDEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# SSE2 arithmetic rounds float and double exactly as written; x87 would keep
# excess precision and shift rounding-sensitive readings by one.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
