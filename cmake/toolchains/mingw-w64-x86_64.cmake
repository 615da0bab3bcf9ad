# 64-bit Windows (PE32+, x86-64) with Debian's mingw-w64.
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
# Its Wine: PE32 programs need the 32-bit loader, PE32+ ones the 64-bit one.
set(PENDANT_WINE_ARCH win64)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
