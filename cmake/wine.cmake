# Runs the Windows tests on Linux through Wine, with the ANSI code page 932
# (Shift-JIS), so that double-byte file names are tested for real. Wine takes
# its code page from the glibc locale; the locale is built into the build
# folder, which leaves the system as it is.
find_program(WINE wine REQUIRED)
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
set(CMAKE_CROSSCOMPILING_EMULATOR
  env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= LOCPATH=${TROVCONV_LOCALES}
      LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 ${WINE})
