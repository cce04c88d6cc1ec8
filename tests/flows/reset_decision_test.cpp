// Which reset MP_ResetToRomCode and MP_OpenRomDevice send, for chips, running modes and
// reset parameters, on the simulated device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/settings.h"
#include "flow_test_window.h"
#include "flows/flash_info.h"
#include "flows/flow_options.h"
#include "flows/last_result.h"
#include "image/memory_type.h"
#include "platform/debug_output.h"
#include "support/device_rig.h"

namespace vantor::test {
namespace {

struct DeviceSetup {
  const char* profile;
  std::uint16_t chipId;  // 0: the profile's
  sim::RunState run;
  std::uint8_t mode;
};

// The reset requests of the log: "update:PPPP" (into update code with parameter PPPP),
// "rom" (kind 9: the device layer reads the chip id and sets the reset latch 0xFF92
// first) or "rom-vendor" (kind 10: the bare vendor request).
std::vector<std::string> Resets(DeviceRig& rig) {
  std::vector<std::string> out;
  bool latch = false;
  for (const std::string& line : rig.LogLines()) {
    if (line.rfind("40 24 0000 ff92 ", 0) == 0) latch = true;
    if (line.rfind("40 20 ", 0) == 0) {
      out.push_back("update:" + line.substr(6, 4));
      latch = false;
    }
    if (line.rfind("40 22 ", 0) == 0) {
      out.push_back(latch ? "rom" : "rom-vendor");
      latch = false;
    }
  }
  return out;
}

sim::SimDevice& AddDevice(DeviceRig& rig, const DeviceSetup& setup) {
  sim::SimDevice& device = rig.Add(setup.profile, nullptr, [&](sim::DeviceConfig& config) {
    if (setup.chipId != 0) config.chipId = setup.chipId;
  });
  sim::DeviceState state = device.state();
  state.run = setup.run;
  state.mode = setup.mode;
  device.RestoreState(state);
  return device;
}

class ResetDecisionTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetMemoryType(MemoryType::kFlash);
    SetFlowOptions(kFlowOptionsDefault);
    SetLastResultCode(0);
  }
};

struct ResetCase {
  const char* name;
  DeviceSetup device;
  std::uint8_t resetParam;
  std::uint32_t options;
  MemoryType memory;
  std::vector<std::string> resets;
  std::uint8_t inRom;
  bool flashByte0Cleared;
};

TEST_F(ResetDecisionTest, ResetToRomCodeTable) {
  using R = sim::RunState;
  const ResetCase cases[] = {
      {"old family in ROM: no reset",
       {"flash-old", 0, R::kRom, 0},
       6,
       0x13,
       MemoryType::kFlash,
       {},
       1,
       false},
      {"old family running firmware: memory type as parameter",
       {"flash-old", 0, R::kFirmware, 0},
       6,
       0x13,
       MemoryType::kFlash,
       {"update:0000"},
       0,
       false},
      {"old family, OTP memory type",
       {"flash-old", 0, R::kFirmware, 0},
       6,
       0x13,
       MemoryType::kOtp,
       {"update:0006"},
       0,
       false},
      {"old family, option 0x04: parameter 2",
       {"flash-old", 0, R::kFirmware, 0},
       6,
       0x17,
       MemoryType::kFlash,
       {"update:0002"},
       0,
       false},
      {"old family, reset parameter 5: parameter 2",
       {"flash-old", 0, R::kFirmware, 0},
       5,
       0x13,
       MemoryType::kFlash,
       {"update:0002"},
       0,
       false},
      {"old family in ROM with family 0x3000 is reset",
       {"flash-old", 0x3005, R::kRom, 0},
       6,
       0x13,
       MemoryType::kFlash,
       {"update:0000"},
       0,
       false},
      {"new family, reset parameter 0: no reset",
       {"otp", 0, R::kRom, 0},
       0,
       0x13,
       MemoryType::kOtp,
       {},
       1,
       false},
      {"new family: update mode with parameter 6",
       {"otp", 0, R::kRom, 0},
       6,
       0x13,
       MemoryType::kOtp,
       {"update:0006"},
       0,
       false},
      {"new family: update mode with parameter 5",
       {"otp", 0, R::kRom, 16},
       5,
       0x13,
       MemoryType::kOtp,
       {"update:0005"},
       0,
       false},
      {"0xB013 in SPI mode: reset to ROM",
       {"flash-new", 0, R::kFirmware, 8},
       6,
       0x13,
       MemoryType::kFlash,
       {"rom"},
       0,
       false},
      {"0xB014 in SPI mode: reset to ROM",
       {"flash-new", 0xB014, R::kFirmware, 8},
       6,
       0x13,
       MemoryType::kFlash,
       {"rom"},
       0,
       false},
      {"other new family in ROM&&SPI: update mode, flash untouched",
       {"flash-new", 0xC012, R::kFirmware, 32},
       6,
       0x13,
       MemoryType::kFlash,
       {"update:0006"},
       0,
       false},
      {"0xB013 in ROM&&SPI: first flash byte cleared, ROM by vendor request",
       {"flash-new", 0, R::kFirmware, 32},
       6,
       0x13,
       MemoryType::kFlash,
       {"rom-vendor"},
       0,
       true},
  };
  for (const ResetCase& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRig rig;
    sim::SimDevice& device = AddDevice(rig, c.device);
    SetMemoryType(c.memory);
    SetFlowOptions(c.options);
    CSPIFlashInfo_USB flow;
    flow.cmdFlags = kCmdFlagsRun;
    flow.resetParam = c.resetParam;
    ASSERT_EQ(flow.MP_OpenDevice(0), 1);
    flow.MP_ReadDeviceInfo();
    const std::uint8_t byte0 = device.memory()[0];
    rig.StartLog();
    EXPECT_EQ(flow.MP_ResetToRomCode(), 1);
    EXPECT_EQ(Resets(rig), c.resets);
    EXPECT_EQ(flow.inRom, c.inRom);
    EXPECT_EQ(device.memory()[0], c.flashByte0Cleared ? 0x00 : byte0);
    // The flash byte goes through the extension unit (command block 02 82: SPI write of
    // one byte at 0), never as a vendor request.
    EXPECT_EQ(rig.CountLog("21 01 0a00 0600 8 ok 0282000001"), c.flashByte0Cleared ? 1u : 0u);
    EXPECT_EQ(rig.CountLog("40 2f "), 0u);
    EXPECT_EQ(flow.cmdFlags, kCmdFlagsRun);
    if (!c.resets.empty()) {
      EXPECT_NE(flow.handle, 0u);
      EXPECT_EQ(flow.handle, Lib_GetHandle());
    }
    Lib_CloseDevice(flow.handle);
  }
}

TEST_F(ResetDecisionTest, ResetToRomWritesFFC6ForOtpInRomModes) {
  for (const bool otp : {true, false}) {
    SCOPED_TRACE(otp ? "OTP" : "flash");
    DeviceRig rig;
    AddDevice(rig, {"flash-new", 0, sim::RunState::kRom, 16});
    SetMemoryType(otp ? MemoryType::kOtp : MemoryType::kFlash);
    CSPIFlashInfo_USB flow;
    flow.cmdFlags = kCmdFlagsRun;  // the resets to ROM reopen from the audio list
    ASSERT_EQ(flow.MP_OpenDevice(0), 1);
    flow.MP_ReadDeviceInfo();
    ASSERT_EQ(flow.modeText, L"ROM&&OTP");
    rig.StartLog();
    EXPECT_EQ(flow.MP_ResetDevice(kResetToRom, 0), 1);
    EXPECT_EQ(rig.CountLog("40 24 0000 ffc6 1 ok 2a"), otp ? 1u : 0u);
    // Kind 10 never writes it.
    rig.StartLog();
    flow.MP_ReadDeviceInfo();
    EXPECT_EQ(flow.MP_ResetDevice(kResetToRomVendor, 0), 1);
    EXPECT_EQ(rig.CountLog("40 24 0000 ffc6"), 0u);
    Lib_CloseDevice(flow.handle);
  }
}

TEST_F(ResetDecisionTest, OpenRomDeviceInRomPreparesTheChipWithoutReset) {
  struct Case {
    const char* name;
    std::uint16_t chipId;
    std::uint8_t mode;
    std::uint32_t altPinMux;
    std::uint8_t pinMuxBefore;
    std::uint8_t fed0;  // expected 0xFED0
    std::uint8_t d6ad;  // expected 0xD6AD
  };
  const Case cases[] = {
      {"0xD010 in ROM", 0xD010, 0, 0, 0x00, 0x1E, 0x00},
      {"0xD010 in ROM&&OTP", 0xD010, 16, 0, 0x00, 0x1E, 0x00},
      {"0xD011 standard pins", 0xD011, 0, 0, 0x43, 0x00, 0x61},
      {"0xD011 alternative pins", 0xD011, 16, 1, 0x61, 0x00, 0x43},
      {"0xD511 counts as 0xD011", 0xD511, 0, 1, 0x20, 0x00, 0x02},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRig rig;
    sim::SimDevice& device = AddDevice(rig, {"otp", c.chipId, sim::RunState::kRom, c.mode});
    device.registers().Write(0xD6AD, c.pinMuxBefore);
    TestFlowWindow window;
    CSPIFlashInfo_USB flow;
    flow.resetParam = 6;
    flow.altPinMux = c.altPinMux;
    ASSERT_EQ(flow.MP_OpenDevice(0), 1);
    flow.MP_ReadDeviceInfo();
    flow.inRom = 0;
    rig.StartLog();
    EXPECT_EQ(flow.MP_OpenRomDevice(), 1);
    EXPECT_EQ(flow.inRom, 1);
    EXPECT_TRUE(Resets(rig).empty());
    EXPECT_TRUE(window.Params(WM_FLOW_STATUS).empty());
    EXPECT_EQ(device.registers().Read(0xFED0), c.fed0);
    EXPECT_EQ(device.registers().Read(0xD6AD), c.d6ad);
    Lib_CloseDevice(flow.handle);
  }
}

TEST_F(ResetDecisionTest, OpenRomDeviceFromSpiModeClearsTheBootMarksThenResets) {
  DeviceRig rig;
  sim::SimDevice& device = AddDevice(rig, {"flash-new", 0, sim::RunState::kFirmware, 8});
  std::uint8_t* flash = device.memory();
  flash[0] = 0x30;
  flash[0xF000] = 0x55;
  flash[0xEFFE] = 0x55;
  flash[0xEFFF] = 0xAA;
  TestFlowWindow window;
  CSPIFlashInfo_USB flow;
  flow.cmdFlags = kCmdFlagsRun;
  flow.resetParam = 6;
  ASSERT_EQ(flow.MP_OpenDevice(0), 1);
  flow.MP_ReadDeviceInfo();
  ASSERT_EQ(flow.modeText, L"SPI");
  rig.StartLog();
  EXPECT_EQ(flow.MP_OpenRomDevice(), 1);
  EXPECT_EQ(flash[0xF000], 0x00);
  EXPECT_EQ(flash[0xEFFE], 0x00);
  EXPECT_EQ(flash[0xEFFF], 0x00);
  EXPECT_EQ(flash[0], 0x30);  // only the ROM&&SPI reset clears byte 0
  // Both marks and the write protection go through the extension unit.
  EXPECT_EQ(rig.CountLog("21 01 0a00 0600 8 ok 028200f001"), 1u);
  EXPECT_EQ(rig.CountLog("21 01 0a00 0600 8 ok 0282feef02"), 1u);
  EXPECT_EQ(rig.CountLog("40 2f "), 0u);
  EXPECT_EQ(rig.CountLog("40 31 "), 0u);
  EXPECT_EQ(Resets(rig), std::vector<std::string>{"rom"});
  EXPECT_EQ(window.Params(WM_FLOW_STATUS), std::vector<std::uintptr_t>{41718});
  EXPECT_EQ(flow.cmdFlags, kCmdFlagsRun);
  EXPECT_EQ(device.state().run, sim::RunState::kRom);
  Lib_CloseDevice(flow.handle);
}

// Every kind hands the "Wait Time" setting to the device layer as the settle time: the
// reset takes that long plus what the device needs to come back, the same for each value
// (each long enough for the simulated device to be back on the bus when it ends).
TEST_F(ResetDecisionTest, ResetsSettleForTheWaitTimeSetting) {
  for (const std::uint8_t kind : {kResetToUpdate, kResetToRom, kResetToRomVendor}) {
    SCOPED_TRACE(static_cast<int>(kind));
    std::vector<std::uint64_t> beyondWait;
    for (const std::int32_t waitMs : {3000, 5000, 9000}) {
      DeviceRig rig;
      AddDevice(rig, {"flash-new", 0, sim::RunState::kFirmware, 8});
      SetSetting(Setting::WaitTime, waitMs);
      CSPIFlashInfo_USB flow;
      flow.cmdFlags = kCmdFlagsRun;
      ASSERT_EQ(flow.MP_OpenDevice(0), 1);
      const std::uint64_t start = rig.ElapsedMs();
      EXPECT_EQ(flow.MP_ResetDevice(kind, 6), 1);
      const std::uint64_t took = rig.ElapsedMs() - start;
      ASSERT_GE(took, static_cast<std::uint64_t>(waitMs));
      beyondWait.push_back(took - waitMs);
      Lib_CloseDevice(flow.handle);
    }
    SetSetting(Setting::WaitTime, 5000);
    EXPECT_EQ(beyondWait[0], beyondWait[1]);
    EXPECT_EQ(beyondWait[1], beyondWait[2]);
  }
}

// Chip 0xD011 that had to be reset gets its pin-mux byte set for the alternative pins
// on the device that came back; with the standard pins the byte is left as it comes.
TEST_F(ResetDecisionTest, OpenRomDeviceSetsTheAlternativePinMuxAfterTheReset) {
  struct Case {
    const char* name;
    std::uint16_t chipId;
    std::uint32_t altPinMux;
    std::uint8_t d6ad;  // after the reset (the reset clears the chip's RAM)
  };
  const Case cases[] = {
      {"0xD011 alternative pins", 0xD011, 1, 0x02},
      {"0xD011 standard pins", 0xD011, 0, 0x00},
      {"0xD010 alternative pins", 0xD010, 1, 0x00},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRig rig;
    sim::SimDevice& device = AddDevice(rig, {"otp", c.chipId, sim::RunState::kFirmware, 24});
    TestFlowWindow window;
    CSPIFlashInfo_USB flow;
    flow.cmdFlags = kCmdFlagsRun;
    flow.resetParam = 6;
    flow.altPinMux = c.altPinMux;
    ASSERT_EQ(flow.MP_OpenDevice(0), 1);
    flow.MP_ReadDeviceInfo();
    ASSERT_EQ(flow.modeText, L"SPI&&OTP");
    rig.StartLog();
    EXPECT_EQ(flow.MP_OpenRomDevice(), 1);
    EXPECT_EQ(Resets(rig), std::vector<std::string>{"update:0006"});
    EXPECT_EQ(device.registers().Read(0xD6AD), c.d6ad);
    EXPECT_EQ(device.registers().Read(0xFED0), 0x00);
    EXPECT_EQ(window.Params(WM_FLOW_STATUS), std::vector<std::uintptr_t>{41718});
    EXPECT_TRUE(window.Params(WM_FLOW_ERROR).empty());
    Lib_CloseDevice(flow.handle);
  }
}

TEST_F(ResetDecisionTest, OpenRomDeviceReportsAFailedReset) {
  DeviceRig rig;
  sim::SimDevice& device = AddDevice(rig, {"otp", 0, sim::RunState::kRom, 0});
  sim::RequestMatch stallReset;
  stallReset.type = 0x40;
  stallReset.request = 0x20;
  device.faults().stall.push_back(stallReset);
  TestFlowWindow window;
  CSPIFlashInfo_USB flow;
  flow.resetParam = 6;
  ASSERT_EQ(flow.MP_OpenDevice(0), 1);
  flow.MP_ReadDeviceInfo();
  flow.modeText = L"Unknown";  // not in ROM: a reset is needed
  std::string debug;
  const int sink = platform::AddDebugSink([&](std::string_view t) { debug += t; });
  EXPECT_EQ(flow.MP_OpenRomDevice(), 0);
  platform::RemoveDebugSink(sink);
  const std::vector<PostedMessage> expected = {{WM_FLOW_STATUS, 41718, 0},
                                               {WM_FLOW_ERROR, 41512, 0}};
  EXPECT_EQ(window.posted, expected);
  EXPECT_EQ(GetLastResultCode(), 41512);
  EXPECT_NE(debug.find("----------------:"), std::string::npos) << debug;
  EXPECT_NE(debug.find("Device ResetToUpdateFW Fail"), std::string::npos) << debug;
  Lib_CloseDevice(flow.handle);
}

}  // namespace
}  // namespace vantor::test
