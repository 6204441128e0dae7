# Cross-build for Windows with Debian's MinGW-w64 compilers for TONEBRIDGE_MINGW_PROCESSOR
# (set by the toolchain file that includes this one). The test programs run
# under Wine through the cross-compiling emulator, so ctest and test discovery work here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TONEBRIDGE_MINGW_PROCESSOR})

set(TONEBRIDGE_MINGW_TRIPLE ${TONEBRIDGE_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${TONEBRIDGE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TONEBRIDGE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TONEBRIDGE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TONEBRIDGE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime goes into every exe and DLL, so they run without MinGW's own DLLs beside them.
set(_tb_static_runtime "-static-libgcc -static-libstdc++ -Wl,-Bstatic,--whole-archive -lwinpthread -Wl,--no-whole-archive,-Bdynamic")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_tb_static_runtime}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_tb_static_runtime}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_tb_static_runtime}")

find_program(TONEBRIDGE_WINE NAMES wine wine64)
if(TONEBRIDGE_WINE)
  # Quiet, headless and in a private prefix inside the build folder.
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all DISPLAY= "WINEDLLOVERRIDES=mscoree,mshtml=d"
    "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" "${TONEBRIDGE_WINE}")
endif()

# pkg-config must not hand the Linux libraries to this build: only the MinGW tree counts.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/${TONEBRIDGE_MINGW_TRIPLE}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# CLI11 (header-only) without the Linux include folder.
set(CLI11_DIR "${CMAKE_CURRENT_LIST_DIR}/cli11" CACHE PATH "CLI11 package for MinGW builds")

# Tests are listed when ctest runs, under Wine, not as a build step.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
