cmake_minimum_required(VERSION 3.25)
# A library's module-definition file lists every function its public header exports, each once,
# and nothing else, so that the DLL and Visual Studio's import library offer what the header
# promises: cmake -DDEFINITIONS=<file.def> -DHEADER=<header> -DMACRO=<export macro> -P this
include(${CMAKE_CURRENT_LIST_DIR}/module_definitions.cmake)
exported_names(${DEFINITIONS} listed)
declared_functions(${HEADER} ${MACRO} declared)
set(unique ${listed})
list(REMOVE_DUPLICATES unique)
if(NOT unique STREQUAL listed)
  message(FATAL_ERROR "${DEFINITIONS} lists a name twice: ${listed}")
endif()
list(SORT listed)
list(SORT declared)
if(NOT listed STREQUAL declared)
  message(FATAL_ERROR "${DEFINITIONS} lists:\n  ${listed}\n${HEADER} declares:\n  ${declared}")
endif()
list(LENGTH listed count)
message(STATUS "${count} functions, in ${HEADER} and ${DEFINITIONS} alike")
