// Reading a configuration area into record objects and writing it back: the writer's
// head, the code-info and small-cache-code placement, the capacity and count limits,
// byte-identical round trips of every chip type, and malformed chains.
#include <gtest/gtest.h>

#include <typeindex>
#include <typeinfo>
#include <vector>

#include "image/descriptor_chain.h"
#include "image/descriptor_records.h"
#include "platform/resources.h"
#include "tools/image_layout.h"

namespace vantor {
namespace {

namespace ig = imagegen;
using Bytes = std::vector<std::uint8_t>;

// A record of that type and length whose payload bytes count up from `seed`.
Bytes Filled(std::uint8_t type, std::size_t length, std::uint8_t seed = 1) {
  Bytes payload(length - 2);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(seed + i);
  return ig::Record(type, payload);
}

struct Rewritten {
  bool ok = false;
  Bytes bytes;      // area and code block
  int unknown = 0;  // records read by CDescDummy
};

// Reads `area` and writes it again record by record, with the version record.
Rewritten Rewrite(std::span<const std::uint8_t> area, std::size_t capacity = 0x10000) {
  Rewritten result;
  DescriptorChain reader;
  if (!reader.Attach(area)) return result;
  DescriptorChain writer;
  if (!writer.BeginWrite(reader.header(), reader.head(), true)) return result;
  const ChainWalk walk = reader.WalkRecords([&](std::unique_ptr<CDescriptor> record) {
    if (dynamic_cast<CDescDummy*>(record.get())) ++result.unknown;
    return writer.Append(*record);
  });
  if (walk != ChainWalk::kComplete) return result;
  Bytes out(capacity, 0xEE);
  if (!writer.Finish(out)) return result;
  out.resize(writer.header().areaLength + writer.codeLength());
  result.ok = true;
  result.bytes = std::move(out);
  return result;
}

TEST(HardwareVersionWords, TwelveChipTypes) {
  const std::pair<int, std::uint16_t> table[] = {
      {17, 0x0311}, {21, 0x0315}, {22, 0x0316}, {23, 0x0317}, {24, 0x0318}, {25, 0x0319},
      {26, 0x031A}, {27, 0x031B}, {28, 0x031C}, {29, 0x031D}, {30, 0x031E}, {31, 0x031F},
  };
  int withWord = 0;
  for (int chip = 0; chip < 32; ++chip) {
    if (HardwareVersionWord(static_cast<std::uint8_t>(chip)) != 0) ++withWord;
  }
  EXPECT_EQ(withWord, 12);
  for (const auto& [chip, word] : table) {
    EXPECT_EQ(HardwareVersionWord(static_cast<std::uint8_t>(chip)), word) << chip;
  }
  EXPECT_EQ(HardwareVersionWord(16), 0);
  EXPECT_EQ(HardwareVersionWord(18), 0);
}

TEST(ChainRead, RecordsAsObjectsWithTheirBlocks) {
  const Bytes cache = {0xC0, 0xC1, 0xC2};
  const Bytes code = {0xD0, 0xD1, 0xD2, 0xD3};
  ig::AreaBuilder area(0x30, 21);
  area.Add(ig::VersionRecord(0x0315, 0x1060))
      .Add(ig::StringRecord(1, "Maker"))
      .Add(ig::VidPidRecord(0x3A4B, 0x0330, 0x0100))
      .Add(Filled(64, 18))
      .AddSmallCache(cache)
      .AddCodeInfo(code);
  const Bytes bytes = area.Build();

  DescriptorChain chain;
  ASSERT_TRUE(chain.Attach(bytes));
  std::vector<std::type_index> classes;
  const ChainWalk walk = chain.WalkRecords([&](std::unique_ptr<CDescriptor> record) {
    classes.emplace_back(typeid(*record));
    if (auto* c = dynamic_cast<CDescSmallCachecode*>(record.get())) {
      EXPECT_TRUE(c->HasData());
      EXPECT_EQ(c->Data(), cache);
      EXPECT_EQ(c->extLength, cache.size() + 8);
    }
    if (auto* info = dynamic_cast<CDescCodeInfo*>(record.get())) {
      EXPECT_TRUE(info->HasCode());
      EXPECT_EQ(info->Code(), code);
      EXPECT_EQ(info->codeOffset, area.AreaLength());
    }
    return true;
  });
  EXPECT_EQ(walk, ChainWalk::kComplete);
  EXPECT_EQ(classes, (std::vector<std::type_index>{typeid(CDescStringManu), typeid(CDescVIDPID),
                                                   typeid(CDescUACTop), typeid(CDescSmallCachecode),
                                                   typeid(CDescCodeInfo)}));
  EXPECT_EQ(chain.remaining(), 0);
}

TEST(ChainRead, BlocksOutsideTheBytesAreNotAttached) {
  struct Case {
    const char* name;
    std::uint16_t offset;
    std::uint16_t length;
    bool attached;
  } cases[] = {
      {"inside", 6, 4, true},
      {"ends at the last byte", 0x1FC, 4, true},
      {"one byte too long", 0x1FC, 5, false},
      {"offset past the end", 0x201, 0, false},
      {"offset and length at the 16-bit limit", 0xFFFF, 0xFFFF, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::uint8_t type : {kRecordCodeInfo, kRecordSmallCacheCode}) {
      Bytes record;
      if (type == kRecordCodeInfo) {
        record = {6, 15, 0, 0, 0, 0};
        ig::PutLe16(record, 2, c.offset);
        ig::PutLe16(record, 4, c.length);
      } else {
        record = {0xFF, 0xE7, 8, 0, 0, 0, 0, 0};
        ig::PutLe16(record, 4, c.offset);
        ig::PutLe16(record, 6, c.length);
      }
      ig::AreaBuilder area(0x30, 21);
      area.Add(record);
      Bytes bytes = area.Build();
      bytes.resize(0x200, 0x77);
      DescriptorChain chain;
      ASSERT_TRUE(chain.Attach(bytes));
      std::unique_ptr<CDescriptor> read = chain.ReadNext();
      ASSERT_NE(read, nullptr);
      DescriptorChain writer;
      ASSERT_TRUE(writer.BeginWrite(chain.header(), chain.head(), false));
      // A record without its block cannot be written again.
      EXPECT_EQ(writer.Append(*read), c.attached) << int(type);
    }
  }
}

TEST(ChainRead, Type47IsTheVersionRecordOnlyAtTheHead) {
  ig::AreaBuilder area(0x30, 17);
  area.Add(ig::VersionRecord(0x0311, 0x1060))
      .Add(ig::StringRecord(1, "M"))
      .Add(Filled(47, 18))
      .Add(ig::VersionRecord(0x0311, 0x1060));  // a 6-byte type 47 past the head
  DescriptorChain chain;
  ASSERT_TRUE(chain.Attach(area.Build()));
  EXPECT_TRUE(chain.head().hasVersion);
  std::vector<std::type_index> classes;
  chain.WalkRecords([&](std::unique_ptr<CDescriptor> record) {
    classes.emplace_back(typeid(*record));
    return true;
  });
  EXPECT_EQ(classes,
            (std::vector<std::type_index>{typeid(CDescStringManu), typeid(CDescEndPointType),
                                          typeid(CDescEndPointType)}));

  // In a QX330 area a type 47 past the head is not a record the tool knows.
  ig::AreaBuilder other(0x30, 21);
  other.Add(ig::StringRecord(1, "M")).Add(ig::VersionRecord(0x0315, 0x1060));
  DescriptorChain chain21;
  ASSERT_TRUE(chain21.Attach(other.Build()));
  EXPECT_FALSE(chain21.head().hasVersion);
  ASSERT_NE(chain21.ReadNext(), nullptr);
  std::unique_ptr<CDescriptor> second = chain21.ReadNext();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(std::type_index(typeid(*second)), std::type_index(typeid(CDescDummy)));
}

TEST(ChainRead, CountLargerThanTheRecordsWalksToTheEnd) {
  // Three records counted, two in the area, a skippable one after it.
  ig::AreaBuilder area(0x30, 21);
  area.Add(ig::StringRecord(1, "A")).Add(ig::StringRecord(3, "B")).SetRecordCount(3);
  Bytes bytes = area.Build();
  const Bytes after = {4, 9, 0, 0};
  bytes.insert(bytes.end(), after.begin(), after.end());
  DescriptorChain chain;
  ASSERT_TRUE(chain.Attach(bytes));
  int read = 0;
  EXPECT_EQ(chain.WalkRecords([&](std::unique_ptr<CDescriptor>) { return ++read, true; }),
            ChainWalk::kComplete);
  EXPECT_EQ(read, 2);
}

TEST(ChainRead, MalformedChainsFailCleanly) {
  auto area = [](std::uint8_t count, Bytes records, std::size_t length = 0) {
    Bytes bytes = {0x30, 0xA5, 21 << 3, 0, 0, count};
    bytes.insert(bytes.end(), records.begin(), records.end());
    ig::PutLe16(bytes, 3, static_cast<std::uint16_t>(length ? length : bytes.size()));
    return bytes;
  };
  struct Case {
    const char* name;
    Bytes bytes;
    ChainWalk result;
    int read;
  } cases[] = {
      {"truncated record", area(2, {4, 1, 'A', 'B', 9, 3, 'S'}), ChainWalk::kBroken, 1},
      {"zero length", area(2, {0, 1, 4, 1, 'A', 'B'}), ChainWalk::kBroken, 0},
      {"one-byte record", area(2, {1, 1, 4, 1, 'A', 'B'}), ChainWalk::kBroken, 0},
      {"escape header shorter than four", area(1, {0xFF, 0xE7, 3, 0}), ChainWalk::kBroken, 0},
      {"escape length beyond the bytes", area(1, {0xFF, 0xE7, 0x00, 0x10, 0, 0, 0, 0}),
       ChainWalk::kBroken, 0},
      {"header only, records counted", area(5, {}), ChainWalk::kBroken, 0},
      // 0xFF filling read as 255-byte records of type 0xFF: every step moves on.
      {"0xFF filling", area(255, Bytes(0x800, 0xFF), 6), ChainWalk::kBroken, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DescriptorChain chain;
    ASSERT_TRUE(chain.Attach(c.bytes));
    int read = 0;
    EXPECT_EQ(chain.WalkRecords([&](std::unique_ptr<CDescriptor>) { return ++read, true; }),
              c.result);
    EXPECT_EQ(read, c.read);
    EXPECT_TRUE(Rewrite(c.bytes).bytes.empty());
  }
}

TEST(ChainWrite, BeginWriteHead) {
  struct Case {
    const char* name;
    Bytes head;  // head records of the source
    std::uint8_t chip;
    Bytes expected;  // the written head
  } cases[] = {
      {"version kept", ig::VersionRecord(0x1234, 0x2001), 21, {6, 47, 0x15, 0x03, 0x01, 0x20}},
      {"second word 0 becomes 0x1060",
       ig::VersionRecord(0x1234, 0),
       24,
       {6, 47, 0x18, 0x03, 0x60, 0x10}},
      {"no version record", {}, 17, {6, 47, 0x11, 0x03, 0x60, 0x10}},
      {"chip type without a word", {}, 9, {6, 47, 0x00, 0x00, 0x60, 0x10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes source = {0x12, 0xA5, static_cast<std::uint8_t>((c.chip << 3) | 6), 0, 0, 1};
    source.insert(source.end(), c.head.begin(), c.head.end());
    const Bytes tail = ig::StringRecord(3, "ABCD");  // bytes 4-5 "AB" if read as version
    source.insert(source.end(), tail.begin(), tail.end());
    source[5] = c.head.empty() ? 1 : 2;
    ig::PutLe16(source, 3, static_cast<std::uint16_t>(source.size()));

    const Rewritten out = Rewrite(source);
    ASSERT_TRUE(out.ok);
    Bytes expected = {0x12, 0xA5, static_cast<std::uint8_t>((c.chip << 3) | 6), 0, 0, 2};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    expected.insert(expected.end(), tail.begin(), tail.end());
    ig::PutLe16(expected, 3, static_cast<std::uint16_t>(expected.size()));
    EXPECT_EQ(out.bytes, expected);
  }
}

TEST(ChainWrite, HeadValuesAndBankCopyOnlyFor25And26) {
  for (const std::uint8_t chip : {std::uint8_t{21}, std::uint8_t{25}, std::uint8_t{26}}) {
    SCOPED_TRACE(int(chip));
    AreaHeader header;
    header.imageType = 0x60;
    header.chipType = chip;
    ChainHeadValues head;
    head.hasEepInfo = true;
    head.eepInfo = 0x11;
    head.hasBankCopy = true;
    head.bankCopy = 0x5A;
    head.hasForceUpdate = true;
    head.forceUpdate = 0x01;
    DescriptorChain writer;
    ASSERT_TRUE(writer.BeginWrite(header, head, false));
    Bytes out(256, 0xEE);
    ASSERT_TRUE(writer.Finish(out));
    const bool bank = chip != 21;
    Bytes expected = {0x60, 0xA5, static_cast<std::uint8_t>(chip << 3),
                      0,    0,    static_cast<std::uint8_t>(bank ? 3 : 2),
                      3,    8,    0x11};
    if (bank) expected.insert(expected.end(), {3, 20, 0x5A});
    expected.insert(expected.end(), {3, 21, 0x01});
    ig::PutLe16(expected, 3, static_cast<std::uint16_t>(expected.size()));
    out.resize(expected.size());
    EXPECT_EQ(out, expected);
  }
}

TEST(ChainWrite, SmallCacheDataFollowsItsEightBytes) {
  // The source's data lies elsewhere (after the area); the written record carries it
  // right after its own eight bytes and points there.
  Bytes source = {0x30, 0xA5, 24 << 3, 0, 0, 2};
  const Bytes manu = ig::StringRecord(1, "Mk");
  source.insert(source.end(), manu.begin(), manu.end());
  source.insert(source.end(), {0xFF, 0xE7, 8, 0, 0, 0, 3, 0});
  ig::PutLe16(source, 3, static_cast<std::uint16_t>(source.size()));
  const std::size_t dataAt = source.size() + 10;
  ig::PutLe16(source, source.size() - 4, static_cast<std::uint16_t>(dataAt));
  source.resize(dataAt, 0xFF);
  source.insert(source.end(), {0xA1, 0xA2, 0xA3});

  const Rewritten out = Rewrite(source);
  ASSERT_TRUE(out.ok);
  const std::size_t at = 6 + 6 + manu.size();  // header, version record, string
  ASSERT_EQ(out.bytes.size(), at + 11);
  EXPECT_EQ(
      Bytes(out.bytes.begin() + at, out.bytes.end()),
      (Bytes{0xFF, 0xE7, 11, 0, static_cast<std::uint8_t>(at + 8), 0, 3, 0, 0xA1, 0xA2, 0xA3}));
  EXPECT_EQ(out.bytes[3], at + 11);  // the area length counts the data
}

TEST(ChainWrite, CodeBlockFollowsTheLastRecordAfterFinish) {
  const Bytes code = {0xC0, 0xDE, 0x01, 0x02, 0x03};
  // The code-info record stands before other records; its block ends up after them all.
  ig::AreaBuilder area(0x30, 25);
  area.AddCodeInfo(code).Add(ig::StringRecord(1, "Maker")).Add(ig::StringRecord(3, "SN1"));
  const Rewritten out = Rewrite(area.Build());
  ASSERT_TRUE(out.ok);
  const std::size_t areaLength = 6 + 6 + 6 + 9 + 7;
  ASSERT_EQ(out.bytes.size(), areaLength + code.size());
  EXPECT_EQ(out.bytes[3] | (out.bytes[4] << 8), static_cast<int>(areaLength));
  // The code-info record follows the version record.
  EXPECT_EQ(Bytes(out.bytes.begin() + 12, out.bytes.begin() + 18),
            (Bytes{6, 15, static_cast<std::uint8_t>(areaLength), 0, 5, 0}));
  EXPECT_EQ(Bytes(out.bytes.begin() + static_cast<std::ptrdiff_t>(areaLength), out.bytes.end()),
            code);
}

TEST(ChainWrite, FinishNeedsRoomForAreaCodeAnd128) {
  const Bytes code(40, 0xC5);
  ig::AreaBuilder area(0x30, 21);
  area.Add(ig::StringRecord(1, "Maker")).AddCodeInfo(code);
  const Bytes source = area.Build();
  const Rewritten full = Rewrite(source);
  ASSERT_TRUE(full.ok);
  const std::size_t total = full.bytes.size();

  for (const std::size_t capacity : {total + 128, total + 127, total, std::size_t{0}}) {
    SCOPED_TRACE(capacity);
    DescriptorChain reader;
    ASSERT_TRUE(reader.Attach(source));
    DescriptorChain writer;
    ASSERT_TRUE(writer.BeginWrite(reader.header(), reader.head(), true));
    reader.WalkRecords([&](std::unique_ptr<CDescriptor> r) { return writer.Append(*r); });
    Bytes out(capacity, 0xEE);
    const bool fits = capacity >= total + 128;
    EXPECT_EQ(writer.Finish(out), fits);
    if (fits) {
      EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(total)), full.bytes);
      EXPECT_EQ(out[total], 0xEE);
    } else {
      EXPECT_EQ(out, Bytes(capacity, 0xEE));
    }
  }
}

TEST(ChainWrite, AppendLimits) {
  AreaHeader header;
  header.chipType = 21;
  DescriptorChain writer;
  CDescStringManu record;
  record.bLength = 2;
  EXPECT_FALSE(writer.Append(record));  // not being written
  ASSERT_TRUE(writer.BeginWrite(header, {}, false));

  // 255 records at most.
  for (int i = 0; i < 255; ++i) ASSERT_TRUE(writer.Append(record)) << i;
  EXPECT_FALSE(writer.Append(record));
  EXPECT_EQ(writer.header().recordCount, 255);

  // 0xFFFF bytes at most.
  ASSERT_TRUE(writer.BeginWrite(header, {}, false));
  CDescSmallCachecode cache;
  ASSERT_TRUE(cache.SetData(Bytes(0xFFF0 - 8 - 6, 1)));
  ASSERT_TRUE(writer.Append(cache));
  EXPECT_EQ(writer.cursor(), 0xFFF0u);
  record.bLength = 20;
  EXPECT_FALSE(writer.Append(record));
  record.bLength = 13;  // 15 bytes: ends at 0xFFFF
  EXPECT_TRUE(writer.Append(record));
  EXPECT_EQ(writer.header().areaLength, 0xFFFF);

  // One code block per area.
  ASSERT_TRUE(writer.BeginWrite(header, {}, false));
  CDescCodeInfo info;
  ASSERT_TRUE(info.SetCode(Bytes{1, 2}));
  EXPECT_TRUE(writer.Append(info));
  EXPECT_FALSE(writer.Append(info));
}

// --- round trips ---

// An area of every record class the chip type knows, in an order a real area might have.
Bytes FullArea(std::uint8_t chip) {
  ig::AreaBuilder area(0x30, chip, 2);
  area.Add(ig::VersionRecord(HardwareVersionWord(chip), 0x2002)).Add(ig::ByteRecord(8, 0x44));
  if (chip == 25) area.Add(ig::ByteRecord(20, 0x5A));
  area.Add(ig::ByteRecord(21, 0x01))
      .Add(ig::StringRecord(1, "Korvane"))
      .Add(ig::StringRecord(2, "Product"))
      .Add(ig::StringRecord(3, "SN0001"))
      .Add(ig::StringRecord(6, "Bist"))
      .Add(ig::StringRecord(7, "Audio"))
      .Add(ig::VidPidRecord(0x3A4B, 0x0300 | chip, 0x0102));
  if (chip == 17) {
    const std::pair<int, int> fixed[] = {
        {8, 29},  {9, 10},  {10, 17}, {11, 6},  {12, 50}, {16, 26}, {47, 18}, {48, 56}, {49, 32},
        {50, 32}, {51, 32}, {52, 56}, {53, 32}, {54, 32}, {55, 32}, {56, 38}, {57, 38}, {58, 26}};
    for (const auto& [type, length] : fixed) {
      area.Add(Filled(static_cast<std::uint8_t>(type), static_cast<std::size_t>(length),
                      static_cast<std::uint8_t>(type)));
    }
    for (std::uint8_t type = 27; type <= 33; ++type) area.Add(Filled(type, 4 + type % 5, type));
  }
  if (chip == 21 || chip == 24) {
    Bytes uac = Filled(64, 18);
    uac[8] = 7;  // sensitivity inside 1..15
    Bytes codec = Filled(71, 14);
    codec[8] = 64;  // detect window inside 2..127
    area.Add(Filled(14, 15)).Add(uac);
    const std::pair<int, int> fixed[] = {{65, 17}, {66, 17}, {67, 17}, {68, 16}, {69, 16},
                                         {70, 16}, {72, 8},  {73, 10}, {74, 12}};
    for (const auto& [type, length] : fixed) {
      area.Add(Filled(static_cast<std::uint8_t>(type), static_cast<std::size_t>(length),
                      static_cast<std::uint8_t>(type)));
    }
    area.Add(codec);
    const Bytes cache(300, 0x3C);  // longer than 255: only the escape form can carry it
    area.AddSmallCache(cache);
  }
  if (chip == 25) {
    // Records of other chip types: unknown to a QX340 area, kept as they are.
    area.Add(Filled(64, 18)).Add(Filled(12, 50)).Add(Bytes{0xFF, 0xE7, 10, 0, 0, 0, 0, 0, 1, 2});
  }
  const Bytes code = {0x02, 0x00, 0x40, 0x11, 0x22};
  area.AddCodeInfo(code);
  return area.Build();
}

TEST(ChainRoundTrip, EveryRecordClassOfEachChipType) {
  for (const std::uint8_t chip :
       {std::uint8_t{17}, std::uint8_t{21}, std::uint8_t{24}, std::uint8_t{25}}) {
    SCOPED_TRACE(int(chip));
    const Bytes source = FullArea(chip);
    const Rewritten out = Rewrite(source);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.bytes, source);
    EXPECT_EQ(out.unknown, chip == 25 ? 3 : 0);
  }
}

TEST(ChainRoundTrip, BuiltInImages) {
  struct Case {
    unsigned resource;
    std::uint32_t areaAt;
  } cases[] = {{3012, 0xAE00}, {3018, 0xF000}, {3020, 0xF000}, {3023, 0xF000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.resource);
    const std::span<const std::uint8_t> image = platform::FindResource("BINARY", c.resource);
    ASSERT_GT(image.size(), c.areaAt);
    const Rewritten out = Rewrite(image.subspan(c.areaAt));
    ASSERT_TRUE(out.ok);
    EXPECT_GT(out.bytes.size(), 0x40u);
    EXPECT_TRUE(std::equal(out.bytes.begin(), out.bytes.end(), image.begin() + c.areaAt));
    EXPECT_EQ(out.unknown, 0);
  }
}

TEST(ChainRoundTrip, ClampedFieldsAreTheOnlyChange) {
  Bytes source = FullArea(21);
  DescriptorChain reader;
  ASSERT_TRUE(reader.Attach(source));
  // Put out-of-range values into the two clamped bytes of the source.
  std::size_t uacAt = 0, codecAt = 0;
  reader.Walk([&](const ChainRecord& r) {
    if (r.header.type == 64) uacAt = r.offset;
    if (r.header.type == 71) codecAt = r.offset;
  });
  ASSERT_NE(uacAt, 0u);
  ASSERT_NE(codecAt, 0u);
  source[uacAt + 8] = 0;
  source[codecAt + 8] = 200;
  const Rewritten out = Rewrite(source);
  ASSERT_TRUE(out.ok);
  Bytes expected = source;
  expected[uacAt + 8] = 1;
  expected[codecAt + 8] = 127;
  EXPECT_EQ(out.bytes, expected);
}

}  // namespace
}  // namespace vantor
