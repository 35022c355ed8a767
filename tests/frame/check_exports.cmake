# cmake -DNM=<nm> -DMODULE=<plug-in module> -P check_exports.cmake
# Fails unless the module's defined dynamic symbols are exactly VSTPluginMain
# and main.
if(NOT NM OR NOT MODULE)
  message(FATAL_ERROR "usage: cmake -DNM=<nm> -DMODULE=<module> -P check_exports.cmake")
endif()
execute_process(COMMAND ${NM} -D --defined-only ${MODULE}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed (${result}): ${errors}")
endif()
string(REPLACE "\n" ";" lines "${output}")
set(names "")
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "")
    continue()
  endif()
  # "<address> <type> <name>[@version]" ; the name is the last field.
  string(REGEX REPLACE "^.* " "" name "${line}")
  string(REGEX REPLACE "@.*$" "" name "${name}")
  list(APPEND names "${name}")
endforeach()
list(SORT names)
message(STATUS "defined dynamic symbols: ${names}")
if(NOT names STREQUAL "VSTPluginMain;main")
  message(FATAL_ERROR "expected exactly VSTPluginMain and main, found: ${names}\n${output}")
endif()
