# What `cmake --install` puts where, and the packages CPack makes of it: a
# Debian package or an RPM on Linux (TROVCONV_PACKAGE), a .zip on Windows.
include(GNUInstallDirs)

configure_file(doc/trovconv.1.in ${CMAKE_BINARY_DIR}/trovconv.1 @ONLY)

set(CPACK_PACKAGE_NAME trovconv)
set(CPACK_PACKAGE_VENDOR "The trovconv developers")
set(CPACK_PACKAGE_CONTACT "The trovconv developers <trovconv@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "converts trovik QV-7 capture files into Carvendel timing files")
# In lines that fit the 80 columns both package formats' tools expect.
set(CPACK_PACKAGE_DESCRIPTION_FILE
  ${CMAKE_CURRENT_SOURCE_DIR}/packaging/description.txt)
# A placeholder, like the address above, until the project has a home page.
set(CPACK_PACKAGE_HOMEPAGE_URL "https://example.org/trovconv")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${CMAKE_CURRENT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # Unpacked anywhere and run from there: everything side by side.
  install(TARGETS trovconv RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  include(CPack)
  return()
endif()

set(TROVCONV_PACKAGE DEB CACHE STRING "The Linux package to make: DEB or RPM")
set_property(CACHE TROVCONV_PACKAGE PROPERTY STRINGS DEB RPM)

# Both distributions want the manual page, and Debian its changelog,
# compressed with gzip -9n: no name or time inside, the same bytes each time.
find_program(GZIP gzip REQUIRED)
set(debian_changelog ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog.Debian)
function(compress input output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${GZIP} -9n -c ${input} > ${output} DEPENDS ${input} VERBATIM)
endfunction()
compress(${CMAKE_BINARY_DIR}/trovconv.1 ${CMAKE_BINARY_DIR}/trovconv.1.gz)
compress(${debian_changelog} ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_target(compressed_docs ALL
  DEPENDS ${CMAKE_BINARY_DIR}/trovconv.1.gz ${CMAKE_BINARY_DIR}/changelog.gz)

# The newest entry of the Debian changelog must be this version.
file(STRINGS ${debian_changelog} newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^trovconv \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog.Debian starts with '${newest}', "
    "not with an entry for ${PROJECT_VERSION}")
endif()

install(TARGETS trovconv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Debian's tools flag compiler notes left in a binary.
if(NOT CMAKE_OBJCOPY)
  message(FATAL_ERROR "objcopy not found (Debian package: binutils)")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}")
  set(installed "${CMAKE_INSTALL_BINDIR}/trovconv")
else()
  set(installed "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/trovconv")
endif()
install(CODE "execute_process(COMMAND ${CMAKE_OBJCOPY}
  --remove-section=.comment --remove-section=.note
  \"\$ENV{DESTDIR}${installed}\" COMMAND_ERROR_IS_FATAL ANY)")
install(FILES ${CMAKE_BINARY_DIR}/trovconv.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
set(CPACK_GENERATOR ${TROVCONV_PACKAGE})

if(TROVCONV_PACKAGE STREQUAL "DEB")
  # Where Debian keeps every package's licence and changelog.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # dependencies as dpkg-shlibdeps finds
else()
  # Where Fedora, RHEL and openSUSE keep every package's licence.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/licenses/trovconv)
  set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
  set(CPACK_RPM_PACKAGE_RELEASE 1)
  set(CPACK_RPM_PACKAGE_LICENSE MIT)
  set(CPACK_RPM_PACKAGE_GROUP "Applications/Engineering")
  set(CPACK_RPM_PACKAGE_SUMMARY
    "Converts trovik QV-7 capture files into Carvendel timing files")
  set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${CPACK_PACKAGE_CONTACT}")
  # The file system package owns these; the package only what it adds.
  set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/share/man /usr/share/man/man1 /usr/share/licenses)
  set(CPACK_RPM_CHANGELOG_FILE
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog.RPM)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(doc /usr/${CMAKE_INSTALL_DOCDIR})
  set(CPACK_RPM_USER_FILELIST "%doc ${doc}/README.md" "%doc ${doc}/CHANGELOG.md"
    "%license /usr/${CMAKE_INSTALL_DATADIR}/licenses/trovconv/LICENSE")
endif()
include(CPack)
