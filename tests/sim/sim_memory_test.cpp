// Programming semantics of each memory, and write protection refusing writes.
#include <gtest/gtest.h>

#include "sim/simulated_platform.h"
#include "test_host.h"

namespace vantor::sim {
namespace {

using test::Block;
using test::Reply;
using test::TestHost;

class Memory : public ::testing::Test {
 protected:
  SimDevice& Add(const char* profile, const wchar_t* pid) {
    SimDevice& d = sim.AddDevice(profile);
    EXPECT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, pid));
    host.SetUnit(6, 0);
    return d;
  }
  std::uint8_t Status() { return host.VendorIn(0x30, 0, 0, 1).data.at(0); }
  void WriteStatus(std::uint8_t v) { ASSERT_TRUE(host.VendorOut(0x31, 0, 0, {v}).good()); }
  void Reg(std::uint16_t address, std::uint8_t v) {
    ASSERT_TRUE(host.VendorOut(0x24, 0, address, {v}).good());
  }
  std::vector<std::uint8_t> Flash(std::uint32_t address, std::uint16_t n) {
    return host
        .VendorIn(0x2E, static_cast<std::uint16_t>((address >> 16 & 0xF) << 8),
                  static_cast<std::uint16_t>(address), n)
        .data;
  }
  Reply Program(std::uint32_t address, const std::vector<std::uint8_t>& data) {
    return host.VendorOut(0x2F, static_cast<std::uint16_t>((address >> 16 & 0xF) << 8),
                          static_cast<std::uint16_t>(address), data);
  }
  void Wait(std::uint32_t ms) { platform::Sleep(ms); }

  SimulatedPlatform sim;
  TestHost host;
};

TEST_F(Memory, FlashProgramOnlyClearsBitsAndEraseSetsThem) {
  SimDevice& dev = Add("flash-old", L"PID_0310");
  ASSERT_TRUE(Program(0x100, {0x0F, 0xFF}).good());
  Wait(10);
  ASSERT_TRUE(Program(0x100, {0xF0, 0x5A}).good());
  Wait(10);
  EXPECT_EQ(Flash(0x100, 2), (std::vector<std::uint8_t>{0x00, 0x5A}));
  // Through the extension unit, above 64 KiB (p3 carries address bits 16..31).
  ASSERT_TRUE(host.XuWrite(Block(0x02, 0x82, 0x2345, 3, 0x0001), {1, 2, 3}, 8).good());
  Wait(10);
  EXPECT_EQ(dev.memory()[0x12345], 1);
  EXPECT_EQ(host.XuRead(Block(0x02, 0xC2, 0x2345, 3, 0x0001), 3, 8).data,
            (std::vector<std::uint8_t>{1, 2, 3}));
  // A sector erase covers its 4 KiB sector only.
  dev.memory()[0x1FFF] = 0x00;
  ASSERT_TRUE(host.VendorOut(0x33, 0x0000, 0x0000, {}).good());
  Wait(100);
  EXPECT_EQ(Flash(0x100, 2), (std::vector<std::uint8_t>{0xFF, 0xFF}));
  EXPECT_EQ(dev.memory()[0x1FFF], 0x00);
}

TEST_F(Memory, ChipEraseTakesItsTimeAndTheBusyBitShowsIt) {
  SimDevice& dev = Add("flash-old", L"PID_0310");
  dev.timing().chipEraseMs = 2500;
  dev.memory()[0] = 0x12;
  std::uint64_t t0 = sim.clock().NowMs();
  ASSERT_TRUE(host.VendorOut(0x32, 0, 0, {}, 60000).good());
  EXPECT_GE(sim.clock().NowMs() - t0, dev.config().timing.chipEraseMs);
  EXPECT_EQ(dev.memory()[0], 0xFF);
  EXPECT_EQ(Status() & 1, 0);
  // With a time-out shorter than the erase the request times out and the flash stays
  // busy until the erase is done.
  t0 = sim.clock().NowMs();
  Reply r = host.VendorOut(0x32, 0, 0, {}, 1000);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, 121u);
  EXPECT_EQ(sim.clock().NowMs() - t0, 1000u);
  EXPECT_EQ(Status() & 1, 1);
  Wait(dev.config().timing.chipEraseMs);
  EXPECT_EQ(Status() & 1, 0);
  // A status write keeps the busy bit for the write time.
  WriteStatus(0x00);
  EXPECT_EQ(Status() & 1, 1);
  Wait(dev.config().timing.statusWriteMs);
  EXPECT_EQ(Status() & 1, 0);
}

TEST_F(Memory, ProtectedFlashRefusesWritesAndLockedStatusRegister) {
  SimDevice& dev = Add("flash-old", L"PID_0310");
  // Protect as the tool does: pin driven low, status 0x8C.
  Reg(0xFEA0, 0x01);
  Reg(0xFEA6, 0x00);
  WriteStatus(0x8C);
  Wait(20);
  EXPECT_EQ(Status(), 0x8C);
  ASSERT_TRUE(Program(0x10, {0x00}).good());
  ASSERT_TRUE(host.VendorOut(0x32, 0, 0, {}, 60000).good());
  ASSERT_TRUE(host.VendorOut(0x33, 0, 0, {}).good());
  EXPECT_EQ(dev.memory()[0x10], 0xFF) << "writes into protected memory change nothing";
  // The status register stays locked while its protect bit is set and the pin is low.
  WriteStatus(0x00);
  Wait(20);
  EXPECT_EQ(Status(), 0x8C);
  // An undriven pin reads low too.
  Reg(0xFEA0, 0x00);
  WriteStatus(0x00);
  Wait(20);
  EXPECT_EQ(Status(), 0x8C);
  // Unprotect as the tool does: pin driven high, then status 0x00.
  Reg(0xFEA0, 0x01);
  Reg(0xFEA6, 0x01);
  WriteStatus(0x00);
  Wait(20);
  EXPECT_EQ(Status(), 0x00);
  ASSERT_TRUE(Program(0x10, {0x00}).good());
  EXPECT_EQ(dev.memory()[0x10], 0x00);
}

// The WP# pin of each chip family: its output-enable / output-level register pair and
// bit. While the pin is low the locked status register ignores writes; driving another
// family's pair does not help; a dual package has a second pair that must be high too.
TEST_F(Memory, ProtectPinsFollowTheChipFamily) {
  struct Case {
    const char* what;
    const char* profile;
    const wchar_t* pid;
    std::uint16_t chipId;  // 0: the profile's
    bool dual;
    std::uint16_t a, b;
    std::uint8_t bit;
  } cases[] = {
      {"old family", "flash-old", L"PID_0310", 0, false, 0xFEA0, 0xFEA6, 0x01},
      {"0xFF56", "flash-old", L"PID_0310", 0xFF56, false, 0x0404, 0x0406, 0x01},
      {"family 0x8050", "flash-old", L"PID_0310", 0x8052, false, 0x0404, 0x0406, 0x01},
      {"new family 0x7010", "flash-old", L"PID_0310", 0x7012, false, 0x0650, 0x0652, 0x01},
      {"family 0xE010", "flash-old", L"PID_0310", 0xE011, false, 0x0505, 0x0507, 0x01},
      {"0xB013", "flash-new", L"PID_0330", 0, false, 0xFEC0, 0xFEC6, 0x01},
      {"family 0xF010", "flash-new", L"PID_0330", 0xF012, false, 0xFEC0, 0xFEC6, 0x01},
      {"family 0xC010", "flash-new", L"PID_0330", 0xC011, false, 0xFEC0, 0xFEC6, 0x01},
      {"family 0xD010", "flash-new", L"PID_0330", 0xD011, false, 0xFEC0, 0xFEC6, 0x01},
      {"family 0x1010, single package", "flash-dual", L"PID_1010", 0, false, 0x050C, 0x0512, 0x10},
      {"family 0x1010, dual package", "flash-dual", L"PID_1010", 0, true, 0x050C, 0x0512, 0x10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimulatedPlatform local;
    DeviceConfig config;
    ASSERT_TRUE(MakeProfile(c.profile, c.profile, config));
    if (c.chipId != 0) config.chipId = c.chipId;
    config.dualPackage = c.dual;
    SimDevice& dev = local.AddDevice(config);
    TestHost h;
    ASSERT_TRUE(h.Open(platform::kGuidDevInterfaceUsbDevice, c.pid));
    auto reg = [&](std::uint16_t address, std::uint8_t v) {
      ASSERT_TRUE(h.VendorOut(0x24, 0, address, {v}).good());
    };
    auto statusAfterWrite = [&](std::uint8_t v) {
      EXPECT_TRUE(h.VendorOut(0x31, 0, 0, {v}).good());
      local.clock().Sleep(20);
      return dev.flash()->statusBits();
    };
    reg(c.a, c.bit);  // enabled, level low
    ASSERT_EQ(statusAfterWrite(0x8C), 0x8C);
    EXPECT_EQ(statusAfterWrite(0x00), 0x8C) << "locked while the pin is low";
    // Another family's pair, driven high, leaves this chip's pin low.
    const std::uint16_t other = c.a == 0xFEA0 ? 0xFEC0 : 0xFEA0;
    reg(other, 0x01);
    reg(static_cast<std::uint16_t>(other + 6), 0x01);
    EXPECT_EQ(statusAfterWrite(0x00), 0x8C);
    reg(c.b, c.bit);
    if (c.dual) {
      EXPECT_EQ(statusAfterWrite(0x00), 0x8C) << "the second pair is still low";
      reg(0x050A, 0x80);
      reg(0x0510, 0x80);
    }
    EXPECT_EQ(statusAfterWrite(0x00), 0x00);
    if (config.family() == 0x1010) {
      // The package probe: bits 6..5 of 0x050F read 01 for a dual package while 0x051B
      // holds 0x29, 00 for a single one; afterwards the register is plain again.
      reg(0x050F, 0x00);
      reg(0x051B, 0x29);
      EXPECT_EQ((h.VendorIn(0x25, 0, 0x050F, 1).data.at(0) >> 5) & 3, c.dual ? 1 : 0);
      reg(0x051B, 0x15);
      EXPECT_EQ(h.VendorIn(0x25, 0, 0x050F, 1).data.at(0), 0x00);
    }
  }
}

TEST_F(Memory, Eeprom8WritesReadsAndRollsOver) {
  SimDevice& dev = Add("eeprom8", L"PID_0311");
  ASSERT_TRUE(host.VendorOut(0x36, 0, 0x07FE, {1, 2, 3, 4}).good());
  EXPECT_EQ(dev.memory()[0x7FE], 1);
  EXPECT_EQ(dev.memory()[0x000], 3) << "sequential writes roll over at the end";
  EXPECT_EQ(host.XuRead(Block(0x02, 0xCB, 0x07FF, 2), 2, 8).data,
            (std::vector<std::uint8_t>{2, 3}));
  // The 16-bit commands do not reach an 8-bit EEPROM.
  EXPECT_EQ(host.VendorIn(0x37, 0, 0, 2).urbStatus, kUsbdStatusStallPid);
}

TEST_F(Memory, Eeprom16HonoursItsWriteProtectPins) {
  SimDevice& dev = Add("eeprom16", L"PID_0312");
  // After power-on the line is not driven: protected, writes are acknowledged and lost.
  ASSERT_TRUE(host.XuWrite(Block(0x02, 0x91, 0x0100, 2), {0x11, 0x22}, 8).good());
  EXPECT_EQ(dev.memory()[0x100], 0xFF);
  // Unprotect as the tool does: 0xFEA0 |= 0x20, 0xFEA6 &= ~0x20, 0xFEA1 |= 0x02, 0xFEA7 &= ~0x02.
  Reg(0xFEA0, 0x20);
  Reg(0xFEA6, 0x00);
  Reg(0xFEA1, 0x02);
  Reg(0xFEA7, 0x00);
  std::uint64_t t0 = sim.clock().NowUs();
  ASSERT_TRUE(host.XuWrite(Block(0x02, 0x91, 0x0100, 2), {0x11, 0x22}, 8).good());
  EXPECT_GE(sim.clock().NowUs() - t0, 5000u) << "one write cycle";
  EXPECT_EQ(dev.memory()[0x100], 0x11);
  EXPECT_EQ(host.XuRead(Block(0x02, 0xD1, 0x0100, 2), 2, 8).data,
            (std::vector<std::uint8_t>{0x11, 0x22}));
  // Protect again: the enables released.
  Reg(0xFEA0, 0x00);
  Reg(0xFEA6, 0x01);
  Reg(0xFEA1, 0x00);
  Reg(0xFEA7, 0x01);
  ASSERT_TRUE(host.XuWrite(Block(0x02, 0x91, 0x0100, 1), {0x00}, 8).good());
  EXPECT_EQ(dev.memory()[0x100], 0x11);
}

class Otp : public Memory {
 protected:
  SimDevice& AddOtp(std::vector<WeakCell> weak = {}, bool locked = false) {
    DeviceConfig c;
    EXPECT_TRUE(MakeProfile("otp", "otp", c));
    c.otpWeak = std::move(weak);
    c.otpLocked = locked;
    SimDevice& d = sim.AddDevice(c);
    EXPECT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0340"));
    host.SetUnit(6, 0);
    return d;
  }
  // One OTP_Write with a budget, then the 19-byte failure report.
  std::vector<std::uint8_t> Write(std::uint16_t address, const std::vector<std::uint8_t>& data,
                                  std::uint16_t budget) {
    EXPECT_TRUE(
        host.XuWrite(Block(0x02, 0x97, address, static_cast<std::uint16_t>(data.size()), budget),
                     data, 8)
            .good());
    return host.XuRead(Block(0x02, 0xDC, 0, 0x13), 0x13, 8).data;
  }
};

TEST_F(Otp, ProgrammingOnlySetsBits) {
  SimDevice& dev = AddOtp();
  EXPECT_EQ(host.XuRead(Block(0x02, 0xD7, 0x10, 4), 4, 8).data,
            (std::vector<std::uint8_t>(4, 0x00)));
  std::vector<std::uint8_t> report = Write(0x10, {0x0F, 0x55}, 8);
  EXPECT_EQ(report, std::vector<std::uint8_t>(19, 0));
  // Writing the complement over a flag leaves 0xFF, and is no failure.
  report = Write(0x10, {0xF0, 0xAA}, 8);
  EXPECT_EQ(report[0], 0);
  EXPECT_EQ(dev.memory()[0x10], 0xFF);
  EXPECT_EQ(dev.memory()[0x11], 0xFF);
}

TEST_F(Otp, WeakCellsAreReportedHighByteFirst) {
  SimDevice& dev = AddOtp({{0x0123, 0x0F}, {0x0125, 0xFF}});
  std::vector<std::uint8_t> report = Write(0x0120, {1, 2, 3, 0xF0, 5, 6, 7, 8}, 8);
  EXPECT_EQ(report[0], 1);
  EXPECT_EQ(report[1], 0x01);
  EXPECT_EQ(report[2], 0x25) << "0x0123 took 0xF0: the weak bits were not asked for";
  EXPECT_EQ(dev.memory()[0x0125], 0x00);
  EXPECT_EQ(dev.memory()[0x0126], 7);
  // The same cell with a low nibble: 0x0123 fails now.
  report = Write(0x0123, {0xFF}, 8);
  EXPECT_EQ(report[0], 1);
  EXPECT_EQ(report[1] << 8 | report[2], 0x0123);
  EXPECT_EQ(dev.memory()[0x0123], 0xF0);
}

TEST_F(Otp, BeyondTheBudgetTheWriteStopsAndSaysWhere) {
  SimDevice& dev = AddOtp({{0x0201, 0xFF}, {0x0203, 0xFF}, {0x0205, 0xFF}});
  std::vector<std::uint8_t> report = Write(0x0200, {1, 1, 1, 1, 1, 1, 1, 1}, 2);
  EXPECT_EQ(report[0], 3);
  EXPECT_EQ(report[1] << 8 | report[2], 0x0201);
  EXPECT_EQ(report[3] << 8 | report[4], 0x0203);
  EXPECT_EQ(report[5] << 8 | report[6], 0x0205);
  EXPECT_EQ(report[17] << 8 | report[18], 0x0205) << "where the write stopped";
  EXPECT_EQ(dev.memory()[0x0204], 1);
  EXPECT_EQ(dev.memory()[0x0206], 0) << "nothing after the stop";
}

TEST_F(Otp, LockedOtpRefusesWrites) {
  SimDevice& dev = AddOtp({}, true);
  EXPECT_EQ(host.VendorIn(0x25, 0, 0xFD0C, 1).data.at(0) & 0x08, 0x08);
  EXPECT_EQ(host.XuSet(0x0A, Block(0x02, 0x97, 0x10, 1, 8)).urbStatus, kUsbdStatusStallPid);
  EXPECT_EQ(host.XuGet(0x81, 0x0A, 8).data.at(0), kStsHwErr);
  EXPECT_EQ(dev.memory()[0x10], 0);
  // The lock bit cannot be cleared from the host.
  ASSERT_TRUE(host.XuSet(0x0A, Block(0xFF, 0)).good());
  ASSERT_TRUE(host.VendorOut(0x24, 0, 0xFD0C, {0x00}).good());
  EXPECT_EQ(host.VendorIn(0x25, 0, 0xFD0C, 1).data.at(0) & 0x08, 0x08);
}

TEST_F(Otp, SubstitutionEntriesStandForFailedBytes) {
  SimDevice& dev = AddOtp();
  ASSERT_EQ(Write(0x0040, {0x11, 0x22}, 8)[0], 0);
  // ECC entry 1 at 0x3FC0: address 0x0041 gets 0x99.
  ASSERT_EQ(Write(0x3FC0, {0x00, 0x41, 0x99, 0x5A}, 8)[0], 0);
  EXPECT_EQ(host.XuRead(Block(0x02, 0xD7, 0x40, 2), 2, 8).data,
            (std::vector<std::uint8_t>{0x11, 0x22}));
  EXPECT_EQ(host.XuRead(Block(0x02, 0xD9, 0x40, 2), 2, 8).data,
            (std::vector<std::uint8_t>{0x11, 0x99}));
  (void)dev;
}

}  // namespace
}  // namespace vantor::sim
