# Checks that a Linux plug-in module exports exactly VSTPluginMain and main,
# both as one function (same address), from nm's list of dynamic symbols.
# Anything else exported could clash with a host's or another plug-in's.
# Usage: cmake -DNM=<nm> -DMODULE=<so> -P check_elf_exports.cmake
cmake_minimum_required(VERSION 3.25)

foreach(var NM MODULE)
  if(NOT ${var})
    message(FATAL_ERROR "${var} not set")
  endif()
endforeach()

execute_process(COMMAND ${NM} -D --defined-only ${MODULE}
                OUTPUT_VARIABLE listing RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} -D ${MODULE} failed: ${err}")
endif()
string(REPLACE "\n" ";" lines "${listing}")

set(exports "")
set(addresses "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([0-9a-fA-F]+) ([A-Za-z]) (.+)$")
    list(APPEND exports "${CMAKE_MATCH_3}")
    list(APPEND addresses "${CMAKE_MATCH_1}")
  endif()
endforeach()

set(failures "")
list(SORT exports)
if(NOT exports STREQUAL "VSTPluginMain;main")
  string(APPEND failures "exports are [${exports}], expected exactly [VSTPluginMain;main]\n")
endif()
list(REMOVE_DUPLICATES addresses)
list(LENGTH addresses address_count)
if(NOT address_count EQUAL 1)
  string(APPEND failures "the exports lead to ${address_count} addresses [${addresses}], expected one\n")
endif()

message(STATUS "${MODULE}\n  exports: ${exports}")
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
