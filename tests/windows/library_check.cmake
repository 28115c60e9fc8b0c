cmake_minimum_required(VERSION 3.25)
# The installed package under Wine: a Windows host loads the library from
# C:\Program Files\Optiqon\bin and checks every export that needs no camera; the library starts
# the installed upgrader through the real process and pipe services.
# With INSTALLED set, the package is already there (put by the installer) and is checked as it
# is; BUILD_DIR then only receives the host's output.
if(NOT INSTALLED)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${INSTALL_DIR}
                  RESULT_VARIABLE code OUTPUT_QUIET)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "installing the package into ${INSTALL_DIR} failed")
  endif()
endif()
foreach(file bin/optiqon_upgrade.exe bin/Brenwick.dll bin/optiqon.exe lib/libBrenwick.dll.a include/Brenwick.h
             include/BrenwickSafeArray.h include/OptiqonCamera.h bin/OptiqonCameras.dll
             lib/libOptiqonCameras.dll.a lib/OptiqonCameras.lib include/OptiqonCameras.h
             lib/cmake/OptiqonCameras/OptiqonCamerasConfig.cmake
             lib/pkgconfig/optiqon-cameras.pc)
  if(NOT EXISTS "${INSTALL_DIR}/${file}")
    message(FATAL_ERROR "the package lacks ${file}")
  endif()
endforeach()

execute_process(
  COMMAND ${WINE} ${HOST} "C:\\Program Files\\Optiqon\\bin\\Brenwick.dll" "C:\\missing.img"
  OUTPUT_FILE ${BUILD_DIR}/library-host-output.txt RESULT_VARIABLE code)
file(READ ${BUILD_DIR}/library-host-output.txt output)
string(REPLACE "\r\n" "\n" output "${output}")
message(STATUS "host output:\n${output}")
if(NOT code EQUAL 0)
  message(FATAL_ERROR "the host reported failed checks (exit ${code})")
endif()

set(expected_pieces
    "\nDid not find \"K3M51-USB\" device (AN75779 firmware)\n\n \t\t\t\tVideo Devices connected : \n\nExiting App in 5 sec...PASS: Initialize without a camera is false\n"
    "-- UpdateFirmware echo begins\nDid not find Corvantis K3M51-USB camera...\nConnect Corvantis K3M51-USB camera Device...and try again\n-- UpdateFirmware echo ends\n")
foreach(piece IN LISTS expected_pieces)
  string(FIND "${output}" "${piece}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the host's output lacks:\n[${piece}]")
  endif()
endforeach()
