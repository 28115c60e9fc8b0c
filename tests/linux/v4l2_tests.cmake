# The camera library through its V4L2 backend: in-process against made-up video nodes and sysfs,
# and the shipped libBrenwick.so as a host on this machine loads it.
# The in-process tests start the simulated upgrader of this build tree, so that UpdateFirmware
# and GetSerialNumber run end to end beside the fake video nodes.
if(TARGET media_linux AND TARGET optiqon_fw_upgrader_sim)
  add_upgrader_launch(camlib_launch_v4l2_tests "$<TARGET_FILE_DIR:optiqon_fw_upgrader_sim>"
    "$<TARGET_FILE_NAME:optiqon_fw_upgrader_sim>" "/")
  add_executable(v4l2_backend_tests
    ${CMAKE_CURRENT_SOURCE_DIR}/v4l2_backend_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fake_v4l2_system.cpp
    ${PROJECT_SOURCE_DIR}/sim/video/sim_video_camera.cpp)
  target_include_directories(v4l2_backend_tests PRIVATE
    ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/sim/video)
  target_link_libraries(v4l2_backend_tests PRIVATE
    camlib_core camlib_launch_v4l2_tests media_linux GTest::gtest_main)
  add_dependencies(v4l2_backend_tests optiqon_fw_upgrader_sim)
  optiqon_discover_tests(v4l2_backend_tests v4l2)
endif()

if(TARGET Brenwick AND TARGET Brenwick_sim)
  # A host that knows only the library's name: it loads it and calls Initialize.
  add_executable(v4l2_library_host ${CMAKE_CURRENT_LIST_DIR}/v4l2_library_host.cpp)
  target_link_libraries(v4l2_library_host PRIVATE ${CMAKE_DL_LIBS})

  add_executable(v4l2_shipped_library_tests
    ${CMAKE_CURRENT_LIST_DIR}/v4l2_shipped_library_test.cpp)
  target_include_directories(v4l2_shipped_library_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(v4l2_shipped_library_tests PRIVATE GTest::gtest_main)
  target_compile_definitions(v4l2_shipped_library_tests PRIVATE
    LIBRARY_HOST_PATH="$<TARGET_FILE:v4l2_library_host>"
    BRENWICK_PATH="$<TARGET_FILE:Brenwick>"
    BRENWICK_SIM_PATH="$<TARGET_FILE:Brenwick_sim>")
  add_dependencies(v4l2_shipped_library_tests v4l2_library_host Brenwick Brenwick_sim)
  optiqon_discover_tests(v4l2_shipped_library_tests v4l2-shipped)
endif()
