// The kernel-streaming topology Windows shows for a UVC video function, read from the USB
// device's raw descriptors. Each terminal and unit of the VideoControl interface is one node, in
// the order the descriptors list them; the output terminal that carries the video to the host over
// USB is the capture pin, not a node. For the camera this puts its camera terminal at node 0, its
// processing unit at 1 and its two extension units at 2 and 3.
//
// uvcvideo addresses a unit by its UVC id, which is not its node number: an extension unit is
// found by the GUID of its descriptor, which is also the property set its controls answer to.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "media_services.h"

struct TopologyNode {
  std::uint8_t subtype;        // the class-specific VideoControl descriptor subtype
  std::uint8_t id;             // bTerminalID or bUnitID
  std::uint16_t terminalType;  // wTerminalType; 0 for units
  GUID extensionCode;          // guidExtensionCode of an extension unit; zero otherwise

  bool isExtensionUnit() const;
  // The KSNODETYPE_* GUID the node is reported with.
  GUID nodeType() const;
};

// The nodes of the VideoControl interface `interfaceNumber` in configuration
// `configurationValue`, where a number left unknown matches any: the first such interface is read.
// `descriptors` is what the USB device's sysfs `descriptors` file holds: the device descriptor,
// then the configurations with all their descriptors. Reading stops at a descriptor whose length
// does not fit; a terminal or unit descriptor too short for the fields read here is no node.
std::vector<TopologyNode> topologyNodes(std::span<const std::uint8_t> descriptors,
                                        std::optional<std::uint8_t> configurationValue,
                                        std::optional<std::uint8_t> interfaceNumber);
