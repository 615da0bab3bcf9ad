# 32-bit Windows (PE32, Intel 80386) with Debian's mingw-w64.
set(MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)

# Floating point in SSE registers, not on the x87 stack. With x87, GCC keeps
# intermediate values at 80 bits even across casts to float, so the display
# coordinates (rounded to a 32-bit float, then scaled) came out one digit off
# (1024.003 as 1024 and 30, not 31). SSE2 gives IEEE single and double
# results as on every other platform. Windows 8 and later require SSE2, and
# every x86 processor since about 2003 has it.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# Its Wine: PE32 programs need the 32-bit loader, PE32+ ones the 64-bit one.
set(PENDANT_WINE_ARCH win32)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
