#include "fake_v4l2_system.h"

#include <linux/usb/video.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>

#include "OptiqonCamera.h"
#include "fake_node_paths.h"

namespace {

constexpr const char* ClassPrefix = "/sys/class/video4linux/video";
constexpr const char* DevicePrefix = "/dev/video";
constexpr std::size_t CardLength = 31;  // uvcvideo's cut of the product string

void copyText(const std::string& text, std::uint8_t* field, std::size_t size) {
  std::memset(field, 0, size);
  std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

void append16(Bytes& bytes, std::uint16_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value));
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void append32(Bytes& bytes, std::uint32_t value) {
  append16(bytes, static_cast<std::uint16_t>(value));
  append16(bytes, static_cast<std::uint16_t>(value >> 16));
}

void put16(Bytes& bytes, std::size_t at, std::size_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// A descriptor: its length, then its type and the rest.
Bytes descriptor(std::uint8_t type, const Bytes& body) {
  Bytes bytes = {static_cast<std::uint8_t>(body.size() + 2), type};
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

constexpr std::uint8_t DeviceType = 0x01;
constexpr std::uint8_t ConfigurationType = 0x02;
constexpr std::uint8_t InterfaceType = 0x04;
constexpr std::uint8_t EndpointType = 0x05;
constexpr std::uint8_t AssociationType = 0x0B;
constexpr std::uint8_t ClassInterfaceType = 0x24;
constexpr std::uint8_t ClassEndpointType = 0x25;

constexpr std::uint8_t VideoClass = 0x0E;
constexpr std::uint8_t VideoControlSubclass = 0x01;
constexpr std::uint8_t VideoStreamingSubclass = 0x02;
constexpr std::uint8_t VideoCollectionSubclass = 0x03;

Bytes classDescriptor(std::uint8_t subtype, const Bytes& body) {
  Bytes withSubtype = {subtype};
  withSubtype.insert(withSubtype.end(), body.begin(), body.end());
  return descriptor(ClassInterfaceType, withSubtype);
}

Bytes interface(std::uint8_t number, std::uint8_t alternate, std::uint8_t endpoints,
                std::uint8_t subclass) {
  return descriptor(InterfaceType, {number, alternate, endpoints, VideoClass, subclass, 0, 0});
}

void append(Bytes& bytes, const Bytes& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
}

// The camera's extension-unit controls and their lengths, by selector, from the camera's public
// header; the device itself gives its register control two bytes (address, value), where the
// library's table gives that number one.
std::map<std::uint8_t, std::uint16_t> unitLengths(int node) {
  std::map<std::uint8_t, std::uint16_t> lengths;
  for (int number = OPTIQON_FIRST_CONTROL; number <= OPTIQON_LAST_CONTROL; ++number) {
    if (OptiqonControlNode(number) == node) {
      lengths[static_cast<std::uint8_t>(OptiqonControlSelector(number))] =
          static_cast<std::uint16_t>(OptiqonControlLength(number));
    }
  }
  if (node == OPTIQON_FIRST_UNIT_NODE) {
    lengths[OPTIQON_REGISTER_CONTROL] = 2;
  }
  return lengths;
}

std::map<std::uint8_t, std::uint16_t> firstUnitLengths() {
  return unitLengths(OPTIQON_FIRST_UNIT_NODE);
}

std::map<std::uint8_t, std::uint16_t> secondUnitLengths() {
  return unitLengths(OPTIQON_SECOND_UNIT_NODE);
}

FakeV4l2Control integerControl(std::int32_t minimum, std::int32_t maximum, std::int32_t step,
                               std::int32_t defaultValue) {
  return {minimum, maximum, step, defaultValue, defaultValue};
}

}  // namespace

// --- The system -----------------------------------------------------------------------------

std::vector<unsigned> FakeV4l2System::videoNodes() {
  std::vector<unsigned> listed;
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
    if (!it->second.unplugged) {
      listed.push_back(it->first);  // sysfs lists in no particular order
    }
  }
  return listed;
}

std::optional<std::string> FakeV4l2System::readSysfsFile(const std::string& path) {
  unsigned number = 0;
  std::string rest;
  if (faults.count(FakeV4l2Call::ReadSysfsFile) != 0 ||
      !nodeInPath(path, ClassPrefix, number, rest) || nodes.count(number) == 0 ||
      nodes[number].unplugged) {
    return std::nullopt;
  }
  const FakeVideoNode& node = nodes[number];
  if (rest == "/device/../product") {
    return node.product;
  }
  if (rest == "/device/../descriptors" && node.descriptors) {
    return std::string(node.descriptors->begin(), node.descriptors->end());
  }
  if (rest == "/device/../bConfigurationValue" && node.descriptors) {
    return node.configurationValue;
  }
  if (rest == "/device/bInterfaceNumber" && node.descriptors) {
    return node.interfaceNumber;
  }
  return std::nullopt;
}

int FakeV4l2System::openDevice(const std::string& path) {
  unsigned number = 0;
  std::string rest;
  if (!nodeInPath(path, DevicePrefix, number, rest) || !rest.empty() || nodes.count(number) == 0) {
    return -ENOENT;
  }
  if (auto fault = faults.find(FakeV4l2Call::OpenDevice); fault != faults.end()) {
    return -fault->second;
  }
  const FakeVideoNode& node = nodes[number];
  if (node.unplugged) {
    return -ENODEV;
  }
  if (node.openError != 0) {
    return -node.openError;
  }
  openDevices[nextDevice_] = number;
  return nextDevice_++;
}

FakeVideoNode* FakeV4l2System::nodeOf(int device, FakeV4l2Call call, int& error) {
  auto open = openDevices.find(device);
  if (open == openDevices.end()) {
    error = EBADF;
    return nullptr;
  }
  if (auto fault = faults.find(call); fault != faults.end()) {
    error = fault->second;
    return nullptr;
  }
  FakeVideoNode& node = nodes[open->second];
  if (node.unplugged) {
    error = ENODEV;
    return nullptr;
  }
  return &node;
}

int FakeV4l2System::queryCapability(int device, v4l2_capability& capability) {
  int error = 0;
  const FakeVideoNode* node = nodeOf(device, FakeV4l2Call::QueryCapability, error);
  if (node == nullptr) {
    return -error;
  }
  capability = v4l2_capability{};
  copyText("uvcvideo", capability.driver, sizeof capability.driver);
  copyText(node->card.substr(0, CardLength), capability.card, sizeof capability.card);
  copyText("usb-0000:00:14.0-1", capability.bus_info, sizeof capability.bus_info);
  capability.version = 0x00060100;
  if (node->reportsDeviceCaps) {
    // Those of the whole USB device, its capture and metadata nodes together.
    capability.capabilities =
        V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
    capability.device_caps = node->deviceCaps;
  } else {
    capability.capabilities = node->deviceCaps;
  }
  return 0;
}

int FakeV4l2System::queryExtensionControl(int device, uvc_xu_control_query& query) {
  int error = 0;
  FakeVideoNode* node = nodeOf(device, FakeV4l2Call::QueryExtensionControl, error);
  if (node != nullptr) {
    auto control = node->extensionControls.find({query.unit, query.selector});
    auto unit = node->cameraUnits.find(query.unit);
    if (control == node->extensionControls.end() || unit == node->cameraUnits.end()) {
      error = ENOENT;
    } else if (query.size != control->second) {
      error = ENOBUFS;
    } else if (query.query == UVC_SET_CUR) {
      const bool taken =
          node->camera->setControl(unit->second, query.selector, {query.data, query.size}) ==
          sim::VideoCamera::Result::Done;
      error = taken ? 0 : EPIPE;  // the camera stalls a request it refuses
    } else if (query.query == UVC_GET_CUR) {
      const bool answered =
          node->camera->getControl(unit->second, query.selector, {query.data, query.size}) ==
          sim::VideoCamera::Result::Done;
      error = answered ? 0 : EPIPE;
    } else {
      error = EBADRQC;
    }
  }
  Bytes data;
  if (query.data != nullptr) {
    data.assign(query.data, query.data + query.size);
  }
  extensionQueries.push_back(
      {query.unit, query.selector, query.query, query.size, data, error == 0 ? 0 : -error});
  return error == 0 ? 0 : -error;
}

int FakeV4l2System::controlCall(int device, FakeV4l2Call call, std::uint32_t id,
                                FakeV4l2Control*& control) {
  int error = 0;
  FakeVideoNode* node = nodeOf(device, call, error);
  if (node == nullptr) {
    return -error;
  }
  auto found = node->controls.find(id);
  if (found == node->controls.end()) {
    return -EINVAL;
  }
  control = &found->second;
  if (control->automatic != 0 && node->controls.count(control->automatic) != 0 &&
      node->controls[control->automatic].value != 0) {
    return call == FakeV4l2Call::SetControl ? -EACCES : 1;  // 1: inactive
  }
  return 0;
}

int FakeV4l2System::queryControl(int device, v4l2_queryctrl& query) {
  FakeV4l2Control* control = nullptr;
  const int result = controlCall(device, FakeV4l2Call::QueryControl, query.id, control);
  if (result >= 0) {
    const std::uint32_t id = query.id;
    query = v4l2_queryctrl{};
    query.id = id;
    query.type = control->type;
    copyText("Control", query.name, sizeof query.name);
    query.minimum = control->minimum;
    query.maximum = control->maximum;
    query.step = control->step;
    query.default_value = control->defaultValue;
    query.flags = control->flags | (result == 1 ? V4L2_CTRL_FLAG_INACTIVE : 0);
  }
  controlCalls.push_back({FakeV4l2Call::QueryControl, query.id, 0, std::min(result, 0)});
  return std::min(result, 0);
}

int FakeV4l2System::getControl(int device, v4l2_control& request) {
  FakeV4l2Control* control = nullptr;
  const int result =
      std::min(controlCall(device, FakeV4l2Call::GetControl, request.id, control), 0);
  if (result == 0) {
    request.value = control->value;
  }
  controlCalls.push_back({FakeV4l2Call::GetControl, request.id, request.value, result});
  return result;
}

int FakeV4l2System::setControl(int device, v4l2_control& request) {
  FakeV4l2Control* control = nullptr;
  const std::int32_t sent = request.value;
  const int result =
      std::min(controlCall(device, FakeV4l2Call::SetControl, request.id, control), 0);
  if (result == 0) {
    const std::int64_t steps =
        (std::int64_t{sent} - control->minimum + control->step / 2) / control->step;
    const std::int64_t rounded = control->minimum + steps * control->step;
    control->value = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(rounded, control->minimum, control->maximum));
    request.value = control->value;
  }
  controlCalls.push_back({FakeV4l2Call::SetControl, request.id, sent, result});
  return result;
}

std::vector<FakeControlCall> FakeV4l2System::controlCallsOf(FakeV4l2Call call) const {
  std::vector<FakeControlCall> matching;
  for (const FakeControlCall& made : controlCalls) {
    if (made.call == call) {
      matching.push_back(made);
    }
  }
  return matching;
}

// --- Descriptors ----------------------------------------------------------------------------

const Bytes FirstUnitCode = {0x0C, 0x89, 0xB6, 0xAC, 0xB3, 0xA3, 0x60, 0x40,
                             0x8B, 0x9A, 0xDF, 0x34, 0xEE, 0xF3, 0x9A, 0x2E};
const Bytes SecondUnitCode = {0x94, 0x86, 0x09, 0xF4, 0x3A, 0x13, 0x4E, 0xA1,
                              0xB4, 0xA0, 0x63, 0xD2, 0x79, 0xBF, 0x30, 0x74};

Bytes cameraTerminal(std::uint8_t id) {
  Bytes body = {id};
  append16(body, 0x0201);  // ITT_CAMERA
  body.push_back(0);       // no associated terminal
  body.push_back(0);       // no name
  append16(body, 0);       // objective focal length, minimum and maximum, and ocular
  append16(body, 0);
  append16(body, 0);
  body.push_back(3);                 // bControlSize
  append(body, {0x0A, 0x00, 0x00});  // auto-exposure mode, exposure time
  return classDescriptor(0x02, body);
}

Bytes processingUnit(std::uint8_t id, std::uint8_t source) {
  Bytes body = {id, source};
  append16(body, 0);  // no digital multiplier
  body.push_back(2);  // bControlSize
  // Brightness, contrast, hue, saturation, sharpness, gamma, white balance temperature,
  // backlight compensation, gain, power line frequency, automatic white balance temperature.
  append16(body, 0x177F);
  body.push_back(0);  // no name
  return classDescriptor(0x05, body);
}

Bytes selectorUnit(std::uint8_t id, std::uint8_t firstSource, std::uint8_t secondSource) {
  return classDescriptor(0x04, {id, 2, firstSource, secondSource, 0});
}

Bytes extensionUnit(std::uint8_t id, const Bytes& code, std::uint8_t source,
                    std::uint8_t controls) {
  Bytes body = {id};
  append(body, code);
  append(body, {controls, 1, source, 4});  // controls, one input pin, its source, bControlSize
  append32(body, static_cast<std::uint32_t>((std::uint64_t{1} << controls) - 1));
  body.push_back(0);  // no name
  return classDescriptor(0x06, body);
}

Bytes outputTerminal(std::uint8_t id, std::uint16_t type, std::uint8_t source) {
  Bytes body = {id};
  append16(body, type);
  append(body, {0, source, 0});  // no associated terminal, the source, no name
  return classDescriptor(0x03, body);
}

std::vector<Bytes> cameraEntities() {
  return {cameraTerminal(1), processingUnit(2, 1), firstExtensionUnit(2), secondExtensionUnit(4),
          outputTerminal(5, StreamingTerminal, 3)};
}

Bytes firstExtensionUnit(std::uint8_t source) {
  return extensionUnit(4, FirstUnitCode, source, 31);
}

Bytes secondExtensionUnit(std::uint8_t source) {
  return extensionUnit(3, SecondUnitCode, source, 8);
}

namespace {

// A frame of 1280x720 at 30 frames a second.
Bytes frame(std::uint8_t subtype, std::uint32_t bufferSize) {
  constexpr std::uint32_t FrameInterval = 333333;  // 100 ns units
  Bytes body = {1, 0};
  append16(body, 1280);
  append16(body, 720);
  append32(body, bufferSize * 8 * 5);  // bit rates
  append32(body, bufferSize * 8 * 30);
  append32(body, bufferSize);
  append32(body, FrameInterval);
  body.push_back(1);  // one discrete interval
  append32(body, FrameInterval);
  return classDescriptor(subtype, body);
}

// The streaming interface's formats: uncompressed YUY2 and MJPEG. Their class-specific subtypes
// reuse the numbers of the VideoControl interface's units.
Bytes streamingFormats() {
  const Bytes yuy2 = {0x59, 0x55, 0x59, 0x32, 0x00, 0x00, 0x10, 0x00,
                      0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  Bytes uncompressed = {2, 1};  // format 2, one frame
  append(uncompressed, yuy2);
  append(uncompressed, {16, 1, 0, 0, 0, 0});  // bits per pixel, default frame, no aspect ratio
  Bytes formats = classDescriptor(0x04, uncompressed);
  append(formats, frame(0x05, 1280 * 720 * 2));
  append(formats, classDescriptor(0x06, {1, 1, 0x01, 1, 0, 0, 0, 0}));  // MJPEG, format 1
  append(formats, frame(0x07, 1280 * 720 * 2));
  append(formats, classDescriptor(0x0D, {1, 1, 4}));  // BT.709, BT.709, SMPTE 170M
  return formats;
}

// A video function whose interfaces are numbered from `first`, its endpoints from `first` + 1.
Bytes videoFunction(const std::vector<Bytes>& entities, std::uint8_t first) {
  const std::uint8_t streaming = static_cast<std::uint8_t>(first + 1);
  const std::uint8_t streamingEndpoint = static_cast<std::uint8_t>(0x80 | (first + 1));
  const std::uint8_t interruptEndpoint = static_cast<std::uint8_t>(0x80 | (first + 2));
  Bytes function =
      descriptor(AssociationType, {first, 2, VideoClass, VideoCollectionSubclass, 0, 2});
  append(function, interface(first, 0, 1, VideoControlSubclass));
  Bytes units;
  for (const Bytes& entity : entities) {
    append(units, entity);
  }
  Bytes header = {0x00, 0x01, 0, 0};  // UVC 1.00, total length to come
  append32(header, 6000000);          // clock frequency
  append(header, {1, streaming});     // one streaming interface
  Bytes controlHeader = classDescriptor(0x01, header);
  put16(controlHeader, 5, controlHeader.size() + units.size());
  append(function, controlHeader);
  append(function, units);
  append(function, descriptor(EndpointType, {interruptEndpoint, 0x03, 16, 0, 6}));
  append(function, descriptor(ClassEndpointType, {0x03, 16, 0}));

  append(function, interface(streaming, 0, 0, VideoStreamingSubclass));
  const Bytes formats = streamingFormats();
  // Two formats, total length to come, the endpoint, terminal 5, no still images or triggers.
  Bytes inputHeader = classDescriptor(0x01, {2, 0, 0, streamingEndpoint, 0, 5, 0, 0, 0, 1, 0, 0});
  put16(inputHeader, 4, inputHeader.size() + formats.size());
  append(function, inputHeader);
  append(function, formats);
  append(function, interface(streaming, 1, 1, VideoStreamingSubclass));
  append(function, descriptor(EndpointType, {streamingEndpoint, 0x05, 0x00, 0x14, 1}));
  return function;
}

}  // namespace

Bytes usbDescriptors(const std::vector<std::vector<Bytes>>& functions) {
  Bytes device;
  append16(device, 0x0200);                // USB 2.0
  append(device, {0xEF, 0x02, 0x01, 64});  // composite device with interface associations
  append16(device, 0x1BBD);
  append16(device, 0x024C);
  append16(device, 0x0100);
  append(device, {1, 2, 0, 1});  // strings, one configuration

  Bytes interfaces;
  for (std::size_t i = 0; i < functions.size(); ++i) {
    append(interfaces, videoFunction(functions[i], static_cast<std::uint8_t>(2 * i)));
  }
  const auto count = static_cast<std::uint8_t>(2 * functions.size());
  Bytes configuration = descriptor(ConfigurationType, {0, 0, count, 1, 0, 0x80, 250});
  put16(configuration, 2, configuration.size() + interfaces.size());
  Bytes bytes = descriptor(DeviceType, device);
  append(bytes, configuration);
  append(bytes, interfaces);
  return bytes;
}

Bytes usbDescriptors(const std::vector<Bytes>& entities) {
  return usbDescriptors(std::vector<std::vector<Bytes>>{entities});
}

// --- Nodes ----------------------------------------------------------------------------------

FakeVideoNode fakeCamera(const std::string& product) {
  FakeVideoNode node;
  node.card = product;
  node.product = product + "\n";
  node.descriptors = usbDescriptors(cameraEntities());
  node.camera = std::make_shared<sim::VideoCamera>();
  node.cameraUnits = {{4, sim::VideoCamera::FirstUnitNode}, {3, sim::VideoCamera::SecondUnitNode}};
  for (const auto& [selector, length] : firstUnitLengths()) {
    node.extensionControls[{4, selector}] = length;
  }
  for (const auto& [selector, length] : secondUnitLengths()) {
    node.extensionControls[{3, selector}] = length;
  }
  node.controls = {
      {V4L2_CID_BRIGHTNESS, integerControl(-64, 64, 1, 0)},
      {V4L2_CID_CONTRAST, integerControl(0, 95, 1, 32)},
      {V4L2_CID_SATURATION, integerControl(0, 100, 1, 64)},
      {V4L2_CID_HUE, integerControl(-180, 180, 1, 0)},
      {V4L2_CID_AUTO_WHITE_BALANCE, {0, 1, 1, 1, 1, V4L2_CTRL_TYPE_BOOLEAN}},
      {V4L2_CID_GAMMA, integerControl(72, 500, 1, 100)},
      {V4L2_CID_GAIN, integerControl(0, 63, 1, 16)},
      {V4L2_CID_POWER_LINE_FREQUENCY, {0, 2, 1, 1, 1, V4L2_CTRL_TYPE_MENU}},
      {V4L2_CID_WHITE_BALANCE_TEMPERATURE, integerControl(2800, 6500, 10, 4600)},
      {V4L2_CID_SHARPNESS, integerControl(0, 7, 1, 2)},
      {V4L2_CID_BACKLIGHT_COMPENSATION, integerControl(0, 2, 1, 1)},
  };
  node.controls[V4L2_CID_WHITE_BALANCE_TEMPERATURE].automatic = V4L2_CID_AUTO_WHITE_BALANCE;
  return node;
}

FakeVideoNode fakeWebcam(const std::string& product) {
  FakeVideoNode node;
  node.card = product;
  node.product = product + "\n";
  node.descriptors = usbDescriptors(
      {cameraTerminal(1), processingUnit(2, 1), outputTerminal(3, StreamingTerminal, 2)});
  node.controls = {{V4L2_CID_BRIGHTNESS, integerControl(0, 255, 1, 128)}};
  return node;
}

FakeVideoNode metadataNodeOf(const FakeVideoNode& capture) {
  FakeVideoNode node;
  node.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
  node.card = capture.card;
  node.product = capture.product;
  node.descriptors = capture.descriptors;
  return node;
}
