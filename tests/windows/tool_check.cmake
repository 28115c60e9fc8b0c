cmake_minimum_required(VERSION 3.25)
# optiqon.exe under Wine, where no camera is present, run from an installed package: its results
# on standard output byte for byte (text mode: CR LF), nothing of the camera API's on either
# stream (it prints nothing), and its exit codes; the update through the installed camera API
# finds no camera and says so.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/firmware.img "a firmware image that never reaches a camera")

# Runs the tool with ARGN and compares its exit code and standard output (bytes, as hex) with
# what is expected; standard error is left in `errors` in the caller's scope (read as text:
# without its carriage returns).
function(run_tool expected_code expected_output)
  execute_process(COMMAND ${WINE} ${TOOL} ${ARGN} WORKING_DIRECTORY ${WORK}
                  OUTPUT_FILE ${WORK}/output.txt ERROR_FILE ${WORK}/errors.txt
                  RESULT_VARIABLE code)
  file(READ ${WORK}/output.txt output_hex HEX)
  string(HEX "${expected_output}" expected_hex)
  file(READ ${WORK}/output.txt output)
  file(READ ${WORK}/errors.txt errors)
  if(NOT code EQUAL expected_code OR
     (NOT expected_output STREQUAL "*" AND NOT output_hex STREQUAL expected_hex))
    message(FATAL_ERROR "optiqon ${ARGN}: exit ${code}, output\n[${output}]\nerrors\n[${errors}]\n"
                        "expected exit ${expected_code}, output\n[${expected_output}]")
  endif()
  set(output "${output}" PARENT_SCOPE)
  set(errors "${errors}" PARENT_SCOPE)
endfunction()

function(expect_in text piece what)
  string(FIND "${text}" "${piece}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${what} lacks [${piece}]:\n[${text}]")
  endif()
endfunction()

run_tool(0 "optiqon ${VERSION}\r\n" --version)

run_tool(0 "*" --help)
foreach(piece "Subcommands:" "update" "export" "import" "Exit codes:")
  expect_in("${output}" "${piece}" "optiqon --help")
endforeach()
run_tool(0 "*" update --help)
expect_in("${output}" "4  the download failed" "optiqon update --help")

run_tool(1 "{\"camera\":\"absent\"}\r\n" status --json)
if(NOT errors STREQUAL "")
  message(FATAL_ERROR "status --json without a camera printed on standard error:\n[${errors}]")
endif()
run_tool(1 "camera                  absent\r\n" status)
run_tool(1 "[]\r\n" list --json)

run_tool(2 "" set brightness=x)
expect_in("${errors}" "optiqon: 'brightness=x': 'x' is not a whole number" "set's errors")
run_tool(2 "" update missing.img)
expect_in("${errors}" "optiqon: cannot read the firmware image missing.img" "update's errors")

run_tool(1 "" update firmware.img)
expect_in("${errors}" "optiqon: no camera found" "update's errors")
