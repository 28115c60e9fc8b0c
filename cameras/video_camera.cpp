// The camera API's video side over the library's own steps: the same device listing, activation
// and extension-unit transport, for the capture device of one camera.
#include "video_camera.h"

#include <mutex>

#include "camera_connection.h"
#include "com_ptr.h"
#include "maintenance_commands.h"
#include "uvc_extension.h"

namespace cameras {
namespace {

// COM on the calling thread, once, for as long as the thread lives (the platform lets go of it
// when the thread ends); Media Foundation once for the process. A thread the host already
// entered into an apartment keeps it.
void enterMediaServices() {
  thread_local const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  static_cast<void>(com);
  static std::once_flag started;
  std::call_once(started, [] { MFStartup(MF_VERSION, MFSTARTUP_FULL); });
}

std::u16string symbolicLinkOf(IMFActivate* device) {
  WCHAR* link = nullptr;
  UINT32 length = 0;
  std::u16string text;
  if (device != nullptr &&
      device->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK, &link,
                                 &length) == S_OK &&
      link != nullptr) {
    for (const WCHAR* c = link; *c != 0; ++c) {
      text += static_cast<char16_t>(*c);
    }
  }
  CoTaskMemFree(link);
  return text;
}

// The devices bearing the camera's name, by their index in the connection's list.
template <typename Visit>
void forEachCameraDevice(CameraConnection& connection, Visit visit) {
  UvcExtension::GetVideoDevices(connection);
  std::vector<std::string> names;
  UvcExtension::GetVideoDeviceFriendlyNames(connection, names);
  for (UINT32 i = 0; i < connection.deviceCount && i < names.size(); ++i) {
    if (names[i] == CameraFriendlyName && !visit(i, symbolicLinkOf(connection.devices[i]))) {
      return;
    }
  }
}

constexpr HRESULT NoAmplifier = E_NOINTERFACE;

}  // namespace

bool isGone(std::int32_t result) {
  return result == ErrorDeviceNotConnected;
}

struct VideoCamera::Connection {
  CameraConnection record{};
  ~Connection() { releaseCameraConnection(record); }

  // The amplifier of the camera's image properties.
  HRESULT amplifier(ComPtr<IAMVideoProcAmp>& amplifier) {
    const HRESULT result = record.mediaSource->QueryInterface(IID_IAMVideoProcAmp, amplifier.out());
    return FAILED(result) ? result : amplifier ? S_OK : NoAmplifier;
  }

  HRESULT control(int number, ULONG flags, void* data, std::size_t length) {
    const ExtendedControl control = extendedControlOf(number);
    ULONG returned = 0;
    return UvcExtension::SetGetExtensionUnit(record.mediaSource, control.unit, control.node,
                                             control.selector, flags, data,
                                             static_cast<ULONG>(length), &returned);
  }

  HRESULT maintenance(ULONG selector, ULONG flags, std::uint8_t (&bytes)[2]) {
    ULONG returned = 0;
    return UvcExtension::SetGetExtensionUnit(record.mediaSource, ExtensionUnitGuidNode2,
                                             ExtensionUnitNode2, selector, flags, bytes,
                                             sizeof bytes, &returned);
  }
};

std::vector<VideoSide> listVideoSides() {
  enterMediaServices();
  CameraConnection connection{};
  std::vector<VideoSide> sides;
  forEachCameraDevice(connection, [&](UINT32, std::u16string link) {
    VideoSide side;
    side.usb = usbDeviceOfVideoDevice(link);
    side.link = std::move(link);
    sides.push_back(std::move(side));
    return true;
  });
  releaseCameraConnection(connection);
  return sides;
}

VideoCamera::VideoCamera(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection)) {}

VideoCamera::~VideoCamera() = default;

std::unique_ptr<VideoCamera> VideoCamera::open(const std::u16string& link, std::int32_t& result) {
  enterMediaServices();
  auto connection = std::make_unique<Connection>();
  result = ErrorDeviceNotConnected;  // until the device is found among those listed
  forEachCameraDevice(connection->record, [&](UINT32 index, const std::u16string& listed) {
    if (listed != link) {
      return true;
    }
    UvcExtension::InitVideoDevice(connection->record, index);
    result = connection->record.mediaSource != nullptr ? S_OK : E_FAIL;
    return false;
  });
  if (result != S_OK) {
    return nullptr;
  }
  return std::unique_ptr<VideoCamera>(new VideoCamera(std::move(connection)));
}

std::int32_t VideoCamera::range(int property, PropertyRange& range) {
  ComPtr<IAMVideoProcAmp> amplifier;
  HRESULT result = connection_->amplifier(amplifier);
  if (result != S_OK) {
    return result;
  }
  LONG minimum = 0, maximum = 0, step = 0, standard = 0, capabilities = 0;
  result = amplifier->GetRange(property, &minimum, &maximum, &step, &standard, &capabilities);
  if (SUCCEEDED(result)) {
    range = {minimum,
             maximum,
             step,
             standard,
             (capabilities & VideoProcAmp_Flags_Auto) != 0,
             (capabilities & VideoProcAmp_Flags_Manual) != 0};
  }
  return result;
}

std::int32_t VideoCamera::get(int property, long& value, bool& automatic) {
  ComPtr<IAMVideoProcAmp> amplifier;
  HRESULT result = connection_->amplifier(amplifier);
  if (result != S_OK) {
    return result;
  }
  LONG read = 0;
  LONG flags = 0;
  result = amplifier->Get(property, &read, &flags);
  if (SUCCEEDED(result)) {
    value = read;
    automatic = (flags & VideoProcAmp_Flags_Auto) != 0;
  }
  return result;
}

std::int32_t VideoCamera::set(int property, long value, bool automatic) {
  ComPtr<IAMVideoProcAmp> amplifier;
  const HRESULT result = connection_->amplifier(amplifier);
  if (result != S_OK) {
    return result;
  }
  return amplifier->Set(property, static_cast<LONG>(value),
                        automatic ? VideoProcAmp_Flags_Auto : VideoProcAmp_Flags_Manual);
}

std::int32_t VideoCamera::readControl(int number, std::uint8_t* bytes, std::size_t length) {
  return connection_->control(number, ReadControlFlags, bytes, length);
}

std::int32_t VideoCamera::writeControl(int number, const std::uint8_t* bytes, std::size_t length) {
  // The request's buffer is the caller's; a write only reads it.
  return connection_->control(number, WriteControlFlags, const_cast<std::uint8_t*>(bytes), length);
}

std::int32_t VideoCamera::writeRegister(std::uint8_t address, std::uint8_t value) {
  std::uint8_t request[2] = {address, value};
  return connection_->maintenance(maintenance::RegisterSelector, WriteControlFlags, request);
}

// The register control answers with the address last written and that register's value.
std::int32_t VideoCamera::readRegister(std::uint8_t& value) {
  std::uint8_t reply[2] = {0, 0};
  const HRESULT result =
      connection_->maintenance(maintenance::RegisterSelector, ReadControlFlags, reply);
  if (result == S_OK) {
    value = reply[1];
  }
  return result;
}

std::int32_t VideoCamera::sendPassword(std::uint8_t first, std::uint8_t second, bool& accepted) {
  std::uint8_t request[2] = {first, second};
  HRESULT result =
      connection_->maintenance(maintenance::PasswordSelector, WriteControlFlags, request);
  if (result != S_OK) {
    return result;
  }
  std::uint8_t state[2] = {0, 0};
  result = connection_->maintenance(maintenance::PasswordSelector, ReadControlFlags, state);
  accepted = result == S_OK && state[0] == maintenance::PasswordAccepted;
  return result;
}

std::int32_t VideoCamera::saveSettings() {
  std::uint8_t request[2] = {maintenance::SettingsRegister, maintenance::SaveSettingsCommand};
  return connection_->maintenance(maintenance::RegisterSelector, WriteControlFlags, request);
}

std::int32_t VideoCamera::resetSettings() {
  std::uint8_t request[2] = {maintenance::SettingsRegister, maintenance::ResetSettingsCommand};
  return connection_->maintenance(maintenance::RegisterSelector, WriteControlFlags, request);
}

}  // namespace cameras
