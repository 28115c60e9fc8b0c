// The page and its files, built into the binary from tools/optiqon/panel/web/ so that the panel
// needs nothing beside the tool and loads nothing from the network.
#pragma once

#include <string_view>

struct PanelAsset {
  // Its path below web/, e.g. index.html, modules/cameras.js
  std::string_view name;
  std::string_view contentType;
  std::string_view content;
};

// The file of that name; none when the page has no such file.
const PanelAsset* findPanelAsset(std::string_view name);
