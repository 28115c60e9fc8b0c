// The device tree from the configuration manager, over the simulated PC's: three cameras, two of
// them on one hub, beside a mouse and a capture device that are no cameras, each path led to its
// USB device's place; then devices gone, paths never handed out, and trees that are not as
// Windows builds them.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "device_tree.h"
#include "sim_device_tree.h"

namespace {

using cameras::UsbDevice;
using cameras::usbDeviceOfHidInterface;
using cameras::usbDeviceOfVideoDevice;

constexpr std::uint16_t CameraVendor = 0x1BBD;
constexpr std::uint16_t CameraProduct = 0x024C;

const std::string HubPort2Port1 = "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(1)";
const std::string HubPort2Port2 = "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(2)";
const std::string RootPort3 = "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)";

std::optional<UsbDevice> at(const std::string& location) {
  return UsbDevice{location};
}

// A camera as Windows enumerates it: the composite USB device; its video function, interface 0,
// which the capture device's interface belongs to; its HID function, interface 2, and beneath it
// the node the HID class makes for the collection, which the HID interface belongs to.
struct Camera {
  std::size_t device;
  std::u16string videoPath;
  std::u16string hidPath;
};

Camera plugCamera(const sim::UsbPorts& ports, const std::u16string& serial) {
  Camera camera;
  camera.device = sim::plugUsbDevice(ports, CameraVendor, CameraProduct, serial);
  camera.videoPath = sim::addDeviceInterface(sim::usbInterfaceNode(camera.device, 0),
                                             sim::CaptureInterfaceClassText, u"\\global");
  const std::size_t collection =
      sim::addChildNode(sim::usbInterfaceNode(camera.device, 2),
                        u"HID\\VID_1BBD&PID_024C&MI_02\\7&" + serial + u"&0&0000");
  camera.hidPath = sim::addDeviceInterface(collection, sim::HidInterfaceClassText);
  return camera;
}

// A node pushed as it is, however wrong; returns its index.
std::size_t pushNode(const std::u16string& instanceId, std::optional<std::size_t> parent) {
  sim::DeviceNode node;
  node.instanceId = instanceId;
  node.parent = parent;
  sim::deviceTree().nodes.push_back(node);
  return sim::deviceTree().nodes.size() - 1;
}

class ConfigManagerDeviceTree : public ::testing::Test {
 protected:
  void SetUp() override { sim::resetDeviceTree(); }
  void TearDown() override { sim::resetDeviceTree(); }
};

TEST_F(ConfigManagerDeviceTree, EachCamerasHidInterfaceAndVideoDeviceGiveItsPort) {
  const Camera first = plugCamera({2, 1}, u"K3M51-0001");
  const Camera second = plugCamera({2, 2}, u"K3M51-0002");
  const Camera third = plugCamera({3}, u"K3M51-0003");

  EXPECT_EQ(usbDeviceOfHidInterface(first.hidPath), at(HubPort2Port1));
  EXPECT_EQ(usbDeviceOfVideoDevice(first.videoPath), at(HubPort2Port1));
  EXPECT_EQ(usbDeviceOfHidInterface(second.hidPath), at(HubPort2Port2));
  EXPECT_EQ(usbDeviceOfVideoDevice(second.videoPath), at(HubPort2Port2));
  EXPECT_EQ(usbDeviceOfHidInterface(third.hidPath), at(RootPort3));
  EXPECT_EQ(usbDeviceOfVideoDevice(third.videoPath), at(RootPort3));
}

TEST_F(ConfigManagerDeviceTree, DevicesThatAreNoCamerasGiveTheirOwnPorts) {
  plugCamera({2, 1}, u"K3M51-0001");
  // A mouse with one function: its collection's node hangs from the USB device itself, whose
  // instance id Windows makes from its place, as the mouse has no serial number.
  const std::size_t mouse = sim::plugUsbDevice({1}, 0x046D, 0xC077, u"");
  const std::u16string mousePath = sim::addDeviceInterface(
      sim::addChildNode(mouse, u"HID\\VID_046D&PID_C077\\7&2A3B4C5D&0&0000"),
      sim::HidInterfaceClassText);
  // A webcam whose capture device's interface belongs to its USB device's own node.
  const std::size_t webcam = sim::plugUsbDevice({4}, 0x046D, 0x0825, u"9A8B7C6D");
  const std::u16string webcamPath =
      sim::addDeviceInterface(webcam, sim::CaptureInterfaceClassText, u"\\global");

  EXPECT_EQ(usbDeviceOfHidInterface(mousePath), at("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)"));
  EXPECT_EQ(usbDeviceOfVideoDevice(webcamPath), at("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(4)"));
}

TEST_F(ConfigManagerDeviceTree, APathIsComparedWithoutCaseAsWindowsDoes) {
  const Camera camera = plugCamera({2, 1}, u"K3M51-0001");
  std::u16string shouted = camera.hidPath;
  for (char16_t& unit : shouted) {
    unit = unit >= u'a' && unit <= u'z' ? unit - u'a' + u'A' : unit;
  }
  EXPECT_EQ(usbDeviceOfHidInterface(shouted), at(HubPort2Port1));
}

TEST_F(ConfigManagerDeviceTree, ADeviceWithoutALocationPathIsKnownByItsInstanceId) {
  const Camera camera = plugCamera({2, 1}, u"K3M51-0001");
  sim::deviceTree().nodes[camera.device].locationPath.clear();
  EXPECT_EQ(usbDeviceOfHidInterface(camera.hidPath), at("USB\\VID_1BBD&PID_024C\\K3M51-0001"));
  EXPECT_EQ(usbDeviceOfVideoDevice(camera.videoPath), at("USB\\VID_1BBD&PID_024C\\K3M51-0001"));
}

TEST_F(ConfigManagerDeviceTree, ALongLocationPathIsReadWhole) {
  // Far longer than any first guess at a buffer: read only by asking its size first.
  const Camera camera = plugCamera({2, 1}, u"K3M51-0001");
  std::u16string path = u"PCIROOT(0)#PCI(1400)#USBROOT(0)";
  std::string expected = "PCIROOT(0)#PCI(1400)#USBROOT(0)";
  for (int hub = 0; hub < 100; ++hub) {
    path += u"#USB(7)";
    expected += "#USB(7)";
  }
  sim::deviceTree().nodes[camera.device].locationPath = path;
  EXPECT_EQ(usbDeviceOfHidInterface(camera.hidPath), at(expected));
}

TEST_F(ConfigManagerDeviceTree, PathsNeverHandedOutAreNoDevice) {
  const Camera camera = plugCamera({2, 1}, u"K3M51-0001");
  EXPECT_EQ(usbDeviceOfHidInterface(u""), std::nullopt);
  EXPECT_EQ(usbDeviceOfHidInterface(u"/dev/hidraw0"), std::nullopt);
  EXPECT_EQ(usbDeviceOfVideoDevice(u"\\\\?\\usb#vid_1bbd&pid_024c&mi_00#6&0&0000#"
                                   u"{e5323777-f976-4f5b-9b55-b94699c46e44}\\global"),
            std::nullopt);
  // The platform would read the path up to the NUL, and so name the camera's interface.
  EXPECT_EQ(usbDeviceOfHidInterface(camera.hidPath + u'\0' + u"#other"), std::nullopt);
  EXPECT_EQ(usbDeviceOfHidInterface(camera.hidPath + u"#"), std::nullopt);
}

TEST_F(ConfigManagerDeviceTree, AnUnpluggedCameraIsNoDeviceUntilItIsBack) {
  const Camera gone = plugCamera({2, 1}, u"K3M51-0001");
  const Camera staying = plugCamera({2, 2}, u"K3M51-0002");

  sim::setUsbDevicePresent(gone.device, false);
  EXPECT_EQ(usbDeviceOfHidInterface(gone.hidPath), std::nullopt);
  EXPECT_EQ(usbDeviceOfVideoDevice(gone.videoPath), std::nullopt);
  EXPECT_EQ(usbDeviceOfHidInterface(staying.hidPath), at(HubPort2Port2));

  sim::setUsbDevicePresent(gone.device, true);
  EXPECT_EQ(usbDeviceOfHidInterface(gone.hidPath), at(HubPort2Port1));
}

TEST_F(ConfigManagerDeviceTree, AUsbDeviceGoneBeneathItsFunctionsIsNoDevice) {
  const Camera camera = plugCamera({2, 1}, u"K3M51-0001");
  sim::deviceTree().nodes[camera.device].present = false;
  EXPECT_EQ(usbDeviceOfHidInterface(camera.hidPath), std::nullopt);
}

TEST_F(ConfigManagerDeviceTree, AHidDeviceNotOnUsbIsNoDevice) {
  // A touchpad on I2C: its collection hangs from an ACPI node, the top of this tree.
  const std::size_t controller = pushNode(u"ACPI\\PNP0C50\\1", std::nullopt);
  const std::size_t collection = pushNode(u"HID\\PNP0C50&COL01\\5&1A2B3C4D&0&0000", controller);
  const std::u16string path = sim::addDeviceInterface(collection, sim::HidInterfaceClassText);
  EXPECT_EQ(usbDeviceOfHidInterface(path), std::nullopt);
}

TEST_F(ConfigManagerDeviceTree, AFunctionWithoutItsDeviceAboveItIsNoDevice) {
  // A USB function's node at the top: USB\...&MI_00 is never the device.
  const std::size_t function = pushNode(u"USB\\VID_1BBD&PID_024C&MI_00\\6&1&0&0000", std::nullopt);
  const std::u16string path =
      sim::addDeviceInterface(function, sim::CaptureInterfaceClassText, u"\\global");
  EXPECT_EQ(usbDeviceOfVideoDevice(path), std::nullopt);
}

TEST_F(ConfigManagerDeviceTree, AParentLoopEndsTheWalk) {
  const std::size_t first = pushNode(u"HID\\VID_1BBD&PID_024C&MI_02\\7&1&0&0000", std::nullopt);
  const std::size_t second = pushNode(u"USB\\VID_1BBD&PID_024C&MI_02\\6&1&0&0002", first);
  sim::deviceTree().nodes[first].parent = second;
  const std::u16string path = sim::addDeviceInterface(first, sim::HidInterfaceClassText);
  EXPECT_EQ(usbDeviceOfHidInterface(path), std::nullopt);
}

TEST_F(ConfigManagerDeviceTree, AWalkEndsSixteenNodesUp) {
  // The USB device `between` nodes above the interface's own: found at fifteen, not at sixteen.
  for (const int between : {15, 16}) {
    sim::resetDeviceTree();
    std::size_t node = sim::plugUsbDevice({2, 1}, CameraVendor, CameraProduct, u"K3M51-0001");
    for (int level = 0; level < between; ++level) {
      node =
          pushNode(u"HID\\LEVEL\\" + std::u16string(1, static_cast<char16_t>(u'A' + level)), node);
    }
    const std::u16string path = sim::addDeviceInterface(node, sim::HidInterfaceClassText);
    EXPECT_EQ(usbDeviceOfHidInterface(path),
              between < 16 ? at(HubPort2Port1) : std::optional<UsbDevice>())
        << between << " nodes between";
  }
}

TEST_F(ConfigManagerDeviceTree, ABrokenParentIsNoDevice) {
  const std::size_t collection = pushNode(u"HID\\VID_1BBD&PID_024C&MI_02\\7&1&0&0000", 99);
  const std::u16string path = sim::addDeviceInterface(collection, sim::HidInterfaceClassText);
  EXPECT_EQ(usbDeviceOfHidInterface(path), std::nullopt);
}

TEST_F(ConfigManagerDeviceTree, AnswersPastTheirBoundsAreNoDevice) {
  // A location path over 16 KiB, and an instance id of MAX_DEVICE_ID_LEN characters or more.
  const Camera camera = plugCamera({2, 1}, u"K3M51-0001");
  sim::deviceTree().nodes[camera.device].locationPath = std::u16string(8200, u'X');
  EXPECT_EQ(usbDeviceOfHidInterface(camera.hidPath), std::nullopt);

  sim::resetDeviceTree();
  const Camera longSerial = plugCamera({2, 1}, std::u16string(200, u'7'));
  EXPECT_EQ(usbDeviceOfVideoDevice(longSerial.videoPath), std::nullopt);
}

TEST_F(ConfigManagerDeviceTree, ALocationThatIsNotPrintableAsciiIsNoDevice) {
  const Camera camera = plugCamera({2, 1}, u"K3M51-0001");
  sim::deviceTree().nodes[camera.device].locationPath = u"PCIROOT(0)#USB(\u00e9)";
  EXPECT_EQ(usbDeviceOfHidInterface(camera.hidPath), std::nullopt);
}

}  // namespace
