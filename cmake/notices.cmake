# Writes ${CMAKE_BINARY_DIR}/NOTICES when a release build is configured
# (TROVCONV_NOTICES): the tool is linked statically, and the licences of the
# runtime libraries inside it want their notices, and the LGPL its text,
# with every copy. Needs CMAKE_CXX_COMPILER, WIN32, CMAKE_BINARY_DIR,
# PROJECT_VERSION and TROVCONV_LINK, and Debian: the packages are named
# from dpkg's database, the LGPL's text read from /usr/share/common-licenses.

# Appends to `notices` a part of the program: its name, licence, and the
# archives the link takes it from, each with the Debian binary and source
# package it came from. Leaves the last one's package, source, and the
# sources it was built with (a cross toolchain's copy of a library is built
# from the library's) in part_package, part_source and part_built_using.
function(trovconv_part name licence meaning)
  set(text "${name}\n  Licence: ${licence}\n    ${meaning}\n")
  foreach(archive IN LISTS ARGN)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${archive}
      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
      message(FATAL_ERROR "${CMAKE_CXX_COMPILER} has no ${archive}")
    endif()
    file(REAL_PATH "${path}" path)
    string(APPEND text "  ${path}\n")
    set(package "")
    set(source "")
    set(built_using "")
    # Debian 12 has merged /usr: dpkg may know the file by either name.
    string(REGEX REPLACE "^/usr/" "/" bare "${path}")
    foreach(candidate IN ITEMS "${path}" "${bare}" "/usr${bare}")
      execute_process(COMMAND dpkg -S "${candidate}" RESULT_VARIABLE failed
        OUTPUT_VARIABLE owner ERROR_QUIET)
      if(failed EQUAL 0 AND owner MATCHES "^([^ ,:]+(:[a-z0-9]+)?)[,:] ")
        set(package ${CMAKE_MATCH_1})
        break()
      endif()
    endforeach()
    if(package STREQUAL "")
      string(APPEND text "    found here, with no package database to name"
        " it\n")
      continue()
    endif()
    execute_process(COMMAND dpkg-query -W
      "-f=\${Version} \${source:Package} \${source:Version} \${Built-Using}"
      ${package} OUTPUT_VARIABLE found COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCH "^([^ ]+) ([^ ]+ [^ ]+) ?(.*)" found "${found}")
    set(source "${CMAKE_MATCH_2}")
    set(built_using "${CMAKE_MATCH_3}")
    string(APPEND text "    Debian package ${package} ${CMAKE_MATCH_1},\n"
      "    source package ${source}\n")
  endforeach()
  set(notices "${notices}${text}\n" PARENT_SCOPE)
  string(REGEX REPLACE ":.*" "" package "${package}")
  set(part_package "${package}" PARENT_SCOPE)
  set(part_source "${source}" PARENT_SCOPE)
  set(part_built_using "${built_using}" PARENT_SCOPE)
endfunction()

# Appends to `asks`, under `title`, the copyright and licence text that
# part_package's Debian copyright file gives the files `files` (as its
# Files: line has them): a binary must carry them.
function(trovconv_copy_notice title files)
  file(READ /usr/share/doc/${part_package}/copyright copyright)
  string(REPLACE "*" "\\*" pattern "${files}")
  set(more "((\n[ \t][^\n]*)*)")  # a field's continuation lines
  if(NOT copyright MATCHES "\n\nFiles: ${pattern}${more}\nCopyright: \
([^\n]*)${more}\nLicense: ([^\n]*)${more}")
    message(FATAL_ERROR "no copyright and licence for ${files} in "
      "/usr/share/doc/${part_package}/copyright")
  endif()
  set(holders "${CMAKE_MATCH_3}${CMAKE_MATCH_4}")
  set(text "${CMAKE_MATCH_7}")
  # Else the licence's text is in a paragraph of its own.
  if(text STREQUAL "" AND
      copyright MATCHES "\n\nLicense: ${CMAKE_MATCH_6}${more}")
    set(text "${CMAKE_MATCH_1}")
  endif()
  string(REGEX REPLACE "\n[ \t]+" "\nCopyright " holders "${holders}")
  string(REGEX REPLACE "\n \\.(\n|$)" "\n\n" text "${text}")
  string(REPLACE "\n " "\n" text "${text}")
  set(asks "${asks}${title}\n\nCopyright ${holders}\n${text}\n\n" PARENT_SCOPE)
endfunction()

if(NOT WIN32 AND TROVCONV_LINK STREQUAL "dynamic")
  file(WRITE ${CMAKE_BINARY_DIR}/NOTICES "trovconv ${PROJECT_VERSION} is \
under the MIT licence (LICENSE).\nThis build is linked dynamically: no part \
of another project is inside the\nprogram. The libraries it uses come with \
the system, under their own licences.\n")
  return()
endif()

set(notices "trovconv ${PROJECT_VERSION}: notices for the parts of other \
projects in it\n
trovconv is under the MIT licence (LICENSE). The parts below are linked
into the program itself. Each is named with the file it was
linked from and, where the machine that built it knew, the Debian binary
and source package that file came from.\n\n")

set(gcc "GPL-3.0-or-later WITH GCC-exception-3.1")
trovconv_part("GNU C++ library and GCC runtime" "${gcc}"
  "GNU GPL 3 or later, with an exception for programs compiled with GCC"
  libstdc++.a libgcc.a libgcc_eh.a)
set(asks "libstdc++, libgcc and libgcc_eh, ${gcc}:
the GCC Runtime Library Exception lets a program compiled with GCC (or
another GPL-compatible compiler) carry these libraries under terms of its
own. It puts no conditions on trovconv.\n\n")

if(WIN32)
  trovconv_part("mingw-w64 runtime" "ZPL-2.1 AND LicenseRef-Lucent"
    "permissive: a binary carries the notices below; some files public domain"
    libmingw32.a libmingwex.a libmsvcrt.a)
  trovconv_part("winpthreads, mingw-w64's threads library" MIT
    "the MIT licence, permissive: copies carry the notice below" libpthread.a)
  if(NOT EXISTS /usr/share/doc/${part_package}/copyright)
    message(FATAL_ERROR "no Debian copyright file to take mingw-w64's "
      "notices from (Debian package: mingw-w64-x86-64-dev)")
  endif()
  trovconv_copy_notice("The mingw-w64 runtime, ZPL-2.1 for the most of it:"
    "*")
  trovconv_copy_notice("Its gdtoa code, which libmingwex.a's printf uses to \
format numbers:" "mingw-w64-crt/gdtoa/*")
  trovconv_copy_notice("winpthreads:" "mingw-w64-libraries/winpthreads/*")
elseif(NOT TROVCONV_LINK STREQUAL "dynamic")
  trovconv_part("GNU C Library" LGPL-2.1-or-later
    "GNU Lesser GPL 2.1 or later: any program may link it (see below)" libc.a)
  if(part_built_using MATCHES "(^|, )glibc \\(= ([^)]+)\\)")
    set(part_source "glibc ${CMAKE_MATCH_2}")
  endif()
  string(REPLACE "+" "%2B" url "${part_source}")
  string(REPLACE " " "/" url "${url}")
  set(libc_source "in Debian's source package ${part_source},
  https://snapshot.debian.org/package/${url}/")
  if(part_source STREQUAL "")
    set(libc_source "that of the library named above.")
  endif()
  string(APPEND asks "\
The GNU C Library, LGPL-2.1-or-later: a program linked with it may be
passed on under terms of its own, provided that whoever gets it can change
the library and link the program again with the changed one. trovconv's
complete source is public under the MIT licence, and README.md says how to
build it, which is how to relink it. The C library's source is
  ${libc_source}
The licence's full text is at the end of this file.")
  set(lgpl /usr/share/common-licenses/LGPL-2.1)
  if(NOT EXISTS ${lgpl})
    message(FATAL_ERROR "${lgpl} is missing (Debian package: base-files)")
  endif()
  # In this file, not one of its own, which Debian's tools would take for
  # the package's licence.
  file(READ ${lgpl} lgpl_text)
  string(APPEND asks "\n\n\n${lgpl_text}")
endif()
string(STRIP "${notices}What these licences ask\n\n${asks}" notices)
file(WRITE ${CMAKE_BINARY_DIR}/NOTICES "${notices}\n")
