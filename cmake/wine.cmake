# Runs the Windows tests on Linux through Wine, in a Wine prefix of the build
# folder's own, with the ANSI code page 932 (Shift-JIS), so that double-byte
# file names are tested for real. Wine takes its code page from the glibc
# locale; the locale is built into the build folder too, which leaves the
# system and the user's own Wine set-up as they are.
find_program(WINE wine REQUIRED)
find_program(WINESERVER wineserver REQUIRED)
find_program(LOCALEDEF localedef REQUIRED)

set(TROVCONV_LOCALES ${CMAKE_BINARY_DIR}/locale)
if(NOT EXISTS ${TROVCONV_LOCALES}/ja_JP.UTF-8)
  file(MAKE_DIRECTORY ${TROVCONV_LOCALES})
  execute_process(
    COMMAND ${LOCALEDEF} -i ja_JP -f UTF-8 ${TROVCONV_LOCALES}/ja_JP.UTF-8
    RESULT_VARIABLE locale_result)
  if(NOT locale_result EQUAL 0)
    message(FATAL_ERROR "localedef could not build ja_JP.UTF-8 "
      "(Debian package: locales)")
  endif()
endif()

set(TROVCONV_WINE_ENVIRONMENT
  WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
  WINEDEBUG=-all
  WINEDLLOVERRIDES=mscoree,mshtml=  # no offer to fetch add-ons
  LOCPATH=${TROVCONV_LOCALES}
  LANG=ja_JP.UTF-8
  LC_ALL=ja_JP.UTF-8)

# A new prefix takes seconds to make and says so on standard error: make it
# now, so that no test sees that.
if(NOT EXISTS ${CMAKE_BINARY_DIR}/wineprefix/system.reg)
  message(STATUS "Creating the Wine prefix for the tests")
  execute_process(
    COMMAND env ${TROVCONV_WINE_ENVIRONMENT} ${WINE} wineboot -i
    COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET ERROR_QUIET)
  execute_process(COMMAND env ${TROVCONV_WINE_ENVIRONMENT} ${WINESERVER} -w)
endif()

set(CMAKE_CROSSCOMPILING_EMULATOR env ${TROVCONV_WINE_ENVIRONMENT} ${WINE})
