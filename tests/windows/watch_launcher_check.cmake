cmake_minimum_required(VERSION 3.25)
# optiqon-watch.exe under Wine, as the logon starts it: beside optiqon.exe it starts the watcher
# and returns 0 at once; the watcher's start line appears in %LOCALAPPDATA%\Optiqon\watch.log;
# `optiqon watch --stop` ends it, its log's last line saying so. Alone in a folder, it returns 1
# and starts nothing.
# cmake -DWINE=<wine64> -DLAUNCHER=<optiqon-watch.exe> -DWORK=<dir> -P watch_launcher_check.cmake
# (optiqon.exe and OptiqonCameras.dll beside the launcher)
get_filename_component(folder ${LAUNCHER} DIRECTORY)
set(TOOL ${folder}/optiqon.exe)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/alone)
file(WRITE ${WORK}/nothing "")

# A watcher left running would hold the prefix (and whatever the test run holds) until it is
# stopped: every failure once it may have started stops it first.
function(fail message)
  execute_process(COMMAND ${WINE} ${TOOL} watch --stop TIMEOUT 60 OUTPUT_QUIET ERROR_QUIET)
  message(FATAL_ERROR "${message}")
endfunction()

function(wine_output result)
  execute_process(COMMAND ${WINE} ${ARGN} OUTPUT_VARIABLE output RESULT_VARIABLE code
                  ERROR_QUIET TIMEOUT 60)
  string(REPLACE "\r" "" output "${output}")
  string(STRIP "${output}" output)
  if(NOT code EQUAL 0)
    fail("${ARGN}: exit ${code}, output [${output}]")
  endif()
  set(${result} "${output}" PARENT_SCOPE)
endfunction()

# The launcher's standard streams go to files: the watcher it starts may hold on to them, and a
# pipe would keep execute_process waiting for as long as the watcher runs.
function(run_launcher launcher result)
  execute_process(COMMAND ${WINE} ${launcher} INPUT_FILE ${WORK}/nothing
                  OUTPUT_FILE ${WORK}/launcher-output.txt ERROR_FILE ${WORK}/launcher-errors.txt
                  RESULT_VARIABLE code TIMEOUT 60)
  set(${result} "${code}" PARENT_SCOPE)
endfunction()

wine_output(local_app_data cmd /c "echo %LOCALAPPDATA%")
wine_output(log winepath -u "${local_app_data}\\Optiqon\\watch.log")
set(start_line_pattern
    "[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]T[0-9][0-9]:[0-9][0-9]:[0-9][0-9]Z watching for cameras plugged in")

function(count_start_lines result)
  set(lines "")
  if(EXISTS ${log})
    file(STRINGS ${log} lines REGEX "${start_line_pattern}")
  endif()
  list(LENGTH lines count)
  set(${result} ${count} PARENT_SCOPE)
endfunction()

function(last_log_line result)
  file(STRINGS ${log} lines)
  list(POP_BACK lines last)
  string(REPLACE "\r" "" last "${last}")
  set(${result} "${last}" PARENT_SCOPE)
endfunction()

# Alone, it finds no tool to start.
configure_file(${LAUNCHER} ${WORK}/alone/optiqon-watch.exe COPYONLY)
count_start_lines(before)
run_launcher(${WORK}/alone/optiqon-watch.exe code)
if(NOT code EQUAL 1)
  fail("optiqon-watch.exe without optiqon.exe beside it: exit ${code}, expected 1")
endif()

# Beside the tool, it starts the watcher and returns at once.
run_launcher(${LAUNCHER} code)
if(NOT code EQUAL 0)
  fail("optiqon-watch.exe: exit ${code}, expected 0")
endif()
foreach(attempt RANGE 100)
  count_start_lines(after)
  if(after GREATER before)
    break()
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 0.2)
endforeach()
math(EXPR expected "${before} + 1")
if(NOT after EQUAL expected)
  fail("${log}: ${after} start lines after optiqon-watch.exe, expected ${expected}")
endif()
last_log_line(line)
message(STATUS "the watcher's log: ${line}")

wine_output(stopped ${TOOL} watch --stop)
if(NOT stopped MATCHES "^the watcher \\(process [0-9]+\\) was asked to stop$")
  fail("optiqon watch --stop: [${stopped}]")
endif()
# The request returns once the watcher has ended: its last line is written.
last_log_line(line)
if(NOT line MATCHES "^[0-9TZ:-]+ stopped$")
  message(FATAL_ERROR "the watcher's log does not end with its stop: [${line}]")
endif()
wine_output(none ${TOOL} watch --stop)
if(NOT none STREQUAL "no watcher is running")
  message(FATAL_ERROR "optiqon watch --stop after the stop: [${none}]")
endif()
