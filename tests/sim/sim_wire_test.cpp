// The proxy records and URBs as bytes, in both kernel layouts, and what the bus writes
// back into the caller's URB.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/last_error.h"
#include "sim/simulated_platform.h"
#include "sim/usb_wire.h"
#include "test_host.h"

namespace vantor::sim {
namespace {

using test::TestHost;

TEST(ProxyRecord, DecodesBothLayoutsAtTheirOffsets) {
  std::uint8_t r64[40] = {};
  r64[8] = 0x34;  // file handle
  r64[9] = 0x12;
  r64[16] = 0x78;  // device handle low
  r64[20] = 0x9A;  // device handle high
  for (int i = 0; i < 8; ++i) r64[24 + i] = static_cast<std::uint8_t>(0x10 + i);  // URB address
  r64[32] = 0x88;  // time-out 5000 = 0x1388
  r64[33] = 0x13;
  ProxyRecord rec;
  ASSERT_TRUE(DecodeProxyRecord(r64, 40, rec));
  EXPECT_EQ(rec.layout, KernelLayout::k64);
  EXPECT_EQ(rec.fileHandle, 0x1234u);
  EXPECT_EQ(rec.deviceLow, 0x78u);
  EXPECT_EQ(rec.deviceHigh, 0x9Au);
  EXPECT_EQ(rec.urbAddress, 0x1716151413121110ull);
  EXPECT_EQ(rec.timeoutMs, 5000u);

  std::uint8_t r32[24] = {};
  r32[4] = 0x34;
  r32[8] = 0x78;
  r32[12] = 0x9A;
  r32[16] = 0x44;
  r32[19] = 0x01;
  r32[20] = 0x60;  // 60000 = 0xEA60
  r32[21] = 0xEA;
  ASSERT_TRUE(DecodeProxyRecord(r32, 24, rec));
  EXPECT_EQ(rec.layout, KernelLayout::k32);
  EXPECT_EQ(rec.fileHandle, 0x34u);
  EXPECT_EQ(rec.deviceLow, 0x78u);
  EXPECT_EQ(rec.deviceHigh, 0x9Au);
  EXPECT_EQ(rec.urbAddress, 0x01000044u);
  EXPECT_EQ(rec.timeoutMs, 60000u);

  EXPECT_FALSE(DecodeProxyRecord(r64, 36, rec));
  EXPECT_FALSE(DecodeProxyRecord(r64, 0, rec));
}

class BothLayouts : public ::testing::TestWithParam<bool> {
 protected:
  SimulatedPlatform sim;
};

TEST_P(BothLayouts, DeviceDescriptorAndWriteBack) {
  sim.AddDevice("flash-old");
  TestHost host(GetParam());
  ASSERT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
  test::Reply r = host.Descriptor(1, 0, 0, 18);
  ASSERT_TRUE(r.good()) << r.error;
  std::vector<std::uint8_t> want = {18,   1,    0x00, 0x02, 0,    0, 0, 64, 0x4B,
                                    0x3A, 0x10, 0x03, 0x00, 0x01, 1, 2, 3,  1};
  EXPECT_EQ(r.data, want);
  // The bytes moved go back into the transfer buffer length field, the status stays 0.
  std::vector<std::uint8_t> urb = host.lastUrb();
  std::size_t lengthAt = GetParam() ? 24 : 36;
  EXPECT_EQ(urb[lengthAt], 18);
  EXPECT_EQ(urb[4] | urb[5] | urb[6] | urb[7], 0);

  // A short configuration read returns the 9-byte header with the total length.
  r = host.Descriptor(2, 0, 0, 9);
  ASSERT_TRUE(r.good());
  ASSERT_EQ(r.data.size(), 9u);
  EXPECT_EQ(r.data[1], 2);
  std::uint16_t total = static_cast<std::uint16_t>(r.data[2] | r.data[3] << 8);
  r = host.Descriptor(2, 0, 0, total);
  ASSERT_TRUE(r.good());
  EXPECT_EQ(r.moved, total);

  // Vendor request on the same layout: status page 3 holds the signature.
  r = host.VendorIn(0x07, 3, 0, 8);
  ASSERT_TRUE(r.good());
  EXPECT_EQ(std::string(r.data.begin(), r.data.end()), std::string("KESTRAL\0", 8));
}

INSTANTIATE_TEST_SUITE_P(Layouts, BothLayouts, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Kernel32" : "Kernel64"; });

TEST(ProxyBus, StallsFailuresAndBadInput) {
  SimulatedPlatform sim;
  sim.AddDevice("flash-old");
  TestHost host;
  ASSERT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
  // A request the device does not know: the I/O control succeeds, the URB says stall.
  test::Reply r = host.VendorIn(0x7F, 0, 0, 4);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.urbStatus, kUsbdStatusStallPid);
  EXPECT_EQ(r.moved, 0u);
  // A URB function the proxy does not carry.
  r = host.Submit(0x0009, 0, 0, 0, 0, true, {}, 4);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, platform::kErrorInvalidParameter);
  // An unknown device handle.
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  std::uint32_t error = 0;
  EXPECT_FALSE(host.Attach(0xDEAD, low, high, error));
  EXPECT_EQ(error, platform::kErrorInvalidHandle);
}

TEST(ProxyBus, WithoutTheSimulatorThePlatformsOwnProxyOpens) {
  // The platform's own proxy opens where the system has USB, and only there.
  platform::SetLastError(0);
  const bool usb = std::filesystem::exists("/sys/bus/usb");
  EXPECT_EQ(platform::OpenProxyControlDevice() != nullptr, usb);
  if (!usb) {
    EXPECT_NE(platform::GetLastError(), 0u);
  }
}

}  // namespace
}  // namespace vantor::sim
