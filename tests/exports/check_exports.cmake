# Lists the dynamic exports of every shared library in PLUGINS_DIR with NM and fails when one
# exports a name outside the plug-in contract, or when there is no library to check.
# Usage: cmake -DPLUGINS_DIR=<dir> -DNM=<nm> -P check_exports.cmake
cmake_minimum_required(VERSION 3.25)
set(contract
  GetKindOfDLL GetDLLID GetName GetDLLVersion GetDate
  GetInputExt Decode
  GetFormatName GetFormatNameExt Code
  GetConnectorName GetConnectorExt Connect
  Filter GetFilterName
  CodeLsp DecodeLsp)

file(GLOB libraries "${PLUGINS_DIR}/*.so")
list(SORT libraries)
if(NOT libraries)
  message(FATAL_ERROR "no shared library in ${PLUGINS_DIR}: build the plug-ins first")
endif()

set(failures "")
foreach(library IN LISTS libraries)
  execute_process(COMMAND "${NM}" -D --defined-only "${library}"
    OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE result)
  get_filename_component(file "${library}" NAME)
  if(NOT result EQUAL 0)
    string(APPEND failures "${file}: nm failed: ${errors}\n")
    continue()
  endif()
  string(REPLACE "\n" ";" lines "${listing}")
  set(extra "")
  foreach(line IN LISTS lines)
    # "<address> <type> <name>[@version]"; type A marks a version node, not a symbol.
    if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) ([^@ ]+)")
      set(type "${CMAKE_MATCH_1}")
      set(name "${CMAKE_MATCH_2}")
      if(NOT type STREQUAL "A" AND NOT name IN_LIST contract)
        list(APPEND extra "${name}")
      endif()
    endif()
  endforeach()
  if(extra)
    list(JOIN extra " " names)
    string(APPEND failures "${file} exports beyond the contract: ${names}\n")
  else()
    message(STATUS "${file}: contract exports only")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
