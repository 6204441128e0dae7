# CLI11 is header-only, but its Debian package points the compiler at /usr/include, which
# would mix the Linux C library's headers into a MinGW build. This package gives the cross
# builds the same CLI11::CLI11 target over a folder that holds only the CLI11 headers.
if(TARGET CLI11::CLI11)
  return()
endif()
set(_tb_cli11_headers "/usr/include/CLI")
if(NOT EXISTS "${_tb_cli11_headers}/CLI.hpp")
  set(CLI11_FOUND FALSE)
  return()
endif()
set(_tb_cli11_include "${CMAKE_BINARY_DIR}/cli11-include")
file(MAKE_DIRECTORY "${_tb_cli11_include}")
file(CREATE_LINK "${_tb_cli11_headers}" "${_tb_cli11_include}/CLI" SYMBOLIC)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${_tb_cli11_include}")
set(CLI11_FOUND TRUE)
