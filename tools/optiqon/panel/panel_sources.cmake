# The panel (optiqon panel). Its HTTP layer is a static library built once for both tools and the
# tests: Boost.Beast and Boost.Asio are header-only and slow to compile. The page's files in web/
# are compiled into it. add_optiqon_tool includes this file for each tool, and adds the command's
# own sources and the library to it.
set(panel_dir ${CMAKE_CURRENT_LIST_DIR})
if(WIN32)
  set(panel_platform ${panel_dir}/windows)
  set(optiqon_panel_libraries optiqon_panel_http shell32 ole32)
else()
  set(panel_platform ${panel_dir}/posix)
  set(optiqon_panel_libraries optiqon_panel_http)
endif()
set(optiqon_panel_sources
  ${panel_dir}/panel_command.cpp
  ${panel_platform}/open_browser.cpp
  ${panel_dir}/panel_api.cpp
  ${panel_dir}/settings_routes.cpp
  ${panel_dir}/profile_routes.cpp
  ${panel_dir}/camera_access.cpp
  ${panel_dir}/camera_presence.cpp
  ${panel_dir}/update_jobs.cpp)
if(TARGET optiqon_panel_http)
  return()
endif()

if(CMAKE_CROSSCOMPILING)
  # From the build machine, as CLI11 and nlohmann/json: only the boost folder is linked into the
  # host-headers folder, never the whole of its /usr/include.
  find_path(OPTIQON_BOOST_INCLUDE boost/beast.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
            REQUIRED)
  set(panel_host_headers ${CMAKE_CURRENT_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${panel_host_headers})
  file(CREATE_LINK ${OPTIQON_BOOST_INCLUDE}/boost ${panel_host_headers}/boost SYMBOLIC)
  add_library(optiqon_boost_headers INTERFACE)
  target_include_directories(optiqon_boost_headers SYSTEM INTERFACE ${panel_host_headers})
  set(panel_boost optiqon_boost_headers)
else()
  find_package(Boost 1.81 REQUIRED)
  set(panel_boost Boost::headers)
endif()

# Every file of the page, as bytes with its content type; made again when one changes, and the
# list read again when one is added.
file(GLOB_RECURSE panel_web_files CONFIGURE_DEPENDS ${panel_dir}/web/*)
set(panel_assets_source ${CMAKE_CURRENT_BINARY_DIR}/panel_assets.cpp)
add_custom_command(
  OUTPUT ${panel_assets_source}
  COMMAND ${CMAKE_COMMAND} -DWEB_DIR=${panel_dir}/web -DOUTPUT=${panel_assets_source}
          -P ${panel_dir}/embed_assets.cmake
  DEPENDS ${panel_web_files} ${panel_dir}/embed_assets.cmake
  COMMENT "Embedding the panel's page")

add_library(optiqon_panel_http STATIC
  ${panel_dir}/panel_security.cpp
  ${panel_dir}/http_target.cpp
  ${panel_dir}/http_responses.cpp
  ${panel_dir}/http_event_streams.cpp
  ${panel_dir}/http_connection.cpp
  ${panel_dir}/http_server.cpp
  ${panel_platform}/http_platform.cpp
  ${panel_platform}/secure_random.cpp
  ${panel_assets_source})
target_include_directories(optiqon_panel_http PUBLIC ${panel_dir})
target_link_libraries(optiqon_panel_http PRIVATE ${panel_boost} nlohmann_json::nlohmann_json
  PUBLIC Threads::Threads)
if(WIN32)
  # Asio's Windows 10 interfaces; Winsock, its extensions, and the system's random numbers.
  target_compile_definitions(optiqon_panel_http PRIVATE _WIN32_WINNT=0x0A00)
  target_link_libraries(optiqon_panel_http PUBLIC ws2_32 mswsock bcrypt)
endif()
