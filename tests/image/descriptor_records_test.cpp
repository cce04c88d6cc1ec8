#include "image/descriptor_records.h"

#include <gtest/gtest.h>

#include <typeindex>
#include <typeinfo>
#include <vector>

#include "tools/image_layout.h"

namespace vantor {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Builds a record into a buffer of `capacity` bytes; the bytes written (its length).
Bytes BuildBytes(CDescriptor& record, std::size_t capacity = 512) {
  Bytes out(capacity, 0xEE);
  if (!record.Build(out)) return {};
  out.resize(record.length);
  return out;
}

std::unique_ptr<CDescriptor> Parsed(std::uint8_t chip, const Bytes& bytes) {
  RecordHeader header;
  EXPECT_TRUE(ReadRecordHeader(bytes, 0, header));
  auto record = CreateRecord(header.type, chip);
  record->Parse(bytes);
  return record;
}

TEST(CreateRecord, ClassByTypeAndChipType) {
  struct Case {
    std::uint8_t type;
    std::uint8_t chip;
    std::type_index expected;
  } cases[] = {
      {1, 17, typeid(CDescStringManu)},
      {2, 25, typeid(CDescStringProd)},
      {3, 99, typeid(CDescStringSN)},
      {4, 21, typeid(CDescVIDPID)},
      {6, 24, typeid(CDescStringUBistName)},
      {7, 25, typeid(CDescStringIAD)},
      {15, 25, typeid(CDescCodeInfo)},
      {8, 17, typeid(CDescI2S0_310)},
      {8, 21, typeid(CDescDummy)},
      {12, 17, typeid(CDescI2SCodec0Setting)},
      {16, 17, typeid(CDescI2SCodec1Setting)},
      {27, 17, typeid(CDescI2SCodecCommonSetting)},
      {33, 17, typeid(CDescI2SCodecSuspendSetting)},
      {33, 24, typeid(CDescDummy)},
      {47, 17, typeid(CDescEndPointType)},
      {47, 21, typeid(CDescDummy)},
      {48, 17, typeid(CDescI2SEPAVolumeSetting)},
      {55, 17, typeid(CDescI2SEPJVolumeSetting)},
      {58, 17, typeid(CDescI2SCodec1MuteSetting)},
      {14, 21, typeid(CDescSLB)},
      {14, 17, typeid(CDescDummy)},
      {39, 24, typeid(CDescSmallCachecode)},
      {39, 17, typeid(CDescDummy)},
      {39, 25, typeid(CDescDummy)},
      {64, 21, typeid(CDescUACTop)},
      {64, 24, typeid(CDescUACTop)},
      {64, 25, typeid(CDescDummy)},
      {70, 24, typeid(CDescEPIInfo)},
      {74, 21, typeid(CDescGPIODrivingInfo)},
      {75, 21, typeid(CDescDummy)},
      {5, 17, typeid(CDescDummy)},
      {20, 25, typeid(CDescDummy)},  // the bank-copy record is a head record only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << int(c.type) << " chip " << int(c.chip));
    auto record = CreateRecord(c.type, c.chip);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(std::type_index(typeid(*record)), c.expected);
    EXPECT_EQ(record->type, c.type);
  }
}

// Every fixed record: its length, and fields that cover bytes 2 to length - 1 once each.
TEST(FixedRecords, LengthsAndFullCoverage) {
  struct Case {
    std::uint8_t type;
    std::uint8_t chip;
    std::uint8_t length;
  } cases[] = {
      {4, 17, 8},   {8, 17, 29},  {9, 17, 10},  {10, 17, 17}, {11, 17, 6},  {12, 17, 50},
      {16, 17, 26}, {47, 17, 18}, {48, 17, 56}, {49, 17, 32}, {50, 17, 32}, {51, 17, 32},
      {52, 17, 56}, {53, 17, 32}, {54, 17, 32}, {55, 17, 32}, {56, 17, 38}, {57, 17, 38},
      {58, 17, 26}, {14, 21, 15}, {64, 21, 18}, {65, 21, 17}, {66, 24, 17}, {67, 21, 17},
      {68, 21, 16}, {69, 24, 16}, {70, 21, 16}, {71, 21, 14}, {72, 21, 8},  {73, 24, 10},
      {74, 21, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << int(c.type));
    auto record = CreateRecord(c.type, c.chip);
    auto* fixed = dynamic_cast<CDescFixed*>(record.get());
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->Layout().length, c.length);
    std::vector<int> cover(c.length, 0);
    for (const RecordField& f : fixed->Layout().fields) {
      for (int i = 0; i < f.size; ++i) {
        ASSERT_LT(f.offset + i, c.length);
        ++cover[f.offset + i];
      }
    }
    for (int i = 0; i < c.length; ++i) EXPECT_EQ(cover[i], i < 2 ? 0 : 1) << "byte " << i;

    // A record of distinct bytes reads and builds back unchanged.
    Bytes bytes(c.length);
    bytes[0] = c.length;
    bytes[1] = c.type;
    for (std::size_t i = 2; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 5 + 1);
    if (c.type == 64) bytes[8] = 9;   // inside the clamp range
    if (c.type == 71) bytes[8] = 50;  // likewise
    auto parsed = Parsed(c.chip, bytes);
    EXPECT_EQ(BuildBytes(*parsed), bytes);
    EXPECT_EQ(parsed->payloadLength, c.length - 2u);
  }
}

// Named fields: the value goes to the table's bytes in the table's byte order.
TEST(FixedRecords, NamedFieldsAtTheirBytes) {
  struct Case {
    std::uint8_t type;
    std::uint8_t chip;
    const char* name;
    std::uint8_t offset;
    Bytes expected;  // the field's bytes for the value below
  };
  const std::uint32_t kValue = 0x11223344;
  auto be = [](int size) {
    return size == 1 ? Bytes{0x44} : size == 2 ? Bytes{0x33, 0x44} : Bytes{0x11, 0x22, 0x33, 0x44};
  };
  auto le = [](int size) { return size == 2 ? Bytes{0x44, 0x33} : Bytes{0x44, 0x33, 0x22, 0x11}; };
  const std::vector<Case> cases = {
      // SLB: little-endian counters and times.
      {14, 21, "bFSTstCnt", 3, be(1)},
      {14, 21, "dwHSTstCnt", 4, le(4)},
      {14, 21, "wHSFailTh", 8, le(2)},
      {14, 21, "bFixPattern", 10, be(1)},
      {14, 21, "bSeed", 11, be(1)},
      {14, 21, "bFSFailTh", 12, be(1)},
      {14, 21, "wHSDlyTime", 13, le(2)},
      // UAC top: big-endian words, VID/PID/release too.
      {64, 21, "wUAVVersion", 2, be(2)},
      {64, 21, "byUSBSpeedMode", 4, be(1)},
      {64, 21, "byHIDEnable", 5, be(1)},
      {64, 21, "byUAC2INInterval", 6, be(1)},
      {64, 21, "byUAC2OUTInterval", 7, be(1)},
      {64, 24, "wVID", 12, be(2)},
      {64, 24, "wPID", 14, be(2)},
      {64, 24, "wRevID", 16, be(2)},
      // Endpoint information.
      {65, 21, "byConnectType", 2, be(1)},
      {65, 21, "wSampleRate", 3, be(2)},
      {66, 21, "byBitResolution", 5, be(1)},
      {67, 21, "wChLocation", 6, be(2)},
      {68, 21, "wTerminalType", 8, be(2)},
      {69, 21, "wVolumeMin(db)", 10, be(2)},
      {70, 21, "wVolumeMax(db)", 12, be(2)},
      {65, 24, "wVolumeRes(db)", 14, be(2)},
      {67, 24, "bySupportLoudness", 16, be(1)},
      // Interfaces.
      {71, 21, "bySSCSelect", 2, be(1)},
      {71, 21, "byJD1ConnectEP", 3, be(1)},
      {71, 21, "byJD2ConnectEP", 4, be(1)},
      {71, 21, "byADStereoConType", 5, be(1)},
      {71, 21, "byADMonoConType", 6, be(1)},
      {71, 21, "byGBtnClkDiv", 9, be(1)},
      {71, 21, "byGBtnDeglitchClkDiv", 10, be(1)},
      {71, 21, "byJD3Ttime(unit:0.64ms)", 11, be(1)},
      {71, 21, "byJD3Duty(unit:0.64ms)", 12, be(1)},
      {71, 21, "byJD3DetectCnt", 13, be(1)},
      {72, 21, "bySSCSelect", 2, be(1)},
      {72, 21, "byDataFmt", 3, be(1)},
      {72, 21, "byEmphasisofPro", 4, be(1)},
      {72, 21, "byLevelofConsumer", 6, be(1)},
      {72, 21, "byCategoryCodeofConsumer", 7, be(1)},
      {73, 21, "bySSCSelect", 2, be(1)},
      {73, 21, "byStopBitNum", 3, be(1)},
      {73, 21, "byDataLen", 4, be(1)},
      {73, 21, "dwBaudRate", 6, be(4)},
      {74, 21, "byGPIO0Driving", 2, be(1)},
      {74, 21, "byGPIO9Driving", 11, be(1)},
      // QX310 volume and mute registers: 32-bit big-endian, then 16-bit words.
      {48, 17, "EPAL0RegRd", 2, be(4)},
      {48, 17, "EPAR0RegMask", 22, be(4)},
      {48, 17, "EPAL1RegRd", 26, be(4)},
      {48, 17, "EPAR1RegMask", 46, be(4)},
      {48, 17, "EPAVolumeMax(db)", 50, be(2)},
      {48, 17, "EPAVolumeMin(db)", 52, be(2)},
      {48, 17, "EPAVolumeRes(db)", 54, be(2)},
      {49, 17, "EPBL0RegRd", 2, be(4)},
      {49, 17, "EPBR0RegMask", 22, be(4)},
      {49, 17, "EPBVolumeMax(db)", 26, be(2)},
      {49, 17, "EPBVolumeRes(db)", 30, be(2)},
      {50, 17, "EPCL0RegWr", 6, be(4)},
      {51, 17, "EPDR0RegRd", 14, be(4)},
      {52, 17, "EPGR1RegWr", 42, be(4)},
      {52, 17, "EPGVolumeRes(db)", 54, be(2)},
      {53, 17, "EPHVolumeMin(db)", 28, be(2)},
      {54, 17, "EPIL0RegMask", 10, be(4)},
      {55, 17, "EPJL0RegRd", 2, be(4)},
      {55, 17, "EPJVolumeRes(db)", 30, be(2)},
      {56, 17, "EPAMuteRegRd", 2, be(4)},
      {56, 17, "EPBMuteRegWr", 18, be(4)},
      {56, 17, "EPCMuteRegMask", 34, be(4)},
      {57, 17, "EPGMuteRegRd", 2, be(4)},
      {57, 17, "EPIMuteRegMask", 34, be(4)},
      {58, 17, "EPDMuteRegRd", 2, be(4)},
      {58, 17, "EPJMuteRegMask", 22, be(4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto record = CreateRecord(c.type, c.chip);
    auto* fixed = dynamic_cast<CDescFixed*>(record.get());
    ASSERT_NE(fixed, nullptr);
    const std::uint32_t value = c.expected.size() == 4   ? kValue
                                : c.expected.size() == 2 ? (kValue & 0xFFFF)
                                                         : (kValue & 0xFF);
    ASSERT_TRUE(fixed->SetField(c.name, value));
    // A value wider than the field is refused.
    if (c.expected.size() < 4) {
      EXPECT_FALSE(fixed->SetField(c.name, 1u << (8 * c.expected.size())));
    }
    const Bytes bytes = BuildBytes(*fixed);
    ASSERT_EQ(bytes.size(), fixed->Layout().length);
    EXPECT_EQ(bytes[0], fixed->Layout().length);
    EXPECT_EQ(bytes[1], c.type);
    for (std::size_t i = 2; i < bytes.size(); ++i) {
      const bool inField = i >= c.offset && i < c.offset + c.expected.size();
      // The clamped fields of a fresh record write their minimum.
      const bool clamped = (c.type == 64 || c.type == 71) && i == 8;
      const std::uint8_t want = inField   ? c.expected[i - c.offset]
                                : clamped ? (c.type == 64 ? 1 : 2)
                                          : 0;
      EXPECT_EQ(bytes[i], want) << "byte " << i;
    }
    auto back = Parsed(c.chip, bytes);
    EXPECT_EQ(dynamic_cast<CDescFixed&>(*back).Field(c.name), value);
  }
}

TEST(FixedRecords, UnnamedFieldsByOffsetAndByteOrder) {
  struct Case {
    std::uint8_t type;
    std::uint8_t chip;
    std::uint8_t offset;
    std::uint32_t value;
    Bytes expected;
  } cases[] = {
      {4, 17, 2, 0x3A4B, {0x4B, 0x3A}},  // VID little-endian
      {4, 17, 4, 0x0330, {0x30, 0x03}},   {4, 17, 6, 0x0102, {0x02, 0x01}},
      {8, 17, 2, 0x1234, {0x12, 0x34}},  // I2S0: a big-endian word, then bytes
      {8, 17, 28, 0x9C, {0x9C}},          {10, 17, 16, 0x7F, {0x7F}},
      {12, 17, 6, 0xA1B2, {0xA1, 0xB2}},  // codec 0: first entry's word and byte
      {12, 17, 8, 0xC3, {0xC3}},          {12, 17, 45, 0xD4E5, {0xD4, 0xE5}},  // last entry
      {12, 17, 48, 0x0F1E, {0x0F, 0x1E}},                                      // closing word
      {16, 17, 21, 0x2233, {0x22, 0x33}}, {16, 17, 24, 0x4455, {0x44, 0x55}},
      {47, 17, 16, 0xBEEF, {0xBE, 0xEF}}, {64, 21, 9, 0x81, {0x81}},  // UAC top jack-detect flags
      {72, 21, 5, 0x42, {0x42}},                                      // SPDIF copy permission
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << int(c.type) << " offset " << int(c.offset));
    auto record = CreateRecord(c.type, c.chip);
    auto& fixed = dynamic_cast<CDescFixed&>(*record);
    ASSERT_TRUE(fixed.SetFieldAt(c.offset, c.value));
    const Bytes bytes = BuildBytes(fixed);
    for (std::size_t i = 0; i < c.expected.size(); ++i)
      EXPECT_EQ(bytes.at(c.offset + i), c.expected[i]);
  }
  // Offsets inside a field or past the record name no field.
  CDescVIDPID vidPid;
  EXPECT_FALSE(vidPid.SetFieldAt(3, 1));
  EXPECT_FALSE(vidPid.SetFieldAt(8, 1));
  EXPECT_FALSE(vidPid.SetField("wVID", 1));  // the VID/PID record's fields have no names
}

TEST(FixedRecords, VidPidAndHeadRecordAccessors) {
  auto vidPid = Parsed(21, imagegen::VidPidRecord(0x3A4B, 0x0330, 0x0102));
  auto& v = dynamic_cast<CDescVIDPID&>(*vidPid);
  EXPECT_EQ(v.Vid(), 0x3A4B);
  EXPECT_EQ(v.Pid(), 0x0330);
  EXPECT_EQ(v.Release(), 0x0102);

  CDescHWAPVersion version;
  version.Parse(imagegen::VersionRecord(0x0315, 0x2001));
  EXPECT_EQ(version.HardwareVersion(), 0x0315);
  EXPECT_EQ(version.SecondVersion(), 0x2001);
  EXPECT_EQ(BuildBytes(version), (Bytes{6, 47, 0x15, 0x03, 0x01, 0x20}));

  CDescEEPInfo eep;
  CDescBankCopyInfo bank;
  CDescForceUpdateInfo force;
  eep.Parse(Bytes{3, 8, 0x11});
  bank.Parse(Bytes{3, 20, 0x5A});
  force.Parse(Bytes{3, 21, 0x01});
  EXPECT_EQ(eep.Value(), 0x11);
  EXPECT_EQ(bank.Value(), 0x5A);
  EXPECT_EQ(force.Value(), 0x01);
  EXPECT_EQ(BuildBytes(eep), (Bytes{3, 8, 0x11}));
  EXPECT_EQ(BuildBytes(bank), (Bytes{3, 20, 0x5A}));
  EXPECT_EQ(BuildBytes(force), (Bytes{3, 21, 0x01}));
}

TEST(FixedRecords, FlagBitsKeepTheRestOfTheirByte) {
  Bytes slb(15, 0);
  slb[0] = 15;
  slb[1] = 14;
  slb[2] = 0xF2;  // FS SLB test set, HS clear, bits without a name set
  auto record = Parsed(21, slb);
  auto& fixed = dynamic_cast<CDescFixed&>(*record);
  EXPECT_EQ(fixed.Flag("HS SLB test"), false);
  EXPECT_EQ(fixed.Flag("FS SLB test"), true);
  ASSERT_TRUE(fixed.SetFlag("HS SLB test", true));
  ASSERT_TRUE(fixed.SetFlag("FS SLB test", false));
  EXPECT_EQ(BuildBytes(fixed)[2], 0xF1);
  EXPECT_FALSE(fixed.Flag("byParityEn").has_value());

  CDescInterUartInfo uart;
  ASSERT_TRUE(uart.SetFlag("byParityEn", true));
  EXPECT_EQ(BuildBytes(uart)[5], 0x08);
  ASSERT_TRUE(uart.SetFlag("ParityCheck", true));
  ASSERT_TRUE(uart.SetFlag("byParityEn", false));
  EXPECT_EQ(BuildBytes(uart)[5], 0x10);
}

TEST(FixedRecords, BuildClampsSensitivityAndDetectWindow) {
  struct Case {
    std::uint8_t type;
    std::uint8_t stored;
    std::uint8_t written;
  } cases[] = {
      {64, 0, 1}, {64, 1, 1}, {64, 15, 15},   {64, 20, 15},   {64, 0xFF, 15},  {71, 0, 2},
      {71, 1, 2}, {71, 2, 2}, {71, 127, 127}, {71, 128, 127}, {71, 0xFF, 127},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << int(c.type) << " value " << int(c.stored));
    Bytes bytes(c.type == 64 ? 18 : 14, 0x33);
    bytes[0] = static_cast<std::uint8_t>(bytes.size());
    bytes[1] = c.type;
    bytes[8] = c.stored;
    auto record = Parsed(21, bytes);
    Bytes expected = bytes;
    expected[8] = c.written;
    EXPECT_EQ(BuildBytes(*record), expected);
  }
}

TEST(FixedRecords, ShortRecordReadsZerosAndBuildsItsOwnLength) {
  // A VID/PID record of four bytes: the release and PID read as 0; rebuilt at 8 bytes.
  auto record = Parsed(21, Bytes{4, 4, 0x4B, 0x3A});
  EXPECT_EQ(record->length, 4);
  EXPECT_EQ(BuildBytes(*record), (Bytes{8, 4, 0x4B, 0x3A, 0, 0, 0, 0}));
  // Too small an output: nothing is written.
  Bytes out(7, 0xEE);
  EXPECT_FALSE(record->Build(out));
  EXPECT_EQ(out, Bytes(7, 0xEE));
}

TEST(StringRecords, LayoutAndLengthFromBLength) {
  const Bytes manu = imagegen::StringRecord(1, "Korvane");
  ASSERT_EQ(manu, (Bytes{11, 1, 9, 3, 'K', 'o', 'r', 'v', 'a', 'n', 'e'}));
  auto record = Parsed(21, manu);
  auto& s = dynamic_cast<CDescString&>(*record);
  EXPECT_EQ(s.Text(), "Korvane");
  EXPECT_EQ(s.bLength, 9);
  EXPECT_EQ(s.descriptorType, 3);
  EXPECT_EQ(BuildBytes(s), manu);

  // The length follows bLength: padding with zeros, or cutting the text.
  s.bLength = 11;
  EXPECT_EQ(BuildBytes(s), (Bytes{13, 1, 11, 3, 'K', 'o', 'r', 'v', 'a', 'n', 'e', 0, 0}));
  s.bLength = 5;
  EXPECT_EQ(BuildBytes(s), (Bytes{7, 1, 5, 3, 'K', 'o', 'r'}));
  s.bLength = 0;
  EXPECT_EQ(BuildBytes(s), (Bytes{2, 1}));
  s.bLength = 253;
  EXPECT_EQ(BuildBytes(s).size(), 255u);
  s.bLength = 254;  // 256 bytes do not fit the length byte
  EXPECT_TRUE(BuildBytes(s).empty());

  // The text stops at bLength - 2 and at the record's end; zero bytes are kept, shown
  // text ends at the first.
  auto cut = Parsed(21, Bytes{8, 3, 20, 3, 'A', 0, 'B', 'C'});
  auto& c = dynamic_cast<CDescString&>(*cut);
  EXPECT_EQ(c.Text(), std::string("A\0BC", 4));
  EXPECT_EQ(c.DisplayText(), "A");
  auto tiny = Parsed(21, Bytes{3, 7, 9});
  EXPECT_TRUE(dynamic_cast<CDescString&>(*tiny).Text().empty());
}

TEST(StringRecords, SetStringTakesAtMost48Bytes) {
  CDescStringSN sn;
  EXPECT_TRUE(sn.SetString(std::string(48, 'x')));
  EXPECT_EQ(sn.Text().size(), 48u);
  EXPECT_FALSE(sn.SetString(std::string(49, 'y')));
  EXPECT_EQ(sn.Text(), std::string(48, 'x'));
  sn.ClearString();
  EXPECT_TRUE(sn.Text().empty());
}

TEST(CodeRecords, CodeInfoBuildsOnlyWithItsBlock) {
  CDescCodeInfo info;
  info.Parse(Bytes{6, 15, 0x34, 0x12, 0x20, 0x00});
  EXPECT_EQ(info.codeOffset, 0x1234);
  EXPECT_EQ(info.codeLength, 0x20);
  EXPECT_FALSE(info.HasCode());
  EXPECT_TRUE(BuildBytes(info).empty());
  const Bytes code = {1, 2, 3};
  ASSERT_TRUE(info.SetCode(code));
  EXPECT_EQ(BuildBytes(info), (Bytes{6, 15, 0x34, 0x12, 3, 0}));
  EXPECT_FALSE(info.SetCode(Bytes(0x10000)));
}

TEST(CodeRecords, SmallCacheEscapeForm) {
  CDescSmallCachecode cache;
  cache.Parse(Bytes{0xFF, 0xE7, 11, 0, 0x20, 0x00, 3, 0, 7, 8, 9});
  EXPECT_EQ(cache.length, 11);
  EXPECT_EQ(cache.type, 39);
  EXPECT_EQ(cache.dataOffset, 0x20);
  EXPECT_EQ(cache.dataLength, 3);
  EXPECT_TRUE(BuildBytes(cache).empty());  // no data attached yet
  const Bytes data = {7, 8, 9, 10};
  ASSERT_TRUE(cache.SetData(data));
  EXPECT_EQ(cache.extLength, 12);
  EXPECT_EQ(BuildBytes(cache), (Bytes{0xFF, 0xE7, 12, 0, 0x20, 0x00, 4, 0, 7, 8, 9, 10}));
  EXPECT_EQ(cache.payloadLength, 8u);

  // A record longer than 255 bytes keeps the escape form.
  ASSERT_TRUE(cache.SetData(Bytes(300, 0xAB)));
  const Bytes big = BuildBytes(cache);
  ASSERT_EQ(big.size(), 308u);
  EXPECT_EQ((Bytes{big[0], big[1], big[2], big[3], big[6], big[7]}),
            (Bytes{0xFF, 0xE7, 0x34, 0x01, 0x2C, 0x01}));
  EXPECT_FALSE(cache.SetData(Bytes(0xFFF8)));
}

TEST(CodecSequence, TenBitLengthPayloadAndWord) {
  // Length 9: five payload bytes, then the big-endian word.
  const Bytes bytes = {9, 28, 1, 2, 3, 4, 5, 0x01, 0x2C};
  auto record = Parsed(17, bytes);
  auto& seq = dynamic_cast<CDescCodecSequence&>(*record);
  EXPECT_EQ(seq.payload, (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(seq.word, 300);
  EXPECT_EQ(BuildBytes(seq), bytes);

  // A new record: word 100, length payload + 4.
  CDescI2SCodecCloseAllSetting fresh;
  EXPECT_EQ(BuildBytes(fresh), (Bytes{4, 32, 0, 100}));
  // Lengths above 255 go to bits 6 and 7 of byte 1.
  fresh.payload.assign(0x1F0, 0x5A);
  const Bytes big = BuildBytes(fresh, 1024);
  ASSERT_EQ(big.size(), 0x1F4u);
  EXPECT_EQ(big[0], 0xF4);
  EXPECT_EQ(big[1], 0x40 | 32);
  CDescI2SCodecCloseAllSetting back;
  back.Parse(big);
  EXPECT_EQ(back.length, 0x1F4);
  EXPECT_EQ(back.type, 32);
  EXPECT_EQ(back.payload.size(), 0x1F0u);
  fresh.payload.assign(1020, 0);  // 1024 bytes: beyond ten bits
  EXPECT_TRUE(BuildBytes(fresh, 2048).empty());

  // Shorter than its header and word: no payload, the word stays 100.
  auto shortRecord = Parsed(17, Bytes{3, 27, 9});
  auto& s = dynamic_cast<CDescCodecSequence&>(*shortRecord);
  EXPECT_TRUE(s.payload.empty());
  EXPECT_EQ(s.word, 100);
}

TEST(DummyRecord, KeepsItsBytes) {
  const Bytes bytes = {7, 64, 1, 2, 3, 4, 5};  // UAC top in a QX340 area
  auto record = Parsed(25, bytes);
  ASSERT_NE(dynamic_cast<CDescDummy*>(record.get()), nullptr);
  EXPECT_EQ(record->length, 7);
  EXPECT_EQ(record->payloadLength, 5u);
  EXPECT_EQ(BuildBytes(*record), bytes);
  Bytes small(6, 0);
  EXPECT_FALSE(record->Build(small));
}

TEST(GlobalRecord, HeaderBytes) {
  CDescGlobal global;
  global.Parse(Bytes{0x30, 0xA5, (24 << 3) | 5, 0x34, 0x12, 9});
  EXPECT_EQ(global.header.imageType, 0x30);
  EXPECT_EQ(global.header.chipType, 24);
  EXPECT_EQ(global.header.variant, 5);
  EXPECT_EQ(global.header.areaLength, 0x1234);
  EXPECT_EQ(global.header.recordCount, 9);
  EXPECT_EQ(global.length, 6);
  global.header.chipType = 25;
  global.header.variant = 2;
  EXPECT_EQ(BuildBytes(global), (Bytes{0x30, 0xA5, (25 << 3) | 2, 0x34, 0x12, 9}));
}

}  // namespace
}  // namespace vantor
