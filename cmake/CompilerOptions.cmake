# Warnings as errors for the project's own code; third-party code is built without them.
add_library(lamdex_options INTERFACE)
target_compile_options(lamdex_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wold-style-cast
  -Wnon-virtual-dtor -Woverloaded-virtual -Werror)
target_include_directories(lamdex_options INTERFACE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}
                                                   ${CMAKE_BINARY_DIR}/generated)

# On 32-bit x86, SSE2 arithmetic rounds float and double exactly as written; x87 would
# keep excess precision and shift rounding-sensitive readings by one. On the targets, so
# that flags a user passes cannot drop it (the decoder refuses to build without it).
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$")
  target_compile_options(lamdex_options INTERFACE -msse2 -mfpmath=sse)
endif()

if(LAMDEX_SANITIZE)
  # The vptr check needs type information, which product code is built without.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize=vptr -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(LAMDEX_TSAN)
  if(LAMDEX_SANITIZE)
    message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer: use separate builds")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Source files that exist once per platform: foo_win32.cpp or foo_posix.cpp.
if(WIN32)
  set(LAMDEX_PLATFORM win32)
else()
  set(LAMDEX_PLATFORM posix)
endif()

# Code that goes into the plug-in throws nothing and needs no type information; saying
# so keeps the unwinder and its thread support out of the DLL.
function(lamdex_product_code target)
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections)
  # Natively the plug-in is a shared library that shows the host its two exports only.
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()
