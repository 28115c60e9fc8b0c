cmake_minimum_required(VERSION 3.25)
# Checks that a Windows program is of the Windows (GUI) subsystem, which Windows starts without a
# console window, and not of the console subsystem.
# cmake -DOBJDUMP=<objdump> -DBINARY=<program.exe> -P gui_subsystem_check.cmake
execute_process(COMMAND ${OBJDUMP} -p ${BINARY} OUTPUT_VARIABLE dump RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${BINARY} failed")
endif()
string(REGEX MATCH "Subsystem[ \t]+([0-9a-fA-F]+)" line "${dump}")
if(NOT CMAKE_MATCH_1 STREQUAL "00000002")
  message(FATAL_ERROR "${BINARY}: subsystem [${CMAKE_MATCH_1}], not the Windows GUI's (00000002)")
endif()
