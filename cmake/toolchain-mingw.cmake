# Shared by the MinGW-w64 toolchain files, which set LAMDEX_MINGW_PREFIX and
# CMAKE_SYSTEM_PROCESSOR first. The -posix variants are used because GoogleTest needs
# std::mutex, which the win32 thread model lacks; every runtime is linked statically so
# the DLL imports system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${LAMDEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LAMDEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${LAMDEX_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${LAMDEX_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${LAMDEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
