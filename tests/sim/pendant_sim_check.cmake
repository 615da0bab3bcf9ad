# Runs pendant-sim and checks that it plays its wheel sequence to the end:
# survey for pipe 0x81, a trace line per report, the display following the
# wheel, exit status 0.
execute_process(COMMAND ${SIM} RESULT_VARIABLE status OUTPUT_VARIABLE out TIMEOUT 20 INPUT_FILE /dev/null)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pendant-sim exited with ${status}:\n${out}")
endif()
foreach(expected
    "\n    Endpoint 0:\n      Type: Interrupt\n      PipeID: 129\n      PipeInterruptFirst set to this pipe.\n      MaxPacket: 8\nEndpoint query complete."
    "Read from rk27: 4 0 0 12 1f 0 \n"
    "Read from rk27: 4 0 0 0 5 0 \n"
    "[pendant display] set1 0.0000 0.0000 0.0000 | set2 5.0000 30.0000 -18.0000 | words 0 0 0 0\n")
  string(FIND "${out}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "pendant-sim output lacks:\n${expected}\n--- output ---\n${out}")
  endif()
endforeach()
string(REGEX MATCHALL "Read from rk27:" traces "${out}")
list(LENGTH traces count)
if(NOT count EQUAL 10)
  message(FATAL_ERROR "expected 10 trace lines, got ${count}:\n${out}")
endif()
string(FIND "${out}" "nothing to do" at)
if(NOT at EQUAL -1)
  message(FATAL_ERROR "the success path printed the failure text:\n${out}")
endif()
