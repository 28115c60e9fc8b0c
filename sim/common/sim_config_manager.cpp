// The simulated PC's configuration manager: the CM_* functions the camera list's device tree
// calls, answered from the PC's device tree (sim_device_tree.h) with the results Windows gives,
// its buffer protocol and its error codes included.
//
// A device instance's handle is its node's index plus one: Windows never hands out 0. A device
// interface is known by its path, compared without case as Windows compares it, and keeps
// answering for its instance after the device is unplugged, as the platform keeps an interface's
// properties; it is the instance that is then gone, which CM_Locate_DevNodeW no longer finds.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "config_manager_services.h"
#include "sim_device_tree.h"
#include "sim_import_slots.h"

namespace sim {
namespace {

bool sameKey(const DEVPROPKEY& a, const DEVPROPKEY& b) {
  return a.fmtid == b.fmtid && a.pid == b.pid;
}

char16_t upper(char16_t unit) {
  return unit >= u'a' && unit <= u'z' ? unit - u'a' + u'A' : unit;
}

bool sameWithoutCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return upper(x) == upper(y); });
}

std::u16string_view textAt(const WCHAR* text) {
  return reinterpret_cast<const char16_t*>(text);
}

// The node a handle names: CR_INVALID_DEVNODE for a handle never handed out, CR_NO_SUCH_DEVNODE
// for a device that is gone.
CONFIGRET nodeOf(DEVINST handle, const DeviceNode*& node) {
  const DeviceTree& tree = deviceTree();
  if (handle == 0 || handle > tree.nodes.size()) {
    return CR_INVALID_DEVNODE;
  }
  node = &tree.nodes[handle - 1];
  return node->present ? CR_SUCCESS : CR_NO_SUCH_DEVNODE;
}

// A property's value into the caller's buffer: its type always, its bytes only when they all
// fit, and their size either way. `value` holds every NUL the property ends with.
CONFIGRET answerProperty(DEVPROPTYPE type, std::u16string_view value, DEVPROPTYPE* propertyType,
                         PBYTE buffer, PULONG bufferSize) {
  const ULONG bytes = static_cast<ULONG>(value.size() * sizeof(char16_t));
  *propertyType = type;
  if (*bufferSize < bytes) {
    *bufferSize = bytes;
    return CR_BUFFER_SMALL;
  }
  std::memcpy(buffer, value.data(), bytes);
  *bufferSize = bytes;
  return CR_SUCCESS;
}

// What both property calls check first, in Windows' order.
CONFIGRET checkPropertyCall(const DEVPROPKEY* propertyKey, DEVPROPTYPE* propertyType, PBYTE buffer,
                            PULONG bufferSize, ULONG flags) {
  if (propertyKey == nullptr || propertyType == nullptr || bufferSize == nullptr ||
      (buffer == nullptr && *bufferSize != 0)) {
    return CR_INVALID_POINTER;
  }
  return flags == 0 ? CR_SUCCESS : CR_INVALID_FLAG;
}

std::u16string withNul(std::u16string_view text) {
  return std::u16string(text) + u'\0';
}

}  // namespace
}  // namespace sim

extern "C" {

CONFIGRET SIM_SERVED(CM_Get_Device_Interface_PropertyW)(LPCWSTR deviceInterface,
                                                        const DEVPROPKEY* propertyKey,
                                                        DEVPROPTYPE* propertyType,
                                                        PBYTE propertyBuffer,
                                                        PULONG propertyBufferSize, ULONG flags) {
  if (deviceInterface == nullptr) {
    return CR_INVALID_POINTER;
  }
  if (const CONFIGRET checked = sim::checkPropertyCall(propertyKey, propertyType, propertyBuffer,
                                                       propertyBufferSize, flags);
      checked != CR_SUCCESS) {
    return checked;
  }
  const sim::DeviceTree& tree = sim::deviceTree();
  const std::u16string_view path = sim::textAt(deviceInterface);
  const auto found = std::find_if(
      tree.interfaces.begin(), tree.interfaces.end(),
      [&](const sim::DeviceInterface& known) { return sim::sameWithoutCase(known.path, path); });
  if (found == tree.interfaces.end() || found->node >= tree.nodes.size()) {
    return CR_NO_SUCH_DEVICE_INTERFACE;
  }
  if (!sim::sameKey(*propertyKey, DEVPKEY_Device_InstanceId)) {
    return CR_NO_SUCH_VALUE;
  }
  return sim::answerProperty(DEVPROP_TYPE_STRING, sim::withNul(tree.nodes[found->node].instanceId),
                             propertyType, propertyBuffer, propertyBufferSize);
}

// The simulated PC has no root device to give for an empty id: its tree starts at the USB devices.
CONFIGRET SIM_SERVED(CM_Locate_DevNodeW)(PDEVINST devInst, DEVINSTID_W deviceId, ULONG flags) {
  if (devInst == nullptr) {
    return CR_INVALID_POINTER;
  }
  *devInst = 0;
  if ((flags & ~CM_LOCATE_DEVNODE_BITS) != 0) {
    return CR_INVALID_FLAG;
  }
  const std::u16string_view id = deviceId == nullptr ? u"" : sim::textAt(deviceId);
  if (id.size() >= MAX_DEVICE_ID_LEN) {
    return CR_INVALID_DEVICE_ID;
  }
  const sim::DeviceTree& tree = sim::deviceTree();
  for (std::size_t i = 0; i < tree.nodes.size() && !id.empty(); ++i) {
    if (sim::sameWithoutCase(tree.nodes[i].instanceId, id)) {
      if (!tree.nodes[i].present && (flags & CM_LOCATE_DEVNODE_PHANTOM) == 0) {
        return CR_NO_SUCH_DEVNODE;
      }
      *devInst = static_cast<DEVINST>(i + 1);
      return CR_SUCCESS;
    }
  }
  return CR_NO_SUCH_DEVNODE;
}

// A USB device is the top of the simulated tree: it has no parent to give.
CONFIGRET SIM_SERVED(CM_Get_Parent)(PDEVINST parent, DEVINST devInst, ULONG flags) {
  if (parent == nullptr) {
    return CR_INVALID_POINTER;
  }
  *parent = 0;
  if (flags != 0) {
    return CR_INVALID_FLAG;
  }
  const sim::DeviceNode* node = nullptr;
  if (const CONFIGRET found = sim::nodeOf(devInst, node); found != CR_SUCCESS) {
    return found;
  }
  const sim::DeviceTree& tree = sim::deviceTree();
  if (!node->parent || *node->parent >= tree.nodes.size() || !tree.nodes[*node->parent].present) {
    return CR_NO_SUCH_DEVNODE;
  }
  *parent = static_cast<DEVINST>(*node->parent + 1);
  return CR_SUCCESS;
}

// The length of the instance id in characters, its NUL left out; 0 for a device not found.
CONFIGRET SIM_SERVED(CM_Get_Device_ID_Size)(PULONG length, DEVINST devInst, ULONG flags) {
  if (length == nullptr) {
    return CR_INVALID_POINTER;
  }
  *length = 0;
  if (flags != 0) {
    return CR_INVALID_FLAG;
  }
  const sim::DeviceNode* node = nullptr;
  if (const CONFIGRET found = sim::nodeOf(devInst, node); found != CR_SUCCESS) {
    return found;
  }
  *length = static_cast<ULONG>(node->instanceId.size());
  return CR_SUCCESS;
}

// As much of the id as the buffer holds, then a NUL if there is room. Windows succeeds when the id
// fills the buffer exactly, leaving the NUL out; only a buffer shorter than the id is too small.
CONFIGRET SIM_SERVED(CM_Get_Device_IDW)(DEVINST devInst, PWCHAR buffer, ULONG bufferLength,
                                        ULONG flags) {
  if (buffer == nullptr) {
    return CR_INVALID_POINTER;
  }
  if (flags != 0) {
    return CR_INVALID_FLAG;
  }
  const sim::DeviceNode* node = nullptr;
  if (const CONFIGRET found = sim::nodeOf(devInst, node); found != CR_SUCCESS) {
    return found;
  }
  const std::u16string& id = node->instanceId;
  const std::size_t copied = std::min<std::size_t>(id.size(), bufferLength);
  std::memcpy(buffer, id.data(), copied * sizeof(char16_t));
  if (bufferLength > id.size()) {
    buffer[id.size()] = 0;
  }
  return bufferLength < id.size() ? CR_BUFFER_SMALL : CR_SUCCESS;
}

// A node's instance id, and a USB device's location paths: the one path of its port chain, as a
// string list. Other nodes have no location path.
CONFIGRET SIM_SERVED(CM_Get_DevNode_PropertyW)(DEVINST devInst, const DEVPROPKEY* propertyKey,
                                               DEVPROPTYPE* propertyType, PBYTE propertyBuffer,
                                               PULONG propertyBufferSize, ULONG flags) {
  if (const CONFIGRET checked = sim::checkPropertyCall(propertyKey, propertyType, propertyBuffer,
                                                       propertyBufferSize, flags);
      checked != CR_SUCCESS) {
    return checked;
  }
  const sim::DeviceNode* node = nullptr;
  if (const CONFIGRET found = sim::nodeOf(devInst, node); found != CR_SUCCESS) {
    return found;
  }
  if (sim::sameKey(*propertyKey, DEVPKEY_Device_InstanceId)) {
    return sim::answerProperty(DEVPROP_TYPE_STRING, sim::withNul(node->instanceId), propertyType,
                               propertyBuffer, propertyBufferSize);
  }
  if (sim::sameKey(*propertyKey, DEVPKEY_Device_LocationPaths) && !node->locationPath.empty()) {
    return sim::answerProperty(DEVPROP_TYPE_STRING_LIST,
                               sim::withNul(sim::withNul(node->locationPath)), propertyType,
                               propertyBuffer, propertyBufferSize);
  }
  return CR_NO_SUCH_VALUE;
}

SIM_IMPORT_SLOT(CM_Get_Device_Interface_PropertyW);
SIM_IMPORT_SLOT(CM_Locate_DevNodeW);
SIM_IMPORT_SLOT(CM_Get_Parent);
SIM_IMPORT_SLOT(CM_Get_Device_ID_Size);
SIM_IMPORT_SLOT(CM_Get_Device_IDW);
SIM_IMPORT_SLOT(CM_Get_DevNode_PropertyW);

}  // extern "C"
