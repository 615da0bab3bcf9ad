# Fails when the library's link list (LINKS, written at generation) names
# Threads.
file(READ ${LINKS} links)
if(links MATCHES "Threads")
  message(FATAL_ERROR "${LIBRARY} links Threads: ${links}")
endif()
if(NOT links MATCHES "pendant_")
  message(FATAL_ERROR "${LIBRARY}'s link list was not read (${links})")
endif()
message(STATUS "${LIBRARY} links ${links}")
