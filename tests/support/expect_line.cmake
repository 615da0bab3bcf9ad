# Runs PROGRAM with ARGS (a ;-list) and expects status 0, exactly the one
# line LINE on standard output and nothing on standard error.
#   cmake -DPROGRAM=... -DARGS=... -DLINE=... -P expect_line.cmake
execute_process(COMMAND ${PROGRAM} ${ARGS} RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE err TIMEOUT 20 INPUT_FILE /dev/null)
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "${PROGRAM} ${ARGS}: status ${status}, want 0; stderr: ${err}")
endif()
if(NOT out STREQUAL "${LINE}\n")
  message(FATAL_ERROR "${PROGRAM} ${ARGS}: printed [${out}], want the line [${LINE}]")
endif()
if(NOT err STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} ${ARGS}: unexpected standard error: ${err}")
endif()
