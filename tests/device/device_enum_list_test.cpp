// Listing the attached devices by kind on the simulated bus: audio entries named by
// their composite USB device, cameras by friendly name or their position, problem
// devices left out, failures that empty the list; and the identity list the hubs give.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/device_enum.h"
#include "device/hub_identity.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "sim/device_config.h"
#include "sim/simulated_platform.h"
#include "support/faulty_inventory.h"
#include "support/inventory_nodes.h"

namespace vantor {
namespace {

namespace P = platform;
using test::InstanceIdOf;
using test::NodeWithId;
using test::TextPropertyOf;

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

sim::DeviceConfig Profile(const char* profile, const char* name) {
  sim::DeviceConfig config;
  EXPECT_TRUE(sim::MakeProfile(profile, name, config));
  return config;
}

std::vector<DeviceListEntry> List(std::uint32_t kind, std::uint32_t expectedResult = 0) {
  std::vector<DeviceListEntry> entries;
  std::uint32_t count = 0xDEAD;
  EXPECT_EQ(EnumerateDevices(&entries, &count, kind), expectedResult);
  EXPECT_EQ(count, entries.size());
  return entries;
}

TEST(DeviceEnumList, AudioEntriesNameTheirCompositeDevice) {
  sim::SimulatedPlatform sim;
  sim.AddDevice("flash-old");
  sim.AddDevice("flash-new");
  sim.AddDevice("camera");  // its microphone is the media function MI_02

  std::vector<DeviceListEntry> audio = List(kListAudio);
  ASSERT_EQ(audio.size(), 3u);
  const std::wstring ids[] = {L"USB\\VID_3A4B&PID_0310", L"USB\\VID_3A4B&PID_0330",
                              L"USB\\VID_3A4B&PID_0510"};
  const std::wstring names[] = {L"Korvane USB Audio", L"Korvane USB Audio 330",
                                L"Korvane USB Camera"};
  const std::wstring interfaces[] = {L"#USBMI(0)", L"#USBMI(0)", L"#USBMI(2)"};
  for (std::size_t i = 0; i < audio.size(); ++i) {
    SCOPED_TRACE(i);
    const DeviceListEntry& e = audio[i];
    EXPECT_EQ(e.bareDeviceId, ids[i]);
    EXPECT_EQ(e.displayName, names[i]);
    EXPECT_TRUE(EndsWith(e.locationPath, interfaces[i])) << P::ToUtf8(e.locationPath);
    // The entry names the composite device, not the media function.
    const std::wstring id = InstanceIdOf(e.devInst);
    EXPECT_EQ(id.find(L"MI_"), std::wstring::npos) << P::ToUtf8(id);
    EXPECT_EQ(id.rfind(ids[i] + L"\\", 0), 0u) << P::ToUtf8(id);
    EXPECT_EQ(TextPropertyOf(e.devInst, P::DeviceProperty::kClass), L"USB");
    const std::wstring compositePath = TextPropertyOf(e.devInst, P::DeviceProperty::kLocationPaths);
    EXPECT_EQ(e.locationPath.rfind(compositePath + L"#", 0), 0u);
  }
}

TEST(DeviceEnumList, TwinDevicesAreToldApartByLocation) {
  sim::SimulatedPlatform sim;
  sim::DeviceConfig a = Profile("flash-old", "a");
  sim::DeviceConfig b = Profile("flash-old", "b");
  b.port = 7;
  b.serial = "0310000002";
  sim.AddDevice(a);
  sim.AddDevice(b);

  std::vector<DeviceListEntry> audio = List(kListAudio);
  ASSERT_EQ(audio.size(), 2u);
  EXPECT_EQ(audio[0].bareDeviceId, audio[1].bareDeviceId);
  EXPECT_NE(audio[0].devInst, audio[1].devInst);
  for (const DeviceListEntry& e : audio) {
    const std::wstring compositePath = TextPropertyOf(e.devInst, P::DeviceProperty::kLocationPaths);
    EXPECT_EQ(e.locationPath, compositePath + L"#USBMI(0)");
  }
}

TEST(DeviceEnumList, ProblemDevicesAreNeitherCountedNorListed) {
  sim::SimulatedPlatform sim;
  sim::DeviceConfig broken = Profile("flash-old", "broken");
  broken.faults.problem = true;
  sim.AddDevice(broken);
  sim.AddDevice("flash-new");
  sim::DeviceConfig brokenCamera = Profile("camera", "broken-camera");
  brokenCamera.faults.problem = true;
  sim.AddDevice(brokenCamera);

  std::vector<DeviceListEntry> audio = List(kListAudio);
  ASSERT_EQ(audio.size(), 1u);
  EXPECT_EQ(audio[0].bareDeviceId, L"USB\\VID_3A4B&PID_0330");
  EXPECT_TRUE(List(kListCamera).empty());
}

TEST(DeviceEnumList, CamerasWithoutFriendlyNameAreNumberedByPosition) {
  sim::SimulatedPlatform sim;
  sim.AddDevice("camera");
  sim.AddDevice("camera-special");  // class Image, no friendly name
  sim::DeviceConfig plain = Profile("camera", "plain");
  plain.friendlyName = false;
  plain.port = 5;
  plain.serial = "0510000002";
  sim.AddDevice(plain);

  // Image cameras come first, then the Camera class, each in enumeration order.
  std::vector<DeviceListEntry> cameras = List(kListCamera);
  ASSERT_EQ(cameras.size(), 3u);
  EXPECT_EQ(cameras[0].displayName, L"Usb Video Device #1");
  EXPECT_EQ(TextPropertyOf(cameras[0].devInst, P::DeviceProperty::kClass), L"Image");
  EXPECT_EQ(cameras[1].displayName, L"Korvane USB Camera");
  EXPECT_EQ(cameras[2].displayName, L"Usb Video Device #3");
  for (const DeviceListEntry& e : cameras) {
    // Camera entries are the video functions themselves.
    EXPECT_NE(InstanceIdOf(e.devInst).find(L"&MI_00"), std::wstring::npos);
    EXPECT_TRUE(e.bareDeviceId.empty());
  }
}

TEST(DeviceEnumList, UsbDeviceListHoldsCompositeDevicesAndHubs) {
  sim::SimulatedPlatform sim;
  sim::DeviceConfig behindHub = Profile("eeprom8", "behind-hub");
  behindHub.viaHub = 3;
  behindHub.port = 2;
  sim.AddDevice(behindHub);
  sim.AddDevice("flash-old");

  std::vector<DeviceListEntry> usb = List(kListUsbDevices);
  ASSERT_EQ(usb.size(), 3u);  // the external hub and the two composite devices
  int hubs = 0;
  for (const DeviceListEntry& e : usb) {
    EXPECT_EQ(e.bareDeviceId, InstanceIdOf(e.devInst));
    EXPECT_EQ(e.locationPath, TextPropertyOf(e.devInst, P::DeviceProperty::kLocationPaths));
    if (e.bareDeviceId.find(L"VID_05E3") != std::wstring::npos) ++hubs;
  }
  EXPECT_EQ(hubs, 1);
}

TEST(DeviceEnumList, BadArgumentsAndEmptyBus) {
  sim::SimulatedPlatform sim;
  std::vector<DeviceListEntry> entries;
  std::uint32_t count = 7;
  EXPECT_EQ(EnumerateDevices(nullptr, &count, kListAudio), P::kErrorInvalidParameter);
  EXPECT_EQ(EnumerateDevices(&entries, nullptr, kListAudio), P::kErrorInvalidParameter);
  EXPECT_EQ(EnumerateDevices(&entries, &count, 3), P::kErrorInvalidParameter);
  for (std::uint32_t kind : {kListAudio, kListCamera, kListUsbDevices}) {
    EXPECT_EQ(EnumerateDevices(&entries, &count, kind), 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(entries.empty());
  }
}

TEST(DeviceEnumList, FailureEmptiesTheList) {
  sim::SimulatedPlatform sim;
  sim.AddDevice("flash-old");
  sim.AddDevice("flash-new");
  test::ScopedFaultyInventory faulty;
  // The second device's media function vanishes while it is being listed.
  faulty->idFails.insert(NodeWithId(L"PID_0330&MI_00"));
  std::vector<DeviceListEntry> entries(2);
  std::uint32_t count = 2;
  EXPECT_EQ(EnumerateDevices(&entries, &count, kListAudio), P::kErrorNotFound);
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(entries.empty());
}

TEST(HubIdentity, HubPortsIdentifyTheUsbDevices) {
  sim::SimulatedPlatform sim;
  sim.AddDevice("flash-old");  // usb2 port 1
  sim.AddDevice("camera");     // usb3 port 2
  sim::DeviceConfig behindHub = Profile("eeprom8", "behind-hub");
  behindHub.viaHub = 3;
  behindHub.port = 2;
  sim.AddDevice(behindHub);

  std::vector<HubDeviceEntry> list;
  ASSERT_EQ(EnumerateHubIdentities(list), 0u);
  ASSERT_EQ(list.size(), 4u);  // three composite devices and the external hub

  struct Expected {
    const wchar_t* id;
    std::uint16_t pid;
    std::uint32_t port;
    const wchar_t* serial;
    const wchar_t* manufacturer;
  };
  const Expected expected[] = {
      {L"VID_3A4B&PID_0310\\", 0x0310, 1, L"0310000001", L"KV0310-000001"},
      {L"VID_3A4B&PID_0510\\", 0x0510, 2, L"0510000001", L"KV0510-000001"},
      {L"VID_3A4B&PID_0311\\", 0x0311, 2, L"0311000001", L"KV0311-000001"},
  };
  for (const Expected& want : expected) {
    SCOPED_TRACE(P::ToUtf8(want.id));
    const HubDeviceEntry* entry = FindHubIdentity(list, NodeWithId(want.id));
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->identified);
    EXPECT_EQ(entry->idVendor, 0x3A4B);
    EXPECT_EQ(entry->idProduct, want.pid);
    EXPECT_EQ(entry->bcdDevice, 0x0100);
    EXPECT_EQ(entry->port, want.port);
    EXPECT_EQ(entry->serialNumber, want.serial);
    EXPECT_EQ(entry->manufacturer, want.manufacturer);
  }
  const HubDeviceEntry* hub = FindHubIdentity(list, NodeWithId(L"VID_05E3&PID_0610"));
  ASSERT_NE(hub, nullptr);
  EXPECT_FALSE(hub->identified);

  // Asked for one device, only the hubs above it answer: the external hub and the USB 2
  // root hub, which also has flash-old; the camera on the USB 3 root hub stays unknown.
  ASSERT_EQ(EnumerateHubIdentities(list, NodeWithId(L"PID_0311&MI_00")), 0u);
  for (const HubDeviceEntry& entry : list) {
    const std::wstring id = InstanceIdOf(entry.devInst);
    EXPECT_EQ(entry.identified, id.find(L"PID_0311") != std::wstring::npos ||
                                    id.find(L"PID_0310") != std::wstring::npos)
        << P::ToUtf8(id);
  }
}

TEST(HubIdentity, StringDescriptorTextStaysWithinTheBytes) {
  const std::uint8_t ok[] = {8, 3, 'A', 0, 'B', 0, 'C', 0};
  EXPECT_EQ(StringDescriptorText(ok, sizeof ok), L"ABC");
  // bLength beyond what was received: only the bytes there are read.
  const std::uint8_t longer[] = {200, 3, 'A', 0, 'B', 0, 'C'};
  EXPECT_EQ(StringDescriptorText(longer, sizeof longer), L"AB");
  const std::uint8_t shorter[] = {4, 3, 'A', 0, 'B', 0};
  EXPECT_EQ(StringDescriptorText(shorter, sizeof shorter), L"A");
  const std::uint8_t notString[] = {4, 2, 'A', 0};
  EXPECT_EQ(StringDescriptorText(notString, sizeof notString), L"");
  EXPECT_EQ(StringDescriptorText(ok, 1), L"");
  EXPECT_EQ(StringDescriptorText(nullptr, 8), L"");
}

}  // namespace
}  // namespace vantor
