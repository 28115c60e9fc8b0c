// The simulated PC's configuration manager, called as Windows' is: the results, error codes and
// buffer protocol a caller written for the platform relies on, on a camera's nodes.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "config_manager_services.h"
#include "sim_device_tree.h"

namespace {

const std::u16string DeviceId = u"USB\\VID_1BBD&PID_024C\\K3M51-0001";
const std::u16string CollectionId = u"HID\\VID_1BBD&PID_024C&MI_02\\7&1&0&0000";
const std::u16string Location = u"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(1)";

LPCWSTR wide(const std::u16string& text) {
  return reinterpret_cast<LPCWSTR>(text.c_str());
}

// The bytes of UTF-16 text as the platform lays them out, NULs included.
std::vector<BYTE> bytesOf(const std::u16string& text) {
  std::vector<BYTE> bytes(text.size() * sizeof(char16_t));
  std::memcpy(bytes.data(), text.data(), bytes.size());
  return bytes;
}

class SimConfigManager : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::resetDeviceTree();
    device_ = sim::plugUsbDevice({2, 1}, 0x1BBD, 0x024C, u"K3M51-0001");
    function_ = sim::usbInterfaceNode(device_, 2);
    collection_ = sim::addChildNode(function_, CollectionId);
    path_ = sim::addDeviceInterface(collection_, sim::HidInterfaceClassText);
  }
  void TearDown() override { sim::resetDeviceTree(); }

  DEVINST locate(const std::u16string& id, ULONG flags = CM_LOCATE_DEVNODE_NORMAL) {
    std::u16string copy = id;
    DEVINST node = 0;
    EXPECT_EQ(CM_Locate_DevNodeW(&node, reinterpret_cast<DEVINSTID_W>(copy.data()), flags),
              CR_SUCCESS);
    return node;
  }

  std::size_t device_ = 0;
  std::size_t function_ = 0;
  std::size_t collection_ = 0;
  std::u16string path_;
};

TEST_F(SimConfigManager, AnInterfacesInstanceIdIsSizedThenRead) {
  DEVPROPTYPE type = 0;
  ULONG size = 0;
  EXPECT_EQ(CM_Get_Device_Interface_PropertyW(wide(path_), &DEVPKEY_Device_InstanceId, &type,
                                              nullptr, &size, 0),
            CR_BUFFER_SMALL);
  const std::vector<BYTE> expected = bytesOf(CollectionId + u'\0');
  EXPECT_EQ(size, expected.size());
  EXPECT_EQ(type, DEVPROP_TYPE_STRING);

  // One byte short: nothing is written.
  std::vector<BYTE> buffer(expected.size(), 0xA5);
  size = static_cast<ULONG>(buffer.size() - 1);
  EXPECT_EQ(CM_Get_Device_Interface_PropertyW(wide(path_), &DEVPKEY_Device_InstanceId, &type,
                                              buffer.data(), &size, 0),
            CR_BUFFER_SMALL);
  EXPECT_EQ(size, expected.size());
  EXPECT_EQ(buffer, std::vector<BYTE>(expected.size(), 0xA5));

  size = static_cast<ULONG>(buffer.size());
  EXPECT_EQ(CM_Get_Device_Interface_PropertyW(wide(path_), &DEVPKEY_Device_InstanceId, &type,
                                              buffer.data(), &size, 0),
            CR_SUCCESS);
  EXPECT_EQ(buffer, expected);
}

TEST_F(SimConfigManager, AnInterfaceIsFoundWithoutCaseAndOnlyWhenHandedOut) {
  std::u16string shouted = path_;
  for (char16_t& unit : shouted) {
    unit = unit >= u'a' && unit <= u'z' ? unit - u'a' + u'A' : unit;
  }
  DEVPROPTYPE type = 0;
  ULONG size = 0;
  EXPECT_EQ(CM_Get_Device_Interface_PropertyW(wide(shouted), &DEVPKEY_Device_InstanceId, &type,
                                              nullptr, &size, 0),
            CR_BUFFER_SMALL);
  size = 0;
  EXPECT_EQ(CM_Get_Device_Interface_PropertyW(wide(path_ + u"x"), &DEVPKEY_Device_InstanceId, &type,
                                              nullptr, &size, 0),
            CR_NO_SUCH_DEVICE_INTERFACE);
}

TEST_F(SimConfigManager, AnInterfacePropertyCallMadeWrongIsRefused) {
  DEVPROPTYPE type = 0;
  ULONG size = 4;
  EXPECT_EQ(CM_Get_Device_Interface_PropertyW(wide(path_), &DEVPKEY_Device_InstanceId, &type,
                                              nullptr, &size, 0),
            CR_INVALID_POINTER);
  size = 0;
  EXPECT_EQ(CM_Get_Device_Interface_PropertyW(nullptr, &DEVPKEY_Device_InstanceId, &type, nullptr,
                                              &size, 0),
            CR_INVALID_POINTER);
  EXPECT_EQ(CM_Get_Device_Interface_PropertyW(wide(path_), &DEVPKEY_Device_InstanceId, &type,
                                              nullptr, &size, 1),
            CR_INVALID_FLAG);
  EXPECT_EQ(CM_Get_Device_Interface_PropertyW(wide(path_), &DEVPKEY_Device_LocationPaths, &type,
                                              nullptr, &size, 0),
            CR_NO_SUCH_VALUE);
}

TEST_F(SimConfigManager, AnInstanceIsLocatedByItsIdWithoutCase) {
  const DEVINST node = locate(CollectionId);
  EXPECT_EQ(node, collection_ + 1);
  std::u16string lower = DeviceId;
  for (char16_t& unit : lower) {
    unit = unit >= u'A' && unit <= u'Z' ? unit - u'A' + u'a' : unit;
  }
  EXPECT_EQ(locate(lower), device_ + 1);

  std::u16string unknown = u"USB\\VID_1BBD&PID_024C\\K3M51-0002";
  DEVINST found = 77;
  EXPECT_EQ(CM_Locate_DevNodeW(&found, reinterpret_cast<DEVINSTID_W>(unknown.data()), 0),
            CR_NO_SUCH_DEVNODE);
  EXPECT_EQ(found, 0u);
  std::u16string tooLong(MAX_DEVICE_ID_LEN, u'A');
  EXPECT_EQ(CM_Locate_DevNodeW(&found, reinterpret_cast<DEVINSTID_W>(tooLong.data()), 0),
            CR_INVALID_DEVICE_ID);
  std::u16string id = DeviceId;
  EXPECT_EQ(CM_Locate_DevNodeW(nullptr, reinterpret_cast<DEVINSTID_W>(id.data()), 0),
            CR_INVALID_POINTER);
  EXPECT_EQ(CM_Locate_DevNodeW(&found, reinterpret_cast<DEVINSTID_W>(id.data()), 0x8),
            CR_INVALID_FLAG);
}

TEST_F(SimConfigManager, AnUnpluggedDeviceIsLocatedOnlyAsAPhantom) {
  sim::setUsbDevicePresent(device_, false);
  std::u16string id = CollectionId;
  DEVINST node = 0;
  EXPECT_EQ(
      CM_Locate_DevNodeW(&node, reinterpret_cast<DEVINSTID_W>(id.data()), CM_LOCATE_DEVNODE_NORMAL),
      CR_NO_SUCH_DEVNODE);
  EXPECT_EQ(locate(CollectionId, CM_LOCATE_DEVNODE_PHANTOM), collection_ + 1);

  DEVINST parent = 0;
  EXPECT_EQ(CM_Get_Parent(&parent, collection_ + 1, 0), CR_NO_SUCH_DEVNODE);
  ULONG length = 99;
  EXPECT_EQ(CM_Get_Device_ID_Size(&length, collection_ + 1, 0), CR_NO_SUCH_DEVNODE);
  EXPECT_EQ(length, 0u);
}

TEST_F(SimConfigManager, ParentsLeadFromTheCollectionToTheDeviceAndNoFurther) {
  DEVINST parent = 0;
  EXPECT_EQ(CM_Get_Parent(&parent, locate(CollectionId), 0), CR_SUCCESS);
  EXPECT_EQ(parent, function_ + 1);
  EXPECT_EQ(CM_Get_Parent(&parent, parent, 0), CR_SUCCESS);
  EXPECT_EQ(parent, device_ + 1);
  EXPECT_EQ(CM_Get_Parent(&parent, parent, 0), CR_NO_SUCH_DEVNODE);
  EXPECT_EQ(parent, 0u);

  EXPECT_EQ(CM_Get_Parent(&parent, 0, 0), CR_INVALID_DEVNODE);
  EXPECT_EQ(CM_Get_Parent(&parent, 1000, 0), CR_INVALID_DEVNODE);
  EXPECT_EQ(CM_Get_Parent(&parent, device_ + 1, 1), CR_INVALID_FLAG);
  EXPECT_EQ(CM_Get_Parent(nullptr, device_ + 1, 0), CR_INVALID_POINTER);
}

TEST_F(SimConfigManager, AnInstanceIdFillsABufferOfItsLengthWithoutItsNul) {
  ULONG length = 0;
  ASSERT_EQ(CM_Get_Device_ID_Size(&length, device_ + 1, 0), CR_SUCCESS);
  ASSERT_EQ(length, DeviceId.size());

  // Room for the NUL: the id and its NUL.
  std::u16string buffer(length + 2, u'*');
  EXPECT_EQ(CM_Get_Device_IDW(device_ + 1, reinterpret_cast<PWCHAR>(buffer.data()), length + 1, 0),
            CR_SUCCESS);
  EXPECT_EQ(buffer, DeviceId + u'\0' + u'*');

  // Exactly the id: success, and no NUL.
  buffer.assign(length + 1, u'*');
  EXPECT_EQ(CM_Get_Device_IDW(device_ + 1, reinterpret_cast<PWCHAR>(buffer.data()), length, 0),
            CR_SUCCESS);
  EXPECT_EQ(buffer, DeviceId + u'*');

  // Shorter: as much as fits.
  buffer.assign(length, u'*');
  EXPECT_EQ(CM_Get_Device_IDW(device_ + 1, reinterpret_cast<PWCHAR>(buffer.data()), length - 1, 0),
            CR_BUFFER_SMALL);
  EXPECT_EQ(buffer, DeviceId.substr(0, length - 1) + u'*');

  EXPECT_EQ(CM_Get_Device_IDW(device_ + 1, nullptr, length + 1, 0), CR_INVALID_POINTER);
  EXPECT_EQ(CM_Get_Device_IDW(0, reinterpret_cast<PWCHAR>(buffer.data()), length, 0),
            CR_INVALID_DEVNODE);
}

TEST_F(SimConfigManager, AUsbDevicesLocationPathsAreAStringList) {
  DEVPROPTYPE type = 0;
  ULONG size = 0;
  EXPECT_EQ(CM_Get_DevNode_PropertyW(device_ + 1, &DEVPKEY_Device_LocationPaths, &type, nullptr,
                                     &size, 0),
            CR_BUFFER_SMALL);
  EXPECT_EQ(type, DEVPROP_TYPE_STRING_LIST);
  const std::vector<BYTE> expected = bytesOf(Location + u'\0' + u'\0');
  ASSERT_EQ(size, expected.size());
  std::vector<BYTE> buffer(size);
  EXPECT_EQ(CM_Get_DevNode_PropertyW(device_ + 1, &DEVPKEY_Device_LocationPaths, &type,
                                     buffer.data(), &size, 0),
            CR_SUCCESS);
  EXPECT_EQ(buffer, expected);

  // A function has no location path of its own; every node has its instance id.
  size = 0;
  EXPECT_EQ(CM_Get_DevNode_PropertyW(function_ + 1, &DEVPKEY_Device_LocationPaths, &type, nullptr,
                                     &size, 0),
            CR_NO_SUCH_VALUE);
  EXPECT_EQ(CM_Get_DevNode_PropertyW(collection_ + 1, &DEVPKEY_Device_InstanceId, &type, nullptr,
                                     &size, 0),
            CR_BUFFER_SMALL);
  EXPECT_EQ(size, bytesOf(CollectionId + u'\0').size());
  EXPECT_EQ(type, DEVPROP_TYPE_STRING);
}

TEST_F(SimConfigManager, ADevnodePropertyCallMadeWrongIsRefused) {
  DEVPROPTYPE type = 0;
  ULONG size = 0;
  EXPECT_EQ(CM_Get_DevNode_PropertyW(0, &DEVPKEY_Device_InstanceId, &type, nullptr, &size, 0),
            CR_INVALID_DEVNODE);
  EXPECT_EQ(CM_Get_DevNode_PropertyW(device_ + 1, nullptr, &type, nullptr, &size, 0),
            CR_INVALID_POINTER);
  EXPECT_EQ(
      CM_Get_DevNode_PropertyW(device_ + 1, &DEVPKEY_Device_InstanceId, nullptr, nullptr, &size, 0),
      CR_INVALID_POINTER);
  EXPECT_EQ(
      CM_Get_DevNode_PropertyW(device_ + 1, &DEVPKEY_Device_InstanceId, &type, nullptr, &size, 2),
      CR_INVALID_FLAG);
  sim::setUsbDevicePresent(device_, false);
  EXPECT_EQ(
      CM_Get_DevNode_PropertyW(device_ + 1, &DEVPKEY_Device_InstanceId, &type, nullptr, &size, 0),
      CR_NO_SUCH_DEVNODE);
}

}  // namespace
