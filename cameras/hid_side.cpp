// The HID side of the camera list: the upgrader's discovery, which opens every HID interface, and
// the serial number the camera gives on its own.
#include <array>
#include <string_view>

#include "camera_sides.h"
#include "hid_discovery.h"
#include "run_modes.h"
#include "text_encoding.h"

namespace cameras {
namespace {

// A USB string descriptor holds at most 126 UTF-16 characters; one more for the terminator the
// HID service adds.
constexpr std::size_t SerialCharacters = 127;

std::optional<std::string> serialNumberOf(HANDLE hidInterface) {
  std::array<WCHAR, SerialCharacters> buffer{};
  if (!HidD_GetSerialNumberString(hidInterface, buffer.data(),
                                  static_cast<ULONG>(buffer.size() * sizeof(WCHAR)))) {
    return std::nullopt;
  }
  std::size_t length = 0;
  while (length < buffer.size() && buffer[length] != 0) {
    ++length;
  }
  const std::u16string_view text(reinterpret_cast<const char16_t*>(buffer.data()), length);
  if (text.empty()) {
    return std::nullopt;
  }
  return kit::utf8FromUtf16(text);
}

std::u16string pathOf(const WCHAR* path) {
  std::u16string text;
  for (; path != nullptr && *path != 0; ++path) {
    text += static_cast<char16_t>(*path);
  }
  return text;
}

}  // namespace

std::vector<HidSide> listHidSides() {
  HidDeviceRecord* records = nullptr;
  std::uint32_t count = 0;
  enumerateHidDevices(&records, &count);
  std::vector<HidSide> sides;
  for (std::uint32_t i = 0; i < count; ++i) {
    const HidDeviceRecord& record = records[i];
    if (record.handle == INVALID_HANDLE_VALUE || record.attributes.VendorID != CameraVendorId ||
        record.attributes.ProductID != CameraProductId) {
      continue;
    }
    HidSide side;
    side.path = pathOf(record.devicePath);
    side.serial = serialNumberOf(record.handle);
    side.usb = usbDeviceOfHidInterface(side.path);
    sides.push_back(std::move(side));
  }
  releaseHidDeviceList(records, count);
  return sides;
}

}  // namespace cameras
