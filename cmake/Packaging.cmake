# The release a user downloads: one zip per Windows build, Lamdex-<version>-win32.zip or
# -win64.zip, holding the stripped DLL, lamdex-check.exe (which finds the LC-1's port), the
# user guide, the licence and the version.
# tools/make-dist.sh runs CPack for each build and writes SHA256SUMS beside the zips.
# The build's name, win32 or win64, is the one cmake/WineTesting.cmake gives it.
math(EXPR LAMDEX_PACKAGE_BITS "8 * ${CMAKE_SIZEOF_VOID_P}")

# Plain text for Notepad: Windows line ends.
set(release_text ${CMAKE_BINARY_DIR}/release)
configure_file(${PROJECT_SOURCE_DIR}/docs/USER-GUIDE.txt ${release_text}/USER-GUIDE.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${release_text}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
file(CONFIGURE OUTPUT ${release_text}/VERSION.txt
     CONTENT "Lamdex ${PROJECT_VERSION}, ${LAMDEX_PACKAGE_BITS}-bit (${LAMDEX_WINEARCH})\n" NEWLINE_STYLE CRLF)

# Only the DLL itself: the import library serves no host, which loads the DLL by name.
install(TARGETS lamdex_plugin RUNTIME DESTINATION . COMPONENT release ARCHIVE DESTINATION lib COMPONENT unshipped
        EXCLUDE_FROM_ALL)
install(TARGETS lamdex-check RUNTIME DESTINATION . COMPONENT release)
install(FILES ${release_text}/USER-GUIDE.txt ${release_text}/LICENSE.txt ${release_text}/VERSION.txt DESTINATION .
        COMPONENT release)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Lamdex)
set(CPACK_PACKAGE_VENDOR "The Lamdex developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Lamdex-${PROJECT_VERSION}-${LAMDEX_WINEARCH})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# install/strip, with this toolchain's strip: no symbols or debug information in the shipped DLL.
set(CPACK_STRIP_FILES TRUE)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_COMPONENTS_ALL release)
include(CPack)
