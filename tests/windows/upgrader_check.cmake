cmake_minimum_required(VERSION 3.25)
# The upgrader under Wine, where no camera is present: the not-found lines and exit code 1 in the
# upgrade mode, with and without an image, and an empty log file; exactly one line with -s.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(not_found "Did not find Corvantis K3M51-USB camera...\r\n")
set(connect "Connect Corvantis K3M51-USB camera Device...and try again\r\n")

function(run_upgrader expected_output expected_code)
  # Through a file: the bytes exactly as the console program wrote them, CR LF included.
  execute_process(COMMAND ${WINE} ${UPGRADER} ${ARGN} WORKING_DIRECTORY ${WORK}
                  OUTPUT_FILE ${WORK}/../upgrader-output.txt RESULT_VARIABLE code)
  # Compared as hex: reading text would drop the carriage returns that text mode writes.
  file(READ ${WORK}/../upgrader-output.txt output_hex HEX)
  string(HEX "${expected_output}" expected_hex)
  file(READ ${WORK}/../upgrader-output.txt output)
  if(NOT output_hex STREQUAL expected_hex OR NOT code EQUAL expected_code)
    message(FATAL_ERROR "optiqon_fw_upgrader ${ARGN}: exit ${code}, output\n[${output}]\n"
                        "expected exit ${expected_code}, output\n[${expected_output}]")
  endif()
endfunction()

function(expect_empty_log)
  if(NOT EXISTS ${WORK}/logfile.txt)
    message(FATAL_ERROR "no logfile.txt after an upgrade run")
  endif()
  file(SIZE ${WORK}/logfile.txt size)
  if(NOT size EQUAL 0)
    message(FATAL_ERROR "logfile.txt holds ${size} bytes")
  endif()
endfunction()

file(WRITE ${WORK}/logfile.txt "from an earlier run")
run_upgrader("${not_found}${connect}" 1 firmware.img)
expect_empty_log()

file(WRITE ${WORK}/logfile.txt "from an earlier run")
run_upgrader("${not_found}${connect}" 1)
expect_empty_log()

file(REMOVE ${WORK}/logfile.txt)
run_upgrader("${not_found}" 1 -s)
if(EXISTS ${WORK}/logfile.txt)
  message(FATAL_ERROR "the serial-number mode made a log file")
endif()
