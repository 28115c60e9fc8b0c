# Writes the C++ source that holds every file of the page (WEB_DIR) as bytes, with the content
# type its extension gives: cmake -DWEB_DIR=... -DOUTPUT=... -P embed_assets.cmake
# A file of another kind stops the build rather than reach a browser with the wrong type.
file(GLOB_RECURSE files RELATIVE ${WEB_DIR} ${WEB_DIR}/*)
list(SORT files)

set(types_html "text/html; charset=utf-8")
set(types_js "text/javascript; charset=utf-8")
set(types_mjs "text/javascript; charset=utf-8")
set(types_css "text/css; charset=utf-8")
set(types_svg "image/svg+xml")
set(types_png "image/png")
set(types_json "application/json")

set(arrays "")
set(entries "")
set(index 0)
foreach(name IN LISTS files)
  get_filename_component(file_name ${name} NAME)
  if(file_name MATCHES "^\\.")
    continue()
  endif()
  string(REGEX MATCH "[^.]*$" extension ${file_name})
  string(TOLOWER "${extension}" extension)
  if(NOT DEFINED types_${extension})
    message(FATAL_ERROR "panel/web/${name}: no content type for .${extension} files")
  endif()
  file(READ ${WEB_DIR}/${name} hex HEX)
  file(SIZE ${WEB_DIR}/${name} size)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  # A closing zero keeps an empty file's array legal; the size leaves it out.
  string(APPEND arrays "const char asset${index}[] = {${bytes}0};\n")
  string(APPEND entries
         "    {\"${name}\", \"${types_${extension}}\", std::string_view(asset${index}, ${size})},\n")
  math(EXPR index "${index} + 1")
endforeach()

set(source "// Made by embed_assets.cmake from panel/web/: not to be edited.
#include \"panel_assets.h\"

#include <array>

namespace {

${arrays}
const std::array<PanelAsset, ${index}> assets = {{
${entries}}};

}  // namespace

const PanelAsset* findPanelAsset(std::string_view name) {
  for (const PanelAsset& asset : assets) {
    if (asset.name == name) {
      return &asset;
    }
  }
  return nullptr;
}
")
# Written only when it changed, so that an unchanged page compiles nothing again.
file(CONFIGURE OUTPUT ${OUTPUT} CONTENT "${source}" @ONLY)
