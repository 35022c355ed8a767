# Checks a Windows plug-in DLL as the Windows loader and a host see it, from
# the mingw objdump -p listing:
#  - it exports exactly VSTPluginMain and main, undecorated (no leading
#    underscore or @n suffix on 32-bit x86), both at the same address;
#  - it imports only DLLs that every Windows system has, so no compiler
#    runtime (libstdc++, libgcc_s, libwinpthread) must ship beside it.
# Usage: cmake -DOBJDUMP=<objdump> -DMODULE=<dll> -P check_pe_tables.cmake
cmake_minimum_required(VERSION 3.25)

foreach(var OBJDUMP MODULE)
  if(NOT ${var})
    message(FATAL_ERROR "${var} not set")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${MODULE}
                OUTPUT_VARIABLE listing RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed: ${err}")
endif()
string(REPLACE "\n" ";" lines "${listing}")

set(section "")
set(exports "")
set(addresses "")
set(imports "")
foreach(line IN LISTS lines)
  if(line MATCHES "^Export Address Table -- ")
    set(section addresses)
  elseif(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(section names)
  elseif(line STREQUAL "")
    set(section "")
  elseif(section STREQUAL "addresses" AND line MATCHES "^\t\\[ *[0-9]+\\] \\+base\\[ *[0-9]+\\] +([0-9a-fA-F]+) ")
    list(APPEND addresses ${CMAKE_MATCH_1})
  elseif(section STREQUAL "names" AND line MATCHES "^\t\\[ *[0-9]+\\] (.+)$")
    list(APPEND exports "${CMAKE_MATCH_1}")
  endif()
  if(line MATCHES "^\tDLL Name: (.+)$")
    string(TOLOWER "${CMAKE_MATCH_1}" dll)
    list(APPEND imports ${dll})
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

# Present on every Windows since XP; msvcrt.dll is what mingw-w64 links against.
set(system_dlls kernel32.dll msvcrt.dll user32.dll advapi32.dll)
if(NOT imports)
  string(APPEND failures "no import table found: is this a DLL?\n")
endif()
foreach(dll IN LISTS imports)
  if(NOT dll IN_LIST system_dlls)
    string(APPEND failures "imports ${dll}, which is not a system DLL\n")
  endif()
endforeach()

message(STATUS "${MODULE}\n  exports: ${exports}\n  imports: ${imports}")
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
