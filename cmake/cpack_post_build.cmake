# Run by cpack once a package is made, before it is copied beside the build
# (CPACK_POST_BUILD_SCRIPTS): the zip's entries normalised, and SHA256SUMS,
# for `sha256sum -c SHA256SUMS`, beside the packages.
set(sums "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.zip$")
    # Entry times from the epoch and no owner ids or access times: the zip
    # writer takes those from the machine that made it.
    find_program(STRIP_NONDETERMINISM strip-nondeterminism)
    if(NOT STRIP_NONDETERMINISM)
      message(FATAL_ERROR "strip-nondeterminism is missing (it makes the zip reproducible): as root, run "
                          "apt-get install strip-nondeterminism (scripts/deps.d/50-packages.sh)")
    endif()
    execute_process(COMMAND ${STRIP_NONDETERMINISM} --type zip
                            --timestamp ${CPACK_PENDANT_SOURCE_DATE_EPOCH} ${package}
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "strip-nondeterminism ${package}: ${status}")
    endif()
  endif()
  file(SHA256 ${package} sum)
  get_filename_component(name ${package} NAME)
  string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE "${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS" "${sums}")
