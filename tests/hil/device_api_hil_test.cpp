// The device API on a real Linux kernel: run inside the hardware-in-the-loop guest
// (tests/hil/run.sh) against the simulated chip attached over USB/IP, through the real
// libusb backend. Elsewhere (no VANTOR_HIL in the environment) every case is skipped.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "device/device_api.h"
#include "device/device_enum.h"
#include "platform/device_inventory.h"

namespace vantor {
namespace {

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

// VANTOR_HIL=<the simulated device's SPI memory file>, which the simulator maps: what the
// device holds, to compare reads with.
class RealUsb : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Env("VANTOR_HIL") == nullptr) GTEST_SKIP() << "runs in the HIL guest only";
    ASSERT_EQ(Lib_Init(0, 0), 1) << "the libusb proxy does not open";
  }
  void TearDown() override {
    if (Env("VANTOR_HIL") != nullptr) Lib_Uninit();
  }
};

std::wstring PdoName(LibHandle handle) {
  std::wstring name;
  GetDevInstPdoName(handle, name);
  return name;
}

TEST_F(RealUsb, ReadsResetsAndReEnumeratesThroughTheKernel) {
  if (Env("VANTOR_HIL_NO_RETURN") != nullptr) GTEST_SKIP() << "the device does not come back";
  LibHandle handle = Lib_OpenDevice(0);
  ASSERT_NE(handle, 0u);
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  ASSERT_EQ(Lib_GetIds(handle, &vid, &pid, nullptr), 1);
  EXPECT_EQ(vid, 0x3A4B);
  EXPECT_EQ(pid, 0x0310);

  std::uint8_t status[104] = {};
  ASSERT_EQ(Lib_GetDevStatus104(handle, status, 0), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(status + 24), 7), "KESTRAL");

  // A whole flash read (64 requests of 4096 bytes) equals the memory the device holds.
  std::ifstream file(Env("VANTOR_HIL"), std::ios::binary);
  const std::vector<std::uint8_t> memory{std::istreambuf_iterator<char>(file), {}};
  ASSERT_EQ(memory.size(), 0x40000u);
  std::vector<std::uint8_t> read(memory.size(), 0);
  ASSERT_EQ(Lib_SPI_SF_Read(handle, 0, static_cast<std::uint32_t>(read.size()), read.data(), 0,
                            nullptr, nullptr),
            1);
  EXPECT_EQ(read, memory);

  // Registers: written and read back.
  const std::uint8_t pattern[4] = {0x5A, 0xA5, 0x3C, 0xC3};
  std::uint8_t back[4] = {};
  ASSERT_EQ(Lib_WriteMem(handle, 0xC100, 4, pattern, 0), 1);
  ASSERT_EQ(Lib_ReadMem(handle, 0xC100, 4, back, 0), 1);
  EXPECT_EQ(std::vector<std::uint8_t>(back, back + 4),
            std::vector<std::uint8_t>(pattern, pattern + 4));

  // Into update code: the chip leaves the bus, the kernel enumerates it anew (a new
  // device number), and the reopen finds it at the same place.
  const std::wstring before = PdoName(handle);
  ASSERT_EQ(Lib_Reset7(&handle, 0, 0, 2000), 1);
  ASSERT_NE(handle, 0u);
  EXPECT_NE(PdoName(handle), before);
  ASSERT_EQ(Lib_GetDevStatus104(handle, status, 0), 1);
  EXPECT_EQ(status[1], 1) << "runs update code";
  // And back into ROM.
  ASSERT_EQ(Lib_Reset9(&handle, 0x40, 2000), 1);
  ASSERT_EQ(Lib_GetDevStatus104(handle, status, 0), 1);
  EXPECT_EQ(status[1], 0) << "runs ROM code";
  Lib_CloseDevice(handle);
}

TEST_F(RealUsb, ADeviceThatDoesNotComeBackEndsTheResetWithinItsBudget) {
  if (Env("VANTOR_HIL_NO_RETURN") == nullptr) GTEST_SKIP() << "the device comes back";
  LibHandle handle = Lib_OpenDevice(0);
  ASSERT_NE(handle, 0u);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Lib_Reset7(&handle, 0, 0, 2000), 0);
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
          .count();
  EXPECT_LE(seconds, kLibResetBudgetMs / 1000 + 10);
  EXPECT_EQ(handle, 0u) << "nothing to open again";
}

}  // namespace
}  // namespace vantor
