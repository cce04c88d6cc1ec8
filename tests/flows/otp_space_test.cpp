// The OTP space figures of the block table on the simulated OTP device.
#include <gtest/gtest.h>

#include "flows/otp_info.h"
#include "support/device_rig.h"

namespace vantor::test {
namespace {

struct VdEntry {
  int index;
  std::uint16_t start;
  std::uint16_t length;
  std::uint8_t flag;
};

void WriteEntries(sim::SimDevice& device, std::initializer_list<VdEntry> entries) {
  for (const VdEntry& e : entries) {
    std::uint8_t* p = device.memory() + kOtpVdTableAddress + kOtpVdEntrySize * e.index;
    p[0] = static_cast<std::uint8_t>(e.start >> 8);
    p[1] = static_cast<std::uint8_t>(e.start);
    p[2] = static_cast<std::uint8_t>(e.length >> 8);
    p[3] = static_cast<std::uint8_t>(e.length);
    p[4] = e.flag;
  }
}

struct Figures {
  std::uint32_t lastLen;
  std::uint32_t startOfLast;
  std::uint32_t freeEntries;
  std::uint32_t lastCode;
  std::uint32_t lastConfig;
  std::uint32_t codeStart;
  std::uint32_t configStart;
};

Figures Read(COTPInfo_USB& flow) {
  Figures f{};
  f.lastLen = flow.MP_OTPLastBlockLen();
  f.startOfLast = flow.MP_OTPBlockStart(f.lastLen);
  f.freeEntries = flow.MP_OTPFreeEntries();
  f.lastCode = flow.MP_OTPLastBlockOfKind(true);
  f.lastConfig = flow.MP_OTPLastBlockOfKind(false);
  f.codeStart = flow.MP_OTPBlockStartOfKind(f.lastCode);
  f.configStart = flow.MP_OTPBlockStartOfKind(f.lastConfig);
  return f;
}

TEST(OtpSpace, FiguresForZeroOneAndTwoBlocks) {
  struct Case {
    const char* name;
    std::initializer_list<VdEntry> entries;
    Figures expected;
  };
  const Case cases[] = {
      {"blank table", {}, {0, 0, 16, 0, 0, 0, 0}},
      {"one code block", {{0, 0x0000, 0x1234, 0x55}}, {0x1234, 0, 15, 0x1234, 0, 0, 0}},
      {"code and configuration",
       {{0, 0x0000, 0x1234, 0x55}, {1, 0x1234, 0x0100, 0xAA}},
       {0x0100, 0x1234, 14, 0x1234, 0x0100, 0, 0x1234}},
      // An invalidated block still occupies its entry and its space, but is of no kind.
      {"invalidated block on top",
       {{0, 0x0000, 0x1000, 0x55}, {1, 0x1000, 0x0200, 0xAA}, {2, 0x1200, 0x0800, 0xFF}},
       {0x0800, 0x1200, 13, 0x1000, 0x0200, 0, 0x1000}},
      // Entries are counted from the highest used one, whatever lies below it.
      {"gap below the highest entry",
       {{0, 0x0000, 0x0010, 0x55}, {5, 0x0010, 0x0020, 0xAA}},
       {0x0020, 0x0010, 10, 0x0010, 0x0020, 0, 0x0010}},
      {"last entry used", {{15, 0x3000, 0x0F60, 0x55}}, {0x0F60, 0x3000, 0, 0x0F60, 0, 0x3000, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRig rig;
    sim::SimDevice& device = rig.Add("otp");
    WriteEntries(device, c.entries);
    COTPInfo_USB flow;
    ASSERT_EQ(flow.MP_OpenDevice(0), 1);
    const Figures f = Read(flow);
    EXPECT_EQ(f.lastLen, c.expected.lastLen);
    EXPECT_EQ(f.startOfLast, c.expected.startOfLast);
    EXPECT_EQ(f.freeEntries, c.expected.freeEntries);
    EXPECT_EQ(f.lastCode, c.expected.lastCode);
    EXPECT_EQ(f.lastConfig, c.expected.lastConfig);
    EXPECT_EQ(f.codeStart, c.expected.codeStart);
    EXPECT_EQ(f.configStart, c.expected.configStart);
    Lib_CloseDevice(flow.handle);
  }
}

TEST(OtpSpace, StartLooksForTheHighestEntryOfThatLength) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("otp");
  WriteEntries(device,
               {{0, 0x0000, 0x0100, 0x55}, {1, 0x0100, 0x0100, 0xAA}, {2, 0x0200, 0x0300, 0x55}});
  COTPInfo_USB flow;
  ASSERT_EQ(flow.MP_OpenDevice(0), 1);
  EXPECT_EQ(flow.MP_OTPBlockStart(0x0100), 0x0100u);
  EXPECT_EQ(flow.MP_OTPBlockStart(0x0777), 0u);
  EXPECT_EQ(flow.MP_OTPBlockStartOfKind(0x0100), 0x0100u);
  Lib_CloseDevice(flow.handle);
}

// The figures count an entry that cannot be read as unused; whether they can be trusted
// is asked first.
TEST(OtpSpace, TheTableIsReadableOnlyWhereThereIsOne) {
  struct Case {
    const char* profile;
    bool readable;
  } cases[] = {{"otp", true}, {"flash-old", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile);
    DeviceRig rig;
    rig.Add(c.profile);
    COTPInfo_USB flow;
    ASSERT_EQ(flow.MP_OpenDevice(0), 1);
    EXPECT_EQ(flow.MP_OTPTableReadable(), c.readable);
    Lib_CloseDevice(flow.handle);
  }
  COTPInfo_USB unopened;
  EXPECT_FALSE(unopened.MP_OTPTableReadable());
}

TEST(OtpSpace, WithoutDeviceNothingIsUsed) {
  COTPInfo_USB flow;
  EXPECT_EQ(flow.MP_OTPLastBlockLen(), 0u);
  EXPECT_EQ(flow.MP_OTPFreeEntries(), 16u);
  EXPECT_EQ(flow.MP_OTPLastBlockOfKind(true), 0u);
}

}  // namespace
}  // namespace vantor::test
