cmake_minimum_required(VERSION 3.25)
# Brenwick_sim.dll under Wine, loaded by a host with LoadLibrary and driven through every export
# against the simulated camera: Initialize finds it among the capture devices, the vendor
# controls, the password and the register reach it, GetSerialNumber and UpdateFirmware start the
# simulated upgrader beside the DLL through the Windows pipe, and the flash ends up holding the
# image. The host's output is compared byte for byte, as the console writes it (CR LF).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
string(REPEAT "Optiqon sample firmware, " 28 image)
string(SUBSTRING "${image}" 0 700 image)
file(WRITE ${WORK}/firmware.img "${image}")
file(WRITE ${WORK}/camera.scenario
     "clock = virtual\nflash = flash.bin\nserial = K3M51-DEMO7\nvideo_trace = video.trace\n")

string(REPLACE "/" "\\" library "Z:${LIBRARY}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env OPTIQON_SIM_CAMERA=camera.scenario
                        ${WINE} ${HOST} ${library} firmware.img
                WORKING_DIRECTORY ${WORK} OUTPUT_FILE ${WORK}/host-output.txt
                ERROR_FILE ${WORK}/host-errors.txt RESULT_VARIABLE code)
file(READ ${WORK}/host-output.txt output)
file(READ ${WORK}/host-errors.txt errors)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "the host exited ${code}:\n${output}\n${errors}")
endif()

# Each line as the host prints it; the console turns every line end into CR LF.
string(CONCAT expected
  "\r\n"
  "Initialize() = true\r\n"
  "\r\n"
  "SetProperty(0, 12.9); GetProperty(0) = 12.000000\r\n"
  "\r\n"
  "GetPropertyExtended(20) = [0, 0, 0, 0]\r\n"
  "\r\n"
  "GetPropertyExtended(30) = [-0.45]\r\n"
  "\r\n"
  "SetPropertyExtended(20, [1, 2, 3, 4]); GetPropertyExtended(20) = [1, 2, 3, 4]\r\n"
  "\r\n"
  "SetPassword(\"1A2B\") = true\r\n"
  "\r\n"
  "SetRegister(0x10, 0x80) = true\r\n"
  "\r\n"
  "GetRegister() = 128\r\n"
  "\r\n"
  "SaveSettings() = 0\r\n"
  "\r\n"
  "GetSerialNumber() = K030M05010-0D0E0M0O0700000000000000\r\n"
  "\r\n"
  "\r\n"
  "UpdateFirmware(\"firmware.img\"):\r\n"
  "Found Corvantis K3M51-USB camera. Device #1 - VID: 0x1BBD, PID: 0x024C\r\n"
  "Firmware file size = 768\r\n"
  "\rErasing sectors 100% \r\n"
  "\rDownloading firmware 1% \r\n"
  "Last section of firmware download\r\n"
  "\r\n"
  "Download Complete\r\n"
  "\r\n"
  "Download Complete\r\n"
  "\r\n"
  "Deinitialize():\r\n"
  "\r\n"
  "Exiting App in 5 sec...\r\n"
  "done\r\n")
file(READ ${WORK}/host-output.txt output_hex HEX)
string(HEX "${expected}" expected_hex)
if(NOT output_hex STREQUAL expected_hex)
  file(WRITE ${WORK}/host-expected.txt "${expected}")
  message(FATAL_ERROR "the host's output (host-output.txt) differs from host-expected.txt:\n${output}")
endif()

file(READ ${WORK}/flash.bin flash_hex HEX LIMIT 1024)
string(HEX "${image}" image_hex)
string(REPEAT "ff" 324 erased_hex)
if(NOT flash_hex STREQUAL "${image_hex}${erased_hex}")
  message(FATAL_ERROR "the flash does not hold the image")
endif()
# The camera saw the extension-unit write of control 20 as the host sent it.
file(STRINGS ${WORK}/video.trace writes REGEX "KsProperty 0c89b6acb3a360408b9adf34eef39a2e14000000020000100200000000000000 4 01020304 ")
list(LENGTH writes count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "the video trace holds ${count} writes of 1,2,3,4 to control 20")
endif()
