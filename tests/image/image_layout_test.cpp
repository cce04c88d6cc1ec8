// The image layout helper writes the area and record bytes the tool reads; these are
// checked here as bytes, so the other tests can trust the images they build.
#include "tools/image_layout.h"

#include <gtest/gtest.h>

namespace vantor::imagegen {
namespace {

TEST(ImageLayout, AreaHeaderAndRecords) {
  AreaBuilder area(0x60, 24, 2);
  area.Add(VersionRecord(0x1234, 0x1060));
  area.Add(ByteRecord(8, 0x42));
  area.Add(StringRecord(3, "SN"));
  area.Add(VidPidRecord(0x3A4B, 0x0310, 0x0102));
  const Bytes expected = {
      0x60, 0xA5, 24 << 3 | 2, 29, 0x00, 4,      // header: type, signature, chip|variant, length,
                                                 // count
      6, 47, 0x34, 0x12, 0x60, 0x10,             // version record, little-endian words
      3, 8, 0x42,                                // EEPROM information
      6, 3, 4, 3, 'S', 'N',                      // string: length, type, bLength, 3, text
      8, 4, 0x4B, 0x3A, 0x10, 0x03, 0x02, 0x01,  // VID, PID, release little-endian
  };
  EXPECT_EQ(area.Build(), expected);
  EXPECT_EQ(area.AreaLength(), 29);
}

TEST(ImageLayout, SmallCacheDataFollowsItsEightBytes) {
  AreaBuilder area(0x30, 21);
  area.Add(VersionRecord(0, 0));
  const Bytes data = {0xDE, 0xAD, 0xBE};
  area.AddSmallCache(data);
  const Bytes bytes = area.Build();
  ASSERT_EQ(bytes.size(), 6u + 6 + 8 + 3);
  // Escape header 0xFF 0xE7, length 11, data offset 20 (12 + 8), data length 3.
  EXPECT_EQ(Bytes(bytes.begin() + 12, bytes.end()),
            (Bytes{0xFF, 0xE7, 11, 0, 20, 0, 3, 0, 0xDE, 0xAD, 0xBE}));
}

TEST(ImageLayout, CodeBlockFollowsTheArea) {
  AreaBuilder area(0x30, 17);
  const Bytes code = {1, 2, 3, 4};
  area.AddCodeInfo(code);
  area.Add(StringRecord(1, "A"));
  const Bytes bytes = area.Build();
  // Area: header 6 + code info 6 + string 5 = 17; the code info points there.
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 12),
            (Bytes{0x30, 0xA5, 17 << 3, 17, 0, 2, 6, 15, 17, 0, 4, 0}));
  EXPECT_EQ(Bytes(bytes.begin() + 17, bytes.end()), code);
}

TEST(ImageLayout, HeaderOverrides) {
  AreaBuilder area(0x30, 21);
  area.Add(StringRecord(1, "A")).SetRecordCount(200).SetAreaLength(0x1234);
  const Bytes bytes = area.Build();
  EXPECT_EQ(bytes[3], 0x34);
  EXPECT_EQ(bytes[4], 0x12);
  EXPECT_EQ(bytes[5], 200);
}

}  // namespace
}  // namespace vantor::imagegen
