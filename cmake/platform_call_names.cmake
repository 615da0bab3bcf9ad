# The platform calls' names alone, for what names them without reaching the
# platform's types (pendant_play: a script's "fail CALL"). The one list of
# the calls is usb/standin/platform_calls.inc; this reads the names out of it
# at configure time and writes them, one PLATFORM_CALL_NAME(name) a line, to
# <output>. A change to the list configures again.
#
#   pendant_platform_call_names(<output>)
function(pendant_platform_call_names output)
  set(list_file ${PROJECT_SOURCE_DIR}/usb/standin/platform_calls.inc)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
  file(READ ${list_file} text)
  # The list's comments show the macro's form too.
  string(REGEX REPLACE "//[^\n]*" "" text "${text}")
  string(REGEX MATCHALL "PLATFORM_CALL\\(" uses "${text}")
  string(REGEX MATCHALL "PLATFORM_CALL\\([^,()]*,[ \t\r\n]*[A-Za-z_][A-Za-z0-9_]*[ \t\r\n]*,"
         calls "${text}")
  list(LENGTH uses use_count)
  list(LENGTH calls call_count)
  if(NOT use_count EQUAL call_count OR call_count EQUAL 0)
    message(FATAL_ERROR "${list_file}: ${use_count} PLATFORM_CALL entries, but the names of "
                        "${call_count} read; each is PLATFORM_CALL(result, name, (parameters))")
  endif()
  set(lines "// Made by cmake/platform_call_names.cmake from the list of the platform calls.\n")
  foreach(call IN LISTS calls)
    string(REGEX REPLACE "^PLATFORM_CALL\\([^,]*,[ \t\r\n]*([A-Za-z_0-9]+).*$" "\\1" name "${call}")
    string(APPEND lines "PLATFORM_CALL_NAME(${name})\n")
  endforeach()
  file(CONFIGURE OUTPUT ${output} CONTENT "${lines}" @ONLY)
endfunction()
