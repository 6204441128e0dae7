# Desktop integration, manual pages, shell completion and the Debian package.
# Included from the top CMakeLists.txt once every target exists.
#
# Installed layout (prefix /usr in the package):
#   bin/tonebridge, bin/tonebridge-cli
#   lib/tonebridge/plugins/*.so          every plug-in and engine library (RUNPATH $ORIGIN)
#   share/applications, share/icons/hicolor, share/metainfo, share/mime/packages
#   share/man/man1/tonebridge.1.gz, share/man/man1/tonebridge-cli.1.gz
#   share/bash-completion/completions/tonebridge-cli

set(TONEBRIDGE_PACKAGING_DIR "${CMAKE_CURRENT_LIST_DIR}")
set(TONEBRIDGE_APP_ID "org.tonebridge.Tonebridge")
set(_tb_pkg_out "${CMAKE_BINARY_DIR}/packaging")
file(MAKE_DIRECTORY "${_tb_pkg_out}")

if(WIN32)
  # --- Windows zip (cpack -G ZIP on the MinGW build) ------------------------------------------
  # The programs and plug-ins (installed beside their targets) and the README; the desktop
  # integration, manual pages and completion below are Linux's.
  install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION ".")
  install(FILES "${PROJECT_SOURCE_DIR}/examples/tune.mid" DESTINATION "examples")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME "tonebridge")
  set(CPACK_PACKAGE_FILE_NAME "tonebridge-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR}")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_OUTPUT_FILE_PREFIX "${CMAKE_BINARY_DIR}/packages")
  include(CPack)
  return()
endif()

# --- Desktop integration ------------------------------------------------------------------
# The shared MIME types serve both programs; the desktop entry and the metainfo only the
# desktop program (its entry and icons are installed beside its target in host/gui).
install(FILES "${TONEBRIDGE_PACKAGING_DIR}/tonebridge-mime.xml"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages" RENAME tonebridge.xml)
if(TARGET tonebridge)
  install(FILES "${TONEBRIDGE_PACKAGING_DIR}/tonebridge.metainfo.xml"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo" RENAME "${TONEBRIDGE_APP_ID}.metainfo.xml")
endif()

# --- Shell completion ---------------------------------------------------------------------
if(TARGET tonebridge-cli)
  install(FILES "${TONEBRIDGE_PACKAGING_DIR}/completion/tonebridge-cli.bash"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions" RENAME tonebridge-cli)
endif()

# --- Manual pages -------------------------------------------------------------------------
# Written by help2man from the built program's own --help and --version, so the pages follow
# the help text; the sections help2man cannot know come from include files kept beside the
# help texts (host/cli, host/gui) and one shared include file.
find_program(TONEBRIDGE_HELP2MAN help2man)
find_program(TONEBRIDGE_GZIP gzip)
set(TONEBRIDGE_MAN_PAGES "")
if(CMAKE_CROSSCOMPILING)
  message(STATUS "Manual pages: cross-compiling, the programs cannot run here; skipped")
elseif(NOT TONEBRIDGE_HELP2MAN OR NOT TONEBRIDGE_GZIP)
  message(STATUS "Manual pages: help2man or gzip not found; skipped")
else()
  set(_tb_man_script "${TONEBRIDGE_PACKAGING_DIR}/man/make_man.cmake")
  set(_tb_man_common "${TONEBRIDGE_PACKAGING_DIR}/man/common.h2m")
  set(_tb_man_args -DHELP2MAN=${TONEBRIDGE_HELP2MAN} -DGZIP=${TONEBRIDGE_GZIP}
    -DCOMMON_INCLUDE=${_tb_man_common} -P ${_tb_man_script})

  if(TARGET tonebridge-cli)
    set(_tb_cli_include "${PROJECT_SOURCE_DIR}/host/cli/tonebridge-cli.h2m")
    add_custom_command(OUTPUT "${_tb_pkg_out}/tonebridge-cli.1" "${_tb_pkg_out}/tonebridge-cli.1.gz"
      COMMAND "${CMAKE_COMMAND}" -DPROGRAM=$<TARGET_FILE:tonebridge-cli>
        -DINCLUDE=${_tb_cli_include} -DOUTPUT=${_tb_pkg_out}/tonebridge-cli.1 ${_tb_man_args}
      DEPENDS tonebridge-cli "${_tb_cli_include}" "${_tb_man_common}" "${_tb_man_script}"
      COMMENT "Writing the manual page tonebridge-cli(1)" VERBATIM)
    list(APPEND TONEBRIDGE_MAN_PAGES "${_tb_pkg_out}/tonebridge-cli.1")
  endif()

  if(TARGET tonebridge)
    # The desktop program has no --help of its own: a stand-in named like it prints its
    # usage line and the version, and the include file beside its sources says the rest.
    set(_tb_gui_help "${_tb_pkg_out}/gui-help/tonebridge")
    file(CONFIGURE OUTPUT "${_tb_gui_help}" @ONLY CONTENT [=[#!/bin/sh
# Stands in for the desktop program when its manual page is written.
case "$1" in
  --version) echo "tonebridge @PROJECT_VERSION@" ;;
  *) echo "Usage: tonebridge [FILE]..." ;;
esac
]=])
    file(CHMOD "${_tb_gui_help}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
      GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(_tb_gui_include "${PROJECT_SOURCE_DIR}/host/gui/tonebridge.h2m")
    add_custom_command(OUTPUT "${_tb_pkg_out}/tonebridge.1" "${_tb_pkg_out}/tonebridge.1.gz"
      COMMAND "${CMAKE_COMMAND}" -DPROGRAM=${_tb_gui_help}
        -DINCLUDE=${_tb_gui_include} -DOUTPUT=${_tb_pkg_out}/tonebridge.1 ${_tb_man_args}
      DEPENDS "${_tb_gui_include}" "${_tb_man_common}" "${_tb_man_script}"
      COMMENT "Writing the manual page tonebridge(1)" VERBATIM)
    list(APPEND TONEBRIDGE_MAN_PAGES "${_tb_pkg_out}/tonebridge.1")
  endif()

  if(TONEBRIDGE_MAN_PAGES)
    add_custom_target(tonebridge_man ALL DEPENDS ${TONEBRIDGE_MAN_PAGES})
    foreach(page ${TONEBRIDGE_MAN_PAGES})
      install(FILES "${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
    endforeach()
  endif()
endif()

# --- Checks -------------------------------------------------------------------------------
if(TONEBRIDGE_BUILD_TESTS)
  add_subdirectory("${TONEBRIDGE_PACKAGING_DIR}/tests" "${_tb_pkg_out}/tests")
endif()

# --- Debian package (cpack -G DEB) --------------------------------------------------------
set(CPACK_PACKAGE_NAME "tonebridge")
set(CPACK_PACKAGE_VENDOR "Tonebridge developers")
set(CPACK_PACKAGE_CONTACT "Tonebridge developers <tonebridge@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ringtone melody converter for mobile phones")
set(CPACK_PACKAGE_DESCRIPTION
  "Converts ringtone melodies between Standard MIDI Files, RTTTL, iMelody, the melody\n\
streams of the GD75 and GD85/GD95 phones and their hexadecimal text form, and writes\n\
WAV, FLAC, Ogg Vorbis and MP3 renderings. Comes as a desktop program (tonebridge) and a\n\
command-line converter (tonebridge-cli); every format is a plug-in.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The audio coders play the melody with a General MIDI sound font; without one they report
# that none is installed and every other format still works.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "timgm6mb-soundfont | fluid-soundfont-gm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_OUTPUT_FILE_PREFIX "${CMAKE_BINARY_DIR}/packages")
include(CPack)
