# 32-bit x86 Linux on a 64-bit Debian host (g++-multilib), run under qemu-i386.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# SSE2 arithmetic instead of x87: the x87 unit's extended precision would round
# read positions and products differently, and the output must match 64-bit
# builds bit for bit.
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

# This kernel cannot execute 32-bit programs; -L / lets qemu find the i386
# loader and libraries that multilib installed.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386;-L;/)

# Libraries must be the 32-bit ones; pkg-config and find_library would hand
# out the 64-bit builds otherwise.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig")
