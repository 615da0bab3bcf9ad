# The one time the packages carry, so that two builds of a commit give the
# same bytes: PENDANT_SOURCE_DATE_EPOCH, in seconds since 1970 (UTC), is
#   - SOURCE_DATE_EPOCH from the environment, where it is set;
#   - else the time of the last commit (git log -1 --format=%ct);
#   - else, outside a git checkout, midnight of the newest CHANGELOG.md
#     section's day.
# Every file time in the .deb and the zip, the zip's entries and the PE time
# stamp of the .exe come from it; the gzipped man pages and changelog carry
# no time at all (gzip -n). It is written to source_date_epoch.txt in the
# build tree, only when it changes, for what must be remade when it does.

include(${CMAKE_CURRENT_LIST_DIR}/changelog.cmake)
pendant_changelog_read(${PROJECT_SOURCE_DIR}/CHANGELOG.md)

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(PENDANT_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
  set(_epoch_from "SOURCE_DATE_EPOCH in the environment")
  if(NOT PENDANT_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is '${PENDANT_SOURCE_DATE_EPOCH}'; "
                        "it must be seconds since 1970 (a whole number)")
  endif()
else()
  find_package(Git QUIET)
  set(_commit_time "")
  if(GIT_EXECUTABLE)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                    RESULT_VARIABLE _status OUTPUT_VARIABLE _commit_time ERROR_QUIET
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT _status EQUAL 0)
      set(_commit_time "")
    endif()
  endif()
  if(_commit_time MATCHES "^[0-9]+$")
    set(PENDANT_SOURCE_DATE_EPOCH ${_commit_time})
    set(_epoch_from "the last commit")
    # A new commit or checkout moves HEAD's reflog: configure again then.
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} rev-parse --absolute-git-dir
                    OUTPUT_VARIABLE _git_dir ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(EXISTS "${_git_dir}/logs/HEAD")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_git_dir}/logs/HEAD")
    endif()
  else()
    set(PENDANT_SOURCE_DATE_EPOCH ${PENDANT_CHANGELOG_EPOCH})
    set(_epoch_from "the newest CHANGELOG.md section (${PENDANT_CHANGELOG_DATE}); not a git checkout")
  endif()
endif()
message(STATUS "File times in the packages: ${PENDANT_SOURCE_DATE_EPOCH}, from ${_epoch_from}")
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/source_date_epoch.txt
     CONTENT "${PENDANT_SOURCE_DATE_EPOCH}\n")

# The PE time stamp: GNU ld writes SOURCE_DATE_EPOCH there when it is set
# (and the time of the link when not); strip keeps what the linker wrote.
if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env
                                SOURCE_DATE_EPOCH=${PENDANT_SOURCE_DATE_EPOCH})
endif()
