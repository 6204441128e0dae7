# Shared build settings and the helper that turns one source file into a plug-in.

add_library(tonebridge_warnings INTERFACE)
add_library(tonebridge::warnings ALIAS tonebridge_warnings)
target_compile_options(tonebridge_warnings INTERFACE
  $<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>:-Wall -Wextra>
  $<$<COMPILE_LANG_AND_ID:C,GNU,Clang>:-Wall -Wextra>
  $<$<BOOL:${TONEBRIDGE_WERROR}>:-Werror>)

if(TONEBRIDGE_SANITIZE)
  add_compile_options(-fsanitize=${TONEBRIDGE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TONEBRIDGE_SANITIZE})
endif()

# Version script: a plug-in exports exactly its contract and nothing else. The export names
# are read from the contract header, so the list cannot fall behind it.
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/../plugin_api/tonebridge/plugin_api.h" _tb_export_lines
  REGEX "^#define TB_EXPORT_[A-Z_]+ \"[A-Za-z]+\"")
set(TONEBRIDGE_EXPORT_NAMES "")
set(_tb_exports "")
foreach(line ${_tb_export_lines})
  string(REGEX REPLACE "^#define TB_EXPORT_[A-Z_]+ \"([A-Za-z]+)\".*" "\\1" name "${line}")
  list(APPEND TONEBRIDGE_EXPORT_NAMES "${name}")
  string(APPEND _tb_exports "    ${name};\n")
endforeach()
set(TONEBRIDGE_EXPORTS_MAP "${CMAKE_BINARY_DIR}/plugin_exports.map")
file(CONFIGURE OUTPUT "${TONEBRIDGE_EXPORTS_MAP}" CONTENT
  "/* Only the contract's exports leave a plug-in or engine library. */\n{\n  global:\n${_tb_exports}  local: *;\n};\n")

# Every shipped plug-in and engine library; tests that load the staged plug-ins depend on it.
add_custom_target(tonebridge_plugins)

# tonebridge_add_plugin(NAME SOURCES... [LIBS libs...] [DEFINES defs...] [DIR outdir] [NO_INSTALL])
# Builds NAME.so (no "lib" prefix) as a MODULE into the staged plugins folder (or DIR) and
# installs it into the plug-in folder.
function(tonebridge_add_plugin name)
  cmake_parse_arguments(P "NO_INSTALL" "DIR" "SOURCES;LIBS;DEFINES" ${ARGN})
  add_library(${name} MODULE ${P_SOURCES})
  set(outdir "${TONEBRIDGE_STAGE_PLUGINS_DIR}")
  if(P_DIR)
    set(outdir "${P_DIR}")
  endif()
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY "${outdir}"
    BUILD_RPATH "$ORIGIN"
    INSTALL_RPATH "$ORIGIN")
  target_link_libraries(${name} PRIVATE tonebridge::plugin_api tonebridge::warnings ${P_LIBS})
  target_compile_definitions(${name} PRIVATE TB_BUILDING_PLUGIN ${P_DEFINES})
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_link_options(${name} PRIVATE
      "LINKER:--version-script=${TONEBRIDGE_EXPORTS_MAP}" "LINKER:--enable-new-dtags")
  endif()
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    # 32-bit Windows: __stdcall entry points are exported by their bare names ("Decode",
    # not "Decode@20"), the names the host asks for.
    target_link_options(${name} PRIVATE "LINKER:--kill-at")
  endif()
  if(NOT P_NO_INSTALL)
    install(TARGETS ${name} LIBRARY DESTINATION "${TONEBRIDGE_INSTALL_PLUGINS_DIR}")
    add_dependencies(tonebridge_plugins ${name})
  endif()
endfunction()

# tonebridge_discover_tests(TARGET [gtest_discover_tests arguments...]) registers the cases of
# a GoogleTest program, each labelled with the program's name, so that a run can pick the
# programs it built (ctest -L): the Windows build compiles only some of them, and the cases
# of a program that is not built would be reported as missing.
function(tonebridge_discover_tests target)
  gtest_discover_tests(${target} ${ARGN} PROPERTIES LABELS ${target})
endfunction()

# The lock (ctest RESOURCE_LOCK) of the tests that read or write the real per-user settings
# store. On Windows that is the user's registry, one for every process (under Wine: one per
# prefix), so such tests must not run at the same time.
set(TONEBRIDGE_SETTINGS_STORE_LOCK settings_store)
