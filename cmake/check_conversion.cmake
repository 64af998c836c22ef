# Converts a copy of the bundled example and compares the result with the
# committed timing file, byte for byte: every build must write the same bytes.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY_FILE ${CAPTURE} ${WORK}/example.dat)
execute_process(COMMAND ${TOOL} example.dat WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0 OR NOT out STREQUAL "" OR NOT err STREQUAL "")
  message(FATAL_ERROR "conversion failed (${result}): ${out}${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
  ${EXPECTED} ${WORK}/example.tim RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "${WORK}/example.tim differs from ${EXPECTED}")
endif()
