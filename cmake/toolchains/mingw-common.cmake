# Shared part of the mingw-w64 toolchains; the caller sets KAVRO_MINGW_TRIPLET
# and KAVRO_MINGW_ARCH_FLAGS. The posix variants carry std::thread and friends.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${KAVRO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KAVRO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KAVRO_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${KAVRO_MINGW_TRIPLET}-objdump CACHE FILEPATH "objdump for PE files")

set(CMAKE_C_FLAGS_INIT "${KAVRO_MINGW_ARCH_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${KAVRO_MINGW_ARCH_FLAGS}")

# Link the compiler runtime and winpthread in statically so that a host needs
# nothing but system DLLs to load Kavro.dll (and wine nothing to run a test).
set(_kavro_static "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_kavro_static}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_kavro_static}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_kavro_static}")

set(CMAKE_FIND_ROOT_PATH /usr/${KAVRO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
