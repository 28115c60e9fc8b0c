cmake_minimum_required(VERSION 3.25)
# Writes the installer's file list from the staged install components, so that whatever the
# install rules put in a component reaches the MSI without a list kept by hand:
#   cmake -DSTAGE=<dir> -DCOMPONENTS=upgrader;runtime;cameras;development;tool
#         -DOUTPUT=files.wxs -P this
# <dir>/<component>/ holds what `cmake --install --component <component>` staged. Every
# directory is declared once under INSTALLDIR (two components both fill bin/), each file is a
# component of its own with the file as key path, and each install component becomes a
# ComponentGroup of the same name for Optiqon.wxs to place in a feature.
foreach(variable STAGE COMPONENTS OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "stage_to_wxs: ${variable} is not set")
  endif()
endforeach()
get_filename_component(STAGE "${STAGE}" ABSOLUTE)

# Windows Installer identifiers allow letters, digits, '_' and '.', up to 72 characters: a
# letter telling the kind, then the MD5 of the path, stays unique and stable between builds.
function(identifier kind text result)
  string(MD5 digest "${text}")
  set(${result} "${kind}${digest}" PARENT_SCOPE)
endfunction()

function(xml_escape text result)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  set(${result} "${text}" PARENT_SCOPE)
endfunction()

set(directories "")
set(seen_files "")
foreach(component IN LISTS COMPONENTS)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${STAGE}/${component}"
       "${STAGE}/${component}/*")
  if(NOT files)
    message(FATAL_ERROR "stage_to_wxs: the install component '${component}' staged no files "
                        "in ${STAGE}/${component}")
  endif()
  list(SORT files)
  set(group_${component} "")
  foreach(file IN LISTS files)
    if(file IN_LIST seen_files)
      message(FATAL_ERROR "stage_to_wxs: ${file} is installed by two components")
    endif()
    list(APPEND seen_files "${file}")
    get_filename_component(directory "${file}" DIRECTORY)
    # A file at the top of the installation folder sits in INSTALLDIR itself.
    if(directory STREQUAL "")
      set(directory ".")
    endif()
    list(APPEND files_in_${directory} "${component}|${file}")
    list(APPEND group_${component} "${component}|${file}")
    # The directory and every one above it, up to the installation folder.
    while(NOT directory STREQUAL "." AND NOT directory IN_LIST directories)
      list(APPEND directories "${directory}")
      get_filename_component(parent "${directory}" DIRECTORY)
      if(parent STREQUAL "")
        set(parent ".")
      endif()
      list(APPEND subdirectories_of_${parent} "${directory}")
      set(directory "${parent}")
    endwhile()
  endforeach()
endforeach()

# The directory's files, then its subdirectories, each nested one level deeper.
function(write_directory directory indent)
  foreach(entry IN LISTS files_in_${directory})
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 component)
    list(GET parts 1 file)
    identifier(c "${component}/${file}" component_id)
    identifier(f "${file}" file_id)
    get_filename_component(name "${file}" NAME)
    xml_escape("${name}" name)
    # wixl finds a source relative to the directory of the file that names it, and takes no
    # absolute path: OUTPUT goes into STAGE.
    xml_escape("${component}/${file}" source)
    string(APPEND xml
      "${indent}<Component Id=\"${component_id}\" Guid=\"*\" Win64=\"yes\">\n"
      "${indent}  <File Id=\"${file_id}\" Name=\"${name}\" Source=\"${source}\" KeyPath=\"yes\"/>\n"
      "${indent}</Component>\n")
  endforeach()
  set(subdirectories ${subdirectories_of_${directory}})
  list(SORT subdirectories)
  foreach(subdirectory IN LISTS subdirectories)
    identifier(d "${subdirectory}" directory_id)
    get_filename_component(name "${subdirectory}" NAME)
    xml_escape("${name}" name)
    string(APPEND xml "${indent}<Directory Id=\"${directory_id}\" Name=\"${name}\">\n")
    write_directory("${subdirectory}" "${indent}  ")
    string(APPEND xml "${indent}</Directory>\n")
  endforeach()
  set(xml "${xml}" PARENT_SCOPE)
endfunction()

set(xml "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n")
string(APPEND xml "<!-- Written by stage_to_wxs.cmake from ${STAGE}. -->\n")
string(APPEND xml "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n  <Fragment>\n")
string(APPEND xml "    <DirectoryRef Id=\"INSTALLDIR\">\n")
write_directory("." "      ")
string(APPEND xml "    </DirectoryRef>\n")
foreach(component IN LISTS COMPONENTS)
  string(APPEND xml "    <ComponentGroup Id=\"${component}\">\n")
  foreach(entry IN LISTS group_${component})
    string(REPLACE "|" "/" path "${entry}")
    identifier(c "${path}" component_id)
    string(APPEND xml "      <ComponentRef Id=\"${component_id}\"/>\n")
  endforeach()
  string(APPEND xml "    </ComponentGroup>\n")
endforeach()
string(APPEND xml "  </Fragment>\n</Wix>\n")
file(WRITE "${OUTPUT}" "${xml}")
