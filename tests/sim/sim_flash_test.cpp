// The SPI flash behaves like NOR silicon, over both transports: programs AND into what is
// there, erases set 0xFF, protection makes programs, erases and status writes change
// nothing, a busy flash ignores what reaches it, and on the virtual clock the chip's
// firmware waits for its page programs and erases while a status write returns at once.
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
using Bytes = std::vector<std::uint8_t>;

enum class Path { kVendor, kUnit };

constexpr std::uint16_t kDataSize = 8;  // the extension unit's data control size

// Public helpers: the tables below call them through the fixture.
class Flash : public ::testing::TestWithParam<Path> {
 public:
  void SetUp() override {
    device_ = &sim_.AddDevice("flash-old");
    DeviceTiming& t = device_->timing();
    t.transferUs = 1000;
    t.byteNs = 1000;
    t.pageProgramUs = 512;  // 16 us for every 8 bytes
    t.chipEraseMs = 1000;
    t.sectorEraseMs = 60;
    t.statusWriteMs = 15;
    ASSERT_TRUE(host_.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
    host_.SetUnit(6, 0);
  }
  bool Vendor() const { return GetParam() == Path::kVendor; }
  static std::uint16_t Lo(std::uint32_t a) { return static_cast<std::uint16_t>(a); }
  // Address bits 16..19 in wValue bits 8..11, or bits 16..31 in p3.
  static std::uint16_t HiValue(std::uint32_t a) {
    return static_cast<std::uint16_t>((a >> 16 & 0x0F) << 8);
  }
  static std::uint16_t Hi(std::uint32_t a) { return static_cast<std::uint16_t>(a >> 16); }

  Reply Program(std::uint32_t a, const Bytes& data) {
    if (Vendor()) return host_.VendorOut(0x2F, HiValue(a), Lo(a), data);
    return host_.XuWrite(Block(0x02, 0x82, Lo(a), static_cast<std::uint16_t>(data.size()), Hi(a)),
                         data, kDataSize);
  }
  Bytes Read(std::uint32_t a, std::uint16_t n) {
    Reply r = Vendor() ? host_.VendorIn(0x2E, HiValue(a), Lo(a), n)
                       : host_.XuRead(Block(0x02, 0xC2, Lo(a), n, Hi(a)), n, kDataSize);
    EXPECT_TRUE(r.good());
    return r.data;
  }
  // The time-out applies to the vendor request; the command block carries none.
  Reply EraseChip(std::uint32_t timeoutMs = 60000) {
    if (Vendor()) return host_.VendorOut(0x32, 0, 0, {}, timeoutMs);
    return host_.XuSet(0x0A, Block(0x02, 0x04));
  }
  Reply EraseSector(std::uint32_t a) {
    if (Vendor()) return host_.VendorOut(0x33, HiValue(a), Lo(a), {});
    return host_.XuSet(0x0A, Block(0x02, 0x05, Lo(a), 0, Hi(a)));
  }
  Reply Tag() {
    if (Vendor()) return host_.VendorOut(0x34, 0, 0, {});
    return host_.XuSet(0x0A, Block(0x02, 0x13));
  }
  Reply WriteStatus(std::uint8_t v) {
    if (Vendor()) return host_.VendorOut(0x31, 0, 0, {v});
    return host_.XuWrite(Block(0x02, 0x83, 0, 1), {v}, kDataSize);
  }
  std::uint8_t Status() {
    Reply r = Vendor() ? host_.VendorIn(0x30, 0, 0, 1)
                       : host_.XuRead(Block(0x02, 0xC3, 0, 1), 1, kDataSize);
    EXPECT_TRUE(r.good());
    return r.data.empty() ? 0xEE : r.data[0];
  }
  void Reg(std::uint16_t address, std::uint8_t v) {
    ASSERT_TRUE(host_.VendorOut(0x24, 0, address, {v}).good());
  }
  std::uint64_t NowUs() { return sim_.clock().NowUs(); }
  void SleepMs(std::uint32_t ms) { sim_.clock().Sleep(ms); }
  std::uint8_t* Memory() { return device_->memory(); }
  // Wire time of a request moving `bytes` of data: one transfer over vendor requests, a
  // command block and one transfer per 8 bytes over the extension unit.
  std::uint64_t WireUs(std::uint32_t bytes) const {
    if (Vendor()) return 1000 + bytes;
    return 1008 + (bytes + kDataSize - 1) / kDataSize * 1008;
  }

  SimulatedPlatform sim_;
  SimDevice* device_ = nullptr;
  TestHost host_;
};

TEST_P(Flash, ProgramAndsIntoWhatIsThereAndEraseSetsFF) {
  for (std::uint32_t at : {0x00100u, 0x12345u}) {
    SCOPED_TRACE(at);
    ASSERT_TRUE(Program(at, {0x0F, 0xFF, 0x5A}).good());
    ASSERT_TRUE(Program(at, {0xF0, 0x3C, 0xFF}).good());
    EXPECT_EQ(Read(at, 3), (Bytes{0x00, 0x3C, 0x5A})) << "0 never becomes 1 without an erase";
    EXPECT_EQ(Memory()[at + 1], 0x3C);
  }
  // A sector erase covers its 4 KiB sector only; a chip erase every byte.
  Memory()[0x1FFF] = 0x00;
  ASSERT_TRUE(EraseSector(0x0000).good());
  SleepMs(60);
  EXPECT_EQ(Read(0x100, 3), (Bytes{0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Memory()[0x1FFF], 0x00);
  for (std::size_t i = 0; i < device_->memorySize(); i += 977) Memory()[i] = 0x12;
  std::uint64_t t0 = NowUs();
  ASSERT_TRUE(EraseChip().good());
  EXPECT_EQ(NowUs() - t0, WireUs(0) + 1000000u) << "the command waits for the erase";
  EXPECT_EQ(Status() & SpiFlash::kBusy, 0);
  const std::uint8_t* m = Memory();
  EXPECT_TRUE(std::all_of(m, m + device_->memorySize(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_P(Flash, PageProgramsTakeTheirTimeInsideTheWriteCommand) {
  Bytes data(4096);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  std::uint64_t t0 = NowUs();
  ASSERT_TRUE(Program(0x3000, data).good());
  // 16 pages of 512 us each, on top of the wire time: the firmware waited for each one.
  EXPECT_EQ(NowUs() - t0, WireUs(4096) + 16 * 512u);
  EXPECT_EQ(Status() & SpiFlash::kBusy, 0) << "ready when the command returns";
  EXPECT_EQ(std::memcmp(Memory() + 0x3000, data.data(), data.size()), 0);
  // The tag command programs 55 AA at the tag address the same way.
  ASSERT_TRUE(Tag().good());
  EXPECT_EQ(Memory()[0xEFFE], 0x55);
  EXPECT_EQ(Memory()[0xEFFF], 0xAA);
}

TEST_P(Flash, StatusWriteReturnsAtOnceAndTheBusyBitShowsTheRest) {
  std::uint64_t t0 = NowUs();
  ASSERT_TRUE(WriteStatus(0x00).good());
  EXPECT_EQ(NowUs() - t0, WireUs(1)) << "no wait for the write itself";
  EXPECT_EQ(Status(), SpiFlash::kBusy);
  SleepMs(15);
  EXPECT_EQ(Status(), 0x00);
}

TEST_P(Flash, ProtectedFlashChangesNothingAndRefusesStatusWrites) {
  // Protect as the tool does: the WP# pin driven low, then 0x8C.
  Reg(0xFEA0, 0x01);
  Reg(0xFEA6, 0x00);
  ASSERT_TRUE(WriteStatus(0x8C).good());
  SleepMs(15);
  ASSERT_EQ(Status(), 0x8C);
  Memory()[0x20] = 0x5A;
  struct Case {
    const char* what;
    Reply (*run)(Flash&);
  } cases[] = {
      {"program", [](Flash& f) { return f.Program(0x20, {0x00}); }},
      {"chip erase", [](Flash& f) { return f.EraseChip(); }},
      {"sector erase", [](Flash& f) { return f.EraseSector(0); }},
      {"tag", [](Flash& f) { return f.Tag(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(c.run(*this).good()) << "the request itself succeeds";
    EXPECT_EQ(Memory()[0x20], 0x5A);
    EXPECT_EQ(Memory()[0xEFFE], 0xFF);
    EXPECT_EQ(Status(), 0x8C) << "ignored: no busy time";
  }
  // With the pin low the status register is locked: the write is ignored, not busy.
  ASSERT_TRUE(WriteStatus(0x00).good());
  EXPECT_EQ(Status(), 0x8C);
  Reg(0xFEA0, 0x00);  // an undriven pin reads low as well
  ASSERT_TRUE(WriteStatus(0x00).good());
  EXPECT_EQ(Status(), 0x8C);
  // Unprotect as the tool does: the pin driven high, then 0x00.
  Reg(0xFEA0, 0x01);
  Reg(0xFEA6, 0x01);
  ASSERT_TRUE(WriteStatus(0x00).good());
  SleepMs(15);
  EXPECT_EQ(Status(), 0x00);
  ASSERT_TRUE(Program(0x20, {0x0F}).good());
  EXPECT_EQ(Memory()[0x20], 0x0A);
}

TEST_P(Flash, CommandsThatReachABusyFlashAreIgnored) {
  struct Case {
    const char* what;
    void (*run)(Flash&);
  } cases[] = {
      {"program: what reaches the busy flash is lost, the rest is programmed",
       [](Flash& f) {
         ASSERT_TRUE(f.Program(0x200, Bytes(512, 0x00)).good());
         EXPECT_EQ(f.Memory()[0x200], 0xFF);
         EXPECT_EQ(f.Memory()[0x3FF], 0x00);
       }},
      {"chip erase: nothing erased; the command waits for the flash, then returns",
       [](Flash& f) {
         std::uint64_t t0 = f.NowUs();
         ASSERT_TRUE(f.EraseChip().good());
         EXPECT_LT(f.NowUs() - t0, 100000u);
         EXPECT_EQ(f.Memory()[0x5000], 0x12);
       }},
      {"sector erase",
       [](Flash& f) {
         ASSERT_TRUE(f.EraseSector(0x5000).good());
         EXPECT_EQ(f.Memory()[0x5000], 0x12);
       }},
      {"tag",
       [](Flash& f) {
         ASSERT_TRUE(f.Tag().good());
         EXPECT_EQ(f.Memory()[0xEFFE], 0xFF);
       }},
      {"read: no answer from the flash, the data line floats high",
       [](Flash& f) {
         EXPECT_EQ(f.Read(0x5000, 2), (Bytes{0xFF, 0xFF}));
       }},
      {"status write",
       [](Flash& f) {
         ASSERT_TRUE(f.WriteStatus(0x8C).good());
         f.SleepMs(15);
         EXPECT_EQ(f.Status(), 0x00);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::memset(Memory(), 0xFF, device_->memorySize());
    Memory()[0x5000] = 0x12;
    Memory()[0x5001] = 0x34;
    ASSERT_TRUE(WriteStatus(0x00).good());
    ASSERT_EQ(Status(), SpiFlash::kBusy);
    c.run(*this);
    SleepMs(15);
  }
}

// The erase waits for its end up to the time-out it is given: the vendor request's time-out
// (the tool's "EraseTimeOut"), or the class request's own 5 s over the extension unit.
TEST_P(Flash, EraseShorterThanItsTimeOutPassesLongerFailsAndLeavesTheFlashBusy) {
  struct Case {
    std::uint32_t eraseMs;
    std::uint32_t vendorTimeOutMs;
    bool vendorPasses;
    bool unitPasses;
    bool overUnit;  // the case exists over the extension unit too
  } cases[] = {{1000, 10000, true, true, true},
               {1000, 600, false, false, false},
               {6000, 10000, true, false, true},
               {12000, 10000, false, false, true}};
  for (const Case& c : cases) {
    if (!Vendor() && !c.overUnit) continue;
    SCOPED_TRACE(testing::Message() << c.eraseMs << " ms erase, " << c.vendorTimeOutMs);
    device_->timing().chipEraseMs = c.eraseMs;
    Memory()[0x40] = 0x00;
    std::uint64_t t0 = NowUs();
    Reply r = EraseChip(c.vendorTimeOutMs);
    const bool passes = Vendor() ? c.vendorPasses : c.unitPasses;
    const std::uint32_t limitMs = Vendor() ? c.vendorTimeOutMs : 5000;
    EXPECT_EQ(r.good(), passes);
    EXPECT_EQ(Memory()[0x40], 0xFF) << "the erase runs either way";
    if (passes) {
      EXPECT_EQ(Status() & SpiFlash::kBusy, 0);
      continue;
    }
    EXPECT_EQ(r.error, platform::kErrorSemTimeout);
    EXPECT_EQ(NowUs() - t0, limitMs * 1000u);
    EXPECT_EQ(Status(), SpiFlash::kBusy) << "still erasing";
    // Meanwhile a read gets no answer; once the erase is done the flash works again.
    Memory()[0x41] = 0x00;
    EXPECT_EQ(Read(0x41, 1), Bytes{0xFF});
    SleepMs(c.eraseMs - limitMs);
    EXPECT_EQ(Status(), 0x00);
    EXPECT_EQ(Read(0x41, 1), Bytes{0x00});
    ASSERT_TRUE(Program(0x40, {0x00}).good());
    EXPECT_EQ(Memory()[0x40], 0x00);
  }
}

INSTANTIATE_TEST_SUITE_P(BothTransports, Flash, ::testing::Values(Path::kVendor, Path::kUnit),
                         [](const ::testing::TestParamInfo<Path>& info) {
                           return info.param == Path::kVendor ? "VendorRequests" : "ExtensionUnit";
                         });

}  // namespace
}  // namespace vantor::sim
