// Opening devices of the simulated bus into device records: kind, name, location,
// interface number, ancestors and USB generation, the exclusive interface, the list-based
// open, the readiness probe after a reset, PDO names, the companion port, and opens that
// fail at every step without leaving anything open.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "device/cam_dev_info.h"
#include "device/device_enum.h"
#include "device/proxy_protocol.h"
#include "device/proxy_state.h"
#include "device/vendor_functions.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "sim/device_config.h"
#include "sim/simulated_platform.h"
#include "support/debug_capture.h"
#include "support/device_rig.h"
#include "support/faulty_inventory.h"
#include "support/inventory_nodes.h"
#include "support/sim_proxy.h"

namespace vantor {
namespace {

namespace P = platform;
using test::InstanceIdOf;
using test::NodeWithId;
using test::ParentOf;

sim::DeviceConfig Profile(const char* profile, const char* name) {
  sim::DeviceConfig config;
  EXPECT_TRUE(sim::MakeProfile(profile, name, config));
  return config;
}

class DeviceEnumOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLocationPathsInUse(true);
    SetCompanionPort(0, 0);
  }
  void TearDown() override {
    EXPECT_EQ(sim.bus().OpenInterfaceCount(), 0u);
    EXPECT_EQ(sim.bus().AttachedHandleCount(), 0u);
  }
  std::size_t OpenInterfaces() { return sim.bus().OpenInterfaceCount(); }
  std::size_t Attached() { return sim.bus().AttachedHandleCount(); }

  sim::SimulatedPlatform sim;
  test::ScopedSimProxy proxy;
  test::ScopedFunctionLock lock;
};

TEST_F(DeviceEnumOpen, MediaFunctionMi02OfACompositeCamera) {
  sim.AddDevice("camera");  // USB 3 root hub, port 2
  const P::DevInst microphone = NodeWithId(L"PID_0510&MI_02");
  ASSERT_NE(microphone, 0u);

  CamDevRecord record;
  ASSERT_EQ(OpenDeviceInstance(&record, microphone), 0u);
  EXPECT_TRUE(record.IsValid());
  std::uint8_t magic[4];
  std::memcpy(magic, &record.magic, 4);
  EXPECT_EQ(std::string(magic, magic + 4), "KVCD");
  EXPECT_EQ(record.devInst, microphone);
  EXPECT_EQ(record.deviceKind, kDeviceKindAudio);
  EXPECT_EQ(record.interfaceNumber, 2u);
  EXPECT_EQ(record.displayName, L"Korvane USB Camera");
  EXPECT_EQ(record.locationPath, L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USBMI(2)");
  // The walk starts at the composite device: its parent, the root hub, is the first
  // (and only) ancestor.
  EXPECT_EQ(record.ancestorCount, 2u);
  EXPECT_EQ(record.ancestors[0], ParentOf(ParentOf(microphone)));
  EXPECT_NE(InstanceIdOf(record.ancestors[0]).find(L"ROOT_HUB30"), std::wstring::npos);
  EXPECT_EQ(record.usbGeneration, 3u);
  EXPECT_EQ(OpenInterfaces(), 1u);
  EXPECT_EQ(Attached(), 1u);
  // The proxy handle works.
  std::uint8_t descriptor[18];
  ASSERT_TRUE(GetDeviceDescriptor(record.hKvProxyDevLow, record.hKvProxyDevHigh, descriptor));
  EXPECT_EQ(descriptor[10] | descriptor[11] << 8, 0x0510);

  record.info = std::make_unique<CamDevInfo>();
  record.Close();
  EXPECT_FALSE(record.IsValid());
  EXPECT_EQ(record.info, nullptr);
  EXPECT_EQ(record.interfaceHandle, 0u);
  EXPECT_EQ(record.hKvProxyDevLow | record.hKvProxyDevHigh, 0u);
  EXPECT_EQ(record.devInst, 0u);
  EXPECT_EQ(record.ancestorCount, 0u);
  EXPECT_EQ(OpenInterfaces(), 0u);
  EXPECT_EQ(Attached(), 0u);
  record.Close();  // closing twice does nothing
}

TEST_F(DeviceEnumOpen, AncestorsAndUsbGenerationFromTheRootHub) {
  struct Case {
    sim::RootHubKind hub;
    std::uint32_t viaHub;
    std::uint32_t generation;
    std::vector<const wchar_t*> ancestorIds;
  };
  const Case cases[] = {
      {sim::RootHubKind::kUsb2, 0, 2, {L"ROOT_HUB20"}},
      {sim::RootHubKind::kUsb3, 0, 3, {L"ROOT_HUB30"}},
      {sim::RootHubKind::kUsb2, 3, 2, {L"VID_05E3&PID_0610", L"ROOT_HUB20"}},
      {sim::RootHubKind::kUsb3, 4, 3, {L"VID_05E3&PID_0610", L"ROOT_HUB30"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    sim::DeviceConfig config = Profile("flash-old", ("dev" + std::to_string(n)).c_str());
    config.hub = c.hub;
    config.viaHub = c.viaHub;
    config.port = 2;
    config.serial = "03100000" + std::to_string(10 + n++);
    sim.AddDevice(config);
    const P::DevInst composite = NodeWithId(P::FromUtf8(config.serial));
    const P::DevInst function = test::FirstChildOf(composite);
    ASSERT_NE(InstanceIdOf(function).find(L"&MI_00"), std::wstring::npos);
    // Both the media function and the composite device record the same ancestors.
    for (P::DevInst device : {function, composite}) {
      ASSERT_NE(device, 0u);
      CamDevRecord record;
      ASSERT_EQ(OpenDeviceInstance(&record, device), 0u);
      EXPECT_EQ(record.usbGeneration, c.generation);
      ASSERT_EQ(record.ancestorCount, c.ancestorIds.size() + 1);
      for (std::size_t i = 0; i < c.ancestorIds.size(); ++i) {
        EXPECT_NE(InstanceIdOf(record.ancestors[i]).find(c.ancestorIds[i]), std::wstring::npos)
            << P::ToUtf8(InstanceIdOf(record.ancestors[i]));
      }
      EXPECT_EQ(record.interfaceNumber, 0u);
      record.Close();
    }
  }
}

TEST_F(DeviceEnumOpen, KindNameAndInterfaceFromTheSetupClass) {
  sim.AddDevice("camera");
  sim.AddDevice("camera-special");
  sim.AddDevice("flash-old");
  struct Case {
    const wchar_t* id;
    std::uint32_t kind;
    const wchar_t* name;
  };
  const Case cases[] = {
      // Class Camera: the video camera interface.
      {L"PID_0510&MI_00", kDeviceKindCamera, L"Korvane USB Camera"},
      // Class Image without a video camera interface: the video interface; no friendly
      // name, so the device description.
      {L"PID_0A66&MI_00", kDeviceKindCamera, L"USB Video Device"},
      {L"PID_0310&MI_00", kDeviceKindAudio, L"Korvane USB Audio"},
      // The composite device: class USB, the USB device interface.
      {L"PID_0310\\0310000001", kDeviceKindUsb, L"USB Composite Device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(P::ToUtf8(c.id));
    CamDevRecord record;
    ASSERT_EQ(OpenDeviceInstance(&record, NodeWithId(c.id)), 0u);
    EXPECT_EQ(record.deviceKind, c.kind);
    EXPECT_EQ(record.displayName, c.name);
    EXPECT_TRUE(record.IsValid());
    record.Close();
  }
}

TEST_F(DeviceEnumOpen, AddressInsteadOfLocationPathWhenPathsAreNotInUse) {
  sim.AddDevice("flash-old");
  SetLocationPathsInUse(false);
  CamDevRecord function;
  ASSERT_EQ(OpenDeviceInstance(&function, NodeWithId(L"PID_0310&MI_00")), 0u);
  EXPECT_TRUE(function.locationPath.empty());
  EXPECT_EQ(function.address, 0u);  // the interface number
  CamDevRecord composite;
  ASSERT_EQ(OpenDeviceInstance(&composite, NodeWithId(L"PID_0310\\")), 0u);
  EXPECT_EQ(composite.address, 1u);  // the port
  function.Close();
  composite.Close();
}

TEST_F(DeviceEnumOpen, TheInterfaceIsOpenedExclusively) {
  sim.AddDevice("flash-old");
  const P::DevInst device = NodeWithId(L"PID_0310&MI_00");
  CamDevRecord first;
  ASSERT_EQ(OpenDeviceInstance(&first, device), 0u);
  CamDevRecord second;
  second.displayName = L"untouched";
  EXPECT_EQ(OpenDeviceInstance(&second, device), P::kErrorSharingViolation);
  EXPECT_EQ(second.displayName, L"untouched");
  EXPECT_EQ(second.magic, 0u);
  EXPECT_EQ(OpenInterfaces(), 1u);
  EXPECT_EQ(Attached(), 1u);
  first.Close();
  // Free again: it opens.
  ASSERT_EQ(OpenDeviceInstance(&second, device), 0u);
  // Opening into a record that holds a device releases what it held.
  ASSERT_EQ(OpenDeviceInstance(&first, NodeWithId(L"PID_0310\\")), 0u);
  EXPECT_EQ(OpenInterfaces(), 2u);
  first = std::move(second);
  EXPECT_EQ(OpenInterfaces(), 1u);
  EXPECT_EQ(Attached(), 1u);
  EXPECT_EQ(first.devInst, device);
  EXPECT_FALSE(second.IsValid());
  first.Close();
}

TEST_F(DeviceEnumOpen, OpenByListIndex) {
  sim.AddDevice("flash-old");
  sim.AddDevice("camera");
  sim.AddDevice("flash-new");

  CamDevRecord record;
  // Audio list: the entry names the composite device; the record keeps the entry's name.
  ASSERT_EQ(KvCam_OpenDevice(&record, 2, kListAudio), 0u);
  EXPECT_EQ(record.devInst, ParentOf(NodeWithId(L"PID_0330&MI_00")));
  EXPECT_EQ(record.deviceKind, kDeviceKindUsb);
  EXPECT_EQ(record.displayName, L"Korvane USB Audio 330");
  EXPECT_EQ(record.locationPath, L"PCIROOT(0)#PCI(1D00)#USBROOT(0)#USB(2)");
  record.Close();

  ASSERT_EQ(KvCam_OpenDevice(&record, 0, kListCamera), 0u);
  EXPECT_EQ(record.devInst, NodeWithId(L"PID_0510&MI_00"));
  EXPECT_EQ(record.deviceKind, kDeviceKindCamera);
  record.Close();

  record.displayName = L"untouched";
  EXPECT_EQ(KvCam_OpenDevice(&record, 3, kListAudio), kOpenNotFound);
  EXPECT_EQ(KvCam_OpenDevice(&record, 1, kListCamera), kOpenNotFound);
  EXPECT_EQ(KvCam_OpenDevice(nullptr, 0, kListAudio), P::kErrorInvalidParameter);
  EXPECT_EQ(record.displayName, L"untouched");
}

TEST_F(DeviceEnumOpen, AFailedOpenLeavesNothingOpen) {
  sim::DeviceConfig broken = Profile("flash-new", "broken");
  broken.faults.problem = true;
  sim.AddDevice(broken);
  sim.AddDevice("flash-old");
  const P::DevInst function = NodeWithId(L"PID_0310&MI_00");
  const P::DevInst composite = ParentOf(function);
  const P::DevInst rootHub = ParentOf(composite);

  struct Case {
    const char* step;
    std::uint32_t expected;
    std::function<P::DevInst(test::FaultyInventory&)> arrange;
  };
  const std::vector<Case> cases = {
      {"instance unknown", P::kErrorNotFound, [](test::FaultyInventory&) { return 99999u; }},
      {"instance ID unreadable", P::kErrorNotFound,
       [&](test::FaultyInventory& f) {
         f.idFails.insert(function);
         return function;
       }},
      // Its audio interface does not open, and it has no video interface.
      {"interface", P::kErrorFileNotFound,
       [](test::FaultyInventory&) { return NodeWithId(L"PID_0330&MI_00"); }},
      {"attach", P::kErrorPathNotFound,
       [&](test::FaultyInventory&) {
         CloseProxyDevice();
         return function;
       }},
      {"composite parent", kOpenNotFound,
       [&](test::FaultyInventory& f) {
         f.parentFails.insert(function);
         return function;
       }},
      {"parent of the composite", kOpenNotFound,
       [&](test::FaultyInventory& f) {
         f.parentFails.insert(composite);
         return function;
       }},
      {"parent ID", kOpenNotFound,
       [&](test::FaultyInventory& f) {
         f.idFails.insert(rootHub);
         return function;
       }},
      {"no root hub within 31 parents", kOpenNotFound,
       [&](test::FaultyInventory& f) {
         f.idAs[rootHub] = L"USB\\VID_05E3&PID_0610\\5&1&0&1";
         f.ownParent.insert(rootHub);
         return function;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    ASSERT_TRUE(OpenProxyDevice(false));
    test::ScopedFaultyInventory faulty;
    const P::DevInst device = c.arrange(*faulty.operator->());
    CamDevRecord record;
    record.displayName = L"untouched";
    EXPECT_EQ(OpenDeviceInstance(&record, device), c.expected);
    EXPECT_EQ(record.displayName, L"untouched");
    EXPECT_EQ(record.magic, 0u);
    EXPECT_EQ(OpenInterfaces(), 0u);
    EXPECT_EQ(Attached(), 0u);
  }
  // With the faults gone the same device opens.
  ASSERT_TRUE(OpenProxyDevice(false));
  CamDevRecord record;
  ASSERT_EQ(OpenDeviceInstance(&record, function), 0u);
  record.Close();
}

TEST_F(DeviceEnumOpen, ReadinessProbeWaitsWhileTheNewInstanceIsNotReady) {
  sim::SimDevice& device = sim.AddDevice("flash-old");
  P::Clock& clock = P::GetClock();

  CamDevRecord record;
  ASSERT_EQ(OpenDeviceInstance(&record, NodeWithId(L"PID_0310&MI_00")), 0u);
  const P::DevInst oldInstance = record.devInst;
  ASSERT_EQ(VendorReset(record.hKvProxyDevLow, record.hKvProxyDevHigh, 0, 9), 0u);
  record.Close();
  clock.Sleep(device.config().timing.reenumMs + 100);  // the new instance is there
  const P::DevInst fresh = NodeWithId(L"PID_0310&MI_00");
  ASSERT_NE(fresh, 0u);
  EXPECT_NE(fresh, oldInstance);

  const std::uint64_t notReadyBefore = device.counters().notReady;
  const std::uint64_t start = clock.NowMs();
  ASSERT_EQ(OpenDeviceInstance(&record, fresh), 0u);
  const std::uint64_t elapsed = clock.NowMs() - start;
  // Not ready for the remaining ~300 ms: two probes 200 ms apart.
  EXPECT_GE(elapsed, 300u);
  EXPECT_LT(elapsed, 1000u);
  EXPECT_GT(device.counters().notReady, notReadyBefore);
  std::uint8_t descriptor[18];
  EXPECT_TRUE(GetDeviceDescriptor(record.hKvProxyDevLow, record.hKvProxyDevHigh, descriptor));
  record.Close();
}

TEST_F(DeviceEnumOpen, ReadinessProbeIsBoundedByItsBudget) {
  sim::SimDevice& device = sim.AddDevice("flash-old");
  device.faults().extraNotReadyMs = 60000;
  P::Clock& clock = P::GetClock();
  auto resetAndWait = [&] {
    CamDevRecord record;
    ASSERT_EQ(OpenDeviceInstance(&record, NodeWithId(L"PID_0310&MI_00")), 0u);
    ASSERT_EQ(VendorReset(record.hKvProxyDevLow, record.hKvProxyDevHigh, 0, 9), 0u);
    record.Close();
    clock.Sleep(device.config().timing.reenumMs + 100);
  };

  resetAndWait();
  test::DebugCapture capture;
  CamDevRecord record;
  std::uint64_t start = clock.NowMs();
  ASSERT_EQ(OpenDeviceInstance(&record, NodeWithId(L"PID_0310&MI_00"), 1000), 0u);
  std::uint64_t elapsed = clock.NowMs() - start;
  EXPECT_GE(elapsed, 1000u);
  EXPECT_LT(elapsed, 1400u);
  EXPECT_TRUE(record.IsValid());
  EXPECT_TRUE(capture.Contains("still not ready after 1000 ms"));
  record.Close();

  // Budget 0: no limit.
  clock.Sleep(60000);
  resetAndWait();
  start = clock.NowMs();
  ASSERT_EQ(OpenDeviceInstance(&record, NodeWithId(L"PID_0310&MI_00"), 0), 0u);
  elapsed = clock.NowMs() - start;
  EXPECT_GE(elapsed, 60000u);
  std::uint8_t descriptor[18];
  EXPECT_TRUE(GetDeviceDescriptor(record.hKvProxyDevLow, record.hKvProxyDevHigh, descriptor));
  record.Close();
}

TEST_F(DeviceEnumOpen, PdoNameInTwoCalls) {
  sim.AddDevice("flash-old");
  const P::DevInst device = NodeWithId(L"PID_0310\\");
  const std::wstring expected = test::TextPropertyOf(device, P::DeviceProperty::kPdoName);
  ASSERT_FALSE(expected.empty());
  const std::uint32_t needed = static_cast<std::uint32_t>((expected.size() + 1) * sizeof(wchar_t));

  std::uint32_t size = 0;
  EXPECT_EQ(GetDevInstPdoName(device, nullptr, &size), P::kErrorInsufficientBuffer);
  EXPECT_EQ(size, needed);
  std::vector<wchar_t> buffer(expected.size() + 8, L'#');
  size = needed - sizeof(wchar_t);
  EXPECT_EQ(GetDevInstPdoName(device, buffer.data(), &size), P::kErrorInsufficientBuffer);
  EXPECT_EQ(size, needed);
  EXPECT_EQ(buffer[0], L'#');
  size = static_cast<std::uint32_t>(buffer.size() * sizeof(wchar_t));
  ASSERT_EQ(GetDevInstPdoName(device, buffer.data(), &size), 0u);
  EXPECT_EQ(size, needed);
  EXPECT_EQ(std::wstring(buffer.data()), expected);
  EXPECT_EQ(GetDevInstPdoName(device, buffer.data(), nullptr), P::kErrorInvalidParameter);

  std::wstring name;
  ASSERT_EQ(GetDevInstPdoName(device, name), 0u);
  EXPECT_EQ(name, expected);

  test::DebugCapture capture;
  EXPECT_EQ(GetDevInstPdoName(99999, name), P::kErrorNotFound);
  EXPECT_TRUE(name.empty());
  EXPECT_TRUE(capture.Contains("SetupDiGetDeviceRegistryProperty error 1168"));
  test::ScopedFaultyInventory faulty;
  faulty->dataCallFails.insert(device);
  EXPECT_EQ(GetDevInstPdoName(device, name), P::kErrorNotFound);
  EXPECT_TRUE(
      capture.Contains("GetDevInstPdoName::SetupDiGetDeviceRegistryProperty_2nd error 1168"));
}

TEST_F(DeviceEnumOpen, CompanionPortOfAFamily1010Device) {
  // Three family 0x1010 devices on the USB 3 root hub: on port 3, on port 1, and one
  // running on port 1's companion port 17.
  sim::DeviceConfig other = Profile("flash-dual", "other");
  other.port = 3;
  other.serial = "1010000003";
  sim.AddDevice(other);
  sim.AddDevice("flash-dual");
  sim::DeviceConfig moved = Profile("flash-dual", "moved");
  moved.serial = "1010000017";
  sim::DeviceState onCompanion;
  onCompanion.onCompanion = true;
  sim.bus().AddDevice(moved, {}, &onCompanion);
  sim.AddDevice("flash-old");

  auto open = [](const std::wstring& serial, CamDevRecord& record) {
    P::DevInst composite = NodeWithId(L"PID_1010\\" + serial);
    ASSERT_NE(composite, 0u);
    ASSERT_EQ(OpenDeviceInstance(&record, composite), 0u);
  };
  CamDevRecord onPort3;
  CamDevRecord onPort1;
  CamDevRecord onPort17;
  open(L"1010000003", onPort3);
  EXPECT_EQ(CompanionPort(), 19u);
  open(L"1010000001", onPort1);
  EXPECT_EQ(CompanionPort(), 17u);
  std::uint32_t port = 0;
  EXPECT_TRUE(GetCompanionPort(onPort1, onPort1.devInst, &port));
  EXPECT_EQ(port, 17u);
  open(L"1010000017", onPort17);
  EXPECT_EQ(onPort17.locationPath, L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(17)");
  EXPECT_EQ(CompanionPort(), 1u);

  EXPECT_TRUE(IsSameLocation(onPort17, onPort1, 0, 8, false));
  EXPECT_TRUE(IsSameLocation(onPort1, onPort17, 0, 8, false));
  EXPECT_FALSE(IsSameLocation(onPort3, onPort1, 0, 8, false));
  EXPECT_FALSE(IsSameLocation(onPort3, onPort17, 0, 8, false));

  // Another chip family has no companion port; the one found stays.
  CamDevRecord audio;
  ASSERT_EQ(OpenDeviceInstance(&audio, NodeWithId(L"PID_0310&MI_00")), 0u);
  EXPECT_FALSE(GetCompanionPort(audio, audio.devInst, &port));
  EXPECT_EQ(CompanionPort(), 1u);
  EXPECT_FALSE(GetCompanionPort(audio, audio.devInst, nullptr));

  for (CamDevRecord* r : {&onPort3, &onPort1, &onPort17, &audio}) r->Close();
}

// The family is read through the device's command path: a device that answers only on
// its extension unit has its companion port found as well.
TEST_F(DeviceEnumOpen, CompanionPortOfAnExtensionUnitOnlyDevice) {
  sim::DeviceConfig config = Profile("flash-dual", "xu-only");
  config.vendorRequests = sim::VendorRequestMode::kOff;
  sim.AddDevice(config);
  CamDevRecord record;
  ASSERT_EQ(OpenDeviceInstance(&record, NodeWithId(L"PID_1010\\")), 0u);
  EXPECT_EQ(CompanionPort(), 17u);
  std::uint32_t port = 0;
  EXPECT_TRUE(GetCompanionPort(record, record.devInst, &port));
  EXPECT_EQ(port, 17u);
  record.Close();
}

}  // namespace
}  // namespace vantor
