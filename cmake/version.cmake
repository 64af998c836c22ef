# The version's and the release date's other spellings, made from
# PROJECT_VERSION and TROVCONV_RELEASE_DATE: all four parts of the version,
# which Windows' version resource and manifest want, and the date as the
# Debian and RPM changelogs write it.
foreach(part PATCH TWEAK)
  if(PROJECT_VERSION_${part} STREQUAL "")
    set(PROJECT_VERSION_${part} 0)
  endif()
endforeach()

foreach(format DEBIAN "%a, %d %b %Y" RPM "%a %b %d %Y")
  if(format MATCHES "^[A-Z]+$")
    set(name ${format})
    continue()
  endif()
  execute_process(COMMAND env LC_ALL=C date -u -d ${TROVCONV_RELEASE_DATE}
    "+${format}" OUTPUT_VARIABLE TROVCONV_${name}_DATE
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endforeach()
