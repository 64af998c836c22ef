# Runs the Windows tests on Linux through Wine, in a Wine prefix of the build
# folder's own, with the ANSI code page 932 (Shift-JIS), so that double-byte
# file names are tested for real, and the tests of names again with 1252.
# Wine takes its code page from the glibc locale; the locales are built into
# the build folder too, which leaves the system and the user's own Wine
# set-up as they are.
find_program(WINE wine REQUIRED)
find_program(WINESERVER wineserver REQUIRED)
find_program(LOCALEDEF localedef REQUIRED)

# Each is built under another name and renamed once whole, so that a
# configure cut short leaves none half built to be taken for done.
set(TROVCONV_LOCALES ${CMAKE_BINARY_DIR}/locale)
foreach(locale ja_JP en_US)
  set(built ${TROVCONV_LOCALES}/${locale}.UTF-8)
  if(NOT EXISTS ${built})
    file(REMOVE_RECURSE ${built}.part)
    file(MAKE_DIRECTORY ${TROVCONV_LOCALES})
    execute_process(
      COMMAND ${LOCALEDEF} -i ${locale} -f UTF-8 ${built}.part
      RESULT_VARIABLE locale_result)
    if(NOT locale_result EQUAL 0)
      message(FATAL_ERROR "localedef could not build ${locale}.UTF-8 "
        "(Debian package: locales)")
    endif()
    file(RENAME ${built}.part ${built})
  endif()
endforeach()

set(TROVCONV_WINE_COMMON
  WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
  WINEDEBUG=-all
  WINEDLLOVERRIDES=mscoree,mshtml=  # no offer to fetch add-ons
  LOCPATH=${TROVCONV_LOCALES})
set(TROVCONV_WINE_ENVIRONMENT ${TROVCONV_WINE_COMMON}
  LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 TROVCONV_CODE_PAGE=932)
# Western European: where Japanese names have no ANSI spelling.
set(TROVCONV_WINE_ENVIRONMENT_1252 ${TROVCONV_WINE_COMMON}
  LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 TROVCONV_CODE_PAGE=1252)

# A new prefix takes seconds to make and says so on standard error: make it
# now, so that no test sees that. In it, a program that crashes must end at
# once with its exception code, for the test to report: by default Wine
# starts its debugger on it, which can hang with the crashed process. An
# empty debugger command starts none. The prefix counts as made once that
# is set too: one cut short is made again.
set(made ${CMAKE_BINARY_DIR}/wineprefix/.trovconv-made)
if(NOT EXISTS ${made})
  message(STATUS "Creating the Wine prefix for the tests")
  file(REMOVE_RECURSE ${CMAKE_BINARY_DIR}/wineprefix)
  execute_process(
    COMMAND env ${TROVCONV_WINE_ENVIRONMENT} ${WINE} wineboot -i
    TIMEOUT 300 COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET ERROR_QUIET)
  execute_process(
    COMMAND env ${TROVCONV_WINE_ENVIRONMENT} ${WINE} reg add
      "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug"
      /v Debugger /t REG_SZ /d "" /f
    TIMEOUT 60 COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET ERROR_QUIET)
  execute_process(COMMAND env ${TROVCONV_WINE_ENVIRONMENT} ${WINESERVER} -w
    TIMEOUT 60)
  file(TOUCH ${made})
endif()

# The same environment for the scripts that run Wine outside ctest (the
# Makefile's bench-windows, .ci/run): one variable a line.
list(JOIN TROVCONV_WINE_ENVIRONMENT "\n" lines)
file(WRITE ${CMAKE_BINARY_DIR}/wine.env "${lines}\n")

set(CMAKE_CROSSCOMPILING_EMULATOR env ${TROVCONV_WINE_ENVIRONMENT} ${WINE})
