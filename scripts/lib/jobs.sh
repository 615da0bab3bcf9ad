# shellcheck shell=bash
# The presets fix no job count, since that is the machine's: the scripts
# that build use one job per core unless CMAKE_BUILD_PARALLEL_LEVEL already
# says how many (cmake --build reads it). Sourced by those scripts.
CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
export CMAKE_BUILD_PARALLEL_LEVEL
