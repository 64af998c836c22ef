# What `cmake --install` puts where, and the packages CPack makes of it: a
# Debian package on Linux, a .zip on Windows.
include(GNUInstallDirs)

configure_file(doc/trovconv.1.in ${CMAKE_BINARY_DIR}/trovconv.1 @ONLY)

if(WIN32)
  # Unpacked anywhere and run from there: everything side by side.
  install(TARGETS trovconv RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  install(TARGETS trovconv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_BINARY_DIR}/trovconv.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # Where Debian keeps every package's licence.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR}
    RENAME copyright)
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_NAME trovconv)
set(CPACK_PACKAGE_VENDOR "The trovconv developers")
set(CPACK_PACKAGE_CONTACT "The trovconv developers <trovconv@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "converts trovik QV-7 capture files into Carvendel timing files")
set(CPACK_PACKAGE_DESCRIPTION
  "trovconv reads one capture file of the trovik QV-7 logic analyser and\
 writes beside it a text timing-diagram file for the Carvendel editor.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${CMAKE_CURRENT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # dependencies as dpkg-shlibdeps finds
include(CPack)
