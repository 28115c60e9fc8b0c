cmake_minimum_required(VERSION 3.25)
# optiqon_fw_upgrader_sim.exe under Wine, against scenario files: a 700-byte image written onto a
# flash file and verified, with its output byte for byte (the console's CR LF), the flash file's
# contents, and the report trace with its virtual times, the same bytes as on Linux; a
# read-back that never matches; no camera; the serial number; a scenario that cannot be used.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

string(REPEAT "Optiqon sample firmware, " 28 image)
string(SUBSTRING "${image}" 0 700 image)
file(WRITE ${WORK}/firmware.img "${image}")

# Runs the upgrader on the scenario text with ARGN; leaves its exit code, standard output (as
# hex, carriage returns kept) and standard error in the caller's scope.
function(run_upgrader scenario)
  file(WRITE ${WORK}/camera.scenario "${scenario}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env OPTIQON_SIM_CAMERA=camera.scenario
                          ${WINE} ${UPGRADER} ${ARGN}
                  WORKING_DIRECTORY ${WORK} OUTPUT_FILE ${WORK}/output.txt
                  ERROR_FILE ${WORK}/errors.txt RESULT_VARIABLE code)
  file(READ ${WORK}/output.txt output_hex HEX)
  file(READ ${WORK}/errors.txt errors)
  set(code ${code} PARENT_SCOPE)
  set(output_hex ${output_hex} PARENT_SCOPE)
  set(errors "${errors}" PARENT_SCOPE)
endfunction()

function(expect what actual expected)
  if(NOT "${actual}" STREQUAL "${expected}")
    message(FATAL_ERROR "${what}:\n[${actual}]\nexpected\n[${expected}]")
  endif()
endfunction()

function(expect_output expected_code expected_text)
  string(HEX "${expected_text}" expected_hex)
  expect("exit code" "${code}" "${expected_code}")
  expect("standard output (hex)" "${output_hex}" "${expected_hex}")
endfunction()

set(found "Found Corvantis K3M51-USB camera. Device #1 - VID: 0x1BBD, PID: 0x024C\r\n")
set(download_start "${found}Firmware file size = 768\r\n\rErasing sectors 100% \r\n\rDownloading firmware 1% ")

run_upgrader("clock = virtual\nflash = flash.bin\ntrace = hid.trace\n" firmware.img)
expect_output(0 "${download_start}\r\nLast section of firmware download\r\n\r\nDownload Complete\r\n\r\nDownload Complete\r\n")
# The flash holds the image, its last page padded with 0xFF, and every byte after it erased.
file(READ ${WORK}/flash.bin flash_hex HEX LIMIT 1024)
string(HEX "${image}" image_hex)
string(REPEAT "ff" 324 erased_hex)
expect("the flash's first 1024 bytes" "${flash_hex}" "${image_hex}${erased_hex}")
file(SIZE ${WORK}/flash.bin flash_size)
expect("the flash file's size" "${flash_size}" 16777216)
file(READ ${WORK}/hid.trace trace)
expect("the report trace" "${trace}" "0 SetOutputReport 0x05 2 ok
100 GetInputReport 0x06 2 ok
200 GetInputReport 0x06 2 ok
210 SetOutputReport 0x04 261 ok
310 SetOutputReport 0x02 5 ok
310 GetInputReport 0x03 259 ok
320 SetOutputReport 0x04 261 ok
420 SetOutputReport 0x02 5 ok
420 GetInputReport 0x03 259 ok
430 SetOutputReport 0x04 261 ok
530 SetOutputReport 0x02 5 ok
530 GetInputReport 0x03 259 ok
")
file(READ ${WORK}/hid.trace trace_hex HEX)
string(FIND "${trace_hex}" "0d0a" carriage_return)
expect("a carriage return in the trace" "${carriage_return}" -1)

run_upgrader("clock = virtual\nmismatch = 1:5\n" firmware.img)
expect_output(4 "${download_start}\r\nDownload Failed\r\n")

run_upgrader("camera = absent\n" firmware.img)
expect_output(1 "Did not find Corvantis K3M51-USB camera...\r\nConnect Corvantis K3M51-USB camera Device...and try again\r\n")

run_upgrader("serial = K3M51-WIN\n" -s)
expect_output(0 "K030M05010-0W0I0N000000000000000000\r\n")

run_upgrader("clock = sometimes\n" firmware.img)
expect("exit code of an unusable scenario" "${code}" 64)
string(FIND "${errors}" "optiqon_fw_upgrader_sim: " at)
expect("where the unusable scenario's message begins" "${at}" 0)
