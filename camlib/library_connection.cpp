#include <cstdio>
#include <string>
#include <vector>

#include "Brenwick.h"
#include "camera_connection.h"
#include "export_lock.h"
#include "library_console.h"
#include "library_messages.h"
#include "uvc_extension.h"

// The library's one camera: the connection Initialize opens, which every export reaches the
// camera through.
namespace {

constexpr DWORD ExitWaitMs = 5000;

CameraConnection connection{};

void printNotFound(const std::vector<std::string>& names) {
  printToConsole(library_messages::CameraNotFound);
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::fprintf(libraryConsole(), library_messages::DeviceListLine, static_cast<int>(i),
                 names[i].c_str());
  }
  std::fflush(libraryConsole());
}

}  // namespace

CameraConnection& cameraConnection() {
  return connection;
}

void UvcExtension::GetVideoDevices() {
  GetVideoDevices(connection);
}

int UvcExtension::GetVideoDeviceFriendlyNames(std::vector<std::string>& names) {
  return GetVideoDeviceFriendlyNames(connection, names);
}

void UvcExtension::InitVideoDevice(UINT32 device) {
  InitVideoDevice(connection, device);
}

HRESULT UvcExtension::SetGetExtensionUnit(GUID unit, DWORD node, ULONG selector, ULONG flags,
                                          void* data, ULONG length, ULONG* bytesReturned) {
  return SetGetExtensionUnit(connection.mediaSource, unit, node, selector, flags, data, length,
                             bytesReturned);
}

std::vector<std::uint8_t> UvcExtension::GetExtensionUnit(GUID unit, DWORD node, ULONG selector,
                                                         std::int32_t length) {
  std::vector<std::uint8_t> bytes(length > 0 ? static_cast<std::size_t>(length) : 0, 0);
  ULONG returned = 0;
  SetGetExtensionUnit(unit, node, selector, ReadControlFlags,
                      bytes.empty() ? nullptr : bytes.data(), static_cast<ULONG>(bytes.size()),
                      &returned);
  return bytes;
}

bool Initialize() {
  const auto call = oneExportAtATime();
  // Called again without Deinitialize, the library lets go of the camera it held first.
  releaseCameraConnection(connection);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  MFStartup(MF_VERSION, MFSTARTUP_FULL);
  UvcExtension::GetVideoDevices();
  std::vector<std::string> names;
  const int match = UvcExtension::GetVideoDeviceFriendlyNames(names);
  if (match >= 0) {
    UvcExtension::InitVideoDevice(static_cast<UINT32>(match));
    return true;
  }
  printNotFound(names);
  Deinitialize();
  return false;
}

void Deinitialize() {
  const auto call = oneExportAtATime();
  releaseCameraConnection(connection);
  printToConsole(library_messages::Exiting);
  Sleep(ExitWaitMs);
}
