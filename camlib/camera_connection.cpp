#include "camera_connection.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "com_ptr.h"
#include "failure_report.h"
#include "library_messages.h"

namespace {

constexpr std::size_t NameSlotSize = 260;  // bytes, with the terminating zero

template <typename Interface>
void releaseAndClear(Interface*& pointer) {
  if (pointer != nullptr) {
    pointer->Release();
    pointer = nullptr;
  }
}

// The next code point of a UTF-16 string; an unpaired surrogate stands for itself and will not
// convert.
char32_t nextCodePoint(const WCHAR*& text) {
  const char32_t unit = static_cast<char16_t>(*text++);
  if (unit >= 0xD800 && unit <= 0xDBFF && *text >= 0xDC00 && *text <= 0xDFFF) {
    const char32_t low = static_cast<char16_t>(*text++);
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  return unit;
}

// A device name as narrow text in the process's current locale. A character the locale cannot
// write becomes '?', and a name longer than a slot is cut at a character boundary: every device
// is listed, none is dropped.
std::string narrowDeviceName(const WCHAR* name) {
  std::string narrow;
  if (name == nullptr) {
    return narrow;
  }
  std::mbstate_t state{};
  while (*name != 0) {
    const char32_t codePoint = nextCodePoint(name);
    char bytes[MB_LEN_MAX];
    std::size_t length = static_cast<std::size_t>(-1);
    if (codePoint <= static_cast<char32_t>(WCHAR_MAX)) {
      length = std::wcrtomb(bytes, static_cast<wchar_t>(codePoint), &state);
    }
    if (length == static_cast<std::size_t>(-1)) {
      state = std::mbstate_t{};
      bytes[0] = '?';
      length = 1;
    }
    if (narrow.size() + length > NameSlotSize - 1) {
      break;
    }
    narrow.append(bytes, length);
  }
  return narrow;
}

}  // namespace

void releaseCameraConnection(CameraConnection& c) {
  for (UINT32 i = 0; i < c.deviceCount && c.devices != nullptr; ++i) {
    releaseAndClear(c.devices[i]);
  }
  CoTaskMemFree(c.devices);
  c.devices = nullptr;
  c.deviceCount = 0;
  releaseAndClear(c.attributeStore);
  // The reader holds the source: it goes first.
  releaseAndClear(c.sourceReader);
  releaseAndClear(c.mediaSource);
  CoTaskMemFree(c.friendlyName);
  c.friendlyName = nullptr;
}

void UvcExtension::GetVideoDevices(CameraConnection& connection) {
  HRESULT result = MFCreateAttributes(&connection.attributeStore, 1);
  result = objectResult(result, connection.attributeStore);
  if (result != S_OK) {
    reportFailure(library_messages::DevicesOperation, library_messages::CreateAttributeStore,
                  result);
    return;
  }
  result = connection.attributeStore->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                                              MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID);
  if (result != S_OK) {
    reportFailure(library_messages::DevicesOperation, library_messages::SelectVideoCapture, result);
    return;
  }
  result =
      MFEnumDeviceSources(connection.attributeStore, &connection.devices, &connection.deviceCount);
  // No list is an empty one only when it counts no device.
  if (connection.deviceCount > 0) {
    result = objectResult(result, connection.devices);
  }
  if (result != S_OK) {
    reportFailure(library_messages::DevicesOperation, library_messages::EnumerateDevices, result);
    // Whatever a failed enumeration left behind is not a device list.
    CoTaskMemFree(connection.devices);
    connection.devices = nullptr;
    connection.deviceCount = 0;
  }
  if (connection.devices == nullptr) {
    connection.deviceCount = 0;  // no list, whatever count came with it
  }
}

// Of several devices with the camera's name, the last one listed is taken.
int UvcExtension::GetVideoDeviceFriendlyNames(CameraConnection& connection,
                                              std::vector<std::string>& names) {
  int match = -1;
  names.assign(connection.deviceCount, std::string());
  for (UINT32 i = 0; i < connection.deviceCount; ++i) {
    CoTaskMemFree(connection.friendlyName);
    connection.friendlyName = nullptr;
    IMFActivate* device = connection.devices[i];
    UINT32 length = 0;
    HRESULT result = E_POINTER;
    if (device != nullptr) {
      result = device->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME,
                                          &connection.friendlyName, &length);
      result = objectResult(result, connection.friendlyName);
    }
    if (result != S_OK) {
      reportFailure(library_messages::NamesOperation, library_messages::GetFriendlyName, result);
      continue;
    }
    names[i] = narrowDeviceName(connection.friendlyName);
    if (std::strcmp(names[i].c_str(), CameraFriendlyName) == 0) {
      match = static_cast<int>(i);
    }
  }
  return match;
}

void UvcExtension::InitVideoDevice(CameraConnection& connection, UINT32 device) {
  HRESULT result = connection.devices[device]->ActivateObject(
      IID_IMFMediaSource, reinterpret_cast<void**>(&connection.mediaSource));
  result = objectResult(result, connection.mediaSource);
  if (result != S_OK) {
    reportFailure(library_messages::ActivationOperation, library_messages::ActivateDevice, result);
    return;
  }
  result = MFCreateSourceReaderFromMediaSource(connection.mediaSource, connection.attributeStore,
                                               &connection.sourceReader);
  result = objectResult(result, connection.sourceReader);
  if (result != S_OK) {
    reportFailure(library_messages::ActivationOperation, library_messages::CreateSourceReader,
                  result);
  }
}
