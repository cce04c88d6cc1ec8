// The simulated inventory: classes, instance IDs, parents, properties, node status,
// exclusive opens and hub port facts, the way the set-up API presents them.
#include <gtest/gtest.h>

#include "platform/last_error.h"
#include "platform/text.h"
#include "sim/simulated_platform.h"
#include "test_host.h"

namespace vantor::sim {
namespace {

namespace P = platform;

class Inventory : public ::testing::Test {
 protected:
  std::shared_ptr<P::DeviceInventory> inv() { return P::GetDeviceInventory(); }
  std::wstring Id(P::DevInst d) {
    std::wstring id;
    EXPECT_EQ(inv()->GetDeviceInstanceId(d, id), 0u);
    return id;
  }
  std::wstring Text(P::DevInst d, P::DeviceProperty p) {
    std::wstring s;
    inv()->GetTextProperty(d, p, s);
    return s;
  }
  P::DevInst Parent(P::DevInst d) {
    P::DevInst p = 0;
    EXPECT_EQ(inv()->GetParent(d, p), 0u);
    return p;
  }
  std::vector<P::DevInst> Class(const P::Guid& g) {
    std::vector<P::DevInst> out;
    EXPECT_EQ(inv()->ListClassDevices(g, L"USB", out), 0u);
    return out;
  }
  std::wstring RootHub30Path() {
    std::vector<P::DeviceInterfaceEntry> hubs;
    inv()->ListDeviceInterfaces(P::kGuidDevInterfaceUsbHub, 0, hubs);
    for (auto& x : hubs)
      if (x.path.find(L"root_hub30") != std::wstring::npos) return x.path;
    return {};
  }

  SimulatedPlatform sim;
};

TEST_F(Inventory, AudioFunctionUnderItsCompositeDeviceUpToTheRootHub) {
  sim.AddDevice("flash-old");
  std::vector<P::DevInst> media = Class(P::kGuidClassMedia);
  ASSERT_EQ(media.size(), 1u);
  P::DevInst fn = media[0];
  std::wstring id = Id(fn);
  EXPECT_EQ(id.rfind(L"USB\\VID_3A4B&PID_0310&MI_00\\6&", 0), 0u) << P::ToUtf8(id);
  EXPECT_EQ(id.substr(id.size() - 7), L"&0&0000");
  EXPECT_EQ(Text(fn, P::DeviceProperty::kClass), L"Media");
  EXPECT_EQ(Text(fn, P::DeviceProperty::kFriendlyName), L"Korvane USB Audio");
  EXPECT_EQ(Text(fn, P::DeviceProperty::kLocationPaths),
            L"PCIROOT(0)#PCI(1D00)#USBROOT(0)#USB(1)#USBMI(0)");
  P::DevInst usb = Parent(fn);
  EXPECT_EQ(Id(usb), L"USB\\VID_3A4B&PID_0310\\0310000001");
  EXPECT_EQ(Text(usb, P::DeviceProperty::kClass), L"USB");
  EXPECT_EQ(Text(usb, P::DeviceProperty::kLocationPaths),
            L"PCIROOT(0)#PCI(1D00)#USBROOT(0)#USB(1)");
  std::uint32_t address = 0;
  EXPECT_EQ(inv()->GetNumberProperty(usb, P::DeviceProperty::kAddress, address), 0u);
  EXPECT_EQ(address, 1u);
  P::DevInst hub = Parent(usb);
  EXPECT_NE(Id(hub).find(L"ROOT_HUB20"), std::wstring::npos);
  // The walk goes on above the root hub and ends at the tree's root.
  P::DevInst node = hub;
  int steps = 0;
  P::DevInst up = 0;
  while (inv()->GetParent(node, up) == 0 && steps < 10) {
    node = up;
    ++steps;
  }
  EXPECT_EQ(Id(node), L"HTREE\\ROOT\\0");
  // The composite device is a USB device interface; the function an audio interface.
  std::vector<P::DeviceInterfaceEntry> e;
  inv()->ListDeviceInterfaces(P::kGuidKsCategoryAudio, fn, e);
  ASSERT_EQ(e.size(), 1u);
  inv()->ListDeviceInterfaces(P::kGuidDevInterfaceUsbDevice, usb, e);
  ASSERT_EQ(e.size(), 1u);
  // Children and siblings.
  P::DevInst child = 0;
  ASSERT_EQ(inv()->GetFirstChild(usb, child), 0u);
  EXPECT_EQ(child, fn);
  EXPECT_EQ(inv()->GetNextSibling(fn, child), P::kErrorNotFound);
  P::DevInst located = 0;
  ASSERT_EQ(inv()->LocateDeviceInstance(id, located), 0u);
  EXPECT_EQ(located, fn);
}

TEST_F(Inventory, PdoNameInTwoCalls) {
  sim.AddDevice("flash-old");
  P::DevInst fn = Class(P::kGuidClassMedia).at(0);
  std::uint32_t type = 0;
  std::uint32_t needed = 0;
  EXPECT_EQ(inv()->GetPropertyData(fn, P::DeviceProperty::kPdoName, &type, nullptr, 0, &needed),
            P::kErrorInsufficientBuffer);
  std::wstring pdo = Text(fn, P::DeviceProperty::kPdoName);
  EXPECT_EQ(pdo.rfind(L"\\Device\\", 0), 0u);
  EXPECT_EQ(needed, (pdo.size() + 1) * sizeof(wchar_t));
  std::vector<wchar_t> buf(needed / sizeof(wchar_t));
  EXPECT_EQ(inv()->GetPropertyData(fn, P::DeviceProperty::kPdoName, &type, buf.data(), needed - 1,
                                   &needed),
            P::kErrorInsufficientBuffer);
  EXPECT_EQ(
      inv()->GetPropertyData(fn, P::DeviceProperty::kPdoName, &type, buf.data(), needed, &needed),
      0u);
  EXPECT_EQ(std::wstring(buf.data()), pdo);
  EXPECT_EQ(type, P::kPropertyTypeText);
}

TEST_F(Inventory, CamerasByClassWithTheirInterfaces) {
  sim.AddDevice("camera");
  sim.AddDevice("camera-special");
  std::vector<P::DevInst> cameras = Class(P::kGuidClassCamera);
  ASSERT_EQ(cameras.size(), 1u);
  EXPECT_EQ(Text(cameras[0], P::DeviceProperty::kFriendlyName), L"Korvane USB Camera");
  std::vector<P::DeviceInterfaceEntry> e;
  inv()->ListDeviceInterfaces(P::kGuidKsCategoryVideoCamera, cameras[0], e);
  EXPECT_EQ(e.size(), 1u);
  // The webcam's microphone is a media function of the same composite device.
  std::vector<P::DevInst> media = Class(P::kGuidClassMedia);
  ASSERT_EQ(media.size(), 1u);
  EXPECT_NE(Id(media[0]).find(L"&MI_02\\"), std::wstring::npos);
  EXPECT_EQ(Parent(media[0]), Parent(cameras[0]));
  // The special camera: class Image, no friendly name, only the video interface.
  std::vector<P::DevInst> images = Class(P::kGuidClassImage);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_NE(Id(images[0]).find(L"VID_8086&PID_0A66&MI_00"), std::wstring::npos);
  std::wstring name;
  EXPECT_EQ(inv()->GetTextProperty(images[0], P::DeviceProperty::kFriendlyName, name),
            P::kErrorInvalidData);
  inv()->ListDeviceInterfaces(P::kGuidKsCategoryVideoCamera, images[0], e);
  EXPECT_TRUE(e.empty());
  inv()->ListDeviceInterfaces(P::kGuidKsCategoryVideo, images[0], e);
  EXPECT_EQ(e.size(), 1u);
}

TEST_F(Inventory, ExternalHubProblemFlagAndExclusiveOpen) {
  DeviceConfig c;
  ASSERT_TRUE(MakeProfile("flash-old", "behind-hub", c));
  c.hub = RootHubKind::kUsb3;
  c.viaHub = 3;
  c.port = 2;
  c.faults.problem = true;
  sim.AddDevice(c);
  P::DevInst fn = Class(P::kGuidClassMedia).at(0);
  std::uint32_t status = 0;
  std::uint32_t problem = 0;
  ASSERT_EQ(inv()->GetNodeStatus(fn, status, problem), 0u);
  EXPECT_TRUE(status & P::kDnHasProblem);
  EXPECT_NE(problem, 0u);
  EXPECT_EQ(Text(fn, P::DeviceProperty::kLocationPaths),
            L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)#USB(2)#USBMI(0)");
  P::DevInst usb = Parent(fn);
  P::DevInst hub = Parent(usb);
  EXPECT_NE(Id(hub).find(L"VID_05E3"), std::wstring::npos);
  EXPECT_NE(Id(Parent(hub)).find(L"ROOT_HUB30"), std::wstring::npos);
  // The audio interface of a problem device does not open.
  std::vector<P::DeviceInterfaceEntry> e;
  inv()->ListDeviceInterfaces(P::kGuidKsCategoryAudio, fn, e);
  ASSERT_EQ(e.size(), 1u);
  P::InterfaceHandle h = 0;
  EXPECT_NE(inv()->OpenDeviceInterface(e[0].path, h), 0u);
  // The composite device opens once at a time.
  inv()->ListDeviceInterfaces(P::kGuidDevInterfaceUsbDevice, usb, e);
  ASSERT_EQ(e.size(), 1u);
  ASSERT_EQ(inv()->OpenDeviceInterface(e[0].path, h), 0u);
  P::InterfaceHandle second = 0;
  EXPECT_EQ(inv()->OpenDeviceInterface(e[0].path, second), P::kErrorSharingViolation);
  EXPECT_EQ(inv()->CloseDeviceInterface(h), 0u);
  EXPECT_EQ(inv()->OpenDeviceInterface(e[0].path, second), 0u);
  EXPECT_EQ(inv()->CloseDeviceInterface(second), 0u);
  EXPECT_EQ(inv()->CloseDeviceInterface(second), P::kErrorInvalidHandle);
  EXPECT_EQ(inv()->OpenDeviceInterface(L"\\\\?\\usb#nothing", h), P::kErrorFileNotFound);
}

TEST_F(Inventory, HubPortFacts) {
  SimDevice& dev = sim.AddDevice("camera");
  std::wstring root = RootHub30Path();
  ASSERT_FALSE(root.empty());
  std::uint32_t ports = 0;
  ASSERT_EQ(inv()->GetHubPortCount(root, ports), 0u);
  EXPECT_EQ(ports, 32u);
  P::HubPortConnection conn;
  ASSERT_EQ(inv()->GetHubPortConnection(root, dev.config().port, conn), 0u);
  EXPECT_TRUE(conn.connected);
  EXPECT_FALSE(conn.isHub);
  EXPECT_EQ(conn.deviceDescriptor[8] | conn.deviceDescriptor[9] << 8, 0x3A4B);
  P::DevInst usb = Parent(Class(P::kGuidClassCamera).at(0));
  EXPECT_EQ(conn.driverKey, Text(usb, P::DeviceProperty::kDriver));
  ASSERT_EQ(inv()->GetHubPortConnection(root, 5, conn), 0u);
  EXPECT_FALSE(conn.connected);
  std::vector<std::uint8_t> s;
  ASSERT_EQ(inv()->GetHubPortStringDescriptor(root, dev.config().port, 3, 0x0409, s), 0u);
  EXPECT_EQ(s[0], 2 + 2 * dev.config().serial.size());
  std::uint32_t companion = 0;
  ASSERT_EQ(inv()->GetHubPortCompanion(root, dev.config().port, companion), 0u);
  EXPECT_EQ(companion, dev.config().port + 16);
}

TEST_F(Inventory, AnEmptyBusListsNothing) {
  EXPECT_TRUE(Class(P::kGuidClassMedia).empty());
  EXPECT_TRUE(Class(P::kGuidClassCamera).empty());
  std::vector<P::DeviceInterfaceEntry> e;
  EXPECT_EQ(inv()->ListDeviceInterfaces(P::kGuidDevInterfaceUsbDevice, 0, e), 0u);
  EXPECT_TRUE(e.empty());
}

}  // namespace
}  // namespace vantor::sim
