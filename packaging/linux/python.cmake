# The Python package optiqon (python/) for the Debian package python3-optiqon: its wheel, built
# offline by scripts/build-wheel.sh into <build>/python/, and unpacked there as it lands in
# /usr/lib/python3/dist-packages (the package's modules and its optiqon-<version>.dist-info), so
# that the .deb holds exactly what the wheel holds. scripts/package-linux.sh copies the wheel into
# dist/ beside the packages. Included by cpack.cmake, for a tree that makes the Debian packages.
set(python_source ${PROJECT_SOURCE_DIR}/python)
set(python_build ${PROJECT_BINARY_DIR}/python)

# The package carries the kit's version, which the wheel's name and the .deb's must agree on.
file(STRINGS ${python_source}/optiqon/_version.py python_version_line
  REGEX "^__version__ = \"[^\"]*\"$")
string(REGEX REPLACE "^__version__ = \"([^\"]*)\"$" "\\1" python_version "${python_version_line}")
if(NOT python_version STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "python/optiqon/_version.py gives version '${python_version}', the kit is "
    "${PROJECT_VERSION}: make them the same")
endif()

set(OPTIQON_PYTHON_WHEEL ${python_build}/optiqon-${PROJECT_VERSION}-py3-none-any.whl)
file(GLOB python_sources CONFIGURE_DEPENDS ${python_source}/optiqon/*
  ${python_source}/pyproject.toml ${python_source}/README.md)
add_custom_command(OUTPUT ${OPTIQON_PYTHON_WHEEL} ${python_build}/unpacked.stamp
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/build-wheel.sh ${python_build}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${python_build}/unpacked
  COMMAND ${CMAKE_COMMAND} -E make_directory ${python_build}/unpacked
  COMMAND ${CMAKE_COMMAND} -E chdir ${python_build}/unpacked
    ${CMAKE_COMMAND} -E tar xf ${OPTIQON_PYTHON_WHEEL}
  COMMAND ${CMAKE_COMMAND} -E touch ${python_build}/unpacked.stamp
  DEPENDS ${python_sources} ${PROJECT_SOURCE_DIR}/scripts/build-wheel.sh
  COMMENT "Building the Python package's wheel"
  VERBATIM)
add_custom_target(python_wheel ALL DEPENDS ${OPTIQON_PYTHON_WHEEL} ${python_build}/unpacked.stamp)
install(DIRECTORY ${python_build}/unpacked/ DESTINATION lib/python3/dist-packages
  COMPONENT python)
