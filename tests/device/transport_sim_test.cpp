// Both command transports against the simulated device, in both kernel layouts: status,
// memory written and read back, a flash programmed and read back, and a reset after
// which the device is gone, comes back, and is not ready for a while. Also the
// extension-unit functions without a device object.
#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "device/cam_dev_record.h"
#include "device/ext_unit.h"
#include "device/ext_unit_functions.h"
#include "device/vendor_request_v2.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/named_mutex.h"
#include "sim/simulated_platform.h"
#include "support/cmd_recorder.h"
#include "support/sim_proxy.h"

namespace vantor {
namespace {

using test::AttachedSimDevice;
using test::ScopedSimProxy;
using test::WireLayout;

enum class Transport { kVendorRequests, kExtensionUnit };

constexpr std::uint8_t kUnit = 6;  // the flash-old profile's extension unit

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 7 + seed + (i >> 8));
  return v;
}

class TransportOnSimulator : public ::testing::TestWithParam<std::tuple<Transport, WireLayout>> {
 protected:
  TransportOnSimulator() {
    Attach();
    if (std::get<0>(GetParam()) == Transport::kVendorRequests) {
      transport = std::make_unique<CVendorRequestV2>(&record);
    } else {
      auto xu = std::make_unique<CExtUnit>(&record, kUnit, lockName, 2000);
      extUnit = xu.get();
      transport = std::move(xu);
    }
  }
  ~TransportOnSimulator() override {
    transport.reset();
    platform::RemoveNamedMutex(lockName);
  }

  // Attaches the device (again) and points the record at it, as a reopen does.
  void Attach() {
    ASSERT_TRUE(dev.Open(L"PID_0310")) << dev.error();
    record.hKvProxyDevLow = dev.low();
    record.hKvProxyDevHigh = dev.high();
    record.interfaceNumber = 0;  // the audio control interface
  }

  sim::SimulatedPlatform sim;
  sim::SimDevice& device = sim.AddDevice("flash-old");
  ScopedSimProxy proxy{std::get<1>(GetParam())};
  AttachedSimDevice dev;
  CamDevRecord record;
  std::wstring lockName = test::UniqueLockName("sim");
  std::unique_ptr<CVendorCmdCommon> transport;
  CExtUnit* extUnit = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Transports, TransportOnSimulator,
                         ::testing::Combine(::testing::Values(Transport::kVendorRequests,
                                                              Transport::kExtensionUnit),
                                            ::testing::Values(WireLayout::k64, WireLayout::k32)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) == Transport::kVendorRequests
                                                  ? "Vendor"
                                                  : "ExtUnit") +
                                  test::LayoutName(std::get<1>(info.param));
                         });

TEST_P(TransportOnSimulator, StatusAndMemory) {
  std::vector<std::uint8_t> status(104);
  ASSERT_EQ(transport->GetDevStatus(0, status.data(), 104), kSOk);
  EXPECT_EQ(std::string(status.begin() + 24, status.begin() + 32), std::string("KESTRAL\0", 8));
  EXPECT_EQ(status[6] | status[7] << 8, device.config().statusChipId);

  std::uint8_t chip[2] = {};
  ASSERT_EQ(transport->ReadMem(0xFE21, 2, chip, nullptr, nullptr), kSOk);
  EXPECT_EQ(chip[0] | chip[1] << 8, 0x7011);

  const std::vector<std::uint8_t> data = Pattern(300, 3);
  ASSERT_EQ(transport->WriteMem(0x8000, 300, data.data(), nullptr, nullptr), kSOk);
  std::vector<std::uint8_t> back(300);
  ASSERT_EQ(transport->ReadMem(0x8000, 300, back.data(), nullptr, nullptr), kSOk);
  EXPECT_EQ(back, data);
}

TEST_P(TransportOnSimulator, FlashProgrammedAndReadBack) {
  if (extUnit != nullptr) {
    std::uint16_t size = 512;
    ASSERT_TRUE(extUnit->ChangeDataControlSize(&size));
    EXPECT_EQ(device.dataControlSize(), 512);
  }
  const std::uint64_t before = platform::GetClock().NowMs();
  ASSERT_EQ(transport->SPI_SF_EraseChip(60000), kSOk);
  std::uint8_t sr = 0xFF;
  ASSERT_EQ(transport->SPI_SF_ReadSr(&sr), kSOk);
  EXPECT_EQ(sr & 0x01, 0);  // the erase has finished
  EXPECT_GE(platform::GetClock().NowMs() - before, device.config().timing.chipEraseMs);

  const std::vector<std::uint8_t> image = Pattern(10000, 9);
  ASSERT_EQ(transport->SPI_SF_Write(0x1000, 10000, image.data(), nullptr, nullptr), kSOk);
  std::vector<std::uint8_t> back(10000);
  ASSERT_EQ(transport->SPI_SF_Read(0x1000, 10000, back.data(), 0x0B, nullptr, nullptr), kSOk);
  EXPECT_EQ(back, image);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), device.memory() + 0x1000));
  EXPECT_EQ(device.memory()[0x0FFF], 0xFF);

  ASSERT_EQ(transport->SPI_SF_EraseSector(0x2000, 0x1000), kSOk);
  ASSERT_EQ(transport->SPI_SF_Read(0x1000, 10000, back.data(), 0x03, nullptr, nullptr), kSOk);
  EXPECT_EQ(back[0x0FFF], image[0x0FFF]);
  EXPECT_EQ(back[0x1000], 0xFF);
  EXPECT_EQ(back[0x2000], image[0x2000]);
}

TEST_P(TransportOnSimulator, ResetGoneBackAndNotReady) {
  ASSERT_EQ(transport->ResetToUpdateFW(1), kSOk);
  std::vector<std::uint8_t> status(8);
  EXPECT_EQ(transport->GetDevStatus(0, status.data(), 8), kEDeviceNotConnected);

  platform::Sleep(device.config().timing.reenumMs);
  dev.Close();
  Attach();
  EXPECT_EQ(transport->GetDevStatus(0, status.data(), 8), static_cast<HResult>(0x80070015));
  platform::Sleep(device.config().timing.notReadyMs);
  ASSERT_EQ(transport->GetDevStatus(0, status.data(), 8), kSOk);
  EXPECT_EQ(status[1], static_cast<std::uint8_t>(sim::RunState::kUpdate));
  EXPECT_EQ(device.counters().resets, 1u);
}

// The functions a reset and reopen use before any device object exists.
class ExtUnitFunctionsOnSimulator : public ::testing::TestWithParam<WireLayout> {
 protected:
  ExtUnitFunctionsOnSimulator() { OpenExtUnitFunctionLock(lockName); }
  ~ExtUnitFunctionsOnSimulator() override {
    CloseExtUnitFunctionLock();
    platform::RemoveNamedMutex(lockName);
  }

  sim::SimulatedPlatform sim;
  sim::SimDevice& device = sim.AddDevice("flash-old");
  ScopedSimProxy proxy{GetParam()};
  std::wstring lockName = test::UniqueLockName("simfn");
};

INSTANTIATE_TEST_SUITE_P(Layouts, ExtUnitFunctionsOnSimulator,
                         ::testing::Values(WireLayout::k64, WireLayout::k32),
                         test::WireLayoutTestName());

TEST_P(ExtUnitFunctionsOnSimulator, IdentifyReadWriteAndResetUntilReady) {
  AttachedSimDevice dev;
  ASSERT_TRUE(dev.Open(L"PID_0310"));
  EXPECT_TRUE(ExtUnit_DevQualify(dev.low(), dev.high(), kUnit, 0));
  std::vector<std::uint8_t> status(96);
  ASSERT_TRUE(ExtUnit_GetDevStatus(dev.low(), dev.high(), kUnit, 0, 0, 96, status.data()));
  EXPECT_EQ(std::string(status.begin() + 24, status.begin() + 32), std::string("KESTRAL\0", 8));

  const std::vector<std::uint8_t> data = Pattern(13, 1);
  ASSERT_TRUE(ExtUnit_WriteMem(dev.low(), dev.high(), kUnit, 0, 0x8100, 13, data.data()));
  std::vector<std::uint8_t> back(13);
  ASSERT_TRUE(ExtUnit_ReadMem(dev.low(), dev.high(), kUnit, 0, 0x8100, 13, back.data()));
  EXPECT_EQ(back, data);

  // A unit the device does not have stalls; the device is asked for nothing else.
  EXPECT_FALSE(ExtUnit_DevQualify(dev.low(), dev.high(), 9, 0));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorGenFailure);

  ASSERT_TRUE(ExtUnit_Reset(dev.low(), dev.high(), kUnit, 0, 5, 7));
  EXPECT_FALSE(ExtUnit_GetDevStatus(dev.low(), dev.high(), kUnit, 0, 0, 8, status.data()));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorDeviceNotConnected);

  // Back on the bus but not ready: a reset sent now fails with 21 for the caller to see.
  platform::Sleep(device.config().timing.fastReenumMs);
  AttachedSimDevice fresh;
  ASSERT_TRUE(fresh.Open(L"PID_0310"));
  EXPECT_FALSE(ExtUnit_Reset(fresh.low(), fresh.high(), kUnit, 0, 1, 9));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorNotReady);
  platform::Sleep(device.config().timing.notReadyMs);
  EXPECT_TRUE(ExtUnit_GetDevStatus(fresh.low(), fresh.high(), kUnit, 0, 0, 8, status.data()));
  EXPECT_EQ(status[1], static_cast<std::uint8_t>(sim::RunState::kUpdate));
}

}  // namespace
}  // namespace vantor
