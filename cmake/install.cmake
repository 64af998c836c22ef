# What `cmake --install` puts where, and on Linux the package CPack makes of
# it (TROVCONV_PACKAGE): a Debian package or an RPM. The Windows .zip is
# packed from the install by packaging/release.sh.
include(GNUInstallDirs)

configure_file(doc/trovconv.1.in ${CMAKE_BINARY_DIR}/trovconv.1 @ONLY)

# What is linked into the tool, under which licences, from which packages:
# read from the Debian system that builds the release, whose presets turn
# it on; any other build needs none of Debian's tools and has no NOTICES.
option(TROVCONV_NOTICES "Write NOTICES and install it (the release)" OFF)
set(notices "")
if(TROVCONV_NOTICES)
  include(cmake/notices.cmake)
  set(notices ${CMAKE_BINARY_DIR}/NOTICES)
endif()

if(WIN32)
  # Unpacked anywhere and run from there: everything side by side.
  install(TARGETS trovconv RUNTIME DESTINATION .)
  install(FILES README.md LICENSE ${notices} DESTINATION .)
  return()
endif()

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
# Folders as every package has them, whatever the umask of who builds it.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)

# Empty for a plain install (and the plain archive): the tool, its manual
# page and the documents, and nothing of a distribution's own.
set(TROVCONV_PACKAGE "" CACHE STRING
  "The Linux package CPack makes: DEB, RPM, or none")
set_property(CACHE TROVCONV_PACKAGE PROPERTY STRINGS "" DEB RPM)

# Both distributions want the manual page, and Debian its changelog,
# compressed with gzip -9n: no name or time inside, the same bytes each time.
find_program(GZIP gzip REQUIRED)
configure_file(packaging/changelog.Debian.in
  ${CMAKE_BINARY_DIR}/changelog.Debian @ONLY)
configure_file(packaging/changelog.RPM.in ${CMAKE_BINARY_DIR}/changelog.RPM
  @ONLY)
function(compress input output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${GZIP} -9n -c ${input} > ${output} DEPENDS ${input} VERBATIM)
endfunction()
compress(${CMAKE_BINARY_DIR}/trovconv.1 ${CMAKE_BINARY_DIR}/trovconv.1.gz)
compress(${CMAKE_BINARY_DIR}/changelog.Debian ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_target(compressed_docs ALL
  DEPENDS ${CMAKE_BINARY_DIR}/trovconv.1.gz ${CMAKE_BINARY_DIR}/changelog.gz)

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

if(TROVCONV_PACKAGE STREQUAL "")
  install(FILES LICENSE ${notices} DESTINATION ${CMAKE_INSTALL_DOCDIR})
  return()
endif()

if(TROVCONV_PACKAGE STREQUAL "DEB")
  # Where Debian keeps every package's licence and changelog.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz ${notices}
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # lintian calls a static binary an error, and takes a static PIE for a
  # library without its dependencies.
  if(TROVCONV_LINK STREQUAL "static")
    set(TROVCONV_LINTIAN_TAG statically-linked-binary)
  elseif(TROVCONV_LINK STREQUAL "static-pie")
    set(TROVCONV_LINTIAN_TAG shared-library-lacks-prerequisites)
  endif()
  if(TROVCONV_LINTIAN_TAG)
    configure_file(packaging/lintian-overrides.in
      ${CMAKE_BINARY_DIR}/lintian-overrides @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/lintian-overrides
      DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME trovconv)
  endif()
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  # From the binary itself, as dpkg-shlibdeps reads it: nothing for one
  # linked statically.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  if(CMAKE_CROSSCOMPILING)
    # CPack names the machine it runs on; the package is for the target,
    # in Debian's name for it. The 32-bit ARM binary needs no library, so
    # it installs on armhf, Raspberry Pi OS's architecture.
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${CMAKE_SYSTEM_PROCESSOR})
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
      set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
    elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
      set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
    endif()
  endif()
else()
  # Where Fedora, RHEL and openSUSE keep every package's licence.
  install(FILES LICENSE ${notices}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/licenses/trovconv)
  set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
  set(CPACK_RPM_PACKAGE_RELEASE 1)
  set(CPACK_RPM_PACKAGE_LICENSE MIT)
  set(CPACK_RPM_PACKAGE_GROUP "Applications/Engineering")
  set(CPACK_RPM_PACKAGE_SUMMARY
    "Converts trovik QV-7 capture files into Carvendel timing files")
  # No build host and no build time: rpmbuild takes the time from
  # SOURCE_DATE_EPOCH, for the header and as the latest any file may have.
  # Its strip and objdump must be the ones for the target's machine code.
  # The payload is xz, which every rpm since RHEL 6 and openSUSE 11 reads.
  set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${CPACK_PACKAGE_CONTACT}
%define _buildhost reproducible
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%define __strip ${CMAKE_STRIP}
%define __objdump ${CMAKE_OBJDUMP}
%define _binary_payload w9.xzdio")
  # rpm's reading of a static PIE's dynamic section asks for a dynamic
  # loader, which it never uses.
  if(TROVCONV_LINK STREQUAL "static-pie")
    string(APPEND CPACK_RPM_SPEC_MORE_DEFINE
      "\n%define __requires_exclude ^rtld[(]GNU_HASH[)]$")
  endif()
  if(CMAKE_CROSSCOMPILING)
    set(CPACK_RPM_PACKAGE_ARCHITECTURE ${CMAKE_SYSTEM_PROCESSOR})
  endif()
  # The file system package owns these; the package only what it adds.
  set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/share/man /usr/share/man/man1 /usr/share/licenses)
  set(CPACK_RPM_CHANGELOG_FILE ${CMAKE_BINARY_DIR}/changelog.RPM)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(doc /usr/${CMAKE_INSTALL_DOCDIR})
  set(licenses /usr/${CMAKE_INSTALL_DATADIR}/licenses/trovconv)
  set(CPACK_RPM_USER_FILELIST "%doc ${doc}/README.md" "%doc ${doc}/CHANGELOG.md"
    "%license ${licenses}/LICENSE")
  if(TROVCONV_NOTICES)
    list(APPEND CPACK_RPM_USER_FILELIST "%license ${licenses}/NOTICES")
  endif()
endif()
include(CPack)
