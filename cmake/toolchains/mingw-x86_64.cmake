# 64-bit Windows with mingw-w64 (Debian g++-mingw-w64-x86-64-posix).
set(KAVRO_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KAVRO_MINGW_ARCH_FLAGS "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Tests run under wine64 with a prefix of their own in the build tree, so that
# nothing depends on (or changes) the user's ~/.wine. WINEDEBUG=-all keeps
# wine's diagnostics out of the test output.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      /usr/bin/env;WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all;/usr/lib/wine/wine64)
endif()
