// The version texts and numbers built from the device status, in every format.
#include "flows/fw_version.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <utility>

namespace vantor {
namespace {

using Status = std::array<std::uint8_t, kDevStatusSize>;
using Pages = std::array<std::uint8_t, kStatusPagesSize>;

Status MakeStatus(std::initializer_list<std::pair<int, std::uint8_t>> bytes) {
  Status s{};
  for (const auto& [at, value] : bytes) s[at] = value;
  return s;
}

struct VersionCase {
  const char* name;
  Status status;
  Pages pages;
  std::uint8_t modeEx;
  const wchar_t* withIds;
  const wchar_t* plain;
  std::array<std::uint16_t, 6> ver;
};

Pages DottedPages() {
  Pages x{};
  x[12] = 0x2A;
  x[13] = 0x07;
  x[14] = 0x12;
  x[15] = 0x34;
  x[16] = 0x00;
  x[17] = 0x05;
  x[18] = 0xBE;
  x[19] = 0xEF;
  return x;
}

class FwVersionFormats : public ::testing::TestWithParam<VersionCase> {};

TEST_P(FwVersionFormats, TextAndNumbers) {
  const VersionCase& c = GetParam();
  const FwVersion ids = BuildFwVersion(c.status, c.pages, c.modeEx, 0x3A4B, 0x0310, true);
  EXPECT_EQ(ids.text, c.withIds);
  const FwVersion plain = BuildFwVersion(c.status, c.pages, c.modeEx, 0x3A4B, 0x0310, false);
  EXPECT_EQ(plain.text, c.plain);
  EXPECT_EQ(plain.ver, c.ver);
}

// Format 0 (ROM code): active block bytes 3, 6, 7 and status bytes 5, 4.
const Status kPlainFirstBlock =
    MakeStatus({{64, 0x00}, {67, 0x01}, {70, 0x02}, {71, 0x03}, {5, 0x40}, {4, 0x05}});
// The first block's low nibble is 0 and byte 72's low nibble 0x04: the second block rules.
const Status kPlainSecondBlock = MakeStatus(
    {{64, 0x00}, {72, 0x04}, {75, 0x11}, {78, 0x22}, {79, 0x33}, {5, 0x01}, {4, 0x02}, {67, 0x99}});
// Byte 72's low nibble 0x0B keeps the first block.
const Status kSecondBlockB =
    MakeStatus({{64, 0x00}, {72, 0x0B}, {67, 0x0A}, {70, 0x0B}, {71, 0x0C}, {75, 0x99}});
// Format 1: high nibble 2 of the active block's first byte.
const Status kTwoByte = MakeStatus({{64, 0x21}, {76, 0x34}, {77, 0x12}, {78, 0x78}, {79, 0x56}});
// Format 2: high nibble 3 (the cached firmware's dotted format).
const Status kDotted = MakeStatus({{64, 0x31},
                                   {76, 0x04},
                                   {77, 0x03},
                                   {78, 0x02},
                                   {79, 0x1A},
                                   {80, 0x08},
                                   {81, 0x07},
                                   {82, 0x06},
                                   {83, 0x05}});

INSTANTIATE_TEST_SUITE_P(
    AllFormats, FwVersionFormats,
    ::testing::Values(VersionCase{"plain_first_block",
                                  kPlainFirstBlock,
                                  Pages{},
                                  0,
                                  L"0x01-0203-4005-VID3A4B&&PID0310",
                                  L"0x01-0203-4005",
                                  {1, 2, 3, 0x40, 5, 0}},
                      VersionCase{"plain_second_block",
                                  kPlainSecondBlock,
                                  Pages{},
                                  0,
                                  L"0x11-2233-0102-VID3A4B&&PID0310",
                                  L"0x11-2233-0102",
                                  {0x11, 0x22, 0x33, 1, 2, 0}},
                      VersionCase{"second_block_nibble_B_ignored",
                                  kSecondBlockB,
                                  Pages{},
                                  0,
                                  L"0x0A-0B0C-0000-VID3A4B&&PID0310",
                                  L"0x0A-0B0C-0000",
                                  {0x0A, 0x0B, 0x0C, 0, 0, 0}},
                      VersionCase{"two_byte",
                                  kTwoByte,
                                  Pages{},
                                  0,
                                  L"0x1234-5678-VID3A4B&&PID0310",
                                  L"0x1234-5678",
                                  {0x12, 0x34, 0x56, 0x78, 0, 0}},
                      VersionCase{"dotted",
                                  kDotted,
                                  Pages{},
                                  8,
                                  L"1.A02.0304-0506.0708-VID3A4B&&PID0310",
                                  L"1.A02.0304-0506.0708",
                                  {1, 0xA, 2, 0x0304, 0x0506, 0x0708}},
                      // Modes 16, 24 and 32 take the status pages whatever the status says.
                      VersionCase{"pages_mode16",
                                  kTwoByte,
                                  DottedPages(),
                                  16,
                                  L"2.A07.1234-0005.BEEF-VID3A4B&&PID0310",
                                  L"2.A07.1234-0005.BEEF",
                                  {2, 0xA, 7, 0x1234, 5, 0xBEEF}},
                      VersionCase{"pages_mode24",
                                  kPlainFirstBlock,
                                  DottedPages(),
                                  24,
                                  L"2.A07.1234-0005.BEEF-VID3A4B&&PID0310",
                                  L"2.A07.1234-0005.BEEF",
                                  {2, 0xA, 7, 0x1234, 5, 0xBEEF}},
                      VersionCase{"pages_mode32",
                                  kDotted,
                                  DottedPages(),
                                  32,
                                  L"2.A07.1234-0005.BEEF-VID3A4B&&PID0310",
                                  L"2.A07.1234-0005.BEEF",
                                  {2, 0xA, 7, 0x1234, 5, 0xBEEF}},
                      // The unreadable mode byte (0xFF) is no page mode.
                      VersionCase{"mode_ff",
                                  kDotted,
                                  DottedPages(),
                                  0xFF,
                                  L"1.A02.0304-0506.0708-VID3A4B&&PID0310",
                                  L"1.A02.0304-0506.0708",
                                  {1, 0xA, 2, 0x0304, 0x0506, 0x0708}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VersionFormatOf, ByTheActiveBlocksHighNibble) {
  EXPECT_EQ(VersionFormatOf(kPlainFirstBlock), 0);
  EXPECT_EQ(VersionFormatOf(kTwoByte), 1);
  EXPECT_EQ(VersionFormatOf(kDotted), 2);
  // The second block decides when it is active.
  EXPECT_EQ(VersionFormatOf(MakeStatus({{64, 0x30}, {72, 0x21}})), 1);
  EXPECT_EQ(ActiveVersionBlock(MakeStatus({{64, 0x30}, {72, 0x21}})), 72u);
  EXPECT_EQ(ActiveVersionBlock(MakeStatus({{64, 0x31}, {72, 0x21}})), 64u);
}

TEST(FwRecordFromStatus, EachSource) {
  Status s{};
  for (int i = 0; i < 104; ++i) s[i] = static_cast<std::uint8_t>(i);
  // Byte 64 = 0x40: low nibble 0, byte 72 = 0x48: low nibble 8 -> second block.
  EXPECT_EQ(FwRecordFromStatus(s), (std::array<std::uint8_t, 8>{72, 73, 74, 75, 76, 77, 78, 79}));
  s[64] = 0x21;
  EXPECT_EQ(FwRecordFromStatus(s), (std::array<std::uint8_t, 8>{77, 76, 79, 78, 0, 0, 0, 0}));
  s[64] = 0x31;
  EXPECT_EQ(FwRecordFromStatus(s), (std::array<std::uint8_t, 8>{76, 77, 78, 79, 80, 81, 82, 83}));
  s[64] = 0x51;
  EXPECT_EQ(FwRecordFromStatus(s), (std::array<std::uint8_t, 8>{0x51, 65, 66, 67, 68, 69, 70, 71}));
}

}  // namespace
}  // namespace vantor
