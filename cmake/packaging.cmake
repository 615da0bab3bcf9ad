# What a user installs besides the programs (each installed where it is
# defined): their man pages, the licence, the changelog and the docs; and
# what CPack makes of it all: a Debian package on Linux (cpack --preset
# deb), a zip on Windows (cpack --preset windows-zip), each with a
# SHA256SUMS beside it. Binaries are stripped; the version is project()'s,
# the changelog CHANGELOG.md's, and every time in the packages
# PENDANT_SOURCE_DATE_EPOCH (cmake/source_date_epoch.cmake), so two builds
# of one commit give the same bytes.

# Who makes the packages: the project itself, which has no mailbox of its
# own (hence the reserved .invalid domain); its issue list is the way to
# reach it. The .deb's Maintainer field and its changelog's entries.
set(PENDANT_MAINTAINER "pendant-test project <project@pendant-test.invalid>")

set(CPACK_PACKAGE_NAME pendant-test)
set(CPACK_PACKAGE_VENDOR "pendant-test project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console test tool for a USB handheld CNC pendant")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

# What cpack itself runs: cmake/cpack_project.cmake puts the epoch into its
# environment (CPack's DEB generator takes the times of the .deb's members
# and control files from it); cmake/cpack_pre_build.cmake gives the staged
# files the epoch's time and the usual modes before they are packed;
# cmake/cpack_post_build.cmake normalises the zip and writes SHA256SUMS.
set(CPACK_PENDANT_SOURCE_DATE_EPOCH ${PENDANT_SOURCE_DATE_EPOCH})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_project.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_pre_build.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_post_build.cmake)

# gzip -9n: no name and no time in the header (Debian's way for man pages
# and changelogs), so the bytes depend on the text alone.
function(pendant_gzip input output)
  execute_process(COMMAND gzip -9nc ${input} OUTPUT_FILE ${output} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${input} failed (${status})")
  endif()
endfunction()

if(WIN32)
  # The zip: one folder with the .exe (installed in app/), the driver package
  # template (backends/windows/), a read-me, the Windows guide, the changelog
  # and the licence. Text files with CR LF, for Notepad on any Windows.
  set(text ${CMAKE_BINARY_DIR}/package-text)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows-readme.txt.in ${text}/README.txt @ONLY
                 NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${text}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/docs/windows.md ${text}/windows.md @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/docs/check.md ${text}/check.md @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${text}/CHANGELOG.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${text}/README.txt ${text}/LICENSE.txt ${text}/windows.md ${text}/check.md
                ${text}/CHANGELOG.txt DESTINATION .)
  # The PE time stamp is the epoch's (the linker launcher in
  # cmake/source_date_epoch.cmake): link again when it changes.
  set_property(TARGET pendant-test APPEND PROPERTY LINK_DEPENDS
                                                   ${PROJECT_BINARY_DIR}/source_date_epoch.txt)

  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  # Man pages of the programs this build has, gzipped as Debian has them.
  set(man ${CMAKE_BINARY_DIR}/man)
  set(AT "@") # the rule template's placeholders, spelt @AT@VID@AT@ in the pages
  foreach(program pendant-test pendant-test-udev-rule pendant-sim pendant-gadget)
    if(NOT TARGET ${program})
      continue()
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/man/${program}.1.in ${man}/${program}.1 @ONLY)
    pendant_gzip(${man}/${program}.1 ${man}/${program}.1.gz)
    install(FILES ${man}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()

  # The licence where Debian looks for it, the changelog in Debian's format
  # (a native package's changelog.gz), and the guides.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR}
          RENAME copyright)
  pendant_debian_changelog(${CMAKE_BINARY_DIR}/package-text/changelog "${PENDANT_MAINTAINER}")
  pendant_gzip(${CMAKE_BINARY_DIR}/package-text/changelog ${CMAKE_BINARY_DIR}/package-text/changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/package-text/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/linux.md
                ${PROJECT_SOURCE_DIR}/docs/check.md ${PROJECT_SOURCE_DIR}/docs/performance.md
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  if(TARGET pendant-sim)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/sim.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  endif()
  if(TARGET pendant-gadget)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/gadget.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  endif()
  # The Wireshark dissector, for -X lua_script: or a plugin folder
  # (docs/dissector.md).
  install(FILES ${PROJECT_SOURCE_DIR}/dissector/pendant.lua
          DESTINATION ${CMAKE_INSTALL_DATADIR}/pendant-test)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/dissector.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # pendant-test_VERSION_ARCH.deb
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PENDANT_MAINTAINER}")
  # For the pre-build step, which strips what lintian calls unneeded
  # sections (.comment, .note), as Debian's own tools do.
  set(CPACK_PENDANT_STRIP ${CMAKE_STRIP})
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  # Depends, from the libraries the binaries link (dpkg-shlibdeps).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "usbutils")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Below the summary line, which CPack puts first.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "pendant-test finds a USB handheld CNC pendant (a manual pulse generator with
a jog wheel, an axis selector and a display), prints a report of its USB
interface and endpoints, keeps its display up to date and follows its jog
wheel, one trace line per input report.
pendant-test-udev-rule writes the udev rule that binds a pendant by its USB
id; pendant-sim is the same tool driving a virtual pendant, with a script
mode and decoders for captured frames; pendant-gadget plays the pendant on
a Linux machine with a USB device controller. With a Wireshark dissector
for the pendant's USB traffic. MIT licence.")
endif()

include(CPack)
