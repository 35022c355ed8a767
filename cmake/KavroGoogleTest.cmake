# GoogleTest for the tests. Debian's libgtest is built for the build machine
# only, so a cross build (32-bit Linux, Windows) compiles GoogleTest from the
# Debian source package instead.
if(TARGET GTest::gtest)
  return()
endif()
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  return()
endif()

set(KAVRO_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${KAVRO_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest is not ours to keep warning-free under -Werror.
foreach(target gtest gtest_main gmock gmock_main)
  set_property(TARGET ${target} PROPERTY COMPILE_OPTIONS "")
endforeach()
