// What MP_ReadDeviceInfo and MP_GetFwVersion read from the simulated device: identity,
// version texts, family flags, mode text and inRom.
#include <gtest/gtest.h>

#include "flows/flash_info.h"
#include "platform/debug_output.h"
#include "support/device_rig.h"

namespace vantor::test {
namespace {

sim::SimDevice& AddDevice(DeviceRig& rig, const char* profile, std::uint16_t chipId,
                          sim::RunState run, std::uint8_t mode) {
  sim::SimDevice& device = rig.Add(profile, nullptr, [&](sim::DeviceConfig& config) {
    if (chipId != 0) config.chipId = chipId;
  });
  sim::DeviceState state = device.state();
  state.run = run;
  state.mode = mode;
  for (int i = 0; i < 8; ++i) state.version[i] = static_cast<std::uint8_t>(0x21 + i);
  device.RestoreState(state);
  return device;
}

TEST(DeviceInfo, OldFamilyInRom) {
  DeviceRig rig;
  AddDevice(rig, "flash-old", 0, sim::RunState::kRom, 0);
  CSPIFlashInfo_USB flow;
  ASSERT_EQ(flow.MP_OpenDevice(0), 1);
  flow.modeText = L"earlier";
  std::vector<std::string> debug;
  const int sink = platform::AddDebugSink([&](std::string_view t) { debug.emplace_back(t); });
  EXPECT_EQ(flow.MP_ReadDeviceInfo(), 1);
  platform::RemoveDebugSink(sink);
  EXPECT_EQ(flow.connText, L"USB Audio Connected");
  EXPECT_EQ(flow.vid, 0x3A4B);
  EXPECT_EQ(flow.pid, 0x0310);
  EXPECT_EQ(flow.rev, 0x0100);
  EXPECT_EQ(flow.productName, L"Korvane USB Audio");
  EXPECT_EQ(flow.fwVersion.substr(0, 3), L"0x0");  // the ROM's plain format
  EXPECT_EQ(flow.fwVersion.substr(flow.fwVersion.size() - 17), L"-VID3A4B&&PID0310");
  EXPECT_EQ(flow.newFamily, 0u);
  EXPECT_EQ(flow.family0010, 0u);
  EXPECT_EQ(flow.modeText, L"earlier");  // old family: no mode register
  EXPECT_EQ(flow.inRom, 1);
  bool modeLine = false;
  for (const std::string& line : debug) modeLine |= line.find("modeEx is ") != std::string::npos;
  EXPECT_TRUE(modeLine);
  Lib_CloseDevice(flow.handle);
}

TEST(DeviceInfo, ChipsAndModes) {
  struct Case {
    const char* name;
    const char* profile;
    std::uint16_t chipId;
    sim::RunState run;
    std::uint8_t mode;
    std::uint32_t newFamily;
    std::uint32_t family0010;
    const wchar_t* modeText;
    std::uint8_t inRom;
  };
  using R = sim::RunState;
  const Case cases[] = {
      {"new family ROM", "otp", 0, R::kRom, 0, 1, 0, L"ROM", 1},
      {"new family ROM&&OTP", "otp", 0, R::kRom, 16, 1, 0, L"ROM&&OTP", 0},
      {"new family SPI", "flash-new", 0, R::kFirmware, 8, 1, 0, L"SPI", 0},
      {"new family SPI&&OTP", "flash-new", 0, R::kFirmware, 24, 1, 0, L"SPI&&OTP", 0},
      {"new family ROM&&SPI", "flash-new", 0, R::kFirmware, 32, 1, 0, L"ROM&&SPI", 0},
      {"new family unknown mode", "flash-new", 0, R::kFirmware, 7, 1, 0, L"Unknown", 0},
      {"family 0x0010", "flash-old", 0x0012, R::kRom, 0, 0, 1, L"before", 1},
      {"0xFF56", "flash-old", 0xFF56, R::kRom, 0, 1, 0, L"ROM", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRig rig;
    AddDevice(rig, c.profile, c.chipId, c.run, c.mode);
    CSPIFlashInfo_USB flow;
    ASSERT_EQ(flow.MP_OpenDevice(0), 1);
    flow.modeText = L"before";
    EXPECT_EQ(flow.MP_ReadDeviceInfo(), 1);
    EXPECT_EQ(flow.newFamily, c.newFamily);
    EXPECT_EQ(flow.family0010, c.family0010);
    EXPECT_EQ(flow.modeText, c.modeText);
    EXPECT_EQ(flow.inRom, c.inRom);
    Lib_CloseDevice(flow.handle);
  }
}

TEST(DeviceInfo, FirmwareVersionNumbers) {
  DeviceRig rig;
  AddDevice(rig, "flash-old", 0, sim::RunState::kFirmware, 0);
  CSPIFlashInfo_USB flow;
  ASSERT_EQ(flow.MP_OpenDevice(0), 1);
  EXPECT_EQ(flow.MP_GetFwVersion(), 1);
  // The dotted format: the version record 21 22 23 24 25 26 27 28.
  EXPECT_EQ(flow.fwVersion, L"2.122.2324-2526.2728");
  EXPECT_EQ(flow.ver0, 2);
  EXPECT_EQ(flow.ver1, 1);
  EXPECT_EQ(flow.ver2, 0x22);
  EXPECT_EQ(flow.ver3, 0x2324);
  EXPECT_EQ(flow.ver4, 0x2526);
  EXPECT_EQ(flow.ver5, 0x2728);
  EXPECT_EQ(flow.inRom, 0);
  EXPECT_EQ(flow.MP_ReadDeviceInfo(), 1);
  EXPECT_EQ(flow.fwVersion, L"2.122.2324-2526.2728-VID3A4B&&PID0310");
  flow.fwVersion.clear();
  EXPECT_EQ(flow.MP_RefreshFwVersion(), 1);
  EXPECT_EQ(flow.fwVersion, L"2.122.2324-2526.2728-VID3A4B&&PID0310");

  std::uint8_t format = 9;
  EXPECT_EQ(flow.MP_GetVersionFormat(format), 1);
  EXPECT_EQ(format, 2);
  std::uint8_t cache = 9;
  EXPECT_EQ(flow.MP_IsCacheMode(cache), 1);
  EXPECT_EQ(cache, 1);
  Lib_CloseDevice(flow.handle);
}

TEST(DeviceInfo, OldFamilyWithAnOtpModeUsesTheStatusPages) {
  DeviceRig rig;
  // Family 0x3000 has the mode register; mode 16 selects the pages' dotted text even
  // though the chip is no new-family chip.
  AddDevice(rig, "flash-old", 0x3005, sim::RunState::kRom, 16);
  CSPIFlashInfo_USB flow;
  ASSERT_EQ(flow.MP_OpenDevice(0), 1);
  EXPECT_EQ(flow.MP_GetFwVersion(), 1);
  EXPECT_EQ(flow.newFamily, 0u);
  // The ROM's own status has the plain format; the pages hold the version record.
  EXPECT_EQ(flow.fwVersion, L"2.122.2324-2526.2728");
  EXPECT_EQ(flow.ver5, 0x2728);
  Lib_CloseDevice(flow.handle);
}

TEST(DeviceInfo, ChipIdAndOpenFailure) {
  DeviceRig rig;
  AddDevice(rig, "otp", 0xD5A1, sim::RunState::kRom, 0);
  CSPIFlashInfo_USB flow;
  std::string debug;
  const int sink = platform::AddDebugSink([&](std::string_view t) { debug += t; });
  const std::uint64_t start = rig.ElapsedMs();
  EXPECT_EQ(flow.MP_OpenDevice(3), 0);  // no such index
  EXPECT_EQ(rig.ElapsedMs() - start, 128u);
  platform::RemoveDebugSink(sink);
  EXPECT_EQ(flow.handle, 0u);
  EXPECT_NE(debug.find("----------------:"), std::string::npos) << debug;
  EXPECT_NE(debug.find("MP_OpenDevice Fail 3"), std::string::npos) << debug;
  ASSERT_EQ(flow.MP_OpenDevice(0), 1);
  EXPECT_EQ(flow.MP_ReadChipID(), 1);
  EXPECT_EQ(flow.familyLo, 0xA0);
  EXPECT_EQ(flow.familyHi, 0xD0);
  // Opening again closes the handle first.
  EXPECT_EQ(flow.MP_OpenDevice(0), 1);
  EXPECT_EQ(rig.OpenInterfaces(), 1u);
  Lib_CloseDevice(flow.handle);
}

}  // namespace
}  // namespace vantor::test
