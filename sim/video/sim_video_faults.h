// The platform calls on the camera's video side that a scenario can make fail. Each step is
// named for the call it stands for, so that a scenario reads as the library's own code does.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace sim {

enum class VideoStep {
  MFCreateAttributes,
  SetGUID,
  MFEnumDeviceSources,
  GetAllocatedString,
  ActivateObject,
  MFCreateSourceReaderFromMediaSource,
  QueryIKsTopologyInfo,  // the media source asked for its topology
  get_NodeType,
  CreateNodeInstance,
  QueryIKsControl,  // a topology node's object asked for its property interface
  KsProperty,
  QueryIAMVideoProcAmp,  // the media source asked for its video processing amplifier
  GetRange,
  Set,
  Get,
};

// In the order of the enumeration, as a scenario spells them.
inline constexpr std::array<std::string_view, 15> VideoStepNames = {
    "MFCreateAttributes",
    "SetGUID",
    "MFEnumDeviceSources",
    "GetAllocatedString",
    "ActivateObject",
    "MFCreateSourceReaderFromMediaSource",
    "QueryIKsTopologyInfo",
    "get_NodeType",
    "CreateNodeInstance",
    "QueryIKsControl",
    "KsProperty",
    "QueryIAMVideoProcAmp",
    "GetRange",
    "Set",
    "Get",
};
static_assert(static_cast<std::size_t>(VideoStep::Get) + 1 == VideoStepNames.size());

constexpr std::string_view nameOf(VideoStep step) {
  return VideoStepNames[static_cast<std::size_t>(step)];
}

}  // namespace sim
