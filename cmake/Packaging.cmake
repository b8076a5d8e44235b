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

# Everything in the release that records a time records the commit's: the PE timestamps
# written by the linker and by strip, and the zip entries' times (tools/make-dist.sh). The
# time and VERSION.txt, which names the commit, are made at each build by
# cmake/CommitStamp.cmake, so a new commit needs no new configuration.
# Outside a git checkout there is no commit to ask; this fixed time, moved on with each
# version, stands in for it.
set(LAMDEX_FALLBACK_SOURCE_DATE 1796688000) # 2026-12-08 00:00 UTC
set(LAMDEX_SOURCE_DATE_FILE ${CMAKE_BINARY_DIR}/source-date-epoch)
add_custom_target(lamdex_commit_stamp ALL
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DEPOCH_FILE=${LAMDEX_SOURCE_DATE_FILE}
          -DVERSION_FILE=${release_text}/VERSION.txt
          "-DVERSION_LINE=Lamdex ${PROJECT_VERSION}, ${LAMDEX_PACKAGE_BITS}-bit (${LAMDEX_WINEARCH})"
          -DFALLBACK_EPOCH=${LAMDEX_FALLBACK_SOURCE_DATE} -P ${PROJECT_SOURCE_DIR}/cmake/CommitStamp.cmake
  BYPRODUCTS ${LAMDEX_SOURCE_DATE_FILE} ${release_text}/VERSION.txt
  VERBATIM)
# The linker and strip take the time from SOURCE_DATE_EPOCH. The stamp is a link input, so
# a new commit's time relinks the shipped programs.
set(shipped lamdex_plugin lamdex-check)
foreach(target ${shipped})
  add_dependencies(${target} lamdex_commit_stamp)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${LAMDEX_SOURCE_DATE_FILE})
  set_property(TARGET ${target} PROPERTY CXX_LINKER_LAUNCHER sh ${PROJECT_SOURCE_DIR}/cmake/with-source-date.sh
                                                             ${LAMDEX_SOURCE_DATE_FILE})
endforeach()
# What make-dist.sh packs, and no test program: tools/check_reproducible.py builds only this.
add_custom_target(lamdex_release)
add_dependencies(lamdex_release ${shipped} lamdex_commit_stamp)

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
