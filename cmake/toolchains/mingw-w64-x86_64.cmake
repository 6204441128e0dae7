# Cross-build for Windows with Debian's MinGW-w64 (x86_64) compilers.
set(TONEBRIDGE_MINGW_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake")
