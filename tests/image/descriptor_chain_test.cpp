#include "image/descriptor_chain.h"

#include <gtest/gtest.h>

#include <vector>

#include "tools/image_layout.h"

namespace vantor {
namespace {

namespace ig = imagegen;

TEST(AreaHeader, FieldsAndBounds) {
  const ig::Bytes bytes = {0xFF, 0x12, 0xA5, 0xCB, 0x34, 0x12, 0x07};
  AreaHeader header;
  ASSERT_TRUE(ReadAreaHeader(bytes, 1, header));
  EXPECT_EQ(header.imageType, 0x12);
  EXPECT_TRUE(header.HasSignature());
  EXPECT_EQ(header.chipType, 0xCB >> 3);
  EXPECT_EQ(header.variant, 0xCB & 7);
  EXPECT_EQ(header.areaLength, 0x1234);
  EXPECT_EQ(header.recordCount, 7);
  EXPECT_FALSE(ReadAreaHeader(bytes, 2, header));  // five bytes left
  EXPECT_FALSE(ReadAreaHeader(bytes, 8, header));
  EXPECT_FALSE(HasAreaAt(bytes, 0));
  EXPECT_TRUE(HasAreaAt(bytes, 1));
}

TEST(RecordHeader, PlainAndEscapeForms) {
  RecordHeader h;
  const ig::Bytes plain = {0x12, 0x40};
  ASSERT_TRUE(ReadRecordHeader(plain, 0, h));
  EXPECT_EQ(h.length, 0x12);
  EXPECT_EQ(h.type, 0x40);
  EXPECT_EQ(h.headerLength, 2);
  // 0xFF 0xE7: ten-bit length 1023 and type 39 announce the four-byte header.
  const ig::Bytes escape = {0xFF, 0xE7, 0x34, 0x01};
  ASSERT_TRUE(ReadRecordHeader(escape, 0, h));
  EXPECT_EQ(h.length, 0x134);
  EXPECT_EQ(h.type, 39);
  EXPECT_EQ(h.headerLength, 4);
  EXPECT_FALSE(ReadRecordHeader(escape, 1, h) && h.headerLength == 4);
  // 0xFF 0xFF is a plain header: type 0xFF, 255 bytes long.
  const ig::Bytes ffff = {0xFF, 0xFF};
  ASSERT_TRUE(ReadRecordHeader(ffff, 0, h));
  EXPECT_EQ(h.length, 255);
  EXPECT_EQ(h.headerLength, 2);
  // The escape form needs all four bytes; nothing at all past the end.
  EXPECT_FALSE(ReadRecordHeader(ig::Bytes{0xFF, 0xE7, 0x10}, 0, h));
  EXPECT_FALSE(ReadRecordHeader(plain, 1, h));
  EXPECT_FALSE(ReadRecordHeader(plain, 5, h));
}

TEST(ChainHead, HeadRecordsInOrderAndBankCopyOnlyFor25And26) {
  struct Case {
    std::uint8_t chip;
    bool bankCopy;
    std::size_t cursor;
  } cases[] = {
      {25, true, 6 + 6 + 3 + 3 + 3},
      {26, true, 6 + 6 + 3 + 3 + 3},
      // Any other chip type: the bank-copy record is not a head record, so the chain's
      // head ends there and the force-update record after it is not one either.
      {21, false, 6 + 6 + 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.chip));
    ig::AreaBuilder area(0x30, c.chip);
    area.Add(ig::VersionRecord(0x0340, 0x2001))
        .Add(ig::ByteRecord(8, 0x11))
        .Add(ig::ByteRecord(20, 0x5A))
        .Add(ig::ByteRecord(21, 0x01))
        .Add(ig::StringRecord(1, "M"));
    DescriptorChain chain;
    ASSERT_TRUE(chain.Attach(area.Build()));
    const ChainHeadValues& head = chain.head();
    EXPECT_TRUE(head.hasVersion);
    EXPECT_EQ(head.versionWord1, 0x0340);
    EXPECT_EQ(head.versionWord2, 0x2001);
    EXPECT_TRUE(head.hasEepInfo);
    EXPECT_EQ(head.eepInfo, 0x11);
    EXPECT_EQ(head.hasBankCopy, c.bankCopy);
    EXPECT_EQ(head.bankCopy, c.bankCopy ? 0x5A : 0);
    EXPECT_EQ(head.hasForceUpdate, c.bankCopy);
    EXPECT_EQ(chain.cursor(), c.cursor);
    const int consumed = c.bankCopy ? 4 : 2;
    EXPECT_EQ(chain.remaining(), 5 - consumed);
    // Reading the head again changes neither the count nor the cursor.
    ASSERT_TRUE(chain.ReadHead());
    EXPECT_EQ(chain.remaining(), 5 - consumed);
    EXPECT_EQ(chain.cursor(), c.cursor);
  }
}

TEST(ChainHead, SecondVersionWordOfAnyFirstRecordAndTruncatedHeads) {
  ig::AreaBuilder area(0x30, 17);
  area.Add(ig::StringRecord(1, "ABCD"));
  DescriptorChain chain;
  ASSERT_TRUE(chain.Attach(area.Build()));
  EXPECT_FALSE(chain.head().hasVersion);
  EXPECT_EQ(chain.head().versionWord2, 'A' | ('B' << 8));  // bytes 4-5 of the string record
  EXPECT_EQ(chain.cursor(), 6u);

  // A version record cut off by the end of the bytes is not consumed.
  const ig::Bytes cut = {0x30, 0xA5, 17 << 3, 12, 0, 1, 6, 47, 0x01};
  ASSERT_TRUE(chain.Attach(cut));
  EXPECT_FALSE(chain.head().hasVersion);
  EXPECT_EQ(chain.head().versionWord2, 0);
  EXPECT_EQ(chain.remaining(), 1);

  EXPECT_FALSE(chain.Attach(ig::Bytes{0x30, 0xA5, 0x88}));
  EXPECT_EQ(chain.remaining(), 0);
}

struct WalkCase {
  const char* name;
  ig::Bytes bytes;
  ChainWalk result;
  std::vector<int> types;  // records read, in order
};

// header(type 0x30, chip 21, area length, count) followed by raw bytes.
ig::Bytes Area(std::uint16_t length, std::uint8_t count, ig::Bytes rest) {
  ig::Bytes bytes = {0x30,
                     0xA5,
                     21 << 3,
                     static_cast<std::uint8_t>(length & 0xFF),
                     static_cast<std::uint8_t>(length >> 8),
                     count};
  bytes.insert(bytes.end(), rest.begin(), rest.end());
  return bytes;
}

TEST(ChainWalk, Table) {
  const std::vector<WalkCase> cases = {
      {"exact count",
       Area(16, 2, {4, 1, 'A', 'B', 6, 4, 1, 2, 3, 4}),
       ChainWalk::kComplete,
       {1, 4}},
      {"count larger, skippable bytes after the area",
       Area(10, 3, {4, 1, 'A', 'B', 3, 9, 0, 5, 8, 1, 2, 3}),
       ChainWalk::kComplete,
       {1}},
      {"count larger, bytes end", Area(10, 4, {4, 1, 'A', 'B', 3, 9, 0}), ChainWalk::kBroken, {1}},
      {"zero-length record while records are counted",
       Area(14, 3, {4, 1, 'A', 'B', 0, 7, 4, 2}),
       ChainWalk::kBroken,
       {1}},
      {"one-byte record while records are counted",
       Area(14, 3, {4, 1, 'A', 'B', 1, 7, 4, 2}),
       ChainWalk::kBroken,
       {1}},
      {"zero-length record after the last counted one",
       Area(14, 1, {4, 1, 'A', 'B', 0, 7, 0, 0}),
       ChainWalk::kComplete,
       {1}},
      {"record past the area length is skipped, not read",
       Area(12, 2, {4, 1, 'A', 'B', 6, 3, 'S', 'N', 0, 0}),
       ChainWalk::kComplete,
       {1}},
      {"record longer than the bytes",
       Area(40, 2, {4, 1, 'A', 'B', 50, 3, 1, 2}),
       ChainWalk::kBroken,
       {1}},
      {"escape header cut off", Area(40, 2, {4, 1, 'A', 'B', 0xFF, 0xE7}), ChainWalk::kBroken, {1}},
      {"escape record shorter than its header",
       Area(40, 2, {0xFF, 0xE7, 2, 0, 4, 1, 'A', 'B'}),
       ChainWalk::kBroken,
       {}},
      {"escape record",
       Area(20, 2, {0xFF, 0xE7, 10, 0, 14, 0, 2, 0, 9, 9, 4, 1, 'A', 'B'}),
       ChainWalk::kComplete,
       {39, 1}},
      {"area length below the header", Area(3, 1, {4, 1, 'A', 'B'}), ChainWalk::kComplete, {}},
      {"count zero with records present", Area(10, 0, {4, 1, 'A', 'B'}), ChainWalk::kComplete, {1}},
  };
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.name);
    DescriptorChain chain;
    ASSERT_TRUE(chain.Attach(c.bytes));
    std::vector<int> types;
    std::vector<std::size_t> ends;
    const ChainWalk result = chain.Walk([&](const ChainRecord& record) {
      types.push_back(record.header.type);
      ends.push_back(record.offset + record.bytes.size());
      EXPECT_EQ(record.bytes.size(), record.header.length);
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(types, c.types);
    for (std::size_t end : ends) EXPECT_LE(end, c.bytes.size());
  }
}

TEST(ChainWalk, CountFarBeyondTheRecordsEndsWhereTheBytesEnd) {
  // 255 records counted, two present, 0xFF filling the rest: the walk skips 255-byte
  // steps through the filling and breaks where a step no longer fits.
  ig::AreaBuilder area(0x30, 21);
  area.Add(ig::StringRecord(1, "A")).Add(ig::StringRecord(3, "B")).SetRecordCount(255);
  ig::Bytes bytes = area.Build();
  bytes.resize(0x1000, 0xFF);
  DescriptorChain chain;
  ASSERT_TRUE(chain.Attach(bytes));
  int read = 0;
  EXPECT_EQ(chain.Walk([&](const ChainRecord&) { ++read; }), ChainWalk::kBroken);
  EXPECT_EQ(read, 2);
}

TEST(ChainAttach, TakesAtMostTwoMebibytes) {
  ig::AreaBuilder area(0x30, 21);
  area.Add(ig::StringRecord(1, "A"));
  ig::Bytes bytes = area.Build();
  bytes.resize(kChainWorkBufferSize + 0x100, 0xFF);
  DescriptorChain chain;
  ASSERT_TRUE(chain.Attach(bytes));
  EXPECT_EQ(chain.bytes().size(), kChainWorkBufferSize);
}

}  // namespace
}  // namespace vantor
