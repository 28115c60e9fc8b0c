// A record of a connected camera: the video capture devices the platform listed, the attribute
// store that asked for them, and the camera's media source. Every command reaches the camera
// through `mediaSource`; null means no camera. The library keeps one for its one camera
// (cameraConnection); the camera API one per open camera.
#pragma once

#include <string>
#include <vector>

#include "media_services.h"

struct CameraConnection {
  IMFAttributes* attributeStore;
  IMFActivate** devices;  // allocated by the platform, freed with CoTaskMemFree
  UINT32 deviceCount;
  WCHAR* friendlyName;  // the name read last, allocated by the platform
  IMFMediaSource* mediaSource;
  IMFSourceReader* sourceReader;
};

// The library's connection, which Initialize fills.
CameraConnection& cameraConnection();

// Releases everything the record holds and leaves it empty.
void releaseCameraConnection(CameraConnection& connection);

// The steps of opening the camera, which fill the record: the attribute store and the list of
// video capture devices; the devices' names, converted into `names`, with the index of the last
// one that is the camera (-1 when none is); the activation of that device. Without a record,
// each fills the library's connection.
namespace UvcExtension {
void GetVideoDevices(CameraConnection& connection);
int GetVideoDeviceFriendlyNames(CameraConnection& connection, std::vector<std::string>& names);
void InitVideoDevice(CameraConnection& connection, UINT32 device);
void GetVideoDevices();
int GetVideoDeviceFriendlyNames(std::vector<std::string>& names);
void InitVideoDevice(UINT32 device);
}  // namespace UvcExtension

// The camera's video capture device is recognised by this exact friendly name.
inline constexpr const char* CameraFriendlyName = "Corvantis Optiqon";
