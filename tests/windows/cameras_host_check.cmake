cmake_minimum_required(VERSION 3.25)
# The camera API's C host (examples/cameras-host) under Wine: its exit code and the lines it must
# print, each whole, in standard output and standard error together.
#   cmake -DWINE=<wine> -DHOST=<host.exe> -DWORK=<folder> -DEXPECTED_CODE=<n>
#         "-DEXPECTED=<line>|<line>..." ["-DARGUMENTS=<argument>|..."] [-DSCENARIO=<file>] -P this
# A scenario, for the simulated library, is copied into the work folder and named by
# OPTIQON_SIM_CAMERA there. The rest of the environment (the Wine prefix, WINEPATH) is the test's.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(environment "")
if(SCENARIO)
  configure_file(${SCENARIO} ${WORK}/camera.scenario COPYONLY)
  set(environment OPTIQON_SIM_CAMERA=camera.scenario)
endif()
string(REPLACE "|" ";" arguments "${ARGUMENTS}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${environment} ${WINE} ${HOST} ${arguments}
  WORKING_DIRECTORY ${WORK} OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE code)
string(REPLACE "\r\n" "\n" output "${output}")
message(STATUS "${HOST} ${arguments}: exit code ${code}\n${output}")
if(NOT code STREQUAL EXPECTED_CODE)
  message(FATAL_ERROR "exit code ${code}, expected ${EXPECTED_CODE}")
endif()
string(REPLACE "|" ";" expected "${EXPECTED}")
foreach(line IN LISTS expected)
  string(FIND "\n${output}" "\n${line}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "no line \"${line}\" in the host's output")
  endif()
endforeach()
