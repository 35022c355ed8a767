# Install rules and packages: a .deb on Linux, a zip per Windows DLL.

include(GNUInstallDirs)

# Hosts scan fixed folders (~/.vst, /usr/local/lib/vst, /usr/lib/vst, or what
# VST_PATH / LXVST_PATH name), never the multiarch library folder, so the
# plug-in folder is set apart from CMAKE_INSTALL_LIBDIR. A zip holds the DLL
# at its top, ready to unpack into the host's plug-in folder.
if(WIN32)
  set(_kavro_vst_dir_default ".")
else()
  set(_kavro_vst_dir_default "lib/vst")
endif()
set(KAVRO_VST_INSTALL_DIR "${_kavro_vst_dir_default}"
    CACHE STRING "Plug-in folder: relative to the install prefix, or absolute (e.g. ~/.vst expanded)")

if(TARGET Kavro)
  install(TARGETS Kavro LIBRARY DESTINATION ${KAVRO_VST_INSTALL_DIR} COMPONENT plugin)
endif()
if(TARGET kavro-render)
  install(TARGETS kavro-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT renderer)
endif()

set(CPACK_PACKAGE_NAME kavro)
set(CPACK_PACKAGE_VENDOR "Quorla")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION} (VST 2.4 interface)")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # The 32-bit DLL is the primary Windows build; the names keep the two apart.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME "Kavro-${PROJECT_VERSION}-win32")
  else()
    set(CPACK_PACKAGE_FILE_NAME "Kavro-${PROJECT_VERSION}-win64")
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorla <kavro@quorla.invalid>")
  # The summary above is the first line; this is the extended description.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Kavro.so in /usr/lib/vst for hosts to load, and kavro-render, a command-line renderer that runs audio files through the plug-in.")
  # Depends (libc6, libstdc++6, libsndfile1, ...) come from the binaries.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
