# Cross-build for Windows with Debian's MinGW-w64 (i686) compilers.
set(TONEBRIDGE_MINGW_PROCESSOR i686)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake")
