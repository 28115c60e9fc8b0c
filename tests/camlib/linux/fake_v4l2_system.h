// A PC's video4linux nodes and sysfs as the Linux media backend sees them, made up for tests: the
// USB descriptors of UVC cameras, capture and metadata nodes, product strings, extension-unit
// controls of fixed lengths in front of the camera's own, V4L2 controls with ranges and automatic
// modes, nodes that refuse to open or go away, and faults on any call.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim_video_camera.h"
#include "v4l2_system.h"

using Bytes = std::vector<std::uint8_t>;

enum class FakeV4l2Call {
  ReadSysfsFile,
  OpenDevice,
  QueryCapability,
  QueryExtensionControl,
  QueryControl,
  GetControl,
  SetControl,
};

// A V4L2 control as uvcvideo presents it: values are clamped to the range and rounded to the step.
struct FakeV4l2Control {
  std::int32_t minimum;
  std::int32_t maximum;
  std::int32_t step;
  std::int32_t defaultValue;
  std::int32_t value;
  std::uint32_t type = V4L2_CTRL_TYPE_INTEGER;
  std::uint32_t flags = 0;  // V4L2_CTRL_FLAG_*
  // The automatic mode: while that control is on, this one is inactive and refuses writes with
  // EACCES, as recent kernels do.
  std::uint32_t automatic = 0;
};

struct FakeVideoNode {
  std::uint32_t deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
  bool reportsDeviceCaps = true;  // false: a kernel before 3.3, without device_caps
  std::string card;               // before uvcvideo's cut to 31 bytes
  // The USB device's sysfs files as the kernel writes them; none for a node off USB.
  std::optional<std::string> product;  // with its line break
  std::optional<Bytes> descriptors;
  std::optional<std::string> configurationValue = "1\n";
  std::optional<std::string> interfaceNumber = "00\n";  // of the VideoControl interface
  // Extension-unit controls by UVC unit id and selector, with the length each takes. Their values
  // are the camera's: `cameraUnits` maps a unit id to the camera's extension unit.
  std::map<std::pair<std::uint8_t, std::uint8_t>, std::uint16_t> extensionControls;
  std::map<std::uint8_t, unsigned> cameraUnits;
  std::shared_ptr<sim::VideoCamera> camera;
  std::map<std::uint32_t, FakeV4l2Control> controls;
  int openError = 0;       // errno that open() answers, 0 to open
  bool unplugged = false;  // gone from sysfs; every call on an open node fails with ENODEV
};

// One UVCIOC_CTRL_QUERY: the request, its data as sent (a set) or as answered (a get), its result.
struct FakeExtensionQuery {
  std::uint8_t unit;
  std::uint8_t selector;
  std::uint8_t query;
  std::uint16_t size;
  Bytes data;
  int result;
};

// One VIDIOC_QUERYCTRL, G_CTRL or S_CTRL: the control, the value sent or answered, the result.
struct FakeControlCall {
  FakeV4l2Call call;
  std::uint32_t id;
  std::int32_t value;
  int result;
};

class FakeV4l2System final : public V4l2System {
 public:
  std::map<unsigned, FakeVideoNode> nodes;
  std::map<FakeV4l2Call, int> faults;  // every call of the kind fails with this errno
  std::vector<FakeExtensionQuery> extensionQueries;
  std::vector<FakeControlCall> controlCalls;
  std::map<int, unsigned> openDevices;  // device number: node
  std::uint64_t sleptMs = 0;

  std::vector<unsigned> videoNodes() override;
  std::optional<std::string> readSysfsFile(const std::string& path) override;
  int openDevice(const std::string& path) override;
  void closeDevice(int device) override { openDevices.erase(device); }
  int queryCapability(int device, v4l2_capability& capability) override;
  int queryExtensionControl(int device, uvc_xu_control_query& query) override;
  int queryControl(int device, v4l2_queryctrl& control) override;
  int getControl(int device, v4l2_control& control) override;
  int setControl(int device, v4l2_control& control) override;
  void sleepMilliseconds(std::uint32_t milliseconds) override { sleptMs += milliseconds; }

  // The calls of one kind, in order.
  std::vector<FakeControlCall> controlCallsOf(FakeV4l2Call call) const;

 private:
  // The node open as `device`, or the errno with which a call on it fails.
  FakeVideoNode* nodeOf(int device, FakeV4l2Call call, int& error);
  int controlCall(int device, FakeV4l2Call call, std::uint32_t id, FakeV4l2Control*& control);
  int nextDevice_ = 3;
};

// --- USB descriptors of a UVC video function ------------------------------------------------

// The extension units' codes, as their descriptors carry them.
extern const Bytes FirstUnitCode;   // {ACB6890C-A3B3-4060-8B9A-DF34EEF39A2E}
extern const Bytes SecondUnitCode;  // {F4098694-133A-A14E-B4A0-63D279BF3074}

Bytes cameraTerminal(std::uint8_t id);
// With the controls of the ten image properties and automatic white balance.
Bytes processingUnit(std::uint8_t id, std::uint8_t source);
Bytes selectorUnit(std::uint8_t id, std::uint8_t firstSource, std::uint8_t secondSource);
Bytes extensionUnit(std::uint8_t id, const Bytes& code, std::uint8_t source, std::uint8_t controls);
Bytes outputTerminal(std::uint8_t id, std::uint16_t type, std::uint8_t source);
inline constexpr std::uint16_t StreamingTerminal = 0x0101;  // TT_STREAMING
inline constexpr std::uint16_t DisplayTerminal = 0x0301;    // OTT_DISPLAY

// The camera's video function: camera terminal 1, processing unit 2, the first extension unit
// with id 4, the second with id 3, the streaming output terminal 5.
std::vector<Bytes> cameraEntities();
Bytes firstExtensionUnit(std::uint8_t source);   // id 4, 31 controls
Bytes secondExtensionUnit(std::uint8_t source);  // id 3, 8 controls

// Everything the USB device's `descriptors` file holds for a video function whose VideoControl
// interface (number 0) has `entities` after its header: the device descriptor, the configuration
// with its interface association, the VideoControl interface with its interrupt endpoint, and the
// VideoStreaming interface (number 1) with an MJPEG format and an isochronous alternate setting.
Bytes usbDescriptors(const std::vector<Bytes>& entities);
// A device with several such functions, each with its own pair of interfaces (0 and 1, 2 and 3,
// ...), as a camera with two sensors has.
Bytes usbDescriptors(const std::vector<std::vector<Bytes>>& functions);

// --- Nodes ----------------------------------------------------------------------------------

// The camera's capture node, under the USB product string `product`.
FakeVideoNode fakeCamera(const std::string& product = "Corvantis Optiqon");
// Another UVC webcam's capture node: no extension unit, brightness as its one control.
FakeVideoNode fakeWebcam(const std::string& product);
// The metadata node uvcvideo makes beside a capture node, on the same USB device.
FakeVideoNode metadataNodeOf(const FakeVideoNode& capture);
