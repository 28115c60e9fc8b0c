# The camera library on Linux: the media seam over V4L2 and uvcvideo, and the shipped
# libBrenwick.so built on it. Included from the top-level list file, after camlib_core and
# add_upgrader_launch.

# The backend, reaching sysfs and the video nodes only through V4l2System. Its symbols stay inside
# whatever links it.
add_library(media_linux STATIC
  ${CMAKE_CURRENT_LIST_DIR}/kernel_errors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/media_backend_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/media_source_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_encoding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uvc_topology.cpp
  ${CMAKE_CURRENT_LIST_DIR}/v4l2_system_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/video_proc_amp_v4l2.cpp)
target_include_directories(media_linux PUBLIC ${CMAKE_CURRENT_LIST_DIR}
  PRIVATE ${PROJECT_SOURCE_DIR}/camlib)
set_target_properties(media_linux PROPERTIES POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

# Brenwick: the shipped library, libBrenwick.so, starting the installed upgrader. As the simulated
# library does, it exports the thirteen commands and the safe-array functions and nothing else.
add_upgrader_launch(camlib_launch_linux "${BRENWICK_UPGRADER_DIRECTORY}"
  "${BRENWICK_UPGRADER_FILE_NAME}" "${BRENWICK_PATH_SEPARATOR}")
add_library(Brenwick SHARED
  $<TARGET_OBJECTS:camlib_core> $<TARGET_OBJECTS:camlib_launch_linux>)
target_include_directories(Brenwick PUBLIC ${PROJECT_SOURCE_DIR}/camlib/include)
target_link_libraries(Brenwick PRIVATE media_linux)
target_link_options(Brenwick PRIVATE -Wl,--exclude-libs,ALL -Wl,-z,defs
  -Wl,--version-script=${PROJECT_SOURCE_DIR}/camlib/include/brenwick_exports.map)
set_target_properties(Brenwick PROPERTIES
  OUTPUT_NAME Brenwick
  LINK_DEPENDS ${PROJECT_SOURCE_DIR}/camlib/include/brenwick_exports.map
  CXX_VISIBILITY_PRESET hidden)
