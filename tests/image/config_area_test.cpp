// Locating, reading and checking the configuration area of an image.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/descriptor_chain.h"
#include "image/image_fixture.h"
#include "support/debug_capture.h"

namespace vantor {
namespace {

using test::ImageTest;
using test::ImageWith;
using test::PlainArea;
namespace ig = imagegen;

// PlainArea is 29 bytes: header 6, version 6, "Maker" 9, VID/PID 8.
constexpr std::uint16_t kPlainAreaLength = 29;

// An area for offset 0 with a small-cache-code record: header 6, version 6, the
// record with 16 data bytes (24), then a string (9): the record ends at 36, the area
// is 45 bytes long.
ig::Bytes SmallCacheArea() {
  ig::AreaBuilder area(0x30, 21);
  area.Add(ig::VersionRecord(0x0330, 0x1060));
  area.AddSmallCache(ig::Bytes(16, 0x77));
  area.Add(ig::StringRecord(1, "Maker"));
  return area.Build();
}

struct LocateCase {
  const char* name;
  const char* icName;
  std::uint32_t configAddress;
  std::uint32_t memorySize;
  std::size_t length;
  std::vector<std::pair<std::size_t, ig::Bytes>> areas;
  long expected;  // offset of the result, -1 for none
  std::uint32_t noTag;
  std::uint32_t pageAddress;
  std::uint32_t pageLength;
  std::uint8_t imageChip;
};

class LocateTable : public ImageTest {};

TEST_F(LocateTable, Branches) {
  const ig::Bytes plain = PlainArea().Build();
  const ig::Bytes cache = SmallCacheArea();
  const std::uint32_t kSize = kDefaultConfiguredMemorySize;
  // clang-format off
  const std::vector<LocateCase> cases = {
      // name, IC name, ConfigAddress, memory size, length, areas,
      //   result, noTag, page address, page length, imageChip
      {"only 0xFF bytes", "QX330", 0xF000, kSize, 0x10000, {},
       -1, 0, 0, 0, 0xFF},
      {"no header anywhere", "QX330", 0xF000, kSize, 0x10000, {{0x20, {1, 2, 3}}},
       -1, 0, 0, 0, 0xFF},
      {"short image, header at the start", "QX330", 0xF000, kSize, 0x8000, {{0, plain}},
       0, 1, 0, 0, 21},
      {"64 KiB image, header only at the start", "QX330", 0xF000, kSize, 0x10000, {{0, plain}},
       0xF000, 1, 0, 0, 21},
      {"header at ConfigAddress 0xF000", "QX330", 0xF000, kSize, 0x20000, {{0xF000, plain}},
       0xF000, 0, 0xF000, 0x1000, 21},
      {"header at ConfigAddress 0xAE00, 64 KiB", "QX310", 0xAE00, kSize, 0x10000, {{0xAE00, plain}},
       0xF000, 0, 0xA000, 0x1000, 21},
      {"header at ConfigAddress 0xAE00, 48 KiB", "QX310", 0xAE00, kSize, 0xC000, {{0xAE00, plain}},
       0xAE00, 0, 0xA000, 0x1000, 21},
      {"image shorter than ConfigAddress", "QX310", 0xAE00, kSize, 0x8000, {{0, plain}},
       0, 1, 0, 0, 21},
      {"header cut off at ConfigAddress", "QX310", 0xF000, kSize, 0xF003,
       {{0, plain}, {0xF000, plain}},
       0, 1, 0, 0, 21},
      // ConfigAddress 0: the result is the end of the small-cache-code record.
      {"area at 0 without small-cache record", "", 0, kSize, 0x4000, {{0, plain}},
       0, 1, 0, (kPlainAreaLength & ~0xF) + 0x30, 21},
      {"area at 0 with small-cache record", "", 0, kSize, 0x4000, {{0, cache}},
       36, 1, 32, 32 - 32 + 0x30, 21},
      // QX330 with a configured memory size of 0x4000 looks at offset 0 first. The page
      // length takes the area length that the reads left, here the one of the area at
      // 0xF000 (29): 16 - 32 + 0x30.
      {"QX330, memory size 0x4000", "QX330", 0xF000, 0x4000, 0x10000,
       {{0, cache}, {0xF000, plain}},
       36, 1, 32, 0x20, 21},
      {"QX330, memory size 0x40000", "QX330", 0xF000, kSize, 0x10000,
       {{0, cache}, {0xF000, plain}},
       0xF000, 0, 0xF000, 0x1000, 21},
      {"other IC, memory size 0x4000", "QX332", 0xF000, 0x4000, 0x10000,
       {{0, cache}, {0xF000, plain}},
       0xF000, 0, 0xF000, 0x1000, 21},
  };
  // clang-format on
  for (const LocateCase& c : cases) {
    SCOPED_TRACE(c.name);
    UseDefinition(c.icName, c.configAddress);
    SetConfiguredMemorySize(c.memorySize);
    cfg.noTag = 0;
    cfg.configPageAddress = 0;
    cfg.configPageLength = 0;
    ig::Bytes image = ig::Filled(c.length);
    for (const auto& [offset, bytes] : c.areas) {
      ig::Place(image, offset, std::span(bytes).first(std::min(bytes.size(), c.length - offset)));
    }
    EXPECT_EQ(Locate(image), c.expected);
    EXPECT_EQ(cfg.noTag, c.noTag);
    EXPECT_EQ(cfg.configPageAddress, c.pageAddress);
    EXPECT_EQ(cfg.configPageLength, c.pageLength);
    EXPECT_EQ(cfg.imageChip, c.imageChip);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LocateTable, ParseFillsConfigPointersAndChipCode) {
  UseDefinition("QX330", 0xF000);
  ig::AreaBuilder area(0x30, 24);
  area.Add(ig::StringRecord(1, "M"));
  cfg.imageA = ImageWith(0x20000, {{0xF000, area.Build()}});
  EXPECT_TRUE(cfg.ParseImageA());
  EXPECT_EQ(cfg.configA, cfg.imageA.data() + 0xF000);
  EXPECT_EQ(cfg.imageChip, 24);
  cfg.imageB = ig::Filled(0x20000);
  EXPECT_FALSE(cfg.ParseImageB());
  EXPECT_EQ(cfg.configB, nullptr);
  EXPECT_EQ(cfg.imageChip, 0xFF);
}

TEST_F(LocateTable, BankCopyRecordSetsTheAlternativePinMux) {
  UseDefinition("QX330", 0xF000);
  struct Case {
    std::uint8_t chip, value;
    std::uint32_t altPinMux;
  } cases[] = {{25, 0x5A, 1}, {26, 0x5A, 1}, {25, 0x00, 0}, {21, 0x5A, 0}};
  for (const auto& c : cases) {
    ig::AreaBuilder area(0x30, c.chip);
    area.Add(ig::VersionRecord(1, 2))
        .Add(ig::ByteRecord(20, c.value))
        .Add(ig::StringRecord(1, "M"));
    const ig::Bytes image = ImageWith(0x20000, {{0xF000, area.Build()}});
    cfg.altPinMux = 0;
    EXPECT_EQ(Locate(image), 0xF000);
    EXPECT_EQ(cfg.altPinMux, c.altPinMux) << int(c.chip) << " " << int(c.value);
  }
}

// Images that are broken in the ways a damaged or foreign file can be.
struct MalformedCase {
  const char* name;
  std::uint32_t configAddress;
  ig::Bytes image;
  std::size_t boxes;  // "Config file corrupted" boxes shown
};

ig::Bytes Header(std::uint16_t length, std::uint8_t count, ig::Bytes rest) {
  ig::Bytes bytes = {0x30,
                     0xA5,
                     21 << 3,
                     static_cast<std::uint8_t>(length),
                     static_cast<std::uint8_t>(length >> 8),
                     count};
  bytes.insert(bytes.end(), rest.begin(), rest.end());
  return bytes;
}

std::vector<MalformedCase> MalformedCases() {
  const ig::Bytes plain = PlainArea().Build();
  std::vector<MalformedCase> cases;
  cases.push_back({"empty", 0xF000, {}, 0});
  cases.push_back({"only 0xFF", 0xF000, ig::Filled(0x20000), 0});
  cases.push_back({"five bytes of header", 0, {0x30, 0xA5, 0xA8, 6, 0}, 0});
  cases.push_back({"header cut at ConfigAddress, none at 0", 0xF000,
                   ImageWith(0xF004, {{0x10, {0x55}}, {0xF000, {0x30, 0xA5, 0xA8, 6}}}), 0});
  {
    // The area claims 0x100 bytes and five records; the file ends inside the second.
    ig::Bytes image = ImageWith(0x10000, {});
    image.resize(0xF000);
    const ig::Bytes area = Header(0x100, 5, {9, 1, 'M', 'a', 'k', 'e', 'r', 0, 0, 8, 4, 0x4B});
    image.insert(image.end(), area.begin(), area.end());
    // Refused before its records are read: no corruption box.
    cases.push_back({"file shorter than the area", 0xF000, image, 0});
  }
  cases.push_back({"record chain that stands still", 0xF000,
                   ImageWith(0x20000, {{0xF000, Header(40, 3, {5, 1, 'A', 0, 0, 0, 7, 0, 0})}}),
                   1});
  {
    ig::Bytes image = ImageWith(0xF000, {});
    const ig::Bytes area = Header(40, 2, {5, 1, 'A', 0, 0, 200, 3, 'S', 'N'});
    image.insert(image.end(), area.begin(), area.end());
    cases.push_back({"record running past the file", 0xF000, image, 0});
  }
  {
    ig::AreaBuilder area(0x30, 21);
    area.Add(ig::StringRecord(1, "A")).SetRecordCount(255);
    ig::Bytes image = ImageWith(0xF000, {});
    const ig::Bytes bytes = area.Build();
    image.insert(image.end(), bytes.begin(), bytes.end());
    image.resize(0xF400, 0xFF);
    cases.push_back({"record count far beyond the records", 0xF000, image, 1});
  }
  cases.push_back({"broken chain in an area at 0", 0,
                   ImageWith(0x4000, {{0, Header(40, 3, {5, 1, 'A', 0, 0, 0, 7})}}), 1});
  return cases;
}

// An area whose header claims more bytes than the image holds from the area on: its
// records may all be there, but the area would reach past the end of the buffer.
TEST_F(LocateTable, AreaClaimingMoreBytesThanTheImageHoldsIsRefused) {
  auto withLength = [](ig::Bytes area, std::uint16_t length) {
    area[3] = static_cast<std::uint8_t>(length);
    area[4] = static_cast<std::uint8_t>(length >> 8);
    return area;
  };
  const ig::Bytes plain = PlainArea().Build();
  ASSERT_EQ(plain.size(), kPlainAreaLength);
  struct Case {
    const char* name;
    std::uint32_t configAddress;
    std::size_t length;
    std::size_t at;
    std::uint16_t areaLength;
    long expected;
  };
  const Case cases[] = {
      {"at ConfigAddress, the file ends inside", 0xF000, 0xF000 + 0x40, 0xF000, 0x41, -1},
      {"at ConfigAddress, exactly to the end", 0xF000, 0xF000 + 0x40, 0xF000, 0x40, 0xF000},
      {"at the start of a short image", 0xF000, 0x100, 0, 0x4000, -1},
      {"at the start, ConfigAddress 0", 0, 0x100, 0, 0x101, -1},
      {"at the start, ConfigAddress 0, all there", 0, 0x100, 0, 0x100, 0},
      {"at ConfigAddress of a 128 KiB image", 0xF000, 0x20000, 0xF000, 0xFFFF, 0xF000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseDefinition("QX330", c.configAddress);
    const ig::Bytes image = ImageWith(c.length, {{c.at, withLength(plain, c.areaLength)}});
    EXPECT_EQ(Locate(image), c.expected);
    if (c.expected < 0) {
      EXPECT_EQ(cfg.imageChip, 0xFF);
    }
  }
}

// Code bytes at the fixed place 0xF000 that look like an area header with a broken chain
// are no reason to refuse an image whose area stands elsewhere, nor do they change the
// memory type or the area length the real area gave.
TEST_F(LocateTable, UnrelatedBytesAtTheFixedPlaceDoNotRefuseTheImage) {
  UseDefinition("QX310", 0xAE00);
  ig::Bytes image = ImageWith(0x10000, {{0xAE00, PlainArea().Build()}});
  // Image type 0x11 (EEPROM) and a chain that stands still.
  ig::Place(image, 0xF000, ig::Bytes{0x11, 0xA5, 21 << 3, 40, 0, 3, 5, 1, 'A', 0, 0, 1, 7});
  test::DebugCapture trace;
  EXPECT_EQ(Locate(image), 0xF000);
  EXPECT_EQ(cfg.imageChip, 21);
  EXPECT_EQ(GetMemoryType(), MemoryType::kFlash);
  EXPECT_EQ(cfg.areaLength, kPlainAreaLength);
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(trace.Contains("Config file corrupted")) << trace.All();
}

class Malformed : public ImageTest {};

TEST_F(Malformed, NoAreaAndAtMostOneCorruptionBox) {
  for (const MalformedCase& c : MalformedCases()) {
    SCOPED_TRACE(c.name);
    UseDefinition("QX310", c.configAddress);
    boxes.clear();
    EXPECT_EQ(Locate(c.image), -1);
    EXPECT_EQ(cfg.imageChip, 0xFF);
    EXPECT_EQ(boxes.size(), c.boxes);
    for (const std::string& box : boxes) EXPECT_EQ(box, "Config file corrupted");
  }
}

TEST_F(Malformed, ReadersFailOnTheirOwn) {
  for (const MalformedCase& c : MalformedCases()) {
    SCOPED_TRACE(c.name);
    UseDefinition("QX310", c.configAddress);
    const auto length = static_cast<std::uint32_t>(c.image.size());
    std::uint32_t offset = 99;
    EXPECT_FALSE(cfg.ReadImageInfo(c.image.data(), length) &&
                 cfg.CheckConfigArea(c.image.data(), length) &&
                 cfg.FindSmallCacheEnd(c.image.data(), length, offset));
  }
}

TEST_F(Malformed, NullImageIsNoImage) {
  UseDefinition("QX330", 0);
  std::uint32_t offset = 5;
  EXPECT_EQ(cfg.LocateConfigArea(nullptr, 100), nullptr);
  EXPECT_FALSE(cfg.ReadImageInfo(nullptr, 100));
  EXPECT_FALSE(cfg.CheckConfigArea(nullptr, 100));
  EXPECT_FALSE(cfg.FindSmallCacheEnd(nullptr, 100, offset));
  EXPECT_EQ(offset, 0u);
}

class ImageInfo : public ImageTest {};

TEST_F(ImageInfo, TextsOfTheRecordsAndTheTraceLines) {
  UseDefinition("QX330", 0xF000);
  ig::AreaBuilder area(0x30, 21);
  area.Add(ig::VersionRecord(1, 2))
      .Add(ig::StringRecord(1, "Korvane"))
      .Add(ig::StringRecord(2, "Product"))
      .Add(ig::StringRecord(3, "SN123"))
      .Add(ig::StringRecord(7, "Audio IAD"))
      .Add(ig::VidPidRecord(0x3A4B, 0x0A30, 0x01AB));
  ig::Bytes image = ImageWith(0x20000, {{0xF000, area.Build()}});
  ig::Place(image, 0x1003, ig::Bytes{0x11, 0x22, 0x33, 0x44, 0x55});
  test::DebugCapture capture;
  ASSERT_TRUE(cfg.ReadImageInfo(image.data(), static_cast<std::uint32_t>(image.size())));
  EXPECT_EQ(cfg.imageManufacturerText, L"Korvane");
  EXPECT_EQ(cfg.imageSerialText, L"SN123");
  EXPECT_EQ(cfg.imageIadText, L"Audio IAD");
  EXPECT_EQ(cfg.vidPidText, L"VID_3A4B&PID_0A30");
  EXPECT_EQ(cfg.releaseText, L"01ab");
  // Bytes 0x1003, 0x1005, 0x1004, 0x1007, 0x1006.
  EXPECT_EQ(cfg.imageVersionText, L"0x1133225544");
  EXPECT_EQ(cfg.areaLength, area.AreaLength());
  std::vector<std::string> found;
  for (const std::string& line : capture.Lines()) {
    if (line.rfind("Find descriptor", 0) == 0) found.push_back(line);
  }
  EXPECT_EQ(found, (std::vector<std::string>{"Find descriptor 0x01\r\n", "Find descriptor 0x02\r\n",
                                             "Find descriptor 0x03\r\n", "Find descriptor 0x07\r\n",
                                             "Find descriptor 0x04\r\n"}));
}

TEST_F(ImageInfo, TextsStayInsideTheirRecords) {
  UseDefinition("", 0);
  ig::AreaBuilder area(0x30, 21);
  area.Add(ig::Record(1, {200, 3, 'X', 'Y'}))   // bLength beyond the record
      .Add(ig::Record(3, {5, 3, 'A', 0, 'B'}))  // a zero byte ends the text
      .Add(ig::Record(7, {1, 3, 'Q'}))          // bLength below 2: no text
      .Add(ig::Record(4, {0x4B, 0x3A}))         // VID only: the rest reads as 0
      .Add(ig::StringRecord(2, "after"));
  const ig::Bytes image = ImageWith(0x1020, {{0, area.Build()}});
  ASSERT_TRUE(cfg.ReadImageInfo(image.data(), 0x1020));
  EXPECT_EQ(cfg.imageManufacturerText, L"XY");
  EXPECT_EQ(cfg.imageSerialText, L"A");
  EXPECT_EQ(cfg.imageIadText, L"");
  EXPECT_EQ(cfg.vidPidText, L"VID_3A4B&PID_0000");
  EXPECT_EQ(cfg.releaseText, L"0000");
  // 0x1020 bytes are not enough for the image version text.
  EXPECT_EQ(cfg.imageVersionText, L"");
}

TEST_F(ImageInfo, RecordCrossingTheAreaEndIsNotRead) {
  UseDefinition("", 0);
  ig::AreaBuilder area(0x30, 21);
  area.Add(ig::StringRecord(3, "SN")).Add(ig::StringRecord(1, "Outside"));
  area.SetAreaLength(6 + 6 + 4);
  const ig::Bytes image = ImageWith(0x100, {{0, area.Build()}});
  ASSERT_TRUE(cfg.ReadImageInfo(image.data(), 0x100));
  EXPECT_EQ(cfg.imageSerialText, L"SN");
  EXPECT_EQ(cfg.imageManufacturerText, L"");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ImageInfo, ClearsTheTextsFirst) {
  UseDefinition("", 0);
  cfg.imageManufacturerText = L"old";
  cfg.vidPidText = L"old";
  const ig::Bytes image = ig::Filled(0x100);
  EXPECT_FALSE(cfg.ReadImageInfo(image.data(), 0x100));
  EXPECT_EQ(cfg.imageManufacturerText, L"");
  EXPECT_EQ(cfg.vidPidText, L"");
}

TEST_F(ImageInfo, ImageTypeCodeSetsTheMemoryType) {
  UseDefinition("", 0);
  struct Case {
    std::uint8_t code;
    MemoryType before, after;
  } cases[] = {
      {0x11, MemoryType::kFlash, MemoryType::kEeprom8},
      {0x12, MemoryType::kFlash, MemoryType::kEeprom16},
      {0x30, MemoryType::kOtp, MemoryType::kFlash},
      {0x55, MemoryType::kOtp, MemoryType::kFlash},
      {0x61, MemoryType::kOtp, MemoryType::kFlash},
      {0x40, MemoryType::kFlash, MemoryType::kMtp},
      {0x60, MemoryType::kFlash, MemoryType::kOtp},
      {0x77, MemoryType::kEeprom16, MemoryType::kEeprom16},
      {0x00, MemoryType::kOtp, MemoryType::kOtp},
  };
  for (const auto& c : cases) {
    SetMemoryType(c.before);
    const ig::Bytes image = ImageWith(0x100, {{0, PlainArea(c.code).Build()}});
    EXPECT_TRUE(cfg.ReadImageInfo(image.data(), 0x100));
    EXPECT_EQ(GetMemoryType(), c.after) << std::hex << int(c.code);
  }
}

// QX330 reads its area at offset 0 for small images and for OTP memory.
class QX330Rules : public ImageTest {
 protected:
  // Areas at 0 (OTP, "Zero") and at 0xF000 (flash, "Page"), different lengths.
  ig::Bytes TwoAreas() {
    ig::AreaBuilder zero(0x60, 21);
    zero.Add(ig::StringRecord(1, "Zero"));
    ig::AreaBuilder page(0x30, 21);
    page.Add(ig::StringRecord(1, "Page")).Add(ig::StringRecord(3, "S"));
    return ImageWith(0x10000, {{0, zero.Build()}, {0xF000, page.Build()}});
  }
};

TEST_F(QX330Rules, ReadImageInfoPlace) {
  struct Case {
    const char* icName;
    MemoryType memory;
    const wchar_t* text;
  } cases[] = {
      {"QX330", MemoryType::kOtp, L"Zero"},
      {"QX330", MemoryType::kFlash, L"Page"},
      {"QX310", MemoryType::kOtp, L"Page"},
  };
  const ig::Bytes image = TwoAreas();
  for (const auto& c : cases) {
    UseDefinition(c.icName, 0xF000);
    SetMemoryType(c.memory);
    ASSERT_TRUE(cfg.ReadImageInfo(image.data(), 0x10000));
    EXPECT_EQ(cfg.imageManufacturerText, c.text) << c.icName;
  }
}

TEST_F(QX330Rules, ShortImages) {
  struct Case {
    const char* icName;
    std::size_t length;
    MemoryType memory;
    bool read;
  } cases[] = {
      {"QX330", 0x4000, MemoryType::kEeprom8, true},   // length 0x4000
      {"QX310", 0x4000, MemoryType::kEeprom8, false},  // shorter than ConfigAddress
      {"QX330", 0x2000, MemoryType::kFlash, true},     // flash below 0x4000
      {"QX330", 0x2000, MemoryType::kEeprom8, false}, {"QX330", 0x2000, MemoryType::kOtp, true},
      {"QX330", 0x8000, MemoryType::kFlash, false},
  };
  for (const auto& c : cases) {
    UseDefinition(c.icName, 0xF000);
    SetMemoryType(c.memory);
    const ig::Bytes image = ImageWith(c.length, {{0, PlainArea(0x55).Build()}});
    EXPECT_EQ(cfg.ReadImageInfo(image.data(), static_cast<std::uint32_t>(c.length)), c.read)
        << c.icName << " " << std::hex << c.length;
  }
}

TEST_F(QX330Rules, CheckConfigAreaPlace) {
  const ig::Bytes image = TwoAreas();
  UseDefinition("QX330", 0xF000);
  SetMemoryType(MemoryType::kOtp);
  ASSERT_TRUE(cfg.CheckConfigArea(image.data(), 0x10000));
  EXPECT_EQ(cfg.areaLength, 6 + 8);  // the area at 0
  EXPECT_EQ(GetMemoryType(), MemoryType::kOtp);
  SetMemoryType(MemoryType::kFlash);
  ASSERT_TRUE(cfg.CheckConfigArea(image.data(), 0x10000));
  EXPECT_EQ(cfg.areaLength, 6 + 8 + 5);  // the area at 0xF000
  UseDefinition("QX340", 0xF000);
  SetMemoryType(MemoryType::kOtp);
  ASSERT_TRUE(cfg.CheckConfigArea(image.data(), 0x10000));
  EXPECT_EQ(cfg.areaLength, 6 + 8 + 5);
  EXPECT_EQ(GetMemoryType(), MemoryType::kFlash);

  const ig::Bytes small = ImageWith(0x4000, {{0, PlainArea().Build()}});
  UseDefinition("QX330", 0xF000);
  EXPECT_TRUE(cfg.CheckConfigArea(small.data(), 0x4000));
  UseDefinition("QX310", 0xF000);
  EXPECT_FALSE(cfg.CheckConfigArea(small.data(), 0x4000));
}

TEST_F(QX330Rules, FindSmallCacheEnd) {
  UseDefinition("QX330", 0xF000);
  const ig::Bytes image =
      ImageWith(0x10000, {{0, SmallCacheArea()}, {0xF000, PlainArea().Build()}});
  std::uint32_t offset = 1;
  SetConfiguredMemorySize(0x4000);
  ASSERT_TRUE(cfg.FindSmallCacheEnd(image.data(), 0x10000, offset));
  EXPECT_EQ(offset, 36u);
  SetConfiguredMemorySize(0x40000);
  ASSERT_TRUE(cfg.FindSmallCacheEnd(image.data(), 0x10000, offset));
  EXPECT_EQ(offset, 0u);  // the area at 0xF000 has no such record
  EXPECT_FALSE(cfg.FindSmallCacheEnd(image.data(), 0, offset));
}

TEST(ChipCompatibility, EightAndNineCountAsEqual) {
  struct Case {
    std::uint8_t image, chip;
    bool ok;
  } cases[] = {{8, 8, true},    {9, 8, true},   {8, 9, true},   {9, 9, true},      {21, 21, true},
               {21, 24, false}, {8, 10, false}, {10, 8, false}, {0xFF, 21, false}, {0, 0, true}};
  for (const auto& c : cases) {
    EXPECT_EQ(IsImageForChip(c.image, c.chip), c.ok) << int(c.image) << " " << int(c.chip);
  }
}

}  // namespace
}  // namespace vantor
