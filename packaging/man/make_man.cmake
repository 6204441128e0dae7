# Writes one manual page with help2man and a gzip-compressed copy beside it.
#   cmake -DPROGRAM=exe -DINCLUDE=page.h2m -DCOMMON_INCLUDE=common.h2m -DOUTPUT=x.1
#         -DHELP2MAN=help2man -DGZIP=gzip -P make_man.cmake
# The version is the last word of the last line of `PROGRAM --version` (the command-line
# converter prints the product line first and its own name and version last).
foreach(var PROGRAM INCLUDE COMMON_INCLUDE OUTPUT HELP2MAN GZIP)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_man.cmake: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND "${PROGRAM}" --version
  OUTPUT_VARIABLE version_text RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0 OR version_text STREQUAL "")
  message(FATAL_ERROR "make_man.cmake: '${PROGRAM} --version' failed (${rc})")
endif()
string(REGEX MATCH "[^ \n]+$" version "${version_text}")

execute_process(COMMAND "${HELP2MAN}" --no-info --no-discard-stderr --section=1
    "--version-string=${version}" "--include=${INCLUDE}" "--include=${COMMON_INCLUDE}"
    "--output=${OUTPUT}" "${PROGRAM}"
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "make_man.cmake: help2man failed for ${PROGRAM}: ${err}")
endif()

execute_process(COMMAND "${GZIP}" -9 -n -c "${OUTPUT}" OUTPUT_FILE "${OUTPUT}.gz" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "make_man.cmake: gzip failed for ${OUTPUT}")
endif()
