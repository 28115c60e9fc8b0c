# The Windows binaries' version resource, with the one project version, and for a program its
# application manifest.

# Gives `target` a VERSIONINFO resource describing it as `description`; with MANIFEST <file>, also
# that application manifest (configured with the project version first).
function(optiqon_add_version_resource target description)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "MANIFEST" "")
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(resource_file_type VFT_DLL)
    set(resource_file_name ${target}.dll)
  else()
    set(resource_file_type VFT_APP)
    set(resource_file_name ${target}.exe)
  endif()
  set(resource_name ${target})
  set(resource_description "${description}")
  set(resource_manifest "")
  if(arg_MANIFEST)
    get_filename_component(manifest_name ${arg_MANIFEST} NAME)
    set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${manifest_name})
    configure_file(${arg_MANIFEST} ${manifest} @ONLY)
    if(MSVC)
      # The Visual Studio linker merges a manifest given as a source into the one it writes.
      target_sources(${target} PRIVATE ${manifest})
    else()
      file(TO_CMAKE_PATH "${manifest}" manifest_path)
      set(resource_manifest "1 24 \"${manifest_path}\"  // CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST")
    endif()
  endif()
  set(resource ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version_resource.rc.in ${resource} @ONLY)
  target_sources(${target} PRIVATE ${resource})
endfunction()
