# The Linux build as Debian packages, made by CPack's DEB generator and split as Debian splits a
# library, one package per install component:
#   libbrenwick1         runtime      libBrenwick.so.1 and the file it names
#   liboptiqoncameras1   cameras      libOptiqonCameras.so.1 (the camera API) and the file it
#                                     names
#   libbrenwick-dev      development  the public headers of both libraries, the links
#                                     libBrenwick.so and libOptiqonCameras.so, their CMake
#                                     packages and pkg-config files
#   optiqon-fw-upgrader  upgrader     the upgrader under both names and the camera's udev rule
#   optiqon              tool         the command-line tool over the camera API
#   python3-optiqon      python       the Python package optiqon over the camera API, from its
#                                     wheel (python.cmake)
# scripts/package-linux.sh builds them into dist/.
#
# The packages install under /usr: the library starts the upgrader from the directory compiled
# into it, and udev reads packaged rules from /usr/lib/udev/rules.d only. A tree configured for
# another place (the linux preset's /usr/local) makes no packages; the linux-package preset
# configures one for /usr.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR NOT PROJECT_IS_TOP_LEVEL OR NOT TARGET Brenwick)
  return()
endif()
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(STATUS "Debian packages: none, the installation prefix is ${CMAKE_INSTALL_PREFIX}, "
    "not /usr (preset linux-package)")
  return()
endif()
# The directory is a cache entry, set by the first configure: a tree once configured for
# /usr/local keeps looking there.
if(NOT BRENWICK_UPGRADER_DIRECTORY STREQUAL CMAKE_INSTALL_FULL_BINDIR)
  message(WARNING "Debian packages: none, the library would start the upgrader from "
    "${BRENWICK_UPGRADER_DIRECTORY} but the package installs it into "
    "${CMAKE_INSTALL_FULL_BINDIR}; configure a fresh build tree (preset linux-package)")
  return()
endif()

set(OPTIQON_DEB_MAINTAINER "Optiqon service kit maintainers <optiqon-kit@corvantis.example>"
  CACHE STRING "Maintainer field of the Debian packages")
set(OPTIQON_DEB_SOURCE optiqon-service-kit)

# Every package carries the kit's copyright and changelog in /usr/share/doc/<package>, as Debian
# requires, and the upgrader its manual page under both names. Changelog and manual page are
# gzip-compressed at the highest level and without a time stamp, as Debian wants them, so that
# the packages are the same whenever they are built.
set(packaging_dir ${PROJECT_BINARY_DIR}/packaging)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${packaging_dir}/changelog @ONLY)
foreach(source ${packaging_dir}/changelog ${CMAKE_CURRENT_LIST_DIR}/optiqon_fw_upgrader.1
    ${CMAKE_CURRENT_LIST_DIR}/optiqon.1)
  get_filename_component(name ${source} NAME)
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${packaging_dir}/${name}.gz
    RESULT_VARIABLE gzip_result)
  if(NOT gzip_result EQUAL 0)
    message(FATAL_ERROR "Debian packages: gzip could not compress ${source}")
  endif()
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/changelog.in ${CMAKE_CURRENT_LIST_DIR}/optiqon_fw_upgrader.1
  ${CMAKE_CURRENT_LIST_DIR}/optiqon.1)
file(CREATE_LINK optiqon_fw_upgrader.1.gz ${packaging_dir}/${BRENWICK_UPGRADER_FILE_NAME}.1.gz
  SYMBOLIC)
install(FILES ${packaging_dir}/optiqon_fw_upgrader.1.gz
  ${packaging_dir}/${BRENWICK_UPGRADER_FILE_NAME}.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT upgrader)
install(FILES ${packaging_dir}/optiqon.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
  COMPONENT tool)

include(${CMAKE_CURRENT_LIST_DIR}/python.cmake)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime cameras development upgrader tool python)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libbrenwick1)
set(CPACK_DEBIAN_CAMERAS_PACKAGE_NAME liboptiqoncameras1)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libbrenwick-dev)
set(CPACK_DEBIAN_UPGRADER_PACKAGE_NAME optiqon-fw-upgrader)
set(CPACK_DEBIAN_TOOL_PACKAGE_NAME optiqon)
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-optiqon)
foreach(component ${CPACK_COMPONENTS_ALL})
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${packaging_dir}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${OPTIQON_DEB_SOURCE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Corvantis)
set(CPACK_PACKAGE_CONTACT "${OPTIQON_DEB_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# <package>_<version>_<architecture>.deb, the architecture as dpkg names it.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE ${OPTIQON_DEB_SOURCE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The C and C++ runtimes each package needs, as dpkg-shlibdeps reads them from its programs and
# libraries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file, so that a host packaged against libBrenwick.so.1 depends on libbrenwick1 of this
# version or later (and one against libOptiqonCameras.so.1 on liboptiqoncameras1), with the
# ldconfig trigger that comes with it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
  GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The shipped files carry no symbol tables.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/libbrenwick1/triggers)
# The library starts /usr/bin/optiqon_upgrade for UpdateFirmware and GetSerialNumber; its other
# eleven calls work without it. Recommended rather than required: apt installs it along by default,
# while a build environment that only compiles a host against libbrenwick-dev (installing without
# recommends) gets no udev rule and no udev reload.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS optiqon-fw-upgrader)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "camera control library for the Corvantis K3M51-USB (Optiqon)
Brenwick opens the Corvantis K3M51-USB camera (Optiqon) over V4L2, sets and
reads its image properties and vendor controls, stores its settings, unlocks it
with its password, and starts the firmware upgrader to update the firmware or
to read the serial number.

This package contains the shared library.")

set(CPACK_DEBIAN_CAMERAS_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_CAMERAS_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_LIST_DIR}/liboptiqoncameras1/triggers)
# The camera API updates the firmware in its own process and needs no upgrader; the package that
# holds the upgrader also holds the udev rule that lets the user at the seat open the cameras.
set(CPACK_DEBIAN_CAMERAS_PACKAGE_RECOMMENDS optiqon-fw-upgrader)
set(CPACK_DEBIAN_CAMERAS_DESCRIPTION
  "camera API for every Corvantis K3M51-USB camera (Optiqon) on the PC
OptiqonCameras lists every Corvantis K3M51-USB camera (Optiqon) plugged into
the PC with its serial number and USB port, and opens each one by its serial
number: its image properties with their ranges, its vendor controls, register,
password and stored settings, and its firmware update with the progress page
by page and the verdict as a code. A plain C interface with codes and
messages, for hosts in any language.

This package contains the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
  "libbrenwick1 (= ${PROJECT_VERSION}), liboptiqoncameras1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "camera libraries for the Corvantis K3M51-USB (Optiqon) - development
Brenwick opens the Corvantis K3M51-USB camera (Optiqon) over V4L2, sets and
reads its image properties and vendor controls, stores its settings, unlocks it
with its password, and starts the firmware upgrader to update the firmware or
to read the serial number. OptiqonCameras, the camera API, does the same for
every camera on the PC, each opened by its serial number.

This package contains what a host application builds against: the headers
Brenwick.h, BrenwickSafeArray.h, OptiqonCameras.h and OptiqonCamera.h (the
camera's vendor controls and the upgrader's exit codes), the links to both
libraries, their CMake packages (find_package(Brenwick) and Brenwick::Brenwick,
find_package(OptiqonCameras) and OptiqonCameras::OptiqonCameras) and their
pkg-config files brenwick.pc and optiqon-cameras.pc.")

set(CPACK_DEBIAN_UPGRADER_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_UPGRADER_PACKAGE_CONTROL_EXTRA
  "${CMAKE_CURRENT_LIST_DIR}/optiqon-fw-upgrader/postinst;${CMAKE_CURRENT_LIST_DIR}/optiqon-fw-upgrader/postrm")
set(CPACK_DEBIAN_UPGRADER_DESCRIPTION
  "firmware upgrader for the Corvantis K3M51-USB camera (Optiqon)
optiqon_fw_upgrader writes a firmware image into the flash of the Corvantis
K3M51-USB camera (Optiqon) over its USB HID interface: it erases the flash,
writes the image page by page, reads every page back and compares it. Given -s
it prints the camera's serial number. The camera control library starts it
under its second name, optiqon_upgrade.

A udev rule gives the user at the seat access to the camera's HID and video
nodes, so that neither the upgrader nor a host application needs root.")

set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
# The tool is built against this very camera API (dpkg-shlibdeps cannot yet know the package
# that holds it), and reaches the cameras through the udev rule the upgrader's package installs.
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS
  "liboptiqoncameras1 (= ${PROJECT_VERSION}), optiqon-fw-upgrader (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_TOOL_DESCRIPTION
  "command-line tool for the Corvantis K3M51-USB camera (Optiqon)
optiqon shows and changes the settings of every Corvantis K3M51-USB camera
(Optiqon) on the PC, each known by its serial number, through the Optiqon
camera API: its image properties by name and its vendor controls by number,
its register and password, storing and resetting its settings, and settings
profiles saved to and restored from JSON files. It also updates the firmware
of one camera or several at once, with a progress bar and the time left, and
gives JSON output to scripts.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
# Pure Python: one package for every architecture, which loads the camera API of this very
# version through ctypes (no shared library links it, so dpkg-shlibdeps finds nothing to depend
# on). Its modules are compiled into byte code at installation and their byte code removed before
# them, as Debian's Python packages do.
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
  "liboptiqoncameras1 (= ${PROJECT_VERSION}), python3:any (>= 3.11)")
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
  "${CMAKE_CURRENT_LIST_DIR}/python3-optiqon/postinst;${CMAKE_CURRENT_LIST_DIR}/python3-optiqon/prerm")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
  "Python package for the Corvantis K3M51-USB camera (Optiqon)
The module optiqon lists every Corvantis K3M51-USB camera (Optiqon) plugged
into the PC and opens each one by its serial number, through the Optiqon
camera API: its image properties and vendor controls read and set by the names
the optiqon tool uses, with their ranges, its register, password and stored
settings, settings profiles in the tool's JSON format, and the firmware update
with its progress and verdict. Errors are exceptions carrying the camera API's
messages.")

include(CPack)
