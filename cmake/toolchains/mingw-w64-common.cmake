# Shared part of the mingw-w64 cross toolchains. The including file sets
# MINGW_TRIPLET (i686-w64-mingw32 or x86_64-w64-mingw32),
# CMAKE_SYSTEM_PROCESSOR and PENDANT_WINE_ARCH (win32 or win64) first.
#
# Debian ships each mingw-w64 compiler in a "-posix" and a "-win32" threading
# flavour; we name the posix one explicitly so the build does not depend on
# which alternative the machine happens to have selected.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)
set(CMAKE_AR ${MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# Headers and libraries come from the mingw-w64 sysroot only; programs
# (cmake, file, bash) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The .exe must run on a bare Windows: libgcc, libstdc++ and winpthread are
# linked in, so the only DLLs it needs are ones every Windows has.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run the Windows programs through Wine, quiet and bounded. A preset
# may override this (it knows the build tree, where the prefix lives).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        "${CMAKE_CURRENT_LIST_DIR}/../wine-run.sh;--arch;${PENDANT_WINE_ARCH};--prefix;${CMAKE_BINARY_DIR}/wineprefix")
endif()
