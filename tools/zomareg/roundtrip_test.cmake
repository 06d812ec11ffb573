# Imports a .reg fixture into a fresh prefix with the built zomareg, exports the key
# again (to a file and, with no file named, to standard output) and expects the fixture back byte for byte.
# Arguments: ZOMAREG (program), FIXTURE (.reg file), WORK (scratch directory).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(ENV{ZOMA_PREFIX} ${WORK}/prefix)

execute_process(COMMAND ${ZOMAREG} import ${FIXTURE}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "import failed (${rc}): ${out}${err}")
endif()

set(format)
if(FIXTURE MATCHES "regedit4")
  set(format /regedit4)
endif()
set(key "HKEY_LOCAL_MACHINE\\Software\\Norvance")
execute_process(COMMAND ${ZOMAREG} export ${key} ${WORK}/exported.reg ${format}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "export failed (${rc}): ${out}${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${FIXTURE} ${WORK}/exported.reg
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(READ ${WORK}/exported.reg exported)
  message(FATAL_ERROR "the export differs from ${FIXTURE}:\n${exported}")
endif()

execute_process(COMMAND ${ZOMAREG} export ${key} ${format}
                RESULT_VARIABLE rc OUTPUT_FILE ${WORK}/stdout.reg ERROR_VARIABLE err)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${FIXTURE} ${WORK}/stdout.reg
                RESULT_VARIABLE same)
if(NOT rc EQUAL 0 OR NOT same EQUAL 0)
  message(FATAL_ERROR "export to standard output failed or differs (${rc}): ${err}")
endif()
file(REMOVE_RECURSE ${WORK})
