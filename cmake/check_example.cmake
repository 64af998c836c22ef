execute_process(COMMAND ${GENERATOR} ${ACTUAL} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "example generator failed: ${result}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${EXPECTED} ${ACTUAL}
  RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "${EXPECTED} differs from what the generator makes now")
endif()
