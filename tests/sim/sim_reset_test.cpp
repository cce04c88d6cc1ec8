// Resets: the device drops off, comes back as a new instance at the same location after
// the settle delay, answers "not ready" for a while, then runs what it finds valid.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/last_error.h"
#include "sim/simulated_platform.h"
#include "test_host.h"

namespace vantor::sim {
namespace {

using test::Block;
using test::Reply;
using test::TestHost;

constexpr std::uint8_t kVersion[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};

class Reset : public ::testing::Test {
 protected:
  std::wstring Text(platform::DevInst d, platform::DeviceProperty p) {
    std::wstring s;
    EXPECT_EQ(platform::GetDeviceInventory()->GetTextProperty(d, p, s), 0u);
    return s;
  }
  bool Listed(const wchar_t* pid) {
    std::vector<platform::DeviceInterfaceEntry> e;
    platform::GetDeviceInventory()->ListDeviceInterfaces(platform::kGuidDevInterfaceUsbDevice, 0,
                                                         e);
    for (auto& x : e)
      if (x.path.find(std::wstring(pid)) != std::wstring::npos) return true;
    return false;
  }
  // Waits the re-enumeration and the not-ready time, then opens the new instance.
  void Reopen(TestHost& h, const wchar_t* pid, const SimDevice& dev) {
    platform::Sleep(dev.config().timing.reenumMs + dev.config().timing.notReadyMs);
    ASSERT_TRUE(h.Open(platform::kGuidDevInterfaceUsbDevice, pid));
  }
  std::vector<std::uint8_t> Status(TestHost& h) {
    std::vector<std::uint8_t> s;
    for (std::uint16_t p = 0; p < 13; ++p) {
      Reply r = h.VendorIn(0x07, p, 0, 8);
      s.insert(s.end(), r.data.begin(), r.data.end());
    }
    return s;
  }

  SimulatedPlatform sim;
};

TEST_F(Reset, DropsOffAndComesBackAsANewInstance) {
  SimDevice& dev = sim.AddDevice("flash-old");
  TestHost old;
  ASSERT_TRUE(old.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
  platform::DevInst oldInst = old.device();
  std::wstring oldPdo = Text(oldInst, platform::DeviceProperty::kPdoName);
  std::wstring oldPath = Text(oldInst, platform::DeviceProperty::kLocationPaths);
  std::uint64_t t0 = sim.clock().NowMs();
  ASSERT_TRUE(old.VendorOut(0x22, 0, 0, {}).good());
  // Gone at once: the old handle fails with 1167 and the inventory no longer lists it.
  Reply r = old.VendorIn(0x07, 3, 0, 8);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, platform::kErrorDeviceNotConnected);
  EXPECT_EQ(r.urbStatus, kUsbdStatusDeviceGone);
  EXPECT_FALSE(Listed(L"pid_0310"));
  platform::Sleep(dev.config().timing.reenumMs - 100);
  EXPECT_FALSE(Listed(L"pid_0310"));
  platform::Sleep(100);
  ASSERT_TRUE(Listed(L"pid_0310"));
  TestHost fresh;
  ASSERT_TRUE(fresh.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
  EXPECT_NE(fresh.device(), oldInst);
  EXPECT_NE(Text(fresh.device(), platform::DeviceProperty::kPdoName), oldPdo);
  EXPECT_EQ(Text(fresh.device(), platform::DeviceProperty::kLocationPaths), oldPath);
  EXPECT_NE(fresh.low(), old.low());
  // Not ready for a while, polled the way the tool polls (every 200 ms).
  int notReady = 0;
  for (;;) {
    r = fresh.Descriptor(1, 0, 0, 18);
    if (r.ok || r.error != platform::kErrorNotReady) break;
    ++notReady;
    platform::Sleep(200);
  }
  EXPECT_TRUE(r.good());
  EXPECT_EQ(notReady, static_cast<int>((dev.config().timing.notReadyMs + 199) / 200));
  EXPECT_GE(sim.clock().NowMs() - t0,
            dev.config().timing.reenumMs + dev.config().timing.notReadyMs);
  // The old handle stays dead.
  EXPECT_EQ(old.VendorIn(0x07, 3, 0, 8).error, platform::kErrorDeviceNotConnected);
  EXPECT_EQ(dev.counters().resets, 1u);
}

TEST_F(Reset, OldFamilyRunsTaggedFlashFirmware) {
  SimDevice& dev = sim.AddDevice("flash-old");
  std::uint8_t* m = dev.memory();
  m[0] = 0x02;  // code, and the configuration area's header where this chip keeps it
  m[0xAE00] = 0x55;
  m[0xAE01] = 0xA5;
  std::memcpy(m + 0x100C, kVersion, 8);
  TestHost h;
  ASSERT_TRUE(h.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
  // Without the tag the device stays in ROM code.
  ASSERT_TRUE(h.VendorOut(0x22, 0, 0, {}).good());
  Reopen(h, L"PID_0310", dev);
  EXPECT_EQ(Status(h)[64] & 0x0F, 0);
  m[0xEFFE] = 0x55;
  m[0xEFFF] = 0xAA;
  ASSERT_TRUE(h.VendorOut(0x22, 0, 0, {}).good());
  Reopen(h, L"PID_0310", dev);
  std::vector<std::uint8_t> s = Status(h);
  EXPECT_EQ(s[64], 0x31) << "cached code, dotted version format";
  // The dotted format reads 79 hi/lo, 78, 77:76, 83:82, 81:80: the image's record.
  std::vector<std::uint8_t> want = {0x78, 0x56, 0x34, 0x12, 0xF0, 0xDE, 0xBC, 0x9A};
  EXPECT_EQ(std::vector<std::uint8_t>(s.begin() + 76, s.begin() + 84), want);
  EXPECT_EQ(dev.VersionText(), "1.234.5678-9ABC.DEF0");
  // Into update code: not cached, whatever the flash holds.
  ASSERT_TRUE(h.VendorOut(0x20, 2, 0, {}).good());
  platform::Sleep(dev.config().timing.fastReenumMs + dev.config().timing.notReadyMs);
  ASSERT_TRUE(h.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
  EXPECT_EQ(Status(h)[64] & 0x0F, 0);
  EXPECT_EQ(dev.state().run, RunState::kUpdate);
  // The extension unit's reset and the legacy reset work the same way.
  ASSERT_TRUE(h.XuSet(0x0A, Block(0x00, 0x09)).good());
  Reopen(h, L"PID_0310", dev);
  EXPECT_EQ(dev.state().run, RunState::kFirmware);
  ASSERT_TRUE(h.VendorOut(0x01, 0, 7, {}).good());
  Reopen(h, L"PID_0310", dev);
  EXPECT_EQ(dev.state().run, RunState::kUpdate);
}

TEST_F(Reset, NewFamilyModeRegisterAndExtendedStatusFollow) {
  SimDevice& dev = sim.AddDevice("flash-new");
  std::uint8_t* m = dev.memory();
  m[0] = 0x02;
  m[0xF000] = 0x30;
  m[0xF001] = 0xA5;
  std::memcpy(m + 0x100C, kVersion, 8);
  TestHost h;
  ASSERT_TRUE(h.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0330"));
  EXPECT_EQ(h.VendorIn(0x25, 0, 0xC2A8, 1).data.at(0), 0);  // booted before the image
  ASSERT_TRUE(h.VendorOut(0x22, 0, 0, {}).good());
  Reopen(h, L"PID_0330", dev);
  EXPECT_EQ(h.VendorIn(0x25, 0, 0xC2A8, 1).data.at(0), 32) << "ROM&&SPI";
  std::vector<std::uint8_t> x;
  for (std::uint16_t p = 128; p < 132; ++p) {
    Reply r = h.VendorIn(0x07, p, 0, 8);
    x.insert(x.end(), r.data.begin(), r.data.end());
  }
  EXPECT_EQ(std::vector<std::uint8_t>(x.begin() + 12, x.begin() + 20),
            std::vector<std::uint8_t>(kVersion, kVersion + 8));
  // A zero at flash address 0 stops the ROM from running the image.
  m[0] = 0x00;
  ASSERT_TRUE(h.VendorOut(0x22, 0, 0, {}).good());
  Reopen(h, L"PID_0330", dev);
  EXPECT_EQ(h.VendorIn(0x25, 0, 0xC2A8, 1).data.at(0), 0) << "ROM";
}

TEST_F(Reset, OtpAndEepromFirmware) {
  SimDevice& otp = sim.AddDevice("otp");
  std::uint8_t* o = otp.memory();
  // A code block of 0x200 bytes at 0: header signature at byte 1, version at 0x11B.
  o[0] = 0x60;
  o[1] = 0xA5;
  std::memcpy(o + 0x11B, kVersion, 8);
  const std::uint8_t entry[5] = {0x00, 0x00, 0x02, 0x00, 0x55};
  std::memcpy(o + 0x3F70, entry, 5);
  SimDevice& eep = sim.AddDevice("eeprom8");
  eep.memory()[1] = 0xA5;
  TestHost h;
  ASSERT_TRUE(h.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0340"));
  ASSERT_TRUE(h.VendorOut(0x22, 0, 0, {}).good());
  TestHost e;
  ASSERT_TRUE(e.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0311"));
  ASSERT_TRUE(e.VendorOut(0x22, 0, 0, {}).good());
  Reopen(h, L"PID_0340", otp);
  EXPECT_EQ(h.VendorIn(0x25, 0, 0xC2A8, 1).data.at(0), 16) << "ROM&&OTP";
  Reply x = h.VendorIn(0x07, 129, 0, 8);
  EXPECT_EQ(x.data[4], 0x12);
  EXPECT_EQ(otp.VersionText(), "1.234.5678-9ABC.DEF0");
  ASSERT_TRUE(e.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0311"));
  EXPECT_EQ(eep.state().run, RunState::kFirmware);
  // A substitution entry pointing into the block entry makes it invalid.
  const std::uint8_t ecc[4] = {0x3F, 0x72, 0x00, 0x5A};
  std::memcpy(o + 0x3FC0, ecc, 4);
  ASSERT_TRUE(h.VendorOut(0x22, 0, 0, {}).good());
  Reopen(h, L"PID_0340", otp);
  EXPECT_EQ(otp.state().run, RunState::kRom);
}

// What a reset boots from the flash: a code image (code at address 0, the configuration
// area's header at the chip's configuration address) under its tag on the old family; on
// the new family (no tag) unless the tool cleared byte 0, the area's type or the tag; an
// image whose area header stands at the start; the OTP layout a new-family flash holds
// for a 16 KiB image.
TEST(Boot, RunsTheFlashImageOnlyWhenItIsValid) {
  enum Shape {
    kBlank,
    kImage,
    kNoTag,
    kNoCode,
    kNoArea,
    kAreaElsewhere,
    kTagCleared,
    kSmall,
    kOtpLayout
  };
  struct Case {
    const char* what;
    const char* profile;
    const wchar_t* pid;
    Shape shape;
    bool bootSpi;
    RunState run;
    int mode;  // the mode register, -1 for a chip without one
    const char* version;
  } cases[] = {
      {"old family: tagged image", "flash-old", L"PID_0310", kImage, false, RunState::kFirmware, -1,
       "1.234.5678-9ABC.DEF0"},
      {"old family: blank", "flash-old", L"PID_0310", kBlank, false, RunState::kRom, -1, nullptr},
      {"old family: no tag", "flash-old", L"PID_0310", kNoTag, false, RunState::kRom, -1, nullptr},
      {"old family: no code", "flash-old", L"PID_0310", kNoCode, false, RunState::kRom, -1,
       nullptr},
      {"old family: no area", "flash-old", L"PID_0310", kNoArea, false, RunState::kRom, -1,
       nullptr},
      {"old family: area not where the chip looks", "flash-old", L"PID_0310", kAreaElsewhere, false,
       RunState::kRom, -1, nullptr},
      {"new family: image without tag", "flash-new", L"PID_0330", kNoTag, false,
       RunState::kFirmware, 32, "1.234.5678-9ABC.DEF0"},
      {"new family: booting from SPI", "flash-new", L"PID_0330", kImage, true, RunState::kFirmware,
       8, "1.234.5678-9ABC.DEF0"},
      {"new family: tag cleared", "flash-new", L"PID_0330", kTagCleared, false, RunState::kRom, 0,
       nullptr},
      {"new family: byte 0 cleared", "flash-new", L"PID_0330", kNoCode, false, RunState::kRom, 0,
       nullptr},
      {"new family: area type cleared", "flash-new", L"PID_0330", kNoArea, false, RunState::kRom, 0,
       nullptr},
      {"new family: area header at the start", "flash-new", L"PID_0330", kSmall, false,
       RunState::kFirmware, 32, "F.EDC.BA98-7654.3210"},
      {"new family: OTP layout", "flash-new", L"PID_0330", kOtpLayout, false, RunState::kFirmware,
       24, "F.EDC.BA98-7654.3210"},
      {"dual package: image", "flash-dual", L"PID_1010", kNoTag, false, RunState::kFirmware, 32,
       "1.234.5678-9ABC.DEF0"},
  };
  constexpr std::uint8_t kSmallVersion[8] = {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimulatedPlatform sim;
    DeviceConfig config;
    ASSERT_TRUE(MakeProfile(c.profile, c.profile, config));
    config.bootFromSpi = c.bootSpi;
    SimDevice& dev = sim.AddDevice(config);
    std::uint8_t* m = dev.memory();
    const std::uint32_t area = config.configAddress;
    if (c.shape != kBlank && c.shape != kSmall && c.shape != kOtpLayout) {
      m[0] = c.shape == kNoCode ? 0x00 : 0x02;
      const std::uint32_t at = c.shape == kAreaElsewhere ? 0xF000 : area;
      m[at] = c.shape == kNoArea ? 0x00 : 0x55;
      m[at + 1] = 0xA5;
      std::memcpy(m + 0x100C, kVersion, 8);
      const bool tag = c.shape != kNoTag && c.shape != kTagCleared;
      m[0xEFFE] = tag ? 0x55 : c.shape == kTagCleared ? 0x00 : 0xFF;
      m[0xEFFF] = tag ? 0xAA : c.shape == kTagCleared ? 0x00 : 0xFF;
    }
    if (c.shape == kSmall || c.shape == kOtpLayout) {
      m[0] = 0x55;
      m[1] = 0xA5;
      std::memcpy(m + 0x11B, kSmallVersion, 8);
    }
    if (c.shape == kOtpLayout) {
      // The code block at 0 (0x200 bytes, entry 15), the tables zeroed from 0x3F60.
      std::memset(m + 0x3F60, 0, 0xA0);
      const std::uint8_t entry[5] = {0x00, 0x00, 0x02, 0x00, 0x55};
      std::memcpy(m + 0x3FBB, entry, 5);
    }
    TestHost h;
    ASSERT_TRUE(h.Open(platform::kGuidDevInterfaceUsbDevice, c.pid));
    ASSERT_TRUE(h.VendorOut(0x22, 0, 0, {}).good());
    platform::Sleep(config.timing.reenumMs + config.timing.notReadyMs);
    ASSERT_TRUE(h.Open(platform::kGuidDevInterfaceUsbDevice, c.pid));
    EXPECT_EQ(dev.state().run, c.run);
    if (c.mode >= 0) {
      EXPECT_EQ(h.VendorIn(0x25, 0, 0xC2A8, 1).data.at(0), c.mode);
    }
    // Status byte 64: 0x31 (cached code, dotted format) for firmware, 0 for ROM code.
    Reply s = h.VendorIn(0x07, 8, 0, 8);
    EXPECT_EQ(s.data.at(0), c.run == RunState::kFirmware ? 0x31 : 0x00);
    if (c.version != nullptr) {
      EXPECT_EQ(dev.VersionText(), c.version);
    }
  }
}

TEST_F(Reset, CompanionPortOfAUsb3RootHub) {
  SimDevice& dev = sim.AddDevice("flash-dual");
  std::uint8_t* m = dev.memory();
  m[0] = 0x02;
  m[0xF000] = 0x30;
  m[0xF001] = 0xA5;
  TestHost h;
  ASSERT_TRUE(h.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_1010"));
  std::wstring before = Text(h.device(), platform::DeviceProperty::kLocationPaths);
  EXPECT_EQ(before, L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)");
  ASSERT_TRUE(h.VendorOut(0x22, 0, 0, {}).good());
  Reopen(h, L"PID_1010", dev);
  EXPECT_EQ(Text(h.device(), platform::DeviceProperty::kLocationPaths),
            L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(17)");
  std::uint32_t address = 0;
  platform::GetDeviceInventory()->GetNumberProperty(h.device(), platform::DeviceProperty::kAddress,
                                                    address);
  EXPECT_EQ(address, 17u);
  // The root hub names the pair both ways.
  auto inv = platform::GetDeviceInventory();
  std::vector<platform::DeviceInterfaceEntry> hubs;
  inv->ListDeviceInterfaces(platform::kGuidDevInterfaceUsbHub, 0, hubs);
  std::wstring root30;
  for (auto& x : hubs)
    if (x.path.find(L"root_hub30") != std::wstring::npos) root30 = x.path;
  std::uint32_t companion = 0;
  ASSERT_EQ(inv->GetHubPortCompanion(root30, 1, companion), 0u);
  EXPECT_EQ(companion, 17u);
  ASSERT_EQ(inv->GetHubPortCompanion(root30, 17, companion), 0u);
  EXPECT_EQ(companion, 1u);
}

}  // namespace
}  // namespace vantor::sim
