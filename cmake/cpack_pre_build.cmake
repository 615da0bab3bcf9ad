# Run by cpack once the files are installed in its staging directory, before
# it packs them (CPACK_PRE_BUILD_SCRIPTS): what the packages hold must not
# depend on when, or with which umask, they were built.
set(root "${CPACK_TEMPORARY_DIRECTORY}")
set(epoch "${CPACK_PENDANT_SOURCE_DATE_EPOCH}")

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGV}: ${status}")
  endif()
endfunction()

# The .comment and .note sections strip leaves: the compiler's version and
# nothing a user needs (Debian's own packaging drops them too).
if(CPACK_PENDANT_STRIP)
  file(GLOB programs "${root}/usr/bin/*")
  foreach(program IN LISTS programs)
    run(${CPACK_PENDANT_STRIP} --remove-section=.comment --remove-section=.note ${program})
  endforeach()
endif()

# Modes as a package has them, whatever the umask: rw-r--r--, and rwxr-xr-x
# for directories and programs.
run(chmod -R u=rwX,go=rX "${root}")
# Every file and directory gets the epoch as its time.
run(find "${root}" -exec touch --no-dereference --date=@${epoch} {} +)
