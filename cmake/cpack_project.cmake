# Read by cpack before each generator runs (CPACK_PROJECT_CONFIG_FILE).
#
# The epoch in cpack's environment: the DEB generator takes the times of the
# .deb's members and of its control files from SOURCE_DATE_EPOCH, and the
# tools cpack runs (strip, dpkg-shlibdeps) see the same time.
set(ENV{SOURCE_DATE_EPOCH} "${CPACK_PENDANT_SOURCE_DATE_EPOCH}")
# Zip entries hold local times: UTC, so the zip is the same wherever it is
# made.
set(ENV{TZ} UTC)
