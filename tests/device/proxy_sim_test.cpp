// The proxy protocol and the object-free vendor requests against the simulated device,
// in both kernel layouts: attach through the inventory, descriptors, status, memory,
// stalls, and a reset that makes the device leave, come back and be not ready a while.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/proxy_protocol.h"
#include "device/proxy_state.h"
#include "device/vendor_functions.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "sim/simulated_platform.h"
#include "support/sim_proxy.h"

namespace vantor {
namespace {

using test::AttachedSimDevice;
using test::ScopedSimProxy;
using test::WireLayout;

class ProxyOnSimulator : public ::testing::TestWithParam<WireLayout> {
 protected:
  sim::SimulatedPlatform sim;
  sim::SimDevice& device = sim.AddDevice("flash-old");
  ScopedSimProxy proxy{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Layouts, ProxyOnSimulator,
                         ::testing::Values(WireLayout::k64, WireLayout::k32),
                         test::WireLayoutTestName());

TEST_P(ProxyOnSimulator, AttachAndDescriptors) {
  ASSERT_TRUE(proxy.ok());
  AttachedSimDevice dev;
  ASSERT_TRUE(dev.Open(L"PID_0310")) << dev.error();
  EXPECT_EQ(sim.bus().AttachedHandleCount(), 1u);

  std::uint8_t descriptor[18] = {};
  ASSERT_TRUE(GetDeviceDescriptor(dev.low(), dev.high(), descriptor));
  EXPECT_EQ(std::vector<std::uint8_t>(descriptor, descriptor + 18), device.deviceDescriptor());
  EXPECT_EQ(descriptor[8] | descriptor[9] << 8, 0x3A4B);

  std::uint8_t header[9] = {};
  ASSERT_TRUE(GetConfigDescriptor(dev.low(), dev.high(), header, 9));
  EXPECT_EQ(header[1], 2);
  std::uint32_t total = header[2] | header[3] << 8;
  std::vector<std::uint8_t> config(total);
  ASSERT_TRUE(GetConfigDescriptor(dev.low(), dev.high(), config.data(), total));
  // Asking for more than the device has is a short read, hence a failure.
  std::vector<std::uint8_t> tooLong(total + 4);
  EXPECT_FALSE(GetConfigDescriptor(dev.low(), dev.high(), tooLong.data(), total + 4));

  std::uint8_t text[256] = {};
  std::uint32_t moved = 0;
  ASSERT_TRUE(GetStringDescriptor(dev.low(), dev.high(), text, 256, 3, 0x0409, &moved));
  std::wstring serial;
  for (std::uint32_t i = 2; i + 1 < moved && i + 1 < text[0]; i += 2) serial += text[i];
  EXPECT_EQ(serial, L"0310000001");

  dev.Close();
  EXPECT_EQ(sim.bus().AttachedHandleCount(), 0u);
}

TEST_P(ProxyOnSimulator, StatusMemoryAndStalls) {
  AttachedSimDevice dev;
  ASSERT_TRUE(dev.Open(L"PID_0310"));
  std::vector<std::uint8_t> status(104);
  ASSERT_EQ(VendorGetDevStatus(dev.low(), dev.high(), 0, 104, status.data()), 0u);
  EXPECT_EQ(std::string(status.begin() + 24, status.begin() + 32), std::string("KESTRAL\0", 8));
  std::vector<std::uint8_t> signature(8);
  ASSERT_EQ(VendorGetDevStatus(dev.low(), dev.high(), 3, 8, signature.data()), 0u);
  EXPECT_EQ(std::string(signature.begin(), signature.end()), std::string("KESTRAL\0", 8));

  // The chip id registers, then a RAM register written and read back.
  std::uint8_t chip[2] = {};
  ASSERT_EQ(VendorReadMem(dev.low(), dev.high(), 0xFE21, 2, chip), 0u);
  EXPECT_EQ(chip[0] | chip[1] << 8, 0x7011);
  const std::uint8_t pattern[5] = {0xA5, 0x5A, 0x01, 0x02, 0x03};
  ASSERT_EQ(VendorWriteMem(dev.low(), dev.high(), 0x8000, 5, pattern), 0u);
  std::uint8_t back[5] = {};
  ASSERT_EQ(VendorReadMem(dev.low(), dev.high(), 0x8000, 5, back), 0u);
  EXPECT_EQ(std::vector<std::uint8_t>(back, back + 5),
            std::vector<std::uint8_t>(pattern, pattern + 5));

  std::uint8_t running = 0xEE;
  ASSERT_EQ(VendorPing(dev.low(), dev.high(), 0, &running), 0u);
  EXPECT_EQ(running, 0);  // ROM code: the flash is blank

  // A request the device does not know stalls: a failure with an error.
  std::uint8_t byte = 0;
  platform::SetLastError(0);
  EXPECT_FALSE(SendVendorRequest(dev.low(), dev.high(), 0xC0, 0x7F, 0, 0, &byte, 1, true, nullptr,
                                 kProxyRequestTimeoutMs));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorGenFailure);
  EXPECT_EQ(device.counters().stall, 1u);

  // A detached handle names nothing any more.
  std::uint32_t low = dev.low();
  std::uint32_t high = dev.high();
  dev.Close();
  EXPECT_NE(VendorPing(low, high, 0), 0u);
}

TEST_P(ProxyOnSimulator, ResetLeavesComesBackAndIsNotReadyAWhile) {
  AttachedSimDevice old;
  ASSERT_TRUE(old.Open(L"PID_0310"));
  ASSERT_EQ(VendorReset(old.low(), old.high(), 1, 7), 0u);
  EXPECT_EQ(VendorPing(old.low(), old.high(), 0), platform::kErrorDeviceNotConnected);
  std::vector<std::uint8_t> page(8);
  EXPECT_EQ(VendorGetDevStatus(old.low(), old.high(), 0, 8, page.data()),
            platform::kErrorDeviceNotConnected);

  platform::Sleep(device.config().timing.reenumMs);
  AttachedSimDevice fresh;
  ASSERT_TRUE(fresh.Open(L"PID_0310"));
  EXPECT_NE(fresh.low(), old.low());
  EXPECT_EQ(VendorPing(fresh.low(), fresh.high(), 0), platform::kErrorNotReady);
  platform::Sleep(device.config().timing.notReadyMs);
  std::uint8_t running = 0xEE;
  ASSERT_EQ(VendorPing(fresh.low(), fresh.high(), 0, &running), 0u);
  EXPECT_EQ(running, 1);  // update code
  EXPECT_EQ(device.counters().resets, 1u);
}

TEST(ProxyOnSimulatorClosed, AttachWithoutTheControlDeviceFailsWithPathNotFound) {
  sim::SimulatedPlatform sim;
  sim.AddDevice("flash-old");
  CloseProxyDevice();
  AttachedSimDevice dev;
  EXPECT_FALSE(dev.Open(L"PID_0310"));
  EXPECT_EQ(dev.error(), platform::kErrorPathNotFound);
  EXPECT_EQ(sim.bus().AttachedHandleCount(), 0u);
}

}  // namespace
}  // namespace vantor
