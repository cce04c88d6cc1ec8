// The flash write protection the resets into ROM use: the pin registers per chip, the
// status register and the busy wait.
#include <gtest/gtest.h>

#include "flows/flash_info.h"
#include "support/device_rig.h"

namespace vantor::test {
namespace {

TEST(WriteProtect, PinRegistersPerChip) {
  struct Case {
    const char* name;
    const char* profile;
    std::uint16_t chipId;
    std::uint16_t regA, regB;
    std::uint8_t bit;
    bool dual;
  };
  const Case cases[] = {
      {"old family", "flash-old", 0, 0xFEA0, 0xFEA6, 0x01, false},
      {"0xB013", "flash-new", 0, 0xFEC0, 0xFEC6, 0x01, false},
      {"0xFF56", "flash-old", 0xFF56, 0x0404, 0x0406, 0x01, false},
      {"new 0x7010", "flash-old", 0x7012, 0x0650, 0x0652, 0x01, false},
      {"0xE010", "flash-old", 0xE011, 0x0505, 0x0507, 0x01, false},
      {"0x1010 single", "flash-dual", 0, 0x050C, 0x0512, 0x10, false},
      {"0x1010 dual", "flash-dual", 0, 0x050C, 0x0512, 0x10, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRig rig;
    sim::SimDevice& device = rig.Add(c.profile, nullptr, [&](sim::DeviceConfig& config) {
      if (c.chipId != 0) config.chipId = c.chipId;
      config.dualPackage = c.dual;
    });
    CSPIFlashInfo_USB flow;
    ASSERT_EQ(flow.MP_OpenDevice(0), 1);
    ASSERT_EQ(flow.MP_SPIDisableWriteProtect(), 1);
    EXPECT_EQ(device.registers().Read(c.regA) & c.bit, c.bit);
    EXPECT_EQ(device.registers().Read(c.regB) & c.bit, c.bit);
    if (c.dual) {
      EXPECT_EQ(device.registers().Read(0x050A) & 0x80, 0x80);
      EXPECT_EQ(device.registers().Read(0x0510) & 0x80, 0x80);
    }
    std::uint8_t status = 0xFF;
    ASSERT_EQ(flow.KF_SPI_SF_ReadSr(&status), 1);
    EXPECT_EQ(status & 0x9C, 0x00);

    ASSERT_EQ(flow.MP_SPIEnableWriteProtect(), 1);
    ASSERT_EQ(flow.KF_SPI_SF_ReadSr(&status), 1);
    if (c.dual) {
      // A dual package is left as it is.
      EXPECT_EQ(device.registers().Read(c.regB) & c.bit, c.bit);
      EXPECT_EQ(status & 0x9C, 0x00);
    } else {
      EXPECT_EQ(device.registers().Read(c.regA) & c.bit, c.bit);
      EXPECT_EQ(device.registers().Read(c.regB) & c.bit, 0);
      EXPECT_EQ(status & 0x9C, 0x8C);
    }
    Lib_CloseDevice(flow.handle);
  }
}

// A flash that stays busy refuses the status write: both steps fail.
TEST(WriteProtect, BusyFlashFailsBothSteps) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("flash-old");
  device.faults().stayBusy = true;
  CSPIFlashInfo_USB flow;
  ASSERT_EQ(flow.MP_OpenDevice(0), 1);
  EXPECT_EQ(flow.MP_SPIDisableWriteProtect(), 0);
  EXPECT_EQ(flow.MP_SPIEnableWriteProtect(), 0);
  Lib_CloseDevice(flow.handle);
}

TEST(WriteProtect, NoDeviceFails) {
  CSPIFlashInfo_USB flow;
  EXPECT_EQ(flow.MP_SPIDisableWriteProtect(), 0);
  EXPECT_EQ(flow.MP_SPIEnableWriteProtect(), 0);
}

}  // namespace
}  // namespace vantor::test
