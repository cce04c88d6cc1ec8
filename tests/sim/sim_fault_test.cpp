// Each fault switch, and the transfer log's lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/last_error.h"
#include "sim/simulated_platform.h"
#include "test_host.h"

namespace vantor::sim {
namespace {

using test::Block;
using test::Reply;
using test::TestHost;

class Faults : public ::testing::Test {
 protected:
  SimDevice& Add(void (*change)(DeviceConfig&)) {
    DeviceConfig c;
    EXPECT_TRUE(MakeProfile("flash-old", "dev", c));
    change(c);
    SimDevice& d = sim.AddDevice(c);
    EXPECT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
    host.SetUnit(6, 0);
    return d;
  }
  SimulatedPlatform sim;
  TestHost host;
};

TEST_F(Faults, StallAndTimeOutChosenRequests) {
  SimDevice& dev = Add([](DeviceConfig& c) {
    c.faults.stall = {{false, 0xC0, 0x07, 3, 1}};     // status page 3, once
    c.faults.timeout = {{false, 0xC0, 0x25, {}, 0}};  // every ReadMem
  });
  EXPECT_EQ(host.VendorIn(0x07, 0, 0, 8).urbStatus, 0u);
  EXPECT_EQ(host.VendorIn(0x07, 3, 0, 8).urbStatus, kUsbdStatusStallPid);
  EXPECT_EQ(host.VendorIn(0x07, 3, 0, 8).urbStatus, 0u) << "the rule was for one time";
  std::uint64_t t0 = sim.clock().NowMs();
  Reply r = host.VendorIn(0x25, 0, 0xFE21, 2, 700);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, 121u);
  EXPECT_EQ(r.urbStatus, kUsbdStatusCanceled);
  EXPECT_EQ(sim.clock().NowMs() - t0, 700u);
  EXPECT_EQ(dev.counters().timeout, 1u);
  // A command block refused on demand leaves a hardware error to read.
  dev.faults().stall = {{true, 0x02, 0x82, {}, 0}};
  EXPECT_EQ(host.XuSet(0x0A, Block(0x02, 0x82, 0, 8)).urbStatus, kUsbdStatusStallPid);
  EXPECT_EQ(host.XuGet(0x81, 0x0A, 8).data.at(0), kStsHwErr);
}

TEST_F(Faults, DisconnectAfterTransfersAndComeBack) {
  SimDevice& dev = Add([](DeviceConfig& c) {
    c.faults.disconnectAfter = 3;
    c.faults.reconnectMs = 2000;
  });
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(host.VendorIn(0x07, 3, 0, 8).good());
  Reply r = host.VendorIn(0x07, 3, 0, 8);
  EXPECT_EQ(r.error, platform::kErrorDeviceNotConnected);
  TestHost other;
  EXPECT_FALSE(other.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
  platform::Sleep(2000 + dev.config().timing.notReadyMs);
  ASSERT_TRUE(other.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
  EXPECT_TRUE(other.VendorIn(0x07, 3, 0, 8).good());
}

TEST_F(Faults, StaysBusyNotReadyLongerAndWrongSignature) {
  SimDevice& dev = Add([](DeviceConfig& c) {
    c.faults.stayBusy = true;
    c.faults.extraNotReadyMs = 3000;
    c.faults.wrongSignature = true;
  });
  EXPECT_EQ(host.VendorIn(0x30, 0, 0, 1).data.at(0) & 1, 1);
  platform::Sleep(60000);
  EXPECT_EQ(host.VendorIn(0x30, 0, 0, 1).data.at(0) & 1, 1) << "busy for good";
  // The firmware waits for a flash that never gets ready: the write is never answered.
  std::uint64_t t0 = sim.clock().NowMs();
  Reply w = host.VendorOut(0x2F, 0, 0, {0}, 700);
  EXPECT_EQ(w.error, platform::kErrorSemTimeout);
  EXPECT_EQ(sim.clock().NowMs() - t0, 700u);
  EXPECT_EQ(dev.memory()[0], 0xFF);
  EXPECT_EQ(host.XuSet(0x0A, Block(0x02, 0x04)).error, platform::kErrorSemTimeout);
  EXPECT_EQ(host.XuGet(0x81, 0x0A, 8).data.at(0), kStsNotFinish);
  ASSERT_TRUE(host.XuSet(0x0A, Block(0xFF, 0)).good());
  EXPECT_EQ(host.VendorIn(0x07, 3, 0, 8).data.at(7), 0x01);
  EXPECT_EQ(host.XuRead(Block(0x00, 0xD0, 0, 8), 8, 8).data.at(7), 0x01);
  ASSERT_TRUE(host.VendorOut(0x22, 0, 0, {}).good());
  platform::Sleep(dev.config().timing.reenumMs + dev.config().timing.notReadyMs);
  ASSERT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
  EXPECT_EQ(host.Descriptor(1, 0, 0, 18).error, platform::kErrorNotReady);
  platform::Sleep(3000);
  EXPECT_TRUE(host.Descriptor(1, 0, 0, 18).good());
}

// Each flash fault, and the stall rules that pick a request by address and by order,
// on a fresh device each.
TEST(FlashFaults, EachDoesWhatItSays) {
  struct Case {
    const char* what;
    void (*change)(DeviceConfig&);
    void (*check)(SimulatedPlatform&, SimDevice&, TestHost&);
  } cases[] = {
      {"a byte whose low nibble does not program",
       [](DeviceConfig& c) {
         c.faults.programStuck = {{0x20, 0x0F}};
       },
       [](SimulatedPlatform&, SimDevice& d, TestHost& h) {
         ASSERT_TRUE(h.VendorOut(0x2F, 0, 0x20, {0x00, 0x00}).good());
         EXPECT_EQ(h.VendorIn(0x2E, 0, 0x20, 2).data, (std::vector<std::uint8_t>{0x0F, 0x00}));
         EXPECT_EQ(d.memory()[0x20], 0x0F);
       }},
      {"bits that stay 0 through every erase",
       [](DeviceConfig& c) {
         c.faults.eraseStuck = {{0x30, 0x81}, {0x1000, 0xFF}};
       },
       [](SimulatedPlatform& s, SimDevice& d, TestHost& h) {
         ASSERT_TRUE(h.VendorOut(0x32, 0, 0, {}, 60000).good());
         EXPECT_EQ(d.memory()[0x30], 0x7E);
         EXPECT_EQ(d.memory()[0x31], 0xFF);
         d.memory()[0x1001] = 0x00;
         ASSERT_TRUE(h.VendorOut(0x33, 0, 0x1000, {}).good());
         s.clock().Sleep(60);
         EXPECT_EQ(d.memory()[0x1000], 0x00);
         EXPECT_EQ(d.memory()[0x1001], 0xFF);
       }},
      {"a status register that ignores writes",
       [](DeviceConfig& c) { c.faults.statusStuck = true; },
       [](SimulatedPlatform&, SimDevice& d, TestHost& h) {
         ASSERT_TRUE(h.VendorOut(0x31, 0, 0, {0x8C}).good());
         EXPECT_EQ(h.VendorIn(0x30, 0, 0, 1).data.at(0), 0x00) << "unchanged, not busy";
         d.flash()->set_statusBits(0x8C);
         ASSERT_TRUE(h.VendorOut(0x24, 0, 0xFEA0, {0x01}).good());
         ASSERT_TRUE(h.VendorOut(0x24, 0, 0xFEA6, {0x01}).good());
         ASSERT_TRUE(h.VendorOut(0x31, 0, 0, {0x00}).good());
         EXPECT_EQ(h.VendorIn(0x30, 0, 0, 1).data.at(0), 0x8C) << "still protected";
       }},
      {"a stall at one address only: the tag write",
       [](DeviceConfig& c) {
         c.faults.stall = {{false, 0x40, 0x2F, {}, 0, 0xEFFE}, {true, 0x02, 0x82, {}, 0, 0x21000}};
       },
       [](SimulatedPlatform&, SimDevice& d, TestHost& h) {
         EXPECT_TRUE(h.VendorOut(0x2F, 0, 0x1000, {0x00}).good());
         EXPECT_EQ(h.VendorOut(0x2F, 0, 0xEFFE, {0x55, 0xAA}).urbStatus, kUsbdStatusStallPid);
         EXPECT_EQ(d.memory()[0xEFFE], 0xFF);
         EXPECT_TRUE(h.XuWrite(Block(0x02, 0x82, 0x1000, 1, 0x0000), {0x00}, 8).good());
         EXPECT_EQ(h.XuSet(0x0A, Block(0x02, 0x82, 0x1000, 1, 0x0002)).urbStatus,
                   kUsbdStatusStallPid);
       }},
      {"only the second status write fails",
       [](DeviceConfig& c) {
         c.faults.stall = {{false, 0x40, 0x31, {}, 1, {}, 1}};
       },
       [](SimulatedPlatform& s, SimDevice&, TestHost& h) {
         for (bool good : {true, false, true}) {
           EXPECT_EQ(h.VendorOut(0x31, 0, 0, {0x00}).good(), good);
           s.clock().Sleep(20);
         }
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimulatedPlatform sim;
    DeviceConfig config;
    ASSERT_TRUE(MakeProfile("flash-old", "dev", config));
    c.change(config);
    SimDevice& device = sim.AddDevice(config);
    TestHost host;
    ASSERT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
    host.SetUnit(6, 0);
    c.check(sim, device, host);
  }
}

// The killed host: after N transfers nothing reaches the device, which stays as it is;
// cleared, the same device answers again.
TEST_F(Faults, KillAfterTransfersLeavesTheDeviceAsItIs) {
  SimDevice& dev = Add([](DeviceConfig& c) { c.faults.killAfter = 2; });
  ASSERT_TRUE(host.VendorOut(0x2F, 0, 0x10, {0x00}).good());
  ASSERT_TRUE(host.VendorOut(0x24, 0, 0x1234, {0x5A}).good());
  EXPECT_EQ(dev.transferCount(), 2u);
  std::uint32_t epoch = dev.epoch();
  for (int i = 0; i < 3; ++i) {
    Reply r = host.VendorOut(0x22, 0, 0, {});
    EXPECT_EQ(r.error, platform::kErrorDeviceNotConnected);
  }
  EXPECT_EQ(dev.counters().resets, 0u) << "the reset never reached the device";
  EXPECT_EQ(dev.transferCount(), 2u);
  dev.faults().killAfter = 0;
  EXPECT_EQ(dev.epoch(), epoch);
  EXPECT_EQ(host.VendorIn(0x25, 0, 0x1234, 1).data.at(0), 0x5A) << "same instance, same RAM";
  EXPECT_EQ(dev.memory()[0x10], 0x00);
}

// A reset the device does not come back from, and a boot that never runs the firmware.
TEST_F(Faults, LostResetAndBootIntoRom) {
  SimDevice& dev = Add([](DeviceConfig& c) { c.faults.resetLost = 2; });
  std::uint8_t* m = dev.memory();
  m[0] = 0x02;
  m[0xAE00] = 0x55;
  m[0xAE01] = 0xA5;
  m[0xEFFE] = 0x55;
  m[0xEFFF] = 0xAA;
  const std::uint32_t back = dev.config().timing.reenumMs + dev.config().timing.notReadyMs;
  ASSERT_TRUE(host.VendorOut(0x22, 0, 0, {}).good());
  platform::Sleep(back);
  ASSERT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310")) << "first: back";
  EXPECT_EQ(dev.state().run, RunState::kFirmware);
  ASSERT_TRUE(host.VendorOut(0x22, 0, 0, {}).good());
  platform::Sleep(60000);
  TestHost other;
  EXPECT_FALSE(other.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310")) << "second: gone";
  // Plugged in again it boots from its memory; with the boot fault it stays in ROM.
  dev.faults().bootRom = true;
  dev.PowerCycle(sim.clock().NowUs());
  ASSERT_TRUE(other.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
  EXPECT_EQ(dev.state().run, RunState::kRom);
  dev.faults().bootRom = false;
  ASSERT_TRUE(other.VendorOut(0x22, 0, 0, {}).good());
  platform::Sleep(back);
  ASSERT_TRUE(other.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
  EXPECT_EQ(dev.state().run, RunState::kFirmware);
}

TEST(TransferLog, OneLinePerTransfer) {
  auto file = std::filesystem::temp_directory_path() /
              ("vantor-sim-log-" + std::to_string(::getpid()) + ".txt");
  std::filesystem::remove(file);
  {
    SimulatedPlatform sim;
    SimDevice& dev = sim.AddDevice("flash-old");
    std::string error;
    ASSERT_TRUE(sim.bus().SetTransferLog(file, error)) << error;
    TestHost host;
    ASSERT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
    host.Descriptor(1, 0, 0, 18);
    host.VendorOut(0x24, 0, 0x1234, {0xAB, 0xCD});
    host.VendorIn(0x7F, 0x0102, 0x0304, 4);
    host.VendorOut(0x22, 0, 0, {});
    host.VendorIn(0x07, 3, 0, 8);
    platform::Sleep(dev.config().timing.reenumMs);
    ASSERT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
    host.VendorIn(0x07, 3, 0, 8);
    dev.faults().timeout = {{false, 0x40, 0x24, {}, 0}};
    platform::Sleep(dev.config().timing.notReadyMs);
    host.VendorOut(0x24, 0, 0x1234, {0x01}, 10);
  }
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::filesystem::remove(file);
  std::vector<std::string> want = {
      "80 06 0100 0000 18 ok 12010002000000404b3a1003000101020301",
      "40 24 0000 1234 2 ok abcd",
      "c0 7f 0102 0304 4 stall -",
      "40 22 0000 0000 0 ok -",
      "c0 07 0003 0000 8 gone -",
      "c0 07 0003 0000 8 notready -",
      "40 24 0000 1234 1 timeout 01",
  };
  EXPECT_EQ(lines, want);
}

}  // namespace
}  // namespace vantor::sim
