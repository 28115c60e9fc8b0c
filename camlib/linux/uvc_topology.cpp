#include "uvc_topology.h"

#include <linux/usb/ch9.h>
#include <linux/usb/video.h>

#include <cstddef>

namespace {

// Not named by the kernel's header: the encoding unit of UVC 1.5.
constexpr std::uint8_t EncodingUnit = 0x07;

// Where the fields read here lie, as the kernel's descriptor structures place them. A terminal's
// or unit's id follows its subtype in every class-specific VideoControl descriptor, so one offset
// serves them all; the encoding unit of UVC 1.5 has no structure of its own but the same header.
constexpr std::size_t LengthField = offsetof(usb_descriptor_header, bLength);
constexpr std::size_t TypeField = offsetof(usb_descriptor_header, bDescriptorType);
constexpr std::size_t ConfigurationValueField =
    offsetof(usb_config_descriptor, bConfigurationValue);
constexpr std::size_t InterfaceNumberField = offsetof(usb_interface_descriptor, bInterfaceNumber);
constexpr std::size_t InterfaceClassField = offsetof(usb_interface_descriptor, bInterfaceClass);
constexpr std::size_t InterfaceSubclassField =
    offsetof(usb_interface_descriptor, bInterfaceSubClass);

constexpr std::size_t SubtypeField = offsetof(uvc_input_terminal_descriptor, bDescriptorSubType);
constexpr std::size_t IdField = offsetof(uvc_input_terminal_descriptor, bTerminalID);
constexpr std::size_t TerminalTypeField = offsetof(uvc_input_terminal_descriptor, wTerminalType);
constexpr std::size_t ExtensionCodeField =
    offsetof(uvc_extension_unit_descriptor, guidExtensionCode);
constexpr std::size_t ExtensionCodeLength =
    sizeof(uvc_extension_unit_descriptor::guidExtensionCode);

static_assert(offsetof(uvc_output_terminal_descriptor, bDescriptorSubType) == SubtypeField);
static_assert(offsetof(uvc_extension_unit_descriptor, bDescriptorSubType) == SubtypeField);
static_assert(offsetof(uvc_output_terminal_descriptor, bTerminalID) == IdField);
static_assert(offsetof(uvc_selector_unit_descriptor, bUnitID) == IdField);
static_assert(offsetof(uvc_processing_unit_descriptor, bUnitID) == IdField);
static_assert(offsetof(uvc_extension_unit_descriptor, bUnitID) == IdField);
static_assert(offsetof(uvc_output_terminal_descriptor, wTerminalType) == TerminalTypeField);
static_assert(sizeof(GUID) == ExtensionCodeLength);

std::uint16_t littleEndian16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t littleEndian32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(littleEndian16(bytes, at)) |
         static_cast<std::uint32_t>(littleEndian16(bytes, at + 2)) << 16;
}

// USB sends a GUID with its first three fields little-endian, as Windows keeps one in memory.
GUID guidAt(std::span<const std::uint8_t> bytes, std::size_t at) {
  GUID guid{
      littleEndian32(bytes, at), littleEndian16(bytes, at + 4), littleEndian16(bytes, at + 6), {}};
  for (std::size_t i = 0; i < sizeof guid.Data4; ++i) {
    guid.Data4[i] = bytes[at + 8 + i];
  }
  return guid;
}

// The node a class-specific VideoControl descriptor stands for, if it is one.
std::optional<TopologyNode> nodeOf(std::span<const std::uint8_t> descriptor) {
  if (descriptor.size() <= IdField) {
    return std::nullopt;
  }
  TopologyNode node{descriptor[SubtypeField], descriptor[IdField], 0, {}};
  switch (node.subtype) {
    case UVC_VC_INPUT_TERMINAL:
    case UVC_VC_OUTPUT_TERMINAL:
      if (descriptor.size() <
          TerminalTypeField + sizeof(uvc_input_terminal_descriptor::wTerminalType)) {
        return std::nullopt;
      }
      node.terminalType = littleEndian16(descriptor, TerminalTypeField);
      if (node.subtype == UVC_VC_OUTPUT_TERMINAL && node.terminalType == UVC_TT_STREAMING) {
        return std::nullopt;
      }
      return node;
    case UVC_VC_EXTENSION_UNIT:
      if (descriptor.size() < ExtensionCodeField + ExtensionCodeLength) {
        return std::nullopt;
      }
      node.extensionCode = guidAt(descriptor, ExtensionCodeField);
      return node;
    case UVC_VC_SELECTOR_UNIT:
    case UVC_VC_PROCESSING_UNIT:
    case EncodingUnit:
      return node;
    default:
      return std::nullopt;  // the interface header
  }
}

bool isVideoControlInterface(std::span<const std::uint8_t> descriptor,
                             std::optional<std::uint8_t> interfaceNumber) {
  return descriptor.size() > InterfaceSubclassField &&
         descriptor[InterfaceClassField] == USB_CLASS_VIDEO &&
         descriptor[InterfaceSubclassField] == UVC_SC_VIDEOCONTROL &&
         (!interfaceNumber || descriptor[InterfaceNumberField] == *interfaceNumber);
}

}  // namespace

bool TopologyNode::isExtensionUnit() const {
  return subtype == UVC_VC_EXTENSION_UNIT;
}

GUID TopologyNode::nodeType() const {
  switch (subtype) {
    case UVC_VC_INPUT_TERMINAL:
      return terminalType == UVC_ITT_CAMERA                  ? KSNODETYPE_VIDEO_CAMERA_TERMINAL
             : terminalType == UVC_ITT_MEDIA_TRANSPORT_INPUT ? KSNODETYPE_VIDEO_INPUT_MTT
             : terminalType == UVC_TT_STREAMING              ? KSNODETYPE_VIDEO_STREAMING
                                                             : KSNODETYPE_VIDEO_INPUT_TERMINAL;
    case UVC_VC_OUTPUT_TERMINAL:
      return terminalType == UVC_OTT_MEDIA_TRANSPORT_OUTPUT ? KSNODETYPE_VIDEO_OUTPUT_MTT
                                                            : KSNODETYPE_VIDEO_OUTPUT_TERMINAL;
    case UVC_VC_SELECTOR_UNIT:
      return KSNODETYPE_VIDEO_SELECTOR;
    case UVC_VC_PROCESSING_UNIT:
      return KSNODETYPE_VIDEO_PROCESSING;
    case UVC_VC_EXTENSION_UNIT:
      return KSNODETYPE_DEV_SPECIFIC;
    default:
      return GUID{};  // ksmedia.h has no type for an encoding unit
  }
}

// The walk keeps track of the configuration and interface each descriptor belongs to: the
// streaming interfaces reuse the same class-specific subtype numbers for their formats and frames.
std::vector<TopologyNode> topologyNodes(std::span<const std::uint8_t> descriptors,
                                        std::optional<std::uint8_t> configurationValue,
                                        std::optional<std::uint8_t> interfaceNumber) {
  std::vector<TopologyNode> nodes;
  bool inConfiguration = false;
  bool inVideoControl = false;
  bool read = false;  // the interface has been read; the next interface ends it
  std::size_t at = 0;
  while (at + TypeField < descriptors.size()) {
    const std::size_t length = descriptors[at + LengthField];
    if (length <= TypeField || length > descriptors.size() - at) {
      break;
    }
    const std::span<const std::uint8_t> descriptor = descriptors.subspan(at, length);
    at += length;
    switch (descriptor[TypeField]) {
      case USB_DT_CONFIG:
        if (read) {
          return nodes;
        }
        inConfiguration =
            !configurationValue || (descriptor.size() > ConfigurationValueField &&
                                    descriptor[ConfigurationValueField] == *configurationValue);
        inVideoControl = false;
        break;
      case USB_DT_INTERFACE:
        if (read) {
          return nodes;
        }
        inVideoControl = inConfiguration && isVideoControlInterface(descriptor, interfaceNumber);
        break;
      case USB_DT_CS_INTERFACE:
        if (inVideoControl) {
          read = true;
          if (const std::optional<TopologyNode> node = nodeOf(descriptor)) {
            nodes.push_back(*node);
          }
        }
        break;
      default:
        break;
    }
  }
  return nodes;
}
