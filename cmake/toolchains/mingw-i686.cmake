# 32-bit Windows with mingw-w64 (Debian g++-mingw-w64-i686-posix).
set(KAVRO_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
# See linux-i686.cmake: x87 rounding would make 32-bit output differ.
set(KAVRO_MINGW_ARCH_FLAGS "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
