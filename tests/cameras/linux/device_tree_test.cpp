// The device tree on Linux: sysfs trees made as the kernel makes them, with its links, and each
// node's USB device read back. A PC with two cameras on one hub beside devices that are not
// cameras, then trees that are not as the kernel makes them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "device_tree.h"
#include "scratch_directory.h"
#include "usb_sysfs.h"

namespace {

namespace fs = std::filesystem;

using cameras::UsbDevice;
using cameras::sysfs::usbDeviceOfHidrawNode;
using cameras::sysfs::usbDeviceOfVideoNode;

std::optional<UsbDevice> at(const std::string& location) {
  return UsbDevice{location};
}

// A sysfs tree in a scratch directory. Devices are named by their path under devices/.
class FakeSysfs {
 public:
  const fs::path& root() const { return scratch_.path(); }

  void addDirectory(const std::string& device) { fs::create_directories(devices() / device); }

  void writeAttribute(const std::string& device, const std::string& name,
                      const std::string& value) {
    addDirectory(device);
    std::ofstream(devices() / device / name) << value;
  }

  // A USB device or root hub, with the attributes the kernel gives it.
  void addUsbDevice(const std::string& device, unsigned bus, unsigned address) {
    writeAttribute(device, "busnum", std::to_string(bus) + "\n");
    writeAttribute(device, "devnum", std::to_string(address) + "\n");
  }

  // hidrawN under the HID device `hidDevice`, as hidraw registers it.
  void addHidrawNode(unsigned node, const std::string& hidDevice) {
    addNode("hidraw", "hidraw" + std::to_string(node), hidDevice);
  }

  // videoN under the USB interface `interface`, as uvcvideo registers it.
  void addVideoNode(unsigned node, const std::string& interface) {
    addNode("video4linux", "video" + std::to_string(node), interface);
  }

  // A class entry or a `device` link pointing where the test says, however wrong.
  void link(const fs::path& from, const fs::path& to) {
    fs::create_directories(from.parent_path());
    fs::remove(from);
    fs::create_directory_symlink(to, from);
  }

  fs::path devices() const { return root() / "devices"; }
  fs::path classEntry(const std::string& className, const std::string& name) const {
    return root() / "class" / className / name;
  }

 private:
  // /sys/class/<class>/<name> -> ../../devices/<parent>/<class>/<name>, and in it
  // device -> ../../../<the parent's name>.
  void addNode(const std::string& className, const std::string& name, const std::string& parent) {
    const fs::path node = devices() / parent / className / name;
    fs::create_directories(node);
    fs::create_directory_symlink(fs::path("../../..") / fs::path(parent).filename(),
                                 node / "device");
    link(classEntry(className, name), fs::path("../../devices") / parent / className / name);
  }

  ScratchDirectory scratch_{"optiqon-sysfs"};
};

constexpr const char* Controller = "pci0000:00/0000:00:14.0";
const std::string RootHub = std::string(Controller) + "/usb1";
const std::string Hub = RootHub + "/1-2";
const std::string FirstCamera = Hub + "/1-2.1";
const std::string SecondCamera = Hub + "/1-2.2";
const std::string Mouse = RootHub + "/1-4";

// Two cameras on the hub at port 2 of bus 1, each with its HID interface (2) under usbhid and its
// video interface (0) under uvcvideo, which makes a capture node and a metadata node; a mouse at
// port 4; a video capture card on PCI.
class TwoCamerasOnAHub : public ::testing::Test {
 protected:
  void SetUp() override {
    sysfs.addUsbDevice(RootHub, 1, 1);
    sysfs.addDirectory(RootHub + "/1-0:1.0");
    sysfs.addUsbDevice(Hub, 1, 2);
    sysfs.addDirectory(Hub + "/1-2:1.0");

    sysfs.addUsbDevice(FirstCamera, 1, 5);
    sysfs.addHidrawNode(3, FirstCamera + "/1-2.1:1.2/0003:1BBD:024C.0007");
    sysfs.addVideoNode(0, FirstCamera + "/1-2.1:1.0");
    sysfs.addVideoNode(1, FirstCamera + "/1-2.1:1.0");

    sysfs.addUsbDevice(SecondCamera, 1, 6);
    sysfs.addHidrawNode(4, SecondCamera + "/1-2.2:1.2/0003:1BBD:024C.0008");
    sysfs.addVideoNode(2, SecondCamera + "/1-2.2:1.0");
    sysfs.addVideoNode(3, SecondCamera + "/1-2.2:1.0");

    sysfs.addUsbDevice(Mouse, 1, 3);
    sysfs.addHidrawNode(0, Mouse + "/1-4:1.0/0003:046D:C077.0001");

    sysfs.addDirectory("pci0000:00/0000:00:1c.0/0000:03:00.0");
    sysfs.addVideoNode(4, "pci0000:00/0000:00:1c.0/0000:03:00.0");
  }

  FakeSysfs sysfs;
};

TEST_F(TwoCamerasOnAHub, EachCamerasNodesGiveItsOwnPortPath) {
  EXPECT_EQ(usbDeviceOfHidrawNode(3, sysfs.root()), at("1-2.1"));
  EXPECT_EQ(usbDeviceOfVideoNode(0, sysfs.root()), at("1-2.1"));
  EXPECT_EQ(usbDeviceOfHidrawNode(4, sysfs.root()), at("1-2.2"));
  EXPECT_EQ(usbDeviceOfVideoNode(2, sysfs.root()), at("1-2.2"));
}

TEST_F(TwoCamerasOnAHub, MetadataNodeBelongsToItsCamera) {
  EXPECT_EQ(usbDeviceOfVideoNode(1, sysfs.root()), at("1-2.1"));
  EXPECT_EQ(usbDeviceOfVideoNode(3, sysfs.root()), at("1-2.2"));
}

TEST_F(TwoCamerasOnAHub, DevicesThatAreNotCamerasAreKnownByTheirOwnPortOrNone) {
  EXPECT_EQ(usbDeviceOfHidrawNode(0, sysfs.root()), at("1-4"));
  EXPECT_EQ(usbDeviceOfVideoNode(4, sysfs.root()), std::nullopt);  // on PCI, not on USB
}

TEST_F(TwoCamerasOnAHub, NodeNotPresentHasNone) {
  EXPECT_EQ(usbDeviceOfHidrawNode(9, sysfs.root()), std::nullopt);
  EXPECT_EQ(usbDeviceOfVideoNode(9, sysfs.root()), std::nullopt);
  EXPECT_EQ(usbDeviceOfHidrawNode(3, sysfs.root() / "elsewhere"), std::nullopt);
}

// A camera pulled out while it is looked at: its directory goes, and its nodes' links are left
// pointing nowhere.
TEST_F(TwoCamerasOnAHub, CameraGoneLeavesBrokenLinksThatHaveNone) {
  fs::remove_all(sysfs.devices() / FirstCamera);
  EXPECT_EQ(usbDeviceOfHidrawNode(3, sysfs.root()), std::nullopt);
  EXPECT_EQ(usbDeviceOfVideoNode(0, sysfs.root()), std::nullopt);
  EXPECT_EQ(usbDeviceOfVideoNode(2, sysfs.root()), at("1-2.2"));
}

// The camera's directory without its attributes, as while it is being removed: the walk must not
// go on and take the hub above for the camera.
TEST_F(TwoCamerasOnAHub, CameraWithoutItsAttributesHasNoneRatherThanTheHub) {
  fs::remove(sysfs.devices() / FirstCamera / "busnum");
  EXPECT_EQ(usbDeviceOfHidrawNode(3, sysfs.root()), std::nullopt);
  fs::remove(sysfs.devices() / SecondCamera / "devnum");
  EXPECT_EQ(usbDeviceOfVideoNode(2, sysfs.root()), std::nullopt);
}

TEST_F(TwoCamerasOnAHub, AttributesThatDisagreeWithTheNameHaveNone) {
  sysfs.writeAttribute(FirstCamera, "busnum", "2\n");  // named on bus 1
  EXPECT_EQ(usbDeviceOfHidrawNode(3, sysfs.root()), std::nullopt);
  sysfs.writeAttribute(SecondCamera, "devnum", "six\n");
  EXPECT_EQ(usbDeviceOfVideoNode(2, sysfs.root()), std::nullopt);
}

// In place of an attribute, something whose reading would block or never end.
TEST_F(TwoCamerasOnAHub, AttributesThatAreNotFilesAreNotRead) {
  fs::remove(sysfs.devices() / FirstCamera / "busnum");
  fs::create_symlink("/dev/zero", sysfs.devices() / FirstCamera / "busnum");
  EXPECT_EQ(usbDeviceOfHidrawNode(3, sysfs.root()), std::nullopt);
  fs::remove(sysfs.devices() / SecondCamera / "devnum");
  fs::create_directory(sysfs.devices() / SecondCamera / "devnum");
  EXPECT_EQ(usbDeviceOfVideoNode(2, sysfs.root()), std::nullopt);
}

// Deeper hubs give longer port paths; a device on the root hub a single port.
TEST(DeviceTree, PortPathHasOnePortPerHub) {
  FakeSysfs sysfs;
  const std::string deep = RootHub + "/1-3/1-3.4/1-3.4.2";
  sysfs.addUsbDevice(RootHub, 1, 1);
  sysfs.addUsbDevice(RootHub + "/1-3", 1, 2);
  sysfs.addUsbDevice(RootHub + "/1-3/1-3.4", 1, 3);
  sysfs.addUsbDevice(deep, 1, 4);
  sysfs.addHidrawNode(1, deep + "/1-3.4.2:1.2/0003:1BBD:024C.0002");
  sysfs.addUsbDevice("pci0000:00/0000:00:14.0/usb3/3-1", 3, 2);
  sysfs.addVideoNode(0, "pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.0");
  EXPECT_EQ(usbDeviceOfHidrawNode(1, sysfs.root()), at("1-3.4.2"));
  EXPECT_EQ(usbDeviceOfVideoNode(0, sysfs.root()), at("3-1"));
}

// HID over I2C, as a laptop's touchpad is: no USB device above it.
TEST(DeviceTree, HidrawNotOnUsbHasNone) {
  FakeSysfs sysfs;
  sysfs.addDirectory("platform/AMDI0010:00/i2c-0/i2c-ELAN0001:00");
  sysfs.addHidrawNode(2, "platform/AMDI0010:00/i2c-0/i2c-ELAN0001:00/0018:04F3:3124.0001");
  EXPECT_EQ(usbDeviceOfHidrawNode(2, sysfs.root()), std::nullopt);
}

// Each node's `device` made to point where the kernel never points it.
class HostileTree : public ::testing::Test {
 protected:
  void SetUp() override { sysfs.addUsbDevice(Hub, 1, 2); }

  void pointHidrawDevice(const fs::path& to) {
    const fs::path node = sysfs.devices() / "virtual/misc/hidraw7";
    sysfs.link(node / "device", to);
    sysfs.link(sysfs.classEntry("hidraw", "hidraw7"), node);
  }

  std::optional<UsbDevice> hidrawDevice() { return usbDeviceOfHidrawNode(7, sysfs.root()); }

  FakeSysfs sysfs;
};

TEST_F(HostileTree, LinkLoopHasNone) {
  sysfs.link(sysfs.devices() / "loop/a", "b");
  sysfs.link(sysfs.devices() / "loop/b", "a");
  pointHidrawDevice(sysfs.devices() / "loop/a");
  EXPECT_EQ(hidrawDevice(), std::nullopt);
}

TEST_F(HostileTree, ClassEntryInALoopHasNone) {
  sysfs.link(sysfs.classEntry("video4linux", "video5"), "video6");
  sysfs.link(sysfs.classEntry("video4linux", "video6"), "video5");
  EXPECT_EQ(usbDeviceOfVideoNode(5, sysfs.root()), std::nullopt);
}

// A node straight under the device, with no interface between: what hangs under a USB device
// is one of its interfaces.
TEST_F(HostileTree, NodeNotUnderAnInterfaceHasNone) {
  pointHidrawDevice(sysfs.devices() / Hub);
  EXPECT_EQ(hidrawDevice(), std::nullopt);
  sysfs.addDirectory(Hub + "/0003:1BBD:024C.0009");
  sysfs.addHidrawNode(8, Hub + "/0003:1BBD:024C.0009");
  EXPECT_EQ(usbDeviceOfHidrawNode(8, sysfs.root()), std::nullopt);
}

// An interface named for another device than the one above it.
TEST_F(HostileTree, InterfaceOfAnotherDeviceHasNone) {
  sysfs.addVideoNode(0, Hub + "/1-3:1.0");
  EXPECT_EQ(usbDeviceOfVideoNode(0, sysfs.root()), std::nullopt);
}

// Names that look like a USB device's but are not: a leading zero (as I2C names its devices), a
// port 0, an empty port, a letter, more ports than USB allows hubs.
TEST_F(HostileTree, NamesThatAreNotUsbDevicesHaveNone) {
  for (const std::string name : {"1-0050", "1-0", "1-2.", "1-2..1", "01-2", "0-2", "a-2", "1-2b",
                                 "-2", "1-1.1.1.1.1.1.1.1"}) {
    SCOPED_TRACE(name);
    FakeSysfs tree;
    tree.addUsbDevice(name, 1, 9);
    tree.addVideoNode(0, name + "/" + name + ":1.0");
    EXPECT_EQ(usbDeviceOfVideoNode(0, tree.root()), std::nullopt);
  }
}

// The same tree with a name USB does give: the cases above fail for their names alone.
TEST_F(HostileTree, LongestPortPathIsADevice) {
  const std::string name = "1-1.1.1.1.1.1.1";
  FakeSysfs tree;
  tree.addUsbDevice(name, 1, 9);
  tree.addVideoNode(0, name + "/" + name + ":1.0");
  EXPECT_EQ(usbDeviceOfVideoNode(0, tree.root()), at(name));
}

// A link out of the tree: the walk never looks above the sysfs root, even where a USB device
// would be found there.
TEST_F(HostileTree, LinkOutOfTheTreeHasNone) {
  pointHidrawDevice("/");
  EXPECT_EQ(hidrawDevice(), std::nullopt);

  FakeSysfs outside;
  outside.addUsbDevice("1-5", 1, 4);
  outside.addDirectory("1-5/1-5:1.0");
  pointHidrawDevice(outside.devices() / "1-5/1-5:1.0");
  EXPECT_EQ(hidrawDevice(), std::nullopt);
}

// A device far below its USB device: the walk gives up rather than climb without end.
TEST_F(HostileTree, DeviceTooFarBelowHasNone) {
  std::string deep = Hub + "/1-2:1.0";
  for (int level = 0; level < 12; ++level) {
    deep += "/level" + std::to_string(level);
  }
  sysfs.addDirectory(deep);
  pointHidrawDevice(sysfs.devices() / deep);
  EXPECT_EQ(hidrawDevice(), std::nullopt);
}

TEST(DevicePaths, HidInterfacePathsNameTheirHidrawNode) {
  using cameras::sysfs::hidrawNodeOf;
  EXPECT_EQ(hidrawNodeOf(u"/dev/hidraw3"), 3u);
  EXPECT_EQ(hidrawNodeOf(u"/dev/hidraw12&col02"), 12u);
  EXPECT_EQ(hidrawNodeOf(u"/dev/hidraw0&col100"), 0u);
  for (const std::u16string path :
       {u"/dev/hidraw", u"/dev/hidraw03", u"/dev/hidraw3&col", u"/dev/hidraw3&col00",
        u"/dev/hidraw3&col1", u"/dev/hidraw3&col0001", u"/dev/hidraw3x", u"/dev/hidraw3/",
        u"/dev/video3", u"dev/hidraw3", u"/dev/hidraw9999999999", u"\\\\?\\hid#vid_1bbd&pid_024c",
        u"/dev/hidraw\u0663"}) {
    EXPECT_EQ(hidrawNodeOf(path), std::nullopt);
  }
  EXPECT_EQ(hidrawNodeOf(std::u16string(u"/dev/hidraw3\0", 13)), std::nullopt);
}

TEST(DevicePaths, VideoDevicePathsNameTheirNode) {
  using cameras::sysfs::videoNodeOf;
  EXPECT_EQ(videoNodeOf(u"/dev/video0"), 0u);
  EXPECT_EQ(videoNodeOf(u"/dev/video17"), 17u);
  for (const std::u16string path : {u"/dev/video", u"/dev/video01", u"/dev/video0&col01",
                                    u"/dev/video0 ", u"/dev/hidraw0", u"/dev/v4l/by-id/x"}) {
    EXPECT_EQ(videoNodeOf(path), std::nullopt);
  }
}

// The seam itself reads this machine's sysfs, which holds no such nodes; paths the platform
// never hands out are refused before any look.
TEST(DevicePaths, SeamAnswersNoneForNodesThisMachineLacks) {
  EXPECT_EQ(cameras::usbDeviceOfHidInterface(u"/dev/hidraw999999999"), std::nullopt);
  EXPECT_EQ(cameras::usbDeviceOfVideoDevice(u"/dev/video999999999"), std::nullopt);
  EXPECT_EQ(cameras::usbDeviceOfHidInterface(u"/dev/video0"), std::nullopt);
  EXPECT_EQ(cameras::usbDeviceOfVideoDevice(u"/dev/hidraw0"), std::nullopt);
}

}  // namespace
