# Which folders of the source tree a library may include.
#
#   pendant_may_include(<target> <PUBLIC|PRIVATE|INTERFACE> <path>...)
#
# Includes are written from the repository root ("usb/winapi.h"). Rather
# than the root, the target is given an include directory of its own in the
# build tree that holds only symbolic links to the named folders (or single
# headers), each at its place under the root:
#
#   <build>/include/<target>/usb/winapi.h -> <source>/usb/winapi.h
#   <build>/include/<target>/backends/virtual -> <source>/backends/virtual
#
# so an include of any other folder is not found and fails to compile. The
# compiler's lookup next to the including file does not undo it: a header
# reached through the links has its directory under the link, and every
# include here names a folder from the root. PUBLIC passes the directory on
# to what links the target, as a header of it may include what it names.
function(pendant_may_include target scope)
  if(NOT scope MATCHES "^(PUBLIC|PRIVATE|INTERFACE)$")
    message(FATAL_ERROR "pendant_may_include(${target}): the scope is PUBLIC, PRIVATE or "
                        "INTERFACE, not '${scope}'")
  endif()
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  # Links left by an earlier configure with another list go.
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  foreach(path IN LISTS ARGN)
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${path})
      message(FATAL_ERROR "pendant_may_include(${target}): there is no ${path} in the sources")
    endif()
    # A path under one already linked would be written into the sources.
    set(above ${path})
    while(above MATCHES "/")
      get_filename_component(above ${above} DIRECTORY)
      if(IS_SYMLINK ${root}/${above})
        message(FATAL_ERROR "pendant_may_include(${target}): ${path} is inside ${above}, "
                            "already named")
      endif()
    endwhile()
    get_filename_component(parent ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()
