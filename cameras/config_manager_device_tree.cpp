// The device tree from the configuration manager, as Windows keeps it.
//
// Windows gives each device a device instance, named by its instance id
// (ENUMERATOR\HARDWARE\INSTANCE), with a parent: a camera is a composite USB device,
// USB\VID_1BBD&PID_024C\K3M51-0001, and each of its interfaces a function of it,
// USB\VID_1BBD&PID_024C&MI_00\..., under which the HID class puts a node for each collection,
// HID\VID_1BBD&PID_024C&MI_01\.... The paths the other seams hand out are device interfaces of
// those instances: a HID collection's for the HID interface, the video function's for the capture
// device (its symbolic link). So both paths lead, through their instances and the parents above
// them, to the one USB device node, the first USB\ node without &MI_: for a composite device the
// device above its functions, for a device with one function the device itself.
//
// The configuration manager answers in the buffers it is handed, saying how much it needs when
// one is too small; every size it gives is bounded here before anything is allocated, and every
// failure means no device.
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config_manager_services.h"
#include "device_tree.h"

namespace cameras {
namespace {

// A HID collection's instance is two levels below its USB device, a capture device's one; the bound
// ends a walk through a tree that is not as Windows builds it (a parent that loops back).
constexpr int MaxLevels = 16;
// A location path is some tens of characters, and a device has one or two: far below this.
constexpr ULONG MaxPropertyBytes = 16 * 1024;
// A property can grow between the call that sizes it and the call that reads it, as a device is
// enumerated again; it is asked again this many times at most.
constexpr int MaxPropertyReads = 3;

struct Property {
  DEVPROPTYPE type = 0;
  std::vector<BYTE> bytes;
};

// A property with the configuration manager's protocol: asked first with no buffer, which it
// answers CR_BUFFER_SMALL and the size, then into a buffer of that size. `ask` makes one call.
template <typename Ask>
CONFIGRET readProperty(Ask ask, Property& property) {
  ULONG size = 0;
  for (int read = 0; read < MaxPropertyReads; ++read) {
    property.bytes.assign(size, 0);
    ULONG length = size;
    const CONFIGRET result =
        ask(&property.type, size == 0 ? nullptr : property.bytes.data(), &length);
    if (result == CR_SUCCESS) {
      if (length > size) {
        return CR_FAILURE;
      }
      property.bytes.resize(length);
      return CR_SUCCESS;
    }
    if (result != CR_BUFFER_SMALL) {
      return result;
    }
    if (length <= size || length > MaxPropertyBytes) {
      return CR_FAILURE;
    }
    size = length;
  }
  return CR_FAILURE;
}

// The UTF-16 text of a property, up to its first NUL, from the bytes as the platform lays them.
std::u16string textOf(const std::vector<BYTE>& bytes) {
  if (bytes.size() < sizeof(char16_t)) {
    return {};
  }
  std::u16string text(bytes.size() / sizeof(char16_t), u'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * sizeof(char16_t));
  return text.substr(0, text.find(u'\0'));
}

std::optional<std::u16string> instanceIdOfInterface(const std::u16string& path) {
  Property property;
  const CONFIGRET result = readProperty(
      [&](DEVPROPTYPE* type, PBYTE buffer, PULONG size) {
        return CM_Get_Device_Interface_PropertyW(reinterpret_cast<LPCWSTR>(path.c_str()),
                                                 &DEVPKEY_Device_InstanceId, type, buffer, size, 0);
      },
      property);
  if (result != CR_SUCCESS || property.type != DEVPROP_TYPE_STRING) {
    return std::nullopt;
  }
  std::u16string id = textOf(property.bytes);
  if (id.empty() || id.size() >= MAX_DEVICE_ID_LEN) {
    return std::nullopt;
  }
  return id;
}

std::optional<DEVINST> devnodeOf(std::u16string instanceId) {
  DEVINST node = 0;
  // The id is taken unconst, though never written.
  if (CM_Locate_DevNodeW(&node, reinterpret_cast<DEVINSTID_W>(instanceId.data()),
                         CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) {
    return std::nullopt;
  }
  return node;
}

std::optional<std::u16string> instanceIdOf(DEVINST node) {
  ULONG length = 0;
  if (CM_Get_Device_ID_Size(&length, node, 0) != CR_SUCCESS || length == 0 ||
      length >= MAX_DEVICE_ID_LEN) {
    return std::nullopt;
  }
  // One more for the NUL, which Windows leaves out, with success, when the id fills the buffer.
  std::u16string id(length + 1, u'\0');
  if (CM_Get_Device_IDW(node, reinterpret_cast<PWCHAR>(id.data()), length + 1, 0) != CR_SUCCESS) {
    return std::nullopt;
  }
  return id.substr(0, id.find(u'\0'));
}

bool sameLetters(std::u16string_view text, std::u16string_view upper) {
  if (text.size() != upper.size()) {
    return false;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i] >= u'a' && text[i] <= u'z' ? text[i] - u'a' + u'A' : text[i];
    if (unit != upper[i]) {
      return false;
    }
  }
  return true;
}

// Whether an instance id is a USB device's rather than one of its functions': enumerated by USB,
// and no interface number (&MI_nn) in its hardware part. Windows spells ids in capitals, but
// compares them without case, and so does this.
bool isUsbDevice(std::u16string_view instanceId) {
  constexpr std::u16string_view Enumerator = u"USB\\";
  constexpr std::u16string_view InterfaceMark = u"&MI_";
  if (!sameLetters(instanceId.substr(0, Enumerator.size()), Enumerator)) {
    return false;
  }
  const std::u16string_view rest = instanceId.substr(Enumerator.size());
  const std::u16string_view hardware = rest.substr(0, rest.find(u'\\'));
  if (hardware.empty()) {
    return false;
  }
  for (std::size_t i = 0; i + InterfaceMark.size() <= hardware.size(); ++i) {
    if (sameLetters(hardware.substr(i, InterfaceMark.size()), InterfaceMark)) {
      return false;
    }
  }
  return true;
}

// Instance ids and location paths are printable ASCII on Windows; anything else is no answer of
// the platform's.
std::optional<std::string> asciiOf(std::u16string_view text) {
  std::string ascii;
  for (char16_t unit : text) {
    if (unit < 0x20 || unit > 0x7E) {
      return std::nullopt;
    }
    ascii += static_cast<char>(unit);
  }
  return ascii;
}

// Where the USB device is plugged in: the first of its location paths, the port chain from the PCI
// root. A device without one (a driver that gives none) is known by its instance id, which for a
// device without a serial number Windows makes from its port too.
std::optional<std::string> locationOf(DEVINST device, std::u16string_view instanceId) {
  Property property;
  const CONFIGRET result = readProperty(
      [&](DEVPROPTYPE* type, PBYTE buffer, PULONG size) {
        return CM_Get_DevNode_PropertyW(device, &DEVPKEY_Device_LocationPaths, type, buffer, size,
                                        0);
      },
      property);
  if (result == CR_NO_SUCH_VALUE) {
    return asciiOf(instanceId);
  }
  if (result != CR_SUCCESS || property.type != DEVPROP_TYPE_STRING_LIST) {
    return std::nullopt;
  }
  const std::u16string first = textOf(property.bytes);
  return first.empty() ? asciiOf(instanceId) : asciiOf(first);
}

// The USB device above the instance of the device interface at `path`.
std::optional<UsbDevice> usbDeviceOfInterface(const std::u16string& path) {
  // The platform reads the path up to its first NUL: a path with one inside would name another.
  if (path.empty() || path.find(u'\0') != std::u16string::npos) {
    return std::nullopt;
  }
  const std::optional<std::u16string> interfaceInstance = instanceIdOfInterface(path);
  std::optional<DEVINST> node = interfaceInstance ? devnodeOf(*interfaceInstance) : std::nullopt;
  for (int level = 0; node && level < MaxLevels; ++level) {
    const std::optional<std::u16string> id = instanceIdOf(*node);
    if (!id) {
      return std::nullopt;
    }
    if (isUsbDevice(*id)) {
      const std::optional<std::string> location = locationOf(*node, *id);
      return location ? std::optional<UsbDevice>(UsbDevice{*location}) : std::nullopt;
    }
    DEVINST parent = 0;
    node = CM_Get_Parent(&parent, *node, 0) == CR_SUCCESS ? std::optional<DEVINST>(parent)
                                                          : std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::optional<UsbDevice> usbDeviceOfHidInterface(const std::u16string& interfacePath) {
  return usbDeviceOfInterface(interfacePath);
}

std::optional<UsbDevice> usbDeviceOfVideoDevice(const std::u16string& devicePath) {
  return usbDeviceOfInterface(devicePath);
}

}  // namespace cameras
